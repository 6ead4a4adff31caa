#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/list_types.h"

namespace kovo {

// Where the market monitor keeps its message types and their looks.
inline constexpr const char* kMonitorSection = "ZINT_MKT_MONITOR";
inline constexpr const char* kMonitorMessageKey = "MKT_MONITOR_MESSAGE";
inline constexpr const char* kMonitorPropsKey = "MKT_MONITOR_MSG_PROPS";
inline constexpr const char* kFactorySettingsFile = "FactorySetting.ini";

// Colour and check of one message type, as a props entry holds them.
struct sMonitorTypeProps {
  ColorRef colour = 0;
  bool checked = false;
  bool operator==(const sMonitorTypeProps&) const = default;
};

// The items of a list in which each item is followed by the separator; the
// text after the last separator is not an item.
std::vector<std::string> SplitTerminated(std::string_view text, std::string_view separator);

// One props entry: the colour in decimal, "$$", the checked flag, "$$".
sMonitorTypeProps ParseTypeProps(std::string_view entry);
std::string FormatTypeProps(const sMonitorTypeProps& props);

// Both keys' values: the type names and the props entries, each followed by ",".
struct sMonitorSettings {
  std::vector<std::string> types;
  std::vector<sMonitorTypeProps> props;
};
sMonitorSettings ParseMonitorSettings(std::string_view messages, std::string_view props);
std::string FormatMonitorMessages(const std::vector<std::string>& types);
std::string FormatMonitorProps(const std::vector<sMonitorTypeProps>& props);

}  // namespace kovo
