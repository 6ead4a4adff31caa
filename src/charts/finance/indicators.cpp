#include "charts/finance/indicators.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kovo::finance {
namespace {

using Span = std::span<double>;
using CSpan = std::span<const double>;

// Sizes the outputs for n points and returns the first position to compute:
// a change of shape starts over, and nothing past what was computed is trusted.
size_t Prepare(Outputs& out, size_t n, size_t lines, size_t work, size_t from) {
  if (out.lines.size() != lines || out.work.size() != work) {
    out = Outputs{};
    out.lines.resize(lines);
    out.work.resize(work);
    from = 0;
  }
  for (auto& l : out.lines) {
    from = std::min(from, l.values.size());
    l.values.resize(n, NoValue);
  }
  for (auto& w : out.work) {
    from = std::min(from, w.size());
    w.resize(n, NoValue);
  }
  return std::min(from, n);
}

void Finish(Outputs& out) {
  out.leading = out.lines.empty() ? 0 : LeadingNoValue(out.lines[0].values);
}

Span L(Outputs& o, size_t i) {
  return o.lines[i].values;
}
Span W(Outputs& o, size_t i) {
  return o.work[i];
}

bool Ok(double a) {
  return HasValue(a);
}
bool Ok(double a, double b) {
  return HasValue(a) && HasValue(b);
}
bool Ok(double a, double b, double c) {
  return HasValue(a) && HasValue(b) && HasValue(c);
}

template <typename F>
void Map(size_t from, size_t n, Span y, F f) {
  for (size_t t = from; t < n; ++t) y[t] = f(t);
}

std::string G(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}
std::string Name(const char* base, int a) {
  return std::string(base) + " (" + std::to_string(a) + ")";
}
std::string Name(const char* base, int a, int b) {
  return std::string(base) + " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
}

int Period(const Options& o, size_t i, int fallback) {
  const int v = o.Int(i);
  return v > 0 ? v : fallback;
}

double Alpha(int n) {
  return 2.0 / (n + 1.0);
}

// (2C - L - H) / (H - L), 0/0 = 0.
double Clv(double h, double l, double c) {
  if (!Ok(h, l, c)) return NoValue;
  const double num = 2 * c - l - h, den = h - l;
  if (den == 0) return num == 0 ? 0.0 : NoValue;
  return num / den;
}

// TR = max(H - L, |H - Cprev|, |Cprev - L|); H - L where there is no previous close.
void TrueRange(const Inputs& in, Span prevClose, Span tr, size_t from) {
  const size_t n = in.close.size();
  ShiftOne(in.close, prevClose, from);
  Map(from, n, tr, [&](size_t t) {
    const double h = in.high[t], l = in.low[t], p = prevClose[t];
    if (!Ok(h, l)) return NoValue;
    if (!Ok(p)) return h - l;
    return std::max({h - l, std::fabs(h - p), std::fabs(p - l)});
  });
}

void Scale(CSpan x, double k, double add, Span y, size_t from) {
  for (size_t t = from; t < x.size(); ++t) y[t] = Ok(x[t]) ? x[t] * k + add : NoValue;
}

void Sub(CSpan a, CSpan b, Span y, size_t from) {
  for (size_t t = from; t < a.size(); ++t) y[t] = Ok(a[t], b[t]) ? a[t] - b[t] : NoValue;
}

// MA of close, the four kinds sharing the naming.
void OneLine(Outputs& out, const Inputs& in, size_t work, size_t& from, std::string name) {
  from = Prepare(out, in.close.size(), 1, work, from);
  out.lines[0].name = std::move(name);
}

// Wilder smoothing seeded by the mean of the first n valid values:
// out_k = ((n-1) out_(k-1) + x_k) / n. `count` keeps how many valid values were seen.
void SeededWilder(CSpan x, int n, Span y, Span count, size_t from) {
  n = std::max(n, 1);
  double k = 0, acc = 0;
  if (from > 0 && Ok(count[from - 1])) k = count[from - 1];
  if (k >= n) {
    const size_t last = LastValueIndex(CSpan(y.data(), from));
    acc = y[last] * (n - 1);
  } else {
    for (size_t t = from; t > 0; --t)
      if (Ok(x[t - 1])) acc += x[t - 1];
  }
  for (size_t t = from; t < x.size(); ++t) {
    if (!Ok(x[t])) {
      y[t] = NoValue;
      count[t] = k;
      continue;
    }
    k += 1;
    acc += x[t];
    count[t] = k;
    if (k < n) {
      y[t] = NoValue;
    } else {
      y[t] = acc / n;
      acc = y[t] * (n - 1);
    }
  }
}

// RSI into r using four work arrays starting at w.
void RsiInto(const Inputs& in, int n, Outputs& out, size_t w, Span r, size_t from) {
  const size_t size = in.close.size();
  Span d = W(out, w), u = W(out, w + 1), a = W(out, w + 2), su = W(out, w + 3), sa = W(out, w + 4),
       cu = W(out, w + 5), ca = W(out, w + 6);
  Delta(in.close, 1, d, from);
  Map(from, size, u, [&](size_t t) { return Ok(d[t]) ? std::max(d[t], 0.0) : NoValue; });
  Map(from, size, a, [&](size_t t) { return Ok(d[t]) ? std::fabs(d[t]) : NoValue; });
  SeededWilder(u, n, su, cu, from);
  SeededWilder(a, n, sa, ca, from);
  FinanceDiv(su, sa, 0.5, r, from);
  Scale(r, 100, 0, r, from);
}

// 100 * (x - MIN_n(lo)) / (MAX_n(hi) - MIN_n(lo)), 0/0 = zz.
void StochInto(CSpan x, CSpan hi, CSpan lo, int n, Span mx, Span mn, Span num, Span den, double zz,
               Span y, size_t from) {
  MovMax(hi, n, mx, from);
  MovMin(lo, n, mn, from);
  Sub(x, mn, num, from);
  Sub(mx, mn, den, from);
  FinanceDiv(num, den, zz / 100.0, y, from);
  Scale(y, 100, 0, y, from);
}

void Thresholds(Outputs& out, double centre, double range, bool onlyInside) {
  out.marks.clear();
  if (!onlyInside || (range > 0 && range < 50)) out.marks = {centre + range, centre - range};
}

// Two EMAs, their relative or plain difference, signal and histogram.
void OscillatorOfEmas(CSpan x, const Options& opt, Outputs& out, size_t from, bool percent,
                      const char* name, const char* signalName) {
  const size_t n = x.size();
  const int p1 = Period(opt, 0, 26), p2 = Period(opt, 1, 12), p3 = Period(opt, 2, 9);
  from = Prepare(out, n, 3, 3, from);
  out.lines[0].name = Name(name, p1, p2);
  out.lines[1].name = Name(signalName, p3);
  out.lines[2].name = "Divergence";
  out.lines[2].bars = true;
  Span e1 = W(out, 0), e2 = W(out, 1), diff = W(out, 2);
  ExpAvg(x, Alpha(p1), e1, from);
  ExpAvg(x, Alpha(p2), e2, from);
  Sub(e2, e1, diff, from);
  if (percent) {
    FinanceDiv(diff, e2, 0.0, L(out, 0), from);
    Scale(L(out, 0), 100, 0, L(out, 0), from);
  } else {
    std::copy(diff.begin() + static_cast<std::ptrdiff_t>(from), diff.end(),
              L(out, 0).begin() + static_cast<std::ptrdiff_t>(from));
  }
  ExpAvg(L(out, 0), Alpha(p3), L(out, 1), from);
  Sub(L(out, 0), L(out, 1), L(out, 2), from);
  Finish(out);
}

// NVI / PVI: starts at 100, moves with the close's relative change on bars
// whose volume fell (NVI) or rose (PVI) against the previous bar with volume.
void VolumeIndex(const Inputs& in, const Options& opt, Outputs& out, size_t from, bool negative) {
  const size_t n = in.close.size();
  const int period = Period(opt, 0, 255);
  from = Prepare(out, n, 2, 0, from);
  out.lines[0].name = negative ? "NVI" : "PVI";
  out.lines[1].name = Name(negative ? "NVI SMA" : "PVI SMA", period);
  Span y = L(out, 0);
  size_t prev = n;
  for (size_t t = from; t > 0; --t)
    if (Ok(in.volume[t - 1])) {
      prev = t - 1;
      break;
    }
  for (size_t t = from; t < n; ++t) {
    if (!Ok(in.volume[t])) {
      y[t] = NoValue;
      continue;
    }
    if (prev == n) {
      y[t] = 100.0;
    } else {
      double v = y[prev];
      const double c = in.close[t], cp = in.close[prev];
      const bool moved = negative ? in.volume[t] < in.volume[prev] : in.volume[t] > in.volume[prev];
      if (moved && Ok(c, cp) && cp != 0) v *= 1 + (c - cp) / cp;
      y[t] = v;
    }
    prev = t;
  }
  MovAvg(y, period, L(out, 1), from);
  Finish(out);
}

}  // namespace

