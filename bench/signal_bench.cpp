// Signal watcher: latency from appending a line to the host's order call,
// and throughput for a large batch appended at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/core/host_core.h"
#include "null_controls.h"
#include "one_scrip.h"
#include "orders/order_api.h"
#include "orders/signal_watcher.h"
#include "platform/headless_ui_thread.h"
#include "plugin/zint_plugin.h"

namespace {

using namespace kovo;
using Clock = std::chrono::steady_clock;

std::atomic<int64_t> g_placed{0};
std::atomic<int64_t> g_lastPlacedNs{0};

int32_t Place(const sOrderEntryInfo*, const char*, int32_t, const char*, char*, size_t) {
  g_lastPlacedNs.store(Clock::now().time_since_epoch().count());
  g_placed.fetch_add(1);
  return 1;
}

// A file dialog that always picks the bench's signal file.
class PickFile final : public Dialogs {
 public:
  explicit PickFile(std::string path) : m_path(std::move(path)) {}
  int MessageBox(std::string_view, std::string_view, unsigned) override { return kIdOk; }
  void MessageBeep(unsigned) override {}
  bool ChooseColor(uint32_t&) override { return false; }
  bool ChooseFont(FontChoice&) override { return false; }
  bool ChooseOpenFile(std::string_view, std::string_view, std::string& path) override {
    path = m_path;
    return true;
  }
  bool ChooseSaveFile(std::string_view, std::string_view, std::string&) override { return false; }

 private:
  std::string m_path;
};

// A logged-in plug-in in a reference host, watching one signal file.
struct Session {
  explicit Session(HeadlessUiThread& uiThread) : ui(uiThread) {
    folder = std::filesystem::temp_directory_path() / "kovo_signal_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "host" / "kovo plugins");
    std::filesystem::create_directories(folder / "signals");
    file = folder / "signals" / "bench.csv";
    std::ofstream(file) << "";
    host::HostConfig config;
    config.hostFolder = folder / "host";
    core = std::make_unique<host::CHostCore>(config, ui, hostUi);
    host::InstallHost(core.get());
    sPluginEnvironment env;
    env.resolve = [this](std::string_view name) -> void* {
      if (void* control = bench::NullControlFunction(name)) return control;
      if (name == "pu_zint_place_order2_algo") return reinterpret_cast<void*>(&Place);
      return core->Lookup(name);
    };
    env.hostFolder = folder / "host";
    env.appDataFolder = folder / "data";
    env.makePorts = [this](const HostResolver& resolve) {
      PluginPorts ports = MakeHeadlessPorts(resolve);
      ports.dialogs = std::make_unique<PickFile>(file.string());
      return ports;
    };
    plugin = std::make_unique<CZintPlugin>(env);
    plugin->EnsureControlBlock();
    cb = plugin->ControlBlock();
    bench::TradeOneScrip(*core, *cb);
    watcher = StartSignalWatcher(*cb);
    WaitUntil([this] { return watcher && watcher->Watching(); });
    out.open(file, std::ios::binary | std::ios::app);
  }
  ~Session() {
    out.close();
    plugin.reset();
    bench::ReleaseNullControls();
    std::filesystem::remove_all(folder);
  }

  // The UI thread keeps working while the watcher does.
  template <typename Condition>
  bool WaitUntil(Condition done) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (Clock::now() > deadline) return false;
      if (ui.Pump(256) == 0) ui.WaitForTasks(std::chrono::milliseconds(1));
    }
    return true;
  }

  static std::string Line(int64_t n) {
    return "BUY,R" + std::to_string(n) + ",NSE,RELIANCE-EQ,DAY,LIMIT,10,2500.5,0,0,MIS,PRO\n";
  }

  HeadlessUiThread& ui;
  std::filesystem::path folder;
  std::filesystem::path file;
  host::RecordingHostUi hostUi;
  std::unique_ptr<host::CHostCore> core;
  std::unique_ptr<CZintPlugin> plugin;
  CControlBlock* cb = nullptr;
  CSignalWatcherThread* watcher = nullptr;
  std::ofstream out;
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

// One line at a time: the time from its write to the host's order call.
void BM_AppendToOrderLatency(benchmark::State& state) {
  constexpr int kAppends = 1000;
  for (auto _ : state) {
    HeadlessUiThread ui;
    Session session(ui);
    g_placed = 0;
    std::vector<double> latencies;
    latencies.reserve(kAppends);
    for (int i = 0; i < kAppends; ++i) {
      const std::string line = Session::Line(i);
      const int64_t before = g_placed.load();
      const auto written = Clock::now();
      session.out << line;
      session.out.flush();
      if (!session.WaitUntil([&] { return g_placed.load() > before; })) {
        state.SkipWithError("a line was not placed");
        return;
      }
      const auto placed = Clock::time_point(Clock::duration(g_lastPlacedNs.load()));
      latencies.push_back(std::chrono::duration<double, std::milli>(placed - written).count());
    }
    state.counters["p50_ms"] = Percentile(latencies, 0.50);
    state.counters["p99_ms"] = Percentile(latencies, 0.99);
    state.counters["max_ms"] = *std::max_element(latencies.begin(), latencies.end());
  }
}
BENCHMARK(BM_AppendToOrderLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

// A batch written at once: lines per second until the last order call.
void BM_BatchThroughput(benchmark::State& state) {
  const int64_t lines = state.range(0);
  for (auto _ : state) {
    HeadlessUiThread ui;
    Session session(ui);
    g_placed = 0;
    std::string batch;
    for (int64_t i = 0; i < lines; ++i) batch += Session::Line(i);
    const auto start = Clock::now();
    session.out << batch;
    session.out.flush();
    if (!session.WaitUntil([&] { return g_placed.load() == lines; })) {
      state.SkipWithError("lines were not placed");
      return;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    state.counters["lines_per_s"] = static_cast<double>(lines) / seconds;
  }
}
BENCHMARK(BM_BatchThroughput)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
