#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovo {

// Blanks are space, tab, CR, LF, VT and FF.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

enum class TokenTrim { kNo, kYes };

// Splits text at any of the separator characters the way the platform's string
// tokenizer does: a run of separators counts as one, leading and trailing
// separators produce nothing, so an empty field is not a field. With
// TokenTrim::kYes each field is trimmed afterwards (a field of blanks becomes
// an empty string but still counts as a field).
std::vector<std::string> Tokenize(std::string_view text, std::string_view separators,
                                  TokenTrim trim = TokenTrim::kNo);

// Incremental form: returns the next field starting at *pos and advances *pos
// past it; returns false (and leaves *field empty) when no field is left.
bool NextToken(std::string_view text, std::string_view separators, size_t* pos, std::string* field);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);

// Copies text into a caller's C buffer: always NUL-terminated, cut to fit;
// nothing happens for a null buffer or a capacity of 0.
void CopyOut(std::string_view text, char* out, size_t capacity);

}  // namespace kovo
