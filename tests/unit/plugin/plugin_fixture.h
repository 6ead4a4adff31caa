#pragma once

// A reference host core with the plug-in's logic loaded into it, and
// receiver controls that record what the plug-in sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "fakes/wmp_helpers.h"
#include "host/core/host_core.h"
#include "platform/headless_ui_thread.h"
#include "plugin/login_dlg.h"
#include "plugin/zint_plugin.h"

namespace kovo {

using host::CHostCore;
using host::HostConfig;
using host::RecordingHostUi;

// Receiver controls that remember what was sent and when they were stopped.
struct FakeControl {
  KovoRxControl base;
  KovoRxNotifier notifier;
  int32_t kind;
  std::vector<test::Bytes> sent;
  std::vector<std::pair<int32_t, std::string>> watched;
  std::vector<void*> contexts;   // of each sent message
  std::vector<int64_t> removed;  // watch handles taken back
  std::vector<bool> anyValue;    // per watched pair: the value was null (any value)

  // Each message sent, decoded.
  test::MsgPtr Sent(size_t i) const { return test::Decode(sent.at(i)); }
  std::vector<std::string> SentNames() const {
    std::vector<std::string> names;
    for (const auto& frame : sent) names.push_back(test::ValueText(test::Decode(frame).get(), 0));
    return names;
  }
  void Reply(const std::vector<test::Field>& fields, void* context = nullptr) {
    const test::MsgPtr m = test::MakeMessage(fields);
    notifier.onReply(notifier.self, context, m.get(), 0);
  }
  void Broadcast(const std::vector<test::Field>& fields) {
    const test::MsgPtr m = test::MakeMessage(fields);
    notifier.onBroadcast(notifier.self, m.get());
  }
};

// The machine as tests see it, and programs started without starting them.
struct FakeNet final : NetIdentity {
  std::optional<std::string> LocalAddress() const override { return local; }
  std::optional<std::string> HardwareAddress(const std::string& a, bool& listRead) const override {
    listRead = adaptersReadable;
    if (!listRead) return std::nullopt;
    return a == "10.1.2.3" ? std::optional<std::string>("AA:BB:CC:00:11:22") : std::nullopt;
  }
  std::optional<std::string> local = "10.1.2.3";
  bool adaptersReadable = true;
};

struct NoWindows final : ViewFactory {
  std::unique_ptr<View> CreateBanner(CBannerWnd&) override { return nullptr; }
  std::unique_ptr<View> CreateLoginDialog(CLoginDlg&) override { return nullptr; }
  std::unique_ptr<View> CreateUpdatesDialog(CUpdatesDlg&) override { return nullptr; }
  std::unique_ptr<View> CreateBeepAlerts(CBeepAlerts&) override { return nullptr; }
  std::unique_ptr<View> CreatePopup(CTaskBarMsgWnd&) override { return nullptr; }
  std::unique_ptr<View> CreateSplash(CSplashScreen&) override { return nullptr; }
  std::unique_ptr<View> CreateChartView(CFChartView&) override { return nullptr; }
};

struct FakeProcesses final : ProcessStarter {
  struct Run {
    std::string program;
    std::vector<std::string> arguments;
  };
  int Start(const std::string& program, const std::vector<std::string>& arguments, int*) override {
    runs->push_back({program, arguments});
    return error;
  }
  std::vector<Run>* runs = nullptr;
  int error = 0;
};

struct FakeRx {
  static inline FakeRx* current = nullptr;
  std::vector<std::unique_ptr<FakeControl>> controls;
  bool failSend = false;
  CZintPlugin* plugin = nullptr;
  std::vector<std::string> events;  // "stop", "destroy" with the stopping count seen

