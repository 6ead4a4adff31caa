#include "charts/finance/array_math.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kovo::finance {
namespace {

// The last n valid values ending before `from`, oldest first, as a ring.
class ValidWindow {
 public:
  ValidWindow(std::span<const double> x, int n, size_t from)
      : m_n(static_cast<size_t>(std::max(n, 1))) {
    std::vector<double> back;
    for (size_t t = from; t > 0 && back.size() < m_n; --t)
      if (HasValue(x[t - 1])) back.push_back(x[t - 1]);
    for (auto it = back.rbegin(); it != back.rend(); ++it) Push(*it);
  }
  // Adds a value, dropping the oldest when full; returns the dropped one or 0.
  double Push(double v) {
    double dropped = 0.0;
    if (m_ring.size() < m_n) {
      m_ring.push_back(v);
    } else {
      dropped = m_ring[m_head];
      m_ring[m_head] = v;
      m_head = (m_head + 1) % m_n;
    }
    return dropped;
  }
  bool Full() const { return m_ring.size() == m_n; }
  size_t Size() const { return m_n; }
  const std::vector<double>& Values() const { return m_ring; }

 private:
  size_t m_n;
  size_t m_head = 0;
  std::vector<double> m_ring;
};

template <typename F>
void WindowOp(std::span<const double> x, int n, std::span<double> y, size_t from, F f) {
  ValidWindow w(x, n, from);
  for (size_t t = from; t < x.size(); ++t) {
    if (!HasValue(x[t])) {
      y[t] = NoValue;
      continue;
    }
    w.Push(x[t]);
    y[t] = w.Full() ? f(w.Values()) : NoValue;
  }
}

}  // namespace

void MovAvg(std::span<const double> x, int n, std::span<double> y, size_t from) {
  ValidWindow w(x, n, from);
  double sum = 0.0;
  for (double v : w.Values()) sum += v;
  const double count = static_cast<double>(w.Size());
  for (size_t t = from; t < x.size(); ++t) {
    if (!HasValue(x[t])) {
      y[t] = NoValue;
      continue;
    }
    const bool wasFull = w.Full();
    const double dropped = w.Push(x[t]);
    sum += x[t] - (wasFull ? dropped : 0.0);
    y[t] = w.Full() ? sum / count : NoValue;
  }
}

void MovStdDev(std::span<const double> x, int n, std::span<double> y, size_t from) {
  WindowOp(x, n, y, from, [](const std::vector<double>& v) {
    double mean = 0.0;
    for (double a : v) mean += a;
    mean /= static_cast<double>(v.size());
    double ss = 0.0;
    for (double a : v) ss += (a - mean) * (a - mean);
    return std::sqrt(ss / static_cast<double>(v.size()));
  });
}

void MovMax(std::span<const double> x, int n, std::span<double> y, size_t from) {
  WindowOp(x, n, y, from,
           [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

void MovMin(std::span<const double> x, int n, std::span<double> y, size_t from) {
  WindowOp(x, n, y, from,
           [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

void ExpAvg(std::span<const double> x, double alpha, std::span<double> y, size_t from) {
  double prev = NoValue;
  for (size_t t = std::min(from, y.size()); t > 0; --t)
    if (HasValue(y[t - 1])) {
      prev = y[t - 1];
      break;
    }
  for (size_t t = from; t < x.size(); ++t) {
    if (!HasValue(x[t])) {
      y[t] = NoValue;
      continue;
    }
    prev = HasValue(prev) ? alpha * x[t] + (1.0 - alpha) * prev : x[t];
    y[t] = prev;
  }
}

void Delta(std::span<const double> x, int k, std::span<double> y, size_t from) {
  const size_t lag = static_cast<size_t>(std::max(k, 0));
  for (size_t t = from; t < x.size(); ++t)
    y[t] = (t < lag || !HasValue(x[t]) || !HasValue(x[t - lag])) ? NoValue : x[t] - x[t - lag];
}

void Rate(std::span<const double> x, int k, std::span<double> y, size_t from) {
  const size_t lag = static_cast<size_t>(std::max(k, 0));
  for (size_t t = from; t < x.size(); ++t)
    y[t] = (t < lag || !HasValue(x[t]) || !HasValue(x[t - lag]) || x[t - lag] == 0.0)
               ? NoValue
               : x[t] / x[t - lag];
}

void ShiftOne(std::span<const double> x, std::span<double> y, size_t from) {
  double prev = NoValue;
  for (size_t t = std::min(from, x.size()); t > 0; --t)
    if (HasValue(x[t - 1])) {
      prev = x[t - 1];
      break;
    }
  for (size_t t = from; t < x.size(); ++t) {
    y[t] = prev;
    if (HasValue(x[t])) prev = x[t];
  }
}

void Acc(std::span<const double> x, std::span<double> y, size_t from) {
  double sum = 0.0;
  for (size_t t = std::min(from, y.size()); t > 0; --t)
    if (HasValue(y[t - 1])) {
      sum = y[t - 1];
      break;
    }
  for (size_t t = from; t < x.size(); ++t) {
    if (!HasValue(x[t])) {
      y[t] = NoValue;
      continue;
    }
    sum += x[t];
    y[t] = sum;
  }
}

void FinanceDiv(std::span<const double> a, std::span<const double> b, double zeroByZero,
                std::span<double> y, size_t from) {
  for (size_t t = from; t < a.size(); ++t) {
    if (!HasValue(a[t]) || !HasValue(b[t]))
      y[t] = NoValue;
    else if (b[t] == 0.0)
      y[t] = a[t] == 0.0 ? zeroByZero : NoValue;
    else
      y[t] = a[t] / b[t];
  }
}

size_t LeadingNoValue(std::span<const double> x) {
  size_t i = 0;
  while (i < x.size() && !HasValue(x[i])) ++i;
  return i;
}

size_t LastValueIndex(std::span<const double> x) {
  for (size_t t = x.size(); t > 0; --t)
    if (HasValue(x[t - 1])) return t - 1;
  return x.size();
}

}  // namespace kovo::finance
