#include <gtest/gtest.h>

#include "unit/orders/orders_fixture.h"

namespace kovo {
namespace {

using OrderApiTest = OrdersFixture;

TEST_F(OrderApiTest, ScriptsNeedALoginAndGetOneWindowAndOneRow) {
  Load();
  const std::string user = cb->session.loggedInUserId;
  cb->session.loggedInUserId.clear();
  EXPECT_EQ(Open("alpha"), nullptr);
  EXPECT_EQ(Errors(),
            std::vector<std::string>{"ZintApi can not continue, user has not logged in zint"});
  EXPECT_TRUE(api->ScriptsView().Rows().empty());
  cb->session.loggedInUserId = user;

  sApiScript* s = Open("alpha");
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->ordersWindow.IsCreated());
  EXPECT_FALSE(s->ordersWindow.IsVisible());
  EXPECT_EQ(s->ordersWindow.Title(), "alpha Api Generated Orders");
  EXPECT_EQ(api->ScriptsView().Rows(), std::deque<sApiScript*>{s});
  EXPECT_TRUE(s->active);

  // Again with the handle: renamed and registered again, nothing new created.
  EXPECT_EQ(api->GetApiScript(s, "beta"), s);
  EXPECT_EQ(s->name, "beta");
  EXPECT_EQ(api->ScriptsView().Rows().size(), 1u);
  EXPECT_EQ(s->ordersWindow.Title(), "alpha Api Generated Orders");
  ASSERT_NE(UpdatesControl(), nullptr);
  EXPECT_EQ(UpdatesControl()->kind, 0);
  ASSERT_EQ(UpdatesControl()->filters.size(), 2u);
  EXPECT_EQ(UpdatesControl()->filters[1][0], (std::pair<int32_t, std::string>{64016, "beta"}));

  sApiScript* other = Open("gamma");
  EXPECT_EQ(api->ScriptsView().Rows(), (std::deque<sApiScript*>{other, s}));
  api->DeleteApiScript(s);
  EXPECT_EQ(api->ScriptsView().Rows(), std::deque<sApiScript*>{other});
  // A deleted handle is refused with a message, never followed.
  api->PlaceOrder(s, Buy("R1"), nullptr);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("not an open API script"), std::string::npos);
  EXPECT_TRUE(orderHost.Calls().empty());
}

// A null handle is a caller with nothing to act on: every call is a no-op
// that says nothing, even for a number the caller's other script knows.
TEST_F(OrderApiTest, NullHandleDoesNothingAndReportsNothing) {
  Load();
  BeepSwitch(true);
  sApiScript* s = Open("S");
  api->PlaceOrder(s, Buy("R1"), nullptr);
  Update("S", "1000001", Orders(s)[0]->tag, "open", "4", "250100");
  const size_t beeps = Beeps();
  const size_t calls = orderHost.Calls().size();
  const size_t rows = s->ordersWindow.Rows().size();
  const sStrategyTexts texts{"t1", "t2", "t3"};

  api->PlaceOrder(nullptr, Buy("R2"), nullptr);
  api->PlaceOrder(nullptr, Buy("R3"), &texts);
  api->ModifyOrder(nullptr, {"R1", "DAY", "LIMIT", 5, 2501, 0, 0}, nullptr);
  api->ModifyOrder(nullptr, {"R1", "DAY", "LIMIT", 5, 2501, 0, 0}, &texts);
  api->CancelOrder(nullptr, "R1", nullptr);
  api->CancelOrder(nullptr, "R1", &texts);
  const sOrderStatus st = api->GetOrderStatus(nullptr, "R1");
  api->DeleteApiScript(nullptr);

  EXPECT_EQ(st.status, "Order Not found");
  EXPECT_FALSE(st.found);
  EXPECT_TRUE(Messages().empty()) << Messages().front();
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Beeps(), beeps);
  EXPECT_EQ(orderHost.Calls().size(), calls);
  EXPECT_EQ(Orders(s).size(), 1u);
  EXPECT_EQ(s->ordersWindow.Rows().size(), rows);
  EXPECT_EQ(api->ApiOrderCount(), 1u);
  EXPECT_EQ(api->ScriptsView().Rows(), std::deque<sApiScript*>{s});
}

