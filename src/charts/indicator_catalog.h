#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "charts/finance/indicators.h"

namespace kovo {

// Per indicator name what the chart keeps (texts as the user typed them).
struct sIndicatorParams {
  std::string param1, param2, param3, param4;
  std::string maKind;         // MACD's moving-average kind: "SMA", "EMA", "TMA" or "WMA"
  uint32_t color = 0xFF0000;  // 0xRRGGBB
  int period = 0;             // moving averages
};

enum class IndicatorPlace { kOverlay, kPanel };

struct sIndicatorInfo {
  const char* name;  // menu and list name
  int commandId;     // 0 when the name has no menu command
  finance::IndicatorFn fn;
  IndicatorPlace place;
  finance::Options defaults;  // used for parameters left empty
};

inline constexpr int kFirstIndicatorCommand = 3432;
inline constexpr int kLastIndicatorCommand = 3466;
inline constexpr int kMovingAverageCommand = 3466;
inline constexpr const char* kParabolicSarName = "Parabolic Sar";

// Every indicator name the chart knows, in menu order.
const std::vector<sIndicatorInfo>& IndicatorCatalog();
// By list name; "Parabolic Sar:3" finds "Parabolic Sar", "SMA:20" the moving average.
const sIndicatorInfo* FindIndicator(std::string_view name);
const sIndicatorInfo* FindIndicatorByCommand(int commandId);

// "SMA", "EMA", "TMA", "WMA" for a moving-average name ("SMA:20" or "SMA"); empty otherwise.
std::string_view MovingAverageKind(std::string_view name);
finance::IndicatorFn MovingAverageFn(std::string_view kind);

// The operation's options from the stored texts; empty or unreadable texts
// keep the default. Parabolic SAR boxes are in hundredths (2 = 0.02).
finance::Options OptionsFor(const sIndicatorInfo& info, std::string_view name,
                            const sIndicatorParams& params);

}  // namespace kovo
