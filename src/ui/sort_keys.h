#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovo {

// Reads a date, a time or both into one comparable number. Dates are
// "m/d/y", "d-m-y" or year first ("y/m/d", "y-m-d"), the month as a number
// or a name ("Dec"); times are "h:m", "h:m:s" or "h:m:s:ms" (or ".ms"),
// with an optional "AM"/"PM". False when the text is neither.
bool ParseDateTimeKey(std::string_view text, int64_t* key);

// The sort keys of one column, built once per row so that sorting asks the
// owner for each cell only once. Comparison follows the column's sort kind;
// kinds outside 1..8 compare as equal.
class CSortKeys {
 public:
  explicit CSortKeys(int32_t kind);
  void Reserve(std::size_t rows);
  void Add(std::string_view text);
  std::size_t Size() const;

  // <0, 0 or >0 as row a sorts before, with or after row b (ascending).
  int Compare(std::size_t a, std::size_t b) const;
  // A stable permutation of the rows; equal rows keep their order either way.
  std::vector<uint32_t> Order(bool ascending) const;

 private:
  enum class Store { kNone, kInt, kDouble, kText };
  int32_t m_kind;
  Store m_store;
  std::vector<int64_t> m_ints;
  std::vector<double> m_doubles;
  std::vector<std::string> m_texts;
  std::size_t m_count = 0;
};

}  // namespace kovo
