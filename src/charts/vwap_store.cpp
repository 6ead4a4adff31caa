#include "charts/vwap_store.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "base/format.h"
#include "charts/data_table_dlg.h"
#include "charts/fchart_view.h"
#include "plugin/control_block.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"

namespace kovo {
namespace {

constexpr int32_t kMnmSymbol = 63100;
constexpr int kDaySeconds = 86400;
constexpr unsigned kMbDefaultSecond = 0x100;
constexpr const char* kClearCacheQuestion =
    "Clearing cache will close all the opened charts & running scripts,Do you want to continue ?";

std::pair<std::string, std::string> SplitKey(std::string_view key) {
  const size_t bar = key.find('|');
  if (bar == std::string_view::npos) return {std::string(key), std::string()};
  return {std::string(key.substr(0, bar)), std::string(key.substr(bar + 1))};
}

// A historical window's tick key is its scrip key with ":-1"; a back end that
// echoes the user message answers with it.
std::string PlainKey(std::string key) {
  constexpr std::string_view kSuffix = ":-1";
  if (key.size() > kSuffix.size() && key.ends_with(kSuffix))
    key.resize(key.size() - kSuffix.size());
  return key;
}

std::tm LocalTm(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

std::string Text(const wmp_msg* message, int32_t field, bool* present = nullptr) {
  std::string value;
  int status = 0;
  const int read = ReadText(message, field, 0, value, status);
  if (present) *present = read != 0;
  return value;
}

// A bar row: prices travel in hundredths.
VwapBar BarFromRow(const wmp_msg* message) {
  auto bar = std::make_shared<sVwapData>();
  int status = 0;
  int64_t time = 0;
  int64_t volume = 0;
  ReadLong(message, vwap_field::kBarTime, 0, time, status);
  ReadLong(message, vwap_field::kBarVolume, 0, volume, status);
  bar->time = static_cast<int32_t>(time);
  bar->volume = static_cast<uint32_t>(std::clamp<int64_t>(volume, 0, UINT32_MAX));
  ReadPrice(message, vwap_field::kBarOpen, 0, bar->open, status);
  ReadPrice(message, vwap_field::kBarClose, 0, bar->close, status);
  ReadPrice(message, vwap_field::kBarHigh, 0, bar->high, status);
  ReadPrice(message, vwap_field::kBarLow, 0, bar->low, status);
  bar->lastPrice = bar->close;
  return bar;
}

// A wmp request with the store's own failure texts for each step.
class RequestBuilder {
 public:
  explicit RequestBuilder(CControlBlock& cb) : m_cb(cb) {}
  bool Start(const std::string& failure) {
    if (!m_cb.HasMessaging()) return Fail(failure);
    m_cb.Scratch()->fill_length = 0;
    int32_t error = 0;
    return wmp_start_msg(m_cb.Builder(), m_cb.Scratch(), &error) ? true : Fail(failure);
  }
  bool Add(int32_t field, std::string_view value, const std::string& failure) {
    wmp_value data{value.data(), static_cast<int64_t>(value.size())};
    int32_t error = 0;
    return wmp_add_data(m_cb.Builder(), field, 1, &data, &error) ? true : Fail(failure);
  }
  bool Send(void* context, const std::string& failure) {
    KovoRxControl* control = m_cb.RequestControl();
    int32_t error = 0;
    if (!control || !control->ops || !control->ops->send ||
        !control->ops->send(control, context, m_cb.Builder(), 0, &error)) {
      return Fail(failure);
    }
    return true;
  }

 private:
  bool Fail(const std::string& text) {
    m_cb.Report(text, kReportError);
    return false;
  }
  CControlBlock& m_cb;
};

bool ScripDetails(const CControlBlock& cb, const std::string& seg, const std::string& symbol,
                  sScripDetails& details) {
  details = sScripDetails{};
  return cb.Host().getScripDetails &&
         cb.Host().getScripDetails(seg.c_str(), symbol.c_str(), &details) != 0;
}

}  // namespace

// ---- helpers ------------------------------------------------------------------

std::time_t LocalMidnight(std::time_t t) {
  std::tm tm = LocalTm(t);
  // Stepping back by the time of day is right unless the clock was moved
  // since midnight; mktime (which reads the zone file on every call) only
  // settles that case.
  const std::time_t guess = t - (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec);
  const std::tm check = LocalTm(guess);
  if (check.tm_hour == 0 && check.tm_min == 0 && check.tm_sec == 0 && check.tm_mday == tm.tm_mday)
    return guess;
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::time_t PreviousWeekday(std::time_t now) {
  const int weekday = LocalTm(now).tm_wday;
  const int back = weekday == 0 ? 2 : weekday == 1 ? 3 : 1;
  return now - static_cast<std::time_t>(back) * kDaySeconds;
}

std::string FormatMdy(std::time_t t) {
  const std::tm tm = LocalTm(t);
  char text[32];
  std::strftime(text, sizeof text, "%m/%d/%Y", &tm);
  return text;
}

std::string SanitiseFileName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool bad = u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' ||
                     c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
    out += bad ? '_' : c;
  }
  // "." and ".." would name a folder, not a file.
  if (out.find_first_not_of('.') == std::string::npos) out = std::string(out.size(), '_');
  return out;
}

// ---- construction -------------------------------------------------------------

CVWapStore::CVWapStore(CControlBlock& cb, const Clock& clock)
    : m_cb(cb), m_clock(clock), m_chartSettings(cb.Settings(), cb.Dlgs()) {
  m_chartSettings.SetOnChanged([this] {
    for (const auto& view : chartViews) view->Redraw();
  });
  for (const char* name : {kTodayBarsRequest, kDailyBarsRequest, kQuoteRequest}) {
    m_cb.OnReplyNamed(name, [this](void* context, const wmp_msg* message, int32_t) {
      OnReply(message, context);
    });
  }
  m_listener = m_cb.AddBroadcastListener([this](const wmp_msg* message) { OnBroadcast(message); });
}

CVWapStore::~CVWapStore() {
  try {
    if (m_cb.saveLocalData) SaveLocalData();
  } catch (...) {
    // A full disk must not stop the shutdown.
  }
  CloseWindows();
  ClearSeries(1);
  ClearSeries(2);
  for (const char* name : {kTodayBarsRequest, kDailyBarsRequest, kQuoteRequest}) {
    m_cb.OnReplyNamed(name, {});
  }
  m_cb.RemoveBroadcastListener(m_listener);
}

std::time_t CVWapStore::Now() const {
  return std::chrono::system_clock::to_time_t(m_clock.Now());
}

int CVWapStore::DayCount() const {
  return std::min(m_cb.session.noOfDays, kMaxStoreDays);
}

bool CVWapStore::IsOpenWindow(const CFChartView* window) const {
  if (!window) return false;
  for (const auto& view : chartViews) {
    if (view.get() == window) return true;
  }
  return false;
}

// ---- opening charts -----------------------------------------------------------

CFChartView* CVWapStore::TakeWindow(bool historical, int& result) {
  for (const auto& view : chartViews) {
    if (!view->isLocked || !view->GetView()) {
      view->isLocked = false;
      return view.get();
    }
  }
  auto& views = chartViews;
  if (static_cast<int>(views.size()) >= m_cb.chartLimit) {
    m_cb.MessageBox("Zint : Max ChartCount Reached");
    m_cb.Report("Max ChartCount Reached", kReportError);
    result = 0;
    return nullptr;
  }
  auto view = std::make_unique<CFChartView>(m_cb, static_cast<int>(views.size()));
  if (!view->Create(historical ? " " : "Intraday Chart")) {
    m_cb.MessageBox("create failed");
    m_cb.Report("Failed to create zint chart view", kReportError);
    result = 0;
    return nullptr;
  }
  view->newWindow = true;
  views.push_back(std::move(view));
  if (views.size() == 1) {
    const auto interval =
        std::chrono::milliseconds(historical ? kChartTimerHistoricalMs : kChartTimerIntradayMs);
    m_chartTimer = m_cb.Ui().StartTimer(interval, [this] {
      for (const auto& v : chartViews) v->Redraw();
    });
  }
  return views.back().get();
}

int CVWapStore::OpenIntradayChart(std::string_view symbol, std::string_view key, int32_t scripParam,
                                  double priceDivisor, int32_t watchParam, bool altFields,
                                  CFChartView* window) {
  int result = 1;
  const bool fromCommand = window == nullptr;
  if (!window) window = TakeWindow(false, result);
  if (!window) return result;
  const std::string sym(symbol);
  window->SetTitle(Format("Intraday chart : %s", sym.c_str()));
  // A window's own interval commands reopen it with the interval they chose.
  if (fromCommand) {
    window->intervalMinutes = 1;
    window->SetIntervalText("1");
  }
  window->prevClose = window->prevHigh = window->prevLow = -1.0;
  window->ResetView();
  window->altFields = altFields;
  window->isHistorical = false;
  window->showLevels = true;
  window->SetScrip(symbol, key, key, scripParam, priceDivisor);
  window->Show(true);

  const std::time_t now = Now();
  const std::string from = FormatMdy(PreviousWeekday(now));
  const std::string to = FormatMdy(now);
  RequestDailyBars(symbol, key, from, to, false, window);
  window->fromDate = from;
  window->toDate = to;
  window->Chart().SetZoomFactor(1.1);

  VwapSeries merged;
  if (MergeSeries(key, merged)) window->SetBars(merged);
  AddWatch(key, symbol, watchParam, altFields);
  window->Redraw();
  return 1;
}

int CVWapStore::OpenHistoricalChart(std::string_view symbol, std::string_view key,
                                    std::string_view from, std::string_view to, CFChartView* window,
                                    int32_t scripParam, double priceDivisor) {
  int result = 1;
  if (!window) window = TakeWindow(true, result);
  if (!window) return result;
  const std::string sym(symbol);
  const std::string keyText(key);
  window->SetTitle(Format("Historical chart : %s", sym.c_str()));
  window->ResetView();
  window->isHistorical = true;
  window->showLevels = false;
  window->SetScrip(symbol, key, Format("%s:-1", keyText.c_str()), scripParam, priceDivisor);
  window->Show(true);
  window->Chart().SetZoomFactor(1.1);
  const auto [seg, half] = SplitKey(key);
  m_historicalKeys[seg + "|" + half] = true;
  RequestDailyBars(symbol, key, from, to, false, window);
  if (to == FormatMdy(Now())) window->todayPending = false;
  CountWatch(m_tickWatches, keyText, vwap_field::kLastPrice, {});
  window->fromDate = std::string(from);
  window->toDate = std::string(to);
  return 1;
}

// ---- watches -------------------------------------------------------------------

int64_t CVWapStore::AddBroadcastWatch(std::string_view key, int32_t thirdField,
                                      std::string_view value) {
  KovoRxControl* control = m_cb.BroadcastControl();
  if (!control || !control->ops || !control->ops->addWatch) return 0;
  const auto [seg, symbol] = SplitKey(key);
  const std::string third(value);
  const KovoFieldMatch pairs[] = {
      {MNM_EXCH_SEG, seg.c_str(), -1},
      {MNM_TRADING_SYMBOL, symbol.c_str(), -1},
      // An empty value asks for every value of the field.
      {thirdField, third.empty() ? nullptr : third.c_str(), third.empty() ? 0 : -1}};
  int32_t error = 0;
  return control->ops->addWatch(control, pairs, 3, &error);
}

void CVWapStore::CountWatch(std::unordered_map<std::string, sChartWatches>& watches,
                            const std::string& key, int32_t thirdField, std::string_view value) {
  const auto it = watches.find(key);
  if (it != watches.end()) {
    ++it->second.refCount;
    return;
  }
  sChartWatches watch;
  watch.watchHandle = AddBroadcastWatch(key, thirdField, value);
  if (watch.watchHandle <= 0) m_cb.Report("adding tick update watch is failed", kReportError);
  watches.emplace(key, watch);
}

void CVWapStore::AddWatch(std::string_view key, std::string_view symbol, int32_t watchParam,
                          bool altFields) {
  (void)watchParam;  // bars are always asked for in one-minute steps
  if (!m_cb.BroadcastControl()) {
    m_cb.Report("Configuration error in vwap store", kReportError);
    return;
  }
  const std::string keyText(key);
  const auto history = m_historySeries.find(keyText);
  RequestTodayBars(key, symbol, history == m_historySeries.end() ? nullptr : &history->second,
                   altFields);
  m_historySeries.try_emplace(keyText);
  m_todaySeries[keyText] = VwapSeries{};
  CountWatch(m_barWatches, keyText, MNM_VWAP_TIME, "60");
  CountWatch(m_tickWatches, keyText, altFields ? vwap_field::kAltTickField : vwap_field::kLastPrice,
             {});
}

int CVWapStore::RemoveWatch(std::string_view key) {
  const std::string keyText(key);
  KovoRxControl* control = m_cb.BroadcastControl();
  for (auto* watches : {&m_barWatches, &m_tickWatches}) {
    const auto it = watches->find(keyText);
    if (it == watches->end()) continue;
    if (it->second.refCount <= 1) {
      int32_t error = 0;
      if (control && control->ops && control->ops->removeWatch && it->second.watchHandle > 0) {
        control->ops->removeWatch(control, it->second.watchHandle, &error);
      }
      watches->erase(it);
    } else {
      --it->second.refCount;
    }
  }
  m_todaySeries.erase(keyText);
  return 1;
}

// ---- requests -------------------------------------------------------------------

int CVWapStore::RequestTodayBars(std::string_view key, std::string_view symbol,
                                 const VwapSeries* history, bool altFields) {
  const std::time_t now = Now();
  const std::time_t midnight = LocalMidnight(now);
  const std::time_t start =
      history ? midnight : midnight - static_cast<std::time_t>(DayCount() - 1) * kDaySeconds;
  if (start >= now) return 0;
  const auto [seg, half] = SplitKey(key);
  (void)half;
  const std::string name = kTodayBarsRequest;
  const auto adding = [&](const char* field) {
    return Format("wmp_add_data failed while adding %s in %s request", field, name.c_str());
  };
  RequestBuilder r(m_cb);
  const bool sent =
      r.Start(Format("wmp_start_msg failed while sending %s request", name.c_str())) &&
      r.Add(MNM_REQUEST, name, adding("MNM_REQUEST")) &&
      r.Add(MNM_EXCH_SEG, seg, adding("MNM_EXCH_SEG")) &&
      r.Add(altFields ? MNM_TRADING_SYMBOL : kMnmSymbol, symbol, adding("MNM_TRADING_SYMBOL")) &&
      r.Add(MNM_VWAP_TIME, "60", adding("MNM_VWAP_TIME")) &&
      r.Add(MNM_VWAP_START_TIME, Format("%ld", static_cast<long>(start)),
            adding("MNM_VWAP_START_TIME")) &&
      r.Add(MNM_VWAP_END_TIME, Format("%ld", static_cast<long>(now)),
            adding("MNM_VWAP_END_TIME")) &&
      r.Add(MNM_USER_MSG, key, adding("MNM_USER_MSG")) &&
      r.Send(nullptr, Format("sending %s request is failed", name.c_str()));
  return sent ? 1 : 0;
}

int CVWapStore::RequestDailyBars(std::string_view symbol, std::string_view key,
                                 std::string_view from, std::string_view to, bool levels,
                                 CFChartView* window) {
  const auto [seg, half] = SplitKey(key);
  const std::string userMsg = window && window->isHistorical ? window->tickKey : seg + "|" + half;
  const std::string phrase = std::string(kDailyBarsRequest) + " request failed while ";
  RequestBuilder r(m_cb);
  const bool sent = r.Start(phrase + "starting message") &&
                    r.Add(MNM_REQUEST, kDailyBarsRequest, phrase + "adding MNM_REQUEST") &&
                    r.Add(MNM_EXCH_SEG, seg, phrase + "adding MNM_EXCH_SEG") &&
                    r.Add(kMnmSymbol, symbol, phrase + "adding MNM_TRADING_SYMBOL") &&
                    r.Add(MNM_TRADING_SYMBOL, half, phrase + "adding MNM_TRADING_SYMBOL") &&
                    r.Add(MNM_DATE, from, phrase + "adding start MNM_DATE") &&
                    r.Add(MNM_DATE, to, phrase + "adding end MNM_DATE") &&
                    r.Add(MNM_USER_MSG, userMsg, phrase + "adding end MNM_USER_MSG") &&
                    r.Send(window, phrase + "sending request");
  if (sent && window) window->showLevels = levels;
  return sent ? 1 : 0;
}

int CVWapStore::RequestQuote(std::string_view key, std::string_view userKey, bool wait,
                             CFChartView* window) {
  const auto [seg, half] = SplitKey(key);
  const std::string phrase = std::string(kQuoteRequest) + " request failed while ";
  RequestBuilder r(m_cb);
  const bool sent = r.Start(phrase + "starting message") &&
                    r.Add(MNM_REQUEST, kQuoteRequest, phrase + "adding MNM_REQUEST") &&
                    r.Add(MNM_EXCH_SEG, seg, phrase + "adding MNM_EXCH_SEG") &&
                    r.Add(MNM_TRADING_SYMBOL, half, phrase + "adding MNM_TRADING_SYMBOL") &&
                    r.Add(MNM_USER_MSG, userKey, phrase + "adding MNM_USER_MSG") &&
                    r.Send(window, phrase + "sending request");
  if (sent && window) window->waitQuote = wait;
  return sent ? 1 : 0;
}

// ---- series ---------------------------------------------------------------------

int CVWapStore::MergeSeries(std::string_view key, VwapSeries& out) const {
  const std::string keyText(key);
  const auto today = m_todaySeries.find(keyText);
  const auto history = m_historySeries.find(keyText);
  out.reserve(out.size() + (today != m_todaySeries.end() ? today->second.size() : 0) +
              (history != m_historySeries.end() ? history->second.size() : 0));
  if (today != m_todaySeries.end())
    out.insert(out.end(), today->second.begin(), today->second.end());
  if (history != m_historySeries.end()) {
    out.insert(out.end(), history->second.begin(), history->second.end());
  }
  return out.empty() ? 0 : 1;
}

void CVWapStore::RebucketSeries(const VwapSeries& series, int minutes, VwapSeries& out) {
  const int64_t step = static_cast<int64_t>(std::max(minutes, 1)) * 60;
  int64_t end = 0;
  // The local day of the previous bucket's start, as [dayStart, dayEnd).
  int64_t dayStart = 0, dayEnd = 0;
  bool havePrevious = false;
  sVwapData* current = nullptr;
  constexpr size_t kPoolBars = 4096;
  std::shared_ptr<std::vector<sVwapData>> pool;
  size_t used = 0;
  out.reserve(out.size() + series.size() / static_cast<size_t>(std::max(minutes, 1)) + 1);
  constexpr size_t kAhead = 32;
  const size_t count = series.size();
  for (size_t i = count; i-- > 0;) {
    // The bars are scattered on the heap: ask for later ones early.
    if (i >= kAhead) __builtin_prefetch(series[i - kAhead].get());
    const sVwapData& bar = *series[i];
    if (bar.open <= 0 || bar.high <= 0 || bar.low <= 0 || bar.close <= 0) continue;
    const int64_t t = bar.time;
    if (end != 0 && end > t && current) {
      current->close = bar.close;
      current->high = std::max(current->high, bar.high);
      current->low = std::min(current->low, bar.low);
      current->volume += bar.volume;
      continue;
    }
    int64_t start = t;
    const bool sameDay = havePrevious && t >= dayStart && t < dayEnd;
    if (sameDay) {
      start = t - (((t % step) + step) % step);
      end = start + step;
    } else {
      end = (t / step + 1) * step;
      dayStart = LocalMidnight(static_cast<std::time_t>(t));
      // The next local midnight, found by stepping past the day's end.
      dayEnd = LocalMidnight(static_cast<std::time_t>(dayStart + kDaySeconds + 7200));
    }
    if (!pool || used == pool->size()) {
      pool = std::make_shared<std::vector<sVwapData>>(kPoolBars);
      used = 0;
    }
    // Buckets share pooled blocks: one allocation per block, not per bar.
    VwapBar bucket(pool, &(*pool)[used++]);
    bucket->time = static_cast<int32_t>(start);
    bucket->open = bar.open;
    bucket->high = bar.high;
    bucket->low = bar.low;
    bucket->close = bar.close;
    bucket->volume = bar.volume;
    current = bucket.get();
    out.push_back(std::move(bucket));
    havePrevious = true;
  }
}

void CVWapStore::ClearSeries(int which) {
  if (which == 1) m_historySeries.clear();
  if (which == 2) m_todaySeries.clear();
}

// ---- data tables ------------------------------------------------------------------

void CVWapStore::ShowDataTable(std::string_view symbol, std::string_view key, double priceDivisor) {
  VwapSeries merged;
  if (MergeSeries(key, merged)) {
    FillDataTables(symbol, key, priceDivisor);
    return;
  }
  m_tableKeys[std::string(key)] = true;
  AddWatch(key, symbol, 60, false);
}

void CVWapStore::FillDataTables(std::string_view symbol, std::string_view key,
                                double priceDivisor) {
  VwapSeries merged;
  MergeSeries(key, merged);
  m_tableKeys.erase(std::string(key));
  // The table of a scrip asked for without a chart (Shift+D) is the store's
  // own; a chart window's table is filled only from that window.
  if (!m_dataTable) {
    auto table = std::make_unique<CDataTableDlg>(m_cb);
    if (!table->Create()) {
      m_cb.Report("Failed to create DataTable", kReportError);
      return;
    }
    m_dataTable = std::move(table);
  }
  VwapSeries rows;
  rows.reserve(merged.size());
  for (auto it = merged.rbegin(); it != merged.rend(); ++it) {
    const sVwapData& b = **it;
    if (b.open > 0 && b.high > 0 && b.low > 0 && b.close > 0) rows.push_back(*it);
  }
  m_dataTable->Fill(symbol, priceDivisor, rows, nullptr);
}

// ---- replies --------------------------------------------------------------------

void CVWapStore::OnReply(const wmp_msg* message, void* context) {
  if (!m_cb.session.launched || !message) return;
  // A window closed while its request was out must not be touched.
  CFChartView* window = static_cast<CFChartView*>(context);
  if (!IsOpenWindow(window)) window = nullptr;
  const std::string name = Text(message, MNM_REPLY_REQUEST);
  if (ClosesReply(message)) {
    OnClosing(name, message, window);
  } else {
    OnRow(name, message, window);
  }
}

void CVWapStore::OnRow(const std::string& name, const wmp_msg* message, CFChartView* window) {
  const std::string key = Text(message, MNM_USER_MSG);
  if (name == kTodayBarsRequest) {
    VwapBar bar = BarFromRow(message);
    SeriesMap& target = bar->time < LocalMidnight(Now()) ? m_historySeries : m_todaySeries;
    const auto it = target.find(key);
    if (it != target.end()) it->second.push_back(std::move(bar));
    return;
  }
  if (name == kDailyBarsRequest) {
    for (const auto& view : chartViews) {
      if (view->tickKey == key && !view->isHistorical) {
        int status = 0;
        ReadPrice(message, vwap_field::kBarClose, 0, view->prevClose, status);
        ReadPrice(message, vwap_field::kBarHigh, 0, view->prevHigh, status);
        ReadPrice(message, vwap_field::kBarLow, 0, view->prevLow, status);
        return;
      }
    }
    if (!IsHistoricalKey(PlainKey(key))) return;
    bool hasStatus = false, hasError = false;
    const std::string status = Text(message, vwap_field::kRowStatus, &hasStatus);
    const std::string error = Text(message, vwap_field::kRowError, &hasError);
    if (hasStatus && status != "OK" && hasError) {
      m_cb.Report(Format("%s request failed , %s", name.c_str(), error.c_str()), kReportError);
      return;
    }
    if (!window) return;
    VwapBar bar = BarFromRow(message);
    VwapSeries& pending = window->pendingBars;
    if (!pending.empty() && pending.back()->time > bar->time) {
      pending.insert(pending.end() - 1, std::move(bar));
    } else {
      pending.push_back(std::move(bar));
    }
    return;
  }
  if (name == kQuoteRequest && window) {
    int status = 0;
    const double d = window->priceDivisor > 0 ? window->priceDivisor : 100.0;
    double high = 0, low = 0;
    if (!window->isHistorical && window->waitQuote) {
      ReadDouble(message, vwap_field::kDayHigh, 0, high, status);
      ReadDouble(message, vwap_field::kDayLow, 0, low, status);
      window->todayHigh = high / d;
      window->todayLow = low / d;
      window->waitQuote = false;
      if (window->todayHigh <= -1.0 || window->todayLow <= -1.0) {
        m_cb.Report("Today's High (or) Low value is not proper", kReportError);
      }
      return;
    }
    auto bar = std::make_shared<sVwapData>();
    double value = 0;
    ReadDouble(message, vwap_field::kLastPrice, 0, value, status);
    bar->lastPrice = bar->close = value / d;
    ReadDouble(message, vwap_field::kDayOpen, 0, value, status);
    bar->open = value / d;
    ReadDouble(message, vwap_field::kDayHigh, 0, value, status);
    bar->high = value / d;
    ReadDouble(message, vwap_field::kDayLow, 0, value, status);
    bar->low = value / d;
    int64_t volume = 0;
    ReadLong(message, vwap_field::kDayVolume, 0, volume, status);
    bar->volume = static_cast<uint32_t>(std::clamp<int64_t>(volume, 0, UINT32_MAX));
    bar->time = static_cast<int32_t>(Now());
    window->pendingBars.push_back(std::move(bar));
  }
}

void CVWapStore::OnClosing(const std::string& name, const wmp_msg* message, CFChartView* window) {
  const std::string echoed = Text(message, MNM_USER_MSG);
  const bool daily = name == kDailyBarsRequest || name == kQuoteRequest;
  const std::string key = daily ? PlainKey(echoed) : echoed;
  std::string error;
  if (ReplyFailed(message, &error)) {
    m_cb.Report(Format("%s request failed , %s", name.c_str(), error.c_str()), kReportError);
  }
  if (daily && IsHistoricalKey(key)) {
    if (!window) {
      for (const auto& view : chartViews) {
        if (view->tickKey == echoed) window = view.get();
      }
    }
    if (!window) return;
    // The pending list is a historical window's: an intraday window keeps
    // the bars it draws from the series (a one-bar quote would blank it).
    if (!window->isHistorical) {
      window->pendingBars.clear();
      return;
    }
    if (name == kDailyBarsRequest) {
      window->todayPending = true;
      const auto [seg, half] = SplitKey(key);
      sScripDetails details{};
      const bool found =
          m_cb.Host().getScripDetailsFromTradSymbol &&
          m_cb.Host().getScripDetailsFromTradSymbol(seg.c_str(), half.c_str(), &details) != 0;
      const std::string first = found ? details.texts[0] : half;
      RequestQuote(seg + "|" + first, key, false, window);
    }
    if (!window->pendingBars.empty()) {
      window->todayPending = false;
      window->SetBars(window->pendingBars);
      ++m_hostNotifications;
    }
    return;
  }
  if (name == kTodayBarsRequest) {
    if (IsTableKey(key)) {
      const auto [seg, half] = SplitKey(key);
      sScripDetails details{};
      if (ScripDetails(m_cb, seg, half, details) && details.texts[KOVO_SCRIP_SYMBOL][0] != '\0') {
        FillDataTables(details.texts[KOVO_SCRIP_SYMBOL], key, 100.0);
      }
    }
    // A chart of the same scrip takes the bars as well.
    HandBars(key);
  }
}

void CVWapStore::HandBars(const std::string& key) {
  VwapSeries merged;
  if (!MergeSeries(key, merged)) return;
  for (const auto& view : chartViews) {
    if (view->tickKey != key) continue;
    view->SetBars(merged);
    ++m_hostNotifications;
  }
}

// ---- broadcasts -------------------------------------------------------------------

void CVWapStore::OnBroadcast(const wmp_msg* message) {
  if (!m_cb.session.launched || !message) return;
  bool hasSeg = false, hasSymbol = false, hasKey = false;
  const std::string seg = Text(message, MNM_EXCH_SEG, &hasSeg);
  const std::string symbol = Text(message, MNM_TRADING_SYMBOL, &hasSymbol);
  if (!hasSeg || !hasSymbol) return;
  std::string key = Text(message, MNM_USER_MSG, &hasKey);
  if (!hasKey) key = seg + "|" + symbol;
  if (!m_tickWatches.count(key)) return;
  if (FieldCount(message, MNM_VWAP_TIME) <= 0) {
    double price = 0;
    int status = 0;
    if (!ReadDouble(message, vwap_field::kLastPrice, 0, price, status)) return;
    int32_t qty = 0;
    ReadInteger(message, vwap_field::kCumulativeQty, 0, qty, status);
    ApplyTickToWindows(key, price, qty);
    sScripDetails details{};
    if (ScripDetails(m_cb, seg, symbol, details)) {
      ApplyTickToWindows(seg + "|" + details.texts[KOVO_SCRIP_SYMBOL], price, qty);
    }
    return;
  }
  VwapBar bar = BarFromRow(message);
  VwapSeries& today = m_todaySeries[key];
  if (today.empty() || today.front()->time != bar->time)
    today.insert(today.begin(), std::move(bar));
  auto merged = std::make_shared<VwapSeries>();
  MergeSeries(key, *merged);
  for (const auto& view : chartViews) {
    if (view->tickKey != key) continue;
    view->SetBars(merged);
    if (view->intervalMinutes == 1) view->PostBars(merged);
  }
}

void CVWapStore::ApplyTickToWindows(const std::string& key, double price, int32_t qty) {
  if (price <= 0 || key.empty()) return;
  const std::time_t now = Now();
  for (const auto& view : chartViews) {
    if (view->tickKey.find(key) != std::string::npos) view->ApplyTick(price, qty, now);
  }
}

// ---- local files and the cache ------------------------------------------------------

std::filesystem::path CVWapStore::LocalDataFolder() const {
  return m_cb.Settings().PluginFolder() / "Zint Local Data";
}

void CVWapStore::SaveLocalData() {
  const std::filesystem::path folder = LocalDataFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) return;
  for (const auto& [key, history] : m_historySeries) {
    (void)history;
    VwapSeries merged;
    MergeSeries(key, merged);
    const auto [seg, half] = SplitKey(key);
    sScripDetails details{};
    if (!ScripDetails(m_cb, seg, half, details)) continue;
    const std::string symbolText = details.texts[KOVO_SCRIP_SYMBOL];
    if (symbolText.empty()) continue;
    const std::filesystem::path file = folder / SanitiseFileName(seg + "$" + symbolText + ".zld");
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (!out) continue;
    for (const VwapBar& bar : merged) {
      std::fprintf(out, "%ld,%.4lf,%.4lf,%.4lf,%.4lf,%.4lf,%ld\n", static_cast<long>(bar->time),
                   bar->open, bar->high, bar->low, bar->close, bar->lastPrice,
                   static_cast<long>(bar->volume));
    }
    std::fclose(out);
  }
}

bool CVWapStore::ClearCache() {
  if (m_cb.MessageBox(kClearCacheQuestion, kMbYesNo | kMbDefaultSecond) != kIdYes) return false;
  ClearSeries(1);
  ClearSeries(2);
  CloseWindows();
  return true;
}

void CVWapStore::CloseWindows() {
  if (m_chartTimer) {
    m_cb.Ui().StopTimer(m_chartTimer);
    m_chartTimer = 0;
  }
  for (const auto& view : chartViews) view->DestroyPane();
  chartViews.clear();
  m_dataTable.reset();
}

CVWapStore* StoreOf(const CControlBlock& cb) {
  // Only the chart library puts a module in this slot.
  return static_cast<CVWapStore*>(cb.chartStore.get());
}

}  // namespace kovo