// C.
void ClosingPrice(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from, "Closing Price");
  std::copy(in.close.begin() + static_cast<std::ptrdiff_t>(from), in.close.end(),
            L(out, 0).begin() + static_cast<std::ptrdiff_t>(from));
  Finish(out);
}

// (H + L + C) / 3.
void TypicalPrice(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from, "Typical Price");
  Map(from, in.close.size(), L(out, 0), [&](size_t t) {
    return Ok(in.high[t], in.low[t], in.close[t]) ? (in.high[t] + in.low[t] + in.close[t]) / 3
                                                  : NoValue;
  });
  Finish(out);
}

// (H + L + 2C) / 4.
void WeightedClose(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from, "Weighted Close");
  Map(from, in.close.size(), L(out, 0), [&](size_t t) {
    return Ok(in.high[t], in.low[t], in.close[t]) ? (in.high[t] + in.low[t] + 2 * in.close[t]) / 4
                                                  : NoValue;
  });
  Finish(out);
}

// (H + L) / 2.
void MedianPrice(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from, "Median Price");
  Map(from, in.close.size(), L(out, 0),
      [&](size_t t) { return Ok(in.high[t], in.low[t]) ? (in.high[t] + in.low[t]) / 2 : NoValue; });
  Finish(out);
}

// Mean of the last n closes; first value at n - 1.
void Sma(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  OneLine(out, in, 0, from, Name("SMA", n));
  MovAvg(in.close, n, L(out, 0), from);
  Finish(out);
}

