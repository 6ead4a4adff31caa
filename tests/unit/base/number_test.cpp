#include "base/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/format.h"
#include "fakes/comma_locale.h"

namespace kovo {
namespace {

TEST(LeadingNumbers, ReadLikeTheCRuntimeWithoutOverflow) {
  EXPECT_EQ(LeadingInt64("  42abc"), 42);
  EXPECT_EQ(LeadingInt64("\t-17 "), -17);
  EXPECT_EQ(LeadingInt64("+8"), 8);
  EXPECT_EQ(LeadingInt64("x9"), 0);
  EXPECT_EQ(LeadingInt64(""), 0);
  EXPECT_EQ(LeadingInt64("- 5"), 0);
  EXPECT_EQ(LeadingInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(LeadingInt64("99999999999999999999999"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(LeadingInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(LeadingInt64("-99999999999999999999999"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(LeadingInt32("2147483648"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(LeadingInt32("-2147483649"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(LeadingInt32("-2147483648"), std::numeric_limits<int32_t>::min());

  EXPECT_DOUBLE_EQ(LeadingDouble(" 2450.75xyz"), 2450.75);
  EXPECT_DOUBLE_EQ(LeadingDouble("-1e3"), -1000.0);
  EXPECT_DOUBLE_EQ(LeadingDouble("abc"), 0.0);
  EXPECT_DOUBLE_EQ(LeadingDouble(std::string("12\0.5", 5)), 12.0) << "a NUL ends the text";
  EXPECT_TRUE(std::isinf(LeadingDouble("1e999")));
}

// A host in a decimal-comma locale: what the plug-in writes and reads
// (messages to the back end, signal files, settings) keeps its dot.
TEST(LeadingNumbers, TextsKeepTheirDotInADecimalCommaLocale) {
  test::CommaDecimalLocale comma;
  ASSERT_EQ(comma.Failure(), "");
  EXPECT_EQ(Format("%.2f", 1234.5), "1234.50");
  EXPECT_EQ(Format("%f|%g|%.*f", 0.25, 1.5, 3, 2.0), "0.250000|1.5|2.000");
  EXPECT_DOUBLE_EQ(LeadingDouble("1234.55"), 1234.55);
  EXPECT_DOUBLE_EQ(LeadingDouble(Format("%.4f", 0.1234)), 0.1234);
}

}  // namespace
}  // namespace kovo
