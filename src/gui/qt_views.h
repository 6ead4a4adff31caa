#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include "platform/view.h"

class QLineEdit;
class QPushButton;

namespace kovo {
class CBannerWnd;
class CLoginDlg;
}  // namespace kovo

namespace kovo::gui {

// The name the host gives its main window, so plug-ins can find it.
inline constexpr const char* kHostMainWindowName = "KovoTerminalMainWindow";

// The host's main window: the top-level window named kHostMainWindowName,
// else the first top-level QMainWindow; nullptr without one.
QMainWindow* FindHostMainWindow();

// A view drawn by a Qt widget. The view owns the widget; a frame that docks
// it only borrows it.
class QtView : public View {
 public:
  explicit QtView(QWidget* widget);
  ~QtView() override;
  QtView(const QtView&) = delete;
  QtView& operator=(const QtView&) = delete;

  QWidget* Widget() const { return m_widget; }

  void Show(bool show, Centre centre = Centre::kNone) override;
  bool IsVisible() const override;
  void BringToFront() override;
  void SetTitle(std::string_view title) override;

 private:
  QPointer<QWidget> m_widget;
};

// The greeting window: the product's name over the user line.
class QtBannerView final : public QtView {
 public:
  explicit QtBannerView(CBannerWnd& banner);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;

  QString TitleText() const;
  QString UserText() const;

 private:
  CBannerWnd& m_banner;
  QPointer<QLabel> m_title;
  QPointer<QLabel> m_user;
};

// The login dialog: the Zint id and the second field, OK and Cancel. Edits
// and clicks go to the logic; Refresh shows its fields, focus and states.
class QtLoginView final : public QtView {
 public:
  explicit QtLoginView(CLoginDlg& dialog);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;

 private:
  CLoginDlg& m_dialog;
  QPointer<QLineEdit> m_user;
  QPointer<QLineEdit> m_second;
  QPointer<QPushButton> m_ok;
  QPointer<QPushButton> m_cancel;
  QPointer<QLabel> m_busy;
};

class QtViewFactory final : public ViewFactory {
 public:
  std::unique_ptr<View> CreateBanner(CBannerWnd& banner) override;
  std::unique_ptr<View> CreateLoginDialog(CLoginDlg& dialog) override;
  std::unique_ptr<View> CreateUpdatesDialog(CUpdatesDlg& dialog) override;
  std::unique_ptr<View> CreateBeepAlerts(CBeepAlerts& alerts) override;
  std::unique_ptr<View> CreatePopup(CTaskBarMsgWnd& popup) override;
  // Nothing when the picture cannot be loaded.
  std::unique_ptr<View> CreateSplash(CSplashScreen& splash) override;
  std::unique_ptr<View> CreateChartView(CFChartView& chart) override;
  std::unique_ptr<View> CreateApiOrdersWindow(CApiOrderDetailsDlg& dialog) override;
  std::unique_ptr<View> CreateScriptsView(CScriptsViewDlg& view) override;
};

// Docks panes in the host's QMainWindow, one QDockWidget per pane named
// after the pane's id (the layout the main window saves uses that name).
class QtHostFrame final : public HostFrame {
 public:
  // Looks for the host's main window when the first pane arrives.
  QtHostFrame() = default;
  explicit QtHostFrame(QMainWindow* mainWindow);
  ~QtHostFrame() override;
  QtHostFrame(const QtHostFrame&) = delete;
  QtHostFrame& operator=(const QtHostFrame&) = delete;

  bool AddPane(std::string_view id, std::string_view title, View& view) override;
  void ShowPane(std::string_view id, bool show) override;
  bool IsFloating(std::string_view id) const override;
  void DockPane(std::string_view id) override;
  void RemovePane(std::string_view id) override;
  void RecalcLayout() override;

  QDockWidget* Dock(std::string_view id) const;

 private:
  QMainWindow* MainWindow();

  QPointer<QMainWindow> m_mainWindow;
  std::map<std::string, QPointer<QDockWidget>, std::less<>> m_docks;
};

// Centres a top-level widget on the host's main window (or, without one, on
// the screen), or on the screen.
void CentreWidget(QWidget& widget, View::Centre centre);

}  // namespace kovo::gui