// y = a C + (1 - a) y_prev with a = 2 / (n + 1), seeded with C_0.
void Ema(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  OneLine(out, in, 0, from, Name("EMA", n));
  ExpAvg(in.close, Alpha(n), L(out, 0), from);
  Finish(out);
}

// SMA_p(SMA_p(C)) with p = n/2 + 1; first value at 2 (n/2).
void Tma(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const int p = n / 2 + 1;
  OneLine(out, in, 1, from, Name("TMA", n));
  MovAvg(in.close, p, W(out, 0), from);
  MovAvg(W(out, 0), p, L(out, 0), from);
  Finish(out);
}

// sum_(j<n) (n - j) C_(t-j) / (n (n + 1) / 2): the newest close weighs n.
void Wma(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  OneLine(out, in, 0, from, Name("WMA", n));
  const double den = n * (n + 1) / 2.0;
  const size_t span = static_cast<size_t>(n);
  Map(from, in.close.size(), L(out, 0), [&](size_t t) {
    if (t + 1 < span) return NoValue;
    double sum = 0;
    for (size_t j = 0; j < span; ++j) {
      const double c = in.close[t - j];
      if (!Ok(c)) return NoValue;
      sum += static_cast<double>(span - j) * c;
    }
    return sum / den;
  });
  Finish(out);
}

// mid = SMA_n(C), sd = population deviation; upper/lower = mid +/- k sd, values <= 0 become 0.
void BollingerBand(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double k = opt.p[1] > 0 ? opt.p[1] : 2.0;
  from = Prepare(out, in.close.size(), 2, 2, from);
  out.band = true;
  out.bandName = "Bollinger (" + std::to_string(n) + ", " + G(k) + ")";
  out.lines[0].name = out.bandName;
  MovAvg(in.close, n, W(out, 0), from);
  MovStdDev(in.close, n, W(out, 1), from);
  for (int side = 0; side < 2; ++side)
    Map(from, in.close.size(), L(out, static_cast<size_t>(side)), [&](size_t t) {
      const double m = out.work[0][t], s = out.work[1][t];
      if (!Ok(m, s)) return NoValue;
      const double v = side == 0 ? m + k * s : m - k * s;
      return v > 0 ? v : 0.0;
    });
  Finish(out);
}

// upper = MAX_n(H), lower = MIN_n(L), current bar included.
void DonchianChannel(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  from = Prepare(out, in.close.size(), 2, 0, from);
  out.band = true;
  out.bandName = Name("Donchian", n);
  out.lines[0].name = out.bandName;
  MovMax(in.high, n, L(out, 0), from);
  MovMin(in.low, n, L(out, 1), from);
  Finish(out);
}

// SMA_n(C) (1 +/- r); p[1] is the fraction r (0.1 = 10 %).
void Envelop(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double r = opt.p[1] > 0 ? opt.p[1] : 0.1;
  from = Prepare(out, in.close.size(), 2, 1, from);
  out.band = true;
  out.bandName = "Envelop (SMA " + std::to_string(n) + " +/- " + G(r * 100) + "%)";
  out.lines[0].name = out.bandName;
  MovAvg(in.close, n, W(out, 0), from);
  Scale(W(out, 0), 1 + r, 0, L(out, 0), from);
  Scale(W(out, 0), 1 - r, 0, L(out, 1), from);
  Finish(out);
}

// Wilder's stop and reverse. Seed on the second valid bar: long when its low
// is not below the first's (SAR = previous low, EP = higher high), else short.
// Then SAR += AF (EP - SAR) with AF clamped to the maximum before use; a new
// extreme raises AF; outside a reversal the SAR stays beyond the last two bars.
void ParabolicSar(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const double init = opt.p[0] > 0 ? opt.p[0] : 0.02;
  const double inc = opt.p[1] > 0 ? opt.p[1] : 0.02;
  const double max = opt.p[2] > 0 ? opt.p[2] : 0.2;
  const size_t n = in.close.size();
  from = Prepare(out, n, 1, 3, from);
  out.lines[0].name = "Parabolic SAR";
  Span sar = L(out, 0), trend = W(out, 0), ep = W(out, 1), af = W(out, 2);
  auto valid = [&](size_t t) { return Ok(in.high[t], in.low[t]); };
  size_t p1 = n, p2 = n;
  for (size_t t = from; t > 0 && p2 == n; --t)
    if (valid(t - 1)) (p1 == n ? p1 : p2) = t - 1;
  for (size_t t = from; t < n; ++t) {
    sar[t] = trend[t] = ep[t] = af[t] = NoValue;
    if (!valid(t)) continue;
    const double h = in.high[t], l = in.low[t];
    if (p1 != n && !Ok(trend[p1])) {
      if (in.low[p1] <= l) {
        trend[t] = 1;
        sar[t] = in.low[p1];
        ep[t] = std::max(in.high[p1], h);
      } else {
        trend[t] = -1;
        sar[t] = std::max(in.high[p1], h);
        ep[t] = l;
      }
      af[t] = init;
    } else if (p1 != n) {
      double a = std::min(af[p1], max), e = ep[p1];
      double s = sar[p1] + a * (e - sar[p1]);
      bool up = trend[p1] > 0;
      if (up && l < s) {
        s = e, e = l, a = init, up = false;
      } else if (!up && h > s) {
        s = e, e = h, a = init, up = true;
      } else if (up) {
        if (h > e) e = h, a += inc;
        s = std::min(s, in.low[p1]);
        if (p2 != n) s = std::min(s, in.low[p2]);
      } else {
        if (l < e) e = l, a += inc;
        s = std::max(s, in.high[p1]);
        if (p2 != n) s = std::max(s, in.high[p2]);
      }
      sar[t] = s, ep[t] = e, af[t] = a, trend[t] = up ? 1 : -1;
    }
    p2 = p1;
    p1 = t;
  }
  Finish(out);
}

