#include "base/version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kovo {
namespace {

struct Known {
  const char* a;
  const char* b;
  int expected;
};

TEST(VersionCompareTest, KnownAnswers) {
  const Known cases[] = {
      {"1.8.4.3", "1.8.4.0", 1},
      {"3.11.3", "3.11.3.0", -1},  // more parts wins when the common ones are equal
      {"3.10.57.97", "3.10.57.96.3", 1},
      {"3.11.3.0", "3.11.3.0", 0},
      {"3.12", "3.11.99", 1},
      {"1.02", "1.2", 0},
      {"1.8.4.0", "1.8.4", 1},
      {"3.9", "3.10", -1},  // numeric, not textual
      {"", "", 0},
      {"", "1", -1},
      {"1..2", "1.2", 0},   // a run of dots is one separator
      {".1.2.", "1.2", 0},  // as are leading and trailing dots
      {" 3 . 11 ", "3.11", 0},
      {"3.\t11\n", "3.11", 0},
      {"2.10rc1", "2.9", 1},  // only the leading number counts
      {"2.beta", "2.0", 0},   // no digits reads as 0
      {"2.beta", "2", 1},     // but is still a part
      {"1. .5", "1. .3", 0},  // two blank parts end the walk
      {"1. .5", "1.0.3", -1},
  };
  for (const Known& c : cases) {
    EXPECT_EQ(VersionCompare(c.a, c.b), c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
  }
}

TEST(VersionCompareTest, LongNumericPartsCompareWithoutOverflow) {
  const std::string big = "123456789012345678901234567890";
  const std::string bigger = "123456789012345678901234567891";
  EXPECT_EQ(VersionCompare("1." + big, "1." + bigger), -1);
  EXPECT_EQ(VersionCompare("1." + bigger, "1." + big), 1);
  EXPECT_EQ(VersionCompare("1." + big, "1.99"), 1);
  EXPECT_EQ(VersionCompare("1.99", "1." + big), -1);
  // Beyond 64 bits: values that would saturate to the same number still differ.
  EXPECT_EQ(VersionCompare(big + "0", big + "1"), -1);
  // Leading zeros do not make a number longer.
  EXPECT_EQ(VersionCompare("1.00000000000000000000000000000000007", "1.7"), 0);
  EXPECT_EQ(VersionCompare("1.00000000000000000000000000000000007", "1.10"), -1);
}

TEST(VersionCompareTest, IsAntisymmetricAndReflexive) {
  const std::vector<std::string> versions = {
      "",      "0",       "1",     "1.0",       "1.0.0",   "1.2",  "1.02", "1.10",
      "1..10", "2",       "2.0.1", "3.11.3.0",  "3.11.3",  "3.12", "1.a",  " 1 . 2 ",
      "1. .2", "9.9.9.9", "10",    "1.2.3.4.5", "01.0002", ".",    "..",   "x",
  };
  for (const std::string& a : versions) {
    EXPECT_EQ(VersionCompare(a, a), 0) << a;
    for (const std::string& b : versions) {
      const int ab = VersionCompare(a, b);
      EXPECT_TRUE(ab == -1 || ab == 0 || ab == 1) << a << " vs " << b;
      EXPECT_EQ(ab, -VersionCompare(b, a)) << a << " vs " << b;
    }
  }
}

}  // namespace
}  // namespace kovo
