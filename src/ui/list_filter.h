#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovo {

// One column's filter text, read once per filtering pass. Alternatives are
// separated by "~" and a cell passes when any of them matches:
//   ab      the cell begins with "ab", ignoring case
//   *ab     the cell ends with "ab"
//   *ab*    the cell contains "ab" (case counts)
//   >100    the cell read as a number is above 100 (<10: below 10)
// exact compares every alternative with the whole cell, ignoring case.
class CColumnFilter {
 public:
  CColumnFilter(std::string_view text, bool exact);
  bool Matches(std::string_view cell) const;
  bool Empty() const { return m_alternatives.empty(); }

 private:
  enum class Kind { kPrefix, kSuffix, kContains, kGreater, kLess, kExact };
  struct sAlternative {
    Kind kind;
    std::string text;
    double number = 0;
  };
  std::vector<sAlternative> m_alternatives;
};

// Values picked in the filter pop-up, joined into one filter text.
std::string JoinFilterValues(const std::vector<std::string>& values);

}  // namespace kovo
