// The list hot paths: rows added one at a time at the top, filtering and
// sorting a million rows through the owner's text callback.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "platform/dialogs.h"
#include "platform/settings.h"
#include "ui/filter_list_ctrl.h"

namespace {

using kovo::CFilterListCtrl;
using kovo::ItemData;
using kovo::sCellInfo;

constexpr int kRows = 1'000'000;

struct Record {
  char symbol[12];
  char qty[12];
  char price[16];
};

// Rows like a market list's: symbols of a few hundred scrips, quantities, prices.
const std::vector<Record>& Records() {
  static const std::vector<Record> records = [] {
    std::vector<Record> r(kRows);
    for (int i = 0; i < kRows; ++i) {
      const unsigned h = static_cast<unsigned>(i) * 2654435761u;
      std::snprintf(r[i].symbol, sizeof r[i].symbol, "SYM%03u", h % 500);
      std::snprintf(r[i].qty, sizeof r[i].qty, "%u", (h >> 9) % 5000);
      std::snprintf(r[i].price, sizeof r[i].price, "%u.%02u", (h >> 5) % 20000, h % 100);
    }
    return r;
  }();
  return records;
}

// No message box may appear while measuring; each answers OK.
struct QuietDialogs final : kovo::Dialogs {
  int MessageBox(std::string_view, std::string_view, unsigned) override { return kovo::kIdOk; }
  void MessageBeep(unsigned) override {}
  bool ChooseColor(uint32_t&) override { return false; }
  bool ChooseFont(kovo::FontChoice&) override { return false; }
  bool ChooseOpenFile(std::string_view, std::string_view, std::string&) override { return false; }
  bool ChooseSaveFile(std::string_view, std::string_view, std::string&) override { return false; }
};

struct Fixture {
  QuietDialogs dialogs;
  kovo::CSettingsFiles settings{kovo::SettingsPaths{"/nonexistent", "/nonexistent", "bench"}};
  CFilterListCtrl list{{dialogs, settings, nullptr, {}, {}}, "Bench List"};

  Fixture() {
    list.SetColumns({{"Symbol", 80, kovo::kFormatLeft, kovo::kSortTextNoCase},
                     {"Qty", 60, kovo::kFormatRight, kovo::kSortInt},
                     {"Price", 70, kovo::kFormatRight, kovo::kSortDouble}});
    list.SetTextCallback([](void*, ItemData data, int column, sCellInfo& cell) {
      const Record& r = Records()[data];
      cell.text = column == 0 ? r.symbol : column == 1 ? r.qty : r.price;
      return true;
    });
    list.EnableFilterHeader(true);
  }
  void Fill(int rows) {
    for (int i = 0; i < rows; ++i) list.InsertItem(list.RowCount(), static_cast<ItemData>(i));
  }
};

// Windows add each new row at the top.
void BM_InsertAtTop(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Records();
  for (auto _ : state) {
    Fixture f;
    for (int i = 0; i < rows; ++i) f.list.InsertItem(0, static_cast<ItemData>(i));
    benchmark::DoNotOptimize(f.list.ItemCount());
    state.PauseTiming();
    f.list.DeleteAllItems();
    state.ResumeTiming();
  }
  state.SetComplexityN(rows);
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_InsertAtTop)
    ->Arg(kRows / 8)
    ->Arg(kRows / 4)
    ->Arg(kRows / 2)
    ->Arg(kRows)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// The same with a filter on, so every new row is tested as it arrives.
void BM_InsertAtTopFiltered(benchmark::State& state) {
  for (auto _ : state) {
    Fixture f;
    f.list.SetFilter(0, "sym1", false);
    for (int i = 0; i < kRows; ++i) f.list.InsertItem(0, static_cast<ItemData>(i));
    benchmark::DoNotOptimize(f.list.ItemCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_InsertAtTopFiltered)->Unit(benchmark::kMillisecond);

void BM_FilterTwoColumns(benchmark::State& state) {
  Fixture f;
  f.Fill(kRows);
  f.list.SetFilter(0, "sym1~sym2", false);
  f.list.SetFilter(2, ">5000", false);
  for (auto _ : state) {
    f.list.ApplyFilters();
    benchmark::DoNotOptimize(f.list.ItemCount());
  }
  state.counters["visible"] = f.list.ItemCount();
}
BENCHMARK(BM_FilterTwoColumns)->Unit(benchmark::kMillisecond);

// Each iteration is a full sort of `rows` rows: the direction flips on every
// click. Wall time, as the user waits for it.
void BM_Sort(benchmark::State& state) {
  Fixture f;
  const int column = static_cast<int>(state.range(0));
  const int rows = static_cast<int>(state.range(1));
  f.Fill(rows);
  for (auto _ : state) {
    f.list.OnHeaderClick(column);
    benchmark::DoNotOptimize(f.list.GetItemData(0));
  }
  state.SetComplexityN(rows);
}
BENCHMARK(BM_Sort)
    ->ArgNames({"column", "rows"})
    ->ArgsProduct({{0, 1, 2}, {kRows / 10, kRows}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
