#include "base/version.h"

#include <string>
#include <vector>

#include "base/text.h"

namespace kovo {
namespace {

// The leading decimal digits of a part, without leading zeros. Kept as text
// so parts of any length compare without overflow.
std::string_view LeadingNumber(std::string_view part) {
  size_t end = 0;
  while (end < part.size() && part[end] >= '0' && part[end] <= '9') ++end;
  std::string_view digits = part.substr(0, end);
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  return digits;  // empty means 0
}

int CompareNumbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() > b.size() ? 1 : -1;
  const int order = a.compare(b);
  return order == 0 ? 0 : (order > 0 ? 1 : -1);
}

}  // namespace

int VersionCompare(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  const std::vector<std::string> parts_a = Tokenize(a, ".");
  const std::vector<std::string> parts_b = Tokenize(b, ".");
  for (size_t i = 0;; ++i) {
    const std::string_view part_a = i < parts_a.size() ? TrimView(parts_a[i]) : std::string_view();
    const std::string_view part_b = i < parts_b.size() ? TrimView(parts_b[i]) : std::string_view();
    // An empty part ends the walk, so a blank part in the middle hides the rest.
    if (part_a.empty() && part_b.empty()) return 0;
    if (part_b.empty()) return 1;
    if (part_a.empty()) return -1;
    const int order = CompareNumbers(LeadingNumber(part_a), LeadingNumber(part_b));
    if (order != 0) return order;
  }
}

}  // namespace kovo
