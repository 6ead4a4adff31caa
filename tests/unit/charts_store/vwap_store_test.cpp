#include <fstream>

#include "unit/charts_store/chart_store_fixture.h"

namespace kovo {
namespace {

using VwapStore = ChartStoreFixture;

TEST_F(VwapStore, LockedWindowsAtTheLimitRefuseAndAnUnlockedOneIsReused) {
  cb->chartLimit = 2;
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  ASSERT_EQ(store->OpenIntradayChart("TCS-EQ", "nse_cm|11536", 2, 100.0, 60, false, nullptr), 1);
  ASSERT_EQ(store->chartViews.size(), 1u) << "an unlocked window is reused";
  View(0).OnCommand(chart_cmd::kLockScrip);
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  ASSERT_EQ(store->chartViews.size(), 2u);
  EXPECT_EQ(View(0).scripKey, "nse_cm|11536") << "the locked window kept its scrip";
  View(1).OnCommand(chart_cmd::kLockScrip);

  const size_t sent = requests->sent.size();
  EXPECT_EQ(store->OpenIntradayChart("INFY-EQ", "nse_cm|1594", 2, 100.0, 60, false, nullptr), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Zint : Max ChartCount Reached"});
  EXPECT_TRUE(Logged("KovoZint Error : Max ChartCount Reached"));
  EXPECT_EQ(store->chartViews.size(), 2u);
  EXPECT_EQ(requests->sent.size(), sent) << "nothing was asked for";

  View(1).OnCommand(chart_cmd::kLockScrip);  // unlock the second
  EXPECT_EQ(store->OpenIntradayChart("INFY-EQ", "nse_cm|1594", 2, 100.0, 60, false, nullptr), 1);
  EXPECT_EQ(store->chartViews.size(), 2u);
  EXPECT_EQ(View(1).scripKey, "nse_cm|1594");
  EXPECT_EQ(View(1).Title(), "Intraday chart : INFY-EQ");
  EXPECT_FALSE(View(1).IsMenuChecked(chart_cmd::kLockScrip));
  EXPECT_EQ(View(0).scripKey, "nse_cm|11536");
}

TEST_F(VwapStore, IntradayOpeningAsksForThePreviousWeekdaysDailyBars) {
  struct Case {
    std::time_t now;
    const char* from;
    const char* to;
  };
  const Case cases[] = {{At(2026, 12, 7, 10, 0), "12/04/2026", "12/07/2026"},   // Monday
                        {At(2026, 12, 6, 10, 0), "12/04/2026", "12/06/2026"},   // Sunday
                        {At(2026, 12, 8, 0, 30), "12/07/2026", "12/08/2026"}};  // Tuesday
  for (const Case& c : cases) {
    clock.Set(std::chrono::system_clock::from_time_t(c.now));
    ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
    const auto daily = Sent(kDailyBarsRequest);
    ASSERT_FALSE(daily.empty());
    const wmp_msg* m = daily.back().get();
    EXPECT_EQ(test::ValueText(m, MNM_EXCH_SEG), "nse_cm");
    EXPECT_EQ(test::ValueText(m, 63100), "RELIANCE-EQ");
    EXPECT_EQ(test::ValueText(m, MNM_TRADING_SYMBOL), "2885");
    EXPECT_EQ(test::ValueText(m, MNM_DATE, 0), c.from);
    EXPECT_EQ(test::ValueText(m, MNM_DATE, 1), c.to);
    EXPECT_EQ(test::ValueText(m, MNM_USER_MSG), key);
    void* context = nullptr;
    for (size_t i = 0; i < requests->sent.size(); ++i) {
      if (test::ValueText(requests->Sent(i).get(), MNM_REQUEST) == kDailyBarsRequest)
        context = requests->contexts[i];
    }
    EXPECT_EQ(context, &View(0)) << "the window travels with the request";
    EXPECT_EQ(View(0).fromDate, c.from);
    EXPECT_FALSE(View(0).showLevels) << "the sent request clears the levels flag again";
  }
}

TEST_F(VwapStore, TodayBarsAskForNDaysFirstAndOnlyTodayOnceHistoryIsThere) {
  cb->session.noOfDays = 30;  // capped at 22
  store->AddWatch(key, "RELIANCE-EQ", 60, false);
  auto today = Sent(kTodayBarsRequest);
  ASSERT_EQ(today.size(), 1u);
  const std::time_t midnight = LocalMidnight(Now());
  EXPECT_EQ(test::ValueText(today[0].get(), 63100), "RELIANCE-EQ");
  EXPECT_EQ(test::ValueText(today[0].get(), MNM_VWAP_TIME), "60");
  EXPECT_EQ(test::ValueText(today[0].get(), MNM_VWAP_START_TIME),
            std::to_string(midnight - 21 * 86400));
  EXPECT_EQ(test::ValueText(today[0].get(), MNM_VWAP_END_TIME), std::to_string(Now()));

  store->AddWatch(key, "RELIANCE-EQ", 60, true);  // history exists now
  today = Sent(kTodayBarsRequest);
  ASSERT_EQ(today.size(), 2u);
  EXPECT_EQ(test::ValueText(today[1].get(), MNM_VWAP_START_TIME), std::to_string(midnight));
  EXPECT_EQ(test::ValueText(today[1].get(), MNM_TRADING_SYMBOL), "RELIANCE-EQ")
      << "the alternative field";

  cb->session.noOfDays = 0;
  store->AddWatch("nse_cm|1594", "INFY-EQ", 60, false);
  EXPECT_EQ(Sent(kTodayBarsRequest).size(), 2u) << "a start not before now sends nothing";
}

TEST_F(VwapStore, RowsSplitAtMidnightAndTheClosingMessageFillsTheWindow) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  const std::time_t midnight = LocalMidnight(Now());
  // Newest first: two of today, one of yesterday.
  requests->Reply(BarRow(kTodayBarsRequest, key, midnight + 600, 10100, 10200, 10000, 10150, 7));
  requests->Reply(BarRow(kTodayBarsRequest, key, midnight + 540, 10000, 10100, 9900, 10050, 5));
  requests->Reply(BarRow(kTodayBarsRequest, key, midnight - 60, 9900, 9950, 9850, 9900, 3));
  requests->Reply(BarRow(kTodayBarsRequest, "nse_cm|1", midnight, 1, 1, 1, 1, 1));
  ASSERT_EQ(store->TodaySeries().at(key).size(), 2u);
  ASSERT_EQ(store->HistorySeries().at(key).size(), 1u);
  EXPECT_DOUBLE_EQ(store->TodaySeries().at(key)[0]->close, 101.5) << "hundredths";
  EXPECT_DOUBLE_EQ(store->TodaySeries().at(key)[0]->lastPrice, 101.5);
  EXPECT_EQ(store->TodaySeries().count("nse_cm|1"), 0u) << "a key without a series drops the row";
  EXPECT_EQ(View(0).Chart().BarCount(), 0u);

  Close(kTodayBarsRequest, key, nullptr, "partial data");
  EXPECT_TRUE(Logged("KovoZint Error : xr_get_series_vwap_data request failed , partial data"));
  const FChartCtrl& chart = View(0).Chart();
  ASSERT_EQ(chart.BarCount(), 3u);
  EXPECT_EQ(chart.Count(), 4u) << "one slot kept for the live bar";
  EXPECT_DOUBLE_EQ(chart.Bar(0).close, 99.0) << "oldest first, divided once";
  EXPECT_DOUBLE_EQ(chart.Bar(2).close, 101.5);
  EXPECT_FALSE(View(0).BusyShown());

  VwapSeries merged;
  ASSERT_EQ(store->MergeSeries(key, merged), 1);
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].get(), store->TodaySeries().at(key)[0].get()) << "shared, not copied";
  EXPECT_EQ(merged[2].get(), store->HistorySeries().at(key)[0].get());

