#include "charts/finance/indicators.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/format.h"

// Every kernel is one pass with O(1) work per bar (CCI's mean deviation
// aside), and resumes at `from` from state it can rebuild exactly: the last
// values of its own arrays for recurrences, the window engines of array_math
// for windows. So a tail equals a full computation bit for bit. Names, marks
// and axes are set only on a full computation: a tail keeps them.

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

// A first value before `from` stays where it was; otherwise it is searched from `from`.
void Finish(Outputs& out, size_t from) {
  if (out.lines.empty()) {
    out.leading = 0;
    return;
  }
  if (from > 0 && out.leading < from) return;
  const auto& v = out.lines[0].values;
  size_t i = from;
  while (i < v.size() && !HasValue(v[i])) ++i;
  out.leading = i;
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
  return Format("%g", v);
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

// The last valid value before `from`, NoValue when there is none.
double LastBefore(CSpan x, size_t from) {
  for (size_t t = std::min(from, x.size()); t > 0; --t)
    if (Ok(x[t - 1])) return x[t - 1];
  return NoValue;
}

// One step of an average seeded with its first value: y += a (x - y).
double ExpStep(double& prev, double x, double a) {
  if (!Ok(prev)) [[unlikely]]
    return prev = x;
  return prev += a * (x - prev);
}

// a/b scaled by k; 0/0 = zeroByZero as it stands; x/0 and NoValue in = NoValue.
double Ratio(double a, double b, double zeroByZero, double k) {
  if (!Ok(a, b)) return NoValue;
  if (b == 0) return a == 0 ? zeroByZero : NoValue;
  return a / b * k;
}

// (2C - L - H) / (H - L), 0/0 = 0.
double Clv(double h, double l, double c) {
  if (!Ok(h, l, c)) return NoValue;
  const double num = 2 * c - l - h, den = h - l;
  if (den == 0) return num == 0 ? 0.0 : NoValue;
  return num / den;
}

double ClvVolume(const Inputs& in, size_t t) {
  const double c = Clv(in.high[t], in.low[t], in.close[t]);
  return Ok(c, in.volume[t]) ? c * in.volume[t] : NoValue;
}

double TypicalAt(const Inputs& in, size_t t) {
  return Ok(in.high[t], in.low[t], in.close[t]) ? (in.high[t] + in.low[t] + in.close[t]) / 3
                                                : NoValue;
}

// TR = max(H - L, |H - Cprev|, |Cprev - L|) with Cprev the previous valid
// close; H - L where there is none.
double TrueRangeAt(const Inputs& in, size_t t, double prevClose) {
  const double h = in.high[t], l = in.low[t];
  if (!Ok(h, l)) return NoValue;
  if (!Ok(prevClose)) return h - l;
  return std::max({h - l, std::fabs(h - prevClose), std::fabs(prevClose - l)});
}

// MA of close, the four kinds sharing the shape.
void OneLine(Outputs& out, const Inputs& in, size_t work, size_t& from) {
  from = Prepare(out, in.close.size(), 1, work, from);
}

// Wilder smoothing seeded by the mean of the first n valid values, of a
// close's gains and moves together: y += (x - y) / n once seeded. Resumes from
// the smoothed values su/sa, or while still seeding, from the closes.
struct SeededWilderPair {
  int n;
  double inv;
  size_t k = 0;  // valid moves seen, while seeding
  double u = NoValue, a = NoValue, accU = 0, accA = 0;

  SeededWilderPair(int period, CSpan x, CSpan su, CSpan sa, size_t from)
      : n(std::max(period, 1)), inv(1.0 / n) {
    for (size_t t = from; t > 0; --t)
      if (Ok(su[t - 1])) {
        u = su[t - 1], a = sa[t - 1];
        return;
      }
    for (size_t t = 1; t < from; ++t)
      if (Ok(x[t], x[t - 1])) {
        const double d = x[t] - x[t - 1];
        ++k, accU += std::max(d, 0.0), accA += std::fabs(d);
      }
  }
  // False while seeding.
  bool Step(double xu, double xa) {
    if (Ok(u)) {
      u += (xu - u) * inv;
      a += (xa - a) * inv;
      return true;
    }
    ++k, accU += xu, accA += xa;
    if (k < static_cast<size_t>(n)) return false;
    u = accU / n, a = accA / n;
    return true;
  }
};

// RSI of x into r; the smoothed gains and moves kept in su/sa.
void RsiInto(CSpan x, int n, Span su, Span sa, Span r, size_t from) {
  SeededWilderPair w(n, x, su, sa, from);
  for (size_t t = from; t < x.size(); ++t) {
    const double d = t > 0 && Ok(x[t], x[t - 1]) ? x[t] - x[t - 1] : NoValue;
    if (Ok(d) && w.Step(std::max(d, 0.0), std::fabs(d))) {
      su[t] = w.u, sa[t] = w.a;
      r[t] = Ratio(w.u, w.a, 50, 100);
    } else {
      su[t] = sa[t] = r[t] = NoValue;
    }
  }
}

// 100 (x - MIN_n(lo)) / (MAX_n(hi) - MIN_n(lo)), 0/0 = zz.
void StochInto(CSpan x, CSpan hi, CSpan lo, int n, double zz, Span y, size_t from) {
  WindowBest<true> mx(hi, n);
  WindowBest<false> mn(lo, n);
  mx.Resume(from);
  mn.Resume(from);
  for (size_t t = from; t < x.size(); ++t) {
    double h = NoValue, l = NoValue;
    if (Ok(hi[t])) {
      mx.Push(t);
      if (mx.Full()) h = mx.Value();
    }
    if (Ok(lo[t])) {
      mn.Push(t);
      if (mn.Full()) l = mn.Value();
    }
    y[t] = Ok(x[t], h, l) ? Ratio(x[t] - l, h - l, zz, 100) : NoValue;
  }
}

// y = SMA_n(x) for the positions [from, size) as x is filled: call Step(t)
// after x[t] is written.
struct MovAvgStep {
  WindowSum w;
  Span y;
  MovAvgStep(CSpan x, int n, Span out, size_t from) : w(x, n), y(out) { w.Resume(from); }
  double Step(size_t t, double x) {
    if (!Ok(x)) return y[t] = NoValue;
    w.Push(t);
    return y[t] = w.Full() ? w.Mean() : NoValue;
  }
};

void Thresholds(Outputs& out, double centre, double range, bool onlyInside) {
  out.marks.clear();
  if (!onlyInside || (range > 0 && range < 50)) out.marks = {centre + range, centre - range};
}

// Two EMAs, their relative or plain difference, signal and histogram.
void OscillatorOfEmas(CSpan x, const Options& opt, Outputs& out, size_t from, bool percent,
                      const char* name, const char* signalName) {
  const size_t n = x.size();
  const int p1 = Period(opt, 0, 26), p2 = Period(opt, 1, 12), p3 = Period(opt, 2, 9);
  from = Prepare(out, n, 3, 2, from);
  if (from == 0) {
    out.lines[0].name = Name(name, p1, p2);
    out.lines[1].name = Name(signalName, p3);
    out.lines[2].name = "Divergence";
    out.lines[2].bars = true;
  }
  Span e1 = W(out, 0), e2 = W(out, 1), line = L(out, 0), sig = L(out, 1), hist = L(out, 2);
  const double a1 = Alpha(p1), a2 = Alpha(p2), a3 = Alpha(p3);
  double s1 = LastBefore(e1, from), s2 = LastBefore(e2, from), s3 = LastBefore(sig, from);
  for (size_t t = from; t < n; ++t) {
    if (!Ok(x[t])) {
      e1[t] = e2[t] = line[t] = sig[t] = hist[t] = NoValue;
      continue;
    }
    e1[t] = ExpStep(s1, x[t], a1);
    e2[t] = ExpStep(s2, x[t], a2);
    const double d = e2[t] - e1[t];
    const double v = percent ? Ratio(d, e2[t], 0, 100) : d;
    line[t] = v;
    if (!Ok(v)) {
      sig[t] = hist[t] = NoValue;
      continue;
    }
    sig[t] = ExpStep(s3, v, a3);
    hist[t] = v - sig[t];
  }
  Finish(out, from);
}

// NVI / PVI: starts at 100, moves with the close's relative change on bars
// whose volume fell (NVI) or rose (PVI) against the previous bar with volume.
// The SMA signal line is there only once there are more bars than its period.
void VolumeIndex(const Inputs& in, const Options& opt, Outputs& out, size_t from, bool negative) {
  const size_t n = in.close.size();
  const int period = Period(opt, 0, 255);
  const bool signal = n > static_cast<size_t>(period);
  from = Prepare(out, n, signal ? 2 : 1, 0, from);
  if (from == 0) {
    out.lines[0].name = negative ? "NVI" : "PVI";
    if (signal) out.lines[1].name = Name(negative ? "NVI SMA" : "PVI SMA", period);
  }
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
  if (signal) MovAvg(y, period, L(out, 1), from);
  Finish(out, from);
}

}  // namespace

