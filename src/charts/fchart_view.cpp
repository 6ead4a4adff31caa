#include "charts/fchart_view.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "base/format.h"
#include "charts/chart_time.h"
#include "charts/data_table_dlg.h"
#include "charts/indicator_setting_dlg.h"
#include "plugin/control_block.h"

namespace kovo {
namespace {

constexpr int kStripHeight = 25;
constexpr long kSpan3Months = 7776000;
constexpr long kSpan6Months = 15552000;
constexpr long kSpan1Year = 31536000;
constexpr int kZoomInCursorMode = 3;
constexpr int kZoomOutCursorMode = 4;

constexpr int kIntervalItems[] = {chart_id::kIntervalHourly, chart_id::kInterval30,
                                  chart_id::kInterval5, chart_id::kInterval1};
constexpr int kPeriodItems[] = {chart_id::kPeriod3Months, chart_id::kPeriod6Months,
                                chart_id::kPeriod1Year, chart_id::kPeriodConfigured};

// A whole positive number, or 0 for anything else.
int ParseInterval(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
  const long value = std::strtol(text.c_str() + i, nullptr, 10);
  return value > 0 && value <= 100000 ? static_cast<int>(value) : 0;
}

}  // namespace

CFChartView::CFChartView(CControlBlock& cb, int index)
    : m_cb(cb),
      m_index(index),
      m_chart(cb.Settings(), cb.Dlgs(),
              [&cb](std::string_view text) { cb.Report(text, kReportError); }),
      m_holder(cb.Dlgs(), cb.Settings()) {
  if (CVWapStore* store = Store()) m_chart.ShareSettings(store->ChartSettings().Shared());
  m_chart.SetDefaultTemplateKeeper(
      [&cb](const std::string& path) { cb.chartDefaultTemplate = path; });
}

CFChartView::~CFChartView() {
  *m_alive = false;
  m_dataTable.reset();
  DestroyPane();
}

std::string CFChartView::PaneId() const {
  return Format("ZintChart%d", kChartDialogId + m_index);
}

CVWapStore* CFChartView::Store() const {
  return StoreOf(m_cb);
}

bool CFChartView::Create(std::string_view paneTitle) {
  // The list is the window's before its view is made: the view shows it as it is.
  m_indicatorList.clear();
  for (const sIndicatorInfo& info : IndicatorCatalog()) m_indicatorList.emplace_back(info.name);
  m_view = m_cb.Views().CreateChartView(*this);
  if (!m_view) return false;
  std::vector<sHolderPane> panes = {
      {true, chart_id::kIndicatorList, nullptr, "Indicators", 0},
      {false, chart_id::kChartControl, nullptr, "", 0},
  };
  if (m_holder.CreateVertical("CFChartView", 800, 600, std::move(panes))) {
    m_holder.SetPaneSize(0, kIndicatorColumnWidth);
  }
  m_chart.BuildContextMenu();
  m_strip = Strip::kNone;
  ShowBusy(true);
  if (!m_cb.Frame().AddPane(PaneId(), paneTitle, *m_view)) {
    m_view.reset();
    return false;
  }
  m_paneAdded = true;
  m_cb.Frame().ShowPane(PaneId(), true);
  m_cb.Frame().RecalcLayout();
  return true;
}

void CFChartView::DestroyPane() {
  if (!m_paneAdded) return;
  m_paneAdded = false;
  HostFrame& frame = m_cb.Frame();
  if (frame.IsFloating(PaneId())) frame.DockPane(PaneId());
  frame.RemovePane(PaneId());
}

void CFChartView::Changed() {
  if (m_view) m_view->Refresh();
}

void CFChartView::SetTitle(std::string_view title) {
  m_title = title;
  if (m_view) m_view->SetTitle(title);
}

void CFChartView::Show(bool show) {
  m_shown = show;
  if (m_paneAdded) m_cb.Frame().ShowPane(PaneId(), show);
  Changed();
}

void CFChartView::ShowBusy(bool show) {
  m_busy = show && !m_cb.noAnimation;
  m_chartShown = !show;
  Changed();
}

// ---- what the store calls ------------------------------------------------------------

void CFChartView::ResetView() {
  todayHigh = todayLow = prevClose = prevHigh = prevLow = -1.0;
  pendingBars.clear();
}

void CFChartView::SetScrip(std::string_view newSymbol, std::string_view key,
                           std::string_view newTickKey, int32_t param, double divisor) {
  ShowBusy(true);
  // A reused window showing another scrip, or switching between intraday
  // and daily bars, starts from a fresh view.
  if (newTickKey != tickKey) {
    RestartView();
    // The date pickers start from the range the new content shows.
    m_pickerFrom.clear();
    m_pickerTo.clear();
  }
  // A strip left open follows the window between intraday and daily bars.
  if (m_strip != Strip::kNone) m_strip = isHistorical ? Strip::kHistorical : Strip::kInterval;
  if (!scripKey.empty() && Store()) Store()->RemoveWatch(scripKey);
  // The first window of the session reads the shared chart settings.
  if (Store() && Store()->chartViews.size() <= 1) Store()->ChartSettings().Load();
  // A new scrip starts from the default template.
  if (key != scripKey) ApplyDefaultTemplate();
  symbol = newSymbol;
  scripKey = key;
  tickKey = newTickKey;
  scripParam = param;
  priceDivisor = divisor > 0 ? divisor : 100.0;
  SetTitle(Format(isHistorical ? "Historical chart : %s" : "Intraday chart : %s", symbol.c_str()));
  if (!tickKey.empty() &&
      std::find(m_checked.begin(), m_checked.end(), chart_id::kInterval1) == m_checked.end()) {
    m_checked.push_back(chart_id::kInterval1);
  }
  lastTickPrice = -1.0;
  lastTickQty = -1;
}

void CFChartView::SetBars(const std::shared_ptr<const VwapSeries>& series) {
  if (!series) return;
  SetBars(*series);
  m_shownSeries = series;
}

void CFChartView::SetBars(const VwapSeries& series) {
  m_shownSeries.reset();
  if (series.empty()) {
    m_busy = false;
    m_chartShown = false;
    Changed();
    return;
  }
  // Prices arrive already divided by the store.
  const bool oneMinute = !isHistorical && intervalMinutes <= 1;
  VwapSeries rebucketed;
  const VwapSeries* source = &series;
  if (!isHistorical && intervalMinutes > 1) {
    CVWapStore::RebucketSeries(series, intervalMinutes, rebucketed);
    source = &rebucketed;
  }
  const size_t capacity = source->size() + 1;
  std::vector<double> t, h, l, o, c, v;
  for (auto* a : {&t, &h, &l, &o, &c, &v}) a->reserve(capacity);
  const auto add = [&](const sVwapData& bar) {
    if (bar.open <= 0 || bar.high <= 0 || bar.low <= 0 || bar.close <= 0) return;
    t.push_back(ChartTimeFromUnix(static_cast<std::time_t>(bar.time)));
    h.push_back(bar.high);
    l.push_back(bar.low);
    o.push_back(bar.open);
    c.push_back(bar.close);
    v.push_back(static_cast<double>(bar.volume));
  };
  if (oneMinute) {
    for (auto it = source->rbegin(); it != source->rend(); ++it) add(**it);
  } else {
    for (const VwapBar& bar : *source) add(*bar);
  }
  m_chartShown = true;
  m_busy = false;
  // The live bar's slot: not drawn until a tick opens it.
  const double step = (isHistorical ? 1440.0 : intervalMinutes) * 60.0;
  t.push_back(t.empty() ? 0.0 : t.back() + step);
  for (auto* a : {&h, &l, &o, &c, &v}) a->push_back(0.0);
  m_chart.SetData(std::move(t), std::move(h), std::move(l), std::move(o), std::move(c),
                  std::move(v));
  liveBarOpen = false;
  sChartOwnerState& owner = m_chart.Owner();
  owner.prevClose = prevClose, owner.prevHigh = prevHigh, owner.prevLow = prevLow;
  owner.isHistorical = isHistorical;
  if (newWindow) {
    m_chart.ShowRecentCandles();
    newWindow = false;
  }
  Redraw();
}

void CFChartView::ApplyTick(double price, int32_t qty, std::time_t now) {
  const long n = static_cast<long>(m_chart.Count());
  if (!(n - 2 > 0)) return;
  const double step = static_cast<double>(intervalMinutes) * 60.0;
  const double nowChart = ChartTimeFromUnix(now);
  const double p = price / priceDivisor;
  const size_t last = static_cast<size_t>(n - 1);
  const size_t newest = static_cast<size_t>(n - 2);
  const bool bucketOpen = intervalMinutes != 1 && m_chart.Bar(newest).time > nowChart - step;
  if (isHistorical || liveBarOpen || bucketOpen) {
    if (bucketOpen) liveBarOpen = false;
    const size_t k = liveBarOpen ? last : newest;
    sChartBar bar = m_chart.Bar(k);
    bar.close = p;
    if (p > bar.high) bar.high = p;
    if (p < bar.low) bar.low = p;
    m_chart.UpdateBar(k, bar);
    m_chart.SetLiveBarOpen(liveBarOpen);
  } else if (n - 2 >= 1) {
    sChartBar bar{m_chart.Bar(newest).time + step, p, p, p, p, 0.0};
    m_chart.UpdateBar(last, bar);
    if (prevTickQty == 0) prevTickQty = qty;
    barStartQty = prevTickQty;
    liveBarOpen = true;
    m_chart.SetLiveBarOpen(true);
  }
  if (qty > 0 && liveBarOpen && !isHistorical) {
    if (barStartQty > 0 && qty > barStartQty) {
      sChartBar bar = m_chart.Bar(last);
      bar.volume = intervalMinutes == 1 ? qty - prevTickQty : qty - barStartQty;
      m_chart.UpdateBar(last, bar);
    }
    if (barStartQty == 0) barStartQty = qty;
    prevTickQty = qty;
  }
  if ((price != lastTickPrice || (qty >= 1 && qty != lastTickQty)) && n - 2 > intervalMinutes) {
    PostMessage(kMsgTickApplied, static_cast<uintptr_t>(price > 0 ? price : 0));
  }
  lastTickPrice = price;
  if (qty > 0) lastTickQty = qty;
}

void CFChartView::PostMessage(uint32_t message, uintptr_t wParam,
                              std::shared_ptr<const VwapSeries> series) {
  std::weak_ptr<bool> alive = m_alive;
  m_cb.Ui().Post([this, alive, message, wParam, series = std::move(series)] {
    const auto live = alive.lock();
    if (live && *live) OnMessage(message, wParam, series.get());
  });
}

void CFChartView::PostBars(std::shared_ptr<const VwapSeries> series) {
  PostMessage(kMsgNewBars, 0, std::move(series));
}

void CFChartView::OnMessage(uint32_t message, uintptr_t wParam, const VwapSeries* series) {
  if (message == kMsgTickApplied) {
    m_chart.MarkLastPrice(static_cast<double>(wParam) / priceDivisor);
    Redraw();
  } else if (message == kMsgNewBars && series) {
    // Posted right after the series was handed over: anything else shown now
    // is newer, or another scrip's.
    if (m_shownSeries.lock().get() == series) Redraw();
  }
}

void CFChartView::Redraw() {
  if (m_chart.BarCount() == 0) return;
  const int mode = m_chart.MouseMode();
  if (mode == kZoomInCursorMode || mode == kZoomOutCursorMode) return;
  ++m_redraws;
  Changed();
}

void CFChartView::Resize(int width, int height) {
  const int top = m_strip == Strip::kNone ? 0 : kStripHeight;
  if (m_holder.Created()) m_holder.Resize(width, std::max(0, height - top));
  const int chartWidth = std::max(0, width - kIndicatorColumnWidth);
  m_chart.SetPaneSize(chartWidth, std::max(0, height - top));
}

// ---- commands and keys ------------------------------------------------------------------

bool CFChartView::IsMenuChecked(int id) const {
  if (std::find(m_checked.begin(), m_checked.end(), id) != m_checked.end()) return true;
  return m_chart.IsChecked(id);
}

bool CFChartView::OnCommand(int id) {
  // A window released with Escape has no scrip to show, reopen or tabulate.
  const bool needsScrip = id == chart_cmd::kDataTable || id == chart_id::kApply ||
                          id == chart_id::kSetInterval ||
                          (id >= chart_id::kPeriod3Months && id <= chart_id::kPeriod1Year) ||
                          (id >= chart_id::kIntervalHourly && id <= chart_id::kInterval1);
  if (needsScrip && scripKey.empty()) return true;
  switch (id) {
    case chart_cmd::kLockScrip: {
      isLocked = !isLocked;
      const auto it = std::find(m_checked.begin(), m_checked.end(), id);
      if (isLocked && it == m_checked.end()) m_checked.push_back(id);
      if (!isLocked && it != m_checked.end()) m_checked.erase(it);
      break;
    }
    case chart_cmd::kPreferenceSettings:
      if (CVWapStore* store = Store()) {
        // OK in the dialog writes the keys and redraws every chart.
        store->ChartSettings().BeginEdit();
        m_cb.Views().RunChartSettings(store->ChartSettings());
      }
      break;
    case chart_cmd::kDataTable:
      OpenDataTable();
      break;
    case chart_id::kPeriod3Months:
      HistoricalPeriod(id, kSpan3Months);
      break;
    case chart_id::kPeriod6Months:
      HistoricalPeriod(id, kSpan6Months);
      break;
    case chart_id::kPeriod1Year:
      HistoricalPeriod(id, kSpan1Year);
      break;
    case chart_id::kIntervalHourly:
      FixedInterval(id, 60);
      break;
    case chart_id::kInterval30:
      FixedInterval(id, 30);
      break;
    case chart_id::kInterval5:
      FixedInterval(id, 5);
      break;
    case chart_id::kInterval1:
      FixedInterval(id, 1);
      break;
    case chart_id::kAddIndicator:
    case chart_id::kAddIndicator2:
      OnIndicatorDoubleClick(m_selectedIndicator);
      break;
    case chart_id::kApply:
      HistoricalRange();
      break;
    case chart_id::kCancel:
      m_strip = Strip::kNone;
      m_chartTop = 1;
      break;
    case chart_id::kSetInterval:
      CustomInterval();
      break;
    case chart_id::kStripToggle:
      ToggleStrip();
      break;
    default:
      if (!m_chart.OnCommand(id)) return false;
      break;
  }
  Changed();
  return true;
}

void CFChartView::OnIndicatorDoubleClick(int row) {
  if (row < 0 || row >= static_cast<int>(m_indicatorList.size())) return;
  const std::string& name = m_indicatorList[static_cast<size_t>(row)];
  CFIndicatorSettingDlg dialog(m_chart, m_cb.Dlgs());
  if (dialog.Select(name)) {
    // The settings dialog adds it on OK; where no dialog can be shown the
    // indicator goes on with its defaults.
    const int answer = m_cb.Views().RunIndicatorSettings(dialog);
    if (answer == 0) dialog.OnOK();
  } else {
    // Names the dialog does not offer take their defaults.
    m_chart.AddIndicator(name, sIndicatorParams{});
  }
  Redraw();
  Changed();
}

bool CFChartView::IndicatorShown(int row) const {
  if (row < 0 || row >= static_cast<int>(m_indicatorList.size())) return false;
  const sIndicatorInfo* info = FindIndicator(m_indicatorList[static_cast<size_t>(row)]);
  const auto& names = m_chart.IndicatorNames();
  return info && std::any_of(names.begin(), names.end(),
                             [&](const std::string& n) { return FindIndicator(n) == info; });
}

void CFChartView::RemoveIndicatorAt(int row) {
  if (!IndicatorShown(row)) return;
  const sIndicatorInfo* info = FindIndicator(m_indicatorList[static_cast<size_t>(row)]);
  // Every moving average or SAR of the list entry goes with it.
  const std::vector<std::string> names = m_chart.IndicatorNames();
  for (const std::string& n : names)
    if (FindIndicator(n) == info) m_chart.RemoveIndicator(n);
  Redraw();
  Changed();
}

bool CFChartView::OnKey(ChartKey key, bool ctrl, bool shift) {
  if (ctrl) {
    switch (key) {
      case ChartKey::kZ:
        shift ? m_chart.ZoomOut() : m_chart.ZoomIn();
        break;
      case ChartKey::kC:
        m_chart.OnCommand(shift ? chart_cmd::kZoomOutCursor : chart_cmd::kZoomInCursor);
        break;
      case ChartKey::kX:
        m_chart.SetViewPort(0.0, 1.0);
        break;
      case ChartKey::kN:
        m_chart.ShowRecentCandles();
        break;
      case ChartKey::kD:
        return OnCommand(chart_cmd::kDataTable);
      case ChartKey::kP:
        return OnCommand(chart_cmd::kPreferenceSettings);
      default:
        return false;
    }
    Changed();
    return true;
  }
  const double left = m_chart.ViewLeft();
  const double width = m_chart.ViewWidth();
  switch (key) {
    case ChartKey::kLeft:
      m_chart.SetViewPort(std::max(0.0, left - width), width);
      break;
    case ChartKey::kRight:
      m_chart.SetViewPort(left + 2 * width <= 1.0 ? left + width : 1.0 - width, width);
      break;
    case ChartKey::kEscape:
      if (Store() && !scripKey.empty()) Store()->RemoveWatch(scripKey);
      scripKey.clear();
      Show(false);
      break;
    case ChartKey::kEnter:
      return true;
    default:
      return false;
  }
  Changed();
  return true;
}

void CFChartView::ApplyDefaultTemplate() {
  std::string path;
  if (m_cb.Settings().Read(kDefTemplateSection, kDefTemplateKey, path, kChartSettingsFile,
                           SettingsLocation::kUserFolder) != 1 ||
      path.size() > 4096) {
    path = kDefTemplateNotFound;
  }
  m_cb.chartDefaultTemplate = path;
  if (path == kDefTemplateNotFound || path.empty()) return;
  // A file that cannot be opened applies nothing.
  m_chart.LoadTemplateFile(path);
}

void CFChartView::OpenDataTable() {
  if (!m_dataTable) {
    auto table = std::make_unique<CDataTableDlg>(m_cb);
    if (!table->Create()) {
      m_cb.Report("Failed to create DataTable", kReportError);
      return;
    }
    m_dataTable = std::move(table);
  }
  VwapSeries bars;
  if (isHistorical) {
    bars = pendingBars;
  } else if (Store()) {
    Store()->MergeSeries(tickKey, bars);
  }
  if (bars.empty()) return;
  // The rows the chart draws, oldest first: buckets of the window's interval,
  // or the one-minute (newest first) and daily bars that have all four prices.
  VwapSeries rows;
  if (!isHistorical && intervalMinutes > 1) {
    CVWapStore::RebucketSeries(bars, intervalMinutes, rows);
  } else {
    const auto priced = [](const VwapBar& b) {
      return b && b->open > 0 && b->high > 0 && b->low > 0 && b->close > 0;
    };
    if (!isHistorical) std::reverse(bars.begin(), bars.end());
    for (const VwapBar& b : bars)
      if (priced(b)) rows.push_back(b);
  }
  m_dataTable->Fill(symbol, isHistorical ? 1.0 : priceDivisor, rows, &m_chart);
}

void CFChartView::Reopen() {
  if (Store()) {
    Store()->OpenIntradayChart(symbol, scripKey, scripParam, priceDivisor, intervalMinutes,
                               altFields, this);
  }
}

void CFChartView::RestartView() {
  // The next bars set the initial view again: a view port fitted to bars of
  // another length would show a sliver or a smear of the new ones.
  m_chart.Reset();
  newWindow = true;
}

void CFChartView::FixedInterval(int id, int minutes) {
  intervalMinutes = minutes == 0 ? 1 : minutes;
  RestartView();
  Reopen();
  m_intervalText = Format("%d", intervalMinutes);
  isHistorical = false;
  for (const int item : kIntervalItems) std::erase(m_checked, item);
  for (const int item : kPeriodItems) std::erase(m_checked, item);
  m_checked.push_back(id);
  m_strip = Strip::kNone;
  m_chartTop = 1;
}

void CFChartView::CustomInterval() {
  const int value = ParseInterval(m_intervalText);
  if (value == 0) {
    m_cb.MessageBox("Please Enter Valid Interval");
    return;
  }
  if (!isHistorical && Store()) {
    VwapSeries merged;
    if (!Store()->MergeSeries(tickKey, merged)) {
      m_cb.MessageBox("Data Unavailable...");
      return;
    }
    if (static_cast<size_t>(value) > merged.size()) {
      m_cb.MessageBox(Format("you cannot add the more than %d total data's as Interval",
                             static_cast<int>(merged.size())));
      return;
    }
  }
  intervalMinutes = value;
  RestartView();
  Reopen();
  // Only an interval the menu has no item for takes the check off "1 Min".
  if (value != 1 && value != 5 && value != 30 && value != 60)
    std::erase(m_checked, chart_id::kInterval1);
}

void CFChartView::HistoricalPeriod(int id, long span) {
  if (altFields || !Store()) return;
  const std::time_t now = Store()->Now();
  const std::string from = FormatMdy(now - span);
  const std::string to = FormatMdy(now);
  isHistorical = true;
  RestartView();
  Store()->OpenHistoricalChart(symbol, scripKey, from, to, this, scripParam, priceDivisor);
  m_pickerFrom = from;
  m_pickerTo = to;
  for (const int item : kPeriodItems) std::erase(m_checked, item);
  for (const int item : kIntervalItems) std::erase(m_checked, item);
  m_checked.push_back(id);
  m_strip = Strip::kHistorical;
  m_chartTop = 1 + kStripHeight;
}

void CFChartView::HistoricalRange() {
  if (!Store()) return;
  const std::string from = PickerFrom(), to = PickerTo();
  RestartView();
  Store()->OpenHistoricalChart(symbol, scripKey, from, to, this, scripParam, priceDivisor);
  fromDate = from;
  toDate = to;
  for (const int item : kPeriodItems) std::erase(m_checked, item);
  m_checked.push_back(chart_id::kPeriodConfigured);
  isHistorical = true;
  m_strip = Strip::kNone;
  m_chartTop = 1;
}

void CFChartView::ToggleStrip() {
  if (m_strip != Strip::kNone) {
    m_strip = Strip::kNone;
    m_chartTop = 1;
    return;
  }
  m_strip = isHistorical ? Strip::kHistorical : Strip::kInterval;
  // Picks that were never applied are dropped: the strip opens on what is shown.
  m_pickerFrom.clear();
  m_pickerTo.clear();
  m_intervalText = intervalMinutes == 0 ? "1" : Format("%d", intervalMinutes);
  m_chartTop = 1 + kStripHeight;
}

}  // namespace kovo
