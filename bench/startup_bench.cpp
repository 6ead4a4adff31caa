// Start-up and exit of the real library in a host without Qt, connected to
// the simulated back end.
//  * LoadAndFirstInit: a fresh process (forked per round) loads the library
//    and runs its first InitKovoPlugin, which is what a user waits for when
//    the host starts. Only the load and the call are timed, in the child.
//  * InitToReadyControlBlock: InitKovoPlugin again in a process that has the
//    library loaded; the session is ended between rounds (untimed).
//  * Exit: ExitKovoPlugin of a ready session, settings written included
//    (they are unchanged after the first round, so nothing is rewritten).
//  * ExitWithChangedSettings: the same, with the settings that exit writes
//    changed behind its back before each round, so each of its files is
//    rewritten.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "platform/ini_file.h"

namespace {

using Clock = std::chrono::steady_clock;

// A folder of its own for the plug-in's files, and the back end.
struct Fixture {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kovo-startup-bench-" + std::to_string(getpid()));
  kovo::backend::CBackendServer server{kovo::backend::ServerOptions{}};

  bool Start(std::string* error) {
    std::filesystem::create_directories(folder);
    setenv("KOVOZINT_HOST_FOLDER", folder.c_str(), 1);
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    return server.Start(error);
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

// The host core with its session, installed for the library to find.
struct Host {
  kovo::HeadlessUiThread ui;
  kovo::host::RecordingHostUi hostUi;
  kovo::host::CHostCore core{kovo::host::HostConfig{}, ui, hostUi};
  kovo::host::CHostSession session{ui, {nullptr, nullptr, nullptr}};

  bool Connect(uint16_t port, std::string* error) {
    kovo::host::InstallHost(&core);
    kovo::host::InstallSession(&session);
    return session.Connect("127.0.0.1", port, error);
  }
  ~Host() {
    kovo::host::InstallSession(nullptr);
    kovo::host::InstallHost(nullptr);
  }
};

struct Library {
  void* handle = nullptr;
  decltype(&InitKovoPlugin) init = nullptr;
  decltype(&ExitKovoPlugin) exit = nullptr;
  bool Load() {
    // KOVOZINT_LIBRARY in the environment measures another build side by side.
    const char* path = std::getenv("KOVOZINT_LIBRARY");
    handle = dlopen(path ? path : KOVOZINT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    init = reinterpret_cast<decltype(&InitKovoPlugin)>(dlsym(handle, "InitKovoPlugin"));
    exit = reinterpret_cast<decltype(&ExitKovoPlugin)>(dlsym(handle, "ExitKovoPlugin"));
    return init && exit;
  }
};

void BM_LoadAndFirstInit(benchmark::State& state) {
  Fixture fixture;
  std::string error;
  if (!fixture.Start(&error)) return state.SkipWithError(error.c_str());
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) return state.SkipWithError("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      double seconds = -1;
      {
        Host host;
        std::string childError;
        if (host.Connect(fixture.server.Port(), &childError)) {
          Library lib;
          const auto start = Clock::now();
          if (lib.Load()) {
            lib.init(nullptr, "", 0, "");
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            // The control block's two receivers at least; the launch's panes add theirs.
            if (host.session.ControlCount() < 2) seconds = -1;
          }
        }
      }
      const ssize_t written = write(fds[1], &seconds, sizeof seconds);
      _exit(written == sizeof seconds ? 0 : 1);
    }
    close(fds[1]);
    double seconds = -1;
    const ssize_t got = read(fds[0], &seconds, sizeof seconds);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != sizeof seconds || seconds < 0) return state.SkipWithError("child failed");
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_LoadAndFirstInit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_InitToReadyControlBlock(benchmark::State& state) {
  Fixture fixture;
  std::string error;
  if (!fixture.Start(&error)) return state.SkipWithError(error.c_str());
  Host host;
  if (!host.Connect(fixture.server.Port(), &error)) return state.SkipWithError(error.c_str());
  Library lib;
  if (!lib.Load()) return state.SkipWithError("library or entry points missing");
  for (auto _ : state) {
    lib.init(nullptr, "", 0, "");
    state.PauseTiming();
    if (host.session.ControlCount() < 2) {
      state.SkipWithError("control block not ready");
      break;
    }
    lib.exit();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InitToReadyControlBlock)->Unit(benchmark::kMillisecond);

void BM_Exit(benchmark::State& state) {
  Fixture fixture;
  std::string error;
  if (!fixture.Start(&error)) return state.SkipWithError(error.c_str());
  Host host;
  if (!host.Connect(fixture.server.Port(), &error)) return state.SkipWithError(error.c_str());
  Library lib;
  if (!lib.Load()) return state.SkipWithError("library or entry points missing");
  for (auto _ : state) {
    state.PauseTiming();
    lib.init(nullptr, "", 0, "");
    if (host.session.ControlCount() < 2) {
      state.SkipWithError("control block not ready");
      break;
    }
    state.ResumeTiming();
    lib.exit();
  }
}
BENCHMARK(BM_Exit)->Unit(benchmark::kMillisecond);

// Stores values that the next exit has to overwrite.
void ChangeExitSettings(const std::filesystem::path& folder) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    if (name == "zintsettings.ini") {
      const kovo::ini::sIniEntry entries[] = {{"TRADING_CALLS", "BEEP_ALERT", "x"},
                                              {"ZINT_API_ORDERS", "BEEP_ALERT", "x"}};
      kovo::ini::WriteValues(it->path(), entries);
    } else if (name == "kovozint.ini") {
      kovo::ini::WriteValue(it->path(), "ZINT_DATA", "LOCAL STORE", "x");
    }
  }
}

void BM_ExitWithChangedSettings(benchmark::State& state) {
  Fixture fixture;
  std::string error;
  if (!fixture.Start(&error)) return state.SkipWithError(error.c_str());
  Host host;
  if (!host.Connect(fixture.server.Port(), &error)) return state.SkipWithError(error.c_str());
  Library lib;
  if (!lib.Load()) return state.SkipWithError("library or entry points missing");
  for (auto _ : state) {
    state.PauseTiming();
    ChangeExitSettings(fixture.folder);
    lib.init(nullptr, "", 0, "");
    if (host.session.ControlCount() < 2) {
      state.SkipWithError("control block not ready");
      break;
    }
    state.ResumeTiming();
    lib.exit();
  }
}
BENCHMARK(BM_ExitWithChangedSettings)->Unit(benchmark::kMillisecond);

}  // namespace