  cb->session.launched = false;
  requests->Reply(BarRow(kTodayBarsRequest, key, midnight + 660, 1, 1, 1, 1, 1));
  EXPECT_EQ(store->TodaySeries().at(key).size(), 2u) << "ignored before the launch";
}

TEST_F(VwapStore, BarBroadcastsAreInsertedOnceAndTicksReachTheWindows) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  const std::time_t t0 = LocalMidnight(Now()) + 9 * 3600 + 15 * 60;
  TodayBars(key, t0, 5);
  ASSERT_EQ(store->TodaySeries().at(key).size(), 5u);
  const std::time_t newest = t0 + 4 * 60;
  const auto bar = [&](std::time_t t) {
    return std::vector<test::Field>{F(MNM_EXCH_SEG, "nse_cm"),
                                    F(MNM_TRADING_SYMBOL, "2885"),
                                    F(MNM_VWAP_TIME, "60"),
                                    F(59353, std::to_string(t)),
                                    F(59354, "9"),
                                    F(59355, "10100"),
                                    F(59356, "10110"),
                                    F(59357, "10120"),
                                    F(59358, "10090")};
  };
  broadcasts->Broadcast(bar(newest));
  EXPECT_EQ(store->TodaySeries().at(key).size(), 5u) << "the newest bar's time is not added twice";
  ui.Pump(10);
  const int redraws = View(0).Redraws();
  broadcasts->Broadcast(bar(newest + 60));
  ASSERT_EQ(store->TodaySeries().at(key).size(), 6u);
  EXPECT_EQ(store->TodaySeries().at(key)[0]->time, newest + 60);
  EXPECT_EQ(View(0).Chart().BarCount(), 6u);
  EXPECT_EQ(View(0).Redraws(), redraws + 1);
  EXPECT_EQ(ui.Pump(10), 1u) << "1824 is posted to the one-minute window";
  EXPECT_EQ(View(0).Redraws(), redraws + 2) << "and draws the same bars again";
  EXPECT_EQ(View(0).Chart().BarCount(), 6u);

  // A tick without field 10803; an unwatched scrip is ignored.
  broadcasts->Broadcast({F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "1594"), F(6, "5000")});
  EXPECT_FALSE(View(0).Chart().LiveBarOpen());
  broadcasts->Broadcast(
      {F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "2885"), F(6, "10250"), F(178, "900")});
  EXPECT_TRUE(View(0).Chart().LiveBarOpen());
  EXPECT_DOUBLE_EQ(View(0).Chart().Bar(6).close, 102.5);
  broadcasts->Broadcast({F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "2885")});
  EXPECT_DOUBLE_EQ(View(0).Chart().Bar(6).close, 102.5) << "a tick without a price is dropped";
}

