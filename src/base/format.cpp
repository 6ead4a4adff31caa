#include "base/format.h"

#include <cstdio>

#include <locale.h>

namespace kovo {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = FormatV(format, args);
  va_end(args);
  return result;
}

namespace {

// Numbers are written with a dot whatever locale the host took: the texts go
// to the back end, into files and back through the locale-independent readers.
class CNumericLocale {
 public:
  CNumericLocale() : m_previous(c ? uselocale(c) : nullptr) {}
  ~CNumericLocale() {
    if (m_previous) uselocale(m_previous);
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  static inline const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  locale_t m_previous;
};

}  // namespace

std::string FormatV(const char* format, va_list args) {
  const CNumericLocale numeric;
  // The first pass only measures, and consumes its own copy of the arguments
  // so the second pass still sees them from the start.
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return std::string();

  std::string result(static_cast<size_t>(length), '\0');
  // std::string keeps room for the terminator past size(), so writing
  // length + 1 bytes stays inside the buffer.
  const int written = std::vsnprintf(result.data(), result.size() + 1, format, args);
  if (written != length) return std::string();
  return result;
}

}  // namespace kovo
