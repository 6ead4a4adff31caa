// The terminal's order book and trade book, kept from order updates, without a screen.
#include "host/core/order_books.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend/protocol.h"
#include "fakes/wmp_helpers.h"

namespace kovo::host {
namespace {

sScripDetails Scrip(const char* seg, const char* token, const char* symbol, int32_t precision,
                    double multiplier) {
  sScripDetails s{};
  std::strncpy(s.texts[KOVO_SCRIP_EXCH_SEG], seg, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_TOKEN], token, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_TRAD_SYMBOL], symbol, KOVO_SCRIP_TEXT_LEN - 1);
  s.pricePrecision = precision;
  s.priceMultiplier = multiplier;
  return s;
}

class OrderBooks : public ::testing::Test {
 protected:
  void SetUp() override {
    scrips.Load({Scrip("nse_cm", "2885", "RELIANCE-EQ", 2, 100.0),
                 Scrip("mcx_fo", "234230", "GOLD26DECFUT", 0, 1.0)});
  }
  bool Update(const std::vector<test::Field>& fields) {
    const test::MsgPtr m = test::MakeMessage(fields);
    return store.OnOrderUpdate(m.get());
  }
  static std::vector<std::string> Column(const std::vector<CBookWindow::sRow>& rows, size_t c) {
    std::vector<std::string> cells;
    for (const auto& row : rows) cells.push_back(row.cells.at(c));
    return cells;
  }
  ScripDirectory scrips;
  COrderStore store;
};

TEST_F(OrderBooks, UpdatesKeepEachOrdersLatestStateAndEveryFill) {
  int changes = 0;
  const int id = store.Subscribe([&] { ++changes; });
  EXPECT_FALSE(Update({{wire::kOrderStatus, "open"}})) << "an update naming no order";
  EXPECT_FALSE(store.OnOrderUpdate(nullptr));
  EXPECT_EQ(changes, 0);

  ASSERT_TRUE(Update({{wire::kOrderNumber, "1000001"},
                      {wire::kScriptName, "S1"},
                      {wire::kOrderTag, "T1"},
                      {wire::kExchSeg, "nse_cm"},
                      {wire::kToken, "2885"},
                      {wire::kOrderStatus, "open"},
                      {wire::kFilledQuantity, "0"},
                      {wire::kPendingQuantity, "10"},
                      {wire::kLastFillQuantity, "0"}}));
  ASSERT_TRUE(Update({{wire::kOrderNumber, "1000002"},
                      {wire::kExchSeg, "mcx_fo"},
                      {wire::kToken, "234230"},
                      {wire::kOrderStatus, "open"}}));
  // A partial fill, then the rest; a later update without some fields keeps them.
  ASSERT_TRUE(Update({{wire::kOrderNumber, "1000001"},
                      {wire::kOrderStatus, "open"},
                      {wire::kFilledQuantity, "4"},
                      {wire::kPendingQuantity, "6"},
                      {wire::kAveragePrice, "288535"},
                      {wire::kLastFillQuantity, "4"},
                      {wire::kLastFillPrice, "288535"}}));
  ASSERT_TRUE(Update({{wire::kOrderNumber, "1000001"},
                      {wire::kOrderStatus, "complete"},
                      {wire::kFilledQuantity, "10"},
                      {wire::kPendingQuantity, "x"},
                      {wire::kAveragePrice, "288541"},
                      {wire::kLastFillQuantity, "6"},
                      {wire::kLastFillPrice, "288545"}}));
  EXPECT_EQ(changes, 4);

  ASSERT_EQ(store.Orders().size(), 2u);
  const sBookOrder& first = store.Orders()[0];
  EXPECT_EQ(first.orderNumber, "1000001");
  EXPECT_EQ(first.status, "complete");
  EXPECT_EQ(first.script, "S1");
  EXPECT_EQ(first.tag, "T1");
  EXPECT_EQ(first.token, "2885");
  EXPECT_EQ(first.filledQuantity, 10);
  EXPECT_EQ(first.pendingQuantity, 6) << "a garbled number keeps the last good one";
  EXPECT_EQ(first.averagePrice, 288541);

  ASSERT_EQ(store.Fills().size(), 2u);
  EXPECT_EQ(store.Fills()[0].quantity, 4);
  EXPECT_EQ(store.Fills()[0].price, 288535);
  EXPECT_EQ(store.Fills()[1].quantity, 6);
  EXPECT_EQ(store.Fills()[1].price, 288545);
  EXPECT_EQ(store.Fills()[1].tag, "T1") << "a fill carries its order's tag";

  store.Unsubscribe(id);
  Update({{wire::kOrderNumber, "1000003"}});
  EXPECT_EQ(changes, 4);
}

