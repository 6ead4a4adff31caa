#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/text.h"

// Texts at the host's C boundary.
namespace kovo::host {

// A C input text; NULL reads as empty.
inline std::string_view Text(const char* s) {
  return s ? std::string_view(s) : std::string_view();
}

// A fixed-size record text that may lack its NUL.
inline std::string_view Fixed(const char* text, size_t size) {
  return std::string_view(text, strnlen(text, size));
}

// Copies into a caller's buffer: always NUL-terminated, cut to fit.
using kovo::CopyOut;

}  // namespace kovo::host