TEST_F(OrderApiTest, EachRefusalHasItsTextAndLeavesNoTrace) {
  Load();
  sApiScript* s = Open("S");
  struct Case {
    std::function<void(sPlaceRequest&)> change;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[](sPlaceRequest& r) { r.exchange = "XYZ"; },
       "ZintApi S -- Exchange is not valid to place order"},
      {[](sPlaceRequest& r) {
         r.exchange = "MCX";
         r.tradingSymbol = "CRUDEOIL26DECFUT";
       },
       "ZintApi S -- MCX exchange is not allowed to place api order"},
      {[](sPlaceRequest& r) { r.exchange = "MCXSX"; },
       "ZintApi S -- MCXSX exchange is not allowed to place api order"},
      {[](sPlaceRequest& r) { r.tradingSymbol = "NOSUCH"; },
       "ZintApi S -- NOSUCH scrip is not valid to place order"},
      {[](sPlaceRequest& r) { r.clientId = "bad id!"; },
       "ZintApi S -- bad id! client is not valid to place order"},
      {[](sPlaceRequest& r) { r.transactionType = "buy"; },
       "ZintApi S -- buy TransactionType is not valid to place order"},
      {[](sPlaceRequest& r) { r.orderType = "MARKET"; },
       "ZintApi S -- MARKET OrderType is not valid to place order"},
      {[](sPlaceRequest& r) { r.validity = "GTC"; },
       "ZintApi S -- GTC validity is not valid to place order"},
      // User text with a format directive is shown as it is.
      {[](sPlaceRequest& r) { r.validity = "%s%n"; },
       "ZintApi S -- %s%n validity is not valid to place order"},
  };
  for (const Case& c : cases) {
    sPlaceRequest r = Buy("R1");
    c.change(r);
    api->PlaceOrder(s, r, nullptr);
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back(), c.text);
  }
  EXPECT_EQ(Messages().size(), cases.size());
  EXPECT_TRUE(Orders(s).empty());
  EXPECT_TRUE(s->ordersWindow.Rows().empty());
  EXPECT_TRUE(orderHost.Calls().empty());
  EXPECT_EQ(api->ApiOrderCount(), 0u);

  // A refused number was never taken: it can be placed afterwards.
  api->PlaceOrder(s, Buy("R1"), nullptr);
  EXPECT_EQ(Orders(s).size(), 1u);

  api->SetActive(s, false);
  api->PlaceOrder(s, Buy("R2"), nullptr);
  EXPECT_EQ(Messages().back(), "ZintApi S -- is not active to place order");
  api->ModifyOrder(s, {"R1", "DAY", "LIMIT", 1, 1, 0, 0}, nullptr);
  EXPECT_EQ(Messages().back(), "ZintApi S -- is not active to modify order");
  api->CancelOrder(s, "R1", nullptr);
  EXPECT_EQ(Messages().back(), "ZintApi S -- is not active to cancel order");
  api->GetOrderStatus(s, "R1");
  EXPECT_EQ(Messages().back(), "ZintApi S -- is not active to give the status of the order");
  EXPECT_EQ(Orders(s).size(), 1u);
  api->SetActive(s, true);
  api->PlaceOrder(s, Buy("R2"), nullptr);
  EXPECT_EQ(Orders(s).size(), 2u);
}