// Running total of CLV V from the first point; no empty head.
void AccDist(const Inputs& in, const Options&, Outputs& out, size_t from) {
  from = Prepare(out, in.close.size(), 1, 1, from);
  out.lines[0].name = "Accumulation/Distribution";
  Map(from, in.close.size(), W(out, 0), [&](size_t t) {
    const double c = Clv(in.high[t], in.low[t], in.close[t]);
    return Ok(c, in.volume[t]) ? c * in.volume[t] : NoValue;
  });
  Acc(W(out, 0), L(out, 0), from);
  Finish(out);
}

namespace {
// 100 (n - k) / n with k the bars back to the extreme of the current and the
// previous n valid values; ties keep the more recent bar. NoValue for t < n.
double AroonAt(CSpan x, size_t t, int n, bool high) {
  if (t < static_cast<size_t>(n) || !Ok(x[t])) return NoValue;
  double best = x[t];
  int bestK = 0, k = 0;
  for (size_t s = t; s > 0 && k < n; --s) {
    if (!Ok(x[s - 1])) continue;
    ++k;
    if (high ? x[s - 1] > best : x[s - 1] < best) best = x[s - 1], bestK = k;
  }
  if (k < n) return NoValue;
  return 100.0 * (n - bestK) / n;
}
}  // namespace

void Aroon(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 2, 0, from);
  out.lines[0].name = "Aroon Up";
  out.lines[1].name = "Aroon Down";
  out.axisMin = 0, out.axisMax = 100;
  Map(from, in.close.size(), L(out, 0), [&](size_t t) { return AroonAt(in.high, t, n, true); });
  Map(from, in.close.size(), L(out, 1), [&](size_t t) { return AroonAt(in.low, t, n, false); });
  Finish(out);
}

// Aroon Up - Aroon Down.
void AroonOsc(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 1, 0, from);
  out.lines[0].name = Name("Aroon Oscillator", n);
  out.axisMin = -100, out.axisMax = 100;
  Map(from, in.close.size(), L(out, 0), [&](size_t t) {
    const double u = AroonAt(in.high, t, n, true), d = AroonAt(in.low, t, n, false);
    return Ok(u, d) ? u - d : NoValue;
  });
  Finish(out);
}

// +DM/-DM from the day-to-day moves (index 1 seeded (2p+m)/3, (p+2m)/3),
// smoothed with expAvg(1/n) like TR; DI = 100 DM/TR, DX = 100 |+DI - -DI| / (+DI + -DI),
// ADX = expAvg(1/n)(DX). 0/0 gives 0.
void Adx(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  const size_t size = in.close.size();
  from = Prepare(out, size, 3, 8, from);
  out.lines[0].name = Name("+DI", n);
  out.lines[1].name = Name("-DI", n);
  out.lines[2].name = Name("ADX", n);
  Span pc = W(out, 0), tr = W(out, 1), pdm = W(out, 2), mdm = W(out, 3), trs = W(out, 4),
       pds = W(out, 5), mds = W(out, 6), dx = W(out, 7);
  TrueRange(in, pc, tr, from);
  for (size_t t = from; t < size; ++t) {
    pdm[t] = mdm[t] = NoValue;
    if (t == 0 || !Ok(in.high[t], in.high[t - 1], in.low[t]) || !Ok(in.low[t - 1])) continue;
    const double up = std::max(in.high[t] - in.high[t - 1], 0.0);
    const double dn = std::max(in.low[t - 1] - in.low[t], 0.0);
    pdm[t] = up - dn > 0 ? up : 0.0;
    mdm[t] = up - dn < 0 ? dn : 0.0;
    if (t == 1) {
      const double p = pdm[1], m = mdm[1];
      pdm[1] = (2 * p + m) / 3;
      mdm[1] = (m + pdm[1]) / 2;
    }
  }
  const double a = 1.0 / n;
  ExpAvg(tr, a, trs, from);
  ExpAvg(pdm, a, pds, from);
  ExpAvg(mdm, a, mds, from);
  FinanceDiv(pds, trs, 0.0, L(out, 0), from);
  Scale(L(out, 0), 100, 0, L(out, 0), from);
  FinanceDiv(mds, trs, 0.0, L(out, 1), from);
  Scale(L(out, 1), 100, 0, L(out, 1), from);
  Map(from, size, dx, [&](size_t t) {
    const double p = out.lines[0].values[t], m = out.lines[1].values[t];
    if (!Ok(p, m)) return NoValue;
    if (p + m == 0) return 0.0;
    return 100 * std::fabs(p - m) / (p + m);
  });
  ExpAvg(dx, a, L(out, 2), from);
  Finish(out);
}

