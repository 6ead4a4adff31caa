#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kovo {
namespace {

using Fields = std::vector<std::string>;

TEST(TrimTest, RemovesEveryBlankKindFromTheEndsOnly) {
  const std::string blanks = " \t\r\n\v\f";
  const std::string text = blanks + "a \t b" + blanks;
  EXPECT_EQ(TrimView(text), "a \t b");
  EXPECT_EQ(Trim(text), "a \t b");
  EXPECT_EQ(TrimLeft(text), "a \t b" + blanks);
  EXPECT_EQ(TrimRight(text), blanks + "a \t b");
  EXPECT_EQ(Trim(blanks), "");
  EXPECT_EQ(TrimLeft(blanks), "");
  EXPECT_EQ(TrimRight(blanks), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("x"), "x");
  // Other control characters are not blanks.
  EXPECT_EQ(Trim("\x01x\x01"), "\x01x\x01");
}

TEST(TokenizeTest, EmptyFieldsAreNotFields) {
  EXPECT_EQ(Tokenize("a,b,c", ","), (Fields{"a", "b", "c"}));
  EXPECT_EQ(Tokenize("a,,,b", ","), (Fields{"a", "b"}));
  EXPECT_EQ(Tokenize(",,a,b,,", ","), (Fields{"a", "b"}));
  EXPECT_EQ(Tokenize("", ","), Fields{});
  EXPECT_EQ(Tokenize(",,,", ","), Fields{});
  EXPECT_EQ(Tokenize("abc", ","), Fields{"abc"});
  EXPECT_EQ(Tokenize("a,b", ""), Fields{"a,b"});
  // Any of the separator characters splits, and a mixed run still counts as one.
  EXPECT_EQ(Tokenize("a;b,c;,;d", ",;"), (Fields{"a", "b", "c", "d"}));
  // Without trimming, blanks are kept as they are.
  EXPECT_EQ(Tokenize(" a , b ", ","), (Fields{" a ", " b "}));
}

TEST(TokenizeTest, TrimmingKeepsBlankFieldsAsEmptyFields) {
  EXPECT_EQ(Tokenize(" a , b ", ",", TokenTrim::kYes), (Fields{"a", "b"}));
  EXPECT_EQ(Tokenize("a, ,b", ",", TokenTrim::kYes), (Fields{"a", "", "b"}));
  EXPECT_EQ(Tokenize("a,,b", ",", TokenTrim::kYes), (Fields{"a", "b"}));
  EXPECT_EQ(Tokenize(" \t ", ",", TokenTrim::kYes), Fields{""});
  // A blank that is also a separator splits instead of being trimmed.
  EXPECT_EQ(Tokenize("  a  b  ", " ", TokenTrim::kYes), (Fields{"a", "b"}));
}

TEST(NextTokenTest, WalksFieldsAndStopsAtTheEnd) {
  const std::string_view text = ";;one;two;;three;;";
  size_t pos = 0;
  std::string field = "stale";
  Fields seen;
  while (NextToken(text, ";", &pos, &field)) {
    seen.push_back(field);
    ASSERT_LE(pos, text.size());
    EXPECT_EQ(text.substr(pos - field.size(), field.size()), field);
  }
  EXPECT_EQ(seen, (Fields{"one", "two", "three"}));
  EXPECT_EQ(field, "");
  EXPECT_EQ(pos, text.size());
  // Once exhausted it stays exhausted.
  field = "stale";
  EXPECT_FALSE(NextToken(text, ";", &pos, &field));
  EXPECT_EQ(field, "");

  // Starting in the middle of a field returns its rest.
  pos = 3;
  ASSERT_TRUE(NextToken(text, ";", &pos, &field));
  EXPECT_EQ(field, "ne");

  pos = text.size() + 5;
  EXPECT_FALSE(NextToken(text, ";", &pos, &field));
}

TEST(NoCaseTest, ComparesAndConvertsAsciiOnly) {
  EXPECT_TRUE(EqualsNoCase("Hello World", "hELLO wORLD"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("abc", "abd"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
  EXPECT_FALSE(EqualsNoCase("@", "`"));  // neighbours of 'A' and 'a'
  EXPECT_FALSE(EqualsNoCase("[", "{"));  // neighbours of 'Z' and 'z'

  EXPECT_TRUE(StartsWithNoCase("NIFTY25DECFUT", "nifty"));
  EXPECT_TRUE(StartsWithNoCase("abc", ""));
  EXPECT_FALSE(StartsWithNoCase("ab", "abc"));
  EXPECT_FALSE(StartsWithNoCase("xabc", "abc"));

  EXPECT_EQ(ToLower("AbC-09_Z\xC4"), "abc-09_z\xC4");
  EXPECT_EQ(ToUpper("aBc-09_z\xE4"), "ABC-09_Z\xE4");
  EXPECT_EQ(ToUpper("@[`{"), "@[`{");
}

}  // namespace
}  // namespace kovo
