// Chart redraw costs: the display list over a long series with indicators,
// and the tail recompute a live-bar tick causes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include "charts/fchart_ctrl.h"
#include "platform/dialogs.h"

namespace {

using namespace kovo;

class NoDialogs final : public Dialogs {
 public:
  int MessageBox(std::string_view, std::string_view, unsigned) override { return kIdOk; }
  void MessageBeep(unsigned) override {}
  bool ChooseColor(uint32_t&) override { return false; }
  bool ChooseFont(FontChoice&) override { return false; }
  bool ChooseOpenFile(std::string_view, std::string_view, std::string&) override { return false; }
  bool ChooseSaveFile(std::string_view, std::string_view, std::string&) override { return false; }
};

constexpr size_t kBars = 100'000;
constexpr double kVisible = 500;

struct Series {
  std::vector<double> t, h, l, o, c, v;
};

Series MakeSeries() {
  Series s;
  std::mt19937 gen(42);
  std::uniform_real_distribution<double> step(-1, 1), spread(0, 1);
  double p = 1000;
  for (size_t i = 0; i < kBars; ++i) {
    p = std::max(10.0, p + step(gen));
    const double c = p + step(gen);
    s.t.push_back(63'900'868'500.0 + 60.0 * static_cast<double>(i));
    s.o.push_back(p), s.c.push_back(c);
    s.h.push_back(std::max(p, c) + spread(gen)), s.l.push_back(std::min(p, c) - spread(gen));
    s.v.push_back(std::floor(1e5 * (1 + spread(gen))));
  }
  for (auto* a : {&s.t, &s.h, &s.l, &s.o, &s.c, &s.v}) a->push_back(0);
  return s;
}

struct Chart {
  NoDialogs dialogs;
  CSettingsFiles files{SettingsPaths{std::filesystem::temp_directory_path() / "kovo-chart-bench",
                                     std::filesystem::temp_directory_path() / "kovo-chart-bench",
                                     "none"}};
  FChartCtrl ctrl{files, dialogs};
  Series s = MakeSeries();

  Chart() {
    ctrl.SetPaneSize(1282, 815);
    Load();
    // Five indicators: two overlays and three panels.
    ctrl.AddIndicator("SMA:20", sIndicatorParams{"", "", "", "", "", 0xFFFF00, 20});
    ctrl.AddIndicator("Bollinger Band", {});
    ctrl.AddIndicatorByCommand(3458);  // RSI
    ctrl.AddIndicatorByCommand(3446);  // MACD
    ctrl.AddIndicatorByCommand(3435);  // ADX
    const double width = kVisible / static_cast<double>(kBars);
    ctrl.SetViewPort(1.0 - width, width);
  }
  void Load() { ctrl.SetData(s.t, s.h, s.l, s.o, s.c, s.v); }
};

// A redraw: series already computed, only the visible range is laid out.
void BM_DisplayList(benchmark::State& state) {
  Chart chart;
  chart.ctrl.BuildDisplayList();
  for (auto _ : state) {
    const DisplayList& dl = chart.ctrl.BuildDisplayList();
    benchmark::DoNotOptimize(dl.items.data());
  }
}
BENCHMARK(BM_DisplayList)->Unit(benchmark::kMillisecond);

// New data: every series of the five indicators computed over all bars, then drawn.
void BM_DisplayListAfterNewData(benchmark::State& state) {
  Chart chart;
  for (auto _ : state) {
    state.PauseTiming();
    chart.Load();
    state.ResumeTiming();
    const DisplayList& dl = chart.ctrl.BuildDisplayList();
    benchmark::DoNotOptimize(dl.items.data());
  }
}
BENCHMARK(BM_DisplayListAfterNewData)->Unit(benchmark::kMillisecond);

// A tick on the live bar: the tail of each series recomputed, then drawn.
void BM_TickThenDisplayList(benchmark::State& state) {
  Chart chart;
  chart.ctrl.UpdateBar(kBars, {chart.s.t[kBars - 1] + 60, 1001, 999, 1000, 1000, 10});
  chart.ctrl.BuildDisplayList();
  double price = 1000;
  for (auto _ : state) {
    price = price > 1005 ? 995 : price + 0.05;
    chart.ctrl.UpdateBar(kBars, {chart.s.t[kBars - 1] + 60, 1006, 994, 1000, price, 10});
    const DisplayList& dl = chart.ctrl.BuildDisplayList();
    benchmark::DoNotOptimize(dl.items.data());
  }
}
BENCHMARK(BM_TickThenDisplayList)->Unit(benchmark::kMicrosecond);

// The tail recompute alone (registry refreshed, nothing drawn).
void BM_TickTailRecompute(benchmark::State& state) {
  Chart chart;
  chart.ctrl.UpdateBar(kBars, {chart.s.t[kBars - 1] + 60, 1001, 999, 1000, 1000, 10});
  chart.ctrl.FullChart();
  double price = 1000;
  for (auto _ : state) {
    price = price > 1005 ? 995 : price + 0.05;
    chart.ctrl.UpdateBar(kBars, {chart.s.t[kBars - 1] + 60, 1006, 994, 1000, price, 10});
    benchmark::DoNotOptimize(&chart.ctrl.FullChart());
  }
}
BENCHMARK(BM_TickTailRecompute)->Unit(benchmark::kMicrosecond);

}  // namespace
