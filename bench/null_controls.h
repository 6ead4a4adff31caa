#pragma once

// Receiver controls that take every request and watch and deliver nothing:
// the plug-in runs as if connected, with no back end in the measurement.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

namespace kovo::bench {

struct NullControl {
  static int32_t Send(KovoRxControl*, void*, wmp_builder*, int32_t, int32_t*) { return 1; }
  static int64_t Watch(KovoRxControl*, const KovoFieldMatch*, int32_t, int32_t*) { return 1; }
  static int32_t Unwatch(KovoRxControl*, int64_t, int32_t*) { return 1; }
  static int32_t AddFilter(KovoRxControl*, const KovoFieldMatch*, int32_t, int32_t*) { return 1; }
  static int32_t Stop(KovoRxControl*) { return 1; }
  static constexpr KovoRxControlOps kOps = {&Send, &Watch, &Unwatch, &AddFilter, &Stop};

  KovoRxControl base{&kOps};
  KovoRxNotifier notifier{};
};

// Every control handed out, kept until ReleaseNullControls.
inline std::vector<std::unique_ptr<NullControl>> g_nullControls;

inline KovoRxControl* GetNullControl(int32_t, const KovoRxNotifier* notifier) {
  g_nullControls.push_back(std::make_unique<NullControl>());
  g_nullControls.back()->notifier = *notifier;
  return &g_nullControls.back()->base;
}
inline void DestroyNullControl(KovoRxControl*) {}
inline void ReleaseNullControls() {
  g_nullControls.clear();
}

// The two control functions, by the names the plug-in looks them up with;
// nullptr for any other name.
inline void* NullControlFunction(std::string_view name) {
  if (name == "GetQuellRxControl") return reinterpret_cast<void*>(&GetNullControl);
  if (name == "DestoryQuellRxCOntrol") return reinterpret_cast<void*>(&DestroyNullControl);
  return nullptr;
}

}  // namespace kovo::bench
