// The broker calls pane in a loaded plug-in against the host's own scrip
// master: live calls on top, cross-filed research, market watch and order
// entry with the call's segment and token.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "market/news_window.h"
#include "market/research_module.h"
#include "platform/headless_views.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

sScripDetails HostScrip(const char* seg, const char* token, const char* symbol) {
  sScripDetails d{};
  snprintf(d.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "%s", seg);
  snprintf(d.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "%s", token);
  snprintf(d.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", symbol);
  d.pricePrecision = 2;
  d.priceMultiplier = 100.0;
  d.quantityMultiplier = 1;
  return d;
}

class BrokerCalls : public PluginFixture {
 protected:
  void SetUp() override {
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    cb->peerText = "PEER-trader7";
    core->Scrips().Load(
        {HostScrip("nse_cm", "11536", "TCS-EQ"), HostScrip("bse_cm", "532540", "TCS")});
  }
  FakeControl& Control(int32_t kind) {
    for (auto& c : rx.controls)
      if (c->kind == kind) return *c;
    throw std::runtime_error("no control");
  }
  CBrokerCalls& Pane() { return static_cast<CResearchModule&>(*cb->researchFeed).BrokerCalls(); }
  std::string CellText(int row, NewsColumn column) {
    sCellInfo cell;
    const auto* call = reinterpret_cast<const sNewsDetails*>(Pane().List().GetItemData(row));
    EXPECT_TRUE(call && Pane().Cell(*call, static_cast<int>(column), cell));
    return cell.text;
  }

  CControlBlock* cb = nullptr;
};

TEST_F(BrokerCalls, LiveCallsGoOnTopAndCarryTheirScripToTheHost) {
  FakeControl& broadcasts = Control(KOVO_RX_BROADCASTS);
  broadcasts.Broadcast({{MNM_CATEGORY, "markets"}, {MNM_BODY_TEXT, "plain news"}});
  EXPECT_TRUE(Pane().Rows().empty());

  broadcasts.Broadcast({{MNM_CATEGORY, "research reports"},
                        {MNM_USER, "Desk"},
                        {MNM_HEADLINE, "Buy TCS"},
                        {MNM_BODY_TEXT, "up"},
                        {MNM_EXCH_SEG, "bse_cm"},
                        {MNM_TRADING_SYMBOL, "532540"},
                        {MNM_INITIATION_PRICE, "345678"}});
  // Filed for both exchanges; the back end is told of the NSE copy.
  const std::vector<std::string> sent = Control(KOVO_RX_REQUESTS).SentNames();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ("add_research_reports", sent.back());
  const test::MsgPtr request = Control(KOVO_RX_REQUESTS).Sent(sent.size() - 1);
  EXPECT_EQ("nse_cm", test::ValueText(request.get(), MNM_EXCH_SEG));
  EXPECT_EQ("TCS-EQ", test::ValueText(request.get(), MNM_TRADING_SYMBOL));
  EXPECT_EQ("PEER-trader7", test::ValueText(request.get(), MNM_PEER_TEXT));
  EXPECT_EQ("Buy TCS", test::ValueText(request.get(), MNM_HEADLINE, 1));

  ASSERT_EQ(2u, Pane().Rows().size());
  EXPECT_EQ("nse_cm|11536", CellText(0, NewsColumn::kIsinCode));
  EXPECT_EQ("bse_cm|532540", CellText(1, NewsColumn::kIsinCode));
  EXPECT_EQ("3456.78", CellText(1, NewsColumn::kInitiationPrice));
  EXPECT_TRUE(Logged("Research Calls - Desk BUY TCS at up "));
  EXPECT_TRUE(Logged("Research Calls - Desk BUY TCS-EQ at up "));

  // Nothing selected.
  Pane().OnCommand(kCmdBrokerAddToMarketWatch);
  Pane().OnCommand(kCmdBrokerPlaceOrder);
  EXPECT_EQ((std::vector<std::string>{"No Items Selected", "No Items Selected"}), Boxes());

  Pane().List().SetSelection({1});
  Pane().OnCommand(kCmdBrokerAddToMarketWatch);
  const auto watch = core->MarketWatch();
  EXPECT_NE(std::find(watch.begin(), watch.end(), "bse_cm|532540"), watch.end());
  Pane().OnCommand(kCmdBrokerPlaceOrder);
  const auto entries = hostUi.Entries();
  ASSERT_EQ(1u, entries.size());
  EXPECT_STREQ("bse_cm|532540", entries[0].order.scripKey);
  EXPECT_EQ("Broker Calls", entries[0].tagOrSource);

  // A call naming no scrip says so, each command in its own words.
  broadcasts.Broadcast({{MNM_CATEGORY, "trading calls"}, {MNM_BODY_TEXT, "b"}});
  ASSERT_EQ(3u, Pane().Rows().size());
  EXPECT_EQ("Technical Calls", CellText(0, NewsColumn::kReportType));
  Pane().List().SetSelection({0});
  Pane().OnCommand(kCmdBrokerAddToMarketWatch);
  Pane().OnCommand(kCmdBrokerPlaceOrder);
  const auto boxes = Boxes();
  ASSERT_EQ(4u, boxes.size());
  EXPECT_EQ("Scrip not present", boxes[2]);
  EXPECT_EQ("Scrip not Present", boxes[3]);

  // The menu and its grid-line switch.
  const auto menu = Pane().ContextMenu();
  ASSERT_EQ(4u, menu.size());
  EXPECT_EQ("Add to Market Watch", menu[0].text);
  EXPECT_EQ("Draw GridLines", menu[3].text);
  const bool grid = Pane().List().GridLines();
  Pane().OnCommand(kCmdBrokerGridLines);
  EXPECT_NE(grid, Pane().List().GridLines());
}

TEST_F(BrokerCalls, OptionCallRowsNameTheirLegsByTradingSymbolAndKeepTheScripKey) {
  core->Scrips().Load({HostScrip("nse_fo", "40001", "NIFTY26DEC24000CE"),
                       HostScrip("nse_fo", "50002", "NIFTY26DEC24100PE")});
  Control(KOVO_RX_BROADCASTS)
      .Broadcast({{MNM_CATEGORY, "option_calls"},
                  {MNM_USER, "KOVO"},
                  {MNM_USER, "Vol Desk"},
                  {MNM_SCRIPT_NAME, "Strangle"},
                  {MNM_EXCH_SEG, "NFO"},
                  {MNM_EXCH_SEG, "NFO"},
                  {MNM_EXCH_SEG, "NFO"},
                  {MNM_TRADING_SYMBOL, "NIFTY26DEC24000CE"},
                  {MNM_TRADING_SYMBOL, "NIFTY26DEC24100PE"},
                  {MNM_TRADING_SYMBOL, "NOSUCHLEG"},
                  {MNM_TRANSACTION, "B"},
                  {MNM_TRANSACTION, "B"},
                  {MNM_TRANSACTION, "S"},
                  {10306, "1"},
                  {10306, "2"},
                  {10306, "3"}});
  ASSERT_EQ(1u, Pane().Rows().size());
  EXPECT_EQ("NIFTY26DEC24000CE,NIFTY26DEC24100PE,NOSUCHLEG", CellText(0, NewsColumn::kSymbol));
  // The host's key of each known leg still goes with the call.
  EXPECT_EQ("nse_fo|40001,nse_fo|50002", CellText(0, NewsColumn::kIsinCode));
  Pane().List().SetSelection({0});
  Pane().OnCommand(kCmdBrokerAddToMarketWatch);
  const auto watch = core->MarketWatch();
  EXPECT_NE(std::find(watch.begin(), watch.end(), "nse_fo|40001"), watch.end());
}

TEST_F(BrokerCalls, TheMenuItemDocksAndShowsThePaneOnlyWhenLoggedIn) {
  auto* frame = dynamic_cast<HeadlessHostFrame*>(&cb->Frame());
  ASSERT_NE(nullptr, frame);
  cb->session.loggedInUserId.clear();
  plugin->ProcessHotKey("Technical,Research and Option Calls", 0, {});
  const auto shown = [&] {
    const auto it = frame->Panes().find(CBrokerCalls::kPaneId);
    return it != frame->Panes().end() && it->second.shown;
  };
  EXPECT_FALSE(shown());
  cb->session.loggedInUserId = "trader7";
  plugin->ProcessHotKey("Technical,Research and Option Calls", 0, {});
  ASSERT_EQ(1u, frame->Panes().count(CBrokerCalls::kPaneId));
  EXPECT_EQ("Technical, Research Calls", frame->Panes().at(CBrokerCalls::kPaneId).title);
  EXPECT_TRUE(shown());
}

TEST_F(BrokerCalls, TheMenuItemFillsAnEmptyPaneWithTheCallsFiledSoFar) {
  cb->session.loggedInUserId = "trader7";
  FakeControl& requests = Control(KOVO_RX_REQUESTS);
  // The day's history is filed in bulk: not shown live.
  requests.Reply({{MNM_REPLY_REQUEST, "roth_ma"},
                  {MNM_CATEGORY, "trading calls"},
                  {MNM_HEADLINE, "Sell TCS"},
                  {MNM_BODY_TEXT, "b"}});
  requests.Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_CATEGORY, "markets"}, {MNM_BODY_TEXT, "n"}});
  requests.Reply({{MNM_REPLY_REQUEST, "roth_ma"},
                  {MNM_CATEGORY, "research reports"},
                  {MNM_HEADLINE, "Buy TCS"},
                  {MNM_BODY_TEXT, "up"}});
  ASSERT_EQ(3u, static_cast<CResearchModule&>(*cb->researchFeed).Feed().Calls().size());
  EXPECT_TRUE(Pane().Rows().empty());

  plugin->ProcessHotKey("Technical,Research and Option Calls", 0, {});
  ASSERT_EQ(2u, Pane().Rows().size());
  EXPECT_EQ("Buy TCS", CellText(0, NewsColumn::kHeadline));
  EXPECT_EQ("Sell TCS", CellText(1, NewsColumn::kHeadline));

  // Live calls go on top; the menu again adds nothing twice.
  Control(KOVO_RX_BROADCASTS)
      .Broadcast(
          {{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, "Buy INFY"}, {MNM_BODY_TEXT, "b"}});
  plugin->ProcessHotKey("Technical,Research and Option Calls", 0, {});
  ASSERT_EQ(3u, Pane().Rows().size());
  EXPECT_EQ("Buy INFY", CellText(0, NewsColumn::kHeadline));
}

