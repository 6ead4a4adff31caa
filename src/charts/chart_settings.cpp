#include "charts/chart_settings.h"

#include <string>

#include "base/number.h"
#include "base/text.h"

namespace kovo {

sChartSettings LoadChartSettings(const CSettingsFiles& files) {
  sChartSettings s;
  auto read = [&](const char* key, std::string& value) {
    return files.Read(kChartSettingSection, key, value, kChartSettingsFile,
                      SettingsLocation::kUserFolder) == 1;
  };
  auto color = [&](const char* key, uint32_t& out) {
    std::string v;
    if (read(key, v) && !TrimView(v).empty())
      out = static_cast<uint32_t>(LeadingInt64(v)) & 0xFFFFFFu;
  };
  auto flag = [&](const char* key, bool& out) {
    std::string v;
    if (read(key, v)) out = TrimView(v) == "TRUE";
  };
  color("FORE_COLOR", s.foreColor);
  color("BACK_COLOR", s.backColor);
  color("GRID_COLOR", s.gridColor);
  color("UP_TICK_COLOR", s.upTickColor);
  color("DOWN_TICK_COLOR", s.downTickColor);
  color("CUSTOM_ONE_COLOR", s.customOneColor);
  color("CUSTOM_TWO_COLOR", s.customTwoColor);
  color("CUSTOM_VOLUME_COLOR", s.customVolumeColor);
  color("TREND_LINE_COLOR", s.trendLineColor);
  color("OUTLINE_UP_COLOR", s.outlineUpColor);
  flag("PANEL_BORDER_CHECK", s.panelBorder);
  flag("LEFT_ALGN_CHECK", s.leftAlign);
  flag("SEMI_LOG_CHECK", s.semiLog);
  flag("LINEARSCALE_CHECK", s.linearScale);
  flag("SHOW_XGRID", s.showXGrid);
  flag("SHOW_YGRID", s.showYGrid);
  std::string v;
  // Only an explicit "FALSE" turns the tooltip off.
  if (read("SHOW_TOOLTIP_ALWAYS", v)) s.tooltipAlways = TrimView(v) != "FALSE";
  if (read("NO_OF_DAYS", v) && !TrimView(v).empty()) s.noOfDays = LeadingInt32(v);
  return s;
}

}  // namespace kovo
