// Ticks pushed by the back end and delivered through the host's session to a
// watching control on the UI thread, over loopback.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "backend/server.h"
#include "host/core/session.h"
#include "platform/headless_ui_thread.h"

namespace {

struct Counter {
  int64_t ticks = 0;
};

void BM_TicksBackendToUiThread(benchmark::State& state) {
  kovo::backend::ServerOptions options;
  options.stepMilliseconds = 1000;  // keep the clock's own ticks out of the count
  kovo::backend::CBackendServer server(options);
  std::string error;
  if (!server.Start(&error)) return state.SkipWithError(error.c_str());
  kovo::HeadlessUiThread ui;
  bool ready = false;
  kovo::host::CHostSession session(ui, {nullptr, nullptr, [&] { ready = true; }});
  if (!session.Connect("127.0.0.1", server.Port(), &error))
    return state.SkipWithError(error.c_str());
  while (!ready) {
    ui.WaitForTasks(std::chrono::milliseconds(100));
    ui.Pump(1000);
  }
  Counter counter;
  const KovoRxNotifier notifier{
      [](void* self, const wmp_msg*) { ++static_cast<Counter*>(self)->ticks; }, nullptr, &counter};
  KovoRxControl* control = session.CreateControl(KOVO_RX_BROADCASTS, notifier);
  // Beside the burst only the slow market step publishes this scrip: about one tick a second.
  const KovoFieldMatch pairs[] = {{63001, "nse_cm", -1}, {10100, "1333", -1}, {6, nullptr, 0}};
  int32_t err = 0;
  control->ops->addWatch(control, pairs, 3, &err);

  const int64_t perIteration = state.range(0);
  for (auto _ : state) {
    const int64_t target = counter.ticks + perIteration;
    session.RequestTickBurst("nse_cm", "1333", perIteration);
    while (counter.ticks < target) {
      ui.WaitForTasks(std::chrono::milliseconds(100));
      ui.Pump(100000);
    }
  }
  state.SetItemsProcessed(state.iterations() * perIteration);
  session.DestroyControl(control);
}
BENCHMARK(BM_TicksBackendToUiThread)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
