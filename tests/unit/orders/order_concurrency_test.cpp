#include <gtest/gtest.h>

#include <atomic>
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

}  // namespace
}  // namespace kovo
