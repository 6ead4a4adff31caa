#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {

// Field ids of a market message broadcast.
inline constexpr int32_t kMessageTypeField = 53065;
inline constexpr int32_t kMessageTimeField = 63080;
inline constexpr int32_t kMessageTextField = 20008;
inline constexpr int32_t kMessageSymbolField = 63100;

// The market message types the exchange sends. Clients filter by prefix, so
// no name begins another.
const std::vector<std::string>& MarketMessageTypes();

using MessageFields = std::vector<std::pair<int32_t, std::string>>;

// The market messages of one second: on average one every few seconds,
// deterministic for the seed and the second, their prices from the price
// model. Each carries type, segment, token, trading symbol, a local
// "dd/mm/yyyy HH:MM:SS" time and a text.
std::vector<MessageFields> MarketMessagesAt(const ScripMaster& scrips, const PriceModel& prices,
                                            uint64_t seed, int64_t second);

}  // namespace kovo::backend
