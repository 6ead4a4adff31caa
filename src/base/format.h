#pragma once

#include <cstdarg>
#include <string>

namespace kovo {

// printf-style formatting into a std::string. The format must be a literal:
// the attribute lets the compiler check arguments and reject user text as a format.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace kovo