TEST_F(OrderApiTest, PlacementBuildsTheEntryAndPrefersTheAlgoFunction) {
  Load();
  sApiScript* s = Open("S");
  sPlaceRequest r = Buy("R1");
  r.clientId = "CLIENT7";
  api->PlaceOrder(s, r, nullptr);
  auto calls = orderHost.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "place2_algo");
  EXPECT_EQ(calls[0].texts, std::vector<std::string>{"0"});
  const sOrderEntryInfo& e = calls[0].entry;
  EXPECT_EQ(FieldText(e.scripKey, sizeof e.scripKey), "nse_cm|2885");
  EXPECT_EQ(FieldText(e.strategy, sizeof e.strategy), "S");
  EXPECT_EQ(FieldText(e.clientAccount, sizeof e.clientAccount), "CLIENT7");
  EXPECT_EQ(FieldText(e.productType, sizeof e.productType), "MIS");
  EXPECT_EQ(e.proprietary, 0);
  EXPECT_EQ(e.price, 250050);
  EXPECT_EQ(e.triggerPrice, 0);  // LIMIT: the caller's trigger price is dropped
  EXPECT_EQ(e.orderType, 1);
  EXPECT_EQ(e.validity, 1);
  EXPECT_EQ(e.quantity, 10);
  EXPECT_EQ(calls[0].transactionType, 1);

  const auto orders = Orders(s);
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(calls[0].tag, TagText(orders[0]->tag));
  EXPECT_EQ(orders[0]->triggerPrice, "0.00");
  EXPECT_EQ(orders[0]->price, "2500.50");
  EXPECT_EQ(orders[0]->action, 1);
  EXPECT_FALSE(orders[0]->awaitingConfirmation);
  EXPECT_EQ(s->ordersWindow.Rows().front(), orders[0]);

  // SL SELL on a lot-sized scrip; a price past the limit goes as -1.
  sPlaceRequest sl = Buy("R2", "BSE", "RELIANCE");
  sl.transactionType = "SELL";
  sl.orderType = "SL";
  sl.validity = "IOC";
  sl.price = 300000;  // 300000 x 10^4 units
  sl.triggerPrice = 12.5;
  sl.disclosedQuantity = 3;
  api->PlaceOrder(s, sl, nullptr);
  calls = orderHost.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].entry.price, -1);
  EXPECT_EQ(calls[1].entry.triggerPrice, 125000);
  EXPECT_EQ(calls[1].entry.orderType, 3);
  EXPECT_EQ(calls[1].entry.validity, 5);
  EXPECT_EQ(calls[1].entry.disclosedQuantity, 3);
  EXPECT_EQ(calls[1].entry.proprietary, 1);
  EXPECT_EQ(calls[1].transactionType, 2);
  EXPECT_EQ(Orders(s)[1]->triggerPrice, "12.5000");
  EXPECT_NE(calls[0].tag, calls[1].tag);

  // A host refusal is an error with its text; the attempt stays recorded.
  orderHost.result = 0;
  api->PlaceOrder(s, Buy("R3"), nullptr);
  EXPECT_EQ(Errors(), std::vector<std::string>{"exchange closed"});
  EXPECT_EQ(Orders(s).size(), 3u);
  EXPECT_EQ(api->ApiOrderCount(), 3u);
}

TEST_F(OrderApiTest, OutsideTheAutoListAnOrderIsHeldButMcxIsRefused) {
  Load();
  sApiScript* s = Open("S");
  sPlaceRequest fo = Buy("F1", "NFO", "NIFTY26DECFUT");
  fo.quantity = 2;
  api->PlaceOrder(s, fo, nullptr);
  EXPECT_TRUE(orderHost.Calls().empty());
  ASSERT_EQ(Orders(s).size(), 1u);
  EXPECT_TRUE(Orders(s)[0]->awaitingConfirmation);
  EXPECT_EQ(Orders(s)[0]->entry->quantity, 150);  // 2 lots of 75
  EXPECT_TRUE(s->ordersWindow.IsVisible());
  EXPECT_FALSE(s->ordersWindow.IsActive());
  EXPECT_TRUE(s->ordersWindow.IsPlaceEnabled());
  EXPECT_TRUE(s->ordersWindow.IsIgnoreEnabled());

  api->PlaceOrder(s, Buy("M1", "MCX", "CRUDEOIL26DECFUT"), nullptr);
  EXPECT_EQ(Messages().back(), "ZintApi S -- MCX exchange is not allowed to place api order");
  // Listed, MCX goes out like any other segment.
  cb->session.autoPlacementExchanges = "<nse_cm><mcx_fo>";
  api->PlaceOrder(s, Buy("M1", "MCX", "CRUDEOIL26DECFUT"), nullptr);
  ASSERT_EQ(orderHost.Calls().size(), 1u);
  EXPECT_EQ(orderHost.Calls()[0].entry.quantity, 1000);
  EXPECT_EQ(orderHost.Calls()[0].entry.price, 2500);  // precision 0: 2500.5 prints "2500"
}

