#pragma once

#include <string_view>

namespace kovo {

// Dotted version comparison: -1 when a < b, 0 when equal, 1 when a > b.
// Parts are compared by their leading decimal number; when all common parts
// are equal, the version with more parts is the greater one.
int VersionCompare(std::string_view a, std::string_view b);

}  // namespace kovo
