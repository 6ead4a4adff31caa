#include "ui/sort_keys.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kovo
