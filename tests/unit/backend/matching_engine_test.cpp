#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {
namespace {

constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata

class MatchingEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("TZ", "Asia/Kolkata", 1), 0);
    tzset();
    ASSERT_NE(tcs, nullptr);
    ASSERT_NE(option, nullptr);
  }

  static int64_t OnTick(int64_t price, int64_t tick) { return std::max(tick, price / tick * tick); }
  int64_t Market(const Scrip& s, int64_t t) const { return prices.PriceAt(s, t); }
  // Far enough either side of the market that minutes of movement cannot reach it.
  int64_t Through(const Scrip& s, int32_t side) const {
    return side == 1 ? OnTick(Market(s, kNow) * 3, s.tickSize) : s.tickSize;
  }
  int64_t Away(const Scrip& s, int32_t side) const {
    return side == 1 ? OnTick(Market(s, kNow) / 3, s.tickSize)
                     : OnTick(Market(s, kNow) * 3, s.tickSize);
  }

  OrderRequest Limit(const std::string& number, const Scrip& s, int32_t side, int64_t quantity,
                     int64_t price) const {
    OrderRequest r;
    r.orderNumber = number;
    r.tag = "tag-" + number;
    r.strategy = "Momentum";
    r.exchSeg = s.exchSeg;
    r.token = s.token;
    r.side = side;
    r.quantity = quantity;
    r.price = price;
    r.productType = "MIS";
    return r;
  }

  static void ExpectEchoes(const std::vector<OrderUpdate>& updates, const OrderRequest& r) {
    for (const OrderUpdate& u : updates) {
      EXPECT_EQ(u.orderNumber, r.orderNumber);
      EXPECT_EQ(u.tag, r.tag);
      EXPECT_EQ(u.strategy, r.strategy);
      EXPECT_EQ(u.exchSeg, r.exchSeg);
      EXPECT_EQ(u.token, r.token);
      EXPECT_EQ(u.legCode, "1");
    }
  }

  ScripMaster master{1, kNow};
  PriceModel prices{1};
  MatchingEngine engine{master, prices};
  const Scrip* tcs = master.Find("nse_cm", "11536");
  const Scrip* option = master.FindByTradingSymbol("nse_fo", "NIFTY10DEC2624000CE");
};

