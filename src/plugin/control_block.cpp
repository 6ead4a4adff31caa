#include "plugin/control_block.h"

#include <dlfcn.h>

#include <utility>

#include "base/format.h"
#include "base/number.h"
#include "base/version.h"
#include "platform/headless_views.h"
#include "plugin/beep_alerts.h"
#include "plugin/field_reader.h"
#include "plugin/login_dlg.h"
#include "plugin/mnm_fields.h"
#include "plugin/notification.h"
#include "plugin/updates_dlg.h"

namespace kovo {
namespace {

constexpr const char* kWindowClass = "KovoZintControlBlockWnd";
constexpr const char* kWindowName = "CZintControlBlock";
constexpr const char* kPluginIni = "kovozint.ini";
constexpr const char* kMessageBoxCaption = "KovoZint";
constexpr uint32_t kScratchSize = 4096;
// Ids handed out when the host has no registry of its own.
constexpr uint32_t kFirstLocalMessage = 0xC000;

}  // namespace

// ---- CReceiver ------------------------------------------------------------

CReceiver::CReceiver(int kind, CControlBlock& owner) : m_kind(kind), m_owner(owner) {
  m_notifier.onBroadcast = &CReceiver::OnBroadcast;
  m_notifier.onReply = &CReceiver::OnReply;
  m_notifier.self = this;
}

void CReceiver::OnBroadcast(void* self, const wmp_msg* message) {
  try {
    static_cast<CReceiver*>(self)->m_owner.DispatchBroadcast(message);
  } catch (...) {
    // A handler's failure must not unwind into the host.
  }
}

void CReceiver::OnReply(void* self, void* context, const wmp_msg* message, int32_t status) {
  try {
    static_cast<CReceiver*>(self)->m_owner.DispatchReply(context, message, status);
  } catch (...) {
  }
}

// ---- construction and destruction ---------------------------------------

CControlBlock::CControlBlock(sControlBlockSetup setup)
    : m_privilege(setup.privilege),
      m_ports(std::move(setup.ports)),
      m_settings([&] {
        SettingsPaths paths = setup.paths;
        paths.userFolderId = setup.userFolderId;
        return paths;
      }()),
      m_replyReceiver(0, *this),
      m_broadcastReceiver(1, *this) {
  m_hostApp = setup.hostApp;
  if (!m_ports.net) m_ports.net = std::make_unique<SystemNetIdentity>();
  if (!m_ports.processes) m_ports.processes = std::make_unique<PosixProcessStarter>();
  if (!m_ports.screens) m_ports.screens = std::make_unique<HeadlessScreens>();
  if (!m_ports.clipboard) m_ports.clipboard = std::make_unique<MemoryClipboard>();
  m_notifications = std::make_unique<CNotifications>(*m_ports.ui, *m_ports.views, *m_ports.screens);
  updatesDlg = std::make_unique<CUpdatesDlg>(*this);
  nameSet.insert("web_charts");
  // A settings write that fails says why in the host's log.
  m_settings.SetErrorSink([this](const std::string& text) { Report(text, kReportError); });
  m_settings.EnsureUserFolder();

  m_hostModule = dlopen(nullptr, RTLD_LAZY);
  // The host supplied its user: the session counts as logged in until the
  // login dialog says otherwise.
  session.loggedInUserId = setup.userFolderId;

  // The hidden window is the desktop's; hosts without one get a local registry.
  m_host.createWindow =
      ResolveHost<decltype(m_host.createWindow)>(setup.resolve, "kovo_create_window");
  if (m_host.createWindow) {
    m_window = m_host.createWindow(kWindowClass, kWindowName, &CControlBlock::WindowThunk, this);
  }

  if (m_ports.views) m_banner.Create(*m_ports.views);

  m_host.Resolve(setup.resolve);

  ReadFlags();

  beepAlerts = std::make_unique<CBeepAlerts>(*this);
  beepAlerts->Create();

  if (m_host.getRxControl) {
    m_requestControl = m_host.getRxControl(KOVO_RX_REQUESTS, &m_replyReceiver.Notifier());
    m_broadcastControl = m_host.getRxControl(KOVO_RX_BROADCASTS, &m_broadcastReceiver.Notifier());
  }

  int32_t error = 0;
  if (!wmp_ctor_primecb(&m_builder, &error)) {
    m_builder = nullptr;
    Report("Mnm Handle open failed", kReportError);
  } else if (!wmp_open_scratch(&m_scratch, kScratchSize, &error)) {
    m_scratch = nullptr;
    Report("Buffer Handle open failed", kReportError);
    wmp_dtor_primecb(m_builder, &error);
    m_builder = nullptr;
  }
}

void CControlBlock::ReadFlags() {
  std::string value;
  if (m_settings.Read("ZINT_DATA", "LOCAL STORE", value, kPluginIni,
                      SettingsLocation::kPluginFolder)) {
    saveLocalData = LeadingInt32(value) >= 1;
  }
  if (m_host.getExeVersion) {
    char name[128] = {};
    char version[128] = {};
    m_host.getExeVersion(name, sizeof name, version, sizeof version);
    m_hostAppName = name;
    m_hostVersion = version;
  }
  m_hostAtLeast3_11_3_0 = VersionCompare(m_hostVersion, "3.11.3.0") >= 0;
  value.clear();
  if (m_settings.Read("UDP_UPADTE", "VALUE", value, kPluginIni, SettingsLocation::kPluginFolder)) {
    udpUpdate = value == "TRUE";
  }
}

CControlBlock::~CControlBlock() {
  CloseChartViews();
  chartStore.reset();
  // The market windows take their receiver controls back while the host's functions are known.
  oiChart.reset();
  marketModule.reset();
  researchFeed.reset();
  if (const auto orders = OrderModule()) orders->WakeWorkers();
  SetOrderModule(nullptr);
  loginDlg.reset();
  beepAlerts.reset();  // saves its switches
  updatesDlg.reset();
  m_notifications.reset();
  m_settings.Write("ZINT_DATA", "LOCAL STORE", saveLocalData ? "1" : "0", kPluginIni,
                   SettingsLocation::kPluginFolder);
  int32_t error = 0;
  if (m_builder) wmp_dtor_primecb(m_builder, &error);
  if (m_scratch) wmp_close_scratch(m_scratch, &error);
  m_banner.Destroy();
  if (m_window && m_host.destroyWindow) m_host.destroyWindow(m_window);
  // Controls the shutdown did not close (a failed start-up) go too.
  CloseReceiverControls();
  if (m_hostModule) dlclose(m_hostModule);
}

void CControlBlock::CloseChartViews() {
  if (chartStore) chartStore->CloseWindows();
}

std::shared_ptr<CSessionModule> CControlBlock::OrderModule() const {
  std::lock_guard lock(m_orderMutex);
  return m_orderModule;
}

void CControlBlock::SetOrderModule(std::shared_ptr<CSessionModule> module) {
  std::shared_ptr<CSessionModule> old;
  {
    std::lock_guard lock(m_orderMutex);
    old = std::exchange(m_orderModule, std::move(module));
  }
  // Released outside the lock: its destructor waits for its watchers.
}

// ---- report and dialogs ----------------------------------------------------

void CControlBlock::Report(std::string_view text, int level) const {
  const std::string body(text);
  const std::string line = level == kReportError ? Format("KovoZint Error : %s", body.c_str())
                                                 : Format("KovoZint Message : %s", body.c_str());
  if (m_host.addToTabbedLog) {
    m_host.addToTabbedLog(line.c_str());
  } else if (level == kReportError) {
    MessageBox(line, kMbIconError);
  }
}

int CControlBlock::MessageBox(std::string_view text, unsigned style) const {
  if (m_host.showMessageBox) {
    const std::string body(text);
    return m_host.showMessageBox(body.c_str(), kMessageBoxCaption, style);
  }
  return m_ports.dialogs ? m_ports.dialogs->MessageBox(text, kMessageBoxCaption, style) : kIdOk;
}

// ---- messaging --------------------------------------------------------------

bool CControlBlock::SendRequest(KovoRxControl* control, void* context, std::string_view name,
                                const std::vector<sRequestField>& fields,
                                std::string_view failurePhrase) {
  const std::string phrase(failurePhrase);
  if (!HasMessaging()) return false;
  int32_t error = 0;
  m_scratch->fill_length = 0;
  if (!wmp_start_msg(m_builder, m_scratch, &error)) {
    Report(phrase + "while starting message", kReportError);
    return false;
  }
  const auto add = [&](int32_t id, std::string_view value) {
    wmp_value data{value.data(), static_cast<int64_t>(value.size())};
    if (wmp_add_data(m_builder, id, 1, &data, &error)) return true;
    Report(phrase + Format("while adding %ld", static_cast<long>(id)), kReportError);
    return false;
  };
  if (!add(MNM_REQUEST, name)) return false;
  for (const sRequestField& field : fields) {
    if (!add(field.id, field.value)) return false;
  }
  if (!control || !control->ops || !control->ops->send ||
      !control->ops->send(control, context, m_builder, 0, &error)) {
    Report(phrase + "while sending request", kReportError);
    return false;
  }
  return true;
}

void CControlBlock::OnReplyNamed(std::string name, ReplyHandler handler) {
  if (!handler) {
    m_replyHandlers.erase(name);
    return;
  }
  m_replyHandlers[std::move(name)] = std::move(handler);
}

int CControlBlock::ObserveReply(std::string name, ReplyHandler handler) {
  const int id = m_nextListener++;
  m_replyObservers.emplace(id, std::make_pair(std::move(name), std::move(handler)));
  return id;
}

void CControlBlock::RemoveReplyObserver(int id) {
  m_replyObservers.erase(id);
}

void CControlBlock::NotifyReplyObservers(const std::string& name, void* context,
                                         const wmp_msg* message, int32_t status) {
  // Copies: an observer may remove itself.
  std::vector<ReplyHandler> called;
  for (const auto& [id, observer] : m_replyObservers)
    if (observer.first == name) called.push_back(observer.second);
  for (const ReplyHandler& handler : called) handler(context, message, status);
}

int CControlBlock::AddBroadcastListener(BroadcastHandler handler) {
  const int id = m_nextListener++;
  m_broadcastHandlers.emplace(id, std::move(handler));
  return id;
}

void CControlBlock::RemoveBroadcastListener(int id) {
  m_broadcastHandlers.erase(id);
}

void CControlBlock::DispatchReply(void* context, const wmp_msg* message, int32_t status) {
  if (stoppingCount.load() != 0) return;
  std::string name;
  int readStatus = 0;
  ReadText(message, MNM_REPLY_REQUEST, 0, name, readStatus);
  NotifyReplyObservers(name, context, message, status);
  const auto it = m_replyHandlers.find(name);
  if (it != m_replyHandlers.end()) {
    // A copy: the handler may replace itself.
    const ReplyHandler handler = it->second;
    handler(context, message, status);
  } else {
    ReportFailedReply(name, message);
  }
}

void CControlBlock::DispatchBroadcast(const wmp_msg* message) {
  if (stoppingCount.load() != 0) return;
  // Listeners may add or remove listeners while they run.
  std::vector<int> ids;
  for (const auto& entry : m_broadcastHandlers) ids.push_back(entry.first);
  for (const int id : ids) {
    const auto it = m_broadcastHandlers.find(id);
    if (it == m_broadcastHandlers.end()) continue;
    const BroadcastHandler handler = it->second;
    handler(message);
  }
}

bool CControlBlock::ReportFailedReply(std::string_view requestName, const wmp_msg* message) const {
  std::string error;
  if (!ReplyFailed(message, &error)) return false;
  const std::string name(requestName);
  Report(Format("%s request failed , %s", name.c_str(), error.c_str()), kReportError);
  return true;
}

void CControlBlock::CloseReceiverControls() {
  for (KovoRxControl** control : {&m_requestControl, &m_broadcastControl}) {
    if (!*control) continue;
    if ((*control)->ops && (*control)->ops->stop) (*control)->ops->stop(*control);
    if (m_host.destroyRxControl) m_host.destroyRxControl(*control);
    *control = nullptr;
  }
}

// ---- the hidden window ------------------------------------------------------

uint32_t CControlBlock::RegisteredMessage(std::string_view name) {
  if (m_host.registerWindowMessage) {
    const std::string text(name);
    return m_host.registerWindowMessage(text.c_str());
  }
  const auto [it, added] = m_localMessages.try_emplace(
      std::string(name), kFirstLocalMessage + static_cast<uint32_t>(m_localMessages.size()));
  return it->second;
}

void CControlBlock::SetMessageAction(std::string_view name, WindowCommand action) {
  m_messageActions[RegisteredMessage(name)] = std::move(action);
}

intptr_t CControlBlock::SendOwnMessage(std::string_view name, uintptr_t wParam, intptr_t lParam) {
  const uint32_t message = RegisteredMessage(name);
  if (m_window && m_host.sendMessage) return m_host.sendMessage(m_window, message, wParam, lParam);
  intptr_t result = 0;
  Ui().Send([&] { result = WindowProc(message, wParam, lParam); });
  return result;
}

intptr_t CControlBlock::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const auto it = m_messageActions.find(message);
  if (it == m_messageActions.end()) return 0;
  const WindowCommand action = it->second;
  return action(wParam, lParam);
}

intptr_t CControlBlock::WindowThunk(void* self, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
  try {
    return static_cast<CControlBlock*>(self)->WindowProc(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

}  // namespace kovo
