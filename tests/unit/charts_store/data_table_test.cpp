// A chart window's data table: its own rows, prices as the store keeps them,
// indicator values at the bar of the same time.
#include <cstdio>

#include "charts/chart_time.h"
#include "charts/data_table_dlg.h"
#include "unit/charts_store/chart_store_fixture.h"

namespace kovo {
namespace {

class DataTable : public ChartStoreFixture {
 protected:
  CFChartView& Open(const std::string& rowKey, const char* symbol, int count) {
    EXPECT_EQ(store->OpenIntradayChart(symbol, rowKey, 2, 100.0, 60, false, nullptr), 1);
    first = LocalMidnight(Now()) + 9 * 3600 + 15 * 60;
    TodayBars(rowKey, first, count);
    return *store->chartViews.back();
  }
  static std::string Local(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%d-%m-%Y %H:%M:%S", &tm);
    return text;
  }
  std::time_t first = 0;
};

TEST_F(DataTable, CtrlDShowsTheBarsNewestFirstWithIndicatorColumnsAlignedByTime) {
  CFChartView& w = Open(key, "RELIANCE-EQ", 40);
  w.Chart().AddIndicatorByCommand(3458);  // RSI, 14 periods
  ASSERT_EQ(w.DataTable(), nullptr) << "made on first use";
  EXPECT_TRUE(w.OnKey(ChartKey::kD, true, false));
  CDataTableDlg* table = w.DataTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->Title(), "DataTable : RELIANCE-EQ");
  ASSERT_EQ(table->Rows().size(), 40u);
  const CCommonListCtrl& bars = table->Bars();
  ASSERT_EQ(bars.HeaderCount(), 8);
  EXPECT_EQ(bars.Columns()[5].Name(), "Close/Price");
  EXPECT_EQ(bars.Columns()[7].Name(), "RSI (14)");

  // The newest bar on top; prices the store divided are not divided again.
  EXPECT_EQ(table->Cell(0, "Trading Symbol"), "RELIANCE-EQ");
  EXPECT_EQ(table->Cell(0, "Time"), Local(first + 39 * 60));
  EXPECT_EQ(table->Cell(0, "Open"), "103.9000");
  EXPECT_EQ(table->Cell(0, "High"), "104.1000");
  EXPECT_EQ(table->Cell(0, "Close/Price"), "103.9500");
  EXPECT_EQ(table->Cell(0, "Volume"), "139");
  EXPECT_EQ(table->Cell(39, "Open"), "100.0000");

