#include "ui/sort_keys.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

#include "base/number.h"
#include "base/text.h"
#include "ui/list_types.h"

namespace kovo {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Texts that are no date or time sort before every real one.
constexpr int64_t kNoDateTime = std::numeric_limits<int64_t>::min();

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ParseUnsigned(std::string_view text, int* value) {
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  *value = v;
  return true;
}

int MonthFromName(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (text.size() < 3) return 0;
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (StartsWithNoCase(text, kMonths[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

// Splits at sep into exactly three parts.
bool SplitThree(std::string_view text, char sep, std::array<std::string_view, 3>* parts) {
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t end = i < 2 ? text.find(sep, start) : text.size();
    if (end == std::string_view::npos) return false;
    (*parts)[i] = text.substr(start, end - start);
    start = end + 1;
  }
  return (*parts)[2].find(sep) == std::string_view::npos;
}

bool ParseDate(std::string_view text, int64_t* days) {
  const char sep = text.find('/') != std::string_view::npos ? '/' : '-';
  std::array<std::string_view, 3> p;
  if (!SplitThree(text, sep, &p)) return false;
  int year = 0, month = 0, day = 0;
  std::string_view y, m, d;
  if (p[0].size() == 4) {
    y = p[0], m = p[1], d = p[2];
  } else if (MonthFromName(p[0]) != 0 || (sep == '/' && MonthFromName(p[1]) == 0)) {
    m = p[0], d = p[1], y = p[2];  // "12/05/2026", "Dec-05-2026"
  } else {
    d = p[0], m = p[1], y = p[2];  // "05-12-2026", "05/Dec/2026"
  }
  if (!ParseUnsigned(y, &year) || !ParseUnsigned(d, &day)) return false;
  if (!ParseUnsigned(m, &month)) month = MonthFromName(m);
  if (y.size() <= 2) year += year < 50 ? 2000 : 1900;
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  *days = (int64_t{year} * 12 + (month - 1)) * 31 + (day - 1);
  return true;
}

// meridiem: 0 none, 1 AM, 2 PM.
bool ParseTime(std::string_view text, int meridiem, int64_t* ms) {
  std::array<int, 4> f = {0, 0, 0, 0};
  std::size_t count = 0, start = 0;
  while (start <= text.size()) {
    if (count == f.size()) return false;
    std::size_t end = text.find_first_of(":.", start);
    if (end == std::string_view::npos) end = text.size();
    if (!ParseUnsigned(text.substr(start, end - start), &f[count])) return false;
    ++count;
    start = end + 1;
  }
  if (count < 2) return false;
  int hour = f[0];
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (hour > 23 || f[1] > 59 || f[2] > 59 || f[3] > 999) return false;
  *ms = ((int64_t{hour} * 60 + f[1]) * 60 + f[2]) * 1000 + f[3];
  return true;
}

// A text made a number the way the stored values were always read.
double DoubleKey(std::string_view text) {
  const double v = LeadingDouble(text);
  return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v;
}

}  // namespace

bool ParseDateTimeKey(std::string_view text, int64_t* key) {
  std::string_view rest = TrimView(text);
  int64_t days = 0, ms = 0;
  bool haveDate = false, haveTime = false;
  int meridiem = 0;
  std::string_view timeText;
  while (!rest.empty()) {
    std::size_t end = rest.find_first_of(" \t");
    if (end == std::string_view::npos) end = rest.size();
    std::string_view word = rest.substr(0, end);
    rest = TrimView(rest.substr(end));
    // "2:30PM" carries its meridiem.
    if (word.size() >= 2) {
      const std::string_view tail = word.substr(word.size() - 2);
      const bool am = EqualsNoCase(tail, "AM"), pm = EqualsNoCase(tail, "PM");
      if (am || pm) {
        if (meridiem != 0) return false;
        meridiem = am ? 1 : 2;
        word.remove_suffix(2);
        if (word.empty()) continue;
      }
    }
    if (word.find(':') != std::string_view::npos) {
      if (haveTime) return false;
      haveTime = true;
      timeText = word;
    } else if (word.find_first_of("/-") != std::string_view::npos) {
      if (haveDate || !ParseDate(word, &days)) return false;
      haveDate = true;
    } else {
      return false;
    }
  }
  if (haveTime && !ParseTime(timeText, meridiem, &ms)) return false;
  if (!haveTime && meridiem != 0) return false;
  if (!haveDate && !haveTime) return false;
  *key = days * kMsPerDay + ms;
  return true;
}

CSortKeys::CSortKeys(int32_t kind) : m_kind(kind) {
  switch (kind) {
    case kSortInt:
    case kSortInt64:
    case kSortDateTime:
      m_store = Store::kInt;
      break;
    case kSortDouble:
    case kSortDouble5:
    case kSortDouble7:
      m_store = Store::kDouble;
      break;
    case kSortTextNoCase:
    case kSortText:
      m_store = Store::kText;
      break;
    default:
      m_store = Store::kNone;
      break;
  }
}

void CSortKeys::Reserve(std::size_t rows) {
  switch (m_store) {
    case Store::kInt:
      m_ints.reserve(rows);
      break;
    case Store::kDouble:
      m_doubles.reserve(rows);
      break;
    case Store::kText:
      m_offsets.reserve(rows + 1);
      m_prefixes.reserve(rows);
      break;
    case Store::kNone:
      break;
  }
}

void CSortKeys::Add(std::string_view text) {
  ++m_count;
  switch (m_kind) {
    case kSortInt:
      m_ints.push_back(LeadingInt32(text));
      break;
    case kSortInt64:
      m_ints.push_back(LeadingInt64(text));
      break;
    case kSortDateTime: {
      int64_t key = 0;
      m_ints.push_back(ParseDateTimeKey(text, &key) ? key : kNoDateTime);
      break;
    }
    case kSortDouble:
    case kSortDouble5:
    case kSortDouble7:
      m_doubles.push_back(DoubleKey(text));
      break;
    case kSortTextNoCase:
    case kSortText: {
      const std::size_t start = m_arena.size();
      m_arena.append(text);
      if (m_kind == kSortTextNoCase) {
        for (std::size_t i = start; i < m_arena.size(); ++i) m_arena[i] = Lower(m_arena[i]);
      }
      m_offsets.push_back(m_arena.size());
      uint64_t prefix = 0;
      for (std::size_t i = 0; i < 8; ++i) {
        const auto byte = i < text.size() ? static_cast<unsigned char>(m_arena[start + i]) : 0u;
        prefix = (prefix << 8) | byte;
      }
      m_prefixes.push_back(prefix);
      break;
    }
    default:
      break;
  }
}

std::size_t CSortKeys::Size() const {
  return m_count;
}

std::string_view CSortKeys::Text(std::size_t row) const {
  return std::string_view(m_arena).substr(m_offsets[row], m_offsets[row + 1] - m_offsets[row]);
}

int CSortKeys::Compare(std::size_t a, std::size_t b) const {
  switch (m_store) {
    case Store::kInt:
      return m_ints[a] < m_ints[b] ? -1 : (m_ints[b] < m_ints[a] ? 1 : 0);
    case Store::kDouble:
      return m_doubles[a] < m_doubles[b] ? -1 : (m_doubles[b] < m_doubles[a] ? 1 : 0);
    case Store::kText: {
      // Byte-wise, as unsigned characters.
      const int c = Text(a).compare(Text(b));
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case Store::kNone:
      break;
  }
  return 0;
}

namespace {

// Orders rows by a three-way comparison of their keys; ties go by rank
// (smaller first) in either direction, which is what a stable sort of rows
// listed in rank order gives.
template <typename Entry, typename Compare>
std::vector<uint32_t> SortEntries(std::vector<Entry>& entries, bool ascending, Compare compare) {
  if (ascending) {
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      const int c = compare(a, b);
      return c < 0 || (c == 0 && a.rank < b.rank);
    });
  } else {
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      const int c = compare(a, b);
      return c > 0 || (c == 0 && a.rank < b.rank);
    });
  }
  std::vector<uint32_t> order(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) order[i] = entries[i].row;
  return order;
}

template <typename Key>
std::vector<uint32_t> SortedNumbers(const std::vector<Key>& keys, bool ascending,
                                    const std::vector<uint32_t>* ranks) {
  struct Entry {
    Key key;
    uint32_t row;
    uint32_t rank;
  };
  std::vector<Entry> entries(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto row = static_cast<uint32_t>(i);
    entries[i] = {keys[i], row, ranks ? (*ranks)[i] : row};
  }
  return SortEntries(entries, ascending, [](const Entry& a, const Entry& b) {
    return a.key < b.key ? -1 : (b.key < a.key ? 1 : 0);
  });
}

}  // namespace

