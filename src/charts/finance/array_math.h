#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace kovo::finance {

// Marks a position that has no value; every series uses it for "not computable yet".
inline constexpr double NoValue = 1.7e308;

// Compared as bits: the same answer as x != NoValue, in one integer compare.
inline bool HasValue(double x) {
  return std::bit_cast<unsigned long long>(x) != std::bit_cast<unsigned long long>(NoValue);
}

// Array primitives the indicators are built from. Each writes positions
// [from, size) of y and reads earlier positions of y as already computed from
// the same leading data, so a change of the last bars only costs the tail.
// A tail computed so is bit for bit what a computation from position 0 gives.
// x and y have the same size; y may not alias x unless stated.

// Mean of the last n valid values (NoValue positions pass through as NoValue);
// NoValue until n valid values were seen. A window of equal values gives that value.
void MovAvg(std::span<const double> x, int n, std::span<double> y, size_t from);
// Population standard deviation over the same window as MovAvg; 0 for equal values.
void MovStdDev(std::span<const double> x, int n, std::span<double> y, size_t from);
// Highest / lowest of the same window, the current point included.
void MovMax(std::span<const double> x, int n, std::span<double> y, size_t from);
void MovMin(std::span<const double> x, int n, std::span<double> y, size_t from);
// y += a (x - y), seeded with the first valid x; NoValue stays NoValue. Written
// as a correction so that a run of equal values keeps y where it is.
void ExpAvg(std::span<const double> x, double alpha, std::span<double> y, size_t from);
// y_t = x_t - x_(t-k) and x_t / x_(t-k); the first k positions are NoValue,
// x/0 is NoValue.
void Delta(std::span<const double> x, int k, std::span<double> y, size_t from);
void Rate(std::span<const double> x, int k, std::span<double> y, size_t from);
// The previous valid value (NoValue before the first).
void ShiftOne(std::span<const double> x, std::span<double> y, size_t from);
// Running total of the valid values; NoValue positions stay NoValue.
void Acc(std::span<const double> x, std::span<double> y, size_t from);
// a/b with 0/0 = zeroByZero and x/0 = NoValue; NoValue in gives NoValue out.
void FinanceDiv(std::span<const double> a, std::span<const double> b, double zeroByZero,
                std::span<double> y, size_t from);

// Number of leading NoValue positions.
size_t LeadingNoValue(std::span<const double> x);
// Index of the last valid value, or size when there is none.
size_t LastValueIndex(std::span<const double> x);

// Room a window of n values needs over x: a period longer than the series
// never fills, so it costs no more than the series.
inline size_t Room(std::span<const double> x, size_t n) {
  return std::min(n, x.size());
}

// Running state over the last n valid values of an array, for kernels that fuse
// several windows into one pass. Each reads x[t] when pushed, so x may be an
// array the same loop fills just before.

// Sum (and optionally the sum of squared deviations) of the window, with no
// running total: positions are taken in blocks of n, and a window is the head
// of the current block (a prefix sum) plus the values before the block (suffix
// sums worked out once per block). Nothing carries rounding from one window to
// the next, a window of values that are not negative never sums below zero,
// and each window's sum depends only on its values and on where the block
// starts, so a tail equals a full computation bit for bit.
template <bool Moments>
class BasicWindowSum {
 public:
  BasicWindowSum(std::span<const double> x, int n)
      : m_x(x),
        m_n(static_cast<size_t>(std::max(n, 1))),
        m_inv(1.0 / static_cast<double>(m_n)),
        m_sufS(Room(x, m_n) + 1),
        m_sufQ(Moments ? Room(x, m_n) + 1 : 0) {}

  // The state a pass over positions [0, from) leaves.
  void Resume(size_t from) {
    from = std::min(from, m_x.size());
    StartBlock(from - from % m_n);
    for (size_t t = m_start; t < from; ++t)
      if (HasValue(m_x[t])) Push(t);
  }

  // x[t] must be valid; t increases from call to call.
  [[gnu::always_inline]] void Push(size_t t) {
    if (t - m_start >= m_n) [[unlikely]]
      StartBlock(t - (t - m_start) % m_n);
    const double v = m_x[t];
    ++m_j;
    if constexpr (Moments) {
      if (m_avail == 0 && m_j == 1) m_shift = v;
      const double d = v - m_shift;
      m_s += d;
      m_q += d * d;
    } else {
      m_s += v;
    }
    m_run = v == m_last ? std::min(m_run + 1, m_n) : 1;
    m_last = v;
  }

