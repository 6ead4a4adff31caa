// The plug-in's C entry points: thin, exception-proof shells over CZintPlugin.
#include <kovozint/kovozint.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "plugin/plugin_info.h"
#include "plugin/plugin_instance.h"
#include "plugin/zint_plugin.h"

#include <dlfcn.h>

#include <filesystem>

namespace {

using kovo::CZintPlugin;

std::string Text(const char* s) {
  return s ? std::string(s) : std::string();
}

using kovo::CopyOut;

std::vector<std::string> Fields(const char* const* fields, int32_t count) {
  std::vector<std::string> out;
  if (!fields) return out;
  for (int32_t i = 0; i < count; ++i) out.push_back(Text(fields[i]));
  return out;
}

void Append(KovoTextList* list, const std::string& text) {
  if (!list) return;
  if (list->texts && list->count >= 0 && list->count < list->capacity) {
    CopyOut(text, list->texts[list->count], KOVO_MENU_TEXT_LEN);
  }
  ++list->count;
}

void Append(KovoIntList* list, int32_t value) {
  if (!list) return;
  if (list->values && list->count >= 0 && list->count < list->capacity) {
    list->values[list->count] = value;
  }
  ++list->count;
}

// The Qt application object of the process, when the host runs one. Looked
// up by name so this library never loads Qt itself.
bool QtApplicationRunning() {
  void* const* self = static_cast<void* const*>(dlsym(RTLD_DEFAULT, "_ZN16QCoreApplication4selfE"));
  return self && *self;
}

// libKovoZintQt.so beside this library; it stays loaded for the process,
// since the ports it makes live in its code.
bool MakeQtPorts(kovo::PluginPorts& ports) {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&QtApplicationRunning), &info) || !info.dli_fname) {
    return false;
  }
  const std::filesystem::path module =
      std::filesystem::path(info.dli_fname).parent_path() / "libKovoZintQt.so";
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  using MakeFn = int32_t (*)(void*);
  const auto make = reinterpret_cast<MakeFn>(dlsym(handle, "kovo_zint_qt_make_ports"));
  return make && make(&ports) != 0;
}

kovo::PluginPorts MakePorts(const kovo::HostResolver& resolve) {
  kovo::PluginPorts ports;
  if (QtApplicationRunning() && MakeQtPorts(ports)) return ports;
  return kovo::MakeHeadlessPorts(resolve);
}

}  // namespace

kovo::CZintPlugin& kovo::ThePlugin() {
  static CZintPlugin plugin([] {
    kovo::sPluginEnvironment env;
    env.resolve = kovo::ProcessHostResolver();
    env.makePorts = &MakePorts;
    // Hosts that keep their files apart from their program say where.
    if (const char* folder = std::getenv("KOVOZINT_HOST_FOLDER")) env.hostFolder = folder;
    return env;
  }());
  return plugin;
}

namespace {

CZintPlugin& Plugin() {
  return kovo::ThePlugin();
}

// The toolbar picture: a white "Z" on the product's blue, 16 by 16.
void DrawToolbarBitmap(KovoBitmap* bitmap) {
  constexpr int32_t kSize = 16;
  bitmap->width = kSize;
  bitmap->height = kSize;
  if (!bitmap->pixels || bitmap->capacity < static_cast<size_t>(kSize * kSize)) return;
  for (int32_t y = 0; y < kSize; ++y) {
    for (int32_t x = 0; x < kSize; ++x) {
      const bool inside = x >= 3 && x <= 12 && y >= 3 && y <= 12;
      const bool stroke = inside && (y == 3 || y == 12 || x + y == 15 || x + y == 16);
      bitmap->pixels[y * kSize + x] = stroke ? 0xFFFFFFFFu : 0xFF1F4E99u;
    }
  }
}

}  // namespace

extern "C" {

KOVO_PLUGIN_API int32_t GetKovoPluginInfo(char* name, size_t nameCap, char* version,
                                          size_t versionCap, void* reserved, int32_t* id,
                                          int32_t* kind) {
  (void)reserved;
  CopyOut(kovo::kPluginName, name, nameCap);
  CopyOut(kovo::kPluginVersion, version, versionCap);
  if (id) *id = kovo::kPluginId;
  if (kind) *kind = kovo::kPluginKind;
  return 1;
}

KOVO_PLUGIN_API void GetOptionalKovoPluginInfo(char* text, size_t textCap, KovoTextList* list,
                                               KovoTextList* hotKeys, KovoTextList* names,
                                               KovoIntList* kinds) {
  try {
    CopyOut("", text, textCap);
    if (list) list->count = 0;
    for (const kovo::sMenuRow& row : Plugin().MenuRows()) {
      Append(hotKeys, row.hotKey);
      Append(names, row.name);
      Append(kinds, row.kind);
    }
  } catch (...) {
  }
}

KOVO_PLUGIN_API void InitKovoPlugin(void* hostValue, const char* text, int32_t value,
                                    const char* text2) {
  (void)hostValue, (void)text, (void)value, (void)text2;
  try {
    Plugin().Init();
  } catch (...) {
  }
}

KOVO_PLUGIN_API int32_t ProcessKovoPluginMsg(void* message) {
  (void)message;
  return 0;
}

KOVO_PLUGIN_API void PluginProcessHotKey(const char* item, int32_t kind, int32_t reserved,
                                         const char* const* scripFields, int32_t scripFieldCount) {
  (void)reserved;
  try {
    Plugin().ProcessHotKey(Text(item), kind, Fields(scripFields, scripFieldCount));
  } catch (...) {
  }
}

KOVO_PLUGIN_API void GetToolbarBitmap(KovoBitmap* bitmap) {
  if (bitmap) DrawToolbarBitmap(bitmap);
}

KOVO_PLUGIN_API int32_t SetAutoLogin(const char* loginId, const char* hostUserId) {
  try {
    Plugin().autoLoginId = Text(loginId);
    Plugin().hostUserId = Text(hostUserId);
  } catch (...) {
  }
  return 1;
}

KOVO_PLUGIN_API int32_t LaunchOnStart(const char* loginId, const char* hostUserId) {
  try {
    return Plugin().LaunchOnStart(Text(loginId), Text(hostUserId));
  } catch (...) {
    return 0;
  }
}

KOVO_PLUGIN_API int32_t InvokeIntradayChart(const char* symbol, const char* scripKey,
                                            int32_t precision, double multiplier, int32_t interval,
                                            uint8_t dataTable) {
  try {
    return Plugin().InvokeIntradayChart(Text(symbol), Text(scripKey), precision, multiplier,
                                        interval, dataTable != 0);
  } catch (...) {
    return 0;
  }
}

KOVO_PLUGIN_API void On_MW_Scrip_Added(int32_t count, const char* const* scripFields,
                                       int32_t scripFieldCount) {
  try {
    Plugin().ScripAdded(count, Fields(scripFields, scripFieldCount));
  } catch (...) {
  }
}

KOVO_PLUGIN_API void pu_scrip_details_notify(const char* context, const sScripDetails* details) {
  try {
    if (details) Plugin().ScripDetailsNotify(Text(context), *details);
  } catch (...) {
  }
}

KOVO_PLUGIN_API int32_t check_for_updates(void) {
  try {
    return Plugin().CheckForUpdates();
  } catch (...) {
    return 0;
  }
}

KOVO_PLUGIN_API void ExitKovoPlugin(void) {
  try {
    Plugin().Exit();
  } catch (...) {
  }
}

}  // extern "C"
