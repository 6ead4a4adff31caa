#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <QDockWidget>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include "platform/view.h"

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
  bool GetPaneState(std::string_view id, sPaneState& state) const override;
  void SetPaneState(std::string_view id, const sPaneState& state) override;

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
