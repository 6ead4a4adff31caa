#pragma once

#include <ctime>
#include <string>

namespace kovo {

// Chart time: seconds since 0001-01-01 00:00:00 of the local clock.
inline constexpr double kChartTimeOfUnixEpoch = 62135596800.0;

// A UNIX time as chart time in the local time zone.
double ChartTimeFromUnix(std::time_t t);
// "mm/dd/yy hh:nn" of a chart time.
std::string FormatChartTime(double chartTime);
// Short axis labels: "mm/dd" for a date (read like the legend), "hh:nn" for a
// time of day.
std::string FormatChartDate(double chartTime);
std::string FormatChartClock(double chartTime);

}  // namespace kovo
