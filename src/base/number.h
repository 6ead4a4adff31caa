#pragma once

#include <cstdint>
#include <string_view>

namespace kovo {

// Leading-number readers in the manner of atoi/atof, independent of the
// process locale (a host may switch LC_NUMERIC to a decimal comma): leading
// blanks and a sign are accepted, reading stops at the first character that
// does not fit, no digits give 0, out-of-range values saturate.
int64_t LeadingInt64(std::string_view text);
int32_t LeadingInt32(std::string_view text);
double LeadingDouble(std::string_view text);

}  // namespace kovo