// C.
void ClosingPrice(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = "Closing Price";
  std::copy(in.close.begin() + static_cast<std::ptrdiff_t>(from), in.close.end(),
            L(out, 0).begin() + static_cast<std::ptrdiff_t>(from));
  Finish(out, from);
}

// (H + L + C) / 3.
void TypicalPrice(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = "Typical Price";
  Map(from, in.close.size(), L(out, 0), [&](size_t t) { return TypicalAt(in, t); });
  Finish(out, from);
}

// (H + L + 2C) / 4.
void WeightedClose(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = "Weighted Close";
  Map(from, in.close.size(), L(out, 0), [&](size_t t) {
    return Ok(in.high[t], in.low[t], in.close[t]) ? (in.high[t] + in.low[t] + 2 * in.close[t]) / 4
                                                  : NoValue;
  });
  Finish(out, from);
}

// (H + L) / 2.
void MedianPrice(const Inputs& in, const Options&, Outputs& out, size_t from) {
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = "Median Price";
  Map(from, in.close.size(), L(out, 0),
      [&](size_t t) { return Ok(in.high[t], in.low[t]) ? (in.high[t] + in.low[t]) / 2 : NoValue; });
  Finish(out, from);
}

// Mean of the last n closes; first value at n - 1.
void Sma(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = Name("SMA", n);
  MovAvg(in.close, n, L(out, 0), from);
  Finish(out, from);
}

// y = a C + (1 - a) y_prev with a = 2 / (n + 1), seeded with C_0.
void Ema(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = Name("EMA", n);
  ExpAvg(in.close, Alpha(n), L(out, 0), from);
  Finish(out, from);
}

// SMA_p(SMA_p(C)) with p = n/2 + 1; first value at 2 (n/2).
void Tma(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const int p = n / 2 + 1;
  OneLine(out, in, 1, from);
  if (from == 0) out.lines[0].name = Name("TMA", n);
  MovAvgStep first(in.close, p, W(out, 0), from), second(W(out, 0), p, L(out, 0), from);
  for (size_t t = from; t < in.close.size(); ++t) second.Step(t, first.Step(t, in.close[t]));
  Finish(out, from);
}

