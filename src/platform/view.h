#pragma once

#include <memory>
#include <string_view>

namespace kovo {

class CApiOrderDetailsDlg;
class CBannerWnd;
class CBarChartDlg;
class CBeepAlerts;
class CBrokerCalls;
class CNews;
class CNewsStory;
class CDataTableDlg;
class CFChartView;
class CFIndicatorSettingDlg;
class CLoginDlg;
class CMasterChartSetting;
class CMarketScannerLogic;
class CScriptsViewDlg;
class CSplashScreen;
class CTaskBarMsgWnd;
class CUpdatesDlg;
class CZintMktMonitor;

// A rectangle in screen pixels: left, top, right and bottom edges.
struct sRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const sRect&) const = default;
};

// The primary screen and the part of it the taskbar leaves free.
class Screens {
 public:
  virtual ~Screens() = default;
  virtual sRect ScreenRect() const = 0;
  virtual sRect WorkArea() const = 0;
};

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
  // Windows that place themselves (pop-ups) say where, in screen pixels.
  virtual void SetGeometry(const sRect& rect) { (void)rect; }
};

// Makes the views of the plug-in's windows: Qt widgets in a Qt host,
// recording fakes in tests and hosts without a screen.
class ViewFactory {
 public:
  virtual ~ViewFactory() = default;
  virtual std::unique_ptr<View> CreateBanner(CBannerWnd& banner) = 0;
  virtual std::unique_ptr<View> CreateLoginDialog(CLoginDlg& dialog) = 0;
  virtual std::unique_ptr<View> CreateUpdatesDialog(CUpdatesDlg& dialog) = 0;
  virtual std::unique_ptr<View> CreateBeepAlerts(CBeepAlerts& alerts) = 0;
  // Topmost and never activated.
  virtual std::unique_ptr<View> CreatePopup(CTaskBarMsgWnd& popup) = 0;
  virtual std::unique_ptr<View> CreateSplash(CSplashScreen& splash) = 0;
  // A chart window's pane; null when the window system cannot make one.
  virtual std::unique_ptr<View> CreateChartView(CFChartView& chart) = 0;
  // An API script's orders window and the scripts pane; null where no
  // window system can make one.
  virtual std::unique_ptr<View> CreateApiOrdersWindow(CApiOrderDetailsDlg& dialog) {
    (void)dialog;
    return nullptr;
  }
  virtual std::unique_ptr<View> CreateScriptsView(CScriptsViewDlg& view) {
    (void)view;
    return nullptr;
  }
  // The market monitor pane; null where no window system can make one.
  virtual std::unique_ptr<View> CreateMarketMonitor(CZintMktMonitor& monitor) {
    (void)monitor;
    return nullptr;
  }
  // The broker calls pane; null where no window system can make one.
  virtual std::unique_ptr<View> CreateBrokerCalls(CBrokerCalls& calls) {
    (void)calls;
    return nullptr;
  }
  // The news window and its story window.
  virtual std::unique_ptr<View> CreateNewsWindow(CNews& news) {
    (void)news;
    return nullptr;
  }
  virtual std::unique_ptr<View> CreateNewsStory(CNewsStory& story) {
    (void)story;
    return nullptr;
  }
  // A chart window's data table; null where no window system can make one.
  virtual std::unique_ptr<View> CreateDataTable(CDataTableDlg& table) {
    (void)table;
    return nullptr;
  }
  // The charts' modal dialogs: kIdOk or kIdCancel as the user closed them,
  // 0 where none can be shown (the caller then goes on with the defaults).
  virtual int RunIndicatorSettings(CFIndicatorSettingDlg& dialog) {
    (void)dialog;
    return 0;
  }
  virtual int RunChartSettings(CMasterChartSetting& dialog) {
    (void)dialog;
    return 0;
  }
  // The open interest chart's window; null where no window system can make one.
  virtual std::unique_ptr<View> CreateOiChart(CBarChartDlg& chart) {
    (void)chart;
    return nullptr;
  }
  // The market movers window, as a pane or as a dialog.
  virtual std::unique_ptr<View> CreateMarketScanner(CMarketScannerLogic& scanner, bool pane) {
    (void)scanner, (void)pane;
    return nullptr;
  }
};

// Where a docked pane sits in the host's main frame.
enum class DockSide { kLeft, kRight, kTop, kBottom };

// A pane's place in the frame, as a layout keeps it.
struct sPaneState {
  bool visible = false;
  bool floating = false;
  DockSide side = DockSide::kRight;
  sRect rect{};  // a floating pane's window, in screen pixels
  bool operator==(const sPaneState&) const = default;
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
  // The pane's place; false when the frame has no such pane.
  virtual bool GetPaneState(std::string_view id, sPaneState& state) const = 0;
  // Docks the pane at its side or floats it at its rectangle, and shows or hides it.
  virtual void SetPaneState(std::string_view id, const sPaneState& state) = 0;
};

}  // namespace kovo
