#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <connectkovo/connectkovo.h>

#include "base/clock.h"
#include "charts/master_chart_setting.h"
#include "platform/ui_thread.h"
#include "plugin/session_module.h"

namespace kovo {

class CControlBlock;
class CDataTableDlg;
class CFChartView;

// One bar. Prices are in rupees once the store has them.
// Kept small (48 bytes) so that re-bucketing, which walks a million of these,
// reads as little memory as it can; nothing per table or indicator lives here.
struct sVwapData {
  int32_t time = 0;  // seconds since 1970, UTC
  uint32_t volume = 0;
  double open = 0;
  double close = 0;
  double high = 0;
  double low = 0;
  double lastPrice = 0;
};

// Bars are shared between the series, merged views and the windows' posted
// messages, so a series can be cleared while a window still draws from it.
using VwapBar = std::shared_ptr<sVwapData>;
// Newest bar first (re-bucketed output is oldest first).
using VwapSeries = std::vector<VwapBar>;

// Request names the store sends and reads.
inline constexpr const char* kTodayBarsRequest = "xr_get_series_vwap_data";
inline constexpr const char* kDailyBarsRequest = "xr_get_series_db_vwap_data";
inline constexpr const char* kQuoteRequest = "mrv_master";

// Field ids only bars and quotes use.
namespace vwap_field {
inline constexpr int32_t kLastPrice = 6;
inline constexpr int32_t kDayHigh = 12;
inline constexpr int32_t kDayLow = 13;
inline constexpr int32_t kDayOpen = 19;
inline constexpr int32_t kDayVolume = 32;
inline constexpr int32_t kCumulativeQty = 178;
inline constexpr int32_t kRowStatus = 10303;
inline constexpr int32_t kRowError = 20008;
inline constexpr int32_t kBarTime = 59353;
inline constexpr int32_t kBarVolume = 59354;
inline constexpr int32_t kBarOpen = 59355;
inline constexpr int32_t kBarClose = 59356;
inline constexpr int32_t kBarHigh = 59357;
inline constexpr int32_t kBarLow = 59358;
inline constexpr int32_t kAltTickField = 59375;
}  // namespace vwap_field

// Chart ids and timing.
inline constexpr int kChartDialogId = 30016;
inline constexpr int kChartTimerIntradayMs = 250;
inline constexpr int kChartTimerHistoricalMs = 500;
inline constexpr int kMaxStoreDays = 22;

// Local midnight of the day holding t.
std::time_t LocalMidnight(std::time_t t);
// The weekday before today: Friday for a Monday or a Sunday.
std::time_t PreviousWeekday(std::time_t now);
// "%m/%d/%Y" of a time in local time.
std::string FormatMdy(std::time_t t);
// A name that stays one file inside its folder whatever the scrip texts hold.
std::string SanitiseFileName(std::string_view name);

// The one store of price bars for every chart of the plug-in.
class CVWapStore final : public CSessionModule {
 public:
  struct sChartWatches {
    int64_t watchHandle = 0;
    uint32_t refCount = 1;
  };
  using SeriesMap = std::unordered_map<std::string, VwapSeries>;

  explicit CVWapStore(CControlBlock& cb, const Clock& clock = SystemClock::Instance());
  ~CVWapStore() override;
  CVWapStore(const CVWapStore&) = delete;
  CVWapStore& operator=(const CVWapStore&) = delete;

