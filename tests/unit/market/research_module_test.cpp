// The calls feed in a loaded plug-in: the history queue from the peer data
// on, live calls, option calls handed to the strategy library, notices.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "market/research_module.h"
#include "plugin/mnm_fields.h"
#include "plugin/notification.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

class ResearchFeed : public PluginFixture {
 protected:
  void SetUp() override {
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    cb->session.loggedInUserId = "trader7";
    cb->peerText = "PEER-trader7";
  }
  FakeControl& Control(int32_t kind) {
    for (auto& c : rx.controls)
      if (c->kind == kind) return *c;
    throw std::runtime_error("no control");
  }
  FakeControl& Requests() { return Control(KOVO_RX_REQUESTS); }
  CResearchModule& Module() { return static_cast<CResearchModule&>(*cb->researchFeed); }
  std::vector<std::string> SentNames() { return Requests().SentNames(); }
  size_t Count(const std::string& name) {
    const auto names = SentNames();
    return static_cast<size_t>(std::count(names.begin(), names.end(), name));
  }

  // A feed whose option calls (strategy names) and live calls (headlines) are kept.
  void WatchOptionCalls() {
    cb->researchFeed.reset();
    cb->researchFeed = std::make_unique<CResearchModule>(*cb, "HOST", [this](const sOptionCall& c) {
      handedCalls.push_back(c.strategy);
      return true;
    });
    Module().onLiveCall = [this](const sNewsDetails& d) { liveCalls.push_back(d.headline); };
  }
  using Fields = std::vector<std::pair<int32_t, std::string>>;
  // An option call of one leg, as broadcast.
  static Fields Call(const std::string& category, const std::string& time,
                     const std::string& strategy) {
    return {{MNM_CATEGORY, category},
            {MNM_USER, "KOVO"},
            {MNM_USER, "Vol Desk"},
            {MNM_SCRIPT_NAME, strategy},
            {MNM_CALL_TIME, time},
            {MNM_EXCH_SEG, "NFO"},
            {MNM_TRADING_SYMBOL, "NIFTY26DEC24000CE"},
            {MNM_TRANSACTION, "B"},
            {10306, "101.50"}};
  }
  // The same as a row of the day's option-call history.
  static Fields FromHistory(Fields fields) {
    fields.insert(fields.begin(), {MNM_REPLY_REQUEST, "roth_option_calls"});
    return fields;
  }

  CControlBlock* cb = nullptr;
  std::vector<std::string> handedCalls, liveCalls;
};

TEST_F(ResearchFeed, HistoryRunsFromThePeerDataToTheSubscriptions) {
  // No login dialog: the peer data still starts the history.
  ASSERT_EQ(nullptr, cb->loginDlg.get());
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_PEER_TEXT, "PEER-trader7"}});
  ASSERT_EQ(1u, Count("roth_ma"));
  const size_t at = SentNames().size() - 1;
  EXPECT_EQ(plugin->hostUserId, test::ValueText(Requests().Sent(at).get(), MNM_PEER_USER));
  EXPECT_TRUE(Logged("Research Reports  request sent"));
  EXPECT_EQ(0, Module().QueueIndex());
  ASSERT_EQ(2u, Module().Queue().size());
  EXPECT_FALSE(Module().Queue()[1].sendRequest);

  // A second peer data reply while the history runs starts nothing new.
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_PEER_TEXT, "PEER-trader7"}});
  EXPECT_EQ(1u, Count("roth_ma"));

  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"},
                    {MNM_CATEGORY, "research reports"},
                    {MNM_USER, "Desk"},
                    {MNM_BODY_TEXT, "b"}});
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"},
                    {MNM_FEED_NAME, "NSE-IPFT"},
                    {MNM_USER, "ignored"},
                    {MNM_FIELD_49033, "exchange item"}});
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_HEADLINE, "no body"}});
  EXPECT_TRUE(Control(KOVO_RX_BROADCASTS).watched.empty());
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_ERROR_TEXT, ""}});

  EXPECT_TRUE(Logged("2 Research/Technical calls Retrieved"));
  const auto& calls = Module().Feed().Calls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ("NSE", calls[1].provider);
  EXPECT_EQ("NSE-IPFT", calls[1].category);
  // History is neither logged as alerts nor shown live.
  EXPECT_FALSE(Logged("Research Calls - Desk"));

  // Both feeds are subscribed, the one that sent no request too.
  const auto& watched = Control(KOVO_RX_BROADCASTS).watched;
  const auto has = [&](int32_t id, const std::string& value) {
    return std::find(watched.begin(), watched.end(), std::make_pair(id, value)) != watched.end();
  };
  EXPECT_TRUE(has(MNM_CATEGORY, "research reports"));
  EXPECT_TRUE(has(MNM_CATEGORY, "trading calls"));
  EXPECT_TRUE(has(MNM_CATEGORY, "option_calls"));
  EXPECT_TRUE(has(MNM_PEER_USER, plugin->hostUserId));
  EXPECT_TRUE(Logged("subscribed for Research Reports "));
  EXPECT_TRUE(Logged("subscribed for Technical Calls "));
  EXPECT_EQ(-1, Module().QueueIndex());
  EXPECT_TRUE(Module().Queue().empty());
  EXPECT_EQ(1u, Count("roth_option_calls"));
}

