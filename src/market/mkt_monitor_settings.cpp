#include "market/mkt_monitor_settings.h"

#include <cstdint>

#include "base/number.h"

namespace kovo {

std::vector<std::string> SplitTerminated(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  if (separator.empty()) return items;
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, start)) {
    items.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  return items;
}

sMonitorTypeProps ParseTypeProps(std::string_view entry) {
  const std::vector<std::string> items = SplitTerminated(entry, "$$");
  sMonitorTypeProps props;
  // Colours are 24-bit; whatever a hand-edited file holds is cut to 32 bits.
  if (!items.empty()) props.colour = static_cast<ColorRef>(LeadingInt64(items[0]));
  if (items.size() > 1) props.checked = LeadingInt64(items[1]) != 0;
  return props;
}

std::string FormatTypeProps(const sMonitorTypeProps& props) {
  return std::to_string(props.colour) + "$$" + (props.checked ? "1" : "0") + "$$";
}

sMonitorSettings ParseMonitorSettings(std::string_view messages, std::string_view props) {
  sMonitorSettings settings;
  settings.types = SplitTerminated(messages, ",");
  for (const std::string& entry : SplitTerminated(props, ","))
    settings.props.push_back(ParseTypeProps(entry));
  return settings;
}

std::string FormatMonitorMessages(const std::vector<std::string>& types) {
  std::string text;
  for (const std::string& type : types) text += type + ",";
  return text;
}

std::string FormatMonitorProps(const std::vector<sMonitorTypeProps>& props) {
  std::string text;
  for (const sMonitorTypeProps& p : props) text += FormatTypeProps(p) + ",";
  return text;
}

}  // namespace kovo