std::vector<uint32_t> CSortKeys::SortedTexts(bool ascending,
                                             const std::vector<uint32_t>* ranks) const {
  struct Entry {
    uint64_t prefix;
    uint32_t row;
    uint32_t length;  // capped: only "eight or less" and the short lengths matter
    uint32_t rank;
  };
  std::vector<Entry> entries(m_prefixes.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto row = static_cast<uint32_t>(i);
    const std::size_t length = m_offsets[i + 1] - m_offsets[i];
    entries[i] = {m_prefixes[i], row, static_cast<uint32_t>(std::min<std::size_t>(length, 9)),
                  ranks ? (*ranks)[i] : row};
  }
  return SortEntries(entries, ascending, [this](const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    // Texts of eight bytes or less that tie are the same text unless one is
    // longer (a trailing NUL); only longer ones need the rest of their bytes.
    if (a.length <= 8 && b.length <= 8)
      return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
    const int c = Text(a.row).compare(Text(b.row));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  });
}

std::vector<uint32_t> CSortKeys::Order(bool ascending, const std::vector<uint32_t>* ranks) const {
  switch (m_store) {
    case Store::kInt:
      return SortedNumbers(m_ints, ascending, ranks);
    case Store::kDouble:
      return SortedNumbers(m_doubles, ascending, ranks);
    case Store::kText:
      return SortedTexts(ascending, ranks);
    case Store::kNone:
      break;
  }
  std::vector<uint32_t> order(m_count);
  std::iota(order.begin(), order.end(), 0u);
  if (ranks)
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return (*ranks)[a] < (*ranks)[b]; });
  return order;
}

}  // namespace kovo
