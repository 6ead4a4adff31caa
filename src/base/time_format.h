#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <string_view>

namespace kovo {

// The local-time forms the system shows and sends. Each is a fixed format so
// no caller text ever reaches strftime.
enum class TimeForm {
  kTime,      // "%H:%M:%S"
  kDate,      // "%m/%d/%Y"
  kDateTime,  // "%d-%m-%Y %H:%M:%S"
};

std::string FormatLocalTime(std::time_t when, TimeForm form);
std::string FormatLocalTime(std::chrono::system_clock::time_point when, TimeForm form);

// Script creation time: day, month, year, hour, minute, second, millisecond,
// "%d-%d-%d %d:%d:%d:%d" (numbers without leading zeros), in local time.
std::string FormatScriptCreationTime(std::chrono::system_clock::time_point when);

// Parses "%m/%d/%Y" as local midnight; false on malformed text.
bool ParseLocalDate(std::string_view text, std::time_t* when);

}  // namespace kovo