TEST_F(OrderBooks, TheWindowsShowTheirScripsRowsNewestFirstOrAllWithThoseMarked) {
  Update({{wire::kOrderNumber, "1"},
          {wire::kExchSeg, "nse_cm"},
          {wire::kToken, "2885"},
          {wire::kOrderStatus, "complete"},
          {wire::kFilledQuantity, "5"},
          {wire::kAveragePrice, "288535"},
          {wire::kLastFillQuantity, "5"},
          {wire::kLastFillPrice, "288535"}});
  Update({{wire::kOrderNumber, "2"},
          {wire::kExchSeg, "mcx_fo"},
          {wire::kToken, "234230"},
          {wire::kOrderStatus, "complete"},
          {wire::kFilledQuantity, "1"},
          {wire::kAveragePrice, "61250"},
          {wire::kLastFillQuantity, "1"},
          {wire::kLastFillPrice, "61250"}});
  Update({{wire::kOrderNumber, "3"},
          {wire::kExchSeg, "nse_cm"},
          {wire::kToken, "2885"},
          {wire::kOrderStatus, "open"},
          {wire::kPendingQuantity, "2"}});

  CBookWindow orders(store, scrips, CBookWindow::kOrderBook);
  std::string error;
  EXPECT_FALSE(orders.Open("nse_cm|NOPE", &error));
  EXPECT_EQ(error, "unknown scrip \"nse_cm|NOPE\"");
  ASSERT_TRUE(orders.Open("NSE|RELIANCE-EQ", &error)) << "by exchange name and trading symbol";
  EXPECT_EQ(orders.Title(), "Order Book - RELIANCE-EQ");
  std::vector<CBookWindow::sRow> rows = orders.Rows();
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"3", "1"}));
  EXPECT_EQ(Column(rows, 1), (std::vector<std::string>{"RELIANCE-EQ", "RELIANCE-EQ"}));
  EXPECT_EQ(Column(rows, 3), (std::vector<std::string>{"open", "complete"}));
  EXPECT_EQ(Column(rows, 6), (std::vector<std::string>{"", "2885.35"}))
      << "nothing filled shows no price; units become rupees";
  ASSERT_EQ(orders.Headers().size(), rows[0].cells.size());

  orders.SetFiltered(false);
  rows = orders.Rows();
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"3", "2", "1"}));
  EXPECT_TRUE(rows[0].ofScrip);
  EXPECT_FALSE(rows[1].ofScrip);
  EXPECT_EQ(rows[1].cells[6], "61250") << "each scrip's own precision and multiplier";

  CBookWindow trades(store, scrips, CBookWindow::kTradeBook);
  ASSERT_TRUE(trades.Open("mcx_fo|234230", &error));
  EXPECT_EQ(trades.Title(), "Trade Book - GOLD26DECFUT");
  rows = trades.Rows();
  ASSERT_EQ(rows.size(), 1u) << "only the gold fill";
  EXPECT_EQ(rows[0].cells,
            (std::vector<std::string>{"2", "GOLD26DECFUT", "mcx_fo", "1", "61250", "", ""}));
  ASSERT_EQ(trades.Headers().size(), rows[0].cells.size());
  // The window reads the store live: a new fill shows on the next read.
  Update({{wire::kOrderNumber, "4"},
          {wire::kExchSeg, "mcx_fo"},
          {wire::kToken, "234230"},
          {wire::kLastFillQuantity, "2"},
          {wire::kLastFillPrice, "61300"}});
  EXPECT_EQ(Column(trades.Rows(), 4), (std::vector<std::string>{"61300", "61250"}));
}

}  // namespace
}  // namespace kovo::host
