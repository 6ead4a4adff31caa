#include "charts/chart_time.h"
#include "platform/headless_views.h"
#include "unit/charts_store/chart_store_fixture.h"

namespace kovo {
namespace {

class ChartView : public ChartStoreFixture {
 protected:
  // An intraday chart with `count` one-minute bars from 09:15 today.
  CFChartView& Open(int count) {
    EXPECT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
    first = LocalMidnight(Now()) + 9 * 3600 + 15 * 60;
    TodayBars(key, first, count);
    return View(0);
  }
  void Tick(int64_t price, int64_t qty) {
    broadcasts->Broadcast({F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "2885"),
                           F(6, std::to_string(price)), F(178, std::to_string(qty))});
  }
  std::time_t first = 0;
};

TEST_F(ChartView, FirstTickOnAOneMinuteChartOpensALiveBarAMinuteAfterTheNewest) {
  clock.Set(std::chrono::system_clock::from_time_t(LocalMidnight(Now()) + 9 * 3600 + 25 * 60));
  CFChartView& w = Open(10);
  FChartCtrl& chart = w.Chart();
  ASSERT_EQ(chart.Count(), 11u);
  EXPECT_EQ(chart.BarCount(), 10u) << "the spare slot is not drawn before a tick";
  const double newest = chart.Bar(9).time;
  EXPECT_DOUBLE_EQ(newest, ChartTimeFromUnix(first + 9 * 60));

  Tick(10500, 1000);
  ASSERT_TRUE(chart.LiveBarOpen());
  EXPECT_TRUE(w.liveBarOpen);
  const sChartBar live = chart.Bar(10);
  EXPECT_DOUBLE_EQ(live.time, newest + 60);
  EXPECT_DOUBLE_EQ(live.open, 105.0);
  EXPECT_DOUBLE_EQ(live.close, 105.0);
  EXPECT_DOUBLE_EQ(live.volume, 0.0);
  EXPECT_EQ(w.barStartQty, 1000);

  Tick(10600, 1040);
  Tick(10400, 1100);
  const sChartBar moved = chart.Bar(10);
  EXPECT_DOUBLE_EQ(moved.open, 105.0);
  EXPECT_DOUBLE_EQ(moved.high, 106.0);
  EXPECT_DOUBLE_EQ(moved.low, 104.0);
  EXPECT_DOUBLE_EQ(moved.close, 104.0);
  EXPECT_DOUBLE_EQ(moved.volume, 60.0) << "quantity since the previous tick on a 1-minute chart";
  EXPECT_DOUBLE_EQ(chart.Bar(9).close, 100.95) << "the newest bar is left alone";

  ui.Pump(10);
  EXPECT_DOUBLE_EQ(w.MarkedPrice(), 104.0) << "message 1624 marks the last price";

  // The next one-minute bar rebuilds the arrays and closes the live bar.
  broadcasts->Broadcast({F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "2885"),
                         F(MNM_VWAP_TIME, "60"), F(59353, std::to_string(first + 600)),
                         F(59354, "100"), F(59355, "10500"), F(59356, "10400"), F(59357, "10600"),
                         F(59358, "10400")});
  EXPECT_FALSE(chart.LiveBarOpen());
  EXPECT_EQ(chart.BarCount(), 11u);
}

TEST_F(ChartView, TicksOnAFiveMinuteChartUpdateTheOpenBucketThenOpenANewOne) {
  // 09:15 .. 09:26: buckets 09:15, 09:20, 09:25.
  clock.Set(std::chrono::system_clock::from_time_t(LocalMidnight(Now()) + 9 * 3600 + 27 * 60));
  CFChartView& w = Open(12);
  w.OnCommand(chart_id::kInterval5);
  EXPECT_EQ(w.intervalMinutes, 5);
  EXPECT_TRUE(w.IsMenuChecked(chart_id::kInterval5));
  EXPECT_FALSE(w.IsMenuChecked(chart_id::kInterval1));
  EXPECT_EQ(w.IntervalText(), "5");
  // The reopen asked for today's bars again.
  TodayBars(key, first, 12);
  FChartCtrl& chart = w.Chart();
  ASSERT_EQ(chart.BarCount(), 3u);
  const double bucket = chart.Bar(2).time;
  EXPECT_DOUBLE_EQ(bucket, ChartTimeFromUnix(first + 600));
  const double high = chart.Bar(2).high;

  Tick(20000, 500);  // 09:27, inside the newest bucket
  EXPECT_FALSE(chart.LiveBarOpen());
  EXPECT_DOUBLE_EQ(chart.Bar(2).close, 200.0);
  EXPECT_DOUBLE_EQ(chart.Bar(2).high, 200.0);
  EXPECT_GT(200.0, high);

  clock.Advance(std::chrono::minutes(4));  // 09:31: the bucket is over
  Tick(19000, 600);
  ASSERT_TRUE(chart.LiveBarOpen());
  EXPECT_DOUBLE_EQ(chart.Bar(3).time, bucket + 300);
  EXPECT_DOUBLE_EQ(chart.Bar(3).open, 190.0);
  EXPECT_DOUBLE_EQ(chart.Bar(2).close, 200.0);
}