TEST_F(ResearchFeed, LiveCallsAreAnnouncedAndOptionCallsReachTheLibrary) {
  std::vector<std::string> live;
  Module().onLiveCall = [&](const sNewsDetails& d) { live.push_back(d.reportType); };
  FakeControl& broadcasts = Control(KOVO_RX_BROADCASTS);
  broadcasts.Broadcast({{MNM_CATEGORY, "trading calls"},
                        {MNM_USER, "Desk"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_TRANSACTION, "B"}});
  EXPECT_TRUE(Logged("Technical Calls - Desk BUY  at Rs., TRGT Rs. : SL Rs."));
  EXPECT_EQ(std::vector<std::string>{"Technical Calls"}, live);

  // No library in the plug-in folder: the call is filed and the user told.
  broadcasts.Broadcast({{MNM_CATEGORY, "option_calls"},
                        {MNM_USER, "KOVO"},
                        {MNM_USER, "Vol Desk"},
                        {MNM_SCRIPT_NAME, "Long Straddle"},
                        {MNM_EXCH_SEG, "NFO"},
                        {MNM_TRADING_SYMBOL, "NIFTY26DEC24000CE"},
                        {MNM_TRANSACTION, "B"},
                        {10306, "101.50"}});
  ASSERT_EQ(2u, Module().Feed().Calls().size());
  const sNewsDetails& option = Module().Feed().Calls()[1];
  EXPECT_EQ("Option Calls", option.reportType);
  EXPECT_EQ("Vol Desk", option.provider);
  EXPECT_EQ("Option Calls update : Long Straddle", option.headline);
  EXPECT_NE(std::string::npos, option.text.find("  B   NIFTY26DEC24000CE   @ 101.50"));
  EXPECT_EQ((std::vector<std::string>{"Error while loading Kovo Plugins\\Option Stratgey.dll"}),
            Boxes());

  // A library that takes the call gets the legs; a call without legs is
  // neither filed nor handed over.
  std::vector<sOptionCall> handed;
  cb->researchFeed.reset();
  cb->researchFeed = std::make_unique<CResearchModule>(*cb, "HOST", [&](const sOptionCall& c) {
    handed.push_back(c);
    return true;
  });
  broadcasts.Broadcast({{MNM_CATEGORY, "option_calls"}, {MNM_SCRIPT_NAME, "none"}});
  EXPECT_TRUE(handed.empty());
  broadcasts.Broadcast({{MNM_CATEGORY, "option_calls"},
                        {MNM_USER, "KOVO"},
                        {MNM_USER, "Vol Desk"},
                        {MNM_SCRIPT_NAME, "Bull Call Spread"},
                        {MNM_VALIDITY, "Intraday"},
                        {MNM_MESSAGE_TEXT, "near quotes"},
                        {MNM_EXCH_SEG, "NFO"},
                        {MNM_EXCH_SEG, "NFO"},
                        {MNM_TRADING_SYMBOL, "A"},
                        {MNM_TRADING_SYMBOL, "B"},
                        {MNM_TRANSACTION, "B"},
                        {MNM_TRANSACTION, "S"},
                        {10306, "1"},
                        {10306, "2"}});
  ASSERT_EQ(1u, handed.size());
  EXPECT_EQ(2, handed[0].legs);
  EXPECT_STREQ("Vol Desk", handed[0].provider);
  EXPECT_STREQ("Bull Call Spread", handed[0].strategy);
  EXPECT_STREQ("Intraday", handed[0].validity);
  EXPECT_STREQ("near quotes", handed[0].comments);
  EXPECT_STREQ("Option Calls", handed[0].category);
  EXPECT_STREQ("S", handed[0].side[1]);
  EXPECT_STREQ("2", handed[0].price[1]);
  ASSERT_EQ(1u, Module().Feed().Calls().size());
  EXPECT_NE(std::string::npos, Module().Feed().Calls()[0].text.find("Legs : 2"));
  EXPECT_EQ(1u, Boxes().size());

  // History of option calls: the volatility desk's calls get their own tab name.
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_option_calls"},
                    {MNM_CATEGORY, "Indian Volatility"},
                    {MNM_EXCH_SEG, "NFO"},
                    {MNM_TRADING_SYMBOL, "A"}});
  EXPECT_EQ("Indian Volatility Calls", Module().Feed().Calls().back().reportType);

  // Notices pop up and are logged.
  const size_t popups = cb->Notifications().Count();
  broadcasts.Broadcast({{MNM_CATEGORY, "zint_msg.all"}, {MNM_MESSAGE_TEXT, "Markets shut at 3"}});
  EXPECT_EQ(popups + 1, cb->Notifications().Count());
  EXPECT_TRUE(Logged("Markets shut at 3"));
}

