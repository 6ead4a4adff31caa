#include "charts/chart_template.h"

#include <charconv>
#include <limits>

#include "base/format.h"
#include "base/text.h"
#include "charts/indicator_setting_dlg.h"

namespace kovo {
namespace {

bool IsMacd(std::string_view name) {
  return name == "MACD";
}

// A whole decimal number, blanks around it allowed.
bool ReadInt(std::string_view text, long long low, long long high, long long& out) {
  text = TrimView(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && out >= low && out <= high;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

bool IsStyle(std::string_view s) {
  return s == "Line" || s == "CandleStick" || s == "OHLC";
}

}  // namespace

std::string WriteChartTemplate(const sChartTemplate& tpl) {
  std::string out = Format("%d#%d#%d#", tpl.volumePanel ? 1 : 0, tpl.sarCounter,
                           static_cast<int>(tpl.indicators.size()));
  for (const sTemplateIndicator& i : tpl.indicators) {
    const sIndicatorParams& p = i.params;
    // Texts are appended whole: a byte a file smuggled in must not cut them short.
    out += i.name + Format(" ,%ld ,", static_cast<long>(p.color)) + p.param1 + " ," + p.param2 +
           " ," + p.param3 + " ," + p.param4 + " ";
    if (IsMacd(i.name)) out += "," + (p.maKind.empty() ? std::string("SMA") : p.maKind) + " ";
    if (!MovingAverageKind(i.name).empty()) out += Format(",%d ", p.period);
    out += "#";
  }
  out += Format("%d#", static_cast<int>(tpl.panels.size()));
  for (const std::string& n : tpl.panels) out += n + "#";
  out += Format("%d#", static_cast<int>(tpl.movingAverages.size()));
  for (const std::string& n : tpl.movingAverages) out += n + "#";
  if (!tpl.style.empty()) out += tpl.style + "#";
  return out;
}

bool ReadChartTemplate(std::string_view text, sChartTemplate& out, std::string& error) {
  out = sChartTemplate{};
  if (text.size() > kTemplateMaxBytes) text = text.substr(0, kTemplateMaxBytes);
  const std::vector<std::string_view> f = Split(text, '#');
  size_t at = 0;
  const auto next = [&](std::string_view& field) {
    if (at >= f.size()) return false;
    field = f[at++];
    return true;
  };
  const auto count = [&](const char* what, long long& n) {
    std::string_view field;
    // Every counted entry needs a field of its own.
    if (!next(field) || !ReadInt(field, 0, static_cast<long long>(f.size() - at), n)) {
      error = Format("the %s count is missing or wrong", what);
      return false;
    }
    return true;
  };
  std::string_view field;
  long long volume = 0, sar = 0, n = 0;
  if (!next(field) || !ReadInt(field, 0, 1, volume)) {
    error = "the volume panel flag is missing or wrong";
    return false;
  }
  out.volumePanel = volume == 1;
  if (!next(field) || !ReadInt(field, 0, std::numeric_limits<int>::max(), sar)) {
    error = "the Parabolic Sar counter is missing or wrong";
    return false;
  }
  out.sarCounter = static_cast<int>(sar);
  if (!count("indicator", n)) return false;
  for (long long k = 0; k < n; ++k) {
    next(field);
    const std::vector<std::string_view> parts = Split(field, ',');
    if (parts.size() < 6) {
      error = Format("indicator record %d has too few fields", static_cast<int>(k + 1));
      return false;
    }
    sTemplateIndicator ind;
    ind.name = Trim(parts[0]);
    if (!FindIndicator(ind.name)) {
      error = Format("indicator record %d names no indicator this chart knows",
                     static_cast<int>(k + 1));
      return false;
    }
    long long color = 0;
    if (!ReadInt(parts[1], 0, 0xFFFFFF, color)) {
      error = Format("indicator record %d has no colour", static_cast<int>(k + 1));
      return false;
    }
    ind.params.color = static_cast<uint32_t>(color);
    ind.params.param1 = Trim(parts[2]);
    ind.params.param2 = Trim(parts[3]);
    ind.params.param3 = Trim(parts[4]);
    ind.params.param4 = Trim(parts[5]);
    if (IsMacd(ind.name)) {
      const std::string kind = parts.size() > 6 ? Trim(parts[6]) : std::string();
      if (kind != "SMA" && kind != "EMA" && kind != "TMA" && kind != "WMA") {
        error = "a MACD record has no moving-average kind";
        return false;
      }
      ind.params.maKind = kind;
    } else if (!MovingAverageKind(ind.name).empty()) {
      ind.params.period = parts.size() > 6 ? CFIndicatorSettingDlg::ReadPeriod(parts[6]) : 0;
    }
    out.indicators.push_back(std::move(ind));
  }
  for (auto* list : {&out.panels, &out.movingAverages}) {
    if (!count(list == &out.panels ? "panel" : "moving average", n)) return false;
    for (long long k = 0; k < n; ++k) {
      next(field);
      list->emplace_back(Trim(field));
    }
  }
  if (next(field) && IsStyle(TrimView(field))) out.style = Trim(field);
  return true;
}

}  // namespace kovo