TEST_F(MatchingEngineTest, RejectsInvalidOrdersWithAReason) {
  const OrderRequest valid = Limit("base", *option, 1, 150, Away(*option, 1));
  struct Case {
    const char* what;
    std::function<void(OrderRequest&)> spoil;
  };
  const Case cases[] = {
      {"unknown scrip", [](OrderRequest& r) { r.token = "424242"; }},
      {"scrip of another segment", [](OrderRequest& r) { r.exchSeg = "bse_cm"; }},
      {"index",
       [](OrderRequest& r) {
         r.exchSeg = "nse_cm";
         r.token = "26000";
       }},
      {"side 0", [](OrderRequest& r) { r.side = 0; }},
      {"market order type", [](OrderRequest& r) { r.orderType = 2; }},
      {"validity 2", [](OrderRequest& r) { r.validity = 2; }},
      {"zero quantity", [](OrderRequest& r) { r.quantity = 0; }},
      {"negative quantity", [](OrderRequest& r) { r.quantity = -75; }},
      {"part of a lot", [](OrderRequest& r) { r.quantity = 100; }},
      {"zero price", [](OrderRequest& r) { r.price = 0; }},
      {"price off the tick", [](OrderRequest& r) { r.price += 2; }},
      {"stop loss without trigger", [](OrderRequest& r) { r.orderType = 3; }},
      {"trigger off the tick",
       [](OrderRequest& r) {
         r.orderType = 3;
         r.triggerPrice = r.price - 3;
       }},
      {"buy trigger above price",
       [](OrderRequest& r) {
         r.orderType = 3;
         r.triggerPrice = r.price + 5;
       }},
      {"sell trigger below price",
       [](OrderRequest& r) {
         r.side = 2;
         r.orderType = 3;
         r.triggerPrice = r.price - 5;
       }},
      {"negative disclosed", [](OrderRequest& r) { r.disclosedQuantity = -1; }},
      {"disclosed above quantity", [](OrderRequest& r) { r.disclosedQuantity = 225; }},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OrderRequest r = valid;
    r.orderNumber = "bad" + std::to_string(++n);
    c.spoil(r);
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].status, "rejected");
    EXPECT_FALSE(updates[0].reason.empty());
    EXPECT_EQ(updates[0].filledQuantity, 0);
    EXPECT_EQ(updates[0].pendingQuantity, 0);
    EXPECT_EQ(updates[0].time, kNow);
    ExpectEchoes(updates, r);
    ASSERT_TRUE(engine.Find(r.orderNumber).has_value());
    EXPECT_EQ(engine.Find(r.orderNumber)->status, "rejected");
  }
  EXPECT_EQ(engine.LiveOrders(), 0u);

  OrderRequest nameless = valid;
  nameless.orderNumber.clear();
  const std::vector<OrderUpdate> none = engine.Place(nameless, kNow);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].status, "rejected");
  EXPECT_FALSE(none[0].reason.empty());
  EXPECT_FALSE(engine.Find("").has_value());

  // The untouched order and stop losses waiting on either side go through, so
  // each case above failed for its own fault.
  OrderRequest stop = valid;
  stop.orderNumber = "stop";
  stop.orderType = 3;
  stop.price = stop.triggerPrice = Through(*option, 1);
  stop.disclosedQuantity = 150;
  OrderRequest sellStop = Limit("sell stop", *option, 2, 75, option->tickSize);
  sellStop.orderType = 3;
  sellStop.triggerPrice = Away(*option, 1);
  for (const OrderRequest& r : {valid, stop, sellStop}) {
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 1u) << r.orderNumber;
    EXPECT_EQ(updates[0].status, r.orderType == 3 ? "trigger pending" : "open");
    EXPECT_EQ(updates[0].pendingQuantity, r.quantity);
    EXPECT_TRUE(updates[0].reason.empty());
  }
  EXPECT_EQ(engine.LiveOrders(), 3u);

  // A number in use is refused and the order holding it is left alone.
  OrderRequest again = Limit("base", *tcs, 1, 1, Through(*tcs, 1));
  const std::vector<OrderUpdate> duplicate = engine.Place(again, kNow);
  ASSERT_EQ(duplicate.size(), 1u);
  EXPECT_EQ(duplicate[0].status, "rejected");
  EXPECT_EQ(duplicate[0].orderNumber, "base");
  EXPECT_FALSE(duplicate[0].reason.empty());
  EXPECT_EQ(engine.Find("base")->status, "open");
  EXPECT_EQ(engine.Find("base")->token, option->token);
  EXPECT_EQ(engine.Find("base")->pendingQuantity, 150);
  EXPECT_EQ(engine.LiveOrders(), 3u);
}