TEST_F(OrderApiTest, ModifyCancelAndStatusFollowTheFirstOrderNumber) {
  Load();
  BeepSwitch(true);
  sApiScript* s = Open("S");
  sOrderStatus st = api->GetOrderStatus(s, "NEVER");
  EXPECT_EQ(st.status, "Order Not found");
  EXPECT_FALSE(st.found);

  api->PlaceOrder(s, Buy("R1"), nullptr);
  EXPECT_EQ(Beeps(), 1u);
  const int32_t tag = Orders(s)[0]->tag;
  // Not numbered yet: errors, with their two blanks.
  api->ModifyOrder(s, {"R1", "DAY", "LIMIT", 5, 2501, 0, 0}, nullptr);
  api->CancelOrder(s, "R1", nullptr);
  api->GetOrderStatus(s, "R1");
  EXPECT_EQ(Errors(), (std::vector<std::string>{
                          "ZintApi S -- can not modify  R1 reference numbered order, Kovo Order "
                          "Number not found",
                          "ZintApi S -- can not cancel  R1 reference numbered order, Kovo Order "
                          "Number not found",
                          "ZintApi S -- can not get status of order,  R1 reference numbered "
                          "order, Kovo Order Number not found"}));
  EXPECT_EQ(Beeps(), 3u);  // modify and cancel beep, status never

  Update("S", "1000001", tag, "open", "4", "250100");
  Update("S", "1000002", tag, "open");
  st = api->GetOrderStatus(s, "R1");
  EXPECT_TRUE(st.found);
  EXPECT_EQ(st.status, "open");
  EXPECT_EQ(st.filledQuantity, 4);
  EXPECT_DOUBLE_EQ(st.averagePrice, 2501.0);

  api->ModifyOrder(s, {"R1", "GTC", "MARKET", 7, 2502.25, 2400, 1}, nullptr);
  auto calls = orderHost.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].function, "modify");
  EXPECT_EQ(calls[1].orderNumber, "1000001");  // entry 0
  EXPECT_EQ(calls[1].tag, TagText(tag));
  EXPECT_EQ(calls[1].orderType, 0);
  EXPECT_EQ(calls[1].validity, 0);
  EXPECT_EQ(calls[1].price, 250225);
  EXPECT_EQ(calls[1].trigger, 240000);
  EXPECT_EQ(calls[1].quantity, 7);
  EXPECT_EQ(calls[1].texts, std::vector<std::string>{"<null>"});
  ASSERT_EQ(Orders(s).size(), 2u);
  const sApiOrderInfo* modify = Orders(s)[1];
  EXPECT_EQ(modify->action, 2);
  EXPECT_EQ(modify->orderNumber, "1000001");
  EXPECT_EQ(modify->tradingSymbol, "RELIANCE-EQ");
  EXPECT_EQ(modify->price, "2502.25");
  EXPECT_EQ(s->ordersWindow.Rows().front(), modify);
  EXPECT_EQ(api->ApiOrderCount(), 1u);  // modifications are not API orders

  api->CancelOrder(s, "R1", nullptr);
  calls = orderHost.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].function, "cancel");
  const sApiOrderInfo* cancel = Orders(s)[2];
  EXPECT_EQ(cancel->action, 3);
  EXPECT_EQ(calls[2].tag, TagText(cancel->tag));  // its own tag
  EXPECT_NE(cancel->tag, tag);
  EXPECT_EQ(Beeps(), 5u);

  // The number is taken by the order and by its modify and cancel records.
  api->PlaceOrder(s, Buy("R1"), nullptr);
  EXPECT_EQ(Messages().back(),
            "ZintApi S -- Unique Reference number is already present, can not place order");
  EXPECT_EQ(Orders(s).size(), 3u);

  Update("S", "1000001", tag, "complete", "10", "250000");
  api->ModifyOrder(s, {"R1", "DAY", "LIMIT", 5, 2501, 0, 0}, nullptr);
  EXPECT_EQ(Messages().back(),
            "ZintApi S -- can not modify R1 reference numbered order(1000001) because it is not "
            "open");
  api->CancelOrder(s, "R1", nullptr);
  EXPECT_EQ(Messages().back(),
            "ZintApi S -- can not cancel  R1 reference numbered order(1000001) because it is not "
            "open");
  st = api->GetOrderStatus(s, "R1");
  EXPECT_EQ(st.status, "complete");
  EXPECT_EQ(st.filledQuantity, 10);
  EXPECT_EQ(orderHost.Calls().size(), 3u);
}

