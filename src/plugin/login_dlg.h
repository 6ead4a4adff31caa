#pragma once

#include <optional>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "platform/view.h"

namespace kovo {

class CControlBlock;

// Control ids of the login dialog.
inline constexpr int kLoginUserField = 16000;
inline constexpr int kLoginSecondField = 16001;
inline constexpr int kLoginOk = 1;
inline constexpr int kLoginCancel = 2;
inline constexpr int kLoginLink = 26064;
inline constexpr int kLoginAnimation = 16065;
// Window messages of the login dialog.
inline constexpr uint32_t kLoginReportMessage = 1124;
inline constexpr uint32_t kLoginForcedLogout = 1224;

// The requests that make up a session, sent through the control block's
// request registration.
bool SendPeerDataRequest(CControlBlock& cb);
// The hardware address of the adapter holding the local address; an adapter
// list that cannot be read is reported, and nothing is returned.
std::optional<std::string> LocalHardwareAddress(const CControlBlock& cb, const std::string& local);
bool SendPreloginRequest(CControlBlock& cb);
// "xr_zint_launch"; nothing is sent when either id is empty.
bool SendAutoLogin(CControlBlock& cb, const std::string& loginId, const std::string& hostUserId);
// "xr_log_nt_msg": the broker's details. What follows a successful send is
// the caller's (the session counts as launched then).
bool SendBrokerDetails(CControlBlock& cb, const std::string& hostUserId);
// Privilege names as the back end logs them; "" for unknown levels.
const char* PrivilegeName(int32_t privilege);

// The login dialog: automatic login, the replies that complete a session,
// failed logins and the forced logout when the user logs in elsewhere.
class CLoginDlg {
 public:
  struct Actions {
    std::function<void(bool keepLogin)> shutdownSession;
    // A logged-in user's peer data arrived.
    std::function<void()> peerDataArrived;
    // The automatic login failed: its id is forgotten.
    std::function<void()> clearAutoLoginId;
  };

  CLoginDlg(CControlBlock& cb, Actions actions);
  ~CLoginDlg();
  CLoginDlg(const CLoginDlg&) = delete;
  CLoginDlg& operator=(const CLoginDlg&) = delete;

  // The window; false when the view factory gives none.
  bool Create();
  bool HasWindow() const { return m_view != nullptr; }
  void DestroyWindow();

  // Ready to be shown: the last user prefilled and focused accordingly.
  void Prepare();
  void Show(View::Centre centre);
  void BringToFront();
  void Close();
  bool IsVisible() const { return m_view && m_view->IsVisible(); }

  const std::string& UserField() const { return m_userField; }
  const std::string& SecondField() const { return m_secondField; }
  void SetField(int id, std::string text);
  int FocusedControl() const { return m_focus; }

  void SetBusy(bool busy);
  bool Busy() const { return m_busy; }
  bool IsControlVisible(int id) const;
  bool IsControlEnabled(int id) const;

  // Buttons.
  void OnOk();
  void OnCancel();

  void AutoLogin(const std::string& loginId, const std::string& hostUserId);

  // Replies dispatched to the dialog by request name.
  void OnReply(const wmp_msg* message);
  // Any broadcast to the dialog's notifier means the user logged in elsewhere.
  void OnBroadcast(const wmp_msg* message);
  intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // Watches the back end's notices about the logged-in user.
  void WatchUser(const std::string& userId);

 private:
  void Failed(const std::string& name, const wmp_msg* message);
  void TakeUser(const std::string& userId, const wmp_msg* message);
  void Refresh();

  CControlBlock& m_cb;
  Actions m_actions;
  std::unique_ptr<View> m_view;
  std::string m_userField;
  std::string m_secondField;
  int m_focus = kLoginUserField;
  bool m_busy = false;
  KovoRxNotifier m_notifier{};
  KovoRxControl* m_control = nullptr;  // the dialog's own notifier registration
  int64_t m_watch = 0;
  // Queued forced-logout messages must not reach a destroyed dialog.
  std::shared_ptr<CLoginDlg*> m_alive;
};

}  // namespace kovo
