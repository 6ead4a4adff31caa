#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <kovozint/kovozint.h>

namespace kovo::terminal {

// One row of the plug-in's menu announcement.
struct PluginMenuItem {
  std::string hotKey;  // empty: the item has none
  std::string name;
  int32_t kind = 0;

  // What the host hands back to PluginProcessHotKey for this item.
  const std::string& CommandText() const { return hotKey.empty() ? name : hotKey; }
};

// A plug-in library loaded with dlopen and its entry points. Every entry
// point may be missing (nullptr); callers test before calling.
class CPluginLibrary {
 public:
  CPluginLibrary() = default;
  ~CPluginLibrary();
  CPluginLibrary(const CPluginLibrary&) = delete;
  CPluginLibrary& operator=(const CPluginLibrary&) = delete;

  // False with the loader's reason when the library cannot be loaded.
  bool Load(const std::string& path, std::string* error);
  void Unload();
  bool IsLoaded() const { return m_handle != nullptr; }
  const std::string& Path() const { return m_path; }
  // Entry points the library does not export.
  const std::vector<std::string>& Missing() const { return m_missing; }
  void* Symbol(const char* name) const;

  // The menu rows; empty when the entry point is missing.
  std::vector<PluginMenuItem> MenuItems() const;
  // The toolbar picture as 0xAARRGGBB pixels, rows top to bottom; empty
  // when missing or of an unreasonable size.
  bool ToolbarBitmap(int32_t* width, int32_t* height, std::vector<uint32_t>* pixels) const;

  decltype(&::GetKovoPluginInfo) getInfo = nullptr;
  decltype(&::GetOptionalKovoPluginInfo) getMenu = nullptr;
  decltype(&::InitKovoPlugin) init = nullptr;
  decltype(&::PluginProcessHotKey) processHotKey = nullptr;
  decltype(&::GetToolbarBitmap) getToolbarBitmap = nullptr;
  decltype(&::SetAutoLogin) setAutoLogin = nullptr;
  decltype(&::LaunchOnStart) launchOnStart = nullptr;
  decltype(&::InvokeIntradayChart) invokeIntradayChart = nullptr;
  decltype(&::On_MW_Scrip_Added) scripAdded = nullptr;
  decltype(&::pu_scrip_details_notify) scripDetailsNotify = nullptr;
  decltype(&::check_for_updates) checkForUpdates = nullptr;
  decltype(&::ExitKovoPlugin) exit = nullptr;

 private:
  template <typename Fn>
  void Resolve(Fn& fn, const char* name);

  void* m_handle = nullptr;
  std::string m_path;
  std::vector<std::string> m_missing;
};

}  // namespace kovo::terminal