TEST_F(MatchingEngineTest, LimitOrdersFillWhenMarketableAtTheBetterPrice) {
  const int64_t market = Market(*tcs, kNow);
  // Marketable at or through the market: filled at the market, which is the better price.
  for (const auto& [side, price] : {std::pair{1, Through(*tcs, 1)}, std::pair{2, Through(*tcs, 2)},
                                    std::pair{1, market}, std::pair{2, market}}) {
    const OrderRequest r =
        Limit("m" + std::to_string(side) + "-" + std::to_string(price), *tcs, side, 1, price);
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 2u) << r.orderNumber;
    ExpectEchoes(updates, r);
    EXPECT_EQ(updates[0].status, "open");
    EXPECT_EQ(updates[0].pendingQuantity, 1);
    EXPECT_EQ(updates[1].status, "complete");
    EXPECT_EQ(updates[1].filledQuantity, 1);
    EXPECT_EQ(updates[1].pendingQuantity, 0);
    EXPECT_EQ(updates[1].lastFillQuantity, 1);
    EXPECT_EQ(updates[1].lastFillPrice, market);
    EXPECT_EQ(updates[1].averagePrice, market);
    EXPECT_EQ(engine.Find(r.orderNumber)->status, "complete");
  }

  // One tick short of the market, or far away: open, unfilled.
  for (const auto& [side, price] : {std::pair{1, market - 5}, std::pair{2, market + 5},
                                    std::pair{1, Away(*tcs, 1)}, std::pair{2, Away(*tcs, 2)}}) {
    const OrderRequest r =
        Limit("w" + std::to_string(side) + "-" + std::to_string(price), *tcs, side, 1, price);
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 1u) << r.orderNumber;
    EXPECT_EQ(updates[0].status, "open");
    EXPECT_EQ(updates[0].filledQuantity, 0);
  }
  EXPECT_EQ(engine.LiveOrders(), 4u);
  engine.Cancel("w1-" + std::to_string(market - 5), kNow);
  engine.Cancel("w2-" + std::to_string(market + 5), kNow);
  // The far ones wait through a few minutes of market.
  EXPECT_TRUE(engine.OnClock(kNow + 300).empty());
  EXPECT_EQ(engine.LiveOrders(), 2u);
}

TEST_F(MatchingEngineTest, LargeOrdersFillAChunkPerSecond) {
  // 10 lots: a third rounded up to whole lots is 4 lots, so 4 + 4 + 2.
  const OrderRequest r = Limit("big", *option, 1, 750, Through(*option, 1));
  std::vector<OrderUpdate> updates = engine.Place(r, kNow);
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[1].status, "open");
  EXPECT_EQ(updates[1].lastFillQuantity, 300);
  EXPECT_EQ(updates[1].pendingQuantity, 450);
  EXPECT_EQ(updates[1].averagePrice, Market(*option, kNow));

  std::vector<OrderUpdate> later = engine.OnClock(kNow + 5);
  ExpectEchoes(later, r);
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0].time, kNow + 1);
  EXPECT_EQ(later[0].status, "open");
  EXPECT_EQ(later[0].lastFillQuantity, 300);
  EXPECT_EQ(later[0].lastFillPrice, Market(*option, kNow + 1));
  EXPECT_EQ(later[1].time, kNow + 2);
  EXPECT_EQ(later[1].status, "complete");
  EXPECT_EQ(later[1].lastFillQuantity, 150);
  EXPECT_EQ(later[1].filledQuantity, 750);
  EXPECT_EQ(later[1].pendingQuantity, 0);
  const double value = 300.0 * static_cast<double>(Market(*option, kNow)) +
                       300.0 * static_cast<double>(Market(*option, kNow + 1)) +
                       150.0 * static_cast<double>(Market(*option, kNow + 2));
  EXPECT_EQ(later[1].averagePrice, std::llround(value / 750.0));
  EXPECT_TRUE(engine.OnClock(kNow + 10).empty());

  // After a long silence only the last stretch is replayed, in time order across orders.
  engine.Place(Limit("b1", *tcs, 1, 9, Through(*tcs, 1)), kNow);
  engine.Place(Limit("b2", *tcs, 2, 9, Through(*tcs, 2)), kNow);
  const int64_t wake = kNow + 100000;
  updates = engine.OnClock(wake);
  ASSERT_EQ(updates.size(), 4u);
  for (size_t i = 0; i < updates.size(); ++i) {
    EXPECT_GE(updates[i].time, wake - 599);
    if (i > 0) {
      EXPECT_GE(updates[i].time, updates[i - 1].time);
    }
    EXPECT_EQ(updates[i].lastFillQuantity, 3);
    EXPECT_EQ(updates[i].lastFillPrice, Market(*tcs, updates[i].time));
  }
  EXPECT_EQ(updates.back().status, "complete");
  EXPECT_EQ(engine.LiveOrders(), 0u);
}

