#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <string>

#include "base/format.h"
#include "base/time_format.h"

namespace kovo {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::system_clock;

__attribute__((format(printf, 1, 2))) std::string FormatThroughV(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = FormatV(format, args);
  va_end(args);
  return result;
}

TEST(FormatTest, FormatsLongOutput) {
  // Far past any small first-guess buffer, with arguments after the long one
  // so a consumed argument list would show.
  const std::string long_text(5000, 'x');
  const std::string expected = "[" + long_text + "] 7 tail";
  EXPECT_EQ(Format("[%s] %d %s", long_text.c_str(), 7, "tail"), expected);
  EXPECT_EQ(FormatThroughV("[%s] %d %s", long_text.c_str(), 7, "tail"), expected);
}

// Local-time tests pin the zone themselves so they also hold when run outside ctest.
class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("TZ", "Asia/Kolkata", 1), 0);
    tzset();
  }

  // 2025-12-06 00:00:00 UTC, 05:30:00 in Kolkata.
  static constexpr std::time_t kKnownInstant = 1764979200;
};

system_clock::time_point At(std::time_t when, int millis = 0) {
  return system_clock::time_point(seconds(when)) + milliseconds(millis);
}

TEST_F(LocalTimeTest, FormatsFixedFormsAndScriptCreationTime) {
  EXPECT_EQ(FormatLocalTime(kKnownInstant, TimeForm::kTime), "05:30:00");
  EXPECT_EQ(FormatLocalTime(kKnownInstant, TimeForm::kDate), "12/06/2025");
  EXPECT_EQ(FormatLocalTime(kKnownInstant, TimeForm::kDateTime), "06-12-2025 05:30:00");
  // The time_point form drops the fraction of a second, also before 1970.
  EXPECT_EQ(FormatLocalTime(At(0, -500), TimeForm::kDateTime), "01-01-1970 05:29:59");

  // Milliseconds and no leading zeros; 2026-12-05 09:03:07 in Kolkata.
  const std::time_t single_digits = 1796441587;
  EXPECT_EQ(FormatScriptCreationTime(At(single_digits, 45)), "5-12-2026 9:3:7:45");
  // 2024-02-29 23:59:59 in Kolkata, and the millisecond that rolls into March.
  const std::time_t leap_day_end = 1709231399;
  EXPECT_EQ(FormatScriptCreationTime(At(leap_day_end, 999)), "29-2-2024 23:59:59:999");
  EXPECT_EQ(FormatScriptCreationTime(At(leap_day_end, 1000)), "1-3-2024 0:0:0:0");
}

TEST_F(LocalTimeTest, ParsesDatesAsLocalMidnightAndRejectsMalformedOnes) {
  std::time_t when = 0;
  ASSERT_TRUE(ParseLocalDate("12/06/2025", &when));
  EXPECT_EQ(when, 1764959400);  // 2025-12-05 18:30:00 UTC
  ASSERT_TRUE(ParseLocalDate("2/29/2024", &when));
  EXPECT_EQ(FormatLocalTime(when, TimeForm::kDate), "02/29/2024");
  for (const char* text : {"01/01/1970", "12/31/1999"}) {
    ASSERT_TRUE(ParseLocalDate(text, &when)) << text;
    EXPECT_EQ(FormatLocalTime(when, TimeForm::kDate), text);
  }

  for (const char* text : {"", "12/06", "12/06/25", "12/06/20255", "00/10/2025", "13/01/2025",
                           "12/32/2025", "02/29/2025", "04/31/2025", "12/06/2025x", " 12/06/2025",
                           "12-06-2025", "+1/06/2025", "12/006/2025"}) {
    when = 12345;
    EXPECT_FALSE(ParseLocalDate(text, &when)) << '"' << text << '"';
    EXPECT_EQ(when, 12345) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace kovo
