#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace kovo::finance {

// Marks a position that has no value; every series uses it for "not computable yet".
inline constexpr double NoValue = 1.7e308;

inline unsigned long long BitsOf(double x) {
  return std::bit_cast<unsigned long long>(x);
}

// Compared as bits: the same answer as x != NoValue, in one integer compare.
inline bool HasValue(double x) {
  return BitsOf(x) != BitsOf(NoValue);
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
// of the current block (a prefix sum) plus the newest values before the block.
// Those come from the previous block's prefix sums (its total less a prefix)
// when that block is whole, else from suffix sums worked out by walking back.
// Nothing carries rounding past two blocks, a window of values that are not
// negative never sums below zero, and each window's sum depends only on its
// values and on where the blocks start, so a tail equals a full computation
// bit for bit. With Moments the values are taken less a shift, the last value
// before a stretch of kShiftBlocks blocks or before a block whose values lie
// far from it for how much they move, so the variance keeps its digits.
template <bool Moments>
class BasicWindowSum {
 public:
  static constexpr size_t kShiftBlocks = 16;
  static constexpr double kSpread = 64;

  BasicWindowSum(std::span<const double> x, int n)
      : m_x(x),
        m_n(static_cast<size_t>(std::max(n, 1))),
        m_inv(1.0 / static_cast<double>(m_n)),
        m_store(std::make_unique_for_overwrite<double[]>((Moments ? 5 : 3) * (Room(x, m_n) + 1))) {
    // One allocation, left as it comes but for the entries read before they
    // are written: a kernel's tail recompute makes several of these.
    double* p = m_store.get();
    const size_t room = Room(x, m_n) + 1;
    m_preS = p, m_prevS = p + room, m_flat = p + 2 * room;
    m_preS[0] = m_prevS[room - 1] = 0;
    if constexpr (Moments) {
      m_preQ = p + 3 * room, m_prevQ = p + 4 * room;
      m_preQ[0] = m_prevQ[room - 1] = 0;
    }
  }
  // The arrays point into m_store, which a copy would not share.
  BasicWindowSum(const BasicWindowSum&) = delete;
  BasicWindowSum& operator=(const BasicWindowSum&) = delete;

  // The state a pass over positions [0, from) leaves.
  void Resume(size_t from) {
    from = std::min(from, m_x.size());
    const size_t b = from - from % m_n;
    if constexpr (Moments) ResumeShift(b);
    if (b >= m_n && Refill(b - m_n)) {
      // The previous block is whole, as a pass leaves it.
      m_start = b - m_n;
      m_j = m_stored = m_n;
      TrailingRun(b);
    }
    StartBlock(b, Moments && b >= m_n ? BlockMove(b - m_n).move : 0.0);
    // What Push does, in locals: the positions up to from lie in this block.
    const double* x = m_x.data();
    double s = m_s, q = m_q;
    size_t j = m_j, run = m_run;
    unsigned long long last = BitsOf(m_last);
    for (size_t t = b; t < from; ++t) {
      const double v = x[t];
      const unsigned long long bits = BitsOf(v);
      if (bits == BitsOf(NoValue)) continue;
      ++j;
      if constexpr (Moments) {
        if (!m_shiftSet) m_shift = v, m_shiftSet = true;
        const double d = v - m_shift;
        s += d;
        q += d * d;
      } else {
        s += v;
      }
      run = bits == last ? run + 1 : 1;
      last = bits;
    }
    m_s = s, m_q = q, m_j = j, m_run = run, m_last = std::bit_cast<double>(last);
  }

  // x[t] must be valid; t increases from call to call.
  [[gnu::always_inline]] void Push(size_t t) {
    if (t - m_start >= m_n) [[unlikely]] {
      const size_t b = BlockOf(t);
      StartBlock(b, Moved(b));
    }
    const double v = m_x[t];
    if constexpr (Moments) {
      if (!m_shiftSet) m_shift = v, m_shiftSet = true;
    }
    ++m_j;
    if constexpr (Moments) {
      const double d = v - m_shift;
      m_s += d;
      m_q += d * d;
    } else {
      m_s += v;
    }
    m_run = BitsOf(v) == BitsOf(m_last) ? m_run + 1 : 1;
    m_last = v;
  }

  bool Full() const { return m_j + m_avail >= m_n; }
  // Every value of the window equals Last().
  bool Flat() const { return m_run >= m_n; }
  double Last() const { return m_last; }
  // The window's sum (of the values less the shift, with Moments); only when Full().
  double Sum() const { return m_s + (m_totS - m_prevS[m_j]); }
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
    const double s = Sum() * m_inv, q = (m_q + (m_totQ - m_prevQ[m_j])) * m_inv;
    const double v = q - s * s;
    const bool flat = Flat();
    mean = flat ? m_last : m_shift + s;
    var = flat || v < 0 ? 0.0 : v;
  }

  // Pushes t, t + 1, ... up to end while each holds a value; for each
  // window, finish(mean, variance, out0[t], out1[t]) (variance 0 and out1
  // unused without Moments). finish should be a plain function of its values;
  // the outputs may not alias x. The window must be Full() already. The same
  // arithmetic as Push, Mean and MeanVariance, in a loop over each block's
  // head and then one over its windows that the compiler vectorises; returns
  // the first position not pushed.
  template <typename Finish>
  size_t PushWhole(size_t t, size_t end, double* __restrict out0, double* __restrict out1,
                   Finish&& finish) {
    const double* x = m_x.data();
    const size_t n = m_n;
    const double inv = m_inv;
    while (t < end) {
      if (t - m_start >= n) {
        const size_t b = BlockOf(t);
        StartBlock(b, Moved(b));
      }
      const size_t stop = std::min(end, m_start + n);
      double* preS = m_preS;
      double* preQ = m_preQ;
      double* flat = m_flat;
      const double shift = m_shift;
      // The block's head first, one value after the other ...
      const size_t j0 = m_j;
      const double* xs = x + t;
      double* headS = preS + j0 + 1;
      double* headQ = Moments ? preQ + j0 + 1 : nullptr;
      double* headFlat = flat + j0 + 1;
      double s = m_s, q = m_q;
      unsigned long long last = BitsOf(m_last);
      size_t run = m_run, len = stop - t;
      for (size_t k = 0; k < len; ++k) {
        const double v = xs[k];
        const unsigned long long bits = BitsOf(v);
        if (bits == BitsOf(NoValue)) {
          len = k;
          break;
        }
        if constexpr (Moments) {
          const double d = v - shift;
          s += d;
          q += d * d;
          headQ[k] = q;
        } else {
          s += v;
        }
        headS[k] = s;
        run = bits == last ? run + 1 : 1;
        last = bits;
        headFlat[k] = run >= n ? 1.0 : 0.0;
      }
      const size_t u = t + len;
      if (m_stored == j0) m_stored = j0 + len;
      m_s = s, m_q = q, m_last = std::bit_cast<double>(last), m_j = j0 + len, m_run = run;
      // ... then its windows, which do not depend on each other.
      const double* prevS = m_prevS + j0 + 1;
      const double* prevQ = Moments ? m_prevQ + j0 + 1 : nullptr;
      const double totS = m_totS, totQ = m_totQ;
      double* __restrict o0 = out0 + t;
      double* __restrict o1 = Moments ? out1 + t : nullptr;
      for (size_t k = 0; k < len; ++k) {
        // Blends rather than selects, which the compiler vectorises; with
        // finite values and a flag of 0 or 1 they are exact.
        const double equal = headFlat[k], other = 1.0 - equal;
        const double sum = headS[k] + (totS - prevS[k]);
        double a, b;
        if constexpr (Moments) {
          const double sm = sum * inv, qm = (headQ[k] + (totQ - prevQ[k])) * inv;
          finish(equal * xs[k] + other * (shift + sm), other * std::max(qm - sm * sm, 0.0), a, b);
          o0[k] = a;
          o1[k] = b;
        } else {
          finish(equal * xs[k] + other * (sum * inv), 0.0, a, b);
          o0[k] = a;
        }
      }
      if (u < stop) return u;
      t = u;
    }
    return t;
  }

 private:
  // The prefix sums of the block at c, as Push makes them (it does not store
  // them, to keep its state in registers); false when the block is not whole.
  bool Refill(size_t c) {
    const double* x = m_x.data() + c;
    const double shift = m_shift;
    double s = 0, q = 0;
    for (size_t k = 0; k < m_n; ++k) {
      if (!HasValue(x[k])) return false;
      if constexpr (Moments) {
        const double d = x[k] - shift;
        s += d;
        q += d * d;
        m_preQ[k + 1] = q;
      } else {
        s += x[k];
      }
      m_preS[k + 1] = s;
    }
    return true;
  }

  // The trailing run of equal values before b; it usually ends at the second value.
  void TrailingRun(size_t b) {
    m_run = 0;
    m_last = NoValue;
    for (size_t t = b; t > 0 && m_run < m_n;) {
      const double v = m_x[--t];
      if (!HasValue(v)) continue;
      if (m_run > 0 && BitsOf(v) != BitsOf(m_last)) break;
      m_last = v;
      ++m_run;
    }
  }

  // The start of the block holding t, t past the current block; usually the next one.
  size_t BlockOf(size_t t) const {
    const size_t off = t - m_start;
    return off < 2 * m_n ? m_start + m_n : t - off % m_n;
  }

  // With Moments, whether the block at b takes the last value before it as
  // its shift: the first block started in a stretch, and a block whose values
  // have moved far from the shift for how much they move (their squares would
  // lose the variance's digits). moved: how far the values of the block
  // before b moved from first to last, 0 when it has none.
  bool Recentre(size_t b, double last, double moved) {
    if constexpr (!Moments) return false;
    if (b >= m_nextStretch) {
      const size_t length = m_n * kShiftBlocks;
      m_nextStretch = b - b % length + length;
      return true;
    }
    return m_shiftSet && std::fabs(last - m_shift) > moved * kSpread;
  }

  // moved for the block at b, from the state a pass leaves.
  double Moved(size_t b) const {
    if constexpr (!Moments) return 0.0;
    if (m_start + m_n != b || m_j == 0) return 0.0;
    const double first = m_x[m_start];  // usually there
    return std::fabs(m_last - (HasValue(first) ? first : BlockMove(m_start).first));
  }

  // The first and last values of the block at c, and how far they are apart.
  struct Move {
    double first = NoValue, last = NoValue, move = 0;
  };
  Move BlockMove(size_t c) const {
    Move m;
    for (size_t t = c; t < c + m_n; ++t)
      if (HasValue(m_x[t])) {
        m.first = m_x[t];
        break;
      }
    if (m.first == NoValue) return m;
    for (size_t t = c + m_n; t > c;)
      if (HasValue(m_x[--t])) {
        m.last = m_x[t];
        break;
      }
    m.move = std::fabs(m.last - m.first);
    return m;
  }

  // The shift in force for the block before b: the last value before the
  // stretch, or the first value of all when there is none before it, then
  // the re-centrings of the blocks from the stretch's start on.
  void ResumeShift(size_t b) {
    const size_t stretch = b - b % (m_n * kShiftBlocks);
    m_nextStretch = b == stretch ? b : stretch + m_n * kShiftBlocks;
    m_shiftSet = false;
    for (size_t t = stretch; t > 0 && !m_shiftSet;)
      if (HasValue(m_x[--t])) m_shift = m_x[t], m_shiftSet = true;
    double last = m_shiftSet ? m_shift : NoValue;
    size_t known = stretch;  // from where the shift is known
    for (size_t t = stretch; t < b && !m_shiftSet; ++t)
      if (HasValue(m_x[t])) m_shift = m_x[t], m_shiftSet = true, known = t + 1;
    for (size_t c = stretch + m_n; c < b; c += m_n) {
      const Move m = BlockMove(c - m_n);
      if (m.last != NoValue) last = m.last;
      if (c >= known && last != NoValue && Recentre(c, last, m.move)) m_shift = last;
    }
  }

  // Starts the block at b, with the sums of the newest 1..n values before it.
  [[gnu::always_inline]] void StartBlock(size_t b, double moved) {
    const bool carry = b == m_start + m_n && m_j == m_n, stored = m_stored == m_n;
    m_start = b;
    m_j = 0;
    m_s = m_q = 0;
    m_stored = 0;
    const bool recentre = carry && Recentre(b, m_last, moved);
    if (carry && !recentre) {
      // The previous block was whole and shares the shift: its total less a prefix.
      if (!stored) Refill(b - m_n);  // whole, as carry says
      std::swap(m_preS, m_prevS);
      m_totS = m_prevS[m_n];
      m_preS[0] = 0;
      if constexpr (Moments) {
        std::swap(m_preQ, m_prevQ);
        m_totQ = m_prevQ[m_n];
        m_preQ[0] = 0;
      }
      m_avail = m_n;
      return;
    }
    WalkBack(b, moved, carry, recentre);
  }

  // The sums before b when the previous block cannot give them.
  // decided: whether recentre holds the answer of Recentre for b already.
  [[gnu::noinline]] void WalkBack(size_t b, double moved, bool decided, bool recentre) {
    m_avail = 0;
    TrailingRun(b);
    if (!decided) recentre = Recentre(b, m_last, moved);
    if (m_run == 0) return;  // nothing before the block
    if (recentre) m_shift = m_last, m_shiftSet = true;
    // Kept as a total of 0 less the negated suffix sums, which is exact.
    m_totS = m_totQ = 0;
    m_prevS[m_n] = 0;
    if constexpr (Moments) m_prevQ[m_n] = 0;
    // In locals: the stores below could otherwise be taken to change them.
    const double* x = m_x.data();
    double* prevS = m_prevS;
    double* prevQ = m_prevQ;
    const double shift = m_shift;
    const size_t n = m_n;
    double s = 0, q = 0;
    size_t avail = 0;
    for (size_t t = b; t > 0 && avail < n;) {
      const double v = x[--t];
      if (!HasValue(v)) continue;
      const double d = Moments ? v - shift : v;
      ++avail;
      prevS[n - avail] = -(s += d);
      if constexpr (Moments) prevQ[n - avail] = -(q += d * d);
    }
    m_avail = avail;
  }

  std::span<const double> m_x;
  size_t m_n;
  double m_inv;
  std::unique_ptr<double[]> m_store;
  double* m_preS = nullptr;  // [j]: the first j values of the block; [0] = 0
  double* m_preQ = nullptr;
  // The newest n - j values before the block sum to m_tot - m_prev[j]: the
  // previous block's prefix sums and total, or negated suffix sums and 0.
  double* m_prevS = nullptr;
  double* m_prevQ = nullptr;
  double m_totS = 0, m_totQ = 0;
  double* m_flat = nullptr;  // [j]: 1 when the window ending at the block's jth value is flat
  size_t m_start = 0;        // first position of the current block
  size_t m_avail = 0;        // values before the block, at most n
  size_t m_j = 0;            // values pushed in the current block
  size_t m_run = 0;          // trailing values equal to m_last (compared as bits)
  double m_last = NoValue;
  double m_shift = 0;  // with Moments: subtracted from every value
  bool m_shiftSet = false;
  size_t m_nextStretch = 0;  // with Moments: the first block of the next stretch
  size_t m_stored = 0;       // prefix sums of the current block stored in m_pre, from the first
  double m_s = 0, m_q = 0;   // the block's head: sum, and sum of squares with Moments
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
