// Order API throughput: placements through every check into a script with
// few or many prior actions, order-update ingestion, and status look-ups
// from eight threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <connectkovo/connectkovo.hpp>

#include "host/core/host_core.h"
#include "null_controls.h"
#include "one_scrip.h"
#include "orders/order_api.h"
#include "platform/headless_ui_thread.h"
#include "plugin/zint_plugin.h"

namespace {

using namespace kovo;

int32_t Place(const sOrderEntryInfo*, const char*, int32_t, const char*, char*, size_t) {
  return 1;
}

// A logged-in plug-in in a reference host with one tradable scrip.
struct Session {
  explicit Session(HeadlessUiThread& ui) : hostUi() {
    folder = std::filesystem::temp_directory_path() / "kovo_order_bench";
    std::filesystem::create_directories(folder / "host" / "kovo plugins");
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
    plugin = std::make_unique<CZintPlugin>(env);
    plugin->EnsureControlBlock();
    cb = plugin->ControlBlock();
    bench::TradeOneScrip(*core, *cb);
    api = OrderApiOf(*cb);
  }
  ~Session() {
    api.reset();
    plugin.reset();
    bench::ReleaseNullControls();
  }

  static sPlaceRequest Request(std::string reference) {
    sPlaceRequest r;
    r.transactionType = "BUY";
    r.referenceNumber = std::move(reference);
    r.exchange = "NSE";
    r.tradingSymbol = "RELIANCE-EQ";
    r.validity = "DAY";
    r.orderType = "LIMIT";
    r.quantity = 10;
    r.price = 2500.5;
    r.productType = "MIS";
    r.clientId = "PRO";
    return r;
  }

