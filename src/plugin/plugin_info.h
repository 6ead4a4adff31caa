#pragma once

#include <cstdint>

namespace kovo {

inline constexpr const char* kPluginName = "Kovo Zint";
inline constexpr const char* kPluginVersion = "3.5.2.0";  // also sent as the client version
inline constexpr const char* kProductId = "2019";
inline constexpr int32_t kPluginId = 29032010;
inline constexpr int32_t kPluginKind = 63;

}  // namespace kovo
