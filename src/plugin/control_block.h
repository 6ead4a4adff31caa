#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "platform/settings.h"
#include "plugin/banner_wnd.h"
#include "plugin/host_functions.h"
#include "plugin/ports.h"
#include "plugin/session_module.h"

namespace kovo {

class CControlBlock;
class CLoginDlg;
class CUpdatesDlg;
class CBeepAlerts;
class CNotifications;

// Report levels.
inline constexpr int kReportError = 1;
inline constexpr int kReportMessage = 2;

// The texts of the registered messages the control block's window answers.
inline constexpr const char* kEngineCreationDoneMsg =
    "ENGINE_CREATION_DONE{2B914891-C4D6-4410-AFE0-0C6683AE576C}_MSG";
inline constexpr const char* kCreateApiOrderDlgMsg =
    "CREATE_API_ORDER_DLG{B295C178-B603-441b-8AB3-3047FF73A0C8}_MSG";

// A notifier the host delivers to: kind 0 replies, kind 1 broadcasts.
class CReceiver {
 public:
  CReceiver(int kind, CControlBlock& owner);
  int Kind() const { return m_kind; }
  const KovoRxNotifier& Notifier() const { return m_notifier; }

 private:
  static void OnBroadcast(void* self, const wmp_msg* message);
  static void OnReply(void* self, void* context, const wmp_msg* message, int32_t status);

  int m_kind;
  CControlBlock& m_owner;
  KovoRxNotifier m_notifier{};
};

// One field value of a request, added in order.
struct sRequestField {
  int32_t id;
  std::string value;
};

// One product of the user's product tree.
struct sProduct {
  std::string name;
  int32_t type = 0;
  std::string parent;
  std::string text1;
  std::string text2;
};

// What login fills in.
struct sSessionState {
  std::string loggedInUserId;  // empty: nobody is logged in
  std::string sessionId;
  std::string nameText;  // sent as "%s_INT" / "%s_BRD"
  std::string preloginValue;
  std::string webAddress;
  std::vector<std::string> products;
  std::vector<sProduct> productTree;
  // "<nse_cm><bse_cm>...": segments whose API orders go out without asking.
  std::string autoPlacementExchanges;
  int32_t noOfDays = 5;  // days of bars a chart asks for
  bool launched = false;
  bool hostExit = false;
  bool loginSucceeded = false;
  std::string installerPath;
  std::string installerCommandLine;
  std::vector<std::string> installerArguments;  // what the command line quotes, one by one
};

// Where the control block finds its host and its files.
struct sControlBlockSetup {
  void* hostApp = nullptr;
  std::string userFolderId;
  int32_t privilege = KOVO_PRIV_INVESTOR_CLIENT;
  HostResolver resolve;
  SettingsPaths paths;  // userFolderId is taken from above
  PluginPorts ports;
};

// The plug-in's central object: host functions, the message builder, the
// receiver controls, session state and settings, and every window the
// plug-in owns. Lives on the host's UI thread.
class CControlBlock {
 public:
  using ReplyHandler = std::function<void(void* context, const wmp_msg* message, int32_t status)>;
  using BroadcastHandler = std::function<void(const wmp_msg* message)>;
  using WindowCommand = std::function<intptr_t(uintptr_t wParam, intptr_t lParam)>;

  explicit CControlBlock(sControlBlockSetup setup);
  ~CControlBlock();
  CControlBlock(const CControlBlock&) = delete;
  CControlBlock& operator=(const CControlBlock&) = delete;

  // ---- host and identity
  void* HostApp() const { return m_hostApp; }
  void* HostModule() const { return m_hostModule; }
  const CHostFunctions& Host() const { return m_host; }
  const std::string& HostAppName() const { return m_hostAppName; }
  const std::string& HostVersion() const { return m_hostVersion; }
  bool HostAtLeast3_11_3_0() const { return m_hostAtLeast3_11_3_0; }
  int32_t Privilege() const { return m_privilege; }
  std::string peerText;  // sent as the peer text field
  std::string peerId1;   // sent as the peer user field
  std::string peerId2;

  // ---- ports
  UiThread& Ui() const { return *m_ports.ui; }
  Dialogs& Dlgs() const { return *m_ports.dialogs; }
  ViewFactory& Views() const { return *m_ports.views; }
  HostFrame& Frame() const { return *m_ports.frame; }
  NetIdentity& Net() const { return *m_ports.net; }
  ProcessStarter& Processes() const { return *m_ports.processes; }
  Screens& Screen() const { return *m_ports.screens; }
  Clipboard& Clip() const { return *m_ports.clipboard; }
  CNotifications& Notifications() const { return *m_notifications; }

  // ---- report and settings
  // Level 1 errors and level 2 messages into the host's log; without the
  // log an error becomes a message box and a message is dropped.
  void Report(std::string_view text, int level) const;
  // A message box, the host's own when it has one.
  int MessageBox(std::string_view text, unsigned style = 0) const;
  const CSettingsFiles& Settings() const { return m_settings; }
  std::filesystem::path PerUserPath(std::string_view fileName) const {
    return m_settings.PerUserPath(fileName);
  }

