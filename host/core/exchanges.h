#pragma once

#include <string>
#include <string_view>

namespace kovo::host {

// Exchange name or segment code ("NSE", "nse_cm", "NFO", "MCX", ...; any
// case, blanks around ignored) to the exchange segment code, "nse_cm".
// Empty when not recognised.
std::string ConvertExchange(std::string_view nameOrCode);

// The short exchange name users see ("NSE", "NFO", "MCX", ...) of a segment
// code or exchange name; empty when not recognised.
std::string DisplayName(std::string_view code);

}  // namespace kovo::host