TEST_F(OrderApiTest, StrategyVariantsPickTheHostsFunctions) {
  const sStrategyTexts texts{"t1", "t2", "t3"};
  {
    Load();
    sApiScript* s = Open("S");
    api->PlaceOrder(s, Buy("R1"), &texts);
    ASSERT_EQ(orderHost.Calls().size(), 1u);
    EXPECT_EQ(orderHost.Calls()[0].function, "place2_algo");  // texts dropped
    EXPECT_EQ(orderHost.Calls()[0].texts, std::vector<std::string>{"0"});
    Update("S", "900", Orders(s)[0]->tag, "trigger pending");
    api->ModifyOrder(s, {"R1", "DAY", "SL", 1, 10, 9, 0}, &texts);
    api->CancelOrder(s, "R1", &texts);
    const auto calls = orderHost.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].texts, std::vector<std::string>{"t1"});
    EXPECT_EQ(calls[1].trigger, 900);
    EXPECT_EQ(calls[2].texts, std::vector<std::string>{"t1"});
  }
  TearDown();
  {
    Load({}, {"pu_zint_place_order2_algo"});
    sApiScript* s = Open("S");
    api->PlaceOrder(s, Buy("R1"), &texts);
    api->PlaceOrder(s, Buy("R2"), nullptr);
    const auto calls = orderHost.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "place2");
    EXPECT_EQ(calls[0].texts, (std::vector<std::string>{"t1", "t2", "t3"}));
    EXPECT_EQ(calls[1].texts, (std::vector<std::string>{"<null>", "<null>", "<null>"}));
  }
  TearDown();
  {
    Load({}, {"pu_zint_place_order2_algo", "pu_zint_place_order2", "pu_zint_modify_order"});
    sApiScript* s = Open("S");
    api->PlaceOrder(s, Buy("R1"), &texts);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Exe is not compatible with api orders"});
    EXPECT_EQ(Orders(s).size(), 1u);
    Update("S", "901", Orders(s)[0]->tag, "open");
    api->ModifyOrder(s, {"R1", "DAY", "LIMIT", 1, 10, 0, 0}, &texts);  // silently not sent
    EXPECT_TRUE(orderHost.Calls().empty());
    EXPECT_EQ(Orders(s).size(), 1u);
  }
}

TEST_F(OrderApiTest, TraderNowHostsGetNoOrderCalls) {
  host::HostConfig config;
  config.appName = "kovo_trader_now";
  Load(config);
  sApiScript* s = Open("S");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(UpdatesControl()->kind, 2);
  api->PlaceOrder(s, Buy("R1"), nullptr);
  EXPECT_EQ(api->GetOrderStatus(s, "R1").status, "Order Not found");
  EXPECT_TRUE(Orders(s).empty());
  EXPECT_TRUE(orderHost.Calls().empty());
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace kovo
