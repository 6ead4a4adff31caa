// The market movers window: its request, the rows of a reply, refresh,
// menu and failures, in a host core with recording receiver controls.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "market/kovo_market_scanner.h"
#include "platform/headless_views.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

using namespace std::chrono_literals;
using Criteria = std::vector<std::vector<std::string>>;

constexpr int kVolume = 16100, kValue = 16101, kGainers = 16102, kLosers = 16103;

class MarketScanner : public PluginFixture {
 protected:
  CKovoMarketScanner& Open(HostConfig config = {}) {
    Load(std::move(config));
    EXPECT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    CKovoMarketScanner& scanner = MarketOf(*cb).Scanner();
    scanner.CreatePane();
    return scanner;
  }
  // The pane's own control.
  FakeControl& Control() {
    return *reinterpret_cast<FakeControl*>(MarketOf(*plugin->ControlBlock()).Scanner().Control());
  }
  test::MsgPtr LastSent() { return Control().Sent(Control().sent.size() - 1); }
  static Criteria CriteriaOf(const wmp_msg* m) {
    Criteria out;
    for (int32_t i = 0; i < FieldCount(m, MNM_FILTER_KEY); ++i) {
      out.push_back({test::ValueText(m, MNM_FILTER_KEY, i),
                     test::ValueText(m, MNM_FILTER_OPERATOR, i),
                     test::ValueText(m, MNM_FILTER_VALUE, i)});
    }
    return out;
  }
  void Reply(std::vector<test::Field> fields) {
    fields.insert(fields.begin(), {MNM_REPLY_REQUEST, "kms_request_nse_cm"});
    Control().Reply(fields);
  }
  static std::vector<std::string> Column(CKovoMarketScanner& s, int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < s.List().ItemCount(); ++row)
      cells.push_back(s.List().CellText(row, column));
    return cells;
  }
  CControlBlock* cb = nullptr;
};

