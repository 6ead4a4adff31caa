#pragma once

#include <memory>
#include <string_view>

namespace kovo {

class CBannerWnd;
class CLoginDlg;

// A window's on-screen half. The logic object owns it, tells it to show
// itself and to refresh after a change; the view reads the logic back.
class View {
 public:
  enum class Centre { kNone, kScreen, kHostWindow };

  virtual ~View() = default;
  virtual void Show(bool show, Centre centre = Centre::kNone) = 0;
  virtual bool IsVisible() const = 0;
  virtual void BringToFront() = 0;
  virtual void SetTitle(std::string_view title) = 0;
  // The logic changed; read it again.
  virtual void Refresh() = 0;
};

// Makes the views of the plug-in's windows: Qt widgets in a Qt host,
// recording fakes in tests and hosts without a screen.
class ViewFactory {
 public:
  virtual ~ViewFactory() = default;
  virtual std::unique_ptr<View> CreateBanner(CBannerWnd& banner) = 0;
  virtual std::unique_ptr<View> CreateLoginDialog(CLoginDlg& dialog) = 0;
};

// The host's main frame, where the plug-in's panes dock. Panes are named
// by an id that stays the same between sessions (the frame's layout uses it).
class HostFrame {
 public:
  virtual ~HostFrame() = default;
  // Docks a view made by the factory as a pane; false when the id is taken
  // or the frame cannot hold the view.
  virtual bool AddPane(std::string_view id, std::string_view title, View& view) = 0;
  virtual void ShowPane(std::string_view id, bool show) = 0;
  virtual bool IsFloating(std::string_view id) const = 0;
  // Docks a floating pane back into the frame.
  virtual void DockPane(std::string_view id) = 0;
  // Takes the pane out of the frame; the view itself stays with its owner.
  virtual void RemovePane(std::string_view id) = 0;
  virtual void RecalcLayout() = 0;
};

}  // namespace kovo
