#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <set>
#include <thread>

#include "unit/orders/orders_fixture.h"

namespace kovo {
namespace {

using OrderConcurrencyTest = OrdersFixture;

// Eight strategy threads place, modify, cancel and query while the host's
// thread delivers the order updates.
TEST_F(OrderConcurrencyTest, CallersAndUpdatesShareTheBooksSafely) {
  Load();
  sApiScript* scripts[2] = {Open("A"), Open("B")};
  constexpr int kThreads = 8;
  constexpr int kOrders = 60;
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      sApiScript* s = scripts[t % 2];
      for (int k = 0; k < kOrders; ++k) {
        const std::string ref = "T" + std::to_string(t) + "-" + std::to_string(k);
        api->PlaceOrder(s, Buy(ref), nullptr);
        // Every thread also races the same number on its script.
        api->PlaceOrder(s, Buy("shared-" + std::to_string(k)), nullptr);
        api->GetOrderStatus(s, ref);
        if (k % 3 == 0) api->ModifyOrder(s, {ref, "DAY", "LIMIT", 2, 2501, 0, 0}, nullptr);
        if (k % 5 == 0) api->CancelOrder(s, ref, nullptr);
      }
      ++finished;
    });
  }
  // The UI thread: serve the callers' sends and number every new order.
  std::set<int32_t> numbered;
  int64_t next = 5000000;
  auto deliver = [&] {
    for (sApiScript* s : scripts) {
      for (sApiOrderInfo* o : Orders(s)) {
        if (o->action != kActionNewOrder || !numbered.insert(o->tag).second) continue;
        Update(s == scripts[0] ? "A" : "B", std::to_string(next++), o->tag, "open", "1", "250000");
      }
    }
  };
  while (finished.load() < kThreads) {
    ui.Pump(1000);
    deliver();
    ui.WaitForTasks(std::chrono::milliseconds(1));
  }
  for (auto& th : threads) th.join();
  ui.Pump(100000);
  deliver();

  // Each thread's own numbers once each, each shared number once per script.
  EXPECT_EQ(api->ApiOrderCount(), size_t{kThreads * kOrders + 2 * kOrders});
  std::set<int32_t> tags;
  size_t rows = 0;
  for (sApiScript* s : scripts) {
    std::set<std::string> references;
    for (sApiOrderInfo* o : Orders(s)) {
      EXPECT_TRUE(tags.insert(o->tag).second);
      if (o->action == kActionNewOrder) {
        EXPECT_TRUE(references.insert(o->referenceNumber).second);
      }
    }
    rows += s->ordersWindow.Rows().size();
    EXPECT_EQ(s->ordersWindow.Rows().size(), Orders(s).size());
  }
  EXPECT_EQ(rows, tags.size());
  for (int t = 0; t < kThreads; ++t) {
    const sOrderStatus st = api->GetOrderStatus(scripts[t % 2], "T" + std::to_string(t) + "-1");
    EXPECT_EQ(st.status, "open");
    EXPECT_DOUBLE_EQ(st.averagePrice, 2500.0);
  }
}

// Strategy threads flat out while the UI thread is busy elsewhere: the UI
// queue must not grow with the orders, and once served each window shows
// every action of its script exactly once, newest first.
TEST_F(OrderConcurrencyTest, RowsWaitingForABusyUiThreadKeepItsQueueBounded) {
  Load();
  BeepSwitch(true);
  const size_t beepsBefore = Beeps();
  sApiScript* scripts[2] = {Open("A"), Open("B")};
  const size_t queuedBefore = ui.PendingTasks();
  constexpr int kThreads = 4;
  constexpr int kOrders = 1500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kOrders; ++k) {
        sPlaceRequest r = Buy("T" + std::to_string(t) + "-" + std::to_string(k));
        // Every fifth order waits in the window for the user.
        if (k % 5 == 0) r = Buy(r.referenceNumber, "NFO", "NIFTY26DECFUT");
        api->PlaceOrder(scripts[t % 2], r, nullptr);
      }
    });
  }
  for (auto& th : threads) th.join();
  // Not pumped: one drain per window at most.
  EXPECT_LE(ui.PendingTasks(), queuedBefore + 2);
  for (sApiScript* s : scripts) EXPECT_TRUE(s->ordersWindow.Rows().empty());

  // An order placed on the UI thread comes after every queued one, at once.
  api->PlaceOrder(scripts[0], Buy("UI-1"), nullptr);
  ASSERT_FALSE(scripts[0]->ordersWindow.Rows().empty());
  EXPECT_EQ(scripts[0]->ordersWindow.Rows().front()->referenceNumber, "UI-1");

  ui.Pump(1u << 20);
  EXPECT_EQ(ui.PendingTasks(), 0u);
  size_t total = 0;
  for (sApiScript* s : scripts) {
    const std::vector<sApiOrderInfo*> orders = Orders(s);
    total += orders.size();
    const std::deque<sApiOrderInfo*>& rows = s->ordersWindow.Rows();
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), orders.rbegin(), orders.rend()));
    EXPECT_EQ(std::set<sApiOrderInfo*>(rows.begin(), rows.end()).size(), orders.size());
    ASSERT_NE(s->ordersWindow.List(), nullptr);
    EXPECT_EQ(s->ordersWindow.List()->ItemCount(), static_cast<int>(orders.size()));
    EXPECT_TRUE(s->ordersWindow.IsPlaceEnabled());  // held orders among them
  }
  EXPECT_EQ(total, size_t{kThreads * kOrders + 1});
  EXPECT_EQ(Beeps() - beepsBefore, total);
}

}  // namespace
}  // namespace kovo