  std::filesystem::path folder;
  host::RecordingHostUi hostUi;
  std::unique_ptr<host::CHostCore> core;
  std::unique_ptr<CZintPlugin> plugin;
  CControlBlock* cb = nullptr;
  std::shared_ptr<COrderApi> api;
};

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Placements into one script that already holds `prior` actions, from a
// strategy thread while the UI thread serves its queue (strategy_thread:1),
// or on the UI thread itself (strategy_thread:0). Each placement runs every
// check and reaches the host's order function.
void BM_Place(benchmark::State& state) {
  const int prior = static_cast<int>(state.range(0));
  const bool fromStrategyThread = state.range(1) != 0;
  constexpr int kMeasured = 200000;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    HeadlessUiThread ui;
    Session session(ui);
    sApiScript* script = session.api->GetApiScript(nullptr, "bench");
    std::vector<std::string> references;
    references.reserve(kMeasured);
    for (int i = 0; i < kMeasured; ++i) references.push_back("M" + std::to_string(i));
    double seconds = 0;
    double cpuSeconds = 0;
    auto placeAll = [&] {
      sPlaceRequest request = Session::Request({});
      for (int i = 0; i < prior; ++i) {
        request.referenceNumber = "P" + std::to_string(i);
        session.api->PlaceOrder(script, request, nullptr);
      }
      const auto start = Clock::now();
      const double cpuStart = ThreadCpuSeconds();
      for (int i = 0; i < kMeasured; ++i) {
        request.referenceNumber = references[static_cast<size_t>(i)];
        session.api->PlaceOrder(script, request, nullptr);
      }
      cpuSeconds = ThreadCpuSeconds() - cpuStart;
      seconds = std::chrono::duration<double>(Clock::now() - start).count();
    };
    size_t queueMax = 0;
    if (fromStrategyThread) {
      std::atomic<bool> done{false};
      std::thread strategy([&] {
        placeAll();
        done = true;
      });
      while (!done.load()) {
        queueMax = std::max(queueMax, ui.PendingTasks());
        if (ui.Pump(1024) == 0) ui.WaitForTasks(std::chrono::milliseconds(1));
      }
      strategy.join();
    } else {
      placeAll();
    }
    while (ui.Pump(1u << 20) != 0) {
    }
    state.SetIterationTime(seconds);
    state.counters["placements_per_s"] = kMeasured / seconds;
    // The placing thread's own CPU time: what the rate would be on a quiet machine.
    state.counters["placements_per_cpu_s"] = kMeasured / cpuSeconds;
    state.counters["ui_queue_max"] = static_cast<double>(queueMax);
    const size_t total = static_cast<size_t>(prior) + kMeasured;
    if (session.api->ApiOrderCount() != total || script->ordersWindow.Rows().size() != total)
      state.SkipWithError("orders lost");
  }
}
BENCHMARK(BM_Place)
    ->ArgNames({"prior", "strategy_thread"})
    ->Args({1000, 1})
    ->Args({1000000, 1})
    ->Args({1000, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The updates of a day's API orders into a fresh order manager: each of
// 50,000 orders is reported four times (open, part filled, part filled,
// complete), the rounds interleaved as the host sends them. Rates are per
// CPU second.
void BM_UpdateIngestion(benchmark::State& state) {
  constexpr int kOrders = 50000;
  const char* const kRounds[][3] = {{"open", "0", "0"},
                                    {"open", "2", "250050"},
                                    {"open", "4", "250100"},
                                    {"complete", "5", "250075"}};
  std::vector<connectkovo::Message> messages(kOrders * std::size(kRounds));
  size_t next = 0;
  for (const auto& round : kRounds) {
    for (int i = 0; i < kOrders; ++i) {
      connectkovo::Writer w;
      w.Start();
      w.Add(64016, "bench");
      w.Add(64001, std::to_string(1000000 + i));
      w.Add(64005, std::to_string(i + 1));
      w.Add(54001, "L1");
      w.Add(63001, "nse_cm");
      w.Add(10100, "2885");
      w.Add(64655, round[0]);
      w.Add(10076, round[1]);
      w.Add(10322, round[2]);
      messages[next++].Decode(w.Frame());
    }
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto manager = std::make_unique<COrderManager>();
    state.ResumeTiming();
    for (const connectkovo::Message& m : messages) manager->Receive(m.Get());
    state.PauseTiming();
    manager.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(messages.size()));
}
BENCHMARK(BM_UpdateIngestion)->Unit(benchmark::kMillisecond);

// Status look-ups of numbered orders from eight threads at once.
struct StatusSetup {
  StatusSetup() : session(ui) {
    script = session.api->GetApiScript(nullptr, "bench");
    for (int i = 0; i < kOrders; ++i) {
      session.api->PlaceOrder(script, Session::Request("R" + std::to_string(i)), nullptr);
    }
    for (sApiOrderInfo* o : script->orders) {
      connectkovo::Writer w;
      w.Start();
      w.Add(64016, "bench");
      w.Add(64001, std::to_string(2000000 + o->tag));
      w.Add(64005, TagText(o->tag));
      w.Add(54001, "L1");
      w.Add(63001, "nse_cm");
      w.Add(10100, "2885");
      w.Add(64655, "open");
      connectkovo::Message m;
      m.Decode(w.Frame());
      session.api->Manager().Receive(m.Get());
    }
    for (int i = 0; i < kOrders; ++i) references.push_back("R" + std::to_string(i));
  }
  static constexpr int kOrders = 10000;
  HeadlessUiThread ui;
  Session session;
  sApiScript* script = nullptr;
  std::vector<std::string> references;
};
StatusSetup* g_status = nullptr;

void BM_GetOrderStatus(benchmark::State& state) {
  if (state.thread_index() == 0 && !g_status) g_status = new StatusSetup();
  size_t i = static_cast<size_t>(state.thread_index()) * 997;
  for (auto _ : state) {
    // Set up by thread 0 before the timed loop's first barrier.
    const sOrderStatus s = g_status->session.api->GetOrderStatus(
        g_status->script, g_status->references[i % g_status->references.size()]);
    benchmark::DoNotOptimize(s);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetOrderStatus)->Threads(8)->UseRealTime()->Repetitions(5);

}  // namespace
