#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"
#include "platform/view.h"

namespace kovo {

// A view without a screen: it keeps what a screen would show, so hosts
// without one and tests can read it back.
class HeadlessView final : public View {
 public:
  void Show(bool show, Centre centre) override {
    m_visible = show;
    if (show) m_centre = centre;
  }
  bool IsVisible() const override { return m_visible; }
  void BringToFront() override { ++m_broughtToFront; }
  void SetTitle(std::string_view title) override { m_title = title; }
  void Refresh() override { ++m_refreshes; }
  void SetGeometry(const sRect& rect) override { m_geometry = rect; }
  const sRect& Geometry() const { return m_geometry; }

  Centre LastCentre() const { return m_centre; }
  const std::string& Title() const { return m_title; }
  int Refreshes() const { return m_refreshes; }
  int BroughtToFront() const { return m_broughtToFront; }

 private:
  bool m_visible = false;
  Centre m_centre = Centre::kNone;
  std::string m_title;
  int m_refreshes = 0;
  int m_broughtToFront = 0;
  sRect m_geometry{};
};

class HeadlessViewFactory final : public ViewFactory {
 public:
  std::unique_ptr<View> CreateBanner(CBannerWnd&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateLoginDialog(CLoginDlg&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateUpdatesDialog(CUpdatesDlg&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateBeepAlerts(CBeepAlerts&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreatePopup(CTaskBarMsgWnd&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateSplash(CSplashScreen&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateChartView(CFChartView&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateApiOrdersWindow(CApiOrderDetailsDlg&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateScriptsView(CScriptsViewDlg&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateDataTable(CDataTableDlg&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateBrokerCalls(CBrokerCalls&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateMarketMonitor(CZintMktMonitor&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateNewsWindow(CNews&) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateNewsStory(CNewsStory&) override {
    return std::make_unique<HeadlessView>();
  }
  // Without a screen nobody answers a modal dialog; a test can stand in.
  int RunIndicatorSettings(CFIndicatorSettingDlg& dialog) override {
    return indicatorSettings ? indicatorSettings(dialog) : 0;
  }
  int RunChartSettings(CMasterChartSetting& dialog) override {
    return chartSettings ? chartSettings(dialog) : 0;
  }
  std::function<int(CFIndicatorSettingDlg&)> indicatorSettings;
  std::function<int(CMasterChartSetting&)> chartSettings;
  std::unique_ptr<View> CreateMarketScanner(CMarketScannerLogic&, bool) override {
    return std::make_unique<HeadlessView>();
  }
  std::unique_ptr<View> CreateOiChart(CBarChartDlg&) override {
    return std::make_unique<HeadlessView>();
  }
};

// A 1920 by 1080 screen with a 40-pixel taskbar at the bottom, unless told otherwise.
class HeadlessScreens final : public Screens {
 public:
  sRect ScreenRect() const override { return screen; }
  sRect WorkArea() const override { return work; }
  sRect screen{0, 0, 1920, 1080};
  sRect work{0, 0, 1920, 1040};
};

// Panes by id, with their shown and floating states.
class HeadlessHostFrame final : public HostFrame {
 public:
  struct Pane {
    std::string title;
    View* view = nullptr;
    bool shown = false;
    bool floating = false;
    DockSide side = DockSide::kRight;
    sRect rect{};
    // Panes named alike but for a trailing number share one tab stack.
    std::string tabbedWith;
  };

  bool AddPane(std::string_view id, std::string_view title, View& view) override {
    Pane pane;
    pane.title = title;
    pane.view = &view;
    for (const auto& [other, existing] : m_panes) {
      if (!existing.floating && !TabGroup(id).empty() && TabGroup(other) == TabGroup(id))
        pane.tabbedWith = other;
    }
    return m_panes.try_emplace(std::string(id), std::move(pane)).second;
  }
  void ShowPane(std::string_view id, bool show) override {
    if (Pane* pane = Find(id)) pane->shown = show;
  }
  bool IsFloating(std::string_view id) const override {
    const auto it = m_panes.find(std::string(id));
    return it != m_panes.end() && it->second.floating;
  }
  void DockPane(std::string_view id) override {
    if (Pane* pane = Find(id)) pane->floating = false;
  }
  void RemovePane(std::string_view id) override { m_panes.erase(std::string(id)); }
  void RecalcLayout() override { ++m_layouts; }
  bool GetPaneState(std::string_view id, sPaneState& state) const override {
    const auto it = m_panes.find(std::string(id));
    if (it == m_panes.end()) return false;
    state = {it->second.shown, it->second.floating, it->second.side, it->second.rect};
    return true;
  }
  void SetPaneState(std::string_view id, const sPaneState& state) override {
    Pane* pane = Find(id);
    if (!pane) return;
    pane->shown = state.visible;
    pane->floating = state.floating;
    pane->side = state.side;
    if (state.floating) pane->rect = state.rect;
  }
  // An id without its trailing number; empty for an id that ends in none.
  static std::string_view TabGroup(std::string_view id) {
    size_t end = id.size();
    while (end > 0 && id[end - 1] >= '0' && id[end - 1] <= '9') --end;
    return end == id.size() ? std::string_view() : id.substr(0, end);
  }

  void SetFloating(std::string_view id, bool floating) {
    if (Pane* pane = Find(id)) pane->floating = floating;
  }
  const std::map<std::string, Pane>& Panes() const { return m_panes; }
  int Layouts() const { return m_layouts; }

 private:
  Pane* Find(std::string_view id) {
    const auto it = m_panes.find(std::string(id));
    return it == m_panes.end() ? nullptr : &it->second;
  }

  std::map<std::string, Pane> m_panes;
  int m_layouts = 0;
};

// Dialogs without a screen: message boxes go to standard error and take
// their first button; pickers report a cancel.
class HeadlessDialogs final : public Dialogs {
 public:
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void MessageBeep(unsigned) override {}
  bool ChooseColor(uint32_t&) override { return false; }
  bool ChooseFont(FontChoice&) override { return false; }
  bool ChooseOpenFile(std::string_view, std::string_view, std::string&) override { return false; }
  bool ChooseSaveFile(std::string_view, std::string_view, std::string&) override { return false; }
};

}  // namespace kovo