TEST_F(MarketScanner, RequestCarriesCriteriaCountAndOrderOfEachCategory) {
  CKovoMarketScanner& s = Open();
  ASSERT_TRUE(s.IsInitialised());
  EXPECT_EQ(s.Exchanges(), std::vector<std::string>{"NSE"});
  EXPECT_EQ(s.List().Columns().at(3).Name(), "Value");

  struct Case {
    int button;
    std::string lower, upper;
    Criteria criteria;
    bool desc;
    std::string header;
  };
  const std::vector<Case> cases = {
      {kVolume, "", "", {{"32", ">", "0"}}, true, "Trade Size"},
      {kLosers, "", "", {{"PrevCloseFOI", "<", "0"}}, false, "% Change"},
      {kVolume, "12.5", "", {{"32", ">", "1250.000000"}}, true, "Trade Size"},
      {kValue,
       "10",
       "99.95",
       {{"TrdValueFOI", ">", "1000.000000"}, {"6", "<", "9995.000000"}},
       true,
       "Value (In Lakhs)"},
      {kGainers, "", "40", {{"PrevCloseFOI", "<", "4000.000000"}}, true, "% Change"},
      {kLosers, "3", "", {{"PrevCloseFOI", ">", "300.000000"}}, false, "% Change"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    s.SetLowerPrice(c.lower);
    s.SetUpperPrice(c.upper);
    const size_t before = Control().sent.size();
    ASSERT_TRUE(s.OnCategoryClick(c.button));
    ASSERT_EQ(Control().sent.size(), before + 1);
    const test::MsgPtr m = LastSent();
    EXPECT_EQ(test::ValueText(m.get(), MNM_REQUEST), "kms_request_nse_cm");
    EXPECT_EQ(CriteriaOf(m.get()), c.criteria);
    EXPECT_EQ(test::ValueText(m.get(), MNM_RECORD_COUNT), "25");
    EXPECT_EQ(test::ValueText(m.get(), MNM_FIELD_49033), c.desc ? "DESC" : "<missing>");
    EXPECT_EQ(s.List().Columns().at(3).Name(), c.header);
    EXPECT_EQ(s.Category(), c.button - kVolume);
    EXPECT_EQ(s.ButtonColor(c.button - kVolume), CMarketScannerLogic::kSelectedColor);
    EXPECT_EQ(s.ButtonColor((c.button - kVolume + 1) % 4), CMarketScannerLogic::kNormalColor);
    EXPECT_TRUE(s.RequestPending());
    Reply({{59051, "nse_cm"}});  // answered, so the next click may go
    EXPECT_FALSE(s.RequestPending());
  }
  EXPECT_TRUE(Logged("KovoZint Message : Market movers request sent"));
}

TEST_F(MarketScanner, ReplyRowsAreRankedScaledAndFormattedPerCategory) {
  CKovoMarketScanner& s = Open();
  s.OnCategoryClick(kValue);
  Reply({{59051, "nse_cm"},
         {59001, "AAA-EQ"},
         {59001, "BBB-EQ"},
         {59001, "CCC-EQ"},
         {59101, "2500000"},
         {59101, "123456.7"}});
  EXPECT_EQ(Column(s, 0), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Column(s, 1), (std::vector<std::string>{"AAA-EQ", "BBB-EQ", "CCC-EQ"}));
  EXPECT_EQ(Column(s, 2), (std::vector<std::string>{"NSE", "NSE", "NSE"}));
  // The third symbol has no value: an empty cell, not a number.
  EXPECT_EQ(Column(s, 3), (std::vector<std::string>{"25.00000", "1.23457", ""}));
  for (int pos = 0; pos < 4; ++pos) EXPECT_GE(s.List().HeaderWidth(pos), 50);

  s.OnCategoryClick(kGainers);
  EXPECT_EQ(s.List().ItemCount(), 0);  // a new category starts empty
  Reply({{59051, "nse_cm"}, {59001, "AAA-EQ"}, {59101, "0.0123"}});
  EXPECT_EQ(Column(s, 3), std::vector<std::string>{"1.2300"});

  // A loser of exactly one per cent is a value, not the empty marker.
  s.OnCategoryClick(kLosers);
  Reply({{59051, "nse_cm"},
         {59001, "ZZZ-EQ"},
         {59001, "YYY-EQ"},
         {59101, "-0.01"},
         {59101, "-0.005"}});
  EXPECT_EQ(Column(s, 3), (std::vector<std::string>{"-1.0000", "-0.5000"}));

  // Ranks stay with their rows when the list sorts or filters.
  s.List().OnHeaderClick(3);
  if (Column(s, 1).front() == "ZZZ-EQ") s.List().OnHeaderClick(3);
  EXPECT_EQ(Column(s, 1), (std::vector<std::string>{"YYY-EQ", "ZZZ-EQ"}));
  EXPECT_EQ(Column(s, 0), (std::vector<std::string>{"2", "1"}));
  ASSERT_TRUE(s.List().SetFilter(1, "YYY", false));
  EXPECT_EQ(Column(s, 0), std::vector<std::string>{"2"});
  s.List().ResetFilters();

  s.OnCategoryClick(kVolume);
  Reply({{59051, "bse_cm"}, {59001, "Q"}, {59101, "1234567.6"}});
  EXPECT_EQ(Column(s, 3), std::vector<std::string>{"1234568"});
  EXPECT_EQ(Column(s, 2), std::vector<std::string>{"BSE"});
}

TEST_F(MarketScanner, ErrorAndEmptyRepliesEndThePendingMarkWithAnEmptyList) {
  CKovoMarketScanner& s = Open();
  s.OnCategoryClick(kVolume);
  Reply({{MNM_ERROR_TEXT, "first"},
         {MNM_ERROR_TEXT, "segment closed"},
         {59051, "nse_cm"},
         {59001, "A"}});
  EXPECT_TRUE(Logged("KovoZint Error : kms_request_nse_cm request failed , segment closed"));
  EXPECT_EQ(s.List().ItemCount(), 0);
  EXPECT_FALSE(s.RequestPending());

  s.OnCategoryClick(kVolume);
  Reply({{59051, "nse_cm"}});
  EXPECT_EQ(s.List().ItemCount(), 0);
  EXPECT_FALSE(s.RequestPending());

  // No exchange: nothing is read, the mark still ends.
  s.OnCategoryClick(kVolume);
  Reply({{59001, "A"}});
  EXPECT_EQ(s.List().ItemCount(), 0);
  EXPECT_FALSE(s.RequestPending());
}

TEST_F(MarketScanner, PendingRequestRefusesClicksButNotTheTimer) {
  CKovoMarketScanner& s = Open();
  s.OnCategoryClick(kGainers);
  Reply({{59051, "nse_cm"}, {59001, "A"}, {59101, "0.02"}});
  s.OnCategoryClick(kVolume);
  ASSERT_TRUE(s.RequestPending());
  const size_t sent = Control().sent.size();
  s.OnCategoryClick(kLosers);
  EXPECT_TRUE(Logged("KovoZint Message : Previous Market Movers request is pending.."));
  EXPECT_EQ(Control().sent.size(), sent);
  EXPECT_EQ(s.Category(), kVolumeLeaders);  // nothing changed
  EXPECT_EQ(s.List().Columns().at(3).Name(), "Trade Size");

  s.OnAutoRefreshClick(true);
  EXPECT_EQ(s.RefreshPeriodMs(), 300000);
  ui.AdvanceClock(300000ms);
  EXPECT_EQ(Control().sent.size(), sent + 1);
  EXPECT_EQ(CriteriaOf(LastSent().get()), (Criteria{{"32", ">", "0"}}));
}

TEST_F(MarketScanner, AutoRefreshFollowsTheRecordCount) {
  CKovoMarketScanner& s = Open();
  EXPECT_EQ(s.AutoRefreshLabel(), "Auto Refresh(5 min)");
  s.OnRecordCountChange("26");
  EXPECT_TRUE(s.AutoRefreshEnabled());
  EXPECT_EQ(s.AutoRefreshLabel(), "Auto Refresh(10 min)");
  s.OnRecordCountChange("501");
  EXPECT_FALSE(s.AutoRefreshEnabled());
  s.OnRecordCountChange("0");
  EXPECT_FALSE(s.AutoRefreshEnabled());
  s.OnRecordCountChange("25");
  EXPECT_TRUE(s.AutoRefreshEnabled());
  EXPECT_EQ(s.AutoRefreshLabel(), "Auto Refresh(5 min)");

  s.OnRecordCountChange("26");
  s.OnAutoRefreshClick(true);
  EXPECT_EQ(s.RefreshPeriodMs(), 600000);
  s.OnCategoryClick(kValue);  // a category request re-arms with the same period
  EXPECT_EQ(s.RefreshPeriodMs(), 600000);
  Reply({{59051, "nse_cm"}, {59001, "A"}, {59101, "100000"}});
  const size_t sent = Control().sent.size();
  ui.AdvanceClock(599999ms);
  EXPECT_EQ(Control().sent.size(), sent);
  ui.AdvanceClock(1ms);
  ASSERT_EQ(Control().sent.size(), sent + 1);
  EXPECT_EQ(test::ValueText(LastSent().get(), MNM_RECORD_COUNT), "26");
  EXPECT_EQ(s.List().ItemCount(), 0);  // the refresh starts from an empty list

  s.OnRecordCountChange("501");
  s.OnAutoRefreshClick(true);
  EXPECT_EQ(s.RefreshPeriodMs(), 0);
  s.OnRecordCountChange("3");
  s.OnAutoRefreshClick(true);
  EXPECT_EQ(s.RefreshPeriodMs(), 300000);
  s.OnAutoRefreshClick(false);
  EXPECT_EQ(s.RefreshPeriodMs(), 0);
  s.OnAutoRefreshClick(true);
  s.OnClose();
  const size_t afterClose = Control().sent.size();
  ui.AdvanceClock(3600000ms);
  EXPECT_EQ(Control().sent.size(), afterClose);
}

TEST_F(MarketScanner, RefusalsAndFailuresSendNothingOrLeaveTheMark) {
  {
    HostConfig config;
    config.switchedOff = {"pu_load_exchange_combo"};
    Load(config);
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    CKovoMarketScanner& s = MarketOf(*plugin->ControlBlock()).Scanner();
    EXPECT_FALSE(s.CreatePane());
    EXPECT_EQ(Boxes().back(), "Market Movers is not compatible with this exe");
  }
  {
    HostConfig config;
    config.switchedOff = {"pu_convert_exchange"};
    CKovoMarketScanner& s = Open(config);
    const size_t sent = Control().sent.size();
    s.OnCategoryClick(kVolume);
    EXPECT_EQ(Boxes().back(), "Market Movers is not compatible with this exe");
    EXPECT_EQ(Control().sent.size(), sent);
    EXPECT_FALSE(s.RequestPending());
  }
  CKovoMarketScanner& s = Open();
  cb->session.loggedInUserId.clear();
  const size_t sent = Control().sent.size();
  s.OnCategoryClick(kVolume);
  EXPECT_EQ(Boxes().back(), "Zint user not logged in ");
  EXPECT_EQ(Control().sent.size(), sent);
  EXPECT_FALSE(s.RequestPending());

  cb->session.loggedInUserId = "DEMO01";
  rx.failSend = true;
  s.OnCategoryClick(kVolume);
  EXPECT_TRUE(Logged("KovoZint Error : sending market movers request is failed"));
  EXPECT_FALSE(s.RequestPending());
  rx.failSend = false;
  s.OnCategoryClick(kVolume);
  EXPECT_TRUE(s.RequestPending());
}

TEST_F(MarketScanner, MenuAddsSelectedRowsToTheMarketWatchAndTogglesTheStrip) {
  CKovoMarketScanner& s = Open();
  s.OnCategoryClick(kVolume);
  Reply({{59051, "nse_cm"}, {59001, "AAA-EQ"}, {59001, "BBB-EQ"}, {59001, "CCC-EQ"}});
  const std::vector<sMenuItem> menu = s.ContextMenu();
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_EQ(menu[0], (sMenuItem{501, "Add To MarketWatch", false}));
  EXPECT_EQ(menu[1], (sMenuItem{502, "Configuration", true}));
  EXPECT_EQ(menu[2], (sMenuItem{503, "Write To Excel\tShift+E", false}));

  s.List().SetSelection({0, 2});
  s.OnCommand(kCmdAddToMarketWatch);
  const std::vector<std::string> watch = core->MarketWatch();
  EXPECT_EQ(watch, (std::vector<std::string>{"nse_cm|AAA-EQ", "nse_cm|CCC-EQ"}));

  s.OnListDoubleClick();
  EXPECT_FALSE(s.ConfigurationShown());
  EXPECT_FALSE(s.ContextMenu()[1].checked);
  s.OnCommand(kCmdConfiguration);
  EXPECT_TRUE(s.ConfigurationShown());

  HostConfig config;
  config.switchedOff = {"pu_add_scrip_to_MW"};
  CKovoMarketScanner& other = Open(config);
  EXPECT_TRUE(other.ContextMenu().empty());
}

TEST_F(MarketScanner, CommandsShowTheOnePaneAndTheDialog) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->ProcessHotKey("Market Movers", 0, {});
  CControlBlock& block = *plugin->ControlBlock();
  CKovoMarketScanner* pane = MarketOf(block).ScannerIfAny();
  ASSERT_NE(pane, nullptr);
  auto& frame = static_cast<HeadlessHostFrame&>(block.Frame());
  ASSERT_EQ(frame.Panes().count("ZintMarketMovers"), 1u);
  EXPECT_EQ(frame.Panes().at("ZintMarketMovers").title, "Zint Market Movers");
  EXPECT_TRUE(frame.Panes().at("ZintMarketMovers").shown);
  plugin->ProcessHotKey("Market Movers", 0, {});
  EXPECT_EQ(MarketOf(block).ScannerIfAny(), pane);
  EXPECT_EQ(pane->Name(), "Market Movers");

  plugin->ProcessHotKey("Market Movers Dlg", 0, {});
  CKovoMarketScannerDlg* dialog = MarketOf(block).ScannerDlgIfAny();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->Name(), "Market Movers Dlg");
  ASSERT_NE(dialog->GetView(), nullptr);
  EXPECT_TRUE(dialog->GetView()->IsVisible());
  // The dialog answers its own control ids.
  EXPECT_FALSE(dialog->OnCategoryClick(kVolume));
  EXPECT_TRUE(dialog->OnCategoryClick(CKovoMarketScannerDlg::kIds.categoryFirst));
  const auto& own = *reinterpret_cast<FakeControl*>(dialog->Control());
  ASSERT_EQ(own.sent.size(), 1u);
  EXPECT_EQ(test::ValueText(own.Sent(0).get(), MNM_REQUEST), "kms_request_nse_cm");
  EXPECT_TRUE(dialog->RequestPending());
  EXPECT_FALSE(pane->RequestPending()) << "each form keeps its own request";

  block.session.loggedInUserId.clear();
  const size_t boxes = Boxes().size();
  plugin->ProcessHotKey("Market Movers", 0, {});
  EXPECT_EQ(Boxes().size(), boxes + 1);
}