TEST_F(BrokerCalls, StoriesReadInTheNewsWindowAreReadInThePane) {
  cb->session.loggedInUserId = "trader7";
  ASSERT_TRUE(Pane().CreatePane());
  auto* paneView = dynamic_cast<HeadlessView*>(Pane().GetView());
  ASSERT_NE(nullptr, paneView);
  FakeControl& broadcasts = Control(KOVO_RX_BROADCASTS);
  for (const char* headline : {"first", "second", "third"})
    broadcasts.Broadcast(
        {{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, headline}, {MNM_BODY_TEXT, "b"}});
  ASSERT_EQ(3u, Pane().Rows().size());
  const auto icon = [&](int row) {
    sCellInfo cell;
    const auto* call = reinterpret_cast<const sNewsDetails*>(Pane().List().GetItemData(row));
    EXPECT_TRUE(call && Pane().Cell(*call, static_cast<int>(NewsColumn::kIndicator), cell));
    return cell.icon;
  };
  EXPECT_EQ(26103, icon(2));

  plugin->ProcessHotKey("Shift+N", 0, {});
  CNews* news = static_cast<CResearchModule&>(*cb->researchFeed).News();
  ASSERT_NE(nullptr, news);
  // The oldest call is the news window's bottom row.
  news->List().SetSelection({2});
  const int refreshes = paneView->Refreshes();
  ASSERT_TRUE(news->OnEnter());
  EXPECT_EQ("Story - first", news->Story().Caption());
  EXPECT_EQ(26099, icon(2));
  EXPECT_EQ(26103, icon(1));
  EXPECT_GT(paneView->Refreshes(), refreshes);

  // Stepping on marks the next one read in the pane as well.
  news->Story().OnCommand(kIdNextStory);
  EXPECT_EQ("News Story - second", news->Story().Caption());
  EXPECT_EQ(26099, icon(1));
  EXPECT_EQ(26103, icon(0));
}