// The new-bars message of a one-minute window carries the series the
// broadcast handed it already: a tick that came in between keeps its live bar.
TEST_F(VwapStore, ATickBetweenABarAndItsNewBarsMessageKeepsTheLiveBar) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  const std::time_t t0 = LocalMidnight(Now()) + 9 * 3600 + 15 * 60;
  TodayBars(key, t0, 5);
  ui.Pump(10);
  broadcasts->Broadcast({F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "2885"),
                         F(MNM_VWAP_TIME, "60"), F(59353, std::to_string(t0 + 5 * 60)),
                         F(59354, "9"), F(59355, "10100"), F(59356, "10110"), F(59357, "10120"),
                         F(59358, "10090")});
  broadcasts->Broadcast(
      {F(MNM_EXCH_SEG, "nse_cm"), F(MNM_TRADING_SYMBOL, "2885"), F(6, "10250"), F(178, "900")});
  ASSERT_TRUE(View(0).Chart().LiveBarOpen());
  const int redraws = View(0).Redraws();
  EXPECT_GE(ui.Pump(10), 1u);
  EXPECT_GT(View(0).Redraws(), redraws) << "the message still redraws";
  EXPECT_TRUE(View(0).Chart().LiveBarOpen());
  EXPECT_EQ(View(0).Chart().BarCount(), 7u);
  EXPECT_DOUBLE_EQ(View(0).Chart().Bar(6).close, 102.5);
}

TEST_F(VwapStore, WatchesAreCountedPerScripAndGoWithTheLastChart) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  View(0).OnCommand(chart_cmd::kLockScrip);
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  ASSERT_EQ(store->chartViews.size(), 2u);
  EXPECT_EQ(store->BarWatches().at(key).refCount, 2u);
  EXPECT_EQ(store->TickWatches().at(key).refCount, 2u);
  ASSERT_EQ(broadcasts->watched.size(), 6u) << "one bar watch and one tick watch";
  EXPECT_EQ(broadcasts->watched[0], (std::pair<int32_t, std::string>{63001, "nse_cm"}));
  EXPECT_EQ(broadcasts->watched[1], (std::pair<int32_t, std::string>{10100, "2885"}));
  EXPECT_EQ(broadcasts->watched[2], (std::pair<int32_t, std::string>{10803, "60"}));
  EXPECT_EQ(broadcasts->watched[5], (std::pair<int32_t, std::string>{6, ""}));

  View(0).OnKey(ChartKey::kEscape, false, false);
  EXPECT_EQ(store->BarWatches().at(key).refCount, 1u);
  EXPECT_TRUE(broadcasts->removed.empty());
  EXPECT_TRUE(View(0).scripKey.empty());
  EXPECT_FALSE(View(0).IsShown());
  View(1).OnKey(ChartKey::kEscape, false, false);
  EXPECT_EQ(store->BarWatches().count(key), 0u);
  EXPECT_EQ(store->TickWatches().count(key), 0u);
  EXPECT_EQ(store->TodaySeries().count(key), 0u);
  EXPECT_EQ(broadcasts->removed.size(), 2u);

  // A released window asks for nothing, whatever command still reaches it.
  const size_t sent = requests->sent.size(), watched = broadcasts->watched.size();
  for (const int id : {chart_cmd::kDataTable, chart_id::kInterval5, chart_id::kPeriod6Months,
                       chart_id::kApply, chart_id::kSetInterval}) {
    View(0).OnCommand(id);
  }
  EXPECT_EQ(requests->sent.size(), sent);
  EXPECT_EQ(broadcasts->watched.size(), watched);
  EXPECT_TRUE(store->TodaySeries().empty());
  EXPECT_TRUE(store->TickWatches().empty());
}

