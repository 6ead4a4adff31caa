// Drives the bar store and its chart windows with arbitrary replies,
// broadcasts, clock moves and window commands. Whatever the back end sends,
// the store must not crash, and it keeps bars only for the scrips it charts.
#include <connectkovo/connectkovo.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "charts/fchart_view.h"
#include "charts/vwap_store.h"
#include "platform/headless_ui_thread.h"
#include "platform/headless_views.h"
#include "plugin/control_block.h"

namespace {

using namespace kovo;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Reads the input a byte at a time; zeros once it runs out.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool Empty() const { return m_at >= m_size; }
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  std::string Text(size_t most) {
    const size_t wanted = Byte() % (most + 1);  // read before what is left is measured
    const size_t n = std::min(wanted, m_size - std::min(m_at, m_size));
    std::string out(reinterpret_cast<const char*>(m_data + m_at), n);
    m_at += n;
    return out;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

constexpr const char* kKeyA = "nse_cm|2885";
constexpr const char* kKeyB = "nse_cm|1594";

// The fields the store reads, and values that mean something to it.
constexpr std::array<int32_t, 24> kFields = {
    0, 32767, 32760, 32766, 10303, 20008, 59353, 59354, 59355, 59356, 59357, 59358,
    6, 12,    13,    19,    32,    178,   10803, 63001, 10100, 63100, 59375, 10615};
constexpr std::array<const char*, 22> kWords = {kTodayBarsRequest,
                                                kDailyBarsRequest,
                                                kQuoteRequest,
                                                kKeyA,
                                                kKeyB,
                                                "nse_cm|2885:-1",
                                                "nse_cm",
                                                "2885",
                                                "1594",
                                                "OK",
                                                "NOK",
                                                "60",
                                                "-1",
                                                "0",
                                                "10000",
                                                "2147483647",
                                                "-2147483648",
                                                "99999999999999999999",
                                                "1.5e308",
                                                "nan",
                                                "",
                                                "1796342400"};

std::string Value(Bytes& in) {
  const uint8_t pick = in.Byte();
  if (pick < 200) return kWords[pick % kWords.size()];
  return in.Text(24);
}

struct MsgFree {
  void operator()(wmp_msg* m) const { wmp_msg_free(m, nullptr); }
};
using Msg = std::unique_ptr<wmp_msg, MsgFree>;

// A message of up to 12 fields picked by the input; nothing when the
// library refuses it.
Msg BuildMessage(Bytes& in) {
  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  if (!wmp_ctor_primecb(&builder, nullptr)) return nullptr;
  if (!wmp_open_scratch(&scratch, 4096, nullptr)) {
    wmp_dtor_primecb(builder, nullptr);
    return nullptr;
  }
  Msg out;
  if (wmp_start_msg(builder, scratch, nullptr)) {
    const int fields = in.Byte() % 13;
    bool ok = true;
    for (int i = 0; i < fields && ok; ++i) {
      const uint8_t pick = in.Byte();
      const int32_t id = pick < 240 ? kFields[pick % kFields.size()] : in.Byte() * 257;
      const std::string text = Value(in);
      const wmp_value v{text.data(), static_cast<int64_t>(text.size())};
      ok = wmp_add_data(builder, id, 1, &v, nullptr) != 0;
    }
    const void* frame = nullptr;
    size_t length = 0;
    wmp_msg* m = nullptr;
    if (ok && wmp_built_frame(builder, &frame, &length, nullptr) && wmp_msg_create(&m, nullptr)) {
      out.reset(m);
      if (!wmp_decode(m, frame, length, nullptr)) out.reset();
    }
  }
  wmp_close_scratch(scratch, nullptr);
  wmp_dtor_primecb(builder, nullptr);
  return out;
}

// The host's side of messaging: sends go nowhere, watches get handles. The
// store hears back only what the input says.
int32_t Send(KovoRxControl*, void*, wmp_builder*, int32_t, int32_t*) {
  return 1;
}
int64_t AddWatch(KovoRxControl*, const KovoFieldMatch*, int32_t count, int32_t*) {
  static int64_t next = 0;
  return count > 0 ? ++next : 0;
}
int32_t RemoveWatch(KovoRxControl*, int64_t handle, int32_t*) {
  return handle > 0;
}
int32_t AddFilter(KovoRxControl*, const KovoFieldMatch*, int32_t, int32_t*) {
  return 1;
}
int32_t Stop(KovoRxControl*) {
  return 1;
}
const KovoRxControlOps kOps = {Send, AddWatch, RemoveWatch, AddFilter, Stop};
KovoRxControl g_requests{&kOps};
KovoRxControl g_broadcasts{&kOps};

KovoRxControl* GetControl(int32_t kind, const KovoRxNotifier*) {
  return kind == KOVO_RX_BROADCASTS ? &g_broadcasts : &g_requests;
}
void DestroyControl(KovoRxControl*) {}

// Two scrips the host knows, by token or by trading symbol.
int32_t FillScrip(const char* seg, const char* key, sScripDetails* details) {
  struct Known {
    const char* token;
    const char* trading;
    const char* symbol;
  };
  static constexpr Known kKnown[] = {{"2885", "RELIANCE-EQ", "RELIANCE"},
                                     {"1594", "INFY-EQ", "../INFY"}};
  if (!seg || !key || !details || std::string_view(seg) != "nse_cm") return 0;
  for (const Known& k : kKnown) {
    if (key != std::string_view(k.token) && key != std::string_view(k.trading)) continue;
    *details = sScripDetails{};
    std::snprintf(details->texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "%s", seg);
    std::snprintf(details->texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "%s", k.token);
    std::snprintf(details->texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", k.trading);
    std::snprintf(details->texts[KOVO_SCRIP_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", k.symbol);
    return 1;
  }
  return 0;
}

void* Resolve(std::string_view name) {
  if (name == "GetQuellRxControl") return reinterpret_cast<void*>(&GetControl);
  if (name == "DestoryQuellRxCOntrol") return reinterpret_cast<void*>(&DestroyControl);
  if (name == "pu_get_scrip_details" || name == "pu_get_scrip_details_from_TradSymbol")
    return reinterpret_cast<void*>(&FillScrip);
  return nullptr;
}

CFChartView* Window(CControlBlock& cb, Bytes& in) {
  if (StoreOf(cb)->chartViews.empty()) return nullptr;
  const size_t pick = in.Byte() % (StoreOf(cb)->chartViews.size() + 1);
  return pick == StoreOf(cb)->chartViews.size() ? nullptr : StoreOf(cb)->chartViews[pick].get();
}

void WindowCommand(CControlBlock& cb, Bytes& in) {
  CFChartView* w = Window(cb, in);
  if (!w) return;
  static constexpr int kCommands[] = {
      chart_id::kIntervalHourly, chart_id::kInterval30,    chart_id::kInterval5,
      chart_id::kInterval1,      chart_id::kPeriod3Months, chart_id::kPeriod6Months,
      chart_id::kPeriod1Year,    chart_id::kStripToggle,   chart_id::kApply,
      chart_id::kCancel,         chart_id::kSetInterval,   chart_cmd::kLockScrip,
      chart_cmd::kDataTable,     chart_cmd::kZoomIn,       chart_cmd::kZoomOut,
      chart_cmd::kRecentCandles, chart_cmd::kResetZoom,    chart_id::kAddIndicator};
  const int command = kCommands[in.Byte() % std::size(kCommands)];
  if (command == chart_id::kSetInterval) w->SetIntervalText(Value(in));
  if (command == chart_id::kApply) {
    // One at a time: the order of arguments is the compiler's.
    std::string from = Value(in);
    std::string to = Value(in);
    w->SetDates(std::move(from), std::move(to));
  }
  if (command == chart_id::kAddIndicator) w->SelectIndicator(in.Byte() % 40 - 2);
  w->OnCommand(command);
  if (in.Byte() % 4 == 0) {
    static constexpr ChartKey kKeys[] = {ChartKey::kLeft,  ChartKey::kRight, ChartKey::kEscape,
                                         ChartKey::kEnter, ChartKey::kN,     ChartKey::kX};
    const ChartKey key = kKeys[in.Byte() % std::size(kKeys)];
    const bool ctrl = in.Byte() % 2 == 0;
    w->OnKey(key, ctrl, false);
  }
}

void Open(CVWapStore& store, Bytes& in) {
  const bool second = in.Byte() % 2;
  const char* key = second ? kKeyB : kKeyA;
  const char* symbol = second ? "INFY-EQ" : "RELIANCE-EQ";
  if (in.Byte() % 3 == 0) {
    const std::string from = Value(in);
    const std::string to = Value(in);
    store.OpenHistoricalChart(symbol, key, from, to, nullptr, 2, 100.0);
  } else {
    const double divisor = in.Byte() % 4 == 0 ? 0.0 : 100.0;
    const bool altFields = in.Byte() % 8 == 0;
    store.OpenIntradayChart(symbol, key, 2, divisor, 60, altFields, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = [] {
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    return std::filesystem::temp_directory_path() / "kovo_bar_store_fuzz";
  }();
  Bytes in(data, size);
  ManualClock clock(
      std::chrono::system_clock::from_time_t(1796358600));  // a Friday, 10:00 in Mumbai
  sControlBlockSetup setup;
  setup.resolve = Resolve;
  setup.userFolderId = "fuzz";
  setup.paths.hostFolder = folder;
  setup.paths.appDataFolder = folder;
  setup.ports.ui = std::make_unique<HeadlessUiThread>();
  setup.ports.dialogs = std::make_unique<HeadlessDialogs>();
  setup.ports.views = std::make_unique<HeadlessViewFactory>();
  setup.ports.frame = std::make_unique<HeadlessHostFrame>();
  CControlBlock cb(std::move(setup));
  cb.session.launched = true;
  cb.session.noOfDays = in.Byte() % 30;
  cb.chartLimit = 1 + in.Byte() % 3;
  cb.chartStore = std::make_unique<CVWapStore>(cb, clock);
  CVWapStore& store = *StoreOf(cb);
  store.OpenIntradayChart("RELIANCE-EQ", kKeyA, 2, 100.0, 60, false, nullptr);

  for (int steps = 0; steps < 400 && !in.Empty(); ++steps) {
    switch (in.Byte() % 8) {
      case 0:
      case 1:
        if (Msg m = BuildMessage(in)) store.OnReply(m.get(), Window(cb, in));
        break;
      case 2:
      case 3:
        if (Msg m = BuildMessage(in)) store.OnBroadcast(m.get());
        break;
      case 4:
        clock.Advance(std::chrono::seconds(in.Byte() * 37));
        break;
      case 5:
        WindowCommand(cb, in);
        break;
      case 6:
        Open(store, in);
        break;
      case 7:
        cb.Ui().Pump(64);
        for (const auto& view : StoreOf(cb)->chartViews) view->Redraw();
        break;
    }
  }
  // Bars are kept only for the scrips the store was asked to chart.
  for (const auto* series : {&store.TodaySeries(), &store.HistorySeries()}) {
    for (const auto& [key, bars] : *series) {
      Check(key == kKeyA || key == kKeyB);
      for (const VwapBar& bar : bars) Check(bar != nullptr);
    }
  }
  for (const auto& view : StoreOf(cb)->chartViews) {
    const FChartCtrl& chart = view->Chart();
    Check(chart.BarCount() <= chart.Count());
    (void)const_cast<FChartCtrl&>(chart).BuildDisplayList();
  }
  cb.Ui().Pump(1u << 16);
  return 0;
}