TEST_F(ChartView, CustomIntervalsAreCheckedAgainstTheBarsThere) {
  CFChartView& w = Open(300);
  for (const char* bad : {"0", "abc", ""}) {
    hostUi.Clear();
    w.SetIntervalText(bad);
    w.OnCommand(chart_id::kSetInterval);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Please Enter Valid Interval"}) << bad;
    EXPECT_EQ(w.intervalMinutes, 1);
  }
  hostUi.Clear();
  w.SetIntervalText("400");
  w.OnCommand(chart_id::kSetInterval);
  EXPECT_EQ(Boxes(),
            std::vector<std::string>{"you cannot add the more than 300 total data's as Interval"});
  EXPECT_EQ(w.intervalMinutes, 1);

  hostUi.Clear();
  w.SetIntervalText("7");
  const size_t asked = Sent(kTodayBarsRequest).size();
  w.OnCommand(chart_id::kSetInterval);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(w.intervalMinutes, 7);
  EXPECT_FALSE(w.IsMenuChecked(chart_id::kInterval1));
  EXPECT_EQ(Sent(kTodayBarsRequest).size(), asked + 1) << "reopened through the store";
  // Some 43 buckets of 7 minutes, shown from their recent candles as in a new
  // window, not through the view port that fitted 300 one-minute bars.
  TodayBars(key, first, 300);
  const FChartCtrl& chart = w.Chart();
  ASSERT_EQ(chart.BarCount(), 44u) << "the day's first bucket ends at a multiple of 420 s";
  EXPECT_EQ(chart.VisibleRange().Count(), 25);
  EXPECT_EQ(chart.VisibleRange().last, 43);

  store->RemoveWatch(key);
  store->ClearSeries(1);
  w.SetIntervalText("3");
  hostUi.Clear();
  w.OnCommand(chart_id::kSetInterval);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Data Unavailable..."});
}

TEST_F(ChartView, PeriodsAskForTheirSpanAndTheStripFollowsTheWindow) {
  CFChartView& w = Open(5);
  w.OnCommand(chart_id::kPeriod6Months);
  const auto daily = Sent(kDailyBarsRequest);
  ASSERT_EQ(daily.size(), 2u);
  EXPECT_EQ(test::ValueText(daily[1].get(), MNM_DATE, 0), FormatMdy(Now() - 180 * 86400));
  EXPECT_EQ(test::ValueText(daily[1].get(), MNM_DATE, 1), FormatMdy(Now()));
  EXPECT_TRUE(w.isHistorical);
  EXPECT_EQ(w.PickerFrom(), FormatMdy(Now() - 180 * 86400));
  EXPECT_TRUE(w.IsMenuChecked(chart_id::kPeriod6Months));
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kHistorical);
  EXPECT_EQ(w.ChartTop(), 26);

  w.SetDates("01/05/2026", "02/05/2026");
  w.OnCommand(chart_id::kApply);
  const auto applied = Sent(kDailyBarsRequest);
  ASSERT_EQ(applied.size(), 3u);
  EXPECT_EQ(test::ValueText(applied[2].get(), MNM_DATE, 0), "01/05/2026");
  EXPECT_EQ(w.fromDate, "01/05/2026");
  EXPECT_TRUE(w.IsMenuChecked(chart_id::kPeriodConfigured));
  EXPECT_FALSE(w.IsMenuChecked(chart_id::kPeriod6Months));
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kNone);

  w.OnCommand(chart_id::kStripToggle);
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kHistorical);
  w.OnCommand(chart_id::kStripToggle);
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kNone);
  w.OnCommand(chart_id::kInterval1);
  w.OnCommand(chart_id::kStripToggle);
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kInterval);
  EXPECT_EQ(w.IntervalText(), "1");

  w.altFields = true;
  w.OnCommand(chart_id::kPeriod1Year);
  EXPECT_EQ(Sent(kDailyBarsRequest).size(), 4u)
      << "only the 1-minute reopen; index charts have none";

  // A strip left open follows the reused window between intraday and daily
  // bars, and its pickers start from the range shown.
  ASSERT_EQ(w.VisibleStrip(), CFChartView::Strip::kInterval);
  ASSERT_EQ(
      store->OpenHistoricalChart("RELIANCE-EQ", key, "03/02/2026", "06/01/2026", nullptr, 2, 100.0),
      1);
  ASSERT_EQ(store->chartViews.size(), 1u);
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kHistorical);
  EXPECT_EQ(w.PickerFrom(), "03/02/2026");
  EXPECT_EQ(w.PickerTo(), "06/01/2026");
  w.SetDates("07/01/2026", "07/02/2026");
  w.OnCommand(chart_id::kStripToggle);
  w.OnCommand(chart_id::kStripToggle);
  EXPECT_EQ(w.PickerFrom(), "03/02/2026") << "picks never applied are dropped with the strip";
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  EXPECT_EQ(w.VisibleStrip(), CFChartView::Strip::kInterval);
}

