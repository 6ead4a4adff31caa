#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kovo {

enum StudyTool : int {
  kToolNone = 0,
  kToolEllipse = 1,
  kToolRectangle = 2,
  kToolTrendLine = 3,
  kToolSpeedLines = 4,
  kToolFibonacciArcs = 5,
  kToolFibonacciFan = 6,
  kToolFibonacciRetracements = 7,
  kToolFibonacciTimeZones = 8,
  kToolTironeLevels = 9,
  kToolQuadrantLines = 10,
  kToolHorizontalLine = 11,
};

// A drawn study line in data coordinates: x as a (fractional) bar index.
struct sStudyLine {
  int tool = kToolNone;
  double x1 = 0, p1 = 0, x2 = 0, p2 = 0;
  uint32_t color = 0xFF8000;
};

struct sLevel {
  double price;
  std::string label;  // empty when unlabelled
  bool dashed;
};

// Eight retracement prices p2 + (p1 - p2)(100 - k)/100 with their labels.
std::vector<sLevel> FibonacciRetracementLevels(double p1, double p2);
// Bar offsets of the time zones: unit (x2 - x1)/34 times 0,1,2,3,5,8,13,21,34.
std::vector<double> FibonacciTimeZoneOffsets(double x1, double x2);
// 38.2, 50 and 61.8 % of the range from p2 towards p1 (arcs and fan).
std::array<double, 3> FibonacciFanPrices(double p1, double p2);
// Speed lines end at a third and two thirds of the rise at the second anchor.
std::array<double, 2> SpeedLinePrices(double p1, double p2);
// H - (H-L)/3, L + (H-L)/2, L + (H-L)/3.
std::vector<sLevel> TironeLevels(double high, double low);
// H - k (H-L)/4 for k = 0..4, the middle one solid.
std::vector<sLevel> QuadrantLevels(double high, double low);

struct sPivotLevels {
  double pivot, r1, r2, s1, s2;
};
// P = (H+L+C)/3, R1 = 2P - L, R2 = P + (H - L), S1 = 2P - H, S2 = P - (H - L).
sPivotLevels PivotLevels(double high, double low, double close);

}  // namespace kovo
