#include "base/time_format.h"

#include "base/format.h"

namespace kovo {
namespace {

using std::chrono::system_clock;

bool ToLocal(std::time_t when, std::tm* local) {
  return localtime_r(&when, local) != nullptr;
}

// Floors, unlike system_clock::to_time_t, so instants before 1970 with a
// fraction of a second still land in the right second.
std::chrono::seconds WholeSeconds(system_clock::time_point when) {
  return std::chrono::floor<std::chrono::seconds>(when.time_since_epoch());
}

// Reads 1 to max_digits decimal digits at *pos.
bool ReadNumber(std::string_view text, size_t* pos, size_t max_digits, int* value) {
  size_t digits = 0;
  int result = 0;
  while (*pos < text.size() && digits < max_digits && text[*pos] >= '0' && text[*pos] <= '9') {
    result = result * 10 + (text[*pos] - '0');
    ++*pos;
    ++digits;
  }
  *value = result;
  return digits > 0;
}

bool Expect(std::string_view text, size_t* pos, char c) {
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  return true;
}

}  // namespace

std::string FormatLocalTime(std::time_t when, TimeForm form) {
  std::tm local{};
  if (!ToLocal(when, &local)) return std::string();
  char buffer[64];
  size_t length = 0;
  // One literal per form: strftime never sees text from outside.
  switch (form) {
    case TimeForm::kTime:
      length = std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
      break;
    case TimeForm::kDate:
      length = std::strftime(buffer, sizeof buffer, "%m/%d/%Y", &local);
      break;
    case TimeForm::kDateTime:
      length = std::strftime(buffer, sizeof buffer, "%d-%m-%Y %H:%M:%S", &local);
      break;
  }
  return std::string(buffer, length);
}

std::string FormatLocalTime(system_clock::time_point when, TimeForm form) {
  return FormatLocalTime(static_cast<std::time_t>(WholeSeconds(when).count()), form);
}

std::string FormatScriptCreationTime(system_clock::time_point when) {
  const std::chrono::seconds seconds = WholeSeconds(when);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch() - seconds);
  std::tm local{};
  if (!ToLocal(static_cast<std::time_t>(seconds.count()), &local)) return std::string();
  return Format("%d-%d-%d %d:%d:%d:%d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis.count()));
}

bool ParseLocalDate(std::string_view text, std::time_t* when) {
  size_t pos = 0;
  int month = 0;
  int day = 0;
  int year = 0;
  if (!ReadNumber(text, &pos, 2, &month) || !Expect(text, &pos, '/') ||
      !ReadNumber(text, &pos, 2, &day) || !Expect(text, &pos, '/')) {
    return false;
  }
  const size_t year_start = pos;
  if (!ReadNumber(text, &pos, 4, &year) || pos - year_start != 4 || pos != text.size()) {
    return false;
  }

  std::tm local{};
  local.tm_mday = day;
  local.tm_mon = month - 1;
  local.tm_year = year - 1900;
  local.tm_isdst = -1;  // let the zone decide whether that midnight is summer time
  const std::time_t result = std::mktime(&local);
  if (result == static_cast<std::time_t>(-1)) return false;
  // mktime quietly rolls 02/30 into March and 13/01 into next year; a date
  // that does not come back unchanged was not a real date.
  if (local.tm_mday != day || local.tm_mon != month - 1 || local.tm_year != year - 1900) {
    return false;
  }
  *when = result;
  return true;
}

}  // namespace kovo
