#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kovo {
namespace {

using Fields = std::vector<std::string>;

TEST(TokenizeTest, SeparatorRunsTrimmingAndBlankFields) {
  EXPECT_EQ(Tokenize(",,a,b,,", ","), (Fields{"a", "b"}));
  EXPECT_EQ(Tokenize(",,,", ","), Fields{});
  // Any of the separator characters splits, and a mixed run still counts as one.
  EXPECT_EQ(Tokenize("a;b,c;,;d", ",;"), (Fields{"a", "b", "c", "d"}));
  // Without trimming, blanks are kept as they are.
  EXPECT_EQ(Tokenize(" a , b ", ","), (Fields{" a ", " b "}));
  EXPECT_EQ(Tokenize(" a , b ", ",", TokenTrim::kYes), (Fields{"a", "b"}));
  // A blank field stays as an empty field.
  EXPECT_EQ(Tokenize("a, ,b", ",", TokenTrim::kYes), (Fields{"a", "", "b"}));
  EXPECT_EQ(Tokenize(" \t ", ",", TokenTrim::kYes), Fields{""});
}

}  // namespace
}  // namespace kovo
