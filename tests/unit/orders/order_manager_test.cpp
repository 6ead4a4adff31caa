#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kovo
