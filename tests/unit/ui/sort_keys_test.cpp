#include "ui/sort_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kovo {
namespace {

int64_t Key(const char* text) {
  int64_t key = 0;
  EXPECT_TRUE(ParseDateTimeKey(text, &key)) << text;
  return key;
}

TEST(DateTimeKeyTest, DatesAndTimesInEveryFormCompareAsTimes) {
  // One moment written several ways.
  EXPECT_EQ(Key("12/05/2026"), Key("05-12-2026"));
  EXPECT_EQ(Key("12/05/2026"), Key("05-Dec-2026"));
  EXPECT_EQ(Key("12/05/2026"), Key("2026-12-05"));
  EXPECT_EQ(Key("12/05/26"), Key("12/05/2026"));
  EXPECT_EQ(Key("14:30:00"), Key("2:30:00 PM"));
  EXPECT_EQ(Key("14:30"), Key("2:30PM"));
  EXPECT_EQ(Key("00:15"), Key("12:15 am"));
  EXPECT_EQ(Key("12:15"), Key("12:15 PM"));
  EXPECT_EQ(Key("05-12-2026 14:30:00"), Key("12/05/2026 02:30:00 PM"));

  // Order across days, hours, seconds and milliseconds.
  const std::vector<const char*> ascending = {
      "11/30/2026 11:59 PM", "12/05/2026",         "5-12-2026 9:5:3:120", "5-12-2026 9:5:3:121",
      "05-12-2026 9:05:04",  "05-12-2026 1:00 PM", "01-01-2027 00:00:00"};
  for (std::size_t i = 1; i < ascending.size(); ++i)
    EXPECT_LT(Key(ascending[i - 1]), Key(ascending[i])) << ascending[i];
  EXPECT_LT(Key("11:59 AM"), Key("12:00 PM"));
  EXPECT_LT(Key("12:59 AM"), Key("1:00 AM"));

  int64_t key = 0;
  for (const char* bad : {"", "hello", "13/45/2026", "25:00", "12:60", "13:00 PM", "1/2",
                          "1:2:3:4:5", "12:00 PM PM", "AM", "-5", "10.5", "2026-12-05 x"})
    EXPECT_FALSE(ParseDateTimeKey(bad, &key)) << bad;
}

TEST(SortKeysTest, OrderIsStableAndNonDatesSortFirst) {
  CSortKeys dates(6);
  for (const char* t : {"10:00", "n/a", "09:00", "", "10:00"}) dates.Add(t);
  EXPECT_EQ(dates.Order(true), (std::vector<uint32_t>{1, 3, 2, 0, 4}));
  EXPECT_EQ(dates.Order(false), (std::vector<uint32_t>{0, 4, 2, 1, 3}));

  // "nan" reads as a number to the C library; it must not break the order.
  CSortKeys doubles(2);
  for (const char* t : {"nan", "1", "-inf", "0"}) doubles.Add(t);
  EXPECT_EQ(doubles.Order(true), (std::vector<uint32_t>{0, 2, 3, 1}));

  CSortKeys none(0);
  for (const char* t : {"b", "a"}) none.Add(t);
  EXPECT_EQ(none.Order(true), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(none.Compare(0, 1), 0);
}

// The order, worked out the plain way: compare two rows' texts as the kind
// says, ties in row order.
// A text as the kind compares it, byte by byte.
std::string Key(int32_t kind, std::string text) {
  if (kind == 3)
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

std::vector<uint32_t> PlainOrder(int32_t kind, const std::vector<std::string>& texts,
                                 bool ascending) {
  std::vector<uint32_t> order(texts.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const int c = Key(kind, texts[a]).compare(Key(kind, texts[b]));
    return ascending ? c < 0 : c > 0;
  });
  return order;
}

TEST(SortKeysTest, TextsSortAsBytesWhateverTheirFirstEightBytes) {
  // Texts that tie in their first eight bytes, end inside them, hold NULs
  // and bytes above 127, and differ only in case.
  std::vector<std::string> texts = {"",
                                    std::string(1, '\0'),
                                    std::string("a\0", 2),
                                    "a",
                                    "A",
                                    "abcdefgh",
                                    "abcdefgh",
                                    "abcdefghi",
                                    "ABCDEFGHI",
                                    "abcdefgh\x01",
                                    std::string("abcdefgh\0", 9),
                                    "abcdefg",
                                    "\xff",
                                    "\x80zz",
                                    "zz",
                                    "RELIANCE-EQ",
                                    "RELIANCE-BE",
                                    "reliance-eq"};
  std::mt19937 random(11);
  const std::string alphabet("aAbB\0\xe9zZ-", 9);
  for (int i = 0; i < 3000; ++i) {
    std::string t = i % 3 == 0 ? "SAMEPREF" : "";
    const int length = static_cast<int>(random() % 12);
    for (int c = 0; c < length; ++c) t += alphabet[random() % alphabet.size()];
    texts.push_back(t);
  }
  for (int32_t kind : {3, 8}) {
    CSortKeys keys(kind);
    keys.Reserve(texts.size());
    for (const std::string& t : texts) keys.Add(t);
    for (bool ascending : {true, false}) {
      EXPECT_EQ(keys.Order(ascending), PlainOrder(kind, texts, ascending))
          << "kind " << kind << (ascending ? " ascending" : " descending");
    }
    for (std::size_t a = 0; a < 40; ++a) {
      for (std::size_t b = 0; b < 40; ++b) {
        const int c = Key(kind, texts[a]).compare(Key(kind, texts[b]));
        EXPECT_EQ(keys.Compare(a, b), c < 0 ? -1 : (c > 0 ? 1 : 0)) << a << " " << b;
      }
    }
  }
}

TEST(SortKeysTest, NumbersSortStablyWithManyTies) {
  std::vector<std::string> texts;
  std::mt19937 random(5);
  for (int i = 0; i < 5000; ++i)
    texts.push_back(std::to_string(static_cast<int>(random() % 50) - 25));
  for (int32_t kind : {1, 2, 4, 5, 7}) {
    CSortKeys keys(kind);
    for (const std::string& t : texts) keys.Add(t);
    for (bool ascending : {true, false}) {
      std::vector<uint32_t> expected(texts.size());
      for (uint32_t i = 0; i < expected.size(); ++i) expected[i] = i;
      std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
        const int x = std::stoi(texts[a]), y = std::stoi(texts[b]);
        return ascending ? x < y : y < x;
      });
      EXPECT_EQ(keys.Order(ascending), expected) << "kind " << kind;
    }
  }
}

}  // namespace
}  // namespace kovo
