#include "charts/bar_chart_dlg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/headless_views.h"
#include "plugin/mnm_fields.h"
#include "plugin/session_launch.h"
#include "ui/list_types.h"
#include "unit/charts_store/oi_chart_fixture.h"

namespace kovo {
namespace {

std::vector<size_t> Range(size_t first, size_t n) {
  std::vector<size_t> v;
  for (size_t i = 0; i < n; ++i) v.push_back(first + i);
  return v;
}

TEST(OiStrikeWindow, ElevenStrikesAroundTheOwnOneKeptInsideTheList) {
  EXPECT_EQ(ChooseStrikeWindow(20, 18), Range(9, 11)) << "second highest: the highest eleven";
  EXPECT_EQ(ChooseStrikeWindow(20, 2), Range(0, 11)) << "third: the lowest eleven";
  EXPECT_EQ(ChooseStrikeWindow(20, 4), Range(0, 11));
  EXPECT_EQ(ChooseStrikeWindow(20, 5), Range(0, 11)) << "from s - 1 = own - 5";
  EXPECT_EQ(ChooseStrikeWindow(20, 10), Range(5, 11));
  EXPECT_EQ(ChooseStrikeWindow(20, 14), Range(9, 11)) << "five above is enough";
  EXPECT_EQ(ChooseStrikeWindow(20, 15), Range(9, 11)) << "four above: the highest eleven";
  EXPECT_EQ(ChooseStrikeWindow(6, 3), Range(0, 6)) << "a short list is shown whole";
}

TEST_F(OiChart, AsksForElevenStrikesBothSidesAndDrawsOnlyWhenAllRepliesAreIn) {
  CBarChartDlg chart(*cb);
  ASSERT_TRUE(chart.Build("nse_fo", "40008"));  // the 20800 call
  EXPECT_EQ(chart.Title(), "NIFTY 20800 CE           Open Interest Distribution");
  ASSERT_EQ(chart.Strikes().size(), 11u);
  EXPECT_EQ(chart.Strikes().front().label, "20300.00");
  EXPECT_EQ(chart.Strikes().back().label, "21300.00");
  EXPECT_EQ(chart.Strikes()[0].callToken, "40003");
  EXPECT_EQ(chart.Strikes()[0].putToken, "50003");
  ASSERT_EQ(Requests().sent.size(), 22u);
  EXPECT_EQ(test::ValueText(Requests().Sent(0).get(), MNM_TRADING_SYMBOL), "40003");
  EXPECT_EQ(test::ValueText(Requests().Sent(11).get(), MNM_TRADING_SYMBOL), "50003")
      << "every call first, then every put";
  EXPECT_EQ(test::ValueText(Requests().Sent(21).get(), MNM_REQUEST), "mrv_master");
  EXPECT_EQ(Broadcasts().watched.size(), 22u * 3);

  for (int i = 0; i < 11; ++i) Row(std::to_string(40003 + i), "1000", "800");
  for (int i = 0; i < 10; ++i) Row(std::to_string(50003 + i), "500", "1000");
  EXPECT_TRUE(chart.Bars().empty()) << "21 of 22 replies";
  EXPECT_TRUE(Boxes().empty()) << "closing messages are no failures";
  Row("50013", "0", "0");
  ASSERT_EQ(chart.Bars().size(), 44u);
  EXPECT_EQ(chart.Bars()[0].value, 1000);
  EXPECT_EQ(chart.Bars()[1].value, 200);
  EXPECT_EQ(chart.Bars()[1].colour, 13145700u);
  EXPECT_EQ(chart.Bars()[3].value, -500);
  EXPECT_EQ(chart.Bars()[3].colour, 255u);
  EXPECT_EQ(chart.Tooltip(0), "20300.00\nCall: 1000.0000 (25.00%)\nPut: 500.0000 (-50.00%)\n");
  EXPECT_EQ(chart.Tooltip(10), "21300.00\nCall: 1000.0000 (25.00%)\nPut: 0.0000 (0.00%)\n");

  // Broadcast open interest replaces that strike's value.
  Broadcasts().Broadcast({{MNM_EXCH_SEG, "nse_fo"}, {MNM_TRADING_SYMBOL, "40003"}, {64, "1200"}});
  EXPECT_EQ(chart.Bars()[0].value, 1200);
  EXPECT_EQ(chart.Bars()[1].value, 400);

  Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, "scrip not found"}},
                   ContextOf("40003"));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"scrip not found"});

  // A new build takes the earlier watches back.
  ASSERT_TRUE(chart.Build("nse_fo", "40013"));
  EXPECT_EQ(Broadcasts().removed.size(), 22u);
  EXPECT_EQ(chart.Strikes().front().label, "20400.00") << "the highest eleven";
}

TEST_F(OiChart, ARebuildCountsOnlyItsOwnRowsThoughTheStrikesOverlap) {
  CBarChartDlg chart(*cb);
  ASSERT_TRUE(chart.Build("nse_fo", "40008"));  // strikes 20300..21300
  void* first = ContextOf("40008");
  // Half the first build's rows are in when another option is chosen.
  for (int i = 0; i < 11; ++i) Row(std::to_string(40003 + i), "1000", "800");

  ASSERT_TRUE(chart.Build("nse_fo", "40009"));  // strikes 20400..21400: ten shared
  EXPECT_NE(ContextOf("40008"), first) << "the new build's requests are told apart";
  EXPECT_EQ(chart.Replies(), 0);
  // The first build's puts, for ten strikes the new build also shows, come late.
  for (int i = 0; i < 11; ++i) RowFor(first, std::to_string(50003 + i), "9999", "1");
  RowFor(first, "50003", "9999", "1");
  Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, "stale failure"}}, first);
  EXPECT_EQ(chart.Replies(), 0);
  EXPECT_TRUE(Boxes().empty());

  for (int i = 0; i < 11; ++i) Row(std::to_string(40004 + i), "1000", "800");
  // A side answered twice is still one row.
  Row("40004", "1100", "800");
  for (int i = 0; i < 10; ++i) Row(std::to_string(50004 + i), "500", "1000");
  EXPECT_FALSE(chart.AllRowsIn()) << "21 of the new build's 22 rows";
  EXPECT_TRUE(chart.Bars().empty());
  Row("50014", "500", "1000");
  ASSERT_TRUE(chart.AllRowsIn());
  ASSERT_EQ(chart.Bars().size(), 44u);
  EXPECT_EQ(chart.Bars()[0].value, 1100) << "the repeated row's newer value";
  for (size_t s = 0; s < 11; ++s) EXPECT_EQ(chart.Bars()[s * 4 + 2].value, 500) << s;
}

