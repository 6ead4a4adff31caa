#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {

// Research reports, trading calls, option calls and notices of the simulated
// broker. Every item is a pure function of the seed and its time slot, so a
// session started again sees the same calls.
struct Market;

class ResearchFeed {
 public:
  using Fields = std::vector<std::pair<int32_t, std::string>>;

  ResearchFeed(const Market& market, uint64_t seed) : m_market(market), m_seed(seed) {}

  // Seconds between two items of a category (0: the back end has none).
  static int64_t Period(std::string_view category);
  // Seconds after a watch begins until its opening call (0: none). A new
  // watcher of option calls need not wait a whole period for the first.
  static int64_t OpeningDelay(std::string_view category);
  // The opening call of a watch that began OpeningDelay before now: a call
  // of its own, made at now.
  bool OpeningItem(std::string_view category, int64_t now, const std::string& peerUser,
                   Fields& item) const;
  // The item of category due at second now, if any; peerUser is echoed.
  bool ItemAt(std::string_view category, int64_t now, const std::string& peerUser,
              Fields& item) const;
  // Items of the day up to now, oldest first, at most `most`.
  std::vector<Fields> Today(std::string_view category, int64_t now, const std::string& peerUser,
                            size_t most) const;

 private:
  int64_t Offset(int64_t period) const;
  Fields Make(std::string_view category, int64_t slot, int64_t at, const std::string& peerUser,
              bool history) const;
  Fields Research(int64_t slot, int64_t at, const std::string& peerUser) const;
  Fields Trading(int64_t slot, int64_t at, const std::string& peerUser) const;
  Fields Option(int64_t slot, int64_t at, std::string_view category) const;
  const Scrip& Equity(uint64_t pick) const;
  uint64_t Mix(std::string_view category, int64_t slot) const;

  const Market& m_market;
  uint64_t m_seed;
};

}  // namespace kovo::backend
