// From InitKovoPlugin to a ready control block: the real library in a host
// connected to the simulated back end. The session is ended between rounds
// (untimed) so every round builds the control block from nothing.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <kovozint/kovozint.h>

#include "backend/server.h"
#include "host/core/host_core.h"
#include "host/core/session.h"
#include "platform/headless_ui_thread.h"

namespace {

void BM_InitToReadyControlBlock(benchmark::State& state) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kovo-startup-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  setenv("KOVOZINT_HOST_FOLDER", folder.c_str(), 1);
  setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);

  const kovo::backend::ServerOptions options;
  kovo::backend::CBackendServer server(options);
  std::string error;
  if (!server.Start(&error)) return state.SkipWithError(error.c_str());
  kovo::HeadlessUiThread ui;
  kovo::host::RecordingHostUi hostUi;
  kovo::host::CHostCore core(kovo::host::HostConfig{}, ui, hostUi);
  kovo::host::InstallHost(&core);
  kovo::host::CHostSession session(ui, {nullptr, nullptr, nullptr});
  kovo::host::InstallSession(&session);
  if (!session.Connect("127.0.0.1", server.Port(), &error)) {
    return state.SkipWithError(error.c_str());
  }

  void* lib = dlopen(KOVOZINT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return state.SkipWithError(dlerror());
  const auto init = reinterpret_cast<decltype(&InitKovoPlugin)>(dlsym(lib, "InitKovoPlugin"));
  const auto exit = reinterpret_cast<decltype(&ExitKovoPlugin)>(dlsym(lib, "ExitKovoPlugin"));
  if (!init || !exit) return state.SkipWithError("entry points missing");

  for (auto _ : state) {
    init(nullptr, "", 0, "");
    state.PauseTiming();
    if (session.ControlCount() != 2) state.SkipWithError("control block not ready");
    exit();
    state.ResumeTiming();
  }
  kovo::host::InstallSession(nullptr);
  kovo::host::InstallHost(nullptr);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_InitToReadyControlBlock)->Unit(benchmark::kMillisecond);

}  // namespace