  // RSI at the bar of each row's time, empty where the series has no value yet.
  const std::vector<double>* rsi = w.Chart().FullChart().Find("RSI (14)");
  ASSERT_NE(rsi, nullptr);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.4f", (*rsi)[39]);
  EXPECT_EQ(table->Cell(0, "RSI (14)"), expected);
  std::snprintf(expected, sizeof expected, "%.4f", (*rsi)[20]);
  EXPECT_EQ(table->Cell(19, "RSI (14)"), expected);
  EXPECT_EQ(table->Cell(39, "RSI (14)"), "") << "the oldest bar has no RSI";
  // Another indicator on the chart leaves this table's rows as they were
  // until the window fills it again: the values are the table's own.
  w.Chart().AddIndicatorByCommand(3448);
  EXPECT_EQ(table->SeriesNames(), std::vector<std::string>{"RSI (14)"});
  EXPECT_EQ(table->Rows()[39].values.size(), 1u);
}

TEST_F(DataTable, AFiveMinuteChartShowsFiveMinuteRowsAndZeroPricesNone) {
  clock.Set(std::chrono::system_clock::from_time_t(LocalMidnight(Now()) + 10 * 3600));
  CFChartView& w = Open(key, "RELIANCE-EQ", 12);
  w.OnCommand(chart_id::kInterval5);
  TodayBars(key, first, 12);
  w.OnCommand(chart_cmd::kDataTable);
  ASSERT_NE(w.DataTable(), nullptr);
  ASSERT_EQ(w.DataTable()->Rows().size(), 3u);
  EXPECT_EQ(w.DataTable()->Cell(0, "Time"), Local(first + 600));
  EXPECT_EQ(w.DataTable()->Cell(2, "Open"), "100.0000");
  EXPECT_EQ(w.DataTable()->Cell(2, "Close/Price"), "100.4500") << "the bucket's last close";

  // A one-minute bar with a zero low is not a row.
  w.OnCommand(chart_id::kInterval1);
  for (int i = 2; i >= 0; --i) {
    const int64_t low = i == 1 ? 0 : 9990;
    requests->Reply(
        BarRow(kTodayBarsRequest, key, first + i * 60, 10000, 10020, low, 10005, 100 + i));
  }
  Close(kTodayBarsRequest, key);
  w.OnCommand(chart_cmd::kDataTable);
  ASSERT_EQ(w.DataTable()->Rows().size(), 2u);
  EXPECT_EQ(w.DataTable()->Cell(0, "Time"), Local(first + 120));
  EXPECT_EQ(w.DataTable()->Cell(1, "Time"), Local(first));
}

TEST_F(DataTable, EachTableIsItsWindowsAlone) {
  CFChartView& a = Open(key, "RELIANCE-EQ", 30);
  a.isLocked = true;
  a.Chart().AddIndicatorByCommand(3448);  // Momentum
  a.OnCommand(chart_cmd::kDataTable);
  CFChartView& b = Open("nse_cm|666", "EVIL-EQ", 10);
  ASSERT_NE(&a, &b);
  b.OnCommand(chart_cmd::kDataTable);
  ASSERT_NE(a.DataTable(), nullptr);
  ASSERT_NE(b.DataTable(), nullptr);
  EXPECT_EQ(a.DataTable()->Rows().size(), 30u);
  EXPECT_EQ(a.DataTable()->Symbol(), "RELIANCE-EQ");
  EXPECT_EQ(a.DataTable()->SeriesNames(), std::vector<std::string>{"Momentum (12)"});
  EXPECT_EQ(b.DataTable()->Rows().size(), 10u);
  EXPECT_TRUE(b.DataTable()->SeriesNames().empty());

  // Shift+D fills the store's own table, not the windows'.
  store->ShowDataTable("EVIL-EQ", "nse_cm|666", 100.0);
  ASSERT_NE(store->DataTable(), nullptr);
  EXPECT_EQ(store->DataTable()->Title(), "DataTable : EVIL-EQ");
  EXPECT_EQ(store->DataTable()->Rows().size(), 10u);
  EXPECT_EQ(store->DataTable()->Cell(0, "Open"), "100.9000");
  EXPECT_EQ(a.DataTable()->Symbol(), "RELIANCE-EQ");
  EXPECT_EQ(a.DataTable()->Rows().size(), 30u);
}

TEST_F(DataTable, ShiftDForAScripWithoutBarsFillsWhenTheyArriveAndTheChartGetsThemToo) {
  store->ShowDataTable("RELIANCE-EQ", key, 100.0);
  EXPECT_TRUE(store->IsTableKey(key));
  EXPECT_EQ(store->DataTable(), nullptr);
  first = LocalMidnight(Now()) + 9 * 3600 + 15 * 60;
  TodayBars(key, first, 5);
  ASSERT_NE(store->DataTable(), nullptr);
  EXPECT_EQ(store->DataTable()->Rows().size(), 5u);
  EXPECT_FALSE(store->IsTableKey(key)) << "filled once";
}

TEST_F(DataTable, AHistoricalTableShowsTheDailyBarsAsKept) {
  ASSERT_EQ(
      store->OpenHistoricalChart("RELIANCE-EQ", key, "09/09/2026", "12/08/2026", nullptr, 2, 100.0),
      1);
  CFChartView& w = View(0);
  const std::time_t d1 = At(2026, 12, 3, 0, 0), d2 = At(2026, 12, 4, 0, 0);
  requests->Reply(BarRow(kDailyBarsRequest, key, d1, 9800, 10100, 9700, 10000, 40), &w);
  requests->Reply(BarRow(kDailyBarsRequest, key, d2, 10000, 10500, 9900, 10400, 50), &w);
  Close(kDailyBarsRequest, key, &w);
  w.OnCommand(chart_cmd::kDataTable);
  ASSERT_NE(w.DataTable(), nullptr);
  ASSERT_EQ(w.DataTable()->Rows().size(), 2u);
  EXPECT_EQ(w.DataTable()->Cell(0, "Close/Price"), "104.0000");
  EXPECT_EQ(w.DataTable()->Cell(1, "Low"), "97.0000");
  EXPECT_DOUBLE_EQ(w.DataTable()->Divisor(), 1.0);
}

}  // namespace
}  // namespace kovo