TEST_F(MatchingEngineTest, ImmediateOrCancelGetsOneChance) {
  OrderRequest r = Limit("ioc", *tcs, 1, 10, Through(*tcs, 1));
  r.validity = 5;
  std::vector<OrderUpdate> updates = engine.Place(r, kNow);
  ASSERT_GE(updates.size(), 2u);
  ExpectEchoes(updates, r);
  EXPECT_EQ(updates[updates.size() - 2].lastFillQuantity, 4) << "ceil(10 / 3)";
  EXPECT_EQ(updates.back().status, "cancelled");
  EXPECT_EQ(updates.back().filledQuantity, 4);
  EXPECT_EQ(updates.back().averagePrice, Market(*tcs, kNow));
  EXPECT_EQ(updates.back().pendingQuantity, 0);

  OrderRequest missed = Limit("ioc-missed", *tcs, 2, 10, Away(*tcs, 2));
  missed.validity = 5;
  updates = engine.Place(missed, kNow);
  ASSERT_FALSE(updates.empty());
  for (const OrderUpdate& u : updates) EXPECT_EQ(u.lastFillQuantity, 0);
  EXPECT_EQ(updates.back().status, "cancelled");
  EXPECT_EQ(updates.back().filledQuantity, 0);

  // A whole order that fits in one chunk completes instead.
  OrderRequest small = Limit("ioc-small", *tcs, 1, 1, Through(*tcs, 1));
  small.validity = 5;
  EXPECT_EQ(engine.Place(small, kNow).back().status, "complete");
  EXPECT_EQ(engine.LiveOrders(), 0u);
  EXPECT_TRUE(engine.OnClock(kNow + 30).empty());
}

TEST_F(MatchingEngineTest, StopLossWaitsForItsTrigger) {
  // Find a stretch where the market climbs above where it starts.
  int64_t start = kNow, trigger = 0, crossing = 0;
  for (; start < kNow + 86400 && crossing == 0; start += 600) {
    const int64_t first = Market(*tcs, start);
    for (int64_t t = start + 1; t <= start + 300; ++t) {
      if (Market(*tcs, t) >= first + 3 * tcs->tickSize) {
        trigger = first + 3 * tcs->tickSize;
        crossing = t;
        break;
      }
    }
    if (crossing != 0) break;
  }
  ASSERT_NE(crossing, 0) << "the market never rose by three ticks";
  OrderRequest r = Limit("sl", *tcs, 1, 2, Through(*tcs, 1));
  r.orderType = 3;
  r.triggerPrice = trigger;
  std::vector<OrderUpdate> updates = engine.Place(r, start);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "trigger pending");
  EXPECT_EQ(updates[0].pendingQuantity, 2);
  EXPECT_TRUE(engine.OnClock(crossing - 1).empty());
  updates = engine.OnClock(start + 600);
  ExpectEchoes(updates, r);
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[0].status, "open");
  EXPECT_EQ(updates[0].time, crossing);
  EXPECT_EQ(updates[1].time, crossing) << "a triggered order trades in the same second";
  EXPECT_EQ(updates[1].lastFillPrice, Market(*tcs, crossing));
  EXPECT_EQ(updates[2].status, "complete");
  EXPECT_EQ(updates[2].time, crossing + 1);

  // A sell stop triggers when the market is at or below its trigger.
  OrderRequest sell = Limit("sell-sl", *tcs, 2, 1, tcs->tickSize);
  sell.orderType = 3;
  sell.triggerPrice = Away(*tcs, 2);
  updates = engine.Place(sell, kNow);
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[0].status, "trigger pending");
  EXPECT_EQ(updates[1].status, "open");
  EXPECT_EQ(updates[2].status, "complete");
  EXPECT_EQ(updates[2].lastFillPrice, Market(*tcs, kNow));

  sell.orderNumber = "sell-sl-waiting";
  sell.triggerPrice = Away(*tcs, 1);
  updates = engine.Place(sell, kNow);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "trigger pending");
  EXPECT_TRUE(engine.OnClock(kNow + 120).empty());
  EXPECT_EQ(engine.LiveOrders(), 1u);
}

