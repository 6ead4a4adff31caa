#pragma once

#include <ctime>
#include <vector>

#include "charts/fchart_ctrl.h"

namespace kovo::test {

// n one-minute bars from 2025-12-09 09:15 rising by 1 from 100 (close = open + 0.5) plus the live
// slot.
inline void FillBars(FChartCtrl& chart, size_t n, double start = 100) {
  std::vector<double> t, h, l, o, c, v;
  for (size_t i = 0; i < n; ++i) {
    const double p = start + static_cast<double>(i);
    t.push_back(63'900'868'500.0 + 60.0 * static_cast<double>(i));
    o.push_back(p), c.push_back(p + 0.5), h.push_back(p + 1), l.push_back(p - 1);
    v.push_back(1000 + static_cast<double>(i % 7) * 100);
  }
  for (auto* a : {&t, &h, &l, &o, &c, &v}) a->push_back(0);  // the live-bar slot
  chart.SetData(t, h, l, o, c, v);
}

}  // namespace kovo::test
