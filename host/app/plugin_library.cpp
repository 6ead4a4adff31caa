#include "host/app/plugin_library.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace kovo::terminal {
namespace {

constexpr int32_t kFirstMenuCapacity = 32;
constexpr int32_t kMaxMenuRows = 1024;
constexpr int32_t kMaxBitmapSide = 512;

struct TextRows {
  explicit TextRows(int32_t capacity)
      : rows(std::make_unique<char[][KOVO_MENU_TEXT_LEN]>(static_cast<size_t>(capacity))),
        list{rows.get(), capacity, 0} {}

  // The plug-in promises NUL-terminated rows; a row that is not is cut.
  std::string Row(int32_t i) const {
    const char* text = rows[static_cast<size_t>(i)];
    return std::string(text, strnlen(text, KOVO_MENU_TEXT_LEN));
  }

  std::unique_ptr<char[][KOVO_MENU_TEXT_LEN]> rows;
  KovoTextList list;
};

}  // namespace

CPluginLibrary::~CPluginLibrary() {
  Unload();
}

template <typename Fn>
void CPluginLibrary::Resolve(Fn& fn, const char* name) {
  // dlsym hands back an object pointer; POSIX guarantees it converts to a function's.
  fn = reinterpret_cast<Fn>(::dlsym(m_handle, name));
  if (!fn) m_missing.emplace_back(name);
}

bool CPluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_handle) {
    if (error) {
      const char* reason = ::dlerror();
      *error = reason ? reason : "cannot load " + path;
    }
    return false;
  }
  m_path = path;
  Resolve(getInfo, "GetKovoPluginInfo");
  Resolve(getMenu, "GetOptionalKovoPluginInfo");
  Resolve(init, "InitKovoPlugin");
  Resolve(processHotKey, "PluginProcessHotKey");
  Resolve(getToolbarBitmap, "GetToolbarBitmap");
  Resolve(setAutoLogin, "SetAutoLogin");
  Resolve(launchOnStart, "LaunchOnStart");
  Resolve(invokeIntradayChart, "InvokeIntradayChart");
  Resolve(scripAdded, "On_MW_Scrip_Added");
  Resolve(scripDetailsNotify, "pu_scrip_details_notify");
  Resolve(checkForUpdates, "check_for_updates");
  Resolve(exit, "ExitKovoPlugin");
  return true;
}

void CPluginLibrary::Unload() {
  getInfo = nullptr;
  getMenu = nullptr;
  init = nullptr;
  processHotKey = nullptr;
  getToolbarBitmap = nullptr;
  setAutoLogin = nullptr;
  launchOnStart = nullptr;
  invokeIntradayChart = nullptr;
  scripAdded = nullptr;
  scripDetailsNotify = nullptr;
  checkForUpdates = nullptr;
  exit = nullptr;
  m_missing.clear();
  if (m_handle) ::dlclose(m_handle);
  m_handle = nullptr;
  m_path.clear();
}

void* CPluginLibrary::Symbol(const char* name) const {
  return m_handle && name ? ::dlsym(m_handle, name) : nullptr;
}

std::vector<PluginMenuItem> CPluginLibrary::MenuItems() const {
  if (!getMenu) return {};
  int32_t capacity = kFirstMenuCapacity;
  for (;;) {
    char text[256] = {};
    TextRows list(capacity), hotKeys(capacity), names(capacity);
    std::vector<int32_t> kindValues(static_cast<size_t>(capacity), 0);
    KovoIntList kinds{kindValues.data(), capacity, 0};
    getMenu(text, sizeof text, &list.list, &hotKeys.list, &names.list, &kinds);
    const int32_t needed = std::max({hotKeys.list.count, names.list.count, kinds.count});
    // Rows past the capacity were counted, not written: ask again with room.
    if (needed > capacity && capacity < kMaxMenuRows) {
      capacity = std::min(needed, kMaxMenuRows);
      continue;
    }
    const int32_t rows =
        std::clamp(std::min({hotKeys.list.count, names.list.count, kinds.count}), 0, capacity);
    std::vector<PluginMenuItem> items;
    for (int32_t i = 0; i < rows; ++i)
      items.push_back({hotKeys.Row(i), names.Row(i), kindValues[static_cast<size_t>(i)]});
    return items;
  }
}

bool CPluginLibrary::ToolbarBitmap(int32_t* width, int32_t* height,
                                   std::vector<uint32_t>* pixels) const {
  if (!getToolbarBitmap) return false;
  KovoBitmap bitmap{0, 0, nullptr, 0};
  getToolbarBitmap(&bitmap);
  if (bitmap.width <= 0 || bitmap.height <= 0 || bitmap.width > kMaxBitmapSide ||
      bitmap.height > kMaxBitmapSide)
    return false;
  std::vector<uint32_t> out(static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height));
  const int32_t w = bitmap.width, h = bitmap.height;
  bitmap.pixels = out.data();
  bitmap.capacity = out.size();
  getToolbarBitmap(&bitmap);
  if (bitmap.width != w || bitmap.height != h) return false;
  *width = w;
  *height = h;
  *pixels = std::move(out);
  return true;
}

}  // namespace kovo::terminal