TEST_F(VwapStore, RebucketingStartsEachDayAtItsOwnTimeAndSkipsEmptyBars) {
  const std::time_t day1 = At(2026, 12, 7, 9, 17);
  const std::time_t day2 = At(2026, 12, 8, 9, 16);
  std::vector<std::time_t> times;
  for (int i = 0; i < 10; ++i) times.push_back(day1 + i * 60);  // 09:17 .. 09:26
  for (int i = 0; i < 6; ++i) times.push_back(day2 + i * 60);   // 09:16 .. 09:21
  VwapSeries series;                                            // newest first
  for (auto it = times.rbegin(); it != times.rend(); ++it) {
    auto bar = std::make_shared<sVwapData>();
    bar->time = static_cast<int32_t>(*it);
    const double p = 100.0 + static_cast<double>(*it - day1) / 60.0;
    bar->open = p, bar->high = p + 1, bar->low = p - 1, bar->close = p + 0.5;
    bar->volume = 10;
    series.push_back(bar);
  }
  // 09:18 of day 1 has a zero low.
  series[series.size() - 2]->low = 0;

  VwapSeries out;
  CVWapStore::RebucketSeries(series, 5, out);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0]->time, day1) << "the day's first bucket starts at its own time";
  EXPECT_EQ(out[0]->volume, 20u) << "09:17 and 09:19; the zero-low bar is skipped";
  EXPECT_DOUBLE_EQ(out[0]->close, 102.5);
  EXPECT_DOUBLE_EQ(out[0]->low, 99.0);
  EXPECT_EQ(out[1]->time, At(2026, 12, 7, 9, 20)) << "then on multiples of 300 s";
  EXPECT_EQ(out[1]->volume, 50u);
  EXPECT_DOUBLE_EQ(out[1]->open, 103.0);
  EXPECT_DOUBLE_EQ(out[1]->high, 108.0);
  EXPECT_EQ(out[2]->time, At(2026, 12, 7, 9, 25));
  EXPECT_EQ(out[3]->time, day2) << "a new day starts again at its first bar";
  EXPECT_EQ(out[3]->volume, 40u) << "09:16 to 09:19 end at the next multiple";
  EXPECT_EQ(out[4]->time, At(2026, 12, 8, 9, 20));
  EXPECT_EQ(out[4]->volume, 20u);
  EXPECT_EQ(out[4]->lastPrice, 0.0);
}

TEST_F(VwapStore, DaysStartAtLocalMidnightAlsoWhenTheClockMoves) {
  setenv("TZ", "America/New_York", 1);
  tzset();
  struct Case {
    std::time_t t;
    std::time_t midnight;
  };
  // 2026-03-08 and 2026-11-01: the clock moves at 02:00, after midnight.
  const Case cases[] = {
      {At(2026, 3, 8, 12, 0), 1772946000},   // 00:00 EST
      {At(2026, 3, 9, 0, 0), 1773028800},    // 00:00 EDT, exactly
      {At(2026, 11, 1, 12, 0), 1793505600},  // 00:00 EDT
      {At(2026, 7, 1, 23, 59, 59), 1782878400},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalMidnight(c.t), c.midnight) << c.t;
  }
  setenv("TZ", "Asia/Kolkata", 1);
  tzset();
}