// sum_(j<n) (n - j) C_(t-j) / (n (n + 1) / 2): the newest close weighs n; any
// missing close among the n gives no value. Kept as running sums
// (WS' = WS - S + n C, S' = S + C - C_(t-n)) that are rebuilt from the closes at
// each block start, so a resume replays the same operations.
void Wma(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  OneLine(out, in, 0, from);
  if (from == 0) out.lines[0].name = Name("WMA", n);
  const CSpan c = in.close;
  const size_t span = static_cast<size_t>(n),
               mask = std::bit_ceil(std::max<size_t>(2 * span, 64)) - 1;
  const double den = n * (n + 1.0) / 2.0, weight = n;
  size_t run = 0, equal = 0;  // valid closes / closes equal to the last one, ending at t; at most n
  double s = 0, ws = 0;
  auto push = [&](size_t t) {
    const double v = c[t];
    if (!Ok(v)) {
      run = equal = 0, s = ws = 0;
      return;
    }
    ws += weight * v - s;
    s += v - (run == span ? c[t - span] : 0.0);
    equal = run > 0 && v == c[t - 1] ? std::min(equal + 1, span) : 1;
    run = std::min(run + 1, span);
  };
  // The closes of the window ending at t, oldest first, from nothing.
  auto fresh = [&](size_t t) {
    size_t i = t + 1;
    while (i > 0 && t + 1 - i < span && Ok(c[i - 1])) --i;
    run = equal = 0, s = ws = 0;
    for (size_t j = i; j <= t; ++j) push(j);
    if (i > t) push(t);  // c[t] itself missing
  };
  if (from > 0) {
    const size_t last = std::min(from, c.size()) - 1, a = last & ~mask;
    fresh(a);
    for (size_t t = a + 1; t <= last; ++t) push(t);
  }
  Span y = L(out, 0);
  for (size_t t = from; t < c.size(); ++t) {
    if ((t & mask) == 0)
      fresh(t);
    else
      push(t);
    y[t] = run < span ? NoValue : equal == span ? c[t] : ws / den;
  }
  Finish(out, from);
}

inline void Bands(double k, double m, double var, double& up, double& lo) {
  const double ks = k * std::sqrt(var);
  up = std::max(m + ks, 0.0), lo = std::max(m - ks, 0.0);
}

// mid = SMA_n(C), sd = population deviation; upper/lower = mid +/- k sd, values <= 0 become 0.
void BollingerBand(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double k = opt.p[1] > 0 ? opt.p[1] : 2.0;
  from = Prepare(out, in.close.size(), 2, 0, from);
  if (from == 0) {
    out.band = true;
    out.bandName = "Bollinger (" + std::to_string(n) + ", " + G(k) + ")";
    out.lines[0].name = out.bandName;
  }
  WindowMoments w(in.close, n);
  w.Resume(from);
  Span up = L(out, 0), lo = L(out, 1);
  for (size_t t = from; t < in.close.size();) {
    if (!Ok(in.close[t])) {
      up[t] = lo[t] = NoValue, ++t;
    } else if (w.Full()) {
      t = w.PushWhole(t, in.close.size(), up.data(), lo.data(),
                      [k](double m, double var, double& u, double& d) { Bands(k, m, var, u, d); });
    } else {
      w.Push(t);
      if (w.Full()) {
        double m, var;
        w.MeanVariance(m, var);
        Bands(k, m, var, up[t], lo[t]);
      } else {
        up[t] = lo[t] = NoValue;
      }
      ++t;
    }
  }
  Finish(out, from);
}

// upper = MAX_n(H), lower = MIN_n(L), current bar included.
void DonchianChannel(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  from = Prepare(out, in.close.size(), 2, 0, from);
  if (from == 0) {
    out.band = true;
    out.bandName = Name("Donchian", n);
    out.lines[0].name = out.bandName;
  }
  MovMax(in.high, n, L(out, 0), from);
  MovMin(in.low, n, L(out, 1), from);
  Finish(out, from);
}

// SMA_n(C) (1 +/- r); p[1] is the fraction r (0.1 = 10 %).
void Envelop(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double r = opt.p[1] > 0 ? opt.p[1] : 0.1;
  from = Prepare(out, in.close.size(), 2, 0, from);
  if (from == 0) {
    out.band = true;
    out.bandName = "Envelop (SMA " + std::to_string(n) + " +/- " + G(r * 100) + "%)";
    out.lines[0].name = out.bandName;
  }
  WindowSum w(in.close, n);
  w.Resume(from);
  Span up = L(out, 0), lo = L(out, 1);
  for (size_t t = from; t < in.close.size(); ++t) {
    double u = NoValue, d = NoValue;
    if (Ok(in.close[t])) {
      w.Push(t);
      if (w.Full()) u = w.Mean() * (1 + r), d = w.Mean() * (1 - r);
    }
    up[t] = u, lo[t] = d;
  }
  Finish(out, from);
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
  if (from == 0) out.lines[0].name = "Parabolic SAR";
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
  Finish(out, from);
}

// Running total of CLV V from the first point; no empty head.
void AccDist(const Inputs& in, const Options&, Outputs& out, size_t from) {
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) out.lines[0].name = "Accumulation/Distribution";
  Span y = L(out, 0);
  double sum = LastBefore(y, from);
  if (!Ok(sum)) sum = 0;
  for (size_t t = from; t < in.close.size(); ++t) {
    const double x = ClvVolume(in, t);
    y[t] = Ok(x) ? (sum += x) : NoValue;
  }
  Finish(out, from);
}

