#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {

// One condition of a movers request: key, operator ("<" or ">") and value.
struct MoverCriterion {
  std::string key;
  std::string op;
  std::string value;
};

// What a "kms_request_<segment>" asks for. The first criterion's key names
// the measure ("32" traded quantity, "TrdValueFOI" traded value in rupees,
// "PrevCloseFOI" change since the previous close as a fraction). A
// criterion whose value is 0 compares the measure with 0; any other value
// is a last-price bound in price units, whatever its key.
struct MoverQuery {
  std::string segment;
  std::vector<MoverCriterion> criteria;
  int32_t count = 25;
  bool descending = false;
};

struct MoverRow {
  const Scrip* scrip = nullptr;
  double value = 0.0;
};

inline constexpr int32_t kMaxMoverRows = 1000;

// The leading scrips of a segment at `now`, ranked by the measure (ties by
// trading symbol), at most query.count of them. False, with the reason,
// for a query that names no measure, a segment without instruments or an
// operator other than "<" and ">".
bool RankMovers(const ScripMaster& scrips, const PriceModel& prices, const MoverQuery& query,
                int64_t now, std::vector<MoverRow>& rows, std::string& error);

}  // namespace kovo::backend