TEST_F(VwapStore, QuotesFillTheLevelsOrThePendingBars) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  CFChartView& w = View(0);
  ASSERT_EQ(store->RequestQuote(key, key, true, &w), 1);
  EXPECT_TRUE(w.waitQuote);
  const auto quote = Sent(kQuoteRequest);
  ASSERT_EQ(quote.size(), 1u);
  EXPECT_EQ(test::ValueText(quote[0].get(), MNM_TRADING_SYMBOL), "2885");
  EXPECT_EQ(LastContext(), &w);

  requests->Reply({F(MNM_REPLY_REQUEST, kQuoteRequest), F(MNM_USER_MSG, key), F(6, "10000"),
                   F(12, "-100"), F(13, "9800")},
                  &w);
  EXPECT_TRUE(Logged("KovoZint Error : Today's High (or) Low value is not proper"));
  EXPECT_DOUBLE_EQ(w.todayHigh, -1.0);
  EXPECT_DOUBLE_EQ(w.todayLow, 98.0);
  EXPECT_FALSE(w.waitQuote);

  // Not waiting: the quote becomes a bar of now, divided by the window's divisor.
  w.priceDivisor = 10000.0;
  requests->Reply({F(MNM_REPLY_REQUEST, kQuoteRequest), F(MNM_USER_MSG, key), F(6, "1000000"),
                   F(12, "1010000"), F(13, "990000"), F(19, "995000"), F(32, "1234")},
                  &w);
  ASSERT_EQ(w.pendingBars.size(), 1u);
  EXPECT_DOUBLE_EQ(w.pendingBars[0]->close, 100.0);
  EXPECT_DOUBLE_EQ(w.pendingBars[0]->open, 99.5);
  EXPECT_EQ(w.pendingBars[0]->volume, 1234u);
  EXPECT_EQ(w.pendingBars[0]->time, Now());

  // A context that is no longer a window is not touched.
  CFChartView* gone = &w;
  cb->CloseChartViews();
  requests->Reply({F(MNM_REPLY_REQUEST, kQuoteRequest), F(6, "1")}, gone);
  EXPECT_TRUE(store->chartViews.empty());
}

TEST_F(VwapStore, HistoricalRepliesThatEchoTheTickKeyAreTaken) {
  ASSERT_EQ(
      store->OpenHistoricalChart("RELIANCE-EQ", key, "09/09/2026", "12/08/2026", nullptr, 2, 100.0),
      1);
  CFChartView& w = View(0);
  const std::string echoed = w.tickKey;
  ASSERT_NE(echoed, key);
  const std::time_t d1 = At(2026, 12, 3, 0, 0);
  requests->Reply(BarRow(kDailyBarsRequest, echoed, d1, 9800, 10100, 9700, 10000, 40), &w);
  EXPECT_EQ(w.pendingBars.size(), 1u);
  Close(kDailyBarsRequest, echoed, &w);
  const auto quote = Sent(kQuoteRequest);
  ASSERT_EQ(quote.size(), 1u);
  EXPECT_EQ(test::ValueText(quote[0].get(), MNM_TRADING_SYMBOL), "2885");
  EXPECT_EQ(test::ValueText(quote[0].get(), MNM_USER_MSG), key);
  EXPECT_EQ(w.Chart().BarCount(), 1u);
}

