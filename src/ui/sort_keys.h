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
// kinds outside 1..8 compare as equal. Sorting moves small records of key
// and row number, never the texts: a text sorts by its first eight bytes
// and looks at the rest only on a tie.
class CSortKeys {
 public:
  explicit CSortKeys(int32_t kind);
  void Reserve(std::size_t rows);
  void Add(std::string_view text);
  std::size_t Size() const;

  // <0, 0 or >0 as row a sorts before, with or after row b (ascending).
  int Compare(std::size_t a, std::size_t b) const;
  // The rows in sorted order. Equal rows keep their order either way: the
  // order they were added in, or that of `ranks` (one distinct rank per
  // row, smaller first) when given, for rows added in another order than
  // the one ties must keep.
  std::vector<uint32_t> Order(bool ascending, const std::vector<uint32_t>* ranks = nullptr) const;

 private:
  enum class Store { kNone, kInt, kDouble, kText };
  std::string_view Text(std::size_t row) const;
  std::vector<uint32_t> SortedTexts(bool ascending, const std::vector<uint32_t>* ranks) const;

  int32_t m_kind;
  Store m_store;
  std::vector<int64_t> m_ints;
  std::vector<double> m_doubles;
  // Texts (lowered for the case-blind kind) end to end; row i is
  // [m_offsets[i], m_offsets[i + 1]). m_prefixes holds each text's first
  // eight bytes, big-endian and zero-padded, so comparing two of them as
  // numbers orders the texts as bytes do whenever they differ.
  std::string m_arena;
  std::vector<std::size_t> m_offsets{0};
  std::vector<uint64_t> m_prefixes;
  std::size_t m_count = 0;
};

}  // namespace kovo