// TR and its EMA with a = 2 / (n + 1) seeded at TR_0 (not Wilder's 1/n).
void Atr(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 2, 1, from);
  out.lines[0].name = "True Range";
  out.lines[1].name = Name("Average True Range", n);
  TrueRange(in, W(out, 0), L(out, 0), from);
  ExpAvg(L(out, 0), Alpha(n), L(out, 1), from);
  Finish(out);
}

// 2 k sd_n(C), in price units.
void BollingerWidth(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double k = opt.p[1] > 0 ? opt.p[1] : 2.0;
  from = Prepare(out, in.close.size(), 1, 0, from);
  out.lines[0].name = "Bollinger Width (" + std::to_string(n) + ", " + G(k) + ")";
  MovStdDev(in.close, n, L(out, 0), from);
  Scale(L(out, 0), 2 * k, 0, L(out, 0), from);
  Finish(out);
}

// sum_n(CLV V) / sum_n(V), 0/0 = 0; drawn as bars.
void ChaikinMoneyFlow(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 21);
  from = Prepare(out, in.close.size(), 1, 3, from);
  out.lines[0].name = Name("Chaikin Money Flow", n);
  out.lines[0].bars = true;
  Map(from, in.close.size(), W(out, 0), [&](size_t t) {
    const double c = Clv(in.high[t], in.low[t], in.close[t]);
    return Ok(c, in.volume[t]) ? c * in.volume[t] : NoValue;
  });
  MovAvg(W(out, 0), n, W(out, 1), from);
  MovAvg(in.volume, n, W(out, 2), from);
  FinanceDiv(W(out, 1), W(out, 2), 0.0, L(out, 0), from);
  Finish(out);
}

// EMA_3(A/D) - EMA_10(A/D), both seeded at A/D_0.
void ChaikinOscillator(const Inputs& in, const Options&, Outputs& out, size_t from) {
  from = Prepare(out, in.close.size(), 1, 4, from);
  out.lines[0].name = "Chaikin Oscillator";
  Map(from, in.close.size(), W(out, 0), [&](size_t t) {
    const double c = Clv(in.high[t], in.low[t], in.close[t]);
    return Ok(c, in.volume[t]) ? c * in.volume[t] : NoValue;
  });
  Acc(W(out, 0), W(out, 1), from);
  ExpAvg(W(out, 1), Alpha(3), W(out, 2), from);
  ExpAvg(W(out, 1), Alpha(10), W(out, 3), from);
  Sub(W(out, 2), W(out, 3), L(out, 0), from);
  Finish(out);
}

// E = EMA_p1(H - L); 100 (E_t / E_(t-p2) - 1); empty for t < p2.
void ChaikinVolatility(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p1 = Period(opt, 0, 10), p2 = Period(opt, 1, 10);
  from = Prepare(out, in.close.size(), 1, 2, from);
  out.lines[0].name = Name("Chaikin Volatility", p1, p2);
  Map(from, in.close.size(), W(out, 0),
      [&](size_t t) { return Ok(in.high[t], in.low[t]) ? in.high[t] - in.low[t] : NoValue; });
  ExpAvg(W(out, 0), Alpha(p1), W(out, 1), from);
  Rate(W(out, 1), p2, L(out, 0), from);
  Scale(L(out, 0), 100, -100, L(out, 0), from);
  Finish(out);
}

// (2C - L - H) / (H - L), 0/0 = 0.
void CloseLocationValue(const Inputs& in, const Options&, Outputs& out, size_t from) {
  from = Prepare(out, in.close.size(), 1, 0, from);
  out.lines[0].name = "Close Location Value";
  Map(from, in.close.size(), L(out, 0),
      [&](size_t t) { return Clv(in.high[t], in.low[t], in.close[t]); });
  Finish(out);
}

// TP = (H+L+C)/3, M = SMA_n(TP), MD = mean |M_t - TP| over the last n TP;
// CCI = (TP - M) / (0.015 MD), 0/0 = 0. Marks at +/- p[1].
void Cci(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double dev = opt.p[1] > 0 ? opt.p[1] : 100.0;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 2, from);
  out.lines[0].name = Name("CCI", n);
  out.marks = {dev, -dev};
  Span tp = W(out, 0), m = W(out, 1);
  Map(from, size, tp, [&](size_t t) {
    return Ok(in.high[t], in.low[t], in.close[t]) ? (in.high[t] + in.low[t] + in.close[t]) / 3
                                                  : NoValue;
  });
  MovAvg(tp, n, m, from);
  Map(from, size, L(out, 0), [&](size_t t) {
    if (!Ok(m[t], tp[t])) return NoValue;
    double md = 0;
    int k = 0;
    for (size_t s = t + 1; s > 0 && k < n; --s)
      if (Ok(tp[s - 1])) md += std::fabs(m[t] - tp[s - 1]), ++k;
    md /= n;
    const double num = tp[t] - m[t];
    if (md == 0) return num == 0 ? 0.0 : NoValue;
    return num / (0.015 * md);
  });
  Finish(out);
}

// MAX_n(H) - MIN_n(L).
void DonchianWidth(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  from = Prepare(out, in.close.size(), 1, 2, from);
  out.lines[0].name = Name("Donchian Width", n);
  MovMax(in.high, n, W(out, 0), from);
  MovMin(in.low, n, W(out, 1), from);
  Sub(W(out, 0), W(out, 1), L(out, 0), from);
  Finish(out);
}