namespace {
// 100 (n - k) / n with k the bars back to the extreme of the current and the
// previous n valid values; ties keep the more recent bar. NoValue until n
// valid values precede the bar.
template <bool High>
struct AroonStep {
  WindowExtreme<High> w;
  CSpan x;
  double n;
  AroonStep(CSpan values, int period, size_t from)
      : w(values, std::min(period, std::numeric_limits<int>::max() - 1) + 1), x(values), n(period) {
    w.Resume(from);
  }
  double Step(size_t t) {
    if (!Ok(x[t])) return NoValue;
    w.Push(t);
    return w.Full() ? 100.0 * (n - static_cast<double>(w.Age())) / n : NoValue;
  }
};
}  // namespace

void Aroon(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 2, 0, from);
  if (from == 0) {
    out.lines[0].name = "Aroon Up";
    out.lines[1].name = "Aroon Down";
    out.axisMin = 0, out.axisMax = 100;
  }
  AroonStep<true> up(in.high, n, from);
  AroonStep<false> down(in.low, n, from);
  Span u = L(out, 0), d = L(out, 1);
  for (size_t t = from; t < in.close.size(); ++t) u[t] = up.Step(t), d[t] = down.Step(t);
  Finish(out, from);
}

// Aroon Up - Aroon Down.
void AroonOsc(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) {
    out.lines[0].name = Name("Aroon Oscillator", n);
    out.axisMin = -100, out.axisMax = 100;
  }
  AroonStep<true> up(in.high, n, from);
  AroonStep<false> down(in.low, n, from);
  Span y = L(out, 0);
  for (size_t t = from; t < in.close.size(); ++t) {
    const double u = up.Step(t), d = down.Step(t);
    y[t] = Ok(u, d) ? u - d : NoValue;
  }
  Finish(out, from);
}

// +DM/-DM from the day-to-day moves (index 1 seeded (2p+m)/3, (p+2m)/3),
// smoothed with expAvg(1/n) like TR; DI = 100 DM/TR, DX = 100 |+DI - -DI| / (+DI + -DI)
// (computed as 100 |+DM - -DM| / (+DM + -DM), the same ratio),
// ADX = expAvg(1/n)(DX). 0/0 gives 0.
void Adx(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  const size_t size = in.close.size();
  from = Prepare(out, size, 3, 3, from);
  if (from == 0) {
    out.lines[0].name = Name("+DI", n);
    out.lines[1].name = Name("-DI", n);
    out.lines[2].name = Name("ADX", n);
  }
  Span trs = W(out, 0), pds = W(out, 1), mds = W(out, 2), pdi = L(out, 0), mdi = L(out, 1),
       adx = L(out, 2);
  const double a = 1.0 / n;
  double prevClose = LastBefore(in.close, from), str = LastBefore(trs, from),
         spd = LastBefore(pds, from), smd = LastBefore(mds, from), sadx = LastBefore(adx, from);
  const CSpan h = in.high, l = in.low, c = in.close;
  auto step = [&](size_t t) {
    const double tr = TrueRangeAt(in, t, prevClose);
    if (Ok(c[t])) prevClose = c[t];
    double pdm = NoValue, mdm = NoValue;
    if (t > 0 && Ok(h[t], h[t - 1], l[t]) && Ok(l[t - 1])) {
      const double up = std::max(h[t] - h[t - 1], 0.0), dn = std::max(l[t - 1] - l[t], 0.0);
      pdm = up - dn > 0 ? up : 0.0;
      mdm = up - dn < 0 ? dn : 0.0;
      if (t == 1) {
        const double p = pdm, m = mdm;
        pdm = (2 * p + m) / 3;
        mdm = (m + pdm) / 2;
      }
    }
    const double ts = Ok(tr) ? ExpStep(str, tr, a) : NoValue;
    const double ps = Ok(pdm) ? ExpStep(spd, pdm, a) : NoValue;
    const double ms = Ok(mdm) ? ExpStep(smd, mdm, a) : NoValue;
    trs[t] = ts, pds[t] = ps, mds[t] = ms;
    // One division for both: DI = DM (100 / TR).
    double p = NoValue, m = NoValue;
    if (Ok(ps, ts)) {
      if (ts != 0) {
        const double k = 100 / ts;
        p = ps * k, m = ms * k;
      } else {
        p = ps == 0 ? 0.0 : NoValue, m = ms == 0 ? 0.0 : NoValue;
      }
    }
    pdi[t] = p, mdi[t] = m;
    if (!Ok(p, m)) {
      adx[t] = NoValue;
      return;
    }
    // TR cancels: DX from the smoothed moves, not waiting on the DI division.
    const double dx = ps + ms == 0 ? 0.0 : 100 * std::fabs(ps - ms) / (ps + ms);
    adx[t] = ExpStep(sadx, dx, a);
  };
  size_t t = from;
  for (; t < size && t < 2; ++t) step(t);
  // Once everything is seeded and while bars are whole: the same arithmetic
  // without the checks.
  if (t < size && Ok(h[t - 1], l[t - 1]) && Ok(prevClose, str, spd) && Ok(smd, sadx)) {
    for (; t < size; ++t) {
      const double hh = h[t], ll = l[t], cc = c[t];
      if (Ok(hh) + Ok(ll) + Ok(cc) != 3) break;  // one test for the three, no branch each
      const double tr = std::max({hh - ll, std::fabs(hh - prevClose), std::fabs(prevClose - ll)});
      prevClose = cc;
      const double up = std::max(hh - h[t - 1], 0.0), dn = std::max(l[t - 1] - ll, 0.0);
      const double pdm = up - dn > 0 ? up : 0.0, mdm = up - dn < 0 ? dn : 0.0;
      const double ts = str += a * (tr - str), ps = spd += a * (pdm - spd),
                   ms = smd += a * (mdm - smd);
      trs[t] = ts, pds[t] = ps, mds[t] = ms;
      if (ts == 0) [[unlikely]] {
        const double p = ps == 0 ? 0.0 : NoValue, m = ms == 0 ? 0.0 : NoValue;
        pdi[t] = p, mdi[t] = m;
        if (!Ok(p, m)) {
          adx[t] = NoValue;
          continue;
        }
      } else {
        const double k = 100 / ts;
        pdi[t] = ps * k, mdi[t] = ms * k;
      }
      const double dx = ps + ms == 0 ? 0.0 : 100 * std::fabs(ps - ms) / (ps + ms);
      adx[t] = sadx += a * (dx - sadx);
    }
  }
  for (; t < size; ++t) step(t);
  Finish(out, from);
}

