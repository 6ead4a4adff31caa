#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {
namespace {

constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata

class MatchingEngineTest : public ::testing::Test {
 protected:
  static int64_t OnTick(int64_t price, int64_t tick) { return std::max(tick, price / tick * tick); }
  int64_t Market(const Scrip& s, int64_t t) const { return prices.PriceAt(s, t); }
  // Far enough above or below the market that minutes of movement cannot reach it.
  int64_t Above(const Scrip& s) const { return OnTick(Market(s, kNow) * 3, s.tickSize); }
  int64_t Below(const Scrip& s) const { return OnTick(Market(s, kNow) / 3, s.tickSize); }
  // A day limit order unless told otherwise: orderType 3 is a stop loss, validity 5 IOC.
  static OrderRequest Order(const std::string& number, const Scrip& s, int32_t side,
                            int64_t quantity, int64_t price, int32_t orderType = 1,
                            int64_t triggerPrice = 0, int32_t validity = 1) {
    return {number,   "tag-" + number, "Momentum", s.exchSeg,    s.token, side,  orderType,
            validity, quantity,        price,      triggerPrice, 0,       "MIS", "A1"};
  }
  static void ExpectEchoes(const std::vector<OrderUpdate>& updates, const OrderRequest& r) {
    for (const OrderUpdate& u : updates)
      EXPECT_EQ(std::tie(u.orderNumber, u.tag, u.strategy, u.exchSeg, u.token),
                std::tie(r.orderNumber, r.tag, r.strategy, r.exchSeg, r.token));
  }

  ScripMaster master{1, kNow};
  PriceModel prices{1};
  MatchingEngine engine{master, prices};
  const Scrip* tcs = master.Find("nse_cm", "11536");
  const Scrip* option = master.FindByTradingSymbol("nse_fo", "NIFTY10DEC2624000CE");
};

TEST_F(MatchingEngineTest, RejectsInvalidOrdersWithAReason) {
  // A buy stop loss waiting above the market.
  const OrderRequest stop = Order("stop", *option, 1, 150, Above(*option) + 5, 3, Above(*option));
  const std::pair<const char*, std::function<void(OrderRequest&)>> cases[] = {
      {"unknown scrip", [](OrderRequest& r) { r.token = "424242"; }},
      {"scrip of another segment", [](OrderRequest& r) { r.exchSeg = "bse_cm"; }},
      {"index",
       [](OrderRequest& r) { std::tie(r.exchSeg, r.token) = std::pair("nse_cm", "26000"); }},
      {"side 0", [](OrderRequest& r) { r.side = 0; }},
      {"market order type", [](OrderRequest& r) { r.orderType = 2; }},
      {"validity 2", [](OrderRequest& r) { r.validity = 2; }},
      {"zero quantity", [](OrderRequest& r) { r.quantity = 0; }},
      {"negative quantity", [](OrderRequest& r) { r.quantity = -75; }},
      {"part of a lot", [](OrderRequest& r) { r.quantity = 100; }},
      {"zero limit price",
       [](OrderRequest& r) { std::tie(r.orderType, r.price) = std::pair(1, 0); }},
      {"price off the tick", [](OrderRequest& r) { r.price += 2; }},
      {"negative disclosed", [](OrderRequest& r) { r.disclosedQuantity = -1; }},
      {"disclosed above quantity", [](OrderRequest& r) { r.disclosedQuantity = 225; }},
      {"no order number", [](OrderRequest& r) { r.orderNumber.clear(); }},
      {"stop loss without trigger", [](OrderRequest& r) { r.triggerPrice = 0; }},
      {"trigger off the tick", [](OrderRequest& r) { r.triggerPrice -= 3; }},
      {"buy trigger above price", [](OrderRequest& r) { r.triggerPrice = r.price + 5; }},
      {"sell trigger below price", [](OrderRequest& r) { r.side = 2; }},
  };
  for (const auto& [what, spoil] : cases) {
    SCOPED_TRACE(what);
    OrderRequest r = stop;
    r.orderNumber = what;
    spoil(r);
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].status, "rejected");
    EXPECT_FALSE(updates[0].reason.empty());
    ExpectEchoes(updates, r);
    if (r.orderNumber.empty()) continue;
    ASSERT_TRUE(engine.Find(r.orderNumber).has_value());
    EXPECT_EQ(engine.Find(r.orderNumber)->status, "rejected");
  }
  // The untouched order and a sell stop waiting below the market go through, so
  // each case above failed for its own fault.
  for (const OrderRequest& r :
       {stop, Order("sell", *option, 2, 75, option->tickSize, 3, Below(*option))}) {
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 1u) << r.orderNumber;
    EXPECT_EQ(updates[0].status, "trigger pending");
    EXPECT_EQ(updates[0].pendingQuantity, r.quantity);
  }
  // A number in use is refused and the order holding it is left alone.
  const auto duplicate = engine.Place(Order("stop", *tcs, 1, 1, Above(*tcs)), kNow);
  ASSERT_EQ(duplicate.size(), 1u);
  EXPECT_EQ(duplicate[0].status, "rejected");
  EXPECT_EQ(engine.Find("stop")->token, option->token);
}

