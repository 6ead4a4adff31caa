#pragma once

#include <cstddef>
#include <span>

namespace kovo::finance {

// Marks a position that has no value; every series uses it for "not computable yet".
inline constexpr double NoValue = 1.7e308;

inline bool HasValue(double x) {
  return x != NoValue;
}

// Array primitives the indicators are built from. Each writes positions
// [from, size) of y and reads earlier positions of y as already computed from
// the same leading data, so a change of the last bars only costs the tail.
// x and y have the same size; y may not alias x unless stated.

// Mean of the last n valid values (NoValue positions pass through as NoValue);
// NoValue until n valid values were seen.
void MovAvg(std::span<const double> x, int n, std::span<double> y, size_t from);
// Population standard deviation over the same window as MovAvg.
void MovStdDev(std::span<const double> x, int n, std::span<double> y, size_t from);
// Highest / lowest of the same window, the current point included.
void MovMax(std::span<const double> x, int n, std::span<double> y, size_t from);
void MovMin(std::span<const double> x, int n, std::span<double> y, size_t from);
// y = a*x + (1-a)*y_prev, seeded with the first valid x; NoValue stays NoValue.
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

}  // namespace kovo::finance
