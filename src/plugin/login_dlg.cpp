#include "plugin/login_dlg.h"

#include <utility>
#include <vector>

#include "base/format.h"
#include "plugin/control_block.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"
#include "plugin/plugin_info.h"

namespace kovo {
namespace {

// One file on every platform: the name's case differs between callers.
constexpr const char* kPluginIni = "kovozint.ini";
constexpr int32_t kPreloginField = 30105;
constexpr int32_t kLaunchUserField = 63437;
constexpr int32_t kSessionIdField = 63259;
constexpr int32_t kAutoPlacementField = 64013;
constexpr int32_t kProductTypeField = 63076;
constexpr int32_t kProductParentField = 48202;

std::string Text(const wmp_msg* message, int32_t field, int32_t index = 0) {
  std::string value;
  int status = 0;
  ReadText(message, field, index, value, status);
  return value;
}

// The error values of a failed reply, joined.
std::string JoinedError(const wmp_msg* message) {
  std::string text;
  for (int32_t i = 0; i < FieldCount(message, MNM_ERROR_TEXT); ++i)
    text += Text(message, MNM_ERROR_TEXT, i);
  return text;
}

// A request whose failures are whole sentences rather than phrase + step.
bool SendWithSentences(CControlBlock& cb, const char* name,
                       const std::vector<sRequestField>& fields, const char* startFailed,
                       const std::vector<std::string>& addFailed, const char* sendFailed) {
  if (!cb.HasMessaging()) return false;
  int32_t error = 0;
  cb.Scratch()->fill_length = 0;
  if (!wmp_start_msg(cb.Builder(), cb.Scratch(), &error)) {
    cb.Report(startFailed, kReportError);
    return false;
  }
  const auto add = [&](int32_t id, const std::string& value, const std::string& failure) {
    wmp_value data{value.data(), static_cast<int64_t>(value.size())};
    if (wmp_add_data(cb.Builder(), id, 1, &data, &error)) return true;
    cb.Report(failure, kReportError);
    return false;
  };
  if (!add(MNM_REQUEST, name, addFailed[0])) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!add(fields[i].id, fields[i].value, addFailed[std::min(i + 1, addFailed.size() - 1)])) {
      return false;
    }
  }
  KovoRxControl* control = cb.RequestControl();
  if (!control || !control->ops->send(control, nullptr, cb.Builder(), 0, &error)) {
    cb.Report(sendFailed, kReportError);
    return false;
  }
  return true;
}

}  // namespace

const char* PrivilegeName(int32_t privilege) {
  static const char* const kNames[] = {"SUPER_ADMIN", "ADMIN", "BRANCH_ADMIN", "INVESTOR_CLIENT",
                                       "DEALER"};
  return privilege >= 0 && privilege <= 4 ? kNames[privilege] : "";
}

bool SendPeerDataRequest(CControlBlock& cb) {
  const bool sent =
      SendWithSentences(cb, "xr_get_user_peer_data", {{MNM_USER, cb.session.loggedInUserId}},
                        "wmp_start_msg failed while sending peer data request",
                        {"wmp_add_data failed while adding MNM_REQUEST in peer data request",
                         "wmp_add_data failed while adding MNM_USER in peer data request"},
                        "sending peer data request is failed");
  if (sent) cb.Report("peer data request sent", kReportMessage);
  return sent;
}

bool SendPreloginRequest(CControlBlock& cb) {
  const bool sent = cb.SendRequest(cb.RequestControl(), nullptr, "get_io_device_remote_info", {},
                                   "prelogin request is failed ");
  if (sent) cb.Report("prelogin request sent", kReportMessage);
  return sent;
}

std::optional<std::string> LocalHardwareAddress(const CControlBlock& cb, const std::string& local) {
  bool listRead = true;
  std::optional<std::string> hardware = cb.Net().HardwareAddress(local, listRead);
  if (!listRead)
    cb.Report("Error allocating memory needed to call GetAdaptersinfo\n", kReportError);
  return hardware;
}

bool SendAutoLogin(CControlBlock& cb, const std::string& loginId, const std::string& hostUserId) {
  if (loginId.empty() || hostUserId.empty()) return false;
  std::vector<sRequestField> fields = {
      {MNM_USER, hostUserId}, {MNM_LOGIN_ID, loginId}, {MNM_CLIENT_VERSION, kPluginVersion}};
  if (cb.session.preloginValue.empty()) {
    cb.Report("Global IP retrieval is failed", kReportError);
  } else {
    fields.push_back({MNM_USER_IP_ADDRESS, cb.session.preloginValue});
  }
  if (const auto local = cb.Net().LocalAddress()) {
    fields.push_back({MNM_USER_IP_ADDRESS, *local});
    if (const auto hardware = LocalHardwareAddress(cb, *local)) {
      fields.push_back({MNM_USER_MAC_ADDRESS, *hardware});
    }
  }
  fields.push_back({MNM_PROC_ID, cb.session.nameText + "_INT"});
  fields.push_back({MNM_PROC_ID, cb.session.nameText + "_BRD"});
  const bool sent = cb.SendRequest(cb.RequestControl(), nullptr, "xr_zint_launch", fields,
                                   "xr_zint_launch is failed ");
  if (sent) cb.Report("xr_zint_launch request sent", kReportMessage);
  return sent;
}

