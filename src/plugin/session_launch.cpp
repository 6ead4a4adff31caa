#include "plugin/session_launch.h"

#include "market/research_module.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "base/number.h"
#include "charts/bar_chart_dlg.h"
#include "market/kovo_market_scanner.h"
#include "market/zint_mkt_monitor.h"
#include "orders/order_api.h"
#include "orders/scripts_view_dlg.h"
#include "plugin/control_block.h"

namespace kovo {
namespace {

constexpr int32_t kScriptsViewBarId = 224;
constexpr int32_t kMarketMonitorBarId = 229;

bool ReadWhole(const std::filesystem::path& path, std::string& text, bool& opened) {
  std::ifstream in(path, std::ios::binary);
  opened = static_cast<bool>(in);
  if (!opened) return false;
  text.clear();
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
    // A profile this long is no profile of ours; stop reading it.
    if (text.size() > kMaxLayoutProfileBytes) return true;
  }
  return !in.bad();
}

// Written beside the profile and renamed over it, so a crash leaves the old
// profile or the new one, never half of one.
bool WriteWhole(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out.write(text.data(), static_cast<std::streamsize>(text.size())) || !out.flush()) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temp, path, error);
  if (!error) return true;
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  return false;
}

}  // namespace

const sLaunchPane* CPaneRegistry::Find(int32_t barId) const {
  if (barId == 0) return nullptr;
  for (const sLaunchPane& pane : m_panes) {
    if (pane.barId == barId) return &pane;
  }
  return nullptr;
}

CPaneRegistry DefaultPaneRegistry() {
  CPaneRegistry registry;
  // The broker calls pane is made with the session's calls feed; a host
  // that cannot make it still gets the rest of its panes.
  registry.Add({CBrokerCalls::kBarId, CBrokerCalls::kPaneId, "Failed to create Broker Calls", false,
                [](CControlBlock& cb) {
                  auto* feed = dynamic_cast<CResearchModule*>(cb.researchFeed.get());
                  if (!feed || !feed->BrokerCalls().CreatePane()) return false;
                  feed->BrokerCalls().ShowPane(false);
                  return true;
                },
                [](CControlBlock& cb, bool show) {
                  if (auto* feed = dynamic_cast<CResearchModule*>(cb.researchFeed.get()))
                    feed->BrokerCalls().ShowPane(show);
                }});
  registry.Add({kScriptsViewBarId, CScriptsViewDlg::kPaneId, "Failed to create Scripts view dlg",
                true,
                [](CControlBlock& cb) {
                  const auto api = OrderApiOf(cb);
                  if (!api || !api->ScriptsView().CreatePane()) return false;
                  api->ScriptsView().ShowPane(false);
                  return true;
                },
                [](CControlBlock& cb, bool show) {
                  if (const auto api = OrderApiOf(cb)) api->ScriptsView().ShowPane(show);
                }});
  registry.Add({CKovoMarketScanner::kBarId, CKovoMarketScanner::kPaneId,
                "Failed to create controlbar", true,
                [](CControlBlock& cb) { return MarketOf(cb).Scanner().CreatePane(); },
                [](CControlBlock& cb, bool show) { MarketOf(cb).Scanner().ShowPane(show); }});
  registry.Add({0, "", "Failed to create controlbar", true,
                [](CControlBlock& cb) { return MarketOf(cb).ScannerDlg().Create(); }, nullptr});
  // Set up with the pane, as the window's own creation would: the message
  // types are asked for and the checked ones subscribed from the start.
  registry.Add({kMarketMonitorBarId, CZintMktMonitor::kPaneId, "Failed to create controlbar", true,
                [](CControlBlock& cb) {
                  CZintMktMonitor* monitor = EnsureMarketMonitor(cb);
                  return monitor && monitor->CreatePane();
                },
                [](CControlBlock& cb, bool show) {
                  if (CZintMktMonitor* monitor = MarketMonitorOf(cb)) monitor->ShowPane(show);
                }});
  // A host that cannot draw the chart still gets the rest of its panes.
  registry.Add({CBarChartDlg::kBarId, CBarChartDlg::kPaneId, CBarChartDlg::kNoControl, false,
                [](CControlBlock& cb) { return OiChartOf(cb).CreatePane(); },
                [](CControlBlock& cb, bool show) { OiChartOf(cb).ShowPane(show); }});
  registry.SetLoad(CBarChartDlg::kBarId, &RestoreOpenInterestBar);
  return registry;
}

CSessionLauncher::CSessionLauncher(CControlBlock& cb, CPaneRegistry registry)
    : m_cb(cb), m_registry(std::move(registry)) {}

std::filesystem::path CSessionLauncher::ProfilePath() const {
  return LayoutProfilePath(m_cb.Settings().AppDataFolder(), m_cb.Settings().HostFolder().string());
}

void CSessionLauncher::Launch(bool panesExist) {
  std::string safeMode;
  if (m_cb.Settings().Read("ZINT_DATA", "SAFE MODE", safeMode, "kovozint.ini",
                           SettingsLocation::kPluginFolder) &&
      LeadingInt32(safeMode) >= 1) {
    m_cb.Report(kSafeMode, kReportMessage);
  }
  bool createdNow = false;
  if (!panesExist) {
    if (!CreatePanes()) return;
    createdNow = true;
  }
  RestoreLayout(createdNow);
}

bool CSessionLauncher::CreatePanes() {
  for (const sLaunchPane& pane : m_registry.Panes()) {
    if (pane.create && pane.create(m_cb)) continue;
    m_cb.Report(pane.failure, kReportError);
    if (pane.failureEndsLaunch) return false;
  }
  m_created = true;
  m_cb.Frame().RecalcLayout();
  return true;
}

void CSessionLauncher::RestoreLayout(bool createdNow) {
  std::string text;
  bool opened = false;
  const bool read = ReadWhole(ProfilePath(), text, opened);
  if (!opened) return;
  std::vector<sSavedPane> saved;
  if (!read || !ReadLayoutProfile(text, saved)) {
    m_cb.Report(kCorrupt, kReportError);
    return;
  }
  HostFrame& frame = m_cb.Frame();
  const sRect screen = m_cb.Screen().ScreenRect();
  for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
    const sLaunchPane* pane = m_registry.Find(it->barId);
    sPaneState now;
    if (!pane || !frame.GetPaneState(pane->paneId, now)) continue;
    sPaneState state = it->state;
    if (state.floating) state.rect = ClampToScreen(state.rect, screen);
    state.visible = false;  // shown below, through the pane, so its window follows
    frame.SetPaneState(pane->paneId, state);
    if (it->state.visible && pane->show) pane->show(m_cb, true);
    if (it->state.visible && createdNow) m_registry.Load(it->barId, m_cb);
  }
  frame.RecalcLayout();
}

bool CSessionLauncher::SaveLayout() const {
  if (!m_created) return false;
  std::vector<sSavedPane> panes;
  for (const sLaunchPane& pane : m_registry.Panes()) {
    sPaneState state;
    if (pane.barId == 0 || !m_cb.Frame().GetPaneState(pane.paneId, state)) continue;
    panes.push_back({pane.barId, state});
  }
  const std::filesystem::path path = ProfilePath();
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (error) return false;
  return WriteWhole(path, WriteLayoutProfile(panes));
}

}  // namespace kovo
