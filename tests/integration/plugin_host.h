#pragma once

// The real libKovoZint.so loaded into a test host (the host core on a
// headless UI thread) that talks to the simulated back end over loopback.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <kovozint/kovozint.h>

#include "backend/server.h"
#include "fakes/pump_until.h"
#include "fakes/temp_dir.h"
#include "host/core/host_core.h"
#include "host/core/session.h"
#include "platform/headless_ui_thread.h"

namespace kovo::test {

// The library's entry points, resolved as a host resolves them.
struct KovoZintLibrary {
  void* handle = nullptr;
  decltype(&GetKovoPluginInfo) info = nullptr;
  decltype(&GetOptionalKovoPluginInfo) menu = nullptr;
  decltype(&InitKovoPlugin) init = nullptr;
  decltype(&PluginProcessHotKey) hotKey = nullptr;
  decltype(&GetToolbarBitmap) bitmap = nullptr;
  decltype(&LaunchOnStart) launch = nullptr;
  decltype(&ExitKovoPlugin) exit = nullptr;
  decltype(&zint_GetApiScript) getScript = nullptr;
  decltype(&zint_Placeorder) place = nullptr;
  decltype(&zint_GetOrderStatus) status = nullptr;

  bool Complete() const {
    return handle && info && menu && init && hotKey && bitmap && launch && exit && getScript &&
           place && status;
  }

  static KovoZintLibrary& Get() {
    static KovoZintLibrary library = [] {
      KovoZintLibrary l;
      l.handle = dlopen(KOVOZINT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
      if (!l.handle) return l;
      const auto get = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(l.handle, name));
      };
      get(l.info, "GetKovoPluginInfo");
      get(l.menu, "GetOptionalKovoPluginInfo");
      get(l.init, "InitKovoPlugin");
      get(l.hotKey, "PluginProcessHotKey");
      get(l.bitmap, "GetToolbarBitmap");
      get(l.launch, "LaunchOnStart");
      get(l.exit, "ExitKovoPlugin");
      get(l.getScript, "zint_GetApiScript");
      get(l.place, "zint_Placeorder");
      get(l.status, "zint_GetOrderStatus");
      return l;
    }();
    return library;
  }
};

// The plug-in reads its folders once, on first use: one set per program.
inline TempDir& PluginFolders() {
  static TempDir dir;
  return dir;
}

class PluginHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KOVOZINT_HOST_FOLDER", PluginFolders().Path().c_str(), 1);
    setenv("XDG_DATA_HOME", (PluginFolders() / "data").c_str(), 1);
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    ASSERT_TRUE(lib.Complete()) << "an entry point is missing";
  }
  void TearDown() override {
    if (lib.exit) lib.exit();
    session.reset();
    server.reset();
    host::InstallSession(nullptr);
    host::InstallHost(nullptr);
  }

  void StartHost(host::HostConfig config = {}) {
    core = std::make_unique<host::CHostCore>(config, ui, hostUi);
    host::InstallHost(core.get());
  }
  // The host's connection to a back end, announced to the plug-in when ready.
  void Connect(backend::ServerOptions options = {}) {
    server = std::make_unique<backend::CBackendServer>(std::move(options));
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    session = std::make_unique<host::CHostSession>(
        ui, host::SessionHooks{
                [this](const std::string& line) { core->Log(line); },
                [this](std::vector<sScripDetails> s) { core->Scrips().Load(std::move(s)); },
                [this] {
                  core->BroadcastMessage(
                      core->RegisterWindowMessage("ENGINE_CREATION_DONE{2B914891-C4D6-4410-AFE0-"
                                                  "0C6683AE576C}_MSG"),
                      0, 0);
                }});
    if (trafficHook) session->SetTrafficHook(trafficHook);
    host::InstallSession(session.get());
    ASSERT_TRUE(session->Connect("127.0.0.1", server->Port(), &error)) << error;
  }

  // Runs the host's UI thread until pred holds; false after 10 s without it.
  bool PumpUntil(const std::function<bool()>& pred) {
    return test::PumpUntil(ui, pred, std::chrono::milliseconds(20));
  }
  // Lines of the host's log holding text.
  long Count(const std::string& text) const {
    const auto lines = core->LogLines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::string LogText() const {
    std::string text;
    for (const std::string& line : core->LogLines()) text += line + "\n";
    return text;
  }

  KovoZintLibrary& lib = KovoZintLibrary::Get();
  HeadlessUiThread ui;
  host::RecordingHostUi hostUi;
  std::unique_ptr<host::CHostCore> core;
  std::unique_ptr<backend::CBackendServer> server;
  std::unique_ptr<host::CHostSession> session;
  // Set before Connect to see what passes between the plug-in and the back end.
  host::CHostSession::TrafficHook trafficHook;
};

}  // namespace kovo::test
