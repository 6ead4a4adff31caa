#pragma once

#include <cstdint>

#include "platform/settings.h"

namespace kovo {

inline constexpr const char* kChartSettingSection = "CHART_SETTING";
inline constexpr const char* kChartSettingsFile = "zintsettings.ini";

// The chart look shared by every chart window; colours 0xRRGGBB.
struct sChartSettings {
  uint32_t foreColor = 0xFFFFFF;
  uint32_t backColor = 0x000000;
  uint32_t gridColor = 0x4B4B4B;
  uint32_t upTickColor = 0x00D900;
  uint32_t downTickColor = 0xDF0000;
  uint32_t customOneColor = 0x804000;
  uint32_t customTwoColor = 0xFFFDD2;
  uint32_t customVolumeColor = 0xFF8000;
  uint32_t trendLineColor = 0xFF8000;
  uint32_t outlineUpColor = 0x000000;
  bool panelBorder = true;  // legend that follows the mouse
  bool leftAlign = false;
  bool semiLog = false;
  bool linearScale = true;
  bool showXGrid = true;
  bool showYGrid = true;
  bool tooltipAlways = true;
  int noOfDays = 22;
};

// Reads the "CHART_SETTING" keys of the per-user settings file; a missing
// key keeps its default.
sChartSettings LoadChartSettings(const CSettingsFiles& files);

}  // namespace kovo