sScripDetails Equity(const char* token, const char* tradingSymbol, const char* symbol) {
  sScripDetails s{};
  std::snprintf(s.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "nse_cm");
  std::snprintf(s.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "%s", token);
  std::snprintf(s.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", tradingSymbol);
  std::snprintf(s.texts[KOVO_SCRIP_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", symbol);
  return s;
}

CZintPlugin* answeredPlugin = nullptr;
void AnswerToPlugin(const char* context, const sScripDetails* details) {
  if (answeredPlugin && details) answeredPlugin->ScripDetailsNotify(context, *details);
}

std::vector<std::string> Details(const CMarketScannerLogic& s) {
  std::vector<std::string> details;
  for (int row = 0; row < s.List().ItemCount(); ++row)
    details.push_back(reinterpret_cast<const sMoverItem*>(s.List().GetItemData(row))->detail);
  return details;
}

TEST_F(MarketScanner, TheHostsLaterAnswersToTheRowsLookUpsReachTheWindowThatAsked) {
  CKovoMarketScanner& pane = Open();
  core->Scrips().Load({Equity("2885", "RELIANCE-EQ", "RELIANCE"), Equity("11536", "TCS-EQ", "TCS"),
                       Equity("1594", "INFY-EQ", "")});
  answeredPlugin = plugin.get();
  core->SetScripDetailsNotify(&AnswerToPlugin);
  CKovoMarketScannerDlg& dialog = MarketOf(*cb).ScannerDlg();
  ASSERT_TRUE(dialog.Create());

  pane.OnCategoryClick(kVolume);
  Reply({{59051, "nse_cm"},
         {59001, "RELIANCE-EQ"},
         {59001, "NOPE-EQ"},
         {59001, "INFY-EQ"},
         {59001, "TCS-EQ"}});
  EXPECT_EQ(pane.PendingContext(), "Market Movers");
  EXPECT_EQ(Details(pane), (std::vector<std::string>{"", "", "", ""})) << "the host answers later";
  ui.Pump(100);
  EXPECT_EQ(Details(pane), (std::vector<std::string>{"RELIANCE", "", "", "TCS"}))
      << "an unknown scrip and a record without a symbol text change nothing";

  // The dialog asks under its own context; its answers leave the pane's rows alone.
  dialog.OnCategoryClick(17100);
  reinterpret_cast<FakeControl*>(dialog.Control())
      ->Reply({{MNM_REPLY_REQUEST, "kms_request_nse_cm"},
               {59051, "nse_cm"},
               {59001, "TCS-EQ"},
               {59001, "RELIANCE-EQ"}});
  EXPECT_EQ(dialog.PendingContext(), "Market Movers Dlg");
  sScripDetails renamed = Equity("2885", "RELIANCE-EQ", "RIL");
  plugin->ScripDetailsNotify("Market Movers Dlg", renamed);
  EXPECT_EQ(Details(dialog), (std::vector<std::string>{"", "RIL"}));
  EXPECT_EQ(Details(pane)[0], "RELIANCE");
  // Other contexts, and a record of another exchange, are not the movers'.
  plugin->ScripDetailsNotify("ADD_TO_MW", renamed);
  std::snprintf(renamed.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "bse_cm");
  plugin->ScripDetailsNotify("Market Movers", renamed);
  EXPECT_EQ(Details(pane)[0], "RELIANCE");
  ui.Pump(100);
  EXPECT_EQ(Details(dialog), (std::vector<std::string>{"TCS", "RELIANCE"}));
  core->SetScripDetailsNotify(nullptr);
  answeredPlugin = nullptr;
}

TEST_F(MarketScanner, WithoutTheHostsContextLookUpTheRowsAskNothing) {
  HostConfig config;
  config.switchedOff = {"pu_get_scrip_details_from_TradSymbol_context"};
  CKovoMarketScanner& pane = Open(config);
  pane.OnCategoryClick(kVolume);
  Reply({{59051, "nse_cm"}, {59001, "RELIANCE-EQ"}});
  EXPECT_EQ(pane.PendingContext(), "");
  plugin->ScripDetailsNotify("", Equity("2885", "RELIANCE-EQ", "RELIANCE"));
  EXPECT_EQ(Details(pane), std::vector<std::string>{""});
}

}  // namespace
}  // namespace kovo