// TR and its EMA with a = 2 / (n + 1) seeded at TR_0 (not Wilder's 1/n).
void Atr(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 2, 0, from);
  if (from == 0) {
    out.lines[0].name = "True Range";
    out.lines[1].name = Name("Average True Range", n);
  }
  Span tr = L(out, 0), atr = L(out, 1);
  const double a = Alpha(n);
  double prevClose = LastBefore(in.close, from), s = LastBefore(atr, from);
  for (size_t t = from; t < in.close.size(); ++t) {
    const double r = TrueRangeAt(in, t, prevClose);
    if (Ok(in.close[t])) prevClose = in.close[t];
    tr[t] = r;
    atr[t] = Ok(r) ? ExpStep(s, r, a) : NoValue;
  }
  Finish(out, from);
}

// 2 k sd_n(C), in price units.
void BollingerWidth(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double k = opt.p[1] > 0 ? opt.p[1] : 2.0;
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) out.lines[0].name = "Bollinger Width (" + std::to_string(n) + ", " + G(k) + ")";
  WindowMoments w(in.close, n);
  w.Resume(from);
  Span y = L(out, 0);
  for (size_t t = from; t < in.close.size(); ++t) {
    double v = NoValue;
    if (Ok(in.close[t])) {
      w.Push(t);
      if (w.Full()) v = std::sqrt(w.Variance()) * (2 * k);
    }
    y[t] = v;
  }
  Finish(out, from);
}

// sum_n(CLV V) / sum_n(V), 0/0 = 0; drawn as bars.
void ChaikinMoneyFlow(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 21);
  from = Prepare(out, in.close.size(), 1, 1, from);
  if (from == 0) {
    out.lines[0].name = Name("Chaikin Money Flow", n);
    out.lines[0].bars = true;
  }
  Span cv = W(out, 0), y = L(out, 0);
  WindowSum flow(cv, n), volume(in.volume, n);
  flow.Resume(from);
  volume.Resume(from);
  for (size_t t = from; t < in.close.size(); ++t) {
    double f = NoValue, v = NoValue;
    if (Ok(cv[t] = ClvVolume(in, t))) {
      flow.Push(t);
      if (flow.Full()) f = flow.Mean();
    }
    if (Ok(in.volume[t])) {
      volume.Push(t);
      if (volume.Full()) v = volume.Mean();
    }
    y[t] = Ratio(f, v, 0, 1);
  }
  Finish(out, from);
}

// EMA_3(A/D) - EMA_10(A/D), both seeded at A/D_0.
void ChaikinOscillator(const Inputs& in, const Options&, Outputs& out, size_t from) {
  from = Prepare(out, in.close.size(), 1, 3, from);
  if (from == 0) out.lines[0].name = "Chaikin Oscillator";
  Span ad = W(out, 0), fast = W(out, 1), slow = W(out, 2), y = L(out, 0);
  double sum = LastBefore(ad, from), f = LastBefore(fast, from), s = LastBefore(slow, from);
  if (!Ok(sum)) sum = 0;
  for (size_t t = from; t < in.close.size(); ++t) {
    const double x = ClvVolume(in, t);
    if (!Ok(x)) {
      ad[t] = fast[t] = slow[t] = y[t] = NoValue;
      continue;
    }
    ad[t] = sum += x;
    fast[t] = ExpStep(f, ad[t], Alpha(3));
    slow[t] = ExpStep(s, ad[t], Alpha(10));
    y[t] = fast[t] - slow[t];
  }
  Finish(out, from);
}

// E = EMA_p1(H - L); 100 (E_t / E_(t-p2) - 1); empty for t < p2.
void ChaikinVolatility(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p1 = Period(opt, 0, 10), p2 = Period(opt, 1, 10);
  from = Prepare(out, in.close.size(), 1, 1, from);
  if (from == 0) out.lines[0].name = Name("Chaikin Volatility", p1, p2);
  Span e = W(out, 0), y = L(out, 0);
  const size_t lag = static_cast<size_t>(p2);
  const double a = Alpha(p1);
  double s = LastBefore(e, from);
  for (size_t t = from; t < in.close.size(); ++t) {
    e[t] = Ok(in.high[t], in.low[t]) ? ExpStep(s, in.high[t] - in.low[t], a) : NoValue;
    y[t] = t < lag || !Ok(e[t], e[t - lag]) || e[t - lag] == 0 ? NoValue
                                                               : e[t] / e[t - lag] * 100 - 100;
  }
  Finish(out, from);
}

// (2C - L - H) / (H - L), 0/0 = 0.
void CloseLocationValue(const Inputs& in, const Options&, Outputs& out, size_t from) {
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) out.lines[0].name = "Close Location Value";
  Map(from, in.close.size(), L(out, 0),
      [&](size_t t) { return Clv(in.high[t], in.low[t], in.close[t]); });
  Finish(out, from);
}