TEST_F(MatchingEngineTest, LimitOrdersFillAtTheBetterPriceAChunkPerSecondIocOnce) {
  const int64_t market = Market(*tcs, kNow);
  // Marketable at or through the market: filled at the market, which is the better price.
  int n = 0;
  for (const auto& [side, price] : {std::pair{1, Above(*tcs)}, std::pair{2, Below(*tcs)},
                                    std::pair{1, market}, std::pair{2, market}}) {
    const OrderRequest r = Order("m" + std::to_string(++n), *tcs, side, 1, price);
    const std::vector<OrderUpdate> updates = engine.Place(r, kNow);
    ASSERT_EQ(updates.size(), 2u) << r.orderNumber;
    ExpectEchoes(updates, r);
    EXPECT_EQ(updates[0].status, "open");
    EXPECT_EQ(updates[1].status, "complete");
    EXPECT_EQ(updates[1].lastFillPrice, market);
  }
  // 10 lots: a third rounded up to whole lots is 4 lots, so 4 + 4 + 2.
  const OrderRequest r = Order("big", *option, 1, 750, Above(*option));
  std::vector<OrderUpdate> updates = engine.Place(r, kNow);
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[1].lastFillQuantity, 300);
  EXPECT_EQ(updates[1].pendingQuantity, 450);
  std::vector<OrderUpdate> later = engine.OnClock(kNow + 5);
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0].time, kNow + 1);
  EXPECT_EQ(later[0].lastFillQuantity, 300);
  EXPECT_EQ(later[0].lastFillPrice, Market(*option, kNow + 1));
  EXPECT_EQ(later[1].time, kNow + 2);
  EXPECT_EQ(later[1].status, "complete");
  EXPECT_EQ(later[1].lastFillQuantity, 150);
  EXPECT_EQ(later[1].filledQuantity, 750);
  const double value = 300.0 * static_cast<double>(Market(*option, kNow)) +
                       300.0 * static_cast<double>(Market(*option, kNow + 1)) +
                       150.0 * static_cast<double>(Market(*option, kNow + 2));
  EXPECT_EQ(later[1].averagePrice, std::llround(value / 750.0));
  // Immediate or cancel: one chunk at most, then cancelled, unless that completes it.
  updates = engine.Place(Order("ioc", *tcs, 1, 10, Above(*tcs), 1, 0, 5), kNow);
  ASSERT_GE(updates.size(), 2u);
  EXPECT_EQ(updates[updates.size() - 2].lastFillQuantity, 4) << "ceil(10 / 3)";
  EXPECT_EQ(updates.back().status, "cancelled");
  EXPECT_EQ(updates.back().filledQuantity, 4);
  updates = engine.Place(Order("ioc-missed", *tcs, 2, 10, Above(*tcs), 1, 0, 5), kNow);
  EXPECT_EQ(updates.back().status, "cancelled");
  EXPECT_EQ(updates.back().filledQuantity, 0);
  updates = engine.Place(Order("ioc-small", *tcs, 1, 1, Above(*tcs), 1, 0, 5), kNow);
  EXPECT_EQ(updates.back().status, "complete");
  EXPECT_EQ(engine.LiveOrders(), 0u);
  // One tick short of the market: open, unfilled.
  for (const auto& [side, price] : {std::pair{1, market - 5}, std::pair{2, market + 5}}) {
    updates = engine.Place(Order("w" + std::to_string(++n), *tcs, side, 1, price), kNow);
    ASSERT_EQ(updates.size(), 1u) << n;
    EXPECT_EQ(updates[0].status, "open");
  }
}

