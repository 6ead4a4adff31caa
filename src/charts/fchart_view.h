#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charts/fchart_ctrl.h"
#include "charts/vwap_store.h"
#include "platform/view.h"
#include "ui/holder_frame.h"

namespace kovo {

class CControlBlock;
class CDataTableDlg;

// Ids of the chart window's strip, list and menu.
namespace chart_id {
inline constexpr int kIndicatorList = 16004;
inline constexpr int kAddIndicator = 16006;
inline constexpr int kAddIndicator2 = 16007;
inline constexpr int kFromDate = 16027;
inline constexpr int kToDate = 16028;
inline constexpr int kApply = 16029;
inline constexpr int kCancel = 16031;
inline constexpr int kIntervalEdit = 16107;
inline constexpr int kSetInterval = 16106;
inline constexpr int kStripToggle = 16122;
inline constexpr int kChartControl = 1020;
inline constexpr int kPeriod3Months = 11500;
inline constexpr int kPeriod6Months = 11501;
inline constexpr int kPeriod1Year = 11502;
inline constexpr int kPeriodConfigured = 11503;
inline constexpr int kIntervalHourly = 11547;
inline constexpr int kInterval30 = 11548;
inline constexpr int kInterval5 = 11549;
inline constexpr int kInterval1 = 11550;
}  // namespace chart_id

// Window messages the chart window answers.
inline constexpr uint32_t kMsgTickApplied = 1624;
inline constexpr uint32_t kMsgNewBars = 1824;
inline constexpr int kIndicatorColumnWidth = 170;

// Keys the window handles before its controls see them.
enum class ChartKey { kLeft, kRight, kEscape, kEnter, kZ, kC, kX, kN, kD, kP, kOther };

// One chart window: a docked pane with the chart control and the
// indicator list; it turns bars into the chart's arrays and keeps a live
// bar from the ticks.
class CFChartView {
 public:
  enum class Strip { kNone, kInterval, kHistorical };

  CFChartView(CControlBlock& cb, int index);
  ~CFChartView();
  CFChartView(const CFChartView&) = delete;
  CFChartView& operator=(const CFChartView&) = delete;

  // Builds the view, the holder frame and the menu; docks the pane.
  bool Create(std::string_view paneTitle);
  // Undocks and drops the pane (the plug-in is closing).
  void DestroyPane();
  std::string PaneId() const;
  int Index() const { return m_index; }
  View* GetView() const { return m_view.get(); }

  // ---- what the store sets and reads
  std::string symbol;
  std::string scripKey;
  std::string tickKey;
  int32_t scripParam = 0;
  double priceDivisor = 100.0;
  int32_t intervalMinutes = 1;
  bool isHistorical = false;
  bool isLocked = false;
  bool altFields = false;
  bool waitQuote = false;
  bool todayPending = false;
  bool showLevels = false;
  bool liveBarOpen = false;
  bool newWindow = false;
  double todayHigh = -1.0, todayLow = -1.0;
  double prevClose = -1.0, prevHigh = -1.0, prevLow = -1.0;
  double lastTickPrice = -1.0;
  int32_t lastTickQty = -1;
  int32_t barStartQty = 0;
  int32_t prevTickQty = 0;
  std::string fromDate, toDate;
  VwapSeries pendingBars;

  void ResetView();
  void SetScrip(std::string_view symbol, std::string_view key, std::string_view tickKey,
                int32_t scripParam, double priceDivisor);
  // Bars from the store: one-minute bars newest first for an intraday
  // window (re-bucketed here for longer intervals), daily bars otherwise.
  void SetBars(const VwapSeries& series);
  // The same, remembering the series so that its new-bars message (1824)
  // only redraws it: building the bars again would drop a live bar a tick
  // opened meanwhile.
  void SetBars(const std::shared_ptr<const VwapSeries>& series);
  void ApplyTick(double price, int32_t qty, std::time_t now);
  void ShowBusy(bool show);
  void SetTitle(std::string_view title);
  void Show(bool show);
  void SetIntervalText(std::string text) { m_intervalText = std::move(text); }
  // Window messages 1624 and 1824.
  void OnMessage(uint32_t message, uintptr_t wParam, const VwapSeries* series = nullptr);
  // Posts message 1824; the series is shared, not copied.
  void PostBars(std::shared_ptr<const VwapSeries> series);
  // The redraw timer's tick.
  void Redraw();

  // ---- input
  bool OnCommand(int id);
  // True when the key was used (or swallowed).
  bool OnKey(ChartKey key, bool ctrl, bool shift);
  // Opens the indicator settings dialog on the list's entry; OK adds it.
  void OnIndicatorDoubleClick(int row);
  // Whether the chart draws the list entry (any of its moving averages or SARs).
  bool IndicatorShown(int row) const;
  // "&Remove Indicator" on a list entry.
  void RemoveIndicatorAt(int row);
  void SelectIndicator(int row) { m_selectedIndicator = row; }
  void SetDates(std::string from, std::string to) {
    m_pickerFrom = std::move(from), m_pickerTo = std::move(to);
  }
  void Resize(int width, int height);

  // ---- what the view shows
  FChartCtrl& Chart() { return m_chart; }
  const FChartCtrl& Chart() const { return m_chart; }
  CNTHolderFrame& Holder() { return m_holder; }
  const std::string& Title() const { return m_title; }
  const std::string& IntervalText() const { return m_intervalText; }
  // The picked dates, or the range last requested while nothing is picked.
  const std::string& PickerFrom() const { return m_pickerFrom.empty() ? fromDate : m_pickerFrom; }
  const std::string& PickerTo() const { return m_pickerTo.empty() ? toDate : m_pickerTo; }
  bool BusyShown() const { return m_busy; }
  bool ChartShown() const { return m_chartShown; }
  bool IsShown() const { return m_shown; }
  Strip VisibleStrip() const { return m_strip; }
  int ChartTop() const { return m_chartTop; }
  bool IsMenuChecked(int id) const;
  const std::vector<std::string>& IndicatorList() const { return m_indicatorList; }
  int Redraws() const { return m_redraws; }
  // The window's data table; null until first opened.
  CDataTableDlg* DataTable() const { return m_dataTable.get(); }
  // Ticks drawn since the view last read them.
  double MarkedPrice() const { return m_chart.LastPriceMark(); }

 private:
  void Reopen();
  void ApplyDefaultTemplate();
  void OpenDataTable();
  void RestartView();
  void FixedInterval(int id, int minutes);
  void CustomInterval();
  void HistoricalPeriod(int id, long span);
  void HistoricalRange();
  void ToggleStrip();
  void Changed();
  CVWapStore* Store() const;
  void PostMessage(uint32_t message, uintptr_t wParam,
                   std::shared_ptr<const VwapSeries> series = nullptr);

  CControlBlock& m_cb;
  int m_index;
  FChartCtrl m_chart;
  CNTHolderFrame m_holder;
  std::unique_ptr<View> m_view;
  bool m_paneAdded = false;
  std::string m_title;
  std::string m_intervalText = "1";
  std::string m_pickerFrom, m_pickerTo;
  bool m_busy = false;
  bool m_chartShown = true;
  bool m_shown = false;
  Strip m_strip = Strip::kNone;
  int m_chartTop = 1;
  std::vector<int> m_checked;
  std::vector<std::string> m_indicatorList;
  int m_selectedIndicator = -1;
  int m_redraws = 0;
  std::unique_ptr<CDataTableDlg> m_dataTable;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  std::weak_ptr<const VwapSeries> m_shownSeries;  // the series SetBars was last handed, if shared
};

}  // namespace kovo
