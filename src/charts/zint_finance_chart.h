#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kovo {

// Every named series the finance chart computed, so the data table and the
// crossover list can read indicator values by name.
class ZintFinanceChart {
 public:
  static constexpr size_t kMaxNames = 50;
  static constexpr size_t kMaxNameLength = 49;

  // A name is kept once, cut to 49 characters; false when present or full.
  bool RegisterName(std::string_view name);
  // A line or bar series: register the name, then keep its values.
  void AddSeries(std::string_view name, std::span<const double> values);
  // A band: "<name up to its '('>-High" and "-Low", upper under the High
  // entry and lower under the entry after it.
  void AddBand(std::string_view name, std::span<const double> upper, std::span<const double> lower);
  // Stores the values under every entry of that name; positions before `from` are kept.
  void SetSeriesValues(std::string_view name, std::span<const double> values, size_t from = 0);

  size_t Count() const { return m_entries.size(); }
  const std::string& NameAt(size_t i) const { return m_entries[i].name; }
  // The values stored under a name; null when unknown.
  const std::vector<double>* Find(std::string_view name) const;
  void Clear() { m_entries.clear(); }

 private:
  struct Entry {
    std::string name;
    std::vector<double> values;
  };
  static void Store(Entry& e, std::span<const double> values, size_t from);
  std::vector<Entry> m_entries;
};

}  // namespace kovo
