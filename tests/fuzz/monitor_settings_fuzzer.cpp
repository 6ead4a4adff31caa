// Feeds arbitrary bytes to the market monitor's settings reader: the part
// before the first newline is the type list, the rest the props list. Every
// counted item must be one separator's worth, and what is written back must
// read the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "market/mkt_monitor_settings.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

size_t Occurrences(std::string_view text, std::string_view separator) {
  size_t count = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, at + separator.size()))
    ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovo;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t newline = text.find('\n');
  const std::string_view messages = text.substr(0, newline);
  const std::string_view props =
      newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

  const sMonitorSettings read = ParseMonitorSettings(messages, props);
  Check(read.types.size() == Occurrences(messages, ","));
  Check(read.props.size() == Occurrences(props, ","));
  for (const std::string& type : read.types) Check(type.find(',') == std::string::npos);

  const sMonitorSettings again =
      ParseMonitorSettings(FormatMonitorMessages(read.types), FormatMonitorProps(read.props));
  Check(again.types == read.types);
  Check(again.props == read.props);
  return 0;
}