TEST_F(MatchingEngineTest, ModifyAndCancelFollowTheOrdersState) {
  const int64_t t = kNow + 60;
  ASSERT_EQ(engine.Place(Limit("m", *tcs, 1, 9, Away(*tcs, 1)), kNow).size(), 1u);

  // Invalid changes leave the order as it was.
  OrderChange bad{1, 1, 9, Through(*tcs, 1) + 1, 0, 0};
  std::vector<OrderUpdate> updates = engine.Modify("m", bad, t);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "open");
  EXPECT_FALSE(updates[0].reason.empty());
  EXPECT_EQ(updates[0].pendingQuantity, 9);
  EXPECT_TRUE(engine.OnClock(t).empty()) << "still at its old, far price";

  // Through the market: it trades at once, a chunk.
  const OrderChange through{1, 1, 9, Through(*tcs, 1), 0, 0};
  updates = engine.Modify("m", through, t);
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[0].status, "open");
  EXPECT_TRUE(updates[0].reason.empty());
  EXPECT_EQ(updates[0].time, t);
  EXPECT_EQ(updates[1].lastFillQuantity, 3);
  EXPECT_EQ(updates[1].lastFillPrice, Market(*tcs, t));

  // Not down to what has filled already.
  const OrderChange tooSmall{1, 1, 3, Through(*tcs, 1), 0, 0};
  updates = engine.Modify("m", tooSmall, t);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_FALSE(updates[0].reason.empty());
  EXPECT_EQ(updates[0].filledQuantity, 3);
  EXPECT_EQ(updates[0].pendingQuantity, 6);

  // Turned into a stop loss that waits far above the market.
  const OrderChange stop{3, 1, 6, Through(*tcs, 1), Through(*tcs, 1), 0};
  updates = engine.Modify("m", stop, t);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "trigger pending");
  EXPECT_EQ(updates[0].pendingQuantity, 3);
  EXPECT_TRUE(engine.OnClock(t + 60).empty());

  // Cancelled: what filled stays filled.
  updates = engine.Cancel("m", t + 61);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "cancelled");
  EXPECT_EQ(updates[0].filledQuantity, 3);
  EXPECT_EQ(updates[0].pendingQuantity, 0);
  EXPECT_EQ(updates[0].time, t + 61);
  EXPECT_EQ(engine.LiveOrders(), 0u);
  EXPECT_EQ(engine.Find("m")->status, "cancelled");

  // Finished orders and unknown ones.
  for (const auto& result : {engine.Cancel("m", t + 62), engine.Modify("m", through, t + 62)}) {
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].status, "cancelled");
    EXPECT_EQ(result[0].reason, "order is not open");
    EXPECT_EQ(result[0].filledQuantity, 3);
  }
  engine.Place(Limit("done", *tcs, 2, 1, Through(*tcs, 2)), t);
  ASSERT_EQ(engine.Find("done")->status, "complete");
  for (const auto& result : {engine.Cancel("done", t + 1), engine.Modify("done", through, t + 1)}) {
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].status, "complete");
    EXPECT_EQ(result[0].reason, "order is not open");
  }
  for (const auto& result : {engine.Cancel("nobody", t), engine.Modify("nobody", through, t)}) {
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].status, "rejected");
    EXPECT_EQ(result[0].reason, "unknown order");
    EXPECT_EQ(result[0].orderNumber, "nobody");
  }
  EXPECT_FALSE(engine.Find("nobody").has_value());
  EXPECT_EQ(engine.Find("done")->status, "complete");
}

}  // namespace
}  // namespace kovo::backend