TEST_F(BrokerCalls, EnterOnAPaneRowOpensTheSharedStoryOverThePanesCalls) {
  cb->session.loggedInUserId = "trader7";
  FakeControl& broadcasts = Control(KOVO_RX_BROADCASTS);
  broadcasts.Broadcast(
      {{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, "one"}, {MNM_BODY_TEXT, "b"}});
  Control(KOVO_RX_REQUESTS)
      .Reply({{MNM_REPLY_REQUEST, "roth_ma"}, {MNM_CATEGORY, "markets"}, {MNM_BODY_TEXT, "n"}});
  broadcasts.Broadcast(
      {{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, "two"}, {MNM_BODY_TEXT, "b"}});
  ASSERT_EQ(2u, Pane().Rows().size());
  EXPECT_FALSE(Pane().OnEnter());  // nothing selected

  // The bottom row is the older call.
  Pane().List().SetSelection({1});
  ASSERT_TRUE(Pane().OnEnter());
  CNews* news = static_cast<CResearchModule&>(*cb->researchFeed).News();
  ASSERT_NE(nullptr, news);
  CNewsStory& story = news->Story();
  ASSERT_NE(nullptr, story.GetView());
  EXPECT_TRUE(story.GetView()->IsVisible());
  EXPECT_EQ("Story - one", story.Caption());
  EXPECT_TRUE(Pane().Rows()[1]->read);
  EXPECT_FALSE(story.PreviousVisible());

  // Stepping goes through the pane's calls, past the news item between them.
  ASSERT_TRUE(story.NextVisible());
  story.OnCommand(kIdNextStory);
  EXPECT_EQ("News Story - two", story.Caption());
  EXPECT_TRUE(Pane().Rows()[0]->read);
  EXPECT_FALSE(story.NextVisible());
  const auto& calls = static_cast<CResearchModule&>(*cb->researchFeed).Feed().Calls();
  ASSERT_EQ(3u, calls.size());
  EXPECT_FALSE(calls[1].read);

  // A live call goes on top of the pane: the story can step on to it.
  broadcasts.Broadcast(
      {{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, "three"}, {MNM_BODY_TEXT, "b"}});
  EXPECT_EQ("News Story - two", story.Caption());
  ASSERT_TRUE(story.NextVisible());
  story.OnCommand(kIdNextStory);
  EXPECT_EQ("News Story - three", story.Caption());
}

TEST(NewsColumnsShape, FourteenColumnsWithPricesRightAndTheIndicatorAnImage) {
  const auto columns = NewsColumns();
  ASSERT_EQ(14u, columns.size());
  EXPECT_STREQ("Time", columns[0].name);
  EXPECT_STREQ("InitiationPrice", columns[8].name);
  EXPECT_EQ(kFormatRight, columns[8].format);
  EXPECT_EQ(kSortInt64, columns[11].sortKind);
  EXPECT_EQ(kFormatRight, columns[12].format);
  EXPECT_EQ(kSortText, columns[12].sortKind);
  EXPECT_EQ(kFormatImage, columns[13].format);
  for (const auto& c : columns) EXPECT_EQ(100, c.width);
}

}  // namespace
}  // namespace kovo