// C_t - SMA_n(C)_(t-k), k = n/2 + 1: the average shifted right, against the
// current close. Empty for t < n - 1 + k.
void Dpo(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const size_t k = static_cast<size_t>(n / 2 + 1);
  from = Prepare(out, in.close.size(), 1, 1, from);
  out.lines[0].name = Name("DPO", n);
  MovAvg(in.close, n, W(out, 0), from);
  Map(from, in.close.size(), L(out, 0), [&](size_t t) {
    if (t < k || !Ok(in.close[t], out.work[0][t - k])) return NoValue;
    return in.close[t] - out.work[0][t - k];
  });
  Finish(out);
}

// EMV = delta((H+L)/2) (H - L) / V (0/0 = 0, no scale constant); the second
// line is SMA_n(EMV) although its legend says EMA.
void EaseOfMovement(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 9);
  const size_t size = in.close.size();
  from = Prepare(out, size, 2, 3, from);
  out.lines[0].name = "EMV";
  out.lines[1].name = Name("EMV EMA", n);
  Span mid = W(out, 0), dm = W(out, 1), range = W(out, 2);
  Map(from, size, mid,
      [&](size_t t) { return Ok(in.high[t], in.low[t]) ? (in.high[t] + in.low[t]) / 2 : NoValue; });
  Delta(mid, 1, dm, from);
  Map(from, size, range,
      [&](size_t t) { return Ok(in.high[t], in.low[t]) ? in.high[t] - in.low[t] : NoValue; });
  FinanceDiv(range, in.volume, 0.0, L(out, 0), from);
  Map(from, size, L(out, 0), [&](size_t t) {
    const double r = out.lines[0].values[t];
    return Ok(r, dm[t]) ? r * dm[t] : NoValue;
  });
  MovAvg(L(out, 0), n, L(out, 1), from);
  Finish(out);
}

// %K = 100 (C - MIN_p1 L) / (MAX_p1 H - MIN_p1 L), 0/0 = 50; %D = SMA_p2(%K).
void FastStochastic(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p1 = Period(opt, 0, 14), p2 = Period(opt, 1, 3);
  from = Prepare(out, in.close.size(), 2, 4, from);
  out.lines[0].name = Name("Fast Stochastic %K", p1);
  out.lines[1].name = Name("%D", p2);
  out.axisMin = 0, out.axisMax = 100;
  StochInto(in.close, in.high, in.low, p1, W(out, 0), W(out, 1), W(out, 2), W(out, 3), 50,
            L(out, 0), from);
  MovAvg(L(out, 0), p2, L(out, 1), from);
  Finish(out);
}

// Slow %K = SMA_3(raw %K) (the 3 is fixed); %D = SMA_p2(slow %K).
void SlowStochastic(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p1 = Period(opt, 0, 14), p2 = Period(opt, 1, 3);
  from = Prepare(out, in.close.size(), 2, 5, from);
  out.lines[0].name = Name("Slow Stochastic %K", p1);
  out.lines[1].name = Name("%D", p2);
  out.axisMin = 0, out.axisMax = 100;
  StochInto(in.close, in.high, in.low, p1, W(out, 0), W(out, 1), W(out, 2), W(out, 3), 50,
            W(out, 4), from);
  MovAvg(W(out, 4), 3, L(out, 0), from);
  MovAvg(L(out, 0), p2, L(out, 1), from);
  Finish(out);
}

// MACD = EMA_p2(C) - EMA_p1(C) (p1 the slow period), signal EMA_p3, histogram.
void Macd(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  OscillatorOfEmas(in.close, opt, out, from, false, "MACD", "EXP");
}

// e1 = expAvg(0.2)(H - L), e2 = expAvg(0.2)(e1); MI = sum_25(e1/e2), 0/0 = 1.
void MassIndex(const Inputs& in, const Options&, Outputs& out, size_t from) {
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 4, from);
  out.lines[0].name = "Mass Index";
  out.marks = {27, 26.5};
  Map(from, size, W(out, 0),
      [&](size_t t) { return Ok(in.high[t], in.low[t]) ? in.high[t] - in.low[t] : NoValue; });
  ExpAvg(W(out, 0), 0.2, W(out, 1), from);
  ExpAvg(W(out, 1), 0.2, W(out, 2), from);
  FinanceDiv(W(out, 1), W(out, 2), 1.0, W(out, 3), from);
  MovAvg(W(out, 3), 25, L(out, 0), from);
  Scale(L(out, 0), 25, 0, L(out, 0), from);
  Finish(out);
}