// TP = (H+L+C)/3, M = SMA_n(TP), MD = mean |M_t - TP| over the last n TP;
// CCI = (TP - M) / (0.015 MD), 0/0 = 0. Marks at +/- p[1]. The mean deviation
// about the current mean needs the whole window each bar: O(n) per bar.
void Cci(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const double dev = opt.p[1] > 0 ? opt.p[1] : 100.0;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 1, from);
  if (from == 0) {
    out.lines[0].name = Name("CCI", n);
    out.marks = {dev, -dev};
  }
  Span tp = W(out, 0), y = L(out, 0);
  WindowSum w(tp, n);
  w.Resume(from);
  for (size_t t = from; t < size; ++t) {
    y[t] = NoValue;
    if (!Ok(tp[t] = TypicalAt(in, t))) continue;
    w.Push(t);
    if (!w.Full()) continue;
    const double m = w.Mean();
    double md = 0;
    int k = 0;
    for (size_t s = t + 1; s > 0 && k < n; --s)
      if (Ok(tp[s - 1])) md += std::fabs(m - tp[s - 1]), ++k;
    md /= n;
    const double num = tp[t] - m;
    y[t] = md == 0 ? (num == 0 ? 0.0 : NoValue) : num / (0.015 * md);
  }
  Finish(out, from);
}

// MAX_n(H) - MIN_n(L).
void DonchianWidth(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) out.lines[0].name = Name("Donchian Width", n);
  WindowBest<true> mx(in.high, n);
  WindowBest<false> mn(in.low, n);
  mx.Resume(from);
  mn.Resume(from);
  Span y = L(out, 0);
  for (size_t t = from; t < in.close.size(); ++t) {
    double h = NoValue, l = NoValue;
    if (Ok(in.high[t])) {
      mx.Push(t);
      if (mx.Full()) h = mx.Value();
    }
    if (Ok(in.low[t])) {
      mn.Push(t);
      if (mn.Full()) l = mn.Value();
    }
    y[t] = Ok(h, l) ? h - l : NoValue;
  }
  Finish(out, from);
}

// C_t - SMA_n(C)_(t-k), k = n/2 + 1: the average shifted right, against the
// current close. Empty for t < n - 1 + k.
void Dpo(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 20);
  const size_t k = static_cast<size_t>(n / 2 + 1);
  from = Prepare(out, in.close.size(), 1, 1, from);
  if (from == 0) out.lines[0].name = Name("DPO", n);
  Span avg = W(out, 0), y = L(out, 0);
  MovAvgStep sma(in.close, n, avg, from);
  for (size_t t = from; t < in.close.size(); ++t) {
    sma.Step(t, in.close[t]);
    y[t] = t < k || !Ok(in.close[t], avg[t - k]) ? NoValue : in.close[t] - avg[t - k];
  }
  Finish(out, from);
}

// EMV = delta((H+L)/2) (H - L) / V (0/0 = 0, no scale constant); the second
// line is SMA_n(EMV) although its legend says EMA.
void EaseOfMovement(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 9);
  const size_t size = in.close.size();
  from = Prepare(out, size, 2, 0, from);
  if (from == 0) {
    out.lines[0].name = "EMV";
    out.lines[1].name = Name("EMV EMA", n);
  }
  Span emv = L(out, 0);
  MovAvgStep sma(emv, n, L(out, 1), from);
  const CSpan h = in.high, l = in.low;
  for (size_t t = from; t < size; ++t) {
    double v = NoValue;
    if (Ok(h[t], l[t])) {
      const double r = Ratio(h[t] - l[t], in.volume[t], 0, 1);
      if (t > 0 && Ok(r, h[t - 1], l[t - 1]))
        v = r * ((h[t] + l[t]) / 2 - (h[t - 1] + l[t - 1]) / 2);
    }
    emv[t] = v;
    sma.Step(t, v);
  }
  Finish(out, from);
}

// %K = 100 (C - MIN_p1 L) / (MAX_p1 H - MIN_p1 L), 0/0 = 50; %D = SMA_p2(%K).
void FastStochastic(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p1 = Period(opt, 0, 14), p2 = Period(opt, 1, 3);
  from = Prepare(out, in.close.size(), 2, 0, from);
  if (from == 0) {
    out.lines[0].name = Name("Fast Stochastic %K", p1);
    out.lines[1].name = Name("%D", p2);
    out.axisMin = 0, out.axisMax = 100;
  }
  StochInto(in.close, in.high, in.low, p1, 50, L(out, 0), from);
  MovAvg(L(out, 0), p2, L(out, 1), from);
  Finish(out, from);
}

// Slow %K = SMA_3(raw %K) (the 3 is fixed); %D = SMA_p2(slow %K).
void SlowStochastic(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p1 = Period(opt, 0, 14), p2 = Period(opt, 1, 3);
  from = Prepare(out, in.close.size(), 2, 1, from);
  if (from == 0) {
    out.lines[0].name = Name("Slow Stochastic %K", p1);
    out.lines[1].name = Name("%D", p2);
    out.axisMin = 0, out.axisMax = 100;
  }
  StochInto(in.close, in.high, in.low, p1, 50, W(out, 0), from);
  MovAvgStep slow(W(out, 0), 3, L(out, 0), from), d(L(out, 0), p2, L(out, 1), from);
  const CSpan raw = W(out, 0);
  for (size_t t = from; t < in.close.size(); ++t) d.Step(t, slow.Step(t, raw[t]));
  Finish(out, from);
}

// MACD = EMA_p2(C) - EMA_p1(C) (p1 the slow period), signal EMA_p3, histogram.
void Macd(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  OscillatorOfEmas(in.close, opt, out, from, false, "MACD", "EXP");
}

