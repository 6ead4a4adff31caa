#include "market/zint_mkt_monitor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fakes/recording_dialogs.h"
#include "market/mkt_monitor_settings.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

TEST(MonitorSettings, ItemsCountOnlyWithTheirSeparatorAndPropsPairByPosition) {
  EXPECT_EQ(SplitTerminated("A,B", ","), std::vector<std::string>{"A"});
  EXPECT_EQ(SplitTerminated("A,B,", ","), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(SplitTerminated(",,", ","), (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(SplitTerminated("no separator", ",").empty());

  EXPECT_EQ(ParseTypeProps("255$$0$$"), (sMonitorTypeProps{255, false}));
  EXPECT_EQ(ParseTypeProps("65280$$1$$"), (sMonitorTypeProps{65280, true}));
  EXPECT_EQ(ParseTypeProps("65280$$1"), (sMonitorTypeProps{65280, false}))
      << "a flag without its separator does not count";
  EXPECT_EQ(ParseTypeProps("junk$$7$$"), (sMonitorTypeProps{0, true}));

  const sMonitorSettings s =
      ParseMonitorSettings("Upper Circuit,Volume Spike,Left", "255$$0$$,16711680$$1$$,");
  EXPECT_EQ(s.types, (std::vector<std::string>{"Upper Circuit", "Volume Spike"}));
  ASSERT_EQ(s.props.size(), 2u);
  EXPECT_EQ(s.props[1], (sMonitorTypeProps{16711680, true}));
  // What is written reads back the same.
  const sMonitorSettings again =
      ParseMonitorSettings(FormatMonitorMessages(s.types), FormatMonitorProps(s.props));
  EXPECT_EQ(again.types, s.types);
  EXPECT_EQ(again.props, s.props);
}

class MarketMonitor : public PluginFixture {
 protected:
  void Start(HostConfig config = {}) {
    auto recording = std::make_unique<test::RecordingDialogs>();
    colours = recording.get();
    replacementDialogs = std::move(recording);
    Load(config);
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
  }
  void WriteUser(const std::string& messages, const std::string& props) {
    cb->Settings().Write(kMonitorSection, kMonitorMessageKey, messages, kZintSettingsFile,
                         SettingsLocation::kUserFolder);
    cb->Settings().Write(kMonitorSection, kMonitorPropsKey, props, kZintSettingsFile,
                         SettingsLocation::kUserFolder);
  }
  void WriteFactory(const std::string& messages, const std::string& props) {
    std::ofstream(dir / "host" / "kovo plugins" / kFactorySettingsFile)
        << "[ZINT_MKT_MONITOR]\nMKT_MONITOR_MESSAGE=" << messages
        << "\nMKT_MONITOR_MSG_PROPS=" << props << "\n";
  }
  // The monitor's two controls are the last two taken.
  FakeControl& RequestControl() { return *rx.controls.at(rx.controls.size() - 2); }
  FakeControl& BroadcastControl() { return *rx.controls.back(); }
  // Registrations as "type@code", "*@code" for an any-type one, from index on.
  std::vector<std::string> Registrations(size_t from = 0) {
    const FakeControl& c = BroadcastControl();
    std::vector<std::string> out;
    for (size_t i = from; i + 1 < c.watched.size(); i += 2) {
      EXPECT_EQ(c.watched[i].first, MNM_MESSAGE_TYPE);
      EXPECT_EQ(c.watched[i + 1].first, MNM_EXCH_SEG);
      out.push_back((c.anyValue[i] ? std::string("*") : c.watched[i].second) + "@" +
                    c.watched[i + 1].second);
    }
    return out;
  }
  void Broadcast(const std::string& type, const std::string& exchange, const std::string& key,
                 const std::string& symbol, const std::string& time, const std::string& text) {
    BroadcastControl().Broadcast({{MNM_MESSAGE_TYPE, type},
                                  {MNM_EXCH_SEG, exchange},
                                  {MNM_TRADING_SYMBOL, key},
                                  {MNM_SYMBOL, symbol},
                                  {63080, time},
                                  {MNM_MESSAGE_TEXT, text}});
  }
  std::vector<std::string> Column(const CZintMktMonitor& m, int column) {
    std::vector<std::string> texts;
    const int pos = m.List().Position(column);
    for (int r = 0; r < m.List().ItemCount(); ++r) texts.push_back(m.List().CellText(r, pos));
    return texts;
  }

  test::RecordingDialogs* colours = nullptr;
  CControlBlock* cb = nullptr;
};

struct RecordingObserver final : CMktMonitorObserver {
  void OnMonitorChanged(Change what) override { ++counts[what]; }
  std::map<Change, int> counts;
};

TEST_F(MarketMonitor, SetUpAsksForTypesAndSubscribesEachCheckedTypeOnEveryExchange) {
  Start();
  WriteUser("Volume Spike,Upper Circuit,", "255$$0$$,65280$$1$$,");
  CZintMktMonitor monitor(*cb);
  ASSERT_TRUE(monitor.SetUp());
  EXPECT_TRUE(monitor.Started());
  EXPECT_EQ(RequestControl().kind, KOVO_RX_REQUESTS);
  EXPECT_EQ(BroadcastControl().kind, KOVO_RX_BROADCASTS);
  ASSERT_EQ(RequestControl().sent.size(), 1u);
  const test::MsgPtr sent = RequestControl().Sent(0);
  EXPECT_EQ(test::ValueText(sent.get(), MNM_REQUEST), "get_message_type");
  EXPECT_EQ(test::ValueText(sent.get(), MNM_USER_NAME), cb->session.loggedInUserId);
  EXPECT_TRUE(Logged("KovoZint Message : Market Monitor: Request sent To Get Message Types"));

  // "255$$0$$" leaves the first type red and unchecked, and the root unchecked.
  EXPECT_FALSE(monitor.AllChecked());
  EXPECT_FALSE(monitor.ItemChecked(CZintMktMonitor::kAll));
  EXPECT_FALSE(monitor.ItemChecked("Volume Spike"));
  EXPECT_EQ(monitor.ItemColour("Volume Spike"), Rgb(255, 0, 0));
  EXPECT_TRUE(monitor.ItemChecked("Upper Circuit"));
  EXPECT_EQ(monitor.Exchanges(), (std::vector<std::string>{"NSE", "BSE", "NFO", "MCX"}));
  EXPECT_EQ(Registrations(),
            (std::vector<std::string>{"Upper Circuit@nse_cm", "Upper Circuit@bse_cm",
                                      "Upper Circuit@nse_fo", "Upper Circuit@mcx_fo"}));

  // The reply brings the back end's types; known ones keep their state.
  RequestControl().Reply({{MNM_REPLY_REQUEST, "get_message_type"},
                          {MNM_MESSAGE_TYPE, "Volume Spike"},
                          {MNM_MESSAGE_TYPE, "52 Week High"}});
  EXPECT_EQ(monitor.TypeItems(),
            (std::vector<std::string>{"52 Week High", "Upper Circuit", "Volume Spike"}));
  EXPECT_FALSE(monitor.ItemChecked("52 Week High")) << "new types follow the root";
  EXPECT_FALSE(monitor.ItemChecked("Volume Spike"));
  // An empty closing error value is no failure; a non-empty one is reported.
  RequestControl().Reply({{MNM_REPLY_REQUEST, "get_message_type"},
                          {MNM_MESSAGE_TYPE, "Exchange Notice"},
                          {MNM_ERROR_TEXT, ""}});
  EXPECT_EQ(monitor.Types().count("Exchange Notice"), 1u);
  EXPECT_FALSE(Logged("request failed"));
  RequestControl().Reply({{MNM_REPLY_REQUEST, "get_message_type"}, {MNM_ERROR_TEXT, "no types"}});
  EXPECT_TRUE(Logged("KovoZint Error : get_message_type request failed , no types"));
  // Replies to other requests are not the monitor's.
  RequestControl().Reply({{MNM_REPLY_REQUEST, "other"}, {MNM_MESSAGE_TYPE, "Stray"}});
  EXPECT_EQ(monitor.Types().count("Stray"), 0u);

  // Closing writes both keys in the map's order.
  monitor.Close();
  std::string messages, props;
  cb->Settings().Read(kMonitorSection, kMonitorMessageKey, messages, kZintSettingsFile,
                      SettingsLocation::kUserFolder);
  cb->Settings().Read(kMonitorSection, kMonitorPropsKey, props, kZintSettingsFile,
                      SettingsLocation::kUserFolder);
  EXPECT_EQ(messages, "52 Week High,Exchange Notice,Upper Circuit,Volume Spike,");
  EXPECT_EQ(props, "0$$0$$,0$$0$$,65280$$1$$,255$$0$$,");
}

TEST_F(MarketMonitor, CheckBoxesMoveTheSubscriptions) {
  Start();
  WriteUser("A,B,", "0$$1$$,0$$0$$,");
  CZintMktMonitor monitor(*cb);
  HostConfig config;
  ASSERT_TRUE(monitor.SetUp());
  ASSERT_EQ(Registrations().size(), 4u) << "only A";
  auto& removed = BroadcastControl().removed;

  // Checking B subscribes it; unchecking A takes A's back.
  size_t from = BroadcastControl().watched.size();
  monitor.OnCheckClick("B");
  EXPECT_TRUE(monitor.Types().at("B").checked);
  EXPECT_EQ(Registrations(from),
            (std::vector<std::string>{"B@nse_cm", "B@bse_cm", "B@nse_fo", "B@mcx_fo"}));
  const std::vector<int64_t> aHandles = monitor.Types().at("A").handles;
  monitor.OnCheckClick("A");
  EXPECT_FALSE(monitor.Types().at("A").checked);
  EXPECT_TRUE(monitor.Types().at("A").handles.empty());
  EXPECT_EQ(std::vector<int64_t>(removed.end() - 4, removed.end()), aHandles);

  // Checking the root drops every type's registrations and watches any type.
  const size_t removedBefore = removed.size();
  from = BroadcastControl().watched.size();
  monitor.OnCheckClick(CZintMktMonitor::kAll);
  EXPECT_TRUE(monitor.AllChecked());
  EXPECT_TRUE(monitor.Types().at("A").checked);
  EXPECT_EQ(removed.size() - removedBefore, 4u) << "B's four";
  EXPECT_EQ(Registrations(from),
            (std::vector<std::string>{"*@nse_cm", "*@bse_cm", "*@nse_fo", "*@mcx_fo"}));
  EXPECT_EQ(monitor.AllTypeHandles().size(), 4u);

  // While the root is checked, a type's box changes nothing.
  from = BroadcastControl().watched.size();
  monitor.OnCheckClick("A");
  EXPECT_TRUE(monitor.Types().at("A").checked);
  EXPECT_TRUE(monitor.ItemChecked("A"));
  EXPECT_EQ(BroadcastControl().watched.size(), from);

  // Unchecking the root takes the any-type ones back and subscribes each type.
  const std::vector<int64_t> all = monitor.AllTypeHandles();
  monitor.OnCheckClick(CZintMktMonitor::kAll);
  EXPECT_FALSE(monitor.AllChecked());
  EXPECT_TRUE(monitor.AllTypeHandles().empty());
  EXPECT_EQ(std::vector<int64_t>(removed.end() - 4, removed.end()), all);
  EXPECT_EQ(Registrations(from).size(), 8u);
}

TEST_F(MarketMonitor, BroadcastsGoOnTopColouredByTypeAndFilterByType) {
  Start();
  WriteUser("Upper Circuit,Volume Spike,", "255$$1$$,16711680$$1$$,");
  CZintMktMonitor monitor(*cb);
  RecordingObserver observer;
  monitor.SetObserver(&observer);
  ASSERT_TRUE(monitor.SetUp());
  Broadcast("Upper Circuit", "nse_cm", "2885", "RELIANCE-EQ", "05/12/2026 09:15:02", "hit");
  Broadcast("Volume Spike", "bse_cm", "", "TCS-EQ", "09:16:00", "spike");
  Broadcast("Unknown", "xx_yy", "", "ABC", "", "odd");
  BroadcastControl().Broadcast({{MNM_EXCH_SEG, "nse_cm"}, {MNM_MESSAGE_TEXT, "untyped"}});
  EXPECT_EQ(Column(monitor, CZintMktMonitor::kColText),
            (std::vector<std::string>{"odd", "spike", "hit"}));
  EXPECT_EQ(Column(monitor, CZintMktMonitor::kColTime),
            (std::vector<std::string>{"", "09:16:00", "09:15:02"}));
  EXPECT_EQ(Column(monitor, CZintMktMonitor::kColExchange),
            (std::vector<std::string>{"xx_yy", "BSE", "NSE"}));
  EXPECT_EQ(observer.counts[CMktMonitorObserver::Change::kTopRowShown], 3);
  EXPECT_EQ(monitor.List().BackColor(), Rgb(255, 255, 255)) << "a white list, not green on black";
  sCellInfo cell;
  ASSERT_TRUE(monitor.List().GetCell(2, 0, cell));
  EXPECT_EQ(cell.textColor, Rgb(255, 0, 0));
  EXPECT_EQ(cell.backColor, Rgb(255, 255, 255));
  ASSERT_TRUE(monitor.List().GetCell(0, 0, cell));
  EXPECT_EQ(cell.textColor, 0u) << "unknown types are black";

  // With scroll lock new rows still go on top, but the view does not move.
  EXPECT_TRUE(monitor.OnCommand(CZintMktMonitor::kCmdScrollLock));
  Broadcast("Upper Circuit", "nse_cm", "11536", "TCS-EQ", "05/12/2026 09:17:00", "late");
  EXPECT_EQ(monitor.Row(0)->text, "late");
  EXPECT_EQ(observer.counts[CMktMonitorObserver::Change::kTopRowShown], 3);

  // A double click recolours the type's rows at once.
  colours->AnswerColor(Rgb(0, 128, 0));
  monitor.OnItemDoubleClick("Volume Spike");
  EXPECT_EQ(monitor.ItemColour("Volume Spike"), Rgb(0, 128, 0));
  ASSERT_TRUE(monitor.List().GetCell(2, 0, cell));
  EXPECT_EQ(cell.textColor, Rgb(0, 128, 0));

  // Filter by a type, then "--ALL--" with the click filter on shows every row.
  monitor.OnItemClick("Upper Circuit");
  EXPECT_EQ(monitor.List().ItemCount(), 4) << "the click filter starts off";
  monitor.OnCommand(CZintMktMonitor::kCmdClickFilter);
  EXPECT_TRUE(monitor.TreeMenu()[1].checked);
  monitor.OnItemClick("Upper Circuit");
  EXPECT_EQ(Column(monitor, CZintMktMonitor::kColText), (std::vector<std::string>{"late", "hit"}));
  monitor.OnItemClick(CZintMktMonitor::kAll);
  EXPECT_EQ(monitor.List().ItemCount(), 4);
}

TEST_F(MarketMonitor, RowActionsAndHotKeysOpenTheHostsDialogsOnlyWhileTheListHasFocus) {
  Start();
  // The session launch set the monitor up; its keys are the host's.
  ASSERT_NE(MarketMonitorOf(*cb), nullptr);
  CZintMktMonitor& monitor = *MarketMonitorOf(*cb);
  const auto keys = core->HotKeys();
  ASSERT_EQ(keys.size(), 7u);
  EXPECT_EQ(keys[1].key, "Plus");
  EXPECT_EQ(keys[1].commandId, 500);
  EXPECT_EQ(keys[1].description, "Plus Buy Order");
  EXPECT_EQ(keys[6].key, "F6");
  EXPECT_EQ(keys[6].group, "Zint Market Monitor");
  EXPECT_EQ(keys[6].description, "Snap Quote From MarketMonitor");
  ASSERT_EQ(monitor.ListMenu().size(), 10u);
  EXPECT_EQ(monitor.ListMenu()[4].text, "Market Picture \t F6");

  Broadcast("Upper Circuit", "nse_cm", "2885", "RELIANCE-EQ", "09:15:02", "hit");
  Broadcast("52 Week Low", "bse_cm", "", "TCS-EQ", "09:16:00", "low");
  monitor.List().SetSelection({1});
  core->PressHotKey("F1");
  monitor.OnCommand(CZintMktMonitor::kCmdOrderBook);
  EXPECT_TRUE(hostUi.InvokedDialogs().empty()) << "the list does not have the focus";

  monitor.SetListFocus(true);
  core->PressHotKey("F1");
  core->PressHotKey("Minus");
  core->PressHotKey("F3");
  core->PressHotKey("F8");
  core->PressHotKey("F6");
  const auto dialogs = hostUi.InvokedDialogs();
  ASSERT_EQ(dialogs.size(), 5u);
  EXPECT_EQ(dialogs[0].kind, 4);
  EXPECT_EQ(dialogs[0].scrip, "nse_cm|RELIANCE-EQ");
  EXPECT_EQ(dialogs[0].text1, "1");
  EXPECT_EQ(dialogs[1].text1, "2");
  EXPECT_EQ(dialogs[2].kind, 2);
  EXPECT_EQ(dialogs[3].kind, 3);
  EXPECT_EQ(dialogs[4].kind, 8);
  EXPECT_EQ(dialogs[4].text1, "RELIANCE-EQ");

  // Add to market watch: the scrip key when the row has one, else a look-up;
  // a row the look-up does not find is skipped.
  sScripDetails tcs{};
  std::snprintf(tcs.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "bse_cm");
  std::snprintf(tcs.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "532540");
  std::snprintf(tcs.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "TCS-EQ");
  core->Scrips().Load({tcs});
  Broadcast("52 Week Low", "bse_cm", "", "NOT-LISTED", "09:16:30", "gone");
  monitor.List().SetSelection({0, 1, 2});
  monitor.OnCommand(CZintMktMonitor::kCmdAddRowsToMarketWatch);
  EXPECT_EQ(core->MarketWatch(), (std::vector<std::string>{"bse_cm|532540", "nse_cm|2885"}));
}

TEST_F(MarketMonitor, HostsWithoutTheFunctionsGetNoOrdersOrNoMonitor) {
  HostConfig config;
  config.switchedOff = {"pu_InvokeDialog"};
  Start(config);
  {
    CZintMktMonitor monitor(*cb);
    ASSERT_TRUE(monitor.SetUp());
    EXPECT_TRUE(core->HotKeys().empty());
    EXPECT_EQ(monitor.ListMenu().front().text, "Add To MarketWatch");
  }
  config.switchedOff = {"pu_convert_exchange"};
  Start(config);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Market Monitor is not compatible with this exe"})
      << "the session launch tried first";
  EXPECT_EQ(MarketMonitorOf(*cb), nullptr);
  hostUi.Clear();
  CZintMktMonitor monitor(*cb);
  EXPECT_FALSE(monitor.SetUp());
  EXPECT_FALSE(monitor.Started());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Market Monitor is not compatible with this exe"});
  EXPECT_TRUE(RequestControl().sent.empty());
}

TEST_F(MarketMonitor, MissingUserKeysComeFromTheFactoryFileWhichAlsoResetsTypes) {
  Start();
  WriteFactory("Volume Spike,Upper Circuit,", "255$$1$$,65280$$0$$,");
  WriteUser("", "");
  CZintMktMonitor monitor(*cb);
  ASSERT_TRUE(monitor.SetUp());
  EXPECT_EQ(monitor.TypeItems(), (std::vector<std::string>{"Upper Circuit", "Volume Spike"}));
  EXPECT_EQ(monitor.ItemColour("Upper Circuit"), 65280u);
  EXPECT_FALSE(monitor.AllChecked());

  colours->AnswerColor(Rgb(1, 2, 3));
  monitor.SelectItem("Upper Circuit");
  monitor.OnCommand(CZintMktMonitor::kCmdChangeColour);
  monitor.OnCheckClick("Upper Circuit");
  ASSERT_EQ(monitor.ItemColour("Upper Circuit"), Rgb(1, 2, 3));
  monitor.OnCommand(CZintMktMonitor::kCmdFactoryReset);
  EXPECT_EQ(monitor.ItemColour("Upper Circuit"), 65280u);
  EXPECT_FALSE(monitor.Types().at("Upper Circuit").checked);
}

TEST_F(MarketMonitor, TheMenuCommandSetsTheMonitorUpOnceAndShutdownKeepsItsSettings) {
  Start();
  const std::vector<std::string> row = {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"};
  plugin->ProcessHotKey("Market Monitor", 0, row);
  CZintMktMonitor* monitor = MarketMonitorOf(*cb);
  ASSERT_NE(monitor, nullptr);
  EXPECT_TRUE(monitor->Started());
  EXPECT_EQ(RequestControl().SentNames(), std::vector<std::string>{"get_message_type"});
  RequestControl().Reply(
      {{MNM_REPLY_REQUEST, "get_message_type"}, {MNM_MESSAGE_TYPE, "Volume Spike"}});
  plugin->ProcessHotKey("Market Monitor", 0, row);
  EXPECT_EQ(MarketMonitorOf(*cb), monitor) << "shown again, not made again";
  EXPECT_EQ(RequestControl().sent.size(), 1u);

  const auto user = cb->Settings().PathOf(kZintSettingsFile, SettingsLocation::kUserFolder);
  plugin->Exit();
  std::ifstream in(user);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("MKT_MONITOR_MESSAGE=Volume Spike,"), std::string::npos) << text;
}

CZintPlugin* answeredPlugin = nullptr;
void AnswerToPlugin(const char* context, const sScripDetails* details) {
  if (answeredPlugin && details) answeredPlugin->ScripDetailsNotify(context, *details);
}

TEST_F(MarketMonitor, AHostWithOnlyTheContextLookUpAddsTheScripWhenItAnswers) {
  HostConfig config;
  config.switchedOff = {"pu_get_scrip_details_from_TradSymbol"};
  Start(config);
  answeredPlugin = plugin.get();
  core->SetScripDetailsNotify(&AnswerToPlugin);
  sScripDetails tcs{};
  std::snprintf(tcs.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "bse_cm");
  std::snprintf(tcs.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "532540");
  std::snprintf(tcs.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "TCS-EQ");
  core->Scrips().Load({tcs});
  CZintMktMonitor& monitor = *MarketMonitorOf(*cb);
  Broadcast("52 Week Low", "bse_cm", "", "TCS-EQ", "09:16:00", "low");
  Broadcast("52 Week Low", "bse_cm", "", "NOT-LISTED", "09:16:30", "gone");
  monitor.List().SetSelection({0, 1});
  monitor.OnCommand(CZintMktMonitor::kCmdAddRowsToMarketWatch);
  EXPECT_TRUE(core->MarketWatch().empty()) << "the host answers later";
  ui.Pump(100);
  EXPECT_EQ(core->MarketWatch(), std::vector<std::string>{"bse_cm|532540"})
      << "the scrip found is added; the one not found is skipped";
  // Answers with another context are not the monitor's.
  sScripDetails infy = tcs;
  std::snprintf(infy.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "500209");
  plugin->ScripDetailsNotify("MOVERS", infy);
  plugin->ScripDetailsNotify(CZintMktMonitor::kAddToMarketWatchContext, sScripDetails{});
  EXPECT_EQ(core->MarketWatch().size(), 1u);
  core->SetScripDetailsNotify(nullptr);
  answeredPlugin = nullptr;
}

}  // namespace
}  // namespace kovo
