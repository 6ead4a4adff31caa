#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

#include "base/clock.h"
#include "host/core/host_ui.h"
#include "host/core/scrip_directory.h"
#include "host/core/window_system.h"
#include "platform/ui_thread.h"

namespace kovo::host {

struct HostConfig {
  std::string appName = "kovo_trader";  // or "kovo_trader_now"
  std::string version = "3.11.3.0";
  std::string peerText = "peer-1";
  std::string peerText2 = "DEMO01";  // the host user's id, the one user with a privilege
  std::string userFolderId = "DEMO01";
  int32_t privilege = KOVO_PRIV_INVESTOR_CLIENT;
  std::string userId = "DEMO01";
  std::string userName = "Demo Trader";
  std::filesystem::path hostFolder;
  std::filesystem::path logFile;  // empty: the log stays in memory
  // Host functions kovo_host_lookup pretends not to have.
  std::set<std::string> switchedOff;
  // Client accounts orders may name; empty: any non-blank alphanumeric id of
  // up to 20 characters.
  std::set<std::string> validAccounts;
  // Exchange names offered in exchange combo boxes, in order.
  std::vector<std::string> exchanges = {"NSE", "BSE", "NFO", "MCX"};
};

// The state behind the host functions: configuration, scrip master, market
// watch, log and hot keys. Every member may be used from any thread.
class CHostCore {
 public:
  using ScripNotifyFn = void (*)(const char* context, const sScripDetails* details);
  using HotKeyFn = void (*)(void* window, int32_t id);

  struct HotKey {
    void* window = nullptr;
    HotKeyFn callback = nullptr;
    std::string text;
    int32_t commandId = 0;
    std::string group;
    std::string key;
    std::string description;
  };

  // Hot keys report commandId + this to their window.
  static constexpr int32_t kHotKeyIdBase = 1024;

  CHostCore(HostConfig config, UiThread& ui, HostUi& hostUi,
            const Clock& clock = SystemClock::Instance());
  // Uninstalls itself when it is the current host. Queued scrip answers are dropped.
  ~CHostCore();
  CHostCore(const CHostCore&) = delete;
  CHostCore& operator=(const CHostCore&) = delete;

  const HostConfig& Config() const { return m_config; }
  UiThread& Thread() const { return m_thread; }
  HostUi& Ui() const { return m_hostUi; }
  ScripDirectory& Scrips() { return m_scrips; }
  CWindowSystem& Windows() { return m_windows; }
  uint32_t RegisterWindowMessage(std::string_view name) { return m_windows.RegisterMessage(name); }
  int32_t BroadcastMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return m_windows.BroadcastMessage(message, wParam, lParam);
  }
  // The UI thread as the C operations kovo_host_ui_thread lends out.
  const KovoUiThreadOps* UiThreadOps() const { return &m_uiOps; }
  const ScripDirectory& Scrips() const { return m_scrips; }

  // Market watch keys "seg|token-or-symbol", blanks around either half
  // dropped. False for a duplicate or for anything but one "|" between two
  // non-empty halves.
  bool AddToMarketWatch(std::string_view key);
  std::vector<std::string> MarketWatch() const;
  // Called, on the adding thread and outside the core's locks, after a key
  // joined the market watch, so a window can show it at once.
  void SetMarketWatchListener(std::function<void()> listener);

  // One log line, stamped "%H:%M:%S " in local time; line breaks inside
  // become blanks so a line stays a line in the file.
  void Log(std::string_view text);
  std::vector<std::string> LogLines() const;

  // False for a missing callback or key, a command id that cannot carry the
  // offset, or a key another window holds. The same window registering a
  // key again replaces its earlier registration. Keys compare without
  // regard to case or surrounding blanks.
  bool RegisterHotKey(HotKey hotKey);
  std::vector<HotKey> HotKeys() const;
  // Calls the key's callback with (window, commandId + kHotKeyIdBase) on
  // the calling thread; false when the key is not registered.
  bool PressHotKey(std::string key);

  // The plug-in's receiver of asynchronous scrip answers; nullptr: none.
  void SetScripDetailsNotify(ScripNotifyFn notify);
  ScripNotifyFn ScripDetailsNotify() const;
  // Answers on the UI thread with a copy of context and scrip (an empty
  // record when scrip is null). False without a receiver or when the UI
  // thread refuses work; a receiver removed before the answer runs gets none.
  bool PostScripDetails(std::string context, const sScripDetails* scrip);

  // The address of a host function by its C name; nullptr for unknown and
  // switched-off names.
  void* Lookup(std::string_view name) const;
  // Every name Lookup knows.
  static std::vector<std::string_view> FunctionNames();

 private:
  struct NotifyState {
    std::atomic<ScripNotifyFn> notify{nullptr};
  };

  const HostConfig m_config;
  UiThread& m_thread;
  HostUi& m_hostUi;
  const Clock& m_clock;
  ScripDirectory m_scrips;
  CWindowSystem m_windows;
  KovoUiThreadOps m_uiOps{};

  mutable std::mutex m_watchMutex;
  std::function<void()> m_watchListener;
  std::vector<std::string> m_marketWatch;

  mutable std::mutex m_logMutex;
  std::vector<std::string> m_log;
  std::ofstream m_logFile;

  mutable std::mutex m_hotKeyMutex;
  std::vector<HotKey> m_hotKeys;

  // Shared with queued answers so they can tell the receiver is gone.
  std::shared_ptr<NotifyState> m_notify;
};

// The host behind the C exports of this process (nullptr: none).
void InstallHost(CHostCore* host);
CHostCore* CurrentHost();

}  // namespace kovo::host