TEST_F(ChartView, BarsWithAnEmptyPriceAreNotDrawnAndNoBarsHideTheChart) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  CFChartView& w = View(0);
  EXPECT_TRUE(w.BusyShown());
  EXPECT_EQ(w.GetView() != nullptr, true);
  const std::time_t t = LocalMidnight(Now()) + 10 * 3600;
  VwapSeries series;
  for (int i = 2; i >= 0; --i) {
    auto bar = std::make_shared<sVwapData>();
    bar->time = static_cast<int32_t>(t + i * 60);
    bar->open = bar->high = bar->close = 100 + i;
    bar->low = i == 1 ? 0 : 99;
    series.push_back(bar);
  }
  w.SetBars(series);
  ASSERT_EQ(w.Chart().BarCount(), 2u);
  EXPECT_DOUBLE_EQ(w.Chart().Bar(0).close, 100.0);
  EXPECT_DOUBLE_EQ(w.Chart().Bar(1).close, 102.0);
  EXPECT_TRUE(w.ChartShown());
  EXPECT_FALSE(w.BusyShown());
  w.SetBars(VwapSeries{});
  EXPECT_FALSE(w.ChartShown());
  EXPECT_FALSE(w.BusyShown());
}

TEST_F(ChartView, KeysMoveTheViewPortAndTheTimerSkipsZoomCursors) {
  CFChartView& w = Open(100);
  FChartCtrl& chart = w.Chart();
  chart.SetViewPort(0.5, 0.2);
  w.OnKey(ChartKey::kLeft, false, false);
  EXPECT_NEAR(chart.ViewLeft(), 0.3, 1e-9);
  w.OnKey(ChartKey::kRight, false, false);
  w.OnKey(ChartKey::kRight, false, false);
  EXPECT_NEAR(chart.ViewLeft(), 0.7, 1e-9);
  w.OnKey(ChartKey::kRight, false, false);
  EXPECT_NEAR(chart.ViewLeft(), 0.8, 1e-9) << "the last step stops at the end";
  chart.SetViewPort(0.1, 0.2);
  w.OnKey(ChartKey::kLeft, false, false);
  EXPECT_NEAR(chart.ViewLeft(), 0.0, 1e-9);
  w.OnKey(ChartKey::kX, true, false);
  EXPECT_NEAR(chart.ViewWidth(), 1.0, 1e-9);
  EXPECT_TRUE(w.OnKey(ChartKey::kEnter, false, false)) << "Enter is swallowed";
  EXPECT_EQ(w.scripKey, key);

  const int before = w.Redraws();
  ui.AdvanceClock(std::chrono::milliseconds(kChartTimerIntradayMs));
  EXPECT_EQ(w.Redraws(), before + 1);
  w.OnKey(ChartKey::kC, true, false);  // zoom-in cursor
  ui.AdvanceClock(std::chrono::milliseconds(kChartTimerIntradayMs * 4));
  EXPECT_EQ(w.Redraws(), before + 1) << "a chart in a zoom-cursor mode is not redrawn";
}

