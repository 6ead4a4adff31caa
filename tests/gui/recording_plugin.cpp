// A stand-in plug-in for the terminal's tests: announces a menu, and appends
// every call it gets, one tab-separated line each, to the file named by
// KOVO_RECORDING_PLUGIN_LOG.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <kovozint/kovozint.h>

namespace {

constexpr int32_t kMenuRows = 40;  // more than a host's first guess at the room needed
constexpr const char* kReadyMessage =
    "ENGINE_CREATION_DONE{2B914891-C4D6-4410-AFE0-0C6683AE576C}_MSG";

uint32_t g_readyMessage = 0;
uint64_t g_window = 0;

void Record(const std::string& line) {
  const char* path = std::getenv("KOVO_RECORDING_PLUGIN_LOG");
  if (!path || !*path) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fputs(line.c_str(), file);
    std::fputc('\n', file);
    std::fclose(file);
  }
}

std::string Text(const char* text) {
  return text ? text : "";
}

void Append(KovoTextList* list, const char* text) {
  if (list->count < list->capacity)
    std::snprintf(list->texts[list->count], KOVO_MENU_TEXT_LEN, "%s", text);
  ++list->count;
}

void Append(KovoIntList* list, int32_t value) {
  if (list->count < list->capacity) list->values[list->count] = value;
  ++list->count;
}

intptr_t WindowProc(void*, uint32_t message, uintptr_t, intptr_t) {
  if (message != 0 && message == g_readyMessage) Record("ready message");
  return 0;
}

template <typename Fn>
Fn HostFunction(const char* name) {
  return reinterpret_cast<Fn>(::dlsym(RTLD_DEFAULT, name));
}

}  // namespace

extern "C" {

KOVO_PLUGIN_API int32_t GetKovoPluginInfo(char* name, size_t nameCap, char* version,
                                          size_t versionCap, void*, int32_t* id, int32_t* kind) {
  Record("GetKovoPluginInfo");
  if (name && nameCap) std::snprintf(name, nameCap, "%s", "Recorder");
  if (version && versionCap) std::snprintf(version, versionCap, "%s", "1.0");
  if (id) *id = 1;
  if (kind) *kind = 63;
  return 1;
}

KOVO_PLUGIN_API void GetOptionalKovoPluginInfo(char* text, size_t textCap, KovoTextList* list,
                                               KovoTextList* hotKeys, KovoTextList* names,
                                               KovoIntList* kinds) {
  Record("GetOptionalKovoPluginInfo\t" + std::to_string(names ? names->capacity : -1));
  if (text && textCap) text[0] = '\0';
  if (list) list->count = 0;
  if (!hotKeys || !names || !kinds) return;
  hotKeys->count = names->count = kinds->count = 0;
  Append(hotKeys, "Shift+P");
  Append(names, "Zint Chart");
  Append(kinds, 1);
  Append(hotKeys, "");
  Append(names, "Market Monitor");
  Append(kinds, 0);
  for (int32_t i = 3; i <= kMenuRows; ++i) {
    Append(hotKeys, "");
    Append(names, ("Extra " + std::to_string(i)).c_str());
    Append(kinds, 0);
  }
}

KOVO_PLUGIN_API void InitKovoPlugin(void*, const char* text, int32_t value, const char*) {
  Record("InitKovoPlugin\t" + Text(text) + "\t" + std::to_string(value));
  using Register = uint32_t (*)(const char*);
  using Create = uint64_t (*)(const char*, const char*, KovoWndProc, void*);
  auto registerMessage = HostFunction<Register>("kovo_register_window_message");
  auto createWindow = HostFunction<Create>("kovo_create_window");
  if (registerMessage && createWindow) {
    g_readyMessage = registerMessage(kReadyMessage);
    g_window = createWindow("Recorder", "Recorder", &WindowProc, nullptr);
  }
}

KOVO_PLUGIN_API int32_t ProcessKovoPluginMsg(void*) {
  return 0;
}

KOVO_PLUGIN_API void PluginProcessHotKey(const char* item, int32_t kind, int32_t,
                                         const char* const* scripFields, int32_t count) {
  std::string line = "PluginProcessHotKey\t" + Text(item) + "\t" + std::to_string(kind);
  for (int32_t i = 0; scripFields && i < count; ++i) line += "\t" + Text(scripFields[i]);
  Record(line);
}

KOVO_PLUGIN_API void GetToolbarBitmap(KovoBitmap* bitmap) {
  Record("GetToolbarBitmap");
  bitmap->width = 4;
  bitmap->height = 4;
  if (bitmap->pixels && bitmap->capacity >= 16) {
    for (int i = 0; i < 16; ++i) bitmap->pixels[i] = 0xFF2060A0u;
  }
}

KOVO_PLUGIN_API int32_t SetAutoLogin(const char* loginId, const char* hostUserId) {
  Record("SetAutoLogin\t" + Text(loginId) + "\t" + Text(hostUserId));
  return 1;
}

KOVO_PLUGIN_API int32_t LaunchOnStart(const char* loginId, const char* hostUserId) {
  Record("LaunchOnStart\t" + Text(loginId) + "\t" + Text(hostUserId));
  return loginId && *loginId ? 1 : 0;
}

KOVO_PLUGIN_API void pu_scrip_details_notify(const char* context, const sScripDetails*) {
  Record("pu_scrip_details_notify\t" + Text(context));
}

KOVO_PLUGIN_API void ExitKovoPlugin(void) {
  Record("ExitKovoPlugin");
  using Destroy = void (*)(uint64_t);
  if (auto destroyWindow = HostFunction<Destroy>("kovo_destroy_window"); destroyWindow && g_window)
    destroyWindow(g_window);
  g_window = 0;
}

}  // extern "C"
