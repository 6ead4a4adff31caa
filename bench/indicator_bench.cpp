// Indicator kernels: a full computation over 1,000,000 bars against a plain
// reference implementation (Tulip Indicators, built from the npm package when
// it could be fetched), and the tail recompute a new bar at 100,000 bars costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "charts/finance/indicators.h"

#ifdef KOVO_HAVE_TULIP
extern "C" {
#include "indicators.h"
}
#endif

namespace {

using namespace kovo::finance;

constexpr size_t kFullBars = 1'000'000;
constexpr size_t kTailBars = 100'000;

struct Bars {
  std::vector<double> h, l, o, c, v;
  Inputs In() const { return Inputs{h, l, o, c, v, 0}; }
};

Bars RandomWalk(size_t n) {
  Bars b;
  for (auto* a : {&b.h, &b.l, &b.o, &b.c, &b.v}) a->reserve(n + 1);
  std::mt19937 gen(42);
  std::uniform_real_distribution<double> step(-1, 1), spread(0, 1);
  double p = 1000;
  for (size_t i = 0; i < n; ++i) {
    p = std::max(10.0, p + step(gen));
    const double c = p + step(gen);
    b.o.push_back(p), b.c.push_back(c);
    b.h.push_back(std::max(p, c) + spread(gen)), b.l.push_back(std::min(p, c) - spread(gen));
    b.v.push_back(std::floor(100 * (1 + spread(gen))));
  }
  return b;
}

const Bars& Full() {
  static const Bars b = RandomWalk(kFullBars);
  return b;
}

struct Kernel {
  const char* name;  // the reference's name for it
  IndicatorFn fn;
  Options opt;
  std::vector<double> tulipOpt;
  // ns/bar of the reference on the development machine (2-core AMD EPYC VM,
  // GCC 12 -O3), for when it cannot be built.
  double recordedTulip;
};

Options Opt(double a, double b = 0, double c = 0) {
  return Options{{a, b, c, 0}};
}

const std::vector<Kernel>& Kernels() {
  static const std::vector<Kernel> k = {
      {"sma", Sma, Opt(20), {20}, 1.67},
      {"ema", Ema, Opt(20), {20}, 2.51},
      {"rsi", Rsi, Opt(14), {14}, 5.9},
      {"bbands", BollingerBand, Opt(20, 2), {20, 2}, 2.55},
      {"macd", Macd, Opt(26, 12, 9), {12, 26, 9}, 2.78},
      {"adx", Adx, Opt(14), {14}, 10.3},
      {"atr", Atr, Opt(14), {14}, 2.52},
      {"stoch", SlowStochastic, Opt(14, 3), {14, 3, 3}, 12.3},
      {"willr", WilliamR, Opt(14), {14}, 9.2},
      {"obv", OnBalanceVolume, {}, {}, 4.8},
  };
  return k;
}

void BM_Project(benchmark::State& state, const Kernel* k) {
  const Bars& b = Full();
  const Inputs in = b.In();
  Outputs out;
  k->fn(in, k->opt, out, 0);
  for (auto _ : state) {
    k->fn(in, k->opt, out, 0);
    benchmark::DoNotOptimize(out.lines.back().values.data());
    benchmark::ClobberMemory();
  }
}

#ifdef KOVO_HAVE_TULIP
void BM_Tulip(benchmark::State& state, const Kernel* k) {
  const Bars& b = Full();
  const ti_indicator_info* info = ti_find_indicator(k->name);
  if (!info) {
    state.SkipWithError("no such reference indicator");
    return;
  }
  std::vector<const double*> inputs;
  for (int i = 0; i < info->inputs; ++i) {
    const std::string in = info->input_names[i];
    inputs.push_back(in == "high"     ? b.h.data()
                     : in == "low"    ? b.l.data()
                     : in == "volume" ? b.v.data()
                                      : b.c.data());
  }
  std::vector<std::vector<double>> outs(static_cast<size_t>(info->outputs),
                                        std::vector<double>(kFullBars));
  std::vector<double*> outPtr;
  for (auto& o : outs) outPtr.push_back(o.data());
  for (auto _ : state) {
    if (info->indicator(static_cast<int>(kFullBars), inputs.data(), k->tulipOpt.data(),
                        outPtr.data()) != TI_OKAY) {
      state.SkipWithError("reference indicator failed");
      return;
    }
    benchmark::DoNotOptimize(outPtr.back());
    benchmark::ClobberMemory();
  }
}
#endif

// One new bar at 100,000 bars: every kernel recomputes only its tail.
void TailRecompute(benchmark::State& state, const std::vector<IndicatorFn>& fns,
                   const std::vector<Options>& opts) {
  Bars b = RandomWalk(kTailBars);
  std::vector<Outputs> outs(fns.size());
  for (size_t i = 0; i < fns.size(); ++i) fns[i](b.In(), opts[i], outs[i], 0);
  const double last = b.c.back();
  b.h.push_back(last + 1), b.l.push_back(last - 1), b.o.push_back(last);
  b.c.push_back(last), b.v.push_back(150);
  double step = 0.25;
  for (auto _ : state) {
    step = -step;
    b.c.back() = last + step;
    const Inputs in = b.In();
    for (size_t i = 0; i < fns.size(); ++i) fns[i](in, opts[i], outs[i], kTailBars);
    benchmark::ClobberMemory();
  }
}

void BM_TailTableKernels(benchmark::State& state) {
  std::vector<IndicatorFn> fns;
  std::vector<Options> opts;
  for (const Kernel& k : Kernels()) fns.push_back(k.fn), opts.push_back(k.opt);
  TailRecompute(state, fns, opts);
}

void BM_TailEveryIndicator(benchmark::State& state) {
  const std::vector<std::pair<IndicatorFn, Options>> all = {
      {ClosingPrice, {}},
      {TypicalPrice, {}},
      {WeightedClose, {}},
      {MedianPrice, {}},
      {Sma, Opt(20)},
      {Ema, Opt(20)},
      {Tma, Opt(20)},
      {Wma, Opt(20)},
      {BollingerBand, Opt(20, 2)},
      {DonchianChannel, Opt(20)},
      {Envelop, Opt(20, 0.1)},
      {ParabolicSar, Opt(0.02, 0.02, 0.2)},
      {AccDist, {}},
      {Aroon, Opt(14)},
      {AroonOsc, Opt(14)},
      {Adx, Opt(14)},
      {Atr, Opt(14)},
      {BollingerWidth, Opt(20, 2)},
      {ChaikinMoneyFlow, Opt(21)},
      {ChaikinOscillator, {}},
      {ChaikinVolatility, Opt(10, 10)},
      {CloseLocationValue, {}},
      {Cci, Opt(20, 100)},
      {DonchianWidth, Opt(20)},
      {Dpo, Opt(20)},
      {EaseOfMovement, Opt(9)},
      {FastStochastic, Opt(14, 3)},
      {SlowStochastic, Opt(14, 3)},
      {Macd, Opt(26, 12, 9)},
      {MassIndex, {}},
      {MoneyFlowIndex, Opt(14, 30)},
      {Momentum, Opt(12)},
      {NegVolumeIndex, Opt(255)},
      {PosVolumeIndex, Opt(255)},
      {OnBalanceVolume, {}},
      {Performance, {}},
      {PriceOscillator, Opt(26, 12, 9)},
      {VolumeOscillator, Opt(26, 12, 9)},
      {PriceVolumeTrend, {}},
      {RateOfChange, Opt(12)},
      {Rsi, Opt(14)},
      {StochRsi, Opt(14)},
      {Trix, Opt(12)},
      {UltimateOscillator, Opt(7, 14, 28)},
      {WilliamR, Opt(14)},
  };
  std::vector<IndicatorFn> fns;
  std::vector<Options> opts;
  for (const auto& [fn, opt] : all) fns.push_back(fn), opts.push_back(opt);
  TailRecompute(state, fns, opts);
}

// Keeps each benchmark's least CPU time per iteration over its repetitions for
// the closing table: the machine is shared, and that is what a busy neighbour
// disturbs least.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const double t = r.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      const auto [it, fresh] = ns.emplace(r.run_name.function_name, t);
      if (!fresh) it->second = std::min(it->second, t);
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (const Kernel& k : Kernels()) {
    benchmark::RegisterBenchmark((std::string("Full/project/") + k.name).c_str(), BM_Project, &k)
        ->Unit(benchmark::kMillisecond);
#ifdef KOVO_HAVE_TULIP
    benchmark::RegisterBenchmark((std::string("Full/tulip/") + k.name).c_str(), BM_Tulip, &k)
        ->Unit(benchmark::kMillisecond);
#endif
  }
  benchmark::RegisterBenchmark("Tail/table_kernels", BM_TailTableKernels)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Tail/every_indicator", BM_TailEveryIndicator)
      ->Unit(benchmark::kMicrosecond);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& ns = reporter.ns;
#ifdef KOVO_HAVE_TULIP
  std::printf("\nKernels over %zu bars against Tulip Indicators built here:\n", kFullBars);
#else
#ifdef KOVO_TULIP_UNREACHABLE
  std::printf("\nTulip Indicators could not be fetched (npm did not reach its registry).\n");
#else
  std::printf("\nTulip Indicators is not built (configure with -DKOVO_BENCH_TULIP=ON).\n");
#endif
  std::printf(
      "The tulip column holds timings recorded on the development machine, so the ratios\n"
      "are only indicative.\n");
#endif
  std::printf("%-8s %14s %14s %8s\n", "kernel", "project ns/bar", "tulip ns/bar", "ratio");
  double worst = 0;
  for (const Kernel& k : Kernels()) {
    const auto p = ns.find(std::string("Full/project/") + k.name);
    if (p == ns.end()) continue;
    double tulip = k.recordedTulip;
#ifdef KOVO_HAVE_TULIP
    const auto t = ns.find(std::string("Full/tulip/") + k.name);
    if (t == ns.end()) continue;
    tulip = t->second / static_cast<double>(kFullBars);
#endif
    const double project = p->second / static_cast<double>(kFullBars);
    worst = std::max(worst, project / tulip);
    std::printf("%-8s %14.2f %14.2f %7.2fx\n", k.name, project, tulip, project / tulip);
  }
  if (worst > 0) std::printf("worst ratio %.2fx\n", worst);
  for (const char* tail : {"Tail/table_kernels", "Tail/every_indicator"}) {
    const auto t = ns.find(tail);
    if (t != ns.end())
      std::printf("%-22s %8.2f us for one new bar at %zu bars\n", tail, t->second / 1000.0,
                  kTailBars);
  }
  return 0;
}