bool SendBrokerDetails(CControlBlock& cb, const std::string& hostUserId) {
  const auto env = [&](const char* key) {
    std::string value;
    cb.Settings().Read("KOVO_ENV_SETTINGS", key, value, "kovoclient.ini",
                       SettingsLocation::kHostFolder);
    return value;
  };
  const std::string texts[] = {
      "Broker's Details: USERID - PRIVILIGE - EXE NAME - EXE VERSION - DOMAIN IP - DOMAIN NAME "
      "- REG DETAILS,",
      hostUserId,
      PrivilegeName(cb.Privilege()),
      cb.HostAppName(),
      cb.HostVersion(),
      env("HOST_NAME"),
      env("MML_DOMAIN_NAME"),
      env("REG_DETAILS"),
  };
  std::vector<sRequestField> fields = {{MNM_USER, cb.session.loggedInUserId}};
  // The back end drops empty values; a blank keeps the eight in place.
  for (const std::string& text : texts)
    fields.push_back({MNM_MESSAGE_TEXT, text.empty() ? " " : text});
  return cb.SendRequest(cb.RequestControl(), nullptr, "xr_log_nt_msg", fields,
                        "xr_log_nt_msg is failed ");
}

// ---- the dialog -------------------------------------------------------------

CLoginDlg::CLoginDlg(CControlBlock& cb, Actions actions)
    : m_cb(cb), m_actions(std::move(actions)), m_alive(std::make_shared<CLoginDlg*>(this)) {
  m_notifier.self = this;
  m_notifier.onBroadcast = [](void* self, const wmp_msg* message) {
    try {
      static_cast<CLoginDlg*>(self)->OnBroadcast(message);
    } catch (...) {
    }
  };
  m_notifier.onReply = [](void*, void*, const wmp_msg*, int32_t) {};
  if (cb.Host().getRxControl) m_control = cb.Host().getRxControl(KOVO_RX_REQUESTS, &m_notifier);
  for (const char* name : {"get_io_device_remote_info", "xr_get_user_peer_data",
                           "mrv_zint_products_show_tree_all", "xr_login", "xr_zint_launch"}) {
    cb.OnReplyNamed(name, [this](void*, const wmp_msg* message, int32_t) { OnReply(message); });
  }
}

CLoginDlg::~CLoginDlg() {
  *m_alive = nullptr;
  if (m_control) {
    if (m_control->ops && m_control->ops->stop) m_control->ops->stop(m_control);
    if (m_cb.Host().destroyRxControl) m_cb.Host().destroyRxControl(m_control);
  }
  for (const char* name : {"get_io_device_remote_info", "xr_get_user_peer_data",
                           "mrv_zint_products_show_tree_all", "xr_login", "xr_zint_launch"}) {
    m_cb.OnReplyNamed(name, nullptr);
  }
}

bool CLoginDlg::Create() {
  if (!m_view) m_view = m_cb.Views().CreateLoginDialog(*this);
  if (m_view) m_view->SetTitle("KovoZint Login");
  return m_view != nullptr;
}

void CLoginDlg::DestroyWindow() {
  m_view.reset();
}

void CLoginDlg::Prepare() {
  std::string last;
  if (m_cb.Settings().Read("LAST_LOGGEDIN_USER", "VALUE", last, kPluginIni,
                           SettingsLocation::kPluginFolder)) {
    m_userField = last;
    m_focus = kLoginSecondField;
  } else {
    m_focus = kLoginUserField;
  }
  // Nothing else asks for the address the back end sees us at; automatic
  // login waits for it.
  if (m_cb.session.preloginValue.empty()) SendPreloginRequest(m_cb);
  Refresh();
}

void CLoginDlg::Show(View::Centre centre) {
  if (m_view) m_view->Show(true, centre);
}

void CLoginDlg::BringToFront() {
  if (m_view) m_view->BringToFront();
}

void CLoginDlg::Close() {
  if (m_view) m_view->Show(false);
}

void CLoginDlg::SetField(int id, std::string text) {
  if (id == kLoginUserField) m_userField = std::move(text);
  if (id == kLoginSecondField) m_secondField = std::move(text);
}

void CLoginDlg::SetBusy(bool busy) {
  m_busy = busy;
  Refresh();
}

bool CLoginDlg::IsControlVisible(int id) const {
  switch (id) {
    case kLoginUserField:
    case kLoginSecondField:
    case 16122:
    case 16062:
    case kLoginLink:
      return !m_busy;
    case kLoginAnimation:
      return m_busy;
    default:
      return true;
  }
}

bool CLoginDlg::IsControlEnabled(int id) const {
  return (id == kLoginOk || id == kLoginCancel) ? !m_busy : true;
}

void CLoginDlg::OnOk() {
  // The control block is this dialog's owner; the maps are its.
  m_cb.textMap.clear();
  m_cb.nameSet.clear();
  Close();
}

void CLoginDlg::OnCancel() {
  Close();
}

