#include "base/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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

}  // namespace
}  // namespace kovo
