#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <shared_mutex>

#include "fakes/wmp_helpers.h"
#include "orders/order_api.h"
#include "orders/order_manager.h"

namespace kovo {
namespace {

using test::Field;

std::vector<Field> UpdateFields(std::string number, std::string status) {
  return {{64016, "S1"},
          {64001, std::move(number)},
          {64005, "7"},
          {54001, "L1"},
          {63001, "nse_cm"},
          {10100, "2885"},
          {64655, std::move(status)},
          {10076, "40"},
          {10322, "250050"}};
}

std::vector<Field> Without(std::vector<Field> fields, int32_t id) {
  std::erase_if(fields, [id](const Field& f) { return f.first == id; });
  return fields;
}

void Feed(COrderManager& m, const std::vector<Field>& fields) {
  m.Receive(test::MakeMessage(fields).get());
}

std::vector<std::string> Numbers(COrderManager& m, std::string_view key) {
  std::lock_guard lock(m.Mutex());
  const auto* list = m.OrderNumbersLocked(key);
  return list ? *list : std::vector<std::string>{};
}

std::optional<sOrderParams> State(COrderManager& m, std::string_view number) {
  std::lock_guard lock(m.Mutex());
  const sOrderParams* p = m.StateLocked(number);
  return p ? std::optional<sOrderParams>(*p) : std::nullopt;
}

TEST(OrderManagerTest, EveryUpdateAppendsItsNumberAndOverwritesTheState) {
  COrderManager m;
  // An update for a script nobody registered is still filed.
  Feed(m, UpdateFields("1001", "open"));
  Feed(m, UpdateFields("1002", "open"));
  Feed(m, UpdateFields("1001", "complete"));
  EXPECT_EQ(Numbers(m, "S1|7"), (std::vector<std::string>{"1001", "1002", "1001"}));
  const auto first = State(m, "1001");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, "complete");
  EXPECT_EQ(first->exchange, "nse_cm");
  EXPECT_EQ(first->token, "2885");
  EXPECT_EQ(first->legCode, "L1");
  EXPECT_EQ(first->filledQuantity, 40);
  EXPECT_EQ(first->averagePrice, 250050);

