#include "charts/chart_time.h"

#include <cmath>

#include "base/format.h"

namespace kovo {
namespace {

struct Civil {
  long long y;
  unsigned m, d, hh, mm;
};

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
Civil FromChartTime(double t) {
  if (!std::isfinite(t) || t < 0 || t > 4e11) t = 0;
  const long long secs = static_cast<long long>(std::floor(t));
  long long days = secs / 86400 - 719162;
  const long long sod = secs % 86400;
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const long long y = static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
  return {y, m, d, static_cast<unsigned>(sod / 3600), static_cast<unsigned>(sod % 3600 / 60)};
}

}  // namespace

double ChartTimeFromUnix(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return static_cast<double>(t) + kChartTimeOfUnixEpoch + static_cast<double>(local.tm_gmtoff);
}

std::string FormatChartTime(double chartTime) {
  const Civil c = FromChartTime(chartTime);
  return Format("%02u/%02u/%02u %02u:%02u", c.m, c.d, static_cast<unsigned>(c.y % 100), c.hh, c.mm);
}

std::string FormatChartDate(double chartTime) {
  const Civil c = FromChartTime(chartTime);
  return Format("%02u/%02u", c.m, c.d);
}

std::string FormatChartClock(double chartTime) {
  const Civil c = FromChartTime(chartTime);
  return Format("%02u:%02u", c.hh, c.mm);
}

}  // namespace kovo