// e1 = expAvg(0.2)(H - L), e2 = expAvg(0.2)(e1); MI = sum_25(e1/e2), 0/0 = 1.
void MassIndex(const Inputs& in, const Options&, Outputs& out, size_t from) {
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 3, from);
  if (from == 0) {
    out.lines[0].name = "Mass Index";
    out.marks = {27, 26.5};
  }
  Span e1 = W(out, 0), e2 = W(out, 1), ratio = W(out, 2), y = L(out, 0);
  double s1 = LastBefore(e1, from), s2 = LastBefore(e2, from);
  WindowSum sum(ratio, 25);
  sum.Resume(from);
  for (size_t t = from; t < size; ++t) {
    e1[t] = e2[t] = ratio[t] = y[t] = NoValue;
    if (!Ok(in.high[t], in.low[t])) continue;
    e1[t] = ExpStep(s1, in.high[t] - in.low[t], 0.2);
    e2[t] = ExpStep(s2, e1[t], 0.2);
    if (!Ok(ratio[t] = Ratio(e1[t], e2[t], 1, 1))) continue;
    sum.Push(t);
    if (sum.Full()) y[t] = sum.Mean() * 25;
  }
  Finish(out, from);
}

// MF = TP V; MFI = 100 sum_n(MF on rising TP) / sum_n(MF on rising or falling TP),
// 0/0 = 50. The first bar has no TP change, so the first value is at n.
void MoneyFlowIndex(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  const double range = opt.p[1] > 0 ? opt.p[1] : 30;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 2, from);
  if (from == 0) {
    out.lines[0].name = Name("Money Flow Index", n);
    out.axisMin = 0, out.axisMax = 100;
    Thresholds(out, 50, range, false);
  }
  Span pos = W(out, 0), neg = W(out, 1), y = L(out, 0);
  WindowSum sp(pos, n), sn(neg, n);
  sp.Resume(from);
  sn.Resume(from);
  double tpPrev = from > 0 ? TypicalAt(in, from - 1) : NoValue;
  for (size_t t = from; t < size; ++t) {
    const double tp = TypicalAt(in, t);
    const bool ok = Ok(tp, tpPrev, in.volume[t]);
    const double d = ok ? tp - tpPrev : 0, mf = ok ? tp * in.volume[t] : 0;
    tpPrev = tp;
    pos[t] = neg[t] = y[t] = NoValue;
    if (!ok) continue;
    pos[t] = d > 0 ? mf : 0.0;
    neg[t] = d < 0 ? mf : 0.0;
    sp.Push(t);
    sn.Push(t);
    if (!sp.Full()) continue;
    // Sums of flows that are not negative; the clamp keeps rounding from leaving 0..100.
    const double up = std::max(sp.Mean(), 0.0), down = std::max(sn.Mean(), 0.0);
    y[t] = Ratio(up, up + down, 50, 100);
  }
  Finish(out, from);
}

// C_t - C_(t-n).
void Momentum(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 12);
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) out.lines[0].name = Name("Momentum", n);
  Delta(in.close, n, L(out, 0), from);
  Finish(out, from);
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
  from = Prepare(out, size, 1, 0, from);
  if (from == 0) out.lines[0].name = "OBV";
  Span y = L(out, 0);
  double sum = LastBefore(y, from);
  if (!Ok(sum)) sum = 0;
  const CSpan c = in.close, v = in.volume;
  for (size_t t = from; t < size; ++t) {
    if (!Ok(v[t])) {
      y[t] = NoValue;
      continue;
    }
    if (t > 0 && Ok(c[t], c[t - 1])) sum += c[t] > c[t - 1] ? v[t] : c[t] < c[t - 1] ? -v[t] : 0.0;
    y[t] = sum;
  }
  Finish(out, from);
}

// 100 C / base - 100, base the first valid non-zero close at or after
// extraPoints. Without such a close there is no line.
void Performance(const Inputs& in, const Options&, Outputs& out, size_t from) {
  const size_t size = in.close.size();
  double base = NoValue;
  for (size_t t = in.extraPoints; t < size && !Ok(base); ++t)
    if (Ok(in.close[t]) && in.close[t] != 0) base = in.close[t];
  if (!Ok(base)) {
    out = Outputs{};
    return;
  }
  from = Prepare(out, size, 1, 0, from);
  if (from == 0) out.lines[0].name = "Performance";
  Map(from, size, L(out, 0),
      [&](size_t t) { return Ok(in.close[t]) ? 100 * in.close[t] / base - 100 : NoValue; });
  Finish(out, from);
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
  from = Prepare(out, size, 1, 0, from);
  if (from == 0) out.lines[0].name = "PVT";
  Span y = L(out, 0);
  double sum = LastBefore(y, from);
  if (!Ok(sum)) sum = 0;
  const CSpan c = in.close;
  for (size_t t = from; t < size; ++t) {
    const bool ok = t > 0 && Ok(c[t], c[t - 1], in.volume[t]) && c[t - 1] != 0;
    y[t] = ok ? (sum += (c[t] / c[t - 1] - 1) * in.volume[t]) : NoValue;
  }
  Finish(out, from);
}

// 100 (C_t / C_(t-n) - 1).
void RateOfChange(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 12);
  from = Prepare(out, in.close.size(), 1, 0, from);
  if (from == 0) out.lines[0].name = Name("ROC", n);
  const size_t lag = static_cast<size_t>(n);
  const CSpan c = in.close;
  Map(from, c.size(), L(out, 0), [&](size_t t) {
    return t < lag || !Ok(c[t], c[t - lag]) || c[t - lag] == 0 ? NoValue
                                                               : c[t] / c[t - lag] * 100 - 100;
  });
  Finish(out, from);
}

