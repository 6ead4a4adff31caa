#include "ui/list_filter.h"

#include "base/number.h"
#include "base/text.h"

namespace kovo {
namespace {

inline char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// prefix is already lower case.
inline bool StartsWithLowered(std::string_view cell, std::string_view prefix) {
  if (cell.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(cell[i]) != prefix[i]) return false;
  return true;
}

}  // namespace

CColumnFilter::CColumnFilter(std::string_view text, bool exact) {
  for (std::string& alt : Tokenize(text, "~")) {
    sAlternative a{Kind::kPrefix, {}, 0};
    if (exact) {
      a.kind = Kind::kExact;
      a.text = std::move(alt);
    } else if (alt.size() >= 2 && alt.front() == '*' && alt.back() == '*') {
      a.kind = Kind::kContains;
      a.text = alt.substr(1, alt.size() - 2);
    } else if (alt.front() == '*') {
      a.kind = Kind::kSuffix;
      a.text = alt.substr(1);
    } else if (alt.front() == '>' || alt.front() == '<') {
      a.kind = alt.front() == '>' ? Kind::kGreater : Kind::kLess;
      a.number = LeadingDouble(std::string_view(alt).substr(1));
    } else {
      a.kind = Kind::kPrefix;
      a.text = ToLower(alt);
    }
    m_alternatives.push_back(std::move(a));
  }
}

bool CColumnFilter::Matches(std::string_view cell) const {
  for (const sAlternative& a : m_alternatives) {
    switch (a.kind) {
      case Kind::kPrefix:
        if (StartsWithLowered(cell, a.text)) return true;
        break;
      case Kind::kSuffix:
        if (cell.ends_with(a.text)) return true;
        break;
      case Kind::kContains:
        if (cell.find(a.text) != std::string_view::npos) return true;
        break;
      case Kind::kGreater:
        if (LeadingDouble(cell) > a.number) return true;
        break;
      case Kind::kLess:
        if (LeadingDouble(cell) < a.number) return true;
        break;
      case Kind::kExact:
        if (EqualsNoCase(cell, a.text)) return true;
        break;
    }
  }
  return false;
}

std::string JoinFilterValues(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& v : values) {
    if (!text.empty()) text += '~';
    text += v;
  }
  return text;
}

}  // namespace kovo
