#include "base/number.h"

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>

#include <locale.h>

namespace kovo {
namespace {

std::string_view SkipBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' ||
                             text[i] == '\n' || text[i] == '\v' || text[i] == '\f'))
    ++i;
  return text.substr(i);
}

}  // namespace

int64_t LeadingInt64(std::string_view text) {
  text = SkipBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  uint64_t magnitude = 0;
  const uint64_t limit =
      negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (negative)
    return magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                            : -static_cast<int64_t>(magnitude);
  return static_cast<int64_t>(magnitude);
}

int32_t LeadingInt32(std::string_view text) {
  const int64_t v = LeadingInt64(text);
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

double LeadingDouble(std::string_view text) {
  // strtod needs a terminated string and reads at most what it understands.
  std::string copy(text.substr(0, text.find('\0')));
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  return cLocale ? strtod_l(copy.c_str(), nullptr, cLocale) : std::strtod(copy.c_str(), nullptr);
}

}  // namespace kovo