  // A later update without the numbers resets them to 0.
  Feed(m, Without(Without(UpdateFields("1001", "cancelled"), 10076), 10322));
  EXPECT_EQ(State(m, "1001")->filledQuantity, 0);
  EXPECT_EQ(State(m, "1001")->averagePrice, 0);
  EXPECT_EQ(State(m, "1001")->status, "cancelled");
  EXPECT_EQ(Numbers(m, "S1|7").front(), "1001");
}

// Orders that share host numbers, updates alternating between them: every
// update lands on the state of its own number.
TEST(OrderManagerTest, AlternatingNumbersAndOrdersEachKeepTheirOwnState) {
  COrderManager m;
  auto update = [&](const char* tag, const char* number, const char* status) {
    std::vector<Field> fields = UpdateFields(number, status);
    fields[2].second = tag;
    Feed(m, fields);
  };
  update("7", "1001", "open");
  update("8", "1001", "complete");
  update("7", "1001", "trigger pending");
  EXPECT_EQ(State(m, "1001")->status, "trigger pending");
  update("8", "1002", "open");
  update("8", "1001", "order frozen");
  update("7", "1002", "rejected");
  update("7", "1002", "cancelled");
  EXPECT_EQ(State(m, "1001")->status, "order frozen");
  EXPECT_EQ(State(m, "1002")->status, "cancelled");
  EXPECT_EQ(Numbers(m, "S1|7"), (std::vector<std::string>{"1001", "1001", "1002", "1002"}));
  EXPECT_EQ(Numbers(m, "S1|8"), (std::vector<std::string>{"1001", "1002", "1001"}));
  // The same key spelled by script name and tag.
  std::shared_lock lock(m.Mutex());
  ASSERT_NE(m.OrderNumbersLocked("S1", 8), nullptr);
  EXPECT_EQ(m.OrderNumbersLocked("S1", 8)->size(), 3u);
  EXPECT_EQ(m.OrderNumbersLocked("S1", 9), nullptr);
}

TEST(OrderManagerTest, DropsUntrackedAndIncompleteUpdates) {
  COrderManager m;
  auto untracked = UpdateFields("2001", "open");
  untracked.push_back({64631, "1"});
  Feed(m, untracked);
  for (int32_t field : {64016, 64001, 64005, 54001, 64655}) {
    Feed(m, Without(UpdateFields("2002", "open"), field));
  }
  EXPECT_TRUE(Numbers(m, "S1|7").empty());
  EXPECT_FALSE(State(m, "2001"));
  EXPECT_FALSE(State(m, "2002"));

  // "P" in 54056 is the leg code itself; anything else defers to 54001.
  auto primary = UpdateFields("2003", "open");
  primary.push_back({54056, "P"});
  Feed(m, primary);
  EXPECT_EQ(State(m, "2003")->legCode, "P");
  auto other = Without(UpdateFields("2004", "open"), 54001);
  other.push_back({54056, "Q"});
  Feed(m, other);
  EXPECT_FALSE(State(m, "2004"));
}

struct ControlRecorder {
  static inline std::vector<int32_t> kinds;
  static inline std::vector<std::vector<std::pair<int32_t, std::string>>> filters;
  static inline int destroyed = 0;
  static inline KovoRxControl control{};
  static int32_t AddFilter(KovoRxControl*, const KovoFieldMatch* pairs, int32_t count, int32_t*) {
    std::vector<std::pair<int32_t, std::string>> f;
    for (int32_t i = 0; i < count; ++i)
      f.emplace_back(pairs[i].fieldId,
                     pairs[i].value ? std::string(pairs[i].value, pairs[i].length) : "*");
    filters.push_back(f);
    return 1;
  }
  static constexpr KovoRxControlOps kOps = {nullptr, nullptr, nullptr, &AddFilter, nullptr};
  static KovoRxControl* Get(int32_t kind, const KovoRxNotifier*) {
    kinds.push_back(kind);
    control.ops = &kOps;
    return &control;
  }
  static void Destroy(KovoRxControl*) { ++destroyed; }
};

TEST(OrderManagerTest, RegistersOneControlOfTheHostsKindAndAFilterPerCall) {
  CHostFunctions host;
  // Without the control function nothing is registered.
  {
    COrderManager m;
    m.Register(host, "kovo_trader", "S1");
    EXPECT_EQ(m.Control(), nullptr);
  }
  host.getRxControl = &ControlRecorder::Get;
  host.destroyRxControl = &ControlRecorder::Destroy;
  for (const char* app : {"kovo_trader", "kovo_trader_now"}) {
    ControlRecorder::kinds.clear();
    ControlRecorder::filters.clear();
    ControlRecorder::destroyed = 0;
    {
      COrderManager m;
      m.Register(host, app, "S1");
      m.Register(host, app, "S1");
      EXPECT_EQ(m.Control(), &ControlRecorder::control);
    }
    const int32_t kind = std::string_view(app) == "kovo_trader_now" ? 2 : 0;
    EXPECT_EQ(ControlRecorder::kinds, std::vector<int32_t>{kind}) << app;
    EXPECT_EQ(ControlRecorder::destroyed, 1) << app;
    const std::vector<std::pair<int32_t, std::string>> filter = {
        {64016, "S1"}, {64001, "*"}, {64005, "*"}};
    EXPECT_EQ(ControlRecorder::filters, (std::vector{filter, filter})) << app;
  }
}

TEST(PriceUnitsTest, PrintsThenScalesByTheTruncatedMultiplier) {
  std::string text;
  EXPECT_EQ(PriceUnits(2500.5, 2, 100.0, &text), 250050);
  EXPECT_EQ(text, "2500.50");
  EXPECT_EQ(PriceUnits(2.125, 3, 1000.0, &text), 2125);
  EXPECT_EQ(text, "2.125");
  // k = 10000 / 10^4 = 1 for a four-decimal scrip; 250 / 100 truncates to 2.
  EXPECT_EQ(PriceUnits(1.2345, 4, 10000.0, &text), 12345);
  EXPECT_EQ(PriceUnits(3.5, 2, 250.0, &text), 700);
  EXPECT_EQ(PriceUnits(5000, 0, 1.0, &text), 5000);
  EXPECT_EQ(text, "5000");
  EXPECT_EQ(PriceUnits(21474836.47, 2, 100.0, &text), 2147483647);
  EXPECT_EQ(PriceUnits(21474836.48, 2, 100.0, &text), -1);
}

// The rule as it reads: print with "%.*lf", read the text back, scale.
int32_t PrintedUnits(double price, int32_t precision, double multiplier, std::string* text) {
  const int digits = precision < 0 ? 0 : (precision > 15 ? 15 : precision);
  char printed[400];
  std::snprintf(printed, sizeof printed, "%.*lf", digits, price);
  *text = printed;
  const double value = std::strtod(printed, nullptr);
  const double scale = std::pow(10.0, digits);
  const double k = std::trunc(multiplier / scale);
  const double units = std::floor(value * scale * k + 0.5);
  if (!(units <= 2147483647.0) || units < -2147483648.0) return -1;
  return static_cast<int32_t>(units);
}

TEST(PriceUnitsTest, MatchesPrintingAndReadingBackBitForBit) {
  std::vector<double> prices = {0.0,
                                -0.0,
                                0.5,
                                1.5,
                                2.5,
                                -2.5,
                                0.125,
                                0.375,
                                2.675,
                                1.005,
                                1.115,
                                0.045,
                                1e-7,
                                5e-16,
                                -0.004,
                                21474836.47,
                                21474836.475,
                                21474836.48,
                                -21474836.48,
                                -21474836.49,
                                2147483647.0,
                                2147483647.5,
                                2147483648.0,
                                -2147483648.0,
                                -2147483648.5,
                                4294967296.0,
                                123456789012.345,
                                1e15,
                                999999999999999.9,
                                1e17,
                                1e18,
                                9.3e18,
                                1e19,
                                1e22,
                                1e300,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::lowest(),
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(),
                                -std::numeric_limits<double>::quiet_NaN()};
  // Halves, quarters and eighths of whole and decimal prices, where the
  // printed rounding goes to even.
  for (int whole = 0; whole < 200; ++whole) {
    for (double part : {0.5, 0.25, 0.125, 0.0625, 0.005, 0.0005, 0.05}) {
      prices.push_back(whole + part);
      prices.push_back(-(whole + part));
      prices.push_back(whole * 1000.0 + part);
    }
  }
  // Prices in every range a tick could be in, and around the 32-bit edge.
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 10000; ++i) {
    const double magnitude = std::pow(10.0, static_cast<int>(random() % 13) - 4);
    const double price = std::uniform_real_distribution<double>(0, 10)(random) * magnitude;
    prices.push_back(i % 7 == 0 ? -price : price);
    prices.push_back(std::round(price * 100) / 100);  // a tick price, as callers pass it
  }
  for (int i = 0; i < 2000; ++i) {
    prices.push_back(std::uniform_real_distribution<double>(21474830, 21474840)(random));
    prices.push_back(std::uniform_real_distribution<double>(2147483000, 2147484000)(random));
  }
  const std::vector<double> multipliers = {1.0,
                                           100.0,
                                           10000.0,
                                           250.0,
                                           100.5,
                                           0.001,
                                           0.0,
                                           -100.0,
                                           1e7,
                                           1e12,
                                           3e9,
                                           1e300,
                                           1e-300,
                                           std::numeric_limits<double>::infinity(),
                                           std::numeric_limits<double>::quiet_NaN()};
  const std::vector<int32_t> precisions = {-3, 0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 14, 15, 16, 40};
  size_t compared = 0;
  std::string text, expectedText;
  for (double price : prices) {
    for (int32_t precision : precisions) {
      // Every multiplier on a sample, the usual ones everywhere.
      const size_t count = compared % 17 == 0 ? multipliers.size() : 3;
      for (size_t m = 0; m < count; ++m) {
        const double multiplier = multipliers[m];
        const int32_t expected = PrintedUnits(price, precision, multiplier, &expectedText);
        ASSERT_EQ(PriceUnits(price, precision, multiplier, &text), expected)
            << std::setprecision(17) << price << " precision " << precision << " multiplier "
            << multiplier;
        ASSERT_EQ(text, expectedText) << std::setprecision(17) << price;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 500000u);
}

TEST(TagTextTest, IsTheDecimalTextOfTheTag) {
  std::vector<int32_t> tags = {0,
                               1,
                               -1,
                               9,
                               10,
                               99,
                               100,
                               std::numeric_limits<int32_t>::max(),
                               std::numeric_limits<int32_t>::min()};
  std::mt19937 random(7);
  for (int i = 0; i < 10000; ++i) tags.push_back(static_cast<int32_t>(random()));
  for (int32_t tag : tags) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%ld", static_cast<long>(tag));
    EXPECT_EQ(TagText(tag), expected);
    char buffer[kTagTextCap];
    EXPECT_EQ(std::string(TagChars(tag, buffer)), expected);
    EXPECT_EQ(std::strlen(buffer), std::strlen(expected));  // NUL-terminated
    EXPECT_EQ(COrderManager::Key("S|x", tag), std::string("S|x|") + expected);
  }
}

}  // namespace
}  // namespace kovo
