#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/layout_profile.h"

namespace kovo {

class CControlBlock;

// One pane the session launch creates, in its turn.
struct sLaunchPane {
  int32_t barId = 0;    // 0: a window that takes no part in the layout
  std::string paneId;   // the frame's name of the pane; empty with barId 0
  std::string failure;  // reported as an error when creating fails
  bool failureEndsLaunch = true;
  // Creates the window, docked and hidden; false when it cannot.
  std::function<bool(CControlBlock&)> create;
  // Shows or hides a created pane.
  std::function<void(CControlBlock&, bool)> show;
};

// The panes by bar id, in creation order; later features add their row.
class CPaneRegistry {
 public:
  void Add(sLaunchPane pane) { m_panes.push_back(std::move(pane)); }
  const std::vector<sLaunchPane>& Panes() const { return m_panes; }
  const sLaunchPane* Find(int32_t barId) const;
  // What a pane the layout shows loads (its page or scrip) in a launch that created it.
  void SetLoad(int32_t barId, std::function<void(CControlBlock&)> load) {
    m_loads[barId] = std::move(load);
  }
  void Load(int32_t barId, CControlBlock& cb) const {
    const auto it = m_loads.find(barId);
    if (it != m_loads.end() && it->second) it->second(cb);
  }

 private:
  std::vector<sLaunchPane> m_panes;
  std::map<int32_t, std::function<void(CControlBlock&)>> m_loads;
};

// The panes of this version: the broker calls (30015), the scripts view
// (224), the market movers pane (230), the market movers dialog, the
// market monitor (229) and the open interest chart (10053).
CPaneRegistry DefaultPaneRegistry();

// Creates the session's panes and restores the saved layout; writes the
// layout back at shutdown.
class CSessionLauncher {
 public:
  static constexpr const char* kSafeMode = "Kovo Zint is running in Safe Mode";
  static constexpr const char* kCorrupt = "zint profile is corrupted,can not restore zint profile";

  CSessionLauncher(CControlBlock& cb, CPaneRegistry registry);

  // panesExist clear: create the panes, then restore; set: restore only.
  void Launch(bool panesExist);
  // The profile of this host installation.
  std::filesystem::path ProfilePath() const;
  // Writes where the registry's panes are now; nothing before a launch created them.
  bool SaveLayout() const;
  bool PanesCreated() const { return m_created; }

 private:
  bool CreatePanes();
  void RestoreLayout(bool createdNow);

  CControlBlock& m_cb;
  CPaneRegistry m_registry;
  bool m_created = false;
};

}  // namespace kovo
