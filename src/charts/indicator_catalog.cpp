#include "charts/indicator_catalog.h"

#include "base/number.h"
#include "base/text.h"

namespace kovo {
namespace {

using namespace finance;
constexpr IndicatorPlace kO = IndicatorPlace::kOverlay;
constexpr IndicatorPlace kP = IndicatorPlace::kPanel;

Options O(double a = 0, double b = 0, double c = 0, double d = 0) {
  return Options{{a, b, c, d}};
}

}  // namespace

const std::vector<sIndicatorInfo>& IndicatorCatalog() {
  static const std::vector<sIndicatorInfo> catalog = {
      {"Accumulation/Distribution", 3432, AccDist, kP, O()},
      {"Aroon Oscillator", 3433, AroonOsc, kP, O(14)},
      {"Aroon Up/Down", 3434, Aroon, kP, O(14)},
      {"Avg Directional Index", 3435, Adx, kP, O(14)},
      {"Avg True Range", 3436, Atr, kP, O(14)},
      {"Bollinger Band Width", 3437, BollingerWidth, kP, O(20, 2)},
      {"Chaikin Money Flow", 3438, ChaikinMoneyFlow, kP, O(21)},
      {"Chaikin Oscillator", 3439, ChaikinOscillator, kP, O()},
      {"Chaikin Volatility", 3440, ChaikinVolatility, kP, O(10, 10)},
      {"Close Location Value", 3441, CloseLocationValue, kP, O()},
      {"Commodity Channel Index", 3442, Cci, kP, O(20, 100)},
      {"Donchian Channel Width", 3443, DonchianWidth, kP, O(20)},
      {"Ease of Movement", 3444, EaseOfMovement, kP, O(9)},
      {"Fast Stochastic", 3445, FastStochastic, kP, O(14, 3)},
      {"MACD", 3446, Macd, kP, O(26, 12, 9)},
      {"Mass Index", 3447, MassIndex, kP, O()},
      {"Momentum", 3448, Momentum, kP, O(12)},
      {"Money Flow Index", 3449, MoneyFlowIndex, kP, O(12, 30)},
      {"Neg Volume Index", 3450, NegVolumeIndex, kP, O(255)},
      {"On Balance Volume", 3451, OnBalanceVolume, kP, O()},
      {"Performance", 3452, Performance, kP, O()},
      {"% Price Oscillator", 3453, PriceOscillator, kP, O(26, 12, 9)},
      {"% Volume Oscillator", 3454, VolumeOscillator, kP, O(26, 12, 9)},
      {"Pos Volume Index", 3455, PosVolumeIndex, kP, O(255)},
      {"Price Volume Trend", 3456, PriceVolumeTrend, kP, O()},
      {"Rate of Change", 3457, RateOfChange, kP, O(12)},
      {"RSI", 3458, Rsi, kP, O(14, 20)},
      {"Slow Stochastic", 3459, SlowStochastic, kP, O(14, 3)},
      {"StochRSI", 3460, StochRsi, kP, O(14, 20)},
      {"TRIX", 3461, Trix, kP, O(12)},
      {"Ultimate Oscillator", 3462, UltimateOscillator, kP, O(7, 14, 28, 20)},
      {"William's %R", 3464, WilliamR, kP, O(14, 30)},
      {"Parabolic Sar", 3465, ParabolicSar, kO, O(0.02, 0.02, 0.2)},
      {"Moving Average", 3466, Sma, kO, O(20)},
      {"Bollinger Band", 0, BollingerBand, kO, O(20, 2)},
      {"Donchain Channel", 0, DonchianChannel, kO, O(20)},
      {"Envelop", 0, Envelop, kO, O(20, 0.1)},
      {"Closing Price", 0, ClosingPrice, kO, O()},
      {"Typical Price", 0, TypicalPrice, kO, O()},
      {"Weighted Close", 0, WeightedClose, kO, O()},
      {"Median Price", 0, MedianPrice, kO, O()},
      {"Detrended Price Osc", 0, Dpo, kP, O(20)},
      {"Aroon", 0, Aroon, kP, O(14)},
      {"DCW", 0, DonchianWidth, kP, O(20)},
  };
  return catalog;
}

std::string_view MovingAverageKind(std::string_view name) {
  const std::string_view head = name.substr(0, name.find(':'));
  for (std::string_view kind : {"SMA", "EMA", "TMA", "WMA"})
    if (head == kind) return kind;
  return {};
}

finance::IndicatorFn MovingAverageFn(std::string_view kind) {
  if (kind == "EMA") return Ema;
  if (kind == "TMA") return Tma;
  if (kind == "WMA") return Wma;
  return Sma;
}

const sIndicatorInfo* FindIndicator(std::string_view name) {
  if (!MovingAverageKind(name).empty()) return FindIndicatorByCommand(kMovingAverageCommand);
  // Several parabolic SARs are told apart by a ":n" suffix.
  if (name.starts_with(kParabolicSarName)) name = name.substr(0, name.find(':'));
  for (const auto& info : IndicatorCatalog())
    if (name == info.name) return &info;
  // The overlay with its parameters in the name, as the chart lists it.
  if (name.starts_with("Envelop")) return FindIndicator("Envelop");
  return nullptr;
}

const sIndicatorInfo* FindIndicatorByCommand(int commandId) {
  if (commandId == 0) return nullptr;
  for (const auto& info : IndicatorCatalog())
    if (info.commandId == commandId) return &info;
  return nullptr;
}

finance::Options OptionsFor(const sIndicatorInfo& info, std::string_view name,
                            const sIndicatorParams& params) {
  Options opt = info.defaults;
  if (!MovingAverageKind(name).empty()) {
    if (params.period > 0) opt.p[0] = params.period;
    return opt;
  }
  const bool sar = info.fn == ParabolicSar;
  const std::string* texts[4] = {&params.param1, &params.param2, &params.param3, &params.param4};
  for (size_t i = 0; i < 4; ++i) {
    const std::string_view text = TrimView(*texts[i]);
    if (text.empty()) continue;
    const double v = LeadingDouble(text);
    if (!(v > 0) || v > 1e6) continue;  // keep the default for nonsense
    if (sar && i < 3)
      opt.p[i] = v / 100.0;
    else if (!sar)
      opt.p[i] = v;
  }
  // Their range sits in the fourth box but is the operation's second argument.
  if (info.fn == MoneyFlowIndex || info.fn == StochRsi || info.fn == WilliamR) {
    opt.p[1] = info.defaults.p[1];
    const double v = LeadingDouble(params.param4);
    if (v > 0 && v < 1e6) opt.p[1] = v;
    opt.p[3] = 0;
  }
  // The envelope's range is typed in per cent.
  if (info.fn == Envelop && !TrimView(params.param2).empty() && opt.p[1] >= 1) opt.p[1] /= 100.0;
  return opt;
}

}  // namespace kovo
