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
      {"1.02", "1.2", 0},
      {"3.9", "3.10", -1},  // numeric, not textual
      {" 3 . 11 ", "3.11", 0},
      {"2.10rc1", "2.9", 1},  // only the leading number counts
  };
  for (const Known& c : cases) {
    EXPECT_EQ(VersionCompare(c.a, c.b), c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
  }
  // Long parts compare without overflow, also beyond 64 bits.
  const std::string big = "123456789012345678901234567890";
  EXPECT_EQ(VersionCompare("1." + big, "1.99"), 1);
  EXPECT_EQ(VersionCompare(big + "0", big + "1"), -1);
  EXPECT_EQ(VersionCompare("1.00000000000000000000000000000000007", "1.7"), 0);
}

TEST(VersionCompareTest, IsAntisymmetric) {
  const std::vector<std::string> versions = {"",       "1",   "1.0",   "1.02", "1.10", "3.11.3.0",
                                             "3.11.3", "1.a", "1. .2", "10",   "."};
  for (const std::string& a : versions) {
    for (const std::string& b : versions) {
      const int ab = VersionCompare(a, b);
      EXPECT_EQ(ab, -VersionCompare(b, a)) << a << " vs " << b;
    }
  }
}

}  // namespace
}  // namespace kovo