// MF = TP V; MFI = 100 sum_n(MF on rising TP) / sum_n(MF on rising or falling TP),
// 0/0 = 50. The first bar has no TP change, so the first value is at n.
void MoneyFlowIndex(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  const double range = opt.p[1] > 0 ? opt.p[1] : 30;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 7, from);
  out.lines[0].name = Name("Money Flow Index", n);
  out.axisMin = 0, out.axisMax = 100;
  Thresholds(out, 50, range, false);
  Span tp = W(out, 0), dtp = W(out, 1), pos = W(out, 2), neg = W(out, 3), sp = W(out, 4),
       sn = W(out, 5), tot = W(out, 6);
  Map(from, size, tp, [&](size_t t) {
    return Ok(in.high[t], in.low[t], in.close[t]) ? (in.high[t] + in.low[t] + in.close[t]) / 3
                                                  : NoValue;
  });
  Delta(tp, 1, dtp, from);
  for (size_t t = from; t < size; ++t) {
    const bool ok = Ok(dtp[t], tp[t], in.volume[t]);
    const double mf = ok ? tp[t] * in.volume[t] : 0;
    pos[t] = ok ? (dtp[t] > 0 ? mf : 0.0) : NoValue;
    neg[t] = ok ? (dtp[t] < 0 ? mf : 0.0) : NoValue;
  }
  MovAvg(pos, n, sp, from);
  MovAvg(neg, n, sn, from);
  Map(from, size, tot, [&](size_t t) { return Ok(sp[t], sn[t]) ? sp[t] + sn[t] : NoValue; });
  FinanceDiv(sp, tot, 0.5, L(out, 0), from);
  Scale(L(out, 0), 100, 0, L(out, 0), from);
  Finish(out);
}

// C_t - C_(t-n).
void Momentum(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 12);
  from = Prepare(out, in.close.size(), 1, 0, from);
  out.lines[0].name = Name("Momentum", n);
  Delta(in.close, n, L(out, 0), from);
  Finish(out);
}

void NegVolumeIndex(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  VolumeIndex(in, opt, out, from, true);
}

void PosVolumeIndex(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  VolumeIndex(in, opt, out, from, false);
}

// Running total of sgn(C_t - C_(t-1)) V_t; the first bar adds nothing, so OBV starts at 0.
void OnBalanceVolume(const Inputs& in, const Options&, Outputs& out, size_t from) {
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 1, from);
  out.lines[0].name = "OBV";
  Map(from, size, W(out, 0), [&](size_t t) {
    if (!Ok(in.volume[t])) return NoValue;
    if (t == 0 || !Ok(in.close[t], in.close[t - 1])) return 0.0;
    const double d = in.close[t] - in.close[t - 1];
    return d > 0 ? in.volume[t] : d < 0 ? -in.volume[t] : 0.0;
  });
  Acc(W(out, 0), L(out, 0), from);
  Finish(out);
}

// 100 C / base - 100, base the first valid non-zero close at or after extraPoints.
void Performance(const Inputs& in, const Options&, Outputs& out, size_t from) {
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 0, from);
  out.lines[0].name = "Performance";
  double base = NoValue;
  for (size_t t = in.extraPoints; t < size && !Ok(base); ++t)
    if (Ok(in.close[t]) && in.close[t] != 0) base = in.close[t];
  Map(from, size, L(out, 0),
      [&](size_t t) { return Ok(base, in.close[t]) ? 100 * in.close[t] / base - 100 : NoValue; });
  Finish(out);
}

// 100 (EMA_p2 - EMA_p1) / EMA_p2, 0/0 = 0 (divided by the period-2 average).
void PriceOscillator(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  OscillatorOfEmas(in.close, opt, out, from, true, "PPO", "EMA");
}

void VolumeOscillator(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  OscillatorOfEmas(in.volume, opt, out, from, true, "PVO", "EMA");
}

// Running total of (C_t / C_(t-1) - 1) V_t; empty at t = 0.
void PriceVolumeTrend(const Inputs& in, const Options&, Outputs& out, size_t from) {
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 2, from);
  out.lines[0].name = "PVT";
  Rate(in.close, 1, W(out, 0), from);
  Map(from, size, W(out, 1), [&](size_t t) {
    const double r = out.work[0][t];
    return Ok(r, in.volume[t]) ? (r - 1) * in.volume[t] : NoValue;
  });
  Acc(W(out, 1), L(out, 0), from);
  Finish(out);
}

// 100 (C_t / C_(t-n) - 1).
void RateOfChange(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 12);
  from = Prepare(out, in.close.size(), 1, 0, from);
  out.lines[0].name = Name("ROC", n);
  Rate(in.close, n, L(out, 0), from);
  Scale(L(out, 0), 100, -100, L(out, 0), from);
  Finish(out);
}

// 100 S(U) / S(|d|), d = C_t - C_(t-1), U = max(d, 0), S Wilder smoothing
// seeded by the mean of the first n values; 0/0 = 50. First value at n.
void Rsi(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 1, 7, from);
  out.lines[0].name = Name("RSI", n);
  out.axisMin = 0, out.axisMax = 100;
  Thresholds(out, 50, opt.p[1], true);
  RsiInto(in, n, out, 0, L(out, 0), from);
  Finish(out);
}

// 100 (R - MIN_n R) / (MAX_n R - MIN_n R), R = RSI_n, 0/0 = 50. First value at 2n - 1.
void StochRsi(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 1, 12, from);
  out.lines[0].name = Name("StochRSI", n);
  out.axisMin = 0, out.axisMax = 100;
  Thresholds(out, 50, opt.p[1], true);
  RsiInto(in, n, out, 0, W(out, 7), from);
  StochInto(W(out, 7), W(out, 7), W(out, 7), n, W(out, 8), W(out, 9), W(out, 10), W(out, 11), 50,
            L(out, 0), from);
  Finish(out);
}

