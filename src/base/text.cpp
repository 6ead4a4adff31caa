#include "base/text.h"

#include <algorithm>
#include <cstring>

namespace kovo {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view TrimLeftView(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimRightView(std::string_view text) {
  const size_t last = text.find_last_not_of(kBlanks);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

std::string_view TrimView(std::string_view text) {
  return TrimRightView(TrimLeftView(text));
}
std::string Trim(std::string_view text) {
  return std::string(TrimView(text));
}
std::string TrimLeft(std::string_view text) {
  return std::string(TrimLeftView(text));
}
std::string TrimRight(std::string_view text) {
  return std::string(TrimRightView(text));
}

bool NextToken(std::string_view text, std::string_view separators, size_t* pos,
               std::string* field) {
  field->clear();
  if (*pos >= text.size()) {
    *pos = text.size();
    return false;
  }
  const size_t start = text.find_first_not_of(separators, *pos);
  if (start == std::string_view::npos) {
    *pos = text.size();
    return false;
  }
  size_t end = text.find_first_of(separators, start);
  if (end == std::string_view::npos) end = text.size();
  field->assign(text.substr(start, end - start));
  *pos = end;
  return true;
}

std::vector<std::string> Tokenize(std::string_view text, std::string_view separators,
                                  TokenTrim trim) {
  std::vector<std::string> fields;
  size_t pos = 0;
  std::string field;
  while (NextToken(text, separators, &pos, &field)) {
    fields.push_back(trim == TokenTrim::kYes ? Trim(field) : field);
  }
  return fields;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string ToLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerAscii(c);
  return result;
}

std::string ToUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperAscii(c);
  return result;
}

void CopyOut(std::string_view text, char* out, size_t capacity) {
  if (!out || capacity == 0) return;
  const size_t n = std::min(text.size(), capacity - 1);
  // An empty view may carry no data pointer at all.
  if (n > 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace kovo
