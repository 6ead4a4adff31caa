#pragma once

#include <functional>
#include <memory>

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

#include "gui/qt_view.h"

class QIcon;
class QWidget;

namespace kovo {
class CBeepAlerts;
class CSplashScreen;
class CTaskBarMsgWnd;
class CUpdatesDlg;
}  // namespace kovo

namespace kovo::gui {

// The object names the session's windows carry, so a host can find them.
inline constexpr const char* kUpdatesObjectName = "KovoZintUpdates";
inline constexpr const char* kBeepAlertsObjectName = "KovoZintAlerts";
inline constexpr const char* kPopupObjectName = "KovoZintNotification";
inline constexpr const char* kSplashObjectName = "KovoZintSplash";
// An int property of the pop-up's widget: its height once fully out.
inline constexpr const char* kPopupFullHeightProperty = "kovoFullHeight";

// A 0x00BBGGRR colour value as Qt sees it.
QColor FromColorRef(uint32_t bgr);

// Screen pixels the Qt way and back.
QRect ToQRect(const sRect& rect);
sRect FromQRect(const QRect& rect);

// The primary screen; empty rectangles without one.
class QtScreens final : public Screens {
 public:
  sRect ScreenRect() const override;
  sRect WorkArea() const override;
};

// The offer of a downloaded update: its message and three buttons.
class QtUpdatesView final : public QtView {
 public:
  explicit QtUpdatesView(CUpdatesDlg& dialog);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;

  QPushButton* Button(int id) const;
  QLabel* Message() const { return m_message; }

 private:
  CUpdatesDlg& m_dialog;
  QPointer<QLabel> m_message;
  QPointer<QPushButton> m_runNow;
  QPointer<QPushButton> m_runOnExit;
  QPointer<QPushButton> m_close;
};

// The two beep switches and Save.
class QtBeepAlertsView final : public QtView {
 public:
  explicit QtBeepAlertsView(CBeepAlerts& alerts);
  void Refresh() override;

  QCheckBox* CheckBox(int id) const;
  QPushButton* SaveButton() const { return m_save; }

 private:
  CBeepAlerts& m_alerts;
  QPointer<QCheckBox> m_tradingCalls;
  QPointer<QCheckBox> m_apiOrders;
  QPointer<QPushButton> m_save;
};

// The sliding notice: placed by the logic, drawn here, never activated.
class QtPopupView final : public QtView {
 public:
  // Where the text goes inside the window (the logic leaves room for the band).
  static QRect TextArea(const CTaskBarMsgWnd& popup);
  static constexpr int kTitleBandHeight = 15;

  explicit QtPopupView(CTaskBarMsgWnd& popup);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;
  void BringToFront() override;
  void SetGeometry(const sRect& rect) override;
};

// The picture shown during automatic login; tells the logic whether the
// pointer is over it.
class QtSplashView final : public QtView {
 public:
  explicit QtSplashView(CSplashScreen& splash);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;
  bool HasPicture() const;

 private:
  CSplashScreen& m_splash;
};

// An icon in the notification area for a dialog view that wants one: shown
// while the dialog is, its clicks handed to the callbacks, removed with it.
class QtTrayIcon {
 public:
  struct Handlers {
    std::function<void(const QPoint&)> leftClick;
    std::function<void(const QPoint&)> doubleClick;
    std::function<void(const QPoint&)> rightClick;
  };

  QtTrayIcon(QtView& dialog, const QIcon& icon, const QString& tip, Handlers handlers);
  ~QtTrayIcon();
  QtTrayIcon(const QtTrayIcon&) = delete;
  QtTrayIcon& operator=(const QtTrayIcon&) = delete;

  // Hiding the dialog on minimize, when the icon can be shown at all.
  void SetMinimizeToTray(bool on);
  bool MinimizeToTray() const { return m_minimizeToTray; }
  bool IconShown() const;
  QSystemTrayIcon* Icon() const { return m_icon; }

 private:
  class Watcher;

  QPointer<QWidget> m_dialog;
  QPointer<QSystemTrayIcon> m_icon;
  Watcher* m_watcher = nullptr;
  bool m_minimizeToTray = false;
};

}  // namespace kovo::gui
