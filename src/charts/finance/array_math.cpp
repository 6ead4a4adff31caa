#include "charts/finance/array_math.h"

#include <algorithm>
#include <cmath>

namespace kovo::finance {

void MovAvg(std::span<const double> x, int n, std::span<double> y, size_t from) {
  WindowSum w(x, n);
  w.Resume(from);
  for (size_t t = from; t < x.size();) {
    if (!HasValue(x[t])) {
      y[t++] = NoValue;
    } else if (w.Full()) {
      t = w.PushWhole(t, x.size(), y.data(), nullptr,
                      [](double mean, double, double& out, double&) { out = mean; });
    } else {
      w.Push(t);
      y[t] = w.Full() ? w.Mean() : NoValue;
      ++t;
    }
  }
}

void MovStdDev(std::span<const double> x, int n, std::span<double> y, size_t from) {
  WindowMoments w(x, n);
  w.Resume(from);
  for (size_t t = from; t < x.size(); ++t) {
    if (!HasValue(x[t])) {
      y[t] = NoValue;
      continue;
    }
    w.Push(t);
    y[t] = w.Full() ? std::sqrt(w.Variance()) : NoValue;
  }
}

namespace {
template <bool Max>
void MovExtreme(std::span<const double> x, int n, std::span<double> y, size_t from) {
  WindowBest<Max> w(x, n);
  w.Resume(from);
  for (size_t t = from; t < x.size(); ++t) {
    if (!HasValue(x[t])) {
      y[t] = NoValue;
      continue;
    }
    w.Push(t);
    y[t] = w.Full() ? w.Value() : NoValue;
  }
}
}  // namespace

void MovMax(std::span<const double> x, int n, std::span<double> y, size_t from) {
  MovExtreme<true>(x, n, y, from);
}

void MovMin(std::span<const double> x, int n, std::span<double> y, size_t from) {
  MovExtreme<false>(x, n, y, from);
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
    if (!HasValue(prev)) [[unlikely]]
      prev = x[t];
    else
      prev += alpha * (x[t] - prev);
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
