#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "charts/finance/array_math.h"

namespace kovo::finance {

// Per-bar arrays over all points, hidden leading points included. Volume is
// the scaled volume (ScaleVolume).
struct Inputs {
  std::span<const double> high, low, open, close, volume;
  size_t extraPoints = 0;  // leading points not shown; only Performance reads it
};

// Parameters in the order of the operation's arguments (periods, widths, ranges).
struct Options {
  std::array<double, 4> p{};
  // Saturated at the int range; NaN is 0.
  int Int(size_t i) const {
    const double v = p[i];
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
  }
};

struct Line {
  std::string name;  // legend name, "RSI (14)"
  std::vector<double> values;
  bool bars = false;  // drawn as bars rather than a line
};

struct Outputs {
  std::vector<Line> lines;
  // Intermediate arrays kept between calls so a tail recompute can resume.
  std::vector<std::vector<double>> work;
  size_t leading = 0;  // positions without a value at the start of the first line
  bool band = false;   // lines[0] upper, lines[1] lower, legend under bandName
  std::string bandName;
  std::vector<double> marks;  // threshold levels on the y-axis
  double axisMin = NoValue;   // fixed y-axis range when both are set
  double axisMax = NoValue;
};

// The one shape every indicator has. Positions [from, size) are computed;
// earlier positions of `out` are taken to hold what a call over the same
// leading bars left there (from = 0 computes everything).
using IndicatorFn = void (*)(const Inputs& in, const Options& opt, Outputs& out, size_t from);

// Price overlays (main panel).
void ClosingPrice(const Inputs&, const Options&, Outputs&, size_t from);
void TypicalPrice(const Inputs&, const Options&, Outputs&, size_t from);
void WeightedClose(const Inputs&, const Options&, Outputs&, size_t from);
void MedianPrice(const Inputs&, const Options&, Outputs&, size_t from);
// Moving averages of close: p[0] period.
void Sma(const Inputs&, const Options&, Outputs&, size_t from);
void Ema(const Inputs&, const Options&, Outputs&, size_t from);
void Tma(const Inputs&, const Options&, Outputs&, size_t from);
void Wma(const Inputs&, const Options&, Outputs&, size_t from);
// Bands: p[0] period, p[1] width in deviations / range fraction.
void BollingerBand(const Inputs&, const Options&, Outputs&, size_t from);
void DonchianChannel(const Inputs&, const Options&, Outputs&, size_t from);
void Envelop(const Inputs&, const Options&, Outputs&, size_t from);
// p[0] initial, p[1] increment, p[2] maximum acceleration.
void ParabolicSar(const Inputs&, const Options&, Outputs&, size_t from);

// Indicator panels.
void AccDist(const Inputs&, const Options&, Outputs&, size_t from);
void Aroon(const Inputs&, const Options&, Outputs&, size_t from);
void AroonOsc(const Inputs&, const Options&, Outputs&, size_t from);
void Adx(const Inputs&, const Options&, Outputs&, size_t from);
void Atr(const Inputs&, const Options&, Outputs&, size_t from);
void BollingerWidth(const Inputs&, const Options&, Outputs&, size_t from);
void ChaikinMoneyFlow(const Inputs&, const Options&, Outputs&, size_t from);
void ChaikinOscillator(const Inputs&, const Options&, Outputs&, size_t from);
void ChaikinVolatility(const Inputs&, const Options&, Outputs&, size_t from);
void CloseLocationValue(const Inputs&, const Options&, Outputs&, size_t from);
void Cci(const Inputs&, const Options&, Outputs&, size_t from);
void DonchianWidth(const Inputs&, const Options&, Outputs&, size_t from);
void Dpo(const Inputs&, const Options&, Outputs&, size_t from);
void EaseOfMovement(const Inputs&, const Options&, Outputs&, size_t from);
void FastStochastic(const Inputs&, const Options&, Outputs&, size_t from);
void SlowStochastic(const Inputs&, const Options&, Outputs&, size_t from);
void Macd(const Inputs&, const Options&, Outputs&, size_t from);
void MassIndex(const Inputs&, const Options&, Outputs&, size_t from);
void MoneyFlowIndex(const Inputs&, const Options&, Outputs&, size_t from);
void Momentum(const Inputs&, const Options&, Outputs&, size_t from);
void NegVolumeIndex(const Inputs&, const Options&, Outputs&, size_t from);
void PosVolumeIndex(const Inputs&, const Options&, Outputs&, size_t from);
void OnBalanceVolume(const Inputs&, const Options&, Outputs&, size_t from);
void Performance(const Inputs&, const Options&, Outputs&, size_t from);
void PriceOscillator(const Inputs&, const Options&, Outputs&, size_t from);
void VolumeOscillator(const Inputs&, const Options&, Outputs&, size_t from);
void PriceVolumeTrend(const Inputs&, const Options&, Outputs&, size_t from);
void RateOfChange(const Inputs&, const Options&, Outputs&, size_t from);
void Rsi(const Inputs&, const Options&, Outputs&, size_t from);
void StochRsi(const Inputs&, const Options&, Outputs&, size_t from);
void Trix(const Inputs&, const Options&, Outputs&, size_t from);
void UltimateOscillator(const Inputs&, const Options&, Outputs&, size_t from);
void WilliamR(const Inputs&, const Options&, Outputs&, size_t from);

// Divides volume by 1000^k for the largest k in 0..3 with max >= 1000^k and
// returns the unit suffix ("", "K", "M", "B").
std::string ScaleVolume(std::span<const double> volume, std::vector<double>& scaled);

// Legend numbers: three significant digits, integers of more digits kept whole.
std::string FormatLegendNumber(double value);
// "name: last value", a band "name: lower - upper"; just the name without a value.
std::string LegendText(const Outputs& out, size_t line);

}  // namespace kovo::finance