TEST_F(ChartView, AReusedWindowStartsWithTheRecentCandlesOfItsNewBars) {
  CFChartView& w = Open(400);
  FChartCtrl& chart = w.Chart();
  EXPECT_EQ(chart.VisibleRange().Count(), 25) << "a new window shows the recent candles";

  // The same, unlocked window now shows daily bars of the scrip.
  ASSERT_EQ(
      store->OpenHistoricalChart("RELIANCE-EQ", key, "09/09/2026", "12/08/2026", nullptr, 2, 100.0),
      1);
  ASSERT_EQ(store->chartViews.size(), 1u);
  for (int day = 0; day < 60; ++day) {
    requests->Reply(BarRow(kDailyBarsRequest, w.tickKey, At(2026, 9, 10, 0, 0) + day * 86400, 9800,
                           10100, 9700, 10000, 40),
                    &w);
  }
  Close(kDailyBarsRequest, w.tickKey, &w);
  ASSERT_EQ(chart.BarCount(), 60u);
  EXPECT_EQ(chart.VisibleRange().Count(), 25)
      << "not the sliver of a view port that fitted 400 minute bars";
  EXPECT_EQ(chart.VisibleRange().last, 59);
}

TEST_F(ChartView, TheHolderFrameShowsTheIndicatorListBesideTheChart) {
  CFChartView& w = Open(30);
  CNTHolderFrame& holder = w.Holder();
  ASSERT_TRUE(holder.Created());
  ASSERT_EQ(holder.PaneCount(), 2);
  EXPECT_EQ(holder.Pane(0).Pane().title, "Indicators");
  EXPECT_EQ(holder.PaneSize(0), kIndicatorColumnWidth);
  ASSERT_FALSE(w.IndicatorList().empty());
  const size_t before = w.Chart().IndicatorNames().size();
  w.OnIndicatorDoubleClick(0);
  EXPECT_EQ(w.Chart().IndicatorNames().size(), before + 1);
  w.SelectIndicator(99);
  EXPECT_TRUE(w.OnCommand(chart_id::kAddIndicator));
  EXPECT_EQ(w.Chart().IndicatorNames().size(), before + 1) << "nothing selected";

  EXPECT_TRUE(w.OnCommand(chart_cmd::kStyleLine)) << "passed on to the chart control";
  EXPECT_EQ(w.Chart().StyleName(), "Line");
  EXPECT_FALSE(w.OnCommand(424242));

  auto* frame = dynamic_cast<HeadlessHostFrame*>(&cb->Frame());
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->Panes().count(w.PaneId()), 1u);
  EXPECT_EQ(frame->Panes().at(w.PaneId()).title, "Intraday Chart");
  frame->SetFloating(w.PaneId(), true);
  const std::string paneId = w.PaneId();  // the window goes with the close
  // The first step of the plug-in's exit; the frame itself goes with the exit.
  cb->CloseChartViews();
  EXPECT_EQ(frame->Panes().count(paneId), 0u) << "the chart pane left the frame";
  plugin->Exit();
}

}  // namespace
}  // namespace kovo

