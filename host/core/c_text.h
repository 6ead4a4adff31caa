#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

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
inline void CopyOut(std::string_view text, char* out, size_t cap) {
  if (!out || cap == 0) return;
  const size_t n = std::min(text.size(), cap - 1);
  if (n > 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace kovo::host
