#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

#include "host/core/backend_client.h"
#include "platform/ui_thread.h"

namespace kovo::host {

// What passes between the back end and the controls, as a traffic hook sees it.
enum class SessionTraffic { kRequest, kReply, kBroadcast };

// What the session needs from the rest of the host.
struct SessionHooks {
  std::function<void(const std::string& line)> log;
  // The back end's instruments, loaded as the host's scrip master.
  std::function<void(std::vector<sScripDetails> scrips)> loadScrips;
  // The message connection is ready (the scrip master has arrived).
  std::function<void()> ready;
};

// The host's side of the back-end connection: receiver controls, their
// requests, watches and filters, and the order book's traffic. Replies and
// broadcasts are delivered on the UI thread; controls may be created,
// filtered and used from any thread.
class CHostSession {
 public:
  CHostSession(UiThread& ui, SessionHooks hooks);
  ~CHostSession();
  CHostSession(const CHostSession&) = delete;
  CHostSession& operator=(const CHostSession&) = delete;

  // Connects and asks for the scrip master; `ready` follows its arrival.
  // Watches that exist already are registered again, so a lost connection
  // can be re-established.
  bool Connect(const std::string& host, uint16_t port, std::string* error);
  void Disconnect();
  bool IsConnected() const;
  bool IsReady() const { return m_ready.load(); }

  KovoRxControl* CreateControl(int32_t kind, const KovoRxNotifier& notifier);
  void DestroyControl(KovoRxControl* control);
  size_t ControlCount() const;
  // Watches the controls hold with the back end.
  size_t WatchCount() const;
  // Optional observer: each request a control sends (on the sending thread)
  // and each reply or broadcast handed to a control (on the UI thread). Set
  // before the controls are used.
  using TrafficHook = std::function<void(SessionTraffic kind, const wmp_msg* message)>;
  void SetTrafficHook(TrafficHook hook) { m_traffic = std::move(hook); }

  // Order book. The host order number comes back in the order's updates.
  int32_t PlaceOrder(const sOrderEntryInfo& order, std::string_view tag, int32_t transactionType,
                     std::string* error);
  int32_t ModifyOrder(std::string_view orderNumber, std::string_view tag, int32_t orderType,
                      int32_t validity, int32_t quantity, int32_t price, int32_t disclosed,
                      int32_t trigger, std::string* error);
  int32_t CancelOrder(std::string_view orderNumber, std::string_view tag, std::string* error);

  // Asks the back end for a burst of ticks of one scrip (load measurement).
  bool RequestTickBurst(std::string_view exchSeg, std::string_view token, int64_t count);

  // Control operations (reached through the controls' C operation table).
  struct Control;
  int32_t Send(Control& control, void* context, wmp_builder* builder, int32_t* error);
  int64_t AddWatch(Control& control, const KovoFieldMatch* pairs, int32_t count, int32_t* error);
  int32_t RemoveWatch(Control& control, int64_t handle, int32_t* error);
  int32_t AddFilter(Control& control, const KovoFieldMatch* pairs, int32_t count, int32_t* error);
  int32_t StopControl(Control& control);

 private:
  struct Pair {
    int32_t field;
    std::string value;
    bool any;
  };
  struct Matcher {
    int64_t handle;
    std::vector<Pair> pairs;
  };
  struct Pending {
    std::weak_ptr<Control> control;  // a control's request
    void* context = nullptr;
    std::string name;
    std::function<void(const wmp_msg*)> internal;  // the host's own request
  };

  void OnFrame(const std::string& frame);    // UI thread
  void OnClosed(const std::string& reason);  // UI thread
  bool SendInternal(std::string frame, std::string name, std::function<void(const wmp_msg*)> done);
  std::function<void(const wmp_msg*)> LogFailure(std::string what) const;
  std::string RegisterWatchFrame(int64_t handle, const std::vector<Pair>& pairs);
  void LoadScripMaster(const wmp_msg* reply);
  static bool Matches(const std::vector<Pair>& pairs, const wmp_msg* message);
  static std::vector<Pair> ToPairs(const KovoFieldMatch* pairs, int32_t count);
  void Log(const std::string& line) const;

  UiThread& m_ui;
  SessionHooks m_hooks;
  TrafficHook m_traffic;
  CBackendClient m_client;
  std::atomic<bool> m_ready{false};
  // Guards controls, their matchers and the pending requests. Never held
  // while a notifier runs.
  mutable std::mutex m_mutex;
  std::map<Control*, std::shared_ptr<Control>> m_controls;
  std::map<int64_t, Pending> m_pending;
  std::atomic<int64_t> m_nextRequest{1};
  std::atomic<int64_t> m_nextHandle{1};
  std::atomic<int64_t> m_nextOrder{1000001};
  // Keeps queued UI-thread tasks from reaching a destroyed session.
  std::shared_ptr<CHostSession*> m_alive;
};

// The session behind the C exports of this process (nullptr: none).
void InstallSession(CHostSession* session);
CHostSession* CurrentSession();

}  // namespace kovo::host
