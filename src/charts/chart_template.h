#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "charts/indicator_catalog.h"

namespace kovo {

inline constexpr const char* kTemplateFilter = "KovoChart Template Files (*.kcdx)|*.kcdx||";
inline constexpr const char* kTemplateDefaultName = "Template";
inline constexpr const char* kDefTemplateSection = "KOVO_CHART_DEF_TEMPLATE";
inline constexpr const char* kDefTemplateKey = "PATH";
inline constexpr const char* kDefTemplateNotFound = "Not Found";
inline constexpr size_t kTemplateMaxBytes = 16384;

struct sTemplateIndicator {
  std::string name;
  sIndicatorParams params;
};

// What a template keeps of one chart.
struct sChartTemplate {
  bool volumePanel = true;
  int sarCounter = 0;
  std::vector<sTemplateIndicator> indicators;
  std::vector<std::string> panels;          // indicators drawn in panels of their own
  std::vector<std::string> movingAverages;  // "SMA:20" ...
  // Empty in files written before the style was kept: the chart keeps its own.
  std::string style;
};

// The one line of a template file, "#"-separated; the style is the last field.
std::string WriteChartTemplate(const sChartTemplate& tpl);
// Reads at most kTemplateMaxBytes. False with a reason when the text is not a
// whole template; `out` then holds what was read before the fault.
bool ReadChartTemplate(std::string_view text, sChartTemplate& out, std::string& error);

}  // namespace kovo
