#include "charts/indicator_setting_dlg.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <utility>

#include "base/format.h"
#include "base/text.h"

namespace kovo {
namespace {

constexpr const char* kTemplateLabels[4] = {"Period 1", "Period 2", "Period 3", "Range"};

using Shown = std::vector<std::pair<const char*, const char*>>;  // label, default

// The boxes each indicator takes, in box order; a range goes to the fourth box.
Shown BoxesFor(std::string_view n) {
  auto is = [&](std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), n) != names.end();
  };
  if (is({"Aroon Oscillator", "Avg Directional Index", "Avg True Range", "RSI", "Aroon"}))
    return {{"Periods", "14"}};
  if (n == "Aroon Up/Down") return {{"Periods", ""}};
  if (n == "Bollinger Band") return {{"Periods", "20"}, {"Deviation", "2"}};
  if (n == "Bollinger Band Width") return {{"Periods", "20"}, {"Width", "2"}};
  if (n == "Chaikin Money Flow") return {{"Periods", "21"}};
  if (n == "Chaikin Volatility") return {{"Period1", "10"}, {"Period2", "10"}};
  if (n == "Commodity Channel Index") return {{"Period1", "20"}, {"Period2", "100"}};
  if (is({"Detrended Price Osc", "Donchian Channel Width", "DCW", "Donchain Channel", "Envelop"}))
    return {{"Periods", "20"}};
  if (n == "Ease of Movement") return {{"Periods", "9"}};
  if (is({"Fast Stochastic", "Slow Stochastic"})) return {{"Period1", "14"}, {"Period2", "3"}};
  if (n == "MACD") return {{"Period1", "26"}, {"Period2", "12"}, {"Period3", "9"}};
  if (is({"Momentum", "Rate of Change", "TRIX"})) return {{"Periods", "12"}};
  if (n == "Money Flow Index")
    return {{"Periods", "12"}, {nullptr, nullptr}, {nullptr, nullptr}, {"Range", "30"}};
  if (is({"Neg Volume Index", "Pos Volume Index"})) return {{"Periods", "255"}};
  if (n == "% Price Oscillator") return {{"Periods1", "26"}, {"Periods2", "12"}, {"Periods3", "9"}};
  if (n == "% Volume Oscillator") return {{"Period1", "26"}, {"Period2", "12"}, {"Period3", "9"}};
  if (n == "StochRSI")
    return {{"Periods", "14"}, {nullptr, nullptr}, {nullptr, nullptr}, {"Range", "20"}};
  if (n == "Ultimate Oscillator")
    return {{"Period1", "7"}, {"Period2", "14"}, {"Period3", "28"}, {"Range", "20"}};
  if (n == "William's %R")
    return {{"Periods", ""}, {nullptr, nullptr}, {nullptr, nullptr}, {"Range", ""}};
  if (n == kParabolicSarName)
    return {{nullptr, nullptr}, {nullptr, nullptr}, {nullptr, nullptr}, {"Range", ""}};
  return {};
}

}  // namespace

CFIndicatorSettingDlg::CFIndicatorSettingDlg(FChartCtrl& chart, Dialogs& dialogs)
    : m_chart(chart), m_dialogs(dialogs) {
  for (const auto& info : IndicatorCatalog()) {
    const std::string_view name = info.name;
    if (name != "Aroon" && name != "DCW") m_names.emplace_back(name);
  }
  SelectIndex(-1);
}

void CFIndicatorSettingDlg::SelectIndex(int index) {
  m_selected = index >= 0 && index < static_cast<int>(m_names.size()) ? index : -1;
  for (size_t i = 0; i < 4; ++i) m_boxes[i] = {false, kTemplateLabels[i], ""};
  m_kindVisible = m_periodVisible = m_sarVisible = false;
  if (m_selected < 0) return;
  const std::string& name = m_names[static_cast<size_t>(m_selected)];
  const Shown shown = BoxesFor(name);
  for (size_t i = 0; i < shown.size() && i < 4; ++i)
    if (shown[i].first) m_boxes[i] = {true, shown[i].first, shown[i].second};
  if (name == "MACD" || name == "Moving Average") {
    m_kindVisible = true;
    m_kind = 0;
  }
  if (name == "Moving Average") {
    m_periodVisible = true;
    m_period = "20";
  }
  if (name == kParabolicSarName) {
    m_sarVisible = true;
    m_sar = {"2", "2", "2"};
  }
}

bool CFIndicatorSettingDlg::Select(std::string_view name) {
  auto it = std::find(m_names.begin(), m_names.end(), name);
  SelectIndex(it == m_names.end() ? -1 : static_cast<int>(it - m_names.begin()));
  return m_selected >= 0;
}

void CFIndicatorSettingDlg::SetBoxText(size_t i, std::string text) {
  if (i < m_boxes.size()) m_boxes[i].text = std::move(text);
}

void CFIndicatorSettingDlg::SetKindIndex(int index) {
  if (index >= 0 && index < static_cast<int>(m_kinds.size())) m_kind = index;
}

void CFIndicatorSettingDlg::SetSarText(size_t i, std::string text) {
  if (i < m_sar.size()) m_sar[i] = std::move(text);
}

void CFIndicatorSettingDlg::OnColorButton() {
  // The colour dialog speaks blue-green-red.
  auto swap = [](uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); };
  uint32_t bgr = swap(m_color);
  if (m_dialogs.ChooseColor(bgr)) m_color = swap(bgr) & 0xFFFFFFu;
}

std::string CFIndicatorSettingDlg::ShortKind(std::string_view kind) {
  if (kind == "Simple") return "SMA";
  if (kind == "Exponential") return "EMA";
  if (kind == "Triangular") return "TMA";
  if (kind == "Weighted") return "WMA";
  return std::string(kind);
}

int CFIndicatorSettingDlg::ReadPeriod(std::string_view text) {
  text = TrimView(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && text[0] == '0') {
    base = 8;
  }
  long long value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (r.ec == std::errc::result_out_of_range) value = LLONG_MAX;
  if (negative) value = -value;
  return static_cast<int>(std::clamp(value, 0LL, 300LL));
}

bool CFIndicatorSettingDlg::OnOK() {
  if (m_selected < 0) return false;
  const std::string kind = ShortKind(m_kinds[static_cast<size_t>(m_kind)]);
  std::string name = m_names[static_cast<size_t>(m_selected)];
  sIndicatorParams params;
  params.color = m_color;
  if (name == "Moving Average") {
    // Each moving average is listed by its kind and period, so several coexist.
    params.period = ReadPeriod(m_period);
    name = Format("%s:%d", kind.c_str(), params.period);
  } else {
    if (name == kParabolicSarName)
      name = Format("%s:%d", kParabolicSarName, m_chart.NextSarCounter());
    std::string* out[4] = {&params.param1, &params.param2, &params.param3, &params.param4};
    for (size_t i = 0; i < 3; ++i) {
      const std::string& text = m_sarVisible ? m_sar[i] : m_boxes[i].text;
      if (!TrimView(text).empty()) *out[i] = text;
    }
    if (!TrimView(m_boxes[3].text).empty()) params.param4 = m_boxes[3].text;
    if (name == "MACD") params.maKind = kind;
  }
  m_chart.AddIndicator(name, params);
  m_closed = true;
  return true;
}

}  // namespace kovo