TEST_F(OiChart, OpenInterestBarLoadsAnOptionIntoItsPaneAndRemembersIt) {
  ASSERT_TRUE(Frame().Panes().count(CBarChartDlg::kPaneId)) << "the launch made the pane";
  EXPECT_FALSE(PaneShown());
  const size_t controls = rx.controls.size();

  plugin->ProcessHotKey("Open Interest Bar", 0, {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"});
  plugin->ProcessHotKey("Open Interest Bar", 0, {"nse_fo", "NIFTY26DEC99999CE", "NIFTY", "1"});
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Please Select an option scrip",
                                               "Please Select an option scrip"}))
      << "an equity, and a scrip the host does not know";
  EXPECT_FALSE(PaneShown());
  EXPECT_EQ(Stored(), "");
  EXPECT_EQ(rx.controls.size(), controls) << "no receiver controls before an option is loaded";

  plugin->ProcessHotKey("Open Interest Bar", 0, {"nse_fo", "NIFTY26DEC20800CE", "NIFTY", "40008"});
  EXPECT_TRUE(PaneShown());
  const CBarChartDlg& chart = OiChartOf(*cb);
  ASSERT_EQ(chart.Strikes().size(), 11u);
  EXPECT_EQ(Requests().sent.size(), 22u);
  EXPECT_EQ(Stored(), "nse_fo|40008");
  const auto* view = dynamic_cast<const HeadlessView*>(chart.GetView());
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->IsVisible());
  EXPECT_EQ(view->Title(), "NIFTY 20800 CE           Open Interest Distribution");
  const int refreshes = view->Refreshes();
  for (int i = 0; i < 11; ++i) Row(std::to_string(40003 + i), "1000", "800");
  for (int i = 0; i < 11; ++i) Row(std::to_string(50003 + i), "500", "1000");
  EXPECT_TRUE(chart.AllRowsIn());
  EXPECT_EQ(view->Refreshes(), refreshes + 1) << "the view redraws once, when the last row is in";
  Broadcasts().Broadcast({{MNM_EXCH_SEG, "nse_fo"}, {MNM_TRADING_SYMBOL, "50008"}, {64, "700"}});
  EXPECT_EQ(view->Refreshes(), refreshes + 2);
  EXPECT_EQ(chart.Bars()[5 * 4 + 2].value, 700);
}

TEST_F(OiChart, WithoutAWindowTheChartSaysSoAndTheLaunchGoesOn) {
  windowless = true;
  Start();
  plugin->ProcessHotKey("Open Interest Bar", 0, {"nse_fo", "NIFTY26DEC20800CE", "NIFTY", "40008"});
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Unable to create the chart control"});

  // The launch reports the pane it cannot make and makes the ones after it.
  const CPaneRegistry defaults = DefaultPaneRegistry();
  const sLaunchPane* oi = defaults.Find(10053);
  ASSERT_NE(oi, nullptr);
  CPaneRegistry registry;
  registry.Add(*oi);
  bool after = false;
  registry.Add({1, "after", "", true, [&](CControlBlock&) { return after = true; }, nullptr});
  CSessionLauncher launcher(*cb, std::move(registry));
  launcher.Launch(false);
  EXPECT_TRUE(after);
  EXPECT_TRUE(launcher.PanesCreated());
  EXPECT_TRUE(Logged("KovoZint Error : Unable to create the chart control"));
}

TEST_F(OiChart, TheLaunchReloadsTheRememberedOptionWhenTheLayoutShowsThePane) {
  Relaunch("10053 0 0 B 0 0 0 0\n", "nse_fo|40008");
  EXPECT_FALSE(PaneShown());
  EXPECT_TRUE(OiChartOf(*cb).Strikes().empty()) << "a hidden pane loads nothing";

  Relaunch("10053 1 0 B 0 0 0 0\n", "nse_cm|2885");
  EXPECT_TRUE(PaneShown());
  EXPECT_TRUE(OiChartOf(*cb).Strikes().empty()) << "a remembered scrip that is no option";
  Relaunch("10053 1 0 B 0 0 0 0\n", "nse_fo40008");
  EXPECT_TRUE(OiChartOf(*cb).Strikes().empty()) << "a key without its bar";
  EXPECT_TRUE(Boxes().empty());

  Relaunch("10053 1 0 B 0 0 0 0\n", "nse_fo|40013");
  ASSERT_EQ(OiChartOf(*cb).Strikes().size(), 11u);
  EXPECT_EQ(OiChartOf(*cb).Strikes().front().label, "20400.00");
  EXPECT_EQ(Requests().sent.size(), 22u);
  // Restoring into panes that exist loads nothing again.
  CSessionLauncher(*cb, DefaultPaneRegistry()).Launch(true);
  EXPECT_EQ(Requests().sent.size(), 22u);
}

}  // namespace
}  // namespace kovo
