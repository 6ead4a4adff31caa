#include "charts/zint_finance_chart.h"

#include <algorithm>

namespace kovo {

bool ZintFinanceChart::RegisterName(std::string_view name) {
  name = name.substr(0, kMaxNameLength);
  if (m_entries.size() >= kMaxNames) return false;
  for (const auto& e : m_entries)
    if (e.name == name) return false;
  m_entries.push_back({std::string(name), {}});
  return true;
}

void ZintFinanceChart::AddSeries(std::string_view name, std::span<const double> values) {
  RegisterName(name);
  SetSeriesValues(name, values);
}

void ZintFinanceChart::AddBand(std::string_view name, std::span<const double> upper,
                               std::span<const double> lower) {
  const std::string base(name.substr(0, name.find('(')));
  const std::string high = (base + "-High").substr(0, kMaxNameLength);
  if (!Find(high)) {
    RegisterName(high);
    RegisterName(base + "-Low");
  }
  for (size_t i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].name != high || m_entries[i].name.find("High") == std::string::npos) continue;
    Store(m_entries[i], upper, 0);
    if (i + 1 < m_entries.size()) Store(m_entries[i + 1], lower, 0);
    break;
  }
}

void ZintFinanceChart::SetSeriesValues(std::string_view name, std::span<const double> values,
                                       size_t from) {
  name = name.substr(0, kMaxNameLength);
  for (auto& e : m_entries)
    if (e.name == name) Store(e, values, from);
}

void ZintFinanceChart::Store(Entry& e, std::span<const double> values, size_t from) {
  from = std::min({from, e.values.size(), values.size()});
  e.values.resize(values.size());
  std::copy(values.begin() + static_cast<std::ptrdiff_t>(from), values.end(),
            e.values.begin() + static_cast<std::ptrdiff_t>(from));
}

const std::vector<double>* ZintFinanceChart::Find(std::string_view name) const {
  name = name.substr(0, kMaxNameLength);
  for (const auto& e : m_entries)
    if (e.name == name) return &e.values;
  return nullptr;
}

}  // namespace kovo