  static int32_t Send(KovoRxControl* c, void* context, wmp_builder* builder, int32_t, int32_t*) {
    if (current->failSend) return 0;
    const void* frame = nullptr;
    size_t length = 0;
    wmp_built_frame(builder, &frame, &length, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(frame);
    reinterpret_cast<FakeControl*>(c)->sent.emplace_back(bytes, bytes + length);
    reinterpret_cast<FakeControl*>(c)->contexts.push_back(context);
    return 1;
  }
  static int32_t Stop(KovoRxControl*) {
    current->Note("stop");
    return 1;
  }
  static int64_t AddWatch(KovoRxControl* c, const KovoFieldMatch* pairs, int32_t count, int32_t*) {
    auto* control = reinterpret_cast<FakeControl*>(c);
    for (int32_t i = 0; i < count; ++i) {
      control->watched.emplace_back(pairs[i].fieldId, pairs[i].value ? pairs[i].value : "");
      control->anyValue.push_back(pairs[i].value == nullptr);
    }
    return static_cast<int64_t>(control->watched.size());
  }
  static int32_t RemoveWatch(KovoRxControl* c, int64_t handle, int32_t*) {
    reinterpret_cast<FakeControl*>(c)->removed.push_back(handle);
    return 1;
  }
  static constexpr KovoRxControlOps kOps = {&Send, &AddWatch, &RemoveWatch, nullptr, &Stop};

  static KovoRxControl* Get(int32_t kind, const KovoRxNotifier* notifier) {
    auto control =
        std::make_unique<FakeControl>(FakeControl{{&kOps}, *notifier, kind, {}, {}, {}, {}, {}});
    current->controls.push_back(std::move(control));
    return &current->controls.back()->base;
  }
  static void Destroy(KovoRxControl*) { current->Note("destroy"); }

  void Note(const char* what) {
    const CControlBlock* cb = plugin ? plugin->ControlBlock() : nullptr;
    events.push_back(std::string(what) + (cb && cb->stoppingCount.load() > 0 ? "+stopping" : ""));
  }
};

class PluginFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    plugin.reset();
    // Work the plug-in posted runs (and frees what it holds) as a host's
    // event loop would run it.
    ui.Pump(1u << 20);
    FakeRx::current = nullptr;
  }

  // A host with the given changes, and the plug-in loaded into it.
  void Load(HostConfig config = {}, bool fakeControls = true) {
    config.hostFolder = dir / "host";
    // The plug-in's own folder exists wherever it is installed.
    std::filesystem::create_directories(dir / "host" / "kovo plugins");
    core = std::make_unique<CHostCore>(config, ui, hostUi);
    host::InstallHost(core.get());
    FakeRx::current = &rx;
    plugin.reset();
    rx.controls.clear();  // those of an earlier plug-in are gone
    sPluginEnvironment env;
    env.resolve = [this, fakeControls](std::string_view name) -> void* {
      if (fakeControls && name == "GetQuellRxControl") return reinterpret_cast<void*>(&FakeRx::Get);
      if (fakeControls && name == "DestoryQuellRxCOntrol") {
        return reinterpret_cast<void*>(&FakeRx::Destroy);
      }
      return core->Lookup(name);
    };
    env.hostFolder = dir / "host";
    env.makePorts = [this](const HostResolver& resolve) {
      PluginPorts ports = MakeHeadlessPorts(resolve);
      auto net = std::make_unique<FakeNet>();
      net->local = localAddress;
      net->adaptersReadable = adaptersReadable;
      ports.net = std::move(net);
      auto processes = std::make_unique<FakeProcesses>();
      processes->runs = &runs;
      processes->error = processError;
      ports.processes = std::move(processes);
      if (windowless) ports.views = std::make_unique<NoWindows>();
      if (replacementDialogs) ports.dialogs = std::move(replacementDialogs);
      return ports;
    };
    env.appDataFolder = dir / "data";
    plugin = std::make_unique<CZintPlugin>(env);
    rx.plugin = plugin.get();
  }

  std::vector<std::string> Log() const { return core->LogLines(); }
  bool Logged(const std::string& text) const {
    const auto lines = Log();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : hostUi.Boxes()) texts.push_back(box.text);
    return texts;
  }

  test::TempDir dir;
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  FakeRx rx;
  std::unique_ptr<CHostCore> core;
  std::unique_ptr<CZintPlugin> plugin;
  std::optional<std::string> localAddress = "10.1.2.3";
  bool adaptersReadable = true;
  std::vector<FakeProcesses::Run> runs;
  int processError = 0;
  bool windowless = false;                      // the window system gives no windows
  std::unique_ptr<Dialogs> replacementDialogs;  // in place of the headless ones, for the next Load
};

}  // namespace kovo
