#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
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

TEST(FormatTest, FormatsShortAndLongOutput) {
  EXPECT_EQ(Format("%s|%d|%.*lf|%%", "ab", -42, 3, 3.14159), "ab|-42|3.142|%");
  EXPECT_EQ(Format("%s", ""), "");
  EXPECT_EQ(Format("%05.1lf", 2.26), "002.3");

  // Far past any small first-guess buffer, with arguments after the long one
  // so a consumed argument list would show.
  const std::string long_text(5000, 'x');
  const std::string expected = "[" + long_text + "] 7 tail";
  EXPECT_EQ(Format("[%s] %d %s", long_text.c_str(), 7, "tail"), expected);
  EXPECT_EQ(FormatThroughV("[%s] %d %s", long_text.c_str(), 7, "tail"), expected);
  EXPECT_EQ(Format("%1200d", 5).size(), 1200u);
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

TEST_F(LocalTimeTest, FormatsFixedForms) {
  EXPECT_EQ(FormatLocalTime(kKnownInstant, TimeForm::kTime), "05:30:00");
  EXPECT_EQ(FormatLocalTime(kKnownInstant, TimeForm::kDate), "12/06/2025");
  EXPECT_EQ(FormatLocalTime(kKnownInstant, TimeForm::kDateTime), "06-12-2025 05:30:00");
  // A minute before local midnight (18:29 UTC) is still the previous local day.
  EXPECT_EQ(FormatLocalTime(kKnownInstant - 5 * 3600 - 31 * 60, TimeForm::kDateTime),
            "05-12-2025 23:59:00");

  // The time_point form drops the fraction of a second, also before 1970.
  EXPECT_EQ(FormatLocalTime(At(kKnownInstant, 999), TimeForm::kDateTime), "06-12-2025 05:30:00");
  EXPECT_EQ(FormatLocalTime(At(0, -500), TimeForm::kDateTime), "01-01-1970 05:29:59");
}

TEST_F(LocalTimeTest, ScriptCreationTimeHasMillisecondsAndNoLeadingZeros) {
  // 2026-12-05 09:03:07 in Kolkata.
  const std::time_t single_digits = 1796441587;
  EXPECT_EQ(FormatScriptCreationTime(At(single_digits, 45)), "5-12-2026 9:3:7:45");
  EXPECT_EQ(FormatScriptCreationTime(At(single_digits, 0)), "5-12-2026 9:3:7:0");
  EXPECT_EQ(FormatScriptCreationTime(At(single_digits) + std::chrono::microseconds(45999)),
            "5-12-2026 9:3:7:45");

  // 2024-02-29 23:59:59 in Kolkata, and the millisecond that rolls into March.
  const std::time_t leap_day_end = 1709231399;
  EXPECT_EQ(FormatScriptCreationTime(At(leap_day_end, 999)), "29-2-2024 23:59:59:999");
  EXPECT_EQ(FormatScriptCreationTime(At(leap_day_end, 1000)), "1-3-2024 0:0:0:0");

  EXPECT_EQ(FormatScriptCreationTime(At(0, -500)), "1-1-1970 5:29:59:500");
}

TEST_F(LocalTimeTest, ParsesDatesAsLocalMidnight) {
  std::time_t when = 0;
  ASSERT_TRUE(ParseLocalDate("12/06/2025", &when));
  EXPECT_EQ(when, 1764959400);  // 2025-12-05 18:30:00 UTC
  EXPECT_EQ(FormatLocalTime(when, TimeForm::kDateTime), "06-12-2025 00:00:00");

  ASSERT_TRUE(ParseLocalDate("2/29/2024", &when));
  EXPECT_EQ(FormatLocalTime(when, TimeForm::kDate), "02/29/2024");

  for (const char* text : {"01/01/1970", "12/31/1999", "07/04/2030"}) {
    ASSERT_TRUE(ParseLocalDate(text, &when)) << text;
    EXPECT_EQ(FormatLocalTime(when, TimeForm::kDate), text);
    EXPECT_EQ(FormatLocalTime(when, TimeForm::kTime), "00:00:00") << text;
  }
}

TEST_F(LocalTimeTest, RejectsMalformedDatesAndLeavesResultAlone) {
  const char* const bad[] = {
      "",
      "12/06",
      "12/06/",
      "12/06/25",
      "12/06/20255",
      "00/10/2025",
      "13/01/2025",
      "12/00/2025",
      "12/32/2025",
      "02/30/2025",
      "02/29/2025",
      "04/31/2025",
      "12/06/2025x",
      "12/06/2025 ",
      " 12/06/2025",
      "12-06-2025",
      "ab/cd/efgh",
      "+1/06/2025",
      "1 /06/2025",
      "123/06/2025",
      "12/006/2025",
      "12/06/-025",
      "12//06/2025",
  };
  for (const char* text : bad) {
    std::time_t when = 12345;
    EXPECT_FALSE(ParseLocalDate(text, &when)) << '"' << text << '"';
    EXPECT_EQ(when, 12345) << '"' << text << '"';
  }
}

TEST(ClockTest, ManualClockMovesOnlyWhenTold) {
  ManualClock clock;
  EXPECT_EQ(clock.Now(), Clock::TimePoint{});
  clock.Set(At(1764979200));
  clock.Advance(milliseconds(1500));
  EXPECT_EQ(clock.Now(), At(1764979201, 500));
  EXPECT_EQ(clock.Now(), At(1764979201, 500));

  // Concurrent advances are not lost.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&clock] {
      for (int i = 0; i < 1000; ++i) clock.Advance(milliseconds(1));
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(clock.Now(), At(1764979205, 500));
}

TEST(ClockTest, SystemClockFollowsTheRealClock) {
  EXPECT_EQ(&SystemClock::Instance(), &SystemClock::Instance());
  const auto before = system_clock::now();
  const auto now = SystemClock::Instance().Now();
  const auto after = system_clock::now();
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

}  // namespace
}  // namespace kovo
