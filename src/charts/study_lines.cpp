#include "charts/study_lines.h"

#include "base/format.h"

namespace kovo {

std::vector<sLevel> FibonacciRetracementLevels(double p1, double p2) {
  static const double kPercent[8] = {0.0, 94.4, 91.0, 85.4, 76.4, 61.8, 38.2, 100};
  static const char* const kSuffix[8] = {" (0.0%)",  " (94.4%)", " (91.0%)", " (85.4%)",
                                         " (76.4%)", " (61.8%)", "(38.2%)",  " (100%)"};
  std::vector<sLevel> out;
  for (int i = 0; i < 8; ++i) {
    const double price = p2 + (p1 - p2) * (100 - kPercent[i]) / 100;
    out.push_back({price, Format("%0.2f", price) + kSuffix[i], false});
  }
  return out;
}

std::vector<double> FibonacciTimeZoneOffsets(double x1, double x2) {
  const double unit = (x2 - x1) / 34;
  std::vector<double> out;
  for (int k : {0, 1, 2, 3, 5, 8, 13, 21, 34}) out.push_back(x1 + unit * k);
  return out;
}

std::array<double, 3> FibonacciFanPrices(double p1, double p2) {
  const double r = p1 - p2;
  return {p2 + r * 0.382, p2 + r * 0.5, p2 + r * 0.618};
}

std::array<double, 2> SpeedLinePrices(double p1, double p2) {
  return {p1 + (p2 - p1) / 3, p1 + (p2 - p1) * 2 / 3};
}

std::vector<sLevel> TironeLevels(double high, double low) {
  const double r = high - low;
  return {{high - r / 3, "", false}, {low + r / 2, "", false}, {low + r / 3, "", false}};
}

std::vector<sLevel> QuadrantLevels(double high, double low) {
  std::vector<sLevel> out;
  for (int k = 0; k <= 4; ++k) out.push_back({high - k * (high - low) / 4, "", k != 2});
  return out;
}

sPivotLevels PivotLevels(double high, double low, double close) {
  const double p = (high + low + close) / 3;
  return {p, 2 * p - low, p + (high - low), 2 * p - high, p - (high - low)};
}

}  // namespace kovo