// 100 S(U) / S(|d|), d = C_t - C_(t-1), U = max(d, 0), S Wilder smoothing
// seeded by the mean of the first n values; 0/0 = 50. First value at n.
void Rsi(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 1, 2, from);
  if (from == 0) {
    out.lines[0].name = Name("RSI", n);
    out.axisMin = 0, out.axisMax = 100;
    Thresholds(out, 50, opt.p[1], true);
  }
  RsiInto(in.close, n, W(out, 0), W(out, 1), L(out, 0), from);
  Finish(out, from);
}

// 100 (R - MIN_n R) / (MAX_n R - MIN_n R), R = RSI_n, 0/0 = 50. First value at 2n - 1.
void StochRsi(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  from = Prepare(out, in.close.size(), 1, 3, from);
  if (from == 0) {
    out.lines[0].name = Name("StochRSI", n);
    out.axisMin = 0, out.axisMax = 100;
    Thresholds(out, 50, opt.p[1], true);
  }
  Span r = W(out, 2);
  RsiInto(in.close, n, W(out, 0), W(out, 1), r, from);
  StochInto(r, r, r, n, 50, L(out, 0), from);
  Finish(out, from);
}

// E3 = EMA(EMA(EMA(C))); 100 (E3_t / E3_(t-1) - 1).
void Trix(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 12);
  from = Prepare(out, in.close.size(), 1, 3, from);
  if (from == 0) out.lines[0].name = Name("TRIX", n);
  Span e1 = W(out, 0), e2 = W(out, 1), e3 = W(out, 2), y = L(out, 0);
  const double a = Alpha(n);
  double s1 = LastBefore(e1, from), s2 = LastBefore(e2, from), s3 = LastBefore(e3, from);
  for (size_t t = from; t < in.close.size(); ++t) {
    const double c = in.close[t];
    e1[t] = Ok(c) ? ExpStep(s1, c, a) : NoValue;
    e2[t] = Ok(c) ? ExpStep(s2, e1[t], a) : NoValue;
    e3[t] = Ok(c) ? ExpStep(s3, e2[t], a) : NoValue;
    y[t] =
        t < 1 || !Ok(e3[t], e3[t - 1]) || e3[t - 1] == 0 ? NoValue : e3[t] / e3[t - 1] * 100 - 100;
  }
  Finish(out, from);
}

// BP = C - min(L, Cprev); R_k = SMA_pk(BP) / SMA_pk(TR) (0/0 = 0.5);
// UO = 100/7 (4 R1 + 2 R2 + R3). First value at the longest period.
void UltimateOscillator(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int p[3] = {Period(opt, 0, 7), Period(opt, 1, 14), Period(opt, 2, 28)};
  const double range = opt.p[3] > 0 ? opt.p[3] : 20;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 2, from);
  if (from == 0) {
    out.lines[0].name = "Ultimate Oscillator (" + std::to_string(p[0]) + ", " +
                        std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
    out.axisMin = 0, out.axisMax = 100;
    Thresholds(out, 50, range, false);
  }
  Span tr = W(out, 0), bp = W(out, 1), y = L(out, 0);
  WindowSum sbp[3] = {{bp, p[0]}, {bp, p[1]}, {bp, p[2]}};
  WindowSum str[3] = {{tr, p[0]}, {tr, p[1]}, {tr, p[2]}};
  for (size_t k = 0; k < 3; ++k) sbp[k].Resume(from), str[k].Resume(from);
  const double weight[3] = {4, 2, 1};
  double prevClose = LastBefore(in.close, from);
  for (size_t t = from; t < size; ++t) {
    const double c = in.close[t], pc = prevClose;
    tr[t] = TrueRangeAt(in, t, pc);
    bp[t] = Ok(c, in.low[t], pc) ? c - std::min(in.low[t], pc) : NoValue;
    if (Ok(c)) prevClose = c;
    const bool okBp = Ok(bp[t]), okTr = Ok(tr[t]);
    double sum = 0;
    bool ok = okBp && okTr;
    for (size_t k = 0; k < 3; ++k) {
      if (okBp) sbp[k].Push(t);
      if (okTr) str[k].Push(t);
      if (!ok || !sbp[k].Full() || !str[k].Full()) {
        ok = false;
        continue;
      }
      sum += weight[k] * Ratio(sbp[k].Mean(), str[k].Mean(), 0.5, 1);
    }
    y[t] = ok ? 100.0 / 7.0 * sum : NoValue;
  }
  Finish(out, from);
}

// -100 (MAX_n H - C) / (MAX_n H - MIN_n L), 0/0 = -50. Marks at -50 +/- range.
void WilliamR(const Inputs& in, const Options& opt, Outputs& out, size_t from) {
  const int n = Period(opt, 0, 14);
  const double range = opt.p[1] > 0 ? opt.p[1] : 30;
  const size_t size = in.close.size();
  from = Prepare(out, size, 1, 0, from);
  if (from == 0) {
    out.lines[0].name = "William %R";
    out.axisMin = -100, out.axisMax = 0;
    Thresholds(out, -50, range, false);
  }
  WindowBest<true> mx(in.high, n);
  WindowBest<false> mn(in.low, n);
  mx.Resume(from);
  mn.Resume(from);
  Span y = L(out, 0);
  for (size_t t = from; t < size; ++t) {
    double h = NoValue, l = NoValue;
    if (Ok(in.high[t])) {
      mx.Push(t);
      if (mx.Full()) h = mx.Value();
    }
    if (Ok(in.low[t])) {
      mn.Push(t);
      if (mn.Full()) l = mn.Value();
    }
    y[t] = Ok(h, l, in.close[t]) ? Ratio(h - in.close[t], h - l, -50, -100) : NoValue;
  }
  Finish(out, from);
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
  std::string s = Format("%.*f", decimals, value);
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