// E3 = EMA(EMA(EMA(C))); 100 (E3_t / E3_(t-1) - 1).
void Trix(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 12);
  from = Prepare(out, in.close.size(), 1, 3, from);
  out.lines[0].name = Name("TRIX", n);
  ExpAvg(in.close, Alpha(n), W(out, 0), from);
  ExpAvg(W(out, 0), Alpha(n), W(out, 1), from);
  ExpAvg(W(out, 1), Alpha(n), W(out, 2), from);
  Rate(W(out, 2), 1, L(out, 0), from);
  Scale(L(out, 0), 100, -100, L(out, 0), from);
  Finish(out);
}

// BP = C - min(L, Cprev); R_k = SMA_pk(BP) / SMA_pk(TR) (0/0 = 0.5);
// UO = 100/7 (4 R1 + 2 R2 + R3). First value at the longest period.
void UltimateOscillator(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p[3] = {Period(opt, 0, 7), Period(opt, 1, 14), Period(opt, 2, 28)};
  const double range = opt.p[3] > 0 ? opt.p[3] : 20;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 9, from);
  out.lines[0].name = "Ultimate Oscillator (" + std::to_string(p[0]) + ", " + std::to_string(p[1]) +
                      ", " + std::to_string(p[2]) + ")";
  out.axisMin = 0, out.axisMax = 100;
  Thresholds(out, 50, range, false);
  Span pc = W(out, 0), tr = W(out, 1), bp = W(out, 2);
  TrueRange(in, pc, tr, from);
  Map(from, size, bp, [&](size_t t) {
    if (!Ok(in.close[t], in.low[t], pc[t])) return NoValue;
    return in.close[t] - std::min(in.low[t], pc[t]);
  });
  const double weight[3] = {4, 2, 1};
  for (size_t k = 0; k < 3; ++k) {
    MovAvg(bp, p[k], W(out, 3 + 2 * k), from);
    MovAvg(tr, p[k], W(out, 4 + 2 * k), from);
    FinanceDiv(W(out, 3 + 2 * k), W(out, 4 + 2 * k), 0.5, W(out, 3 + 2 * k), from);
  }
  Map(from, size, L(out, 0), [&](size_t t) {
    double sum = 0;
    for (size_t k = 0; k < 3; ++k) {
      const double r = out.work[3 + 2 * k][t];
      if (!Ok(r)) return NoValue;
      sum += weight[k] * r;
    }
    return 100.0 / 7.0 * sum;
  });
  Finish(out);
}

// -100 (MAX_n H - C) / (MAX_n H - MIN_n L), 0/0 = -50. Marks at -50 +/- range.
void WilliamR(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  const double range = opt.p[1] > 0 ? opt.p[1] : 30;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 3, from);
  out.lines[0].name = "William %R";
  out.axisMin = -100, out.axisMax = 0;
  Thresholds(out, -50, range, false);
  MovMax(in.high, n, W(out, 0), from);
  MovMin(in.low, n, W(out, 1), from);
  Sub(W(out, 0), in.close, W(out, 2), from);
  Sub(W(out, 0), W(out, 1), W(out, 1), from);
  FinanceDiv(W(out, 2), W(out, 1), 0.5, L(out, 0), from);
  Scale(L(out, 0), -100, 0, L(out, 0), from);
  Finish(out);
}

std::string ScaleVolume(std::span<const double> volume, std::vector<double>& scaled) {
  double max = 0;
  for (double v : volume)
    if (Ok(v)) max = std::max(max, v);
  static const char* const kUnits[] = {"", "K", "M", "B"};
  int k = 0;
  double div = 1;
  while (k < 3 && max >= div * 1000) div *= 1000, ++k;
  scaled.resize(volume.size());
  for (size_t t = 0; t < volume.size(); ++t) scaled[t] = Ok(volume[t]) ? volume[t] / div : NoValue;
  return kUnits[k];
}

// Three significant digits; a number with more integer digits keeps them all
// and drops the fraction. Trailing zeros of a fraction are dropped.
std::string FormatLegendNumber(double value) {
  if (!Ok(value) || !std::isfinite(value)) return "";
  const double mag = std::fabs(value);
  int intDigits = mag < 1 ? 1 : static_cast<int>(std::floor(std::log10(mag))) + 1;
  int decimals = std::max(0, 3 - intDigits);
  if (mag > 0 && mag < 1)
    decimals = std::min(15, 2 - static_cast<int>(std::floor(std::log10(mag))));
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string LegendText(const Outputs& out, size_t line) {
  if (line >= out.lines.size()) return "";
  if (out.band && out.lines.size() >= 2) {
    const auto& up = out.lines[0].values;
    const auto& lo = out.lines[1].values;
    for (size_t t = std::min(up.size(), lo.size()); t > 0; --t)
      if (Ok(up[t - 1], lo[t - 1]))
        return out.bandName + ": " + FormatLegendNumber(lo[t - 1]) + " - " +
               FormatLegendNumber(up[t - 1]);
    return out.bandName;
  }
  const Line& l = out.lines[line];
  const size_t last = LastValueIndex(l.values);
  if (l.name.empty() || last == l.values.size()) return l.name;
  return l.name + ": " + FormatLegendNumber(l.values[last]);
}

}  // namespace kovo::finance