TEST_F(MatchingEngineTest, StopLossWaitsForItsTrigger) {
  // Trigger exactly at the first price three ticks or more above the market at placement.
  int64_t start = kNow, crossing = kNow + 1;
  while (Market(*tcs, crossing) < Market(*tcs, start) + 3 * tcs->tickSize)
    if (++crossing > start + 300) start = crossing;
  const int64_t trigger = Market(*tcs, crossing);
  std::vector<OrderUpdate> updates =
      engine.Place(Order("sl", *tcs, 1, 2, Above(*tcs), 3, trigger), start);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "trigger pending");
  EXPECT_TRUE(engine.OnClock(crossing - 1).empty());
  updates = engine.OnClock(start + 600);
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[0].status, "open");
  EXPECT_EQ(updates[0].time, crossing);
  EXPECT_EQ(updates[1].time, crossing) << "a triggered order trades in the same second";
  EXPECT_EQ(updates[1].lastFillPrice, Market(*tcs, crossing));
  EXPECT_EQ(updates[2].status, "complete");
  // A sell stop triggers when the market is at or below its trigger.
  updates = engine.Place(Order("sell-sl", *tcs, 2, 1, tcs->tickSize, 3, Above(*tcs)), kNow);
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[2].status, "complete");
  EXPECT_EQ(engine.Place(Order("wait", *tcs, 2, 1, 5, 3, Below(*tcs)), kNow).size(), 1u);
  EXPECT_TRUE(engine.OnClock(kNow + 120).empty());
}

TEST_F(MatchingEngineTest, ModifyAndCancelFollowTheOrdersState) {
  const int64_t t = kNow + 60;
  ASSERT_EQ(engine.Place(Order("m", *tcs, 1, 9, Below(*tcs)), kNow).size(), 1u);
  // Invalid changes leave the order as it was.
  OrderChange bad{1, 1, 9, Above(*tcs) + 1, 0, 0};
  std::vector<OrderUpdate> updates = engine.Modify("m", bad, t);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "open");
  EXPECT_FALSE(updates[0].reason.empty());
  EXPECT_TRUE(engine.OnClock(t).empty()) << "still at its old, far price";
  // Through the market: it trades at once, a chunk.
  const OrderChange through{1, 1, 9, Above(*tcs), 0, 0};
  updates = engine.Modify("m", through, t);
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[1].lastFillQuantity, 3);
  EXPECT_EQ(updates[1].lastFillPrice, Market(*tcs, t));
  // Not down to what has filled already.
  const OrderChange tooSmall{1, 1, 3, Above(*tcs), 0, 0};
  updates = engine.Modify("m", tooSmall, t);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_FALSE(updates[0].reason.empty());
  EXPECT_EQ(updates[0].pendingQuantity, 6);
  // Cancelled: what filled stays filled.
  updates = engine.Cancel("m", t + 61);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].status, "cancelled");
  EXPECT_EQ(updates[0].filledQuantity, 3);
  EXPECT_EQ(engine.LiveOrders(), 0u);
  // Finished orders and unknown ones.
  engine.Place(Order("done", *tcs, 2, 1, Below(*tcs)), t);
  for (const auto& result : {engine.Cancel("m", t + 62), engine.Modify("m", through, t + 62),
                             engine.Cancel("done", t + 1), engine.Modify("done", through, t + 1)}) {
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].status, result[0].orderNumber == "m" ? "cancelled" : "complete");
    EXPECT_EQ(result[0].reason, "order is not open");
  }
  for (const auto& result : {engine.Cancel("nobody", t), engine.Modify("nobody", through, t)}) {
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].status, "rejected");
    EXPECT_EQ(result[0].reason, "unknown order");
  }
}

}  // namespace
}  // namespace kovo::backend
