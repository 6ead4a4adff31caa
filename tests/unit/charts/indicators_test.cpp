#include "charts/finance/indicators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fakes/comma_locale.h"

namespace kovo::finance {
namespace {

constexpr double NV = NoValue;
constexpr double kTol = 1e-4;

struct Bars {
  std::vector<double> h, l, o, c, v;
  Inputs In(size_t extra = 0) const { return Inputs{h, l, o, c, v, extra}; }
};

// A small series every family below is worked out on by hand.
//  t:  0    1    2    3    4    5
Bars Known() {
  Bars b;
  b.h = {12, 12, 13, 12, 14, 16};
  b.l = {9, 10, 11, 9, 12, 13};
  b.c = {10, 11, 12, 11, 13, 14};
  b.o = b.c;
  b.v = {100, 200, 150, 300, 250, 100};
  return b;
}

Outputs Compute(IndicatorFn fn, const Bars& b, Options opt = {}, size_t extra = 0) {
  Outputs out;
  fn(b.In(extra), opt, out, 0);
  return out;
}

Options Opt(double a, double b = 0, double c = 0, double d = 0) {
  return Options{{a, b, c, d}};
}

void ExpectSeries(const std::vector<double>& actual, const std::vector<double>& expected,
                  const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t t = 0; t < expected.size(); ++t) {
    if (expected[t] == NV)
      EXPECT_EQ(actual[t], NV) << what << " at " << t;
    else
      EXPECT_NEAR(actual[t], expected[t], kTol) << what << " at " << t;
  }
}

TEST(FinanceMovingAverages, HandComputedOnKnownSeries) {
  const Bars b = Known();
  // SMA(3): (10+11+12)/3, (11+12+11)/3, (12+11+13)/3, (11+13+14)/3.
  ExpectSeries(Compute(Sma, b, Opt(3)).lines[0].values, {NV, NV, 11, 34.0 / 3, 12, 38.0 / 3},
               "SMA");
  // EMA(3), a = 0.5 seeded with 10: 10.5, 11.25, 11.125, 12.0625, 13.03125.
  ExpectSeries(Compute(Ema, b, Opt(3)).lines[0].values,
               {10, 10.5, 11.25, 11.125, 12.0625, 13.03125}, "EMA");
  // TMA(3): p = 2; SMA2 = -, 10.5, 11.5, 11.5, 12, 13.5; again: -, -, 11, 11.5, 11.75, 12.75.
  ExpectSeries(Compute(Tma, b, Opt(3)).lines[0].values, {NV, NV, 11, 11.5, 11.75, 12.75}, "TMA");
  // WMA(3) = (3 C_t + 2 C_t-1 + C_t-2) / 6: 68/6, 68/6, 73/6, 79/6.
  ExpectSeries(Compute(Wma, b, Opt(3)).lines[0].values,
               {NV, NV, 68.0 / 6, 68.0 / 6, 73.0 / 6, 79.0 / 6}, "WMA");
  // Price overlays at t = 3 (H 12, L 9, C 11).
  EXPECT_NEAR(Compute(TypicalPrice, b).lines[0].values[3], 32.0 / 3, kTol);
  EXPECT_NEAR(Compute(WeightedClose, b).lines[0].values[3], (12 + 9 + 22) / 4.0, kTol);
  EXPECT_NEAR(Compute(MedianPrice, b).lines[0].values[3], 10.5, kTol);
  EXPECT_EQ(Compute(ClosingPrice, b).lines[0].values, b.c);
  EXPECT_EQ(Compute(Sma, b, Opt(3)).leading, 2u);
}

TEST(FinanceOscillators, HandComputedOnKnownSeries) {
  const Bars b = Known();
  // RSI(3): d = -, 1, 1, -1, 2, 1. Gains 1,1,0 -> 2/3, losses+gains 1,1,1 -> 1 at t = 3;
  // then Wilder: (2/3*2 + 2)/3 = 10/9 over (1*2 + 2)/3 = 4/3; (10/9*2 + 1)/3 = 29/27 over 11/9.
  ExpectSeries(Compute(Rsi, b, Opt(3, 20)).lines[0].values,
               {NV, NV, NV, 100 * 2.0 / 3, 100 * 10.0 / 12, 100 * 29.0 / 33}, "RSI");
  // Fast %K(3): 100(12-9)/(13-9), 100(11-9)/(13-9), 100(13-9)/(14-9), 100(14-9)/(16-9).
  const Outputs fast = Compute(FastStochastic, b, Opt(3, 2));
  ExpectSeries(fast.lines[0].values, {NV, NV, 75, 50, 80, 500.0 / 7}, "%K");
  ExpectSeries(fast.lines[1].values, {NV, NV, NV, 62.5, 65, (80 + 500.0 / 7) / 2}, "%D");
  // Williams %R(3): -100 (maxH - C) / (maxH - minL).
  ExpectSeries(Compute(WilliamR, b, Opt(3, 30)).lines[0].values,
               {NV, NV, -25, -50, -20, -200.0 / 7}, "%R");
  // Momentum(2) and ROC(2).
  ExpectSeries(Compute(Momentum, b, Opt(2)).lines[0].values, {NV, NV, 2, 0, 1, 3}, "Momentum");
  ExpectSeries(Compute(RateOfChange, b, Opt(2)).lines[0].values,
               {NV, NV, 20, 0, 100.0 / 12, 100.0 * 3 / 11}, "ROC");

  // Flat bars: every ratio is 0/0, which each oscillator resolves to its midpoint.
  Bars flat;
  flat.h = flat.l = flat.o = flat.c = std::vector<double>(6, 5.0);
  flat.v = std::vector<double>(6, 10.0);
  EXPECT_EQ(Compute(Rsi, flat, Opt(3)).lines[0].values[5], 50);
  EXPECT_EQ(Compute(FastStochastic, flat, Opt(3, 2)).lines[0].values[5], 50);
  EXPECT_EQ(Compute(WilliamR, flat, Opt(3)).lines[0].values[5], -50);
  EXPECT_EQ(Compute(StochRsi, flat, Opt(2)).lines[0].values[5], 50);
  // RSI marks its thresholds only for 0 < range < 50.
  EXPECT_EQ(Compute(Rsi, b, Opt(3, 20)).marks, (std::vector<double>{70, 30}));
  EXPECT_TRUE(Compute(Rsi, b, Opt(3, 60)).marks.empty());
}

TEST(FinanceBands, HandComputedOnKnownSeries) {
  const Bars b = Known();
  // Bollinger(3, 2) at t = 2: mean 11, population sd sqrt(2/3).
  const Outputs bb = Compute(BollingerBand, b, Opt(3, 2));
  ASSERT_TRUE(bb.band);
  EXPECT_EQ(bb.lines[0].values[1], NV);
  EXPECT_NEAR(bb.lines[0].values[2], 11 + 2 * std::sqrt(2.0 / 3), kTol);
  EXPECT_NEAR(bb.lines[1].values[2], 11 - 2 * std::sqrt(2.0 / 3), kTol);
  // Last bar: closes 11, 13, 14 -> mean 38/3, variance (25/9 + 1/9 + 16/9)/3 = 14/9.
  EXPECT_EQ(LegendText(bb, 0), "Bollinger (3, 2): 10.2 - 15.2");
  // A lower band below zero is floored: closes 1, 1, 4 -> mean 2, sd sqrt(2).
  Bars low;
  low.c = low.o = {1, 1, 4};
  low.h = low.l = low.c;
  low.v = {1, 1, 1};
  EXPECT_EQ(Compute(BollingerBand, low, Opt(3, 2)).lines[1].values[2], 0.0);
  // Bollinger width = 4 sd.
  EXPECT_NEAR(Compute(BollingerWidth, b, Opt(3, 2)).lines[0].values[2], 4 * std::sqrt(2.0 / 3),
              kTol);

  // Donchian(3): highest high / lowest low of three bars; width the difference.
  const Outputs dc = Compute(DonchianChannel, b, Opt(3));
  ExpectSeries(dc.lines[0].values, {NV, NV, 13, 13, 14, 16}, "upper");
  ExpectSeries(dc.lines[1].values, {NV, NV, 9, 9, 9, 9}, "lower");
  ExpectSeries(Compute(DonchianWidth, b, Opt(3)).lines[0].values, {NV, NV, 4, 4, 5, 7}, "width");
  // Envelop(3, 10 %) around SMA 11 at t = 2.
  const Outputs env = Compute(Envelop, b, Opt(3, 0.1));
  EXPECT_NEAR(env.lines[0].values[2], 12.1, kTol);
  EXPECT_NEAR(env.lines[1].values[2], 9.9, kTol);
  EXPECT_EQ(env.bandName, "Envelop (SMA 3 +/- 10%)");
}

// A scrip that quotes near 100, jumps to 5000 (a re-listing, a corrected
// feed) and then moves by a tick: the deviation must keep its digits though
// the values lie far from where the window sums started. Both the streamed
// path (Bollinger Width) and the block path (Bollinger) are checked.
TEST(FinanceBands, DeviationKeepsItsDigitsAfterAJump) {
  Bars b;
  for (size_t t = 0; t < 1500; ++t) {
    const double base = t < 200 ? 100.0 : 5000.0;
    const double tick = ((t * 7919) % 13 < 6 ? 0.05 : -0.05) * static_cast<double>(t % 3);
    b.c.push_back(base + tick);
  }
  b.o = b.h = b.l = b.c;
  b.v.assign(b.c.size(), 1.0);
  constexpr int n = 20;
  const Outputs bands = Compute(BollingerBand, b, Opt(n, 2));
  const Outputs width = Compute(BollingerWidth, b, Opt(n, 2));
  for (size_t t = 200 + n; t < b.c.size(); ++t) {
    long double mean = 0, var = 0;
    for (size_t i = t + 1 - n; i <= t; ++i) mean += b.c[i];
    mean /= n;
    for (size_t i = t + 1 - n; i <= t; ++i) var += (b.c[i] - mean) * (b.c[i] - mean);
    const double sd = static_cast<double>(std::sqrt(var / n));
    ASSERT_GT(sd, 0.01);
    EXPECT_NEAR(width.lines[0].values[t], 4 * sd, 4 * sd * 1e-9) << t;
    EXPECT_NEAR(bands.lines[0].values[t] - bands.lines[1].values[t], 4 * sd, 4 * sd * 1e-9) << t;
  }
}

TEST(FinanceVolumeBased, HandComputedOnKnownSeries) {
  const Bars b = Known();
  // OBV: 0, +200, +150, -300, +250, +100.
  ExpectSeries(Compute(OnBalanceVolume, b).lines[0].values, {0, 200, 350, 50, 300, 400}, "OBV");
  // CLV = (2C-L-H)/(H-L): -1/3, 0, 0, 1/3, 0, -1/3; A/D sums CLV V.
  ExpectSeries(Compute(CloseLocationValue, b).lines[0].values,
               {-1.0 / 3, 0, 0, 1.0 / 3, 0, -1.0 / 3}, "CLV");
  ExpectSeries(Compute(AccDist, b).lines[0].values,
               {-100.0 / 3, -100.0 / 3, -100.0 / 3, 200.0 / 3, 200.0 / 3, 100.0 / 3}, "A/D");
  // PVT: (11/10-1)200 = 20, +(1/11)150, +(-1/12)300, +(2/11)250, +(1/13)100.
  const double p2 = 20 + 150.0 / 11, p3 = p2 - 25, p4 = p3 + 500.0 / 11;
  ExpectSeries(Compute(PriceVolumeTrend, b).lines[0].values, {NV, 20, p2, p3, p4, p4 + 100.0 / 13},
               "PVT");
  // MFI(2). TP = 31/3, 11, 12, 32/3, 13, 43/3; money flow TP V on rising (+) or falling (-) TP:
  // +2200, +1800, -3200, +3250, +1433.33.
  ExpectSeries(Compute(MoneyFlowIndex, b, Opt(2)).lines[0].values,
               {NV, NV, 100, 100 * 1800.0 / 5000, 100 * 3250.0 / 6450, 100}, "MFI");
  // NVI moves on falling volume (t = 2, 4, 5), PVI on rising volume (t = 1, 3).
  const double n2 = 100 * 12.0 / 11, n4 = n2 * 13 / 11;
  ExpectSeries(Compute(NegVolumeIndex, b, Opt(2)).lines[0].values,
               {100, 100, n2, n2, n4, n4 * 14 / 13}, "NVI");
  ExpectSeries(Compute(PosVolumeIndex, b, Opt(2)).lines[0].values,
               {100, 110, 110, 110 * 11.0 / 12, 110 * 11.0 / 12, 110 * 11.0 / 12}, "PVI");
  ExpectSeries(Compute(NegVolumeIndex, b, Opt(2)).lines[1].values,
               {NV, 100, (100 + n2) / 2, n2, (n2 + n4) / 2, (n4 + n4 * 14 / 13) / 2}, "NVI SMA");

  // Volume is rescaled by the largest 1000^k not above the maximum.
  std::vector<double> scaled;
  EXPECT_EQ(ScaleVolume(std::vector<double>{2'500'000, 500}, scaled), "M");
  EXPECT_EQ(scaled, (std::vector<double>{2.5, 0.0005}));
  EXPECT_EQ(ScaleVolume(std::vector<double>{999, NV}, scaled), "");
  EXPECT_EQ(scaled[1], NV);
  EXPECT_EQ(ScaleVolume(std::vector<double>{5e12}, scaled), "B");
}

TEST(FinanceDirectional, HandComputedAdxAtrAndAroon) {
  Bars b;
  b.h = {10, 11, 12, 11};
  b.l = {8, 9, 9, 8};
  b.c = b.o = {9, 10, 11, 9};
  b.v = {1, 1, 1, 1};
  // TR: 2, 2, max(3, 2, 1) = 3, max(3, 0, 3) = 3. ATR(3), a = 0.5: 2, 2, 2.5, 2.75.
  const Outputs atr = Compute(Atr, b, Opt(3));
  ExpectSeries(atr.lines[0].values, {2, 2, 3, 3}, "TR");
  ExpectSeries(atr.lines[1].values, {2, 2, 2.5, 2.75}, "ATR");
  // ADX(2), a = 1/2. DM at t=1: +1, -0 seeded to +2/3, -1/3; t=2: +1; t=3: -1.
  // TR smoothed 2, 2, 2.5, 2.75; +DM smoothed 2/3, 5/6, 5/12; -DM 1/3, 1/6, 7/12.
  const Outputs adx = Compute(Adx, b, Opt(2));
  const double pdi[] = {100 * (2.0 / 3) / 2, 100 * (5.0 / 6) / 2.5, 100 * (5.0 / 12) / 2.75};
  const double mdi[] = {100 * (1.0 / 3) / 2, 100 * (1.0 / 6) / 2.5, 100 * (7.0 / 12) / 2.75};
  ExpectSeries(adx.lines[0].values, {NV, pdi[0], pdi[1], pdi[2]}, "+DI");
  ExpectSeries(adx.lines[1].values, {NV, mdi[0], mdi[1], mdi[2]}, "-DI");
  double dx[3];
  for (int i = 0; i < 3; ++i) dx[i] = 100 * std::fabs(pdi[i] - mdi[i]) / (pdi[i] + mdi[i]);
  ExpectSeries(adx.lines[2].values,
               {NV, dx[0], (dx[0] + dx[1]) / 2, ((dx[0] + dx[1]) / 2 + dx[2]) / 2}, "ADX");
  EXPECT_EQ(adx.lines[2].name, "ADX (2)");

  // Aroon(2) on highs 10, 11, 12, 11: at t=2 the high is the current bar (100); at t=3
  // it is one bar back (50). Lows 8, 9, 9, 8: at t=2 the tie of 9 keeps the newer bar,
  // so the lowest of (9, 9, 8) is two back (0); at t=3 the current 8 ties the oldest 8 (100).
  const Outputs aroon = Compute(Aroon, b, Opt(2));
  ExpectSeries(aroon.lines[0].values, {NV, NV, 100, 50}, "Aroon Up");
  ExpectSeries(aroon.lines[1].values, {NV, NV, 0, 100}, "Aroon Down");
  ExpectSeries(Compute(AroonOsc, b, Opt(2)).lines[0].values, {NV, NV, 100, -50}, "Aroon Osc");
}

TEST(FinanceParabolicSar, SeedsTrailsBoundsAndReverses) {
  Bars b;
  b.h = {10, 11, 12, 13, 11, 9};
  b.l = {9, 10, 11, 12, 8, 7};
  b.c = b.o = b.l;
  b.v = std::vector<double>(6, 1);
  // t1 long: SAR = L0 = 9, EP 11. t2: 9 + .02(11-9) = 9.04, bounded by L0 = 9 -> 9; EP 12, AF .04.
  // t3: 9 + .04(12-9) = 9.12; EP 13, AF .06. t4: 9.12 + .06(13-9.12) = 9.3528 > L4 = 8:
  // reverse to short at EP 13, EP 8. t5: 13 + .02(8-13) = 12.9, raised to H3 = 13.
  const Outputs sar = Compute(ParabolicSar, b, Opt(0.02, 0.02, 0.2));
  ExpectSeries(sar.lines[0].values, {NV, 9, 9, 9.12, 13, 13}, "SAR");
  EXPECT_EQ(LegendText(sar, 0), "Parabolic SAR: 13");

  // A gap bar gets no value and does not count as history.
  b.h[2] = b.l[2] = NV;
  const Outputs gap = Compute(ParabolicSar, b, Opt(0.02, 0.02, 0.2));
  EXPECT_EQ(gap.lines[0].values[2], NV);
  // t3 continues from t1 (SAR 9, EP 11): 9 + .02 * 2 = 9.04, bounded by L1 = 10 and L0 = 9.
  EXPECT_NEAR(gap.lines[0].values[3], 9.0, kTol);
}

struct Case {
  const char* what;
  IndicatorFn fn;
  Options opt;
  std::vector<std::string> names;
  size_t leading;  // positions without value, from the indicator's definition
};

std::vector<Case> AllCases() {
  return {
      {"SMA", Sma, Opt(20), {"SMA (20)"}, 19},
      {"EMA", Ema, Opt(20), {"EMA (20)"}, 0},
      {"TMA", Tma, Opt(20), {"TMA (20)"}, 20},  // 2 (n/2)
      {"WMA", Wma, Opt(20), {"WMA (20)"}, 19},
      {"Bollinger", BollingerBand, Opt(20, 2), {"Bollinger (20, 2)", ""}, 19},
      {"Donchian", DonchianChannel, Opt(20), {"Donchian (20)", ""}, 19},
      {"Envelop", Envelop, Opt(20, 0.1), {"Envelop (SMA 20 +/- 10%)", ""}, 19},
      {"SAR", ParabolicSar, Opt(0.02, 0.02, 0.2), {"Parabolic SAR"}, 1},
      {"Close", ClosingPrice, {}, {"Closing Price"}, 0},
      {"AD", AccDist, {}, {"Accumulation/Distribution"}, 0},
      {"Aroon", Aroon, Opt(14), {"Aroon Up", "Aroon Down"}, 14},
      {"AroonOsc", AroonOsc, Opt(14), {"Aroon Oscillator (14)"}, 14},
      {"ADX", Adx, Opt(14), {"+DI (14)", "-DI (14)", "ADX (14)"}, 1},
      {"ATR", Atr, Opt(14), {"True Range", "Average True Range (14)"}, 0},
      {"BBW", BollingerWidth, Opt(20, 2.5), {"Bollinger Width (20, 2.5)"}, 19},
      {"CMF", ChaikinMoneyFlow, Opt(21), {"Chaikin Money Flow (21)"}, 20},
      {"ChaikinOsc", ChaikinOscillator, {}, {"Chaikin Oscillator"}, 0},
      {"ChaikinVol", ChaikinVolatility, Opt(10, 10), {"Chaikin Volatility (10, 10)"}, 10},
      {"CLV", CloseLocationValue, {}, {"Close Location Value"}, 0},
      {"CCI", Cci, Opt(20, 100), {"CCI (20)"}, 19},
      {"DCW", DonchianWidth, Opt(20), {"Donchian Width (20)"}, 19},
      {"DPO", Dpo, Opt(20), {"DPO (20)"}, 30},  // n - 1 + n/2 + 1
      {"EMV", EaseOfMovement, Opt(9), {"EMV", "EMV EMA (9)"}, 1},
      {"Fast", FastStochastic, Opt(14, 3), {"Fast Stochastic %K (14)", "%D (3)"}, 13},
      {"Slow", SlowStochastic, Opt(14, 3), {"Slow Stochastic %K (14)", "%D (3)"}, 15},
      {"MACD", Macd, Opt(26, 12, 9), {"MACD (26, 12)", "EXP (9)", "Divergence"}, 0},
      {"Mass", MassIndex, {}, {"Mass Index"}, 24},
      {"MFI", MoneyFlowIndex, Opt(14, 30), {"Money Flow Index (14)"}, 14},
      {"Momentum", Momentum, Opt(12), {"Momentum (12)"}, 12},
      {"NVI", NegVolumeIndex, Opt(255), {"NVI", "NVI SMA (255)"}, 0},
      {"PVI", PosVolumeIndex, Opt(255), {"PVI", "PVI SMA (255)"}, 0},
      {"OBV", OnBalanceVolume, {}, {"OBV"}, 0},
      {"Performance", Performance, {}, {"Performance"}, 0},
      {"PPO", PriceOscillator, Opt(26, 12, 9), {"PPO (26, 12)", "EMA (9)", "Divergence"}, 0},
      {"PVO", VolumeOscillator, Opt(26, 12, 9), {"PVO (26, 12)", "EMA (9)", "Divergence"}, 0},
      {"PVT", PriceVolumeTrend, {}, {"PVT"}, 1},
      {"ROC", RateOfChange, Opt(12), {"ROC (12)"}, 12},
      {"RSI", Rsi, Opt(14, 20), {"RSI (14)"}, 14},
      {"StochRSI", StochRsi, Opt(14, 20), {"StochRSI (14)"}, 27},  // 2n - 1
      {"TRIX", Trix, Opt(12), {"TRIX (12)"}, 1},
      {"UO", UltimateOscillator, Opt(7, 14, 28, 20), {"Ultimate Oscillator (7, 14, 28)"}, 28},
      {"WR", WilliamR, Opt(14, 30), {"William %R"}, 13},
  };
}

Bars RandomWalk(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> step(-1.0, 1.0), spread(0.0, 1.5), vol(0, 5000);
  Bars b;
  double price = 100;
  for (size_t i = 0; i < n; ++i) {
    price = std::max(5.0, price + step(gen));
    b.o.push_back(price);
    b.c.push_back(std::max(1.0, price + step(gen)));
    b.h.push_back(std::max(b.o.back(), b.c.back()) + spread(gen));
    b.l.push_back(std::min(b.o.back(), b.c.back()) - spread(gen));
    b.v.push_back(std::floor(vol(gen)));
  }
  return b;
}

TEST(FinanceAllIndicators, NamesAndPositionsWithoutValue) {
  const Bars b = RandomWalk(400, 7);
  for (const Case& c : AllCases()) {
    const Outputs out = Compute(c.fn, b, c.opt);
    ASSERT_EQ(out.lines.size(), c.names.size()) << c.what;
    for (size_t i = 0; i < c.names.size(); ++i) {
      if (!c.names[i].empty()) {
        EXPECT_EQ(out.lines[i].name, c.names[i]) << c.what;
      }
    }
    EXPECT_EQ(out.leading, c.leading) << c.what;
    for (const Line& l : out.lines) EXPECT_EQ(l.values.size(), b.c.size()) << c.what;
  }
}

// Same positions with a value, and the same bits where there is one.
void ExpectSameBits(const Outputs& actual, const Outputs& expected, const std::string& what) {
  ASSERT_EQ(actual.lines.size(), expected.lines.size()) << what;
  for (size_t i = 0; i < expected.lines.size(); ++i) {
    const auto& a = actual.lines[i].values;
    const auto& e = expected.lines[i].values;
    ASSERT_EQ(a.size(), e.size()) << what;
    size_t differ = 0, first = e.size();
    for (size_t t = 0; t < e.size(); ++t)
      if (std::memcmp(&a[t], &e[t], sizeof(double)) != 0) ++differ, first = std::min(first, t);
    EXPECT_EQ(differ, 0u) << what << " line " << i << ", first at " << first;
  }
  EXPECT_EQ(actual.leading, expected.leading) << what;
}

TEST(FinanceAllIndicators, TailRecomputeMatchesFullRecompute) {
  // A live-bar tick changes the last bar; a new bar appends one. Either way
  // recomputing from that position must give what a computation from scratch gives.
  for (const Case& c : AllCases()) {
    Bars b = RandomWalk(300, 11);
    Outputs cached;
    c.fn(b.In(), c.opt, cached, 0);

    b.c.back() += 1.7;
    b.h.back() = std::max(b.h.back(), b.c.back());
    b.v.back() += 900;
    c.fn(b.In(), c.opt, cached, b.c.size() - 1);
    ExpectSameBits(cached, Compute(c.fn, b, c.opt), std::string(c.what) + " tick");

    b.h.push_back(b.c.back() + 2), b.l.push_back(b.c.back() - 2), b.o.push_back(b.c.back());
    b.c.push_back(b.c.back() + 0.5), b.v.push_back(1234);
    c.fn(b.In(), c.opt, cached, b.c.size() - 1);
    ExpectSameBits(cached, Compute(c.fn, b, c.opt), std::string(c.what) + " append");
  }
}

// A halted scrip: a random walk, then bars that are all the same. The first
// part has gaps (missing bars, missing volume) so that windows skip them.
constexpr double kFlatClose = 101.25;  // h and l half a point away: every ratio exact
constexpr double kFlatVolume = 700;

Bars HaltedAfterWalk(size_t walk, size_t flat) {
  Bars b = RandomWalk(walk, 5);
  for (size_t t = 17; t < walk; t += 41) b.h[t] = b.l[t] = b.o[t] = b.c[t] = b.v[t] = NV;
  for (size_t t = 29; t < walk; t += 53) b.v[t] = NV;
  for (size_t i = 0; i < flat; ++i) {
    b.h.push_back(kFlatClose + 0.5), b.l.push_back(kFlatClose - 0.5);
    b.o.push_back(kFlatClose), b.c.push_back(kFlatClose), b.v.push_back(kFlatVolume);
  }
  return b;
}

TEST(FinanceAllIndicators, StreamedAndResumedTailsEqualFullBitForBit) {
  const Bars all = HaltedAfterWalk(700, 300);
  for (const Case& c : AllCases()) {
    const Outputs full = Compute(c.fn, all, c.opt);
    // Bars arriving one at a time, through the gaps and into the flat run.
    Bars b;
    const size_t start = 150;
    for (auto [dst, src] :
         {std::pair{&b.h, &all.h}, {&b.l, &all.l}, {&b.o, &all.o}, {&b.c, &all.c}, {&b.v, &all.v}})
      dst->assign(src->begin(), src->begin() + start);
    Outputs streamed;
    c.fn(b.In(), c.opt, streamed, 0);
    for (size_t t = start; t < all.c.size(); ++t) {
      b.h.push_back(all.h[t]), b.l.push_back(all.l[t]), b.o.push_back(all.o[t]);
      b.c.push_back(all.c[t]), b.v.push_back(all.v[t]);
      c.fn(b.In(), c.opt, streamed, t);
      if (t % 97 == 0) ExpectSameBits(streamed, Compute(c.fn, b, c.opt), std::string(c.what));
    }
    ExpectSameBits(streamed, full, std::string(c.what) + " streamed");
    // A resume at any position, block edges included, recomputes what follows it
    // from what precedes it alone.
    for (size_t from :
         {1u, 63u, 64u, 65u, 127u, 128u, 129u, 300u, 511u, 512u, 513u, 699u, 701u, 850u, 999u}) {
      Outputs resumed = full;
      for (auto& l : resumed.lines)
        std::fill(l.values.begin() + static_cast<std::ptrdiff_t>(from), l.values.end(), -3.0);
      for (auto& w : resumed.work)
        std::fill(w.begin() + static_cast<std::ptrdiff_t>(from), w.end(), -3.0);
      c.fn(all.In(), c.opt, resumed, from);
      ExpectSameBits(resumed, full, std::string(c.what) + " from " + std::to_string(from));
    }
  }
}

// Missing stretches longer than a window (a feed outage across the block and
// stretch edges the window sums restart at) and a jump the sums re-centre on:
// a resume anywhere still recomputes exactly what a full pass gives.
TEST(FinanceAllIndicators, ResumesAcrossLongGapsAndJumpsEqualFullBitForBit) {
  Bars all = RandomWalk(1400, 23);
  for (size_t t = 600; t < all.c.size(); ++t) {
    all.o[t] += 400, all.c[t] += 400, all.h[t] += 400, all.l[t] += 400;
  }
  for (auto [a, z] : {std::pair<size_t, size_t>{300, 345}, {630, 700}, {950, 972}})
    for (size_t t = a; t < z; ++t) all.h[t] = all.l[t] = all.o[t] = all.c[t] = all.v[t] = NV;
  for (const Case& c : AllCases()) {
    const Outputs full = Compute(c.fn, all, c.opt);
    for (size_t from = 1; from < all.c.size(); from += 13) {
      Outputs resumed = full;
      for (auto& l : resumed.lines)
        std::fill(l.values.begin() + static_cast<std::ptrdiff_t>(from), l.values.end(), -3.0);
      for (auto& w : resumed.work)
        std::fill(w.begin() + static_cast<std::ptrdiff_t>(from), w.end(), -3.0);
      c.fn(all.In(), c.opt, resumed, from);
      ExpectSameBits(resumed, full, std::string(c.what) + " from " + std::to_string(from));
      if (HasFailure()) return;
    }
  }
}

struct FlatCase {
  const char* what;
  size_t line;
  double expected;  // at every bar once the window lies in the flat run
};

TEST(FinanceAllIndicators, WindowsOfEqualBarsGiveExactValues) {
  const double p = kFlatClose, h = p + 0.5, l = p - 0.5;
  const std::vector<FlatCase> cases = {
      {"SMA", 0, p},       {"TMA", 0, p},           {"WMA", 0, p},
      {"Bollinger", 0, p}, {"Bollinger", 1, p},     {"Donchian", 0, h},
      {"Donchian", 1, l},  {"Envelop", 0, p * 1.1}, {"Envelop", 1, p * (1 - 0.1)},
      {"Aroon", 0, 100},   {"Aroon", 1, 100},       {"AroonOsc", 0, 0},
      {"BBW", 0, 0},       {"CMF", 0, 0},           {"CCI", 0, 0},
      {"DCW", 0, h - l},   {"DPO", 0, 0},           {"EMV", 0, 0},
      {"EMV", 1, 0},       {"Fast", 0, 50},         {"Fast", 1, 50},
      {"Slow", 0, 50},     {"Slow", 1, 50},         {"MFI", 0, 50},
      {"Momentum", 0, 0},  {"ROC", 0, 0},           {"UO", 0, 100.0 / 7.0 * 3.5},
      {"WR", 0, -50},
  };
  const size_t walk = 700, flat = 300, settled = walk + 60;  // past the longest window
  const Bars b = HaltedAfterWalk(walk, flat);
  const std::vector<Case> all = AllCases();
  for (const FlatCase& f : cases) {
    const auto c = std::find_if(all.begin(), all.end(),
                                [&](const Case& k) { return std::string(k.what) == f.what; });
    ASSERT_NE(c, all.end()) << f.what;
    const Outputs out = Compute(c->fn, b, c->opt);
    ASSERT_LT(f.line, out.lines.size()) << f.what;
    size_t wrong = 0;
    for (size_t t = settled; t < b.c.size(); ++t)
      wrong += out.lines[f.line].values[t] != f.expected;
    EXPECT_EQ(wrong, 0u) << f.what << " line " << f.line << " ends at "
                         << out.lines[f.line].values.back();
  }
}

struct RangeCase {
  const char* what;
  size_t line;
  double lo, hi;
};

TEST(FinanceAllIndicators, BoundedIndicatorsStayInRangeThroughAHalt) {
  const std::vector<RangeCase> cases = {
      {"RSI", 0, 0, 100},       {"MFI", 0, 0, 100},      {"Fast", 0, 0, 100}, {"Fast", 1, 0, 100},
      {"Slow", 1, 0, 100},      {"StochRSI", 0, 0, 100}, {"WR", 0, -100, 0},  {"UO", 0, 0, 100},
      {"Aroon", 0, 0, 100},     {"ADX", 0, 0, 100},      {"ADX", 2, 0, 100},  {"CMF", 0, -1, 1},
      {"BBW", 0, 0, 1e9},       {"ATR", 1, 0, 1e9},      {"CLV", 0, -1, 1},   {"SMA", 0, 0, 1e9},
      {"Bollinger", 1, 0, 1e9},
  };
  // Volume that is mostly zero makes MFI's and CMF's sums cancel to nothing.
  Bars b = HaltedAfterWalk(700, 300);
  for (size_t t = 0; t < 700; ++t)
    if (HasValue(b.v[t]) && t % 5 != 0) b.v[t] = 0;
  const std::vector<Case> all = AllCases();
  for (const RangeCase& r : cases) {
    const auto c = std::find_if(all.begin(), all.end(),
                                [&](const Case& k) { return std::string(k.what) == r.what; });
    ASSERT_NE(c, all.end()) << r.what;
    const Outputs out = Compute(c->fn, b, c->opt);
    for (size_t t = 0; t < b.c.size(); ++t) {
      const double v = out.lines[r.line].values[t];
      if (v == NV) continue;
      EXPECT_TRUE(v >= r.lo && v <= r.hi) << r.what << " " << r.line << " at " << t << ": " << v;
    }
  }
}

TEST(FinanceVolumeBased, SignalLinesAndBaseOnlyWhenThereIsOne) {
  const Bars b = Known();  // six bars
  // NVI/PVI add their SMA only with more bars than its period.
  for (IndicatorFn fn : {NegVolumeIndex, PosVolumeIndex}) {
    EXPECT_EQ(Compute(fn, b, Opt(6)).lines.size(), 1u);
    const Outputs five = Compute(fn, b, Opt(5));
    ASSERT_EQ(five.lines.size(), 2u);
    EXPECT_EQ(five.lines[1].values[3], NV);
    EXPECT_NE(five.lines[1].values[4], NV);
    // The seventh bar brings the line in on a tail recompute too.
    Bars more = b;
    Outputs out = Compute(fn, more, Opt(6));
    more.h.push_back(15), more.l.push_back(13), more.o.push_back(14), more.c.push_back(14);
    more.v.push_back(90);
    fn(more.In(), Opt(6), out, 6);
    ExpectSameBits(out, Compute(fn, more, Opt(6)), "signal appears");
    ASSERT_EQ(out.lines.size(), 2u);
    EXPECT_EQ(out.lines[1].name, fn == NegVolumeIndex ? "NVI SMA (6)" : "PVI SMA (6)");
  }
  // Performance has no line without a valid non-zero close from the first shown bar on.
  Bars none = b;
  none.c = {10, 11, 0, NV, 0, 0};
  Outputs perf = Compute(Performance, none, {}, 2);
  EXPECT_TRUE(perf.lines.empty());
  EXPECT_EQ(LegendText(perf, 0), "");
  EXPECT_EQ(Compute(Performance, Bars{}).lines.size(), 0u);
  // A base arriving later brings the line, computed in full.
  none.c.push_back(8), none.h.push_back(9), none.l.push_back(7), none.o.push_back(8);
  none.v.push_back(5);
  Performance(none.In(2), {}, perf, 6);
  ASSERT_EQ(perf.lines.size(), 1u);
  EXPECT_EQ(perf.lines[0].values[6], 0.0);
  EXPECT_EQ(perf.lines[0].values[0], 100 * 10.0 / 8 - 100);
}

TEST(FinanceAllIndicators, ShortAndEmptyInputsDoNotCrash) {
  for (size_t n : {0u, 1u, 2u}) {
    const Bars b = RandomWalk(n, 3);
    for (const Case& c : AllCases()) {
      const Outputs out = Compute(c.fn, b, c.opt);
      for (const Line& l : out.lines)
        for (double v : l.values) EXPECT_TRUE(v == NV || std::isfinite(v)) << c.what;
    }
  }
  // Periods far beyond the series, past the int range or not numbers at all
  // neither allocate for the period nor overflow: no values, or finite ones.
  const Bars walk = RandomWalk(50, 3);
  for (double p : {1e12, 2147483647.0, -1e12, std::nan("")})
    for (const Case& c : AllCases()) {
      const Outputs out = Compute(c.fn, walk, Opt(p, p, p, p));
      for (const Line& l : out.lines)
        for (double v : l.values) EXPECT_TRUE(v == NV || std::isfinite(v)) << c.what << " " << p;
    }
  EXPECT_EQ(LeadingNoValue(Compute(Sma, walk, Opt(1e12)).lines[0].values), walk.c.size());
  // A zero or negative period falls back to a usable one instead of dividing by zero.
  const Bars b = Known();
  const Outputs out = Compute(Sma, b, Opt(-4));
  for (double v : out.lines[0].values) EXPECT_TRUE(v == NV || std::isfinite(v));
}

// A host in a decimal-comma locale: names (kept in templates) and legend
// numbers keep their dot.
TEST(FinanceLegend, NamesAndNumbersKeepTheirDotInADecimalCommaLocale) {
  test::CommaDecimalLocale comma;
  ASSERT_EQ(comma.Failure(), "");
  const Bars b = Known();
  const Outputs bb = Compute(BollingerBand, b, Opt(3, 2.5));
  EXPECT_EQ(bb.bandName, "Bollinger (3, 2.5)");
  // mean 38/3, sd sqrt(14/9): 12.67 -/+ 3.12.
  EXPECT_EQ(LegendText(bb, 0), "Bollinger (3, 2.5): 9.55 - 15.8");
}

TEST(FinanceLegend, NumbersAndTexts) {
  EXPECT_EQ(FormatLegendNumber(95.123), "95.1");
  EXPECT_EQ(FormatLegendNumber(104.2), "104");
  EXPECT_EQ(FormatLegendNumber(12345.6), "12346");
  EXPECT_EQ(FormatLegendNumber(0.5), "0.5");
  EXPECT_EQ(FormatLegendNumber(-0.01234), "-0.0123");
  EXPECT_EQ(FormatLegendNumber(2.0), "2");
  const Bars b = Known();
  // RSI at the last bar: 100 * 29/33 = 87.88.
  EXPECT_EQ(LegendText(Compute(Rsi, b, Opt(3)), 0), "RSI (3): 87.9");
  // Nothing to show: just the name.
  EXPECT_EQ(LegendText(Compute(Rsi, b, Opt(30)), 0), "RSI (30)");
  // Performance is measured from the first shown bar: 100 * 14 / 12 - 100 with 2 hidden points.
  EXPECT_NEAR(Compute(Performance, b, {}, 2).lines[0].values[5], 100 * 14.0 / 12 - 100, kTol);
  EXPECT_EQ(Compute(Performance, b, {}, 2).lines[0].values[2], 0.0);
}

}  // namespace
}  // namespace kovo::finance
