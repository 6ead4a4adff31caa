#include "backend/market_movers.h"

#include <algorithm>
#include <ctime>

#include "base/number.h"

namespace kovo::backend {
namespace {

enum class Measure { kVolume, kValue, kChange };

bool MeasureOf(const std::string& key, Measure& measure) {
  if (key == "32") {
    measure = Measure::kVolume;
  } else if (key == "TrdValueFOI") {
    measure = Measure::kValue;
  } else if (key == "PrevCloseFOI") {
    measure = Measure::kChange;
  } else {
    return false;
  }
  return true;
}

// Local midnight of the day holding `now`, as the price model counts days.
int64_t LocalMidnight(int64_t now) {
  const std::time_t t = static_cast<std::time_t>(now);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return now - now % 86400;
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  const std::time_t midnight = std::mktime(&tm);
  return midnight == static_cast<std::time_t>(-1) ? now - now % 86400 : midnight;
}

bool Compare(double left, const std::string& op, double right) {
  return op == ">" ? left > right : left < right;
}

}  // namespace

bool RankMovers(const ScripMaster& scrips, const PriceModel& prices, const MoverQuery& query,
                int64_t now, std::vector<MoverRow>& rows, std::string& error) {
  rows.clear();
  Measure measure = Measure::kVolume;
  if (query.criteria.empty() || !MeasureOf(query.criteria.front().key, measure)) {
    error = "no measure named by the first criterion";
    return false;
  }
  for (const MoverCriterion& c : query.criteria) {
    if (c.op != "<" && c.op != ">") {
      error = "unknown operator " + c.op;
      return false;
    }
  }
  const int64_t midnight = LocalMidnight(now);
  bool anyInSegment = false;
  for (const Scrip& scrip : scrips.All()) {
    if (scrip.exchSeg != query.segment) continue;
    anyInSegment = true;
    if (scrip.instrument == "INDEX") continue;  // indices do not trade
    const double last = static_cast<double>(prices.PriceAt(scrip, now));
    double value = 0.0;
    if (measure == Measure::kChange) {
      const double previous = static_cast<double>(prices.PriceAt(scrip, midnight - 1));
      value = previous > 0 ? (last - previous) / previous : 0.0;
    } else {
      const double volume = static_cast<double>(prices.CumulativeVolume(scrip, now));
      value = measure == Measure::kVolume ? volume : volume * last / scrip.priceMultiplier;
    }
    bool keep = true;
    for (const MoverCriterion& c : query.criteria) {
      const double bound = LeadingDouble(c.value);
      keep = bound == 0.0 ? Compare(value, c.op, 0.0) : Compare(last, c.op, bound);
      if (!keep) break;
    }
    if (keep) rows.push_back({&scrip, value});
  }
  if (!anyInSegment) {
    error = "no instruments in segment " + query.segment;
    return false;
  }
  std::sort(rows.begin(), rows.end(), [&](const MoverRow& a, const MoverRow& b) {
    if (a.value != b.value) return query.descending ? a.value > b.value : a.value < b.value;
    return a.scrip->tradingSymbol < b.scrip->tradingSymbol;
  });
  const size_t count = static_cast<size_t>(std::clamp(query.count, 0, kMaxMoverRows));
  if (rows.size() > count) rows.resize(count);
  return true;
}

}  // namespace kovo::backend