namespace kovo {
namespace {

class ChartViewMenus : public ChartView {};

TEST_F(ChartViewMenus, OnlyAnIntervalWithoutAMenuItemUnchecksOneMinute) {
  CFChartView& w = Open(300);
  ASSERT_TRUE(w.IsMenuChecked(chart_id::kInterval1));
  for (const char* listed : {"5", "30", "60", "1"}) {
    w.SetIntervalText(listed);
    w.OnCommand(chart_id::kSetInterval);
    TodayBars(key, first, 300);  // the reopen asked for them again
    EXPECT_EQ(w.intervalMinutes, std::atoi(listed));
    EXPECT_TRUE(w.IsMenuChecked(chart_id::kInterval1)) << listed << " keeps the check";
  }
  w.SetIntervalText("7");
  w.OnCommand(chart_id::kSetInterval);
  EXPECT_FALSE(w.IsMenuChecked(chart_id::kInterval1));
}

TEST_F(ChartViewMenus, AnIntradayChartKeepsItsBarsAfterTheScripWasShownHistorically) {
  ASSERT_EQ(
      store->OpenHistoricalChart("RELIANCE-EQ", key, "09/09/2026", "12/08/2026", nullptr, 2, 100.0),
      1);
  CFChartView& w = View(0);
  requests->Reply(
      BarRow(kDailyBarsRequest, key, At(2026, 12, 3, 0, 0), 9800, 10100, 9700, 10000, 40), &w);
  Close(kDailyBarsRequest, key, &w);
  ASSERT_EQ(w.Chart().BarCount(), 1u);

  // Back to intraday in the same window: today's bars arrive, then the
  // previous day's levels and, once, a quote.
  w.OnCommand(chart_id::kInterval1);
  ASSERT_FALSE(w.isHistorical);
  first = LocalMidnight(Now()) + 9 * 3600 + 15 * 60;
  TodayBars(key, first, 40);
  ASSERT_EQ(w.Chart().BarCount(), 40u);
  requests->Reply(
      BarRow(kDailyBarsRequest, key, At(2026, 12, 7, 0, 0), 9800, 10100, 9700, 10000, 40), &w);
  Close(kDailyBarsRequest, key, &w);
  requests->Reply({F(MNM_REPLY_REQUEST, kQuoteRequest), F(MNM_USER_MSG, key), F(6, "10600"),
                   F(12, "10700"), F(13, "10300"), F(19, "10400"), F(32, "77")},
                  &w);
  Close(kQuoteRequest, key, &w);
  EXPECT_EQ(w.Chart().BarCount(), 40u) << "the window still draws the day's bars";
  EXPECT_DOUBLE_EQ(w.prevClose, 100.0);
  EXPECT_TRUE(w.pendingBars.empty());
}

TEST_F(ChartViewMenus, ANewScripOpensWithTheDefaultTemplateAndSettingsReachEveryChart) {
  const std::string path = (dir.Path() / "default.kcdx").string();
  test::TempDir::WriteFile(path, "0#0#1#RSI ,255 ,10 , , , #1#RSI#0#Line#");
  ASSERT_EQ(cb->Settings().Write(kDefTemplateSection, kDefTemplateKey, path, kChartSettingsFile,
                                 SettingsLocation::kUserFolder),
            1);
  CFChartView& w = Open(40);
  EXPECT_EQ(w.Chart().IndicatorNames(), std::vector<std::string>{"RSI"});
  EXPECT_FALSE(w.Chart().VolumePanel());
  EXPECT_EQ(w.Chart().StyleName(), "Line");
  EXPECT_EQ(cb->chartDefaultTemplate, path);
  // Another interval of the same scrip keeps what the user added since.
  w.Chart().AddIndicatorByCommand(3448);
  w.OnCommand(chart_id::kInterval5);
  EXPECT_EQ(w.Chart().IndicatorNames().size(), 2u);

  // "Preference Settings": OK in the dialog changes what every chart draws.
  w.isLocked = true;
  ASSERT_EQ(store->OpenIntradayChart("EVIL-EQ", "nse_cm|666", 2, 100.0, 60, false, nullptr), 1);
  ASSERT_EQ(store->chartViews.size(), 2u);
  auto* views = dynamic_cast<HeadlessViewFactory*>(&cb->Views());
  ASSERT_NE(views, nullptr);
  int shown = 0;
  views->chartSettings = [&](CMasterChartSetting& s) {
    ++shown;
    s.SetFlag(0, false);  // PANEL_BORDER_CHECK
    s.OnOK();
    return kIdOk;
  };
  const int before = View(1).Redraws();
  TodayBars("nse_cm|666", first, 30);
  w.OnKey(ChartKey::kP, true, false);
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(View(0).Chart().Settings().panelBorder);
  EXPECT_FALSE(View(1).Chart().Settings().panelBorder);
  EXPECT_GT(View(1).Redraws(), before + 0) << "the other chart redrew";
  std::string stored;
  cb->Settings().Read(kChartSettingSection, "PANEL_BORDER_CHECK", stored, kChartSettingsFile,
                      SettingsLocation::kUserFolder);
  EXPECT_EQ(stored, "FALSE");
  EXPECT_FALSE(Logged("not available in this version"));
}

}  // namespace
}  // namespace kovo