TEST_F(VwapStore, HistoricalRowsArePlacedInTimeOrderAndTheQuoteAddsToday) {
  ASSERT_EQ(
      store->OpenHistoricalChart("RELIANCE-EQ", key, "09/09/2026", "12/08/2026", nullptr, 2, 100.0),
      1);
  CFChartView& w = View(0);
  EXPECT_TRUE(w.isHistorical);
  EXPECT_EQ(w.tickKey, "nse_cm|2885:-1");
  EXPECT_EQ(w.Title(), "Historical chart : RELIANCE-EQ");
  EXPECT_EQ(store->TickWatches().at(key).refCount, 1u);
  EXPECT_EQ(store->BarWatches().count(key), 0u);
  const auto daily = Sent(kDailyBarsRequest);
  ASSERT_EQ(daily.size(), 1u);
  EXPECT_EQ(test::ValueText(daily[0].get(), MNM_USER_MSG), "nse_cm|2885:-1");

  // The reply names the plain key, which the historical keys hold.
  const std::time_t d1 = At(2026, 12, 3, 0, 0), d2 = At(2026, 12, 4, 0, 0);
  requests->Reply(BarRow(kDailyBarsRequest, key, d2, 10000, 10500, 9900, 10400, 50), &w);
  requests->Reply(BarRow(kDailyBarsRequest, key, d1, 9800, 10100, 9700, 10000, 40), &w);
  ASSERT_EQ(w.pendingBars.size(), 2u);
  EXPECT_EQ(w.pendingBars[0]->time, d1) << "an earlier row goes before the last one";
  EXPECT_EQ(w.pendingBars[1]->time, d2);
  auto failed = BarRow(kDailyBarsRequest, key, d2, 1, 1, 1, 1, 1);
  failed[2] = F(10303, "NOK");
  failed.push_back(F(20008, "no data"));
  requests->Reply(failed, &w);
  EXPECT_TRUE(Logged("KovoZint Error : xr_get_series_db_vwap_data request failed , no data"));
  EXPECT_EQ(w.pendingBars.size(), 2u);

  Close(kDailyBarsRequest, key, &w);
  const auto quote = Sent(kQuoteRequest);
  ASSERT_EQ(quote.size(), 1u) << "today's bar is asked for";
  EXPECT_EQ(test::ValueText(quote[0].get(), MNM_TRADING_SYMBOL), "2885");
  EXPECT_EQ(test::ValueText(quote[0].get(), MNM_USER_MSG), key);
  EXPECT_EQ(w.Chart().BarCount(), 2u);
  requests->Reply({F(MNM_REPLY_REQUEST, kQuoteRequest), F(MNM_USER_MSG, key), F(6, "10600"),
                   F(12, "10700"), F(13, "10300"), F(19, "10400"), F(32, "77")},
                  &w);
  Close(kQuoteRequest, key, &w);
  EXPECT_EQ(w.Chart().BarCount(), 3u);
  EXPECT_DOUBLE_EQ(w.Chart().Bar(2).close, 106.0);
  EXPECT_FALSE(w.todayPending);
}

TEST_F(VwapStore, LocalFilesHoldEveryBarAndStayInsideTheirFolder) {
  cb->saveLocalData = true;
  const std::time_t midnight = LocalMidnight(Now());
  for (const char* k : {"nse_cm|2885", "nse_cm|666"}) {
    store->AddWatch(k, "X", 60, false);
    requests->Reply(BarRow(kTodayBarsRequest, k, midnight + 60, 10000, 10100, 9900, 10050, 5));
    requests->Reply(BarRow(kTodayBarsRequest, k, midnight - 60, 9000, 9100, 8900, 9050, 4));
  }
  store->SaveLocalData();
  const auto folder = store->LocalDataFolder();
  std::ifstream in(folder / "nse_cm$RELIANCE.zld");
  ASSERT_TRUE(in.good());
  std::string first, second, extra;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first,
            std::to_string(midnight + 60) + ",100.0000,101.0000,99.0000,100.5000,100.5000,5");
  EXPECT_EQ(second, std::to_string(midnight - 60) + ",90.0000,91.0000,89.0000,90.5000,90.5000,4");
  EXPECT_FALSE(std::getline(in, extra));

  // The hostile symbol text became one file in the folder.
  size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
    if (entry.path().extension() == ".zld") {
      ++files;
      EXPECT_EQ(entry.path().parent_path(), folder) << entry.path();
    }
  }
  EXPECT_EQ(files, 2u);
  EXPECT_EQ(SanitiseFileName("a/b\\c:..|d"), "a_b_c_.._d");
  EXPECT_EQ(SanitiseFileName(".."), "__");
}

TEST_F(VwapStore, ClearingTheCacheAsksThenDropsBarsAndCharts) {
  ASSERT_EQ(store->OpenIntradayChart("RELIANCE-EQ", key, 2, 100.0, 60, false, nullptr), 1);
  TodayBars(key, LocalMidnight(Now()) + 9 * 3600, 3);
  hostUi.AnswerMessageBox(kIdNo);
  EXPECT_FALSE(store->ClearCache());
  EXPECT_EQ(store->chartViews.size(), 1u);
  hostUi.AnswerMessageBox(kIdYes);
  EXPECT_TRUE(store->ClearCache());
  EXPECT_TRUE(store->chartViews.empty());
  EXPECT_TRUE(store->TodaySeries().empty());
  EXPECT_TRUE(store->HistorySeries().empty());
  ASSERT_GE(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0],
            "Clearing cache will close all the opened charts & running scripts,Do you want to "
            "continue ?");
}

}  // namespace
}  // namespace kovo