void CLoginDlg::AutoLogin(const std::string& loginId, const std::string& hostUserId) {
  SendAutoLogin(m_cb, loginId, hostUserId);
}

void CLoginDlg::TakeUser(const std::string& userId, const wmp_msg* message) {
  m_cb.Settings().Write("LAST_LOGGEDIN_USER", "VALUE", userId, kPluginIni,
                        SettingsLocation::kPluginFolder);
  m_cb.session.loggedInUserId = userId;
  m_cb.session.sessionId = Text(message, kSessionIdField);
  WatchUser(userId);
}

void CLoginDlg::OnReply(const wmp_msg* message) {
  const std::string name = Text(message, MNM_REPLY_REQUEST);
  if (ReplyFailed(message)) return Failed(name, message);
  sSessionState& session = m_cb.session;
  if (name == "get_io_device_remote_info") {
    session.preloginValue = Text(message, kPreloginField);
  } else if (name == "xr_get_user_peer_data") {
    const std::string peer = Text(message, MNM_PEER_TEXT);
    m_cb.peerId1 = peer;
    m_cb.peerId2 = peer;
    session.products.clear();
    const std::string wanted =
        m_cb.Privilege() == KOVO_PRIV_INVESTOR_CLIENT ? "zint_api" : "zint_api_dealer";
    for (int32_t i = 0; i < FieldCount(message, MNM_EXCH_SEG); ++i) {
      session.products.push_back(Text(message, MNM_EXCH_SEG, i));
      if (session.products.back() == wanted) {
        session.autoPlacementExchanges = Text(message, kAutoPlacementField, i);
      }
    }
    if (m_cb.IsLoggedIn()) {
      if (m_actions.peerDataArrived) m_actions.peerDataArrived();
    } else {
      SetBusy(false);
    }
  } else if (name == "mrv_zint_products_show_tree_all") {
    session.productTree.clear();
    for (int32_t i = 0; i < FieldCount(message, MNM_EXCH_SEG); ++i) {
      int32_t type = 0;
      int status = 0;
      ReadInteger(message, kProductTypeField, i, type, status);
      if (type == 2 || type == 4) continue;
      session.productTree.push_back({Text(message, MNM_EXCH_SEG, i), type,
                                     Text(message, kProductParentField, i), Text(message, 63443, i),
                                     Text(message, 10121, i)});
    }
    SendPeerDataRequest(m_cb);
  } else if (name == "xr_login") {
    if (FieldCount(message, MNM_USER) == 0) return SetBusy(false);
    TakeUser(Text(message, MNM_USER), message);
  } else if (name == "xr_zint_launch") {
    TakeUser(Text(message, kLaunchUserField), message);
  }
}

void CLoginDlg::Failed(const std::string& name, const wmp_msg* message) {
  const std::string text = JoinedError(message);
  if (name == "mrv_zint_products_show_tree_all") {
    m_cb.Report("mrv_zint_products_show_tree_all failure, " + text, kReportMessage);
    SendPeerDataRequest(m_cb);
  } else if (name == "xr_zint_launch") {
    m_cb.Report("Zint Auto Login(" + name + ")failure, " + text, kReportMessage);
    if (m_actions.clearAutoLoginId) m_actions.clearAutoLoginId();
    if (!text.empty()) m_cb.MessageBox("Login Failure," + text);
    Show(View::Centre::kHostWindow);
    BringToFront();
  } else if (name == "xr_get_user_peer_data") {
    m_cb.MessageBox("Peer Data failure," + text);
  } else {
    m_cb.MessageBox("Login Failure," + text);
  }
}

void CLoginDlg::OnBroadcast(const wmp_msg*) {
  m_cb.Ui().Post([alive = m_alive] {
    if (CLoginDlg* self = *alive) self->OnMessage(kLoginForcedLogout, 0, 0);
  });
}

intptr_t CLoginDlg::OnMessage(uint32_t message, uintptr_t wParam, intptr_t) {
  if (message == kLoginReportMessage) {
    std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(wParam));
    if (text) m_cb.Report(*text, kReportMessage);
    return 0;
  }
  if (message != kLoginForcedLogout) return 0;
  if (m_cb.IsLoggedIn()) {
    const std::string user = m_cb.session.loggedInUserId;
    m_cb.MessageBox(Format("Zint user %s logged in different location , logging out from zint ..",
                           user.c_str()));
    m_cb.session.loggedInUserId.clear();
    if (m_actions.shutdownSession) m_actions.shutdownSession(false);
  }
  return 1;
}

void CLoginDlg::WatchUser(const std::string& userId) {
  if (!m_control || !m_control->ops || !m_control->ops->addWatch) return;
  int32_t error = 0;
  if (m_watch != 0 && m_control->ops->removeWatch)
    m_control->ops->removeWatch(m_control, m_watch, &error);
  const KovoFieldMatch pair{MNM_USER, userId.c_str(), -1};
  m_watch = m_control->ops->addWatch(m_control, &pair, 1, &error);
}

void CLoginDlg::Refresh() {
  if (m_view) m_view->Refresh();
}

}  // namespace kovo