  bool Full() const { return m_j + m_avail >= m_n; }
  // Every value of the window equals Last().
  bool Flat() const { return m_run == m_n; }
  double Last() const { return m_last; }
  // The window's sum (of the values less the shift, with Moments); only when Full().
  double Sum() const { return m_s + m_sufS[m_n - m_j]; }
  // The window's mean, exact for equal values; only when Full().
  double Mean() const {
    if (Flat()) return m_last;
    if constexpr (Moments) return m_shift + Sum() * m_inv;
    return Sum() * m_inv;
  }
  // Population variance, 0 for equal values; only when Full().
  double Variance() const {
    double mean, var;
    MeanVariance(mean, var);
    return var;
  }
  // Both, in one go.
  void MeanVariance(double& mean, double& var) const {
    const double s = Sum() * m_inv, q = (m_q + m_sufQ[m_n - m_j]) * m_inv;
    const double v = q - s * s;
    const bool flat = Flat();
    mean = flat ? m_last : m_shift + s;
    var = flat || v < 0 ? 0.0 : v;
  }

  // Pushes t, t + 1, ... up to end while each holds a value, calling
  // onWindow(t, mean, variance) after each (variance 0 without Moments). The
  // window must be Full() already. The same arithmetic as Push, Mean and
  // MeanVariance, with the state in registers; returns the first position not
  // pushed.
  template <typename OnWindow>
  size_t PushWhole(size_t t, size_t end, OnWindow&& onWindow) {
    const double* x = m_x.data();
    const size_t n = m_n;
    const double inv = m_inv;
    while (t < end) {
      if (t - m_start >= n) StartBlock(t - (t - m_start) % n);
      const size_t stop = std::min(end, m_start + n);
      const double* sufS = m_sufS.data();
      const double* sufQ = m_sufQ.data();
      const double shift = m_shift;
      double s = m_s, q = m_q, last = m_last;
      size_t j = m_j, run = m_run, u = t;
      for (; u < stop; ++u) {
        const double v = x[u];
        if (!HasValue(v)) break;
        ++j;
        if constexpr (Moments) {
          const double d = v - shift;
          s += d;
          q += d * d;
        } else {
          s += v;
        }
        run = v == last ? std::min(run + 1, n) : 1;
        last = v;
        const bool flat = run == n;
        const double sum = s + sufS[n - j];
        if constexpr (Moments) {
          const double sm = sum * inv, qm = (q + sufQ[n - j]) * inv, var = qm - sm * sm;
          onWindow(u, flat ? last : shift + sm, flat || var < 0 ? 0.0 : var);
        } else {
          onWindow(u, flat ? last : sum * inv, 0.0);
        }
      }
      m_s = s, m_q = q, m_last = last, m_j = j, m_run = run;
      if (u < stop) return u;
      t = u;
    }
    return t;
  }

 private:
  // Starts the block at b: sums of the newest 1..n values before it, newest first.
  void StartBlock(size_t b) {
    m_start = b;
    m_j = 0;
    m_s = m_q = 0;
    m_avail = 0;
    m_run = 0;
    m_last = NoValue;
    // The trailing run of equal values; it usually ends at the second value.
    for (size_t t = b; t > 0 && m_run < m_n;) {
      const double v = m_x[--t];
      if (!HasValue(v)) continue;
      if (m_run > 0 && v != m_last) break;
      m_last = v;
      ++m_run;
    }
    if (m_run == 0) return;  // nothing before the block
    m_shift = m_last;
    double s = 0, q = 0;
    for (size_t t = b; t > 0 && m_avail < m_n;) {
      const double v = m_x[--t];
      if (!HasValue(v)) continue;
      const double d = Moments ? v - m_shift : v;
      m_sufS[++m_avail] = s += d;
      if constexpr (Moments) m_sufQ[m_avail] = q += d * d;
    }
  }

