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
// Both at once.
void MovMeanStdDev(std::span<const double> x, int n, std::span<double> mean, std::span<double> sd,
                   size_t from);
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

// Running state over the last n valid values of an array, for kernels that fuse
// several windows into one pass. Each reads x[t] when pushed, so x may be an
// array the same loop fills just before.

// Sum (and optionally the sum of squared deviations) of the window. The sum is
// compensated, and at every block start that has a value it is summed afresh
// from the window: the rounding carried forward stays small, and Resume replays
// from that block start exactly what a pass from position 0 did, so a tail
// equals a full computation bit for bit.
template <bool Moments>
class BasicWindowSum {
 public:
  BasicWindowSum(std::span<const double> x, int n)
      : m_x(x),
        m_n(static_cast<size_t>(std::max(n, 1))),
        m_blockMask(std::bit_ceil(std::max<size_t>(2 * m_n, 64)) - 1),
        m_inv(1.0 / static_cast<double>(m_n)) {}

  // The state a pass over positions [0, from) leaves.
  void Resume(size_t from) {
    size_t p = std::min(from, m_x.size());
    while (p > 0 && !HasValue(m_x[p - 1])) --p;
    *this = BasicWindowSum(m_x, static_cast<int>(m_n));
    if (p == 0) return;
    // The latest block start up to the last value that has a value itself.
    size_t a = (p - 1) & ~m_blockMask;
    while (a > 0 && !HasValue(m_x[a])) a -= m_blockMask + 1;
    if (HasValue(m_x[a])) Fresh(a++);
    for (; a < p; ++a)
      if (HasValue(m_x[a])) Push(a);
  }

  // x[t] must be valid.
  [[gnu::always_inline]] void Push(size_t t) {
    const double v = m_x[t];
    if ((t & m_blockMask) == 0) {
      Fresh(t);
      return;
    }
    if (m_count == m_n) {
      const double old = m_x[m_oldest];
      do ++m_oldest;
      while (!HasValue(m_x[m_oldest]));
      // The window's change v - old is added with its rounding error kept.
      const double d = v - old;
      const double s = m_s + d, sz = s - m_s;
      m_c += (m_s - (s - sz)) + (d - sz);
      m_s = s;
      if constexpr (Moments) {
        const double meanOld = m_mean;
        m_mean = Sum() * m_inv;
        m_m2 = std::max(0.0, m_m2 + d * (v - m_mean + old - meanOld));
      }
    } else {
      if (m_count++ == 0) m_oldest = t;
      Add(v);
      if constexpr (Moments) {
        const double meanOld = m_mean;
        m_mean = Sum() / static_cast<double>(m_count);
        m_m2 = std::max(0.0, m_m2 + (v - meanOld) * (v - m_mean));
      }
    }
    m_run = v == m_last ? std::min(m_run + 1, m_n) : 1;
    m_last = v;
  }

  bool Full() const { return m_count == m_n; }
  // Every value of the window equals Last().
  bool Flat() const { return m_run == m_n; }
  double Last() const { return m_last; }
  double Sum() const { return m_s + m_c; }
  // The window's mean, exact for equal values; only when Full().
  double Mean() const { return Flat() ? m_last : Sum() * m_inv; }
  // Population variance; only when Full().
  double Variance() const { return Flat() ? 0.0 : m_m2 * m_inv; }

 private:
  void Add(double v) {
    const double s = m_s + v, z = s - m_s;
    m_c += (m_s - (s - z)) + (v - z);
    m_s = s;
  }

  // Everything recomputed from the values of the window that ends at t. Kept
  // inline so that the state stays in registers in the callers' loops.
  [[gnu::always_inline]] void Fresh(size_t t) {
    size_t i = t + 1, k = 0;
    while (i > 0 && k < m_n)
      if (HasValue(m_x[--i])) ++k;
    while (!HasValue(m_x[i])) ++i;  // fewer than n values: the first valid one
    m_oldest = i;
    m_count = k;
    m_s = m_c = m_m2 = 0;
    m_run = 0;
    m_last = NoValue;
    for (size_t j = i; j <= t; ++j) {
      const double v = m_x[j];
      if (!HasValue(v)) continue;
      Add(v);
      m_run = v == m_last ? m_run + 1 : 1;
      m_last = v;
    }
    if constexpr (Moments) {
      m_mean = k == m_n ? Sum() * m_inv : Sum() / static_cast<double>(k);
      for (size_t j = i; j <= t; ++j)
        if (HasValue(m_x[j])) m_m2 += (m_x[j] - m_mean) * (m_x[j] - m_mean);
    }
  }

  std::span<const double> m_x;
  size_t m_n;
  size_t m_blockMask;
  double m_inv;
  size_t m_oldest = 0;  // position of the oldest value in the window
  size_t m_count = 0;
  size_t m_run = 0;  // trailing values equal to m_last, at most n
  double m_last = NoValue;
  double m_s = 0, m_c = 0;
  double m_mean = 0, m_m2 = 0;  // with Moments: the window's mean and squared deviations
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
      : m_x(x), m_n(static_cast<size_t>(std::max(n, 1))), m_block(m_n), m_suffix(m_n) {}

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
        m_mask(std::bit_ceil(m_n + 2) - 1),
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