  int OpenIntradayChart(std::string_view symbol, std::string_view key, int32_t scripParam,
                        double priceDivisor, int32_t watchParam, bool altFields,
                        CFChartView* window);
  int OpenHistoricalChart(std::string_view symbol, std::string_view key, std::string_view from,
                          std::string_view to, CFChartView* window, int32_t scripParam,
                          double priceDivisor);
  void AddWatch(std::string_view key, std::string_view symbol, int32_t watchParam, bool altFields);
  int RemoveWatch(std::string_view key);
  int RequestTodayBars(std::string_view key, std::string_view symbol, const VwapSeries* history,
                       bool altFields);
  int RequestDailyBars(std::string_view symbol, std::string_view key, std::string_view from,
                       std::string_view to, bool levels, CFChartView* window);
  int RequestQuote(std::string_view key, std::string_view userKey, bool wait, CFChartView* window);
  // Today's bars, then earlier ones; the bars are shared.
  int MergeSeries(std::string_view key, VwapSeries& out) const;
  // One-minute bars (newest first) into bars of `minutes`, oldest first.
  static void RebucketSeries(const VwapSeries& series, int minutes, VwapSeries& out);
  void ShowDataTable(std::string_view symbol, std::string_view key, double priceDivisor);
  void FillDataTables(std::string_view symbol, std::string_view key, double priceDivisor);
  // 1: earlier days, 2: today.
  void ClearSeries(int which);
  void SaveLocalData();
  // The data page's clear-cache check box: asks, then drops every bar and chart.
  bool ClearCache();
  // Docks each chart back, takes it out of the frame and drops it.
  void CloseWindows() override;

  // The open chart windows, in the order they were made; at most the
  // control block's chart limit.
  std::vector<std::unique_ptr<CFChartView>> chartViews;

  void OnReply(const wmp_msg* message, void* context);
  void OnBroadcast(const wmp_msg* message);

  // ---- state, for the windows and the data page
  const SeriesMap& HistorySeries() const { return m_historySeries; }
  const SeriesMap& TodaySeries() const { return m_todaySeries; }
  const std::unordered_map<std::string, sChartWatches>& BarWatches() const { return m_barWatches; }
  const std::unordered_map<std::string, sChartWatches>& TickWatches() const {
    return m_tickWatches;
  }
  bool IsHistoricalKey(const std::string& key) const { return m_historicalKeys.count(key) != 0; }
  bool IsTableKey(const std::string& key) const { return m_tableKeys.count(key) != 0; }
  // The day count of the first request of a scrip; capped at 22.
  int DayCount() const;
  std::filesystem::path LocalDataFolder() const;
  std::time_t Now() const;
  CControlBlock& Owner() const { return m_cb; }
  // The chart look every window shares, and its "Preference Settings" dialog.
  CMasterChartSetting& ChartSettings() { return m_chartSettings; }
  // The table Shift+D fills for a scrip without a chart; null until then.
  CDataTableDlg* DataTable() const { return m_dataTable.get(); }
  // Hosts without a window list are told about bar replies through this.
  int HostNotifications() const { return m_hostNotifications; }

 private:
  CFChartView* TakeWindow(bool historical, int& result);
  bool IsOpenWindow(const CFChartView* window) const;
  int64_t AddBroadcastWatch(std::string_view key, int32_t thirdField, std::string_view value);
  void CountWatch(std::unordered_map<std::string, sChartWatches>& watches, const std::string& key,
                  int32_t thirdField, std::string_view value);
  void OnRow(const std::string& name, const wmp_msg* message, CFChartView* window);
  void OnClosing(const std::string& name, const wmp_msg* message, CFChartView* window);
  void HandBars(const std::string& key);
  void ApplyTickToWindows(const std::string& key, double price, int32_t qty);

  CControlBlock& m_cb;
  const Clock& m_clock;
  int m_listener = 0;
  SeriesMap m_historySeries;
  SeriesMap m_todaySeries;
  std::unordered_map<std::string, bool> m_tableKeys;
  std::unordered_map<std::string, bool> m_historicalKeys;
  std::unordered_map<std::string, sChartWatches> m_barWatches;
  std::unordered_map<std::string, sChartWatches> m_tickWatches;
  int m_hostNotifications = 0;
  UiThread::TimerId m_chartTimer = 0;
  CMasterChartSetting m_chartSettings;
  std::unique_ptr<CDataTableDlg> m_dataTable;
};

// The control block's bar data store; null before it is made.
CVWapStore* StoreOf(const CControlBlock& cb);

}  // namespace kovo
