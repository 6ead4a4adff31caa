// Bar store hot paths: re-bucketing one-minute bars and applying a tick;
// and the chart command to a chart with its bars over loopback.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <kovozint/kovozint.h>

#include "backend/protocol.h"
#include "backend/server.h"

#include "charts/fchart_view.h"
#include "charts/vwap_store.h"
#include "host/core/host_core.h"
#include "host/core/session.h"
#include "platform/headless_ui_thread.h"
#include "platform/headless_views.h"
#include "plugin/control_block.h"

namespace kovo {
namespace {

// One-minute bars, newest first, 375 a day over as many days as needed.
VwapSeries MinuteBars(size_t count) {
  VwapSeries series;
  series.reserve(count);
  const int32_t start = 1767000000;
  for (size_t i = count; i-- > 0;) {
    auto bar = std::make_shared<sVwapData>();
    const size_t day = i / 375, minute = i % 375;
    bar->time = start + static_cast<int32_t>(day * 86400 + minute * 60);
    const double p = 100.0 + static_cast<double>(i % 97);
    bar->open = p, bar->high = p + 1, bar->low = p - 1, bar->close = p + 0.5;
    bar->volume = 10;
    series.push_back(std::move(bar));
  }
  return series;
}

void BM_Rebucket1MTo5Minutes(benchmark::State& state) {
  const VwapSeries series = MinuteBars(1000000);
  for (auto _ : state) {
    VwapSeries out;
    CVWapStore::RebucketSeries(series, 5, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Rebucket1MTo5Minutes)->Unit(benchmark::kMillisecond);

struct Block {
  Block() {
    sControlBlockSetup setup;
    setup.resolve = [](std::string_view) -> void* { return nullptr; };
    const auto folder = std::filesystem::temp_directory_path() / "kovo_chart_store_bench";
    setup.paths.hostFolder = folder;
    setup.paths.appDataFolder = folder;
    setup.userFolderId = "bench";
    setup.ports.ui = std::make_unique<HeadlessUiThread>();
    setup.ports.dialogs = std::make_unique<HeadlessDialogs>();
    setup.ports.views = std::make_unique<HeadlessViewFactory>();
    setup.ports.frame = std::make_unique<HeadlessHostFrame>();
    cb = std::make_unique<CControlBlock>(std::move(setup));
  }
  std::unique_ptr<CControlBlock> cb;
};

void BM_TickOnLiveBar(benchmark::State& state) {
  Block block;
  CFChartView view(*block.cb, 0);
  view.Create("Intraday Chart");
  view.SetBars(MinuteBars(static_cast<size_t>(state.range(0))));
  const std::time_t now = 1767000000 + 86400 * 30;
  double price = 10000;
  int32_t qty = 1000;
  for (auto _ : state) {
    price = price > 10100 ? 10000 : price + 5;
    view.ApplyTick(price, ++qty, now);
  }
  block.cb->Ui().Pump(1u << 30);
}
// The same cost whatever the number of bars: O(1).
BENCHMARK(BM_TickOnLiveBar)->Arg(1000)->Arg(100000);

// A one-minute bar broadcast hands the window the whole series with one more
// bar; the round ends with the first frame drawn (five indicators, 100k bars).
void BM_FirstFrameAfterNewBar(benchmark::State& state) {
  Block block;
  CFChartView view(*block.cb, 0);
  view.Create("Intraday Chart");
  view.Resize(1400, 815);
  VwapSeries series = MinuteBars(100000);
  view.SetBars(series);
  FChartCtrl& chart = view.Chart();
  chart.AddIndicator("SMA:20", sIndicatorParams{"", "", "", "", "", 0xFFFF00, 20});
  chart.AddIndicator("Bollinger Band", {});
  chart.AddIndicatorByCommand(3458);  // RSI
  chart.AddIndicatorByCommand(3446);  // MACD
  chart.AddIndicatorByCommand(3435);  // ADX
  chart.SetViewPort(1.0 - 500.0 / 100000.0, 500.0 / 100000.0);
  chart.BuildDisplayList();
  for (auto _ : state) {
    state.PauseTiming();
    auto bar = std::make_shared<sVwapData>(*series.front());
    bar->time += 60;
    bar->close += 0.25;
    series.insert(series.begin(), std::move(bar));
    state.ResumeTiming();
    view.SetBars(series);
    benchmark::DoNotOptimize(chart.BuildDisplayList().items.data());
  }
  block.cb->Ui().Pump(1u << 30);
}
BENCHMARK(BM_FirstFrameAfterNewBar)->Unit(benchmark::kMillisecond);

// Shift+P on a scrip to the chart window holding its bars: the real library
// in a host on the embedded back end, 22 days of one-minute bars. The window
// takes its bars in the handler of the bars' closing reply, so the round ends
// once that reply has been handled. The plug-in is ended between rounds
// (untimed) so each round builds its series and window from nothing.
void BM_ChartCommandToBarsOverLoopback(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("kovo-chart-bench-" + std::to_string(getpid()));
  fs::create_directories(folder / "kovo plugins");
  std::ofstream(folder / "kovo plugins" / "kovozint.ini") << "[ZINT_DATA]\nNO OF DAYS=22\n";
  setenv("KOVOZINT_HOST_FOLDER", folder.c_str(), 1);
  setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);

  backend::ServerOptions options;
  backend::CBackendServer server(std::move(options));
  std::string error;
  if (!server.Start(&error)) return state.SkipWithError(error.c_str());
  HeadlessUiThread ui;
  host::RecordingHostUi hostUi;
  host::CHostCore core(host::HostConfig{}, ui, hostUi);
  host::InstallHost(&core);
  int closings = 0;
  size_t rows = 0;
  host::CHostSession session(
      ui, {[&](const std::string& line) { core.Log(line); },
           [&](std::vector<sScripDetails> s) { core.Scrips().Load(std::move(s)); }, nullptr});
  session.SetTrafficHook([&](host::SessionTraffic kind, const wmp_msg* m) {
    wmp_value v{};
    if (kind != host::SessionTraffic::kReply ||
        !wmp_get_data(m, wire::kReplyRequest, 0, &v, nullptr) ||
        std::string_view(static_cast<const char*>(v.data), static_cast<size_t>(v.length)) !=
            kTodayBarsRequest)
      return;
    if (wmp_get_field(m, wire::kBarTime, nullptr, nullptr) > 0) ++rows;
    if (wmp_get_field(m, wire::kErrorText, nullptr, nullptr) > 0) ++closings;
  });
  host::InstallSession(&session);
  if (!session.Connect("127.0.0.1", server.Port(), &error))
    return state.SkipWithError(error.c_str());

  void* lib = dlopen(KOVOZINT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return state.SkipWithError(dlerror());
  const auto init = reinterpret_cast<decltype(&InitKovoPlugin)>(dlsym(lib, "InitKovoPlugin"));
  const auto launch = reinterpret_cast<decltype(&LaunchOnStart)>(dlsym(lib, "LaunchOnStart"));
  const auto hotKey =
      reinterpret_cast<decltype(&PluginProcessHotKey)>(dlsym(lib, "PluginProcessHotKey"));
  const auto exit = reinterpret_cast<decltype(&ExitKovoPlugin)>(dlsym(lib, "ExitKovoPlugin"));
  if (!init || !launch || !hotKey || !exit) return state.SkipWithError("entry points missing");

  const auto logged = [&](const std::string& text) {
    long n = 0;
    for (const std::string& line : core.LogLines()) n += line.find(text) != std::string::npos;
    return n;
  };
  // Bounded pumping until pred holds.
  const auto pump = [&](auto pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      ui.WaitForTasks(std::chrono::milliseconds(5));
      ui.Pump(1u << 20);
    }
    return true;
  };

  const char* row[] = {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"};
  size_t barsPerRound = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const long launches = logged("xr_zint_launch request sent");
    init(nullptr, "", 0, "");
    launch("trader7", "DEMO01");
    // What the host says once its connection is ready, again for every new start.
    if (!pump([&] { return session.IsReady(); })) {
      state.SkipWithError("no session");
      break;
    }
    core.BroadcastMessage(core.RegisterWindowMessage(
                              "ENGINE_CREATION_DONE{2B914891-C4D6-4410-AFE0-0C6683AE576C}_MSG"),
                          0, 0);
    if (!pump([&] { return logged("xr_zint_launch request sent") > launches; })) {
      state.SkipWithError("no launch");
      break;
    }
    ui.Pump(1u << 20);
    const int before = closings;
    rows = 0;
    state.ResumeTiming();
    hotKey("Shift+P", 1, 0, row, 4);
    const bool answered = pump([&] { return closings > before; });
    state.PauseTiming();
    if (!answered) {
      state.SkipWithError("no bars");
      break;
    }
    barsPerRound = rows;
    exit();
    state.ResumeTiming();
  }
  state.counters["bars"] = static_cast<double>(barsPerRound);
  host::InstallSession(nullptr);
  host::InstallHost(nullptr);
  fs::remove_all(folder);
}
BENCHMARK(BM_ChartCommandToBarsOverLoopback)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace kovo