TEST_F(ResearchFeed, OptionCallsComingLiveBeforeTheirHistoryAreFiledOnceAfterIt) {
  WatchOptionCalls();
  const auto& handed = handedCalls;
  const auto& live = liveCalls;
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_PEER_TEXT, "PEER-trader7"}});
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_ERROR_TEXT, ""}});
  ASSERT_EQ(1u, Count("roth_option_calls"));

  // Subscribed before the history was asked for: a live call comes first.
  FakeControl& broadcasts = Control(KOVO_RX_BROADCASTS);
  broadcasts.Broadcast(Call("option_calls", "1000", "Long Straddle"));
  broadcasts.Broadcast(Call("option_calls", "1000", "Long Straddle"));
  EXPECT_TRUE(handed.empty());
  EXPECT_TRUE(Module().Feed().Calls().empty());

  // The history carries an older call and the live one again (under the
  // category it is filed with), then closes.
  Requests().Reply(FromHistory(Call("Option Calls", "850", "Bull Call Spread")));
  Requests().Reply(FromHistory(Call("Indian Volatility", "1000", "Long Straddle")));
  EXPECT_EQ(std::vector<std::string>{"Bull Call Spread"}, handed);
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_option_calls"}, {MNM_ERROR_TEXT, ""}});
  EXPECT_TRUE(Logged("1 Option calls Retrieved"));

  EXPECT_EQ((std::vector<std::string>{"Bull Call Spread", "Long Straddle"}), handed);
  const auto& calls = Module().Feed().Calls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ("Option Calls update : Bull Call Spread", calls[0].headline);
  EXPECT_EQ("Option Calls update : Long Straddle", calls[1].headline);
  // Only the live call is announced and goes to the calls pane.
  EXPECT_EQ(std::vector<std::string>{"Option Calls update : Long Straddle"}, live);
  ASSERT_EQ(1u, Module().BrokerCalls().Rows().size());

  // After the history live calls are filed at once, a repeat of one never.
  broadcasts.Broadcast(Call("option_calls", "1000", "Long Straddle"));
  broadcasts.Broadcast(Call("option_calls", "1150", "Short Strangle"));
  EXPECT_EQ((std::vector<std::string>{"Bull Call Spread", "Long Straddle", "Short Strangle"}),
            handed);
  EXPECT_EQ(3u, Module().Feed().Calls().size());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ResearchFeed, OptionCallsHeldForAHistoryThatNeverClosesAreShownAfterTheWait) {
  WatchOptionCalls();
  const auto& handed = handedCalls;
  const auto& live = liveCalls;
  const std::string gaveUp =
      "Option calls history not completed in 30 seconds; showing the 2 option calls that came "
      "meanwhile";
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_PEER_TEXT, "PEER-trader7"}});
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_ERROR_TEXT, ""}});
  ASSERT_TRUE(Module().OptionCalls().HistoryPending());

  // The history's closing message never comes; live calls wait a while.
  FakeControl& broadcasts = Control(KOVO_RX_BROADCASTS);
  broadcasts.Broadcast(Call("option_calls", "1000", "Long Straddle"));
  broadcasts.Broadcast(Call("option_calls", "1100", "Short Strangle"));
  ui.AdvanceClock(COptionCallRx::kHistoryWait - std::chrono::milliseconds(1));
  EXPECT_TRUE(handed.empty());
  EXPECT_FALSE(Logged(gaveUp));

  // Then they are shown in the order they came, each once, and the user is told.
  ui.AdvanceClock(std::chrono::milliseconds(1));
  EXPECT_TRUE(Logged(gaveUp));
  EXPECT_FALSE(Module().OptionCalls().HistoryPending());
  EXPECT_EQ((std::vector<std::string>{"Long Straddle", "Short Strangle"}), handed);
  EXPECT_EQ((std::vector<std::string>{"Option Calls update : Long Straddle",
                                      "Option Calls update : Short Strangle"}),
            live);
  EXPECT_EQ(2u, Module().BrokerCalls().Rows().size());
  ui.AdvanceClock(COptionCallRx::kHistoryWait * 3);
  EXPECT_EQ(2u, handed.size());

  // Live calls from now on go straight through.
  broadcasts.Broadcast(Call("option_calls", "1200", "Iron Condor"));
  EXPECT_EQ("Iron Condor", handed.back());

  // A late history files only what it alone carries, and never as live.
  Requests().Reply(FromHistory(Call("Indian Volatility", "1000", "Long Straddle")));
  Requests().Reply(FromHistory(Call("Option Calls", "850", "Bull Call Spread")));
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_option_calls"}, {MNM_ERROR_TEXT, ""}});
  EXPECT_EQ((std::vector<std::string>{"Long Straddle", "Short Strangle", "Iron Condor",
                                      "Bull Call Spread"}),
            handed);
  EXPECT_EQ(4u, Module().Feed().Calls().size());
  EXPECT_EQ(3u, live.size());
  EXPECT_TRUE(Logged("1 Option calls Retrieved"));
}

TEST_F(ResearchFeed, AHistoryClosedInTimeStopsTheWait) {
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_PEER_TEXT, "PEER-trader7"}});
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_ERROR_TEXT, ""}});
  const size_t timers = ui.ActiveTimers();
  Requests().Reply({{MNM_REPLY_REQUEST, "roth_option_calls"}, {MNM_ERROR_TEXT, ""}});
  EXPECT_EQ(timers - 1, ui.ActiveTimers());
  ui.AdvanceClock(COptionCallRx::kHistoryWait);
  EXPECT_FALSE(
      Logged("Option calls history not completed in 30 seconds; showing the 0 option "
             "calls that came meanwhile"));
}

}  // namespace
}  // namespace kovo
