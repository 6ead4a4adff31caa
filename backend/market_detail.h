#pragma once

#include <cstdint>
#include <string_view>

#include "backend/market.h"

// Shared between the instrument tables and the price model; not for callers.
namespace kovo::backend::detail {

// The listed index with this token, or null. Lives with the instrument tables in
// scrip_master.cpp so an option's underlying is priced exactly like the listed index.
const Scrip* ListedIndex(std::string_view token);
// Option premium in price units: intrinsic value plus a time value that fades
// with distance from the strike and with time to expiry (price_model.cpp).
int64_t OptionPremium(int64_t spot, int64_t strike, bool call, int64_t secondsToExpiry,
                      int32_t tickSize);

}  // namespace kovo::backend::detail