  std::span<const double> m_x;
  size_t m_n;
  double m_inv;
  std::vector<double> m_sufS, m_sufQ;  // [m]: the newest m values before the block; [0] = 0
  size_t m_start = 0;                  // first position of the current block
  size_t m_avail = 0;                  // values before the block, at most n
  size_t m_j = 0;                      // values pushed in the current block
  size_t m_run = 0;                    // trailing values equal to m_last, at most n
  double m_last = NoValue;
  double m_shift = 0;       // with Moments: subtracted from every value of the block's windows
  double m_s = 0, m_q = 0;  // the block's head: sum, and sum of squares with Moments
};
using WindowSum = BasicWindowSum<false>;
using WindowMoments = BasicWindowSum<true>;

// Highest (Max) or lowest value of the last n valid values, without a branch
// per value: the values are taken in blocks of n; a window is the tail of the
// previous block (its best suffixes, worked out once per block) and the head
// of the current one (its running best).
template <bool Max>
class WindowBest {
 public:
  WindowBest(std::span<const double> x, int n)
      : m_x(x),
        m_n(static_cast<size_t>(std::max(n, 1))),
        m_block(Room(x, m_n)),
        m_suffix(Room(x, m_n)) {}

  // The state a pass over positions [0, from) leaves.
  void Resume(size_t from) {
    size_t i = std::min(from, m_x.size()), k = 0;
    while (i > 0 && k < m_n)
      if (HasValue(m_x[--i])) ++k;
    m_j = m_count = 0;
    for (; i < from; ++i)
      if (HasValue(m_x[i])) Push(i);
  }

  // x[t] must be valid.
  void Push(size_t t) {
    const double v = m_x[t];
    m_best = m_j == 0 ? v : Better(m_best, v);
    m_block[m_j] = v;
    if (++m_j == m_n) {
      double b = v;
      m_suffix[m_n - 1] = b;
      for (size_t k = m_n - 1; k-- > 0;) m_suffix[k] = b = Better(m_block[k], b);
      m_j = 0;
    }
    ++m_count;
  }

  bool Full() const { return m_count >= m_n; }
  double Value() const { return m_j == 0 ? m_best : Better(m_suffix[m_j], m_best); }

 private:
  static double Better(double a, double b) { return Max ? std::max(a, b) : std::min(a, b); }

  std::span<const double> m_x;
  size_t m_n;
  std::vector<double> m_block, m_suffix;
  size_t m_j = 0;  // values in the current block
  size_t m_count = 0;
  double m_best = 0;  // best of the current block so far
};

// Highest (Max) or lowest value of the last n valid values, as a monotonic
// queue: each value enters and leaves once. Ties keep the newer value, so
// Age() counts back to the most recent bar holding the extreme.
template <bool Max>
class WindowExtreme {
 public:
  WindowExtreme(std::span<const double> x, int n)
      : m_x(x),
        m_n(static_cast<size_t>(std::max(n, 1))),
        m_mask(std::bit_ceil(Room(x, m_n) + 2) - 1),
        m_ring(m_mask + 1) {}

  // The state a pass over positions [0, from) leaves.
  void Resume(size_t from) {
    size_t i = std::min(from, m_x.size()), k = 0;
    while (i > 0 && k < m_n)
      if (HasValue(m_x[--i])) ++k;
    m_head = m_tail = m_seen = 0;
    for (; i < from; ++i)
      if (HasValue(m_x[i])) Push(i);
  }

  // x[t] must be valid.
  void Push(size_t t) {
    const double v = m_x[t];
    while (m_tail != m_head && Dominated(m_ring[(m_tail - 1) & m_mask].value, v)) --m_tail;
    m_ring[m_tail++ & m_mask] = {v, m_seen};
    if (m_ring[m_head & m_mask].seen + m_n <= m_seen) ++m_head;
    ++m_seen;
  }

  bool Full() const { return m_seen >= m_n; }
  double Value() const { return m_ring[m_head & m_mask].value; }
  // Valid values between the extreme and the newest one.
  size_t Age() const { return m_seen - 1 - m_ring[m_head & m_mask].seen; }

 private:
  struct Entry {
    double value;
    size_t seen;
  };
  static bool Dominated(double old, double v) { return Max ? old <= v : old >= v; }

  std::span<const double> m_x;
  size_t m_n;
  size_t m_mask;
  std::vector<Entry> m_ring;
  size_t m_head = 0, m_tail = 0;  // counters, masked on use
  size_t m_seen = 0;              // valid values pushed
};

}  // namespace kovo::finance