  // ---- messaging
  wmp_builder* Builder() const { return m_builder; }
  wmp_scratch* Scratch() const { return m_scratch; }
  bool HasMessaging() const { return m_builder && m_scratch; }
  KovoRxControl* RequestControl() const { return m_requestControl; }
  KovoRxControl* BroadcastControl() const { return m_broadcastControl; }
  KovoRxControl* signalWatcherControl = nullptr;
  // Builds and sends one request through control: fill length 0, start,
  // field 0 = name, the fields in order, send with context. A failed step
  // is reported as failurePhrase followed by the step and nothing is sent.
  bool SendRequest(KovoRxControl* control, void* context, std::string_view name,
                   const std::vector<sRequestField>& fields, std::string_view failurePhrase);
  // Replies are dispatched by request name (field 32767); an empty handler
  // removes the name's.
  void OnReplyNamed(std::string name, ReplyHandler handler);
  // Observers of a reply name, called before its handler whether or not
  // one is registered (the handler of a name belongs to one window).
  int ObserveReply(std::string name, ReplyHandler handler);
  void RemoveReplyObserver(int id);
  // Broadcast listeners, called in the order added.
  int AddBroadcastListener(BroadcastHandler handler);
  void RemoveBroadcastListener(int id);
  void DispatchReply(void* context, const wmp_msg* message, int32_t status);
  void DispatchBroadcast(const wmp_msg* message);
  // "%s request failed , %s" with the last error value; true when the
  // reply carried one.
  bool ReportFailedReply(std::string_view requestName, const wmp_msg* message) const;
  // Stops and releases both request registrations.
  void CloseReceiverControls();

  // ---- registered messages and the hidden window
  uint32_t RegisteredMessage(std::string_view name);
  // Delivers a registered message to this control block's window on the UI thread.
  intptr_t SendOwnMessage(std::string_view name, uintptr_t wParam, intptr_t lParam);
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void SetMessageAction(std::string_view name, WindowCommand action);
  uint64_t Window() const { return m_window; }
  // Lets work queued for the UI thread find out whether the control block
  // still exists when it runs there.
  std::weak_ptr<CControlBlock*> AliveToken() const { return m_alive; }

  // ---- session and settings flags
  sSessionState session;
  bool saveLocalData = false;
  bool urlLogging = false;
  bool udpUpdate = false;
  int selectedIndex = -1;
  bool IsLoggedIn() const { return !session.loggedInUserId.empty(); }

  // ---- owned windows
  CBannerWnd& Banner() { return m_banner; }
  std::set<std::string> nameSet;
  std::map<std::string, std::string> textMap;
  std::unique_ptr<CLoginDlg> loginDlg;
  std::unique_ptr<CUpdatesDlg> updatesDlg;
  std::unique_ptr<CBeepAlerts> beepAlerts;

  // ---- charts
  // The bar data store with its chart windows (a module of the chart library).
  std::unique_ptr<CSessionModule> chartStore;
  // The market monitor pane (a module of the market library), made on first show.
  std::unique_ptr<CSessionModule> marketMonitor;
  // The open interest chart (a module of the chart library), made on first need.
  std::unique_ptr<CSessionModule> oiChart;
  int32_t chartLimit = 10;
  bool noAnimation = false;
  // The default chart template ("Set as Default Template"), as last written.
  std::string chartDefaultTemplate;
  // Docks each chart back, takes it out of the frame and drops it.
  void CloseChartViews();

  // ---- market windows (a module of the market library)
  std::unique_ptr<CSessionModule> marketModule;
  // ---- research and calls feed (a module of the market library)
  std::unique_ptr<CSessionModule> researchFeed;

  // ---- orders
  // The order API (a module of the orders library). Strategy threads hold it
  // while they call, so it is shared and swapped under a lock.
  std::shared_ptr<CSessionModule> OrderModule() const;
  void SetOrderModule(std::shared_ptr<CSessionModule> module);

  // ---- counters shared with worker threads
  std::atomic<int32_t> stoppingCount{0};
  std::atomic<int32_t> watcherCount{0};

 private:
  static intptr_t WindowThunk(void* self, uint32_t message, uintptr_t wParam, intptr_t lParam);
  void ReadFlags();
  void NotifyReplyObservers(const std::string& name, void* context, const wmp_msg* message,
                            int32_t status);

  void* m_hostApp = nullptr;
  void* m_hostModule = nullptr;
  CHostFunctions m_host;
  std::string m_hostAppName;
  std::string m_hostVersion;
  bool m_hostAtLeast3_11_3_0 = false;
  int32_t m_privilege = KOVO_PRIV_INVESTOR_CLIENT;
  PluginPorts m_ports;
  CSettingsFiles m_settings;

  wmp_builder* m_builder = nullptr;
  wmp_scratch* m_scratch = nullptr;
  CReceiver m_replyReceiver;
  CReceiver m_broadcastReceiver;
  KovoRxControl* m_requestControl = nullptr;
  KovoRxControl* m_broadcastControl = nullptr;
  std::map<std::string, ReplyHandler> m_replyHandlers;
  std::map<int, BroadcastHandler> m_broadcastHandlers;
  std::map<int, std::pair<std::string, ReplyHandler>> m_replyObservers;
  int m_nextListener = 1;

  uint64_t m_window = 0;
  std::map<std::string, uint32_t> m_localMessages;  // when the host registers none
  std::map<uint32_t, WindowCommand> m_messageActions;

  CBannerWnd m_banner;
  std::unique_ptr<CNotifications> m_notifications;
  mutable std::mutex m_orderMutex;
  std::shared_ptr<CSessionModule> m_orderModule;
  std::shared_ptr<CControlBlock*> m_alive = std::make_shared<CControlBlock*>(this);
};

}  // namespace kovo
