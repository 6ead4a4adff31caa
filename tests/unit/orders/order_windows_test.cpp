#include <gtest/gtest.h>

#include "orders/api_order_details_dlg.h"
#include "orders/scripts_view_dlg.h"
#include "platform/headless_views.h"
#include "unit/orders/orders_fixture.h"

namespace kovo {
namespace {

// Header positions of the orders window and of the scripts pane.
constexpr int kTime = 0, kNumber = 1, kSymbol = 2, kAction = 3, kSide = 4, kQty = 5, kPrice = 6,
              kReference = 7, kValidity = 8, kType = 9, kClient = 10, kDisc = 11, kTrigger = 12,
              kProduct = 13;
constexpr int kScriptName = 1, kStatus = 5, kFired = 8;

class OrderWindowsTest : public OrdersFixture {
 protected:
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : hostUi.Boxes()) texts.push_back(box.text);
    return texts;
  }
  static std::string Cell(const CCommonListCtrl& list, int row, int pos) {
    return list.CellText(row, pos);
  }
  std::vector<HostOrderCall> Invoked() const {
    std::vector<HostOrderCall> out;
    for (const auto& call : orderHost.Calls()) {
      if (call.function == "invoke2") out.push_back(call);
    }
    return out;
  }
  // Places an order outside the auto-placement list, so the window holds it.
  void Held(sApiScript* s, const std::string& reference, const std::string& side) {
    sPlaceRequest r = Buy(reference, "NFO", "NIFTY26DECFUT");
    r.transactionType = side;
    api->PlaceOrder(s, r, nullptr);
  }
};

TEST_F(OrderWindowsTest, ColumnsAndCellsOfTheOrdersWindow) {
  Load();
  sApiScript* s = Open("S");
  CApiOrderDetailsDlg& w = s->ordersWindow;
  ASSERT_NE(w.List(), nullptr);
  const CFilterListCtrl& list = *w.List();
  EXPECT_EQ(list.Title(), "ZintAPi Orders List");
  EXPECT_TRUE(list.FilterMode());
  ASSERT_EQ(list.HeaderCount(), 14);
  const std::vector<std::pair<std::string, int>> expected = {
      {"Time", 80},           {"Kovo Order Number", 80}, {"Trading Symbol", 140},
      {"Action", 80},         {"Transaction Type", 80},  {"Quantity", 80},
      {"Price", 80},          {"Reference Number", 150}, {"Validity", 150},
      {"Order Type", 150},    {"Clinet Id", 150},        {"Disc Qty", 150},
      {"Trigger Price", 150}, {"Product Type", 150}};
  for (int pos = 0; pos < 14; ++pos) {
    const sKovoColInfo& c = list.Columns()[static_cast<size_t>(list.HeaderDescriptor(pos))];
    EXPECT_EQ(c.Name(), expected[static_cast<size_t>(pos)].first);
    EXPECT_EQ(list.HeaderWidth(pos), expected[static_cast<size_t>(pos)].second);
  }
  EXPECT_EQ(list.Columns()[kQty].format, kFormatRight);
  EXPECT_EQ(list.Columns()[kReference].format, kFormatLeft);

  sPlaceRequest sell = Buy("R1");
  sell.transactionType = "SELL";
  sell.validity = "IOC";
  sell.orderType = "SL";
  sell.triggerPrice = 2490.25;
  sell.disclosedQuantity = 3;
  sell.clientId = "AC01";
  api->PlaceOrder(s, sell, nullptr);
  Held(s, "R2", "BUY");
  ASSERT_EQ(list.ItemCount(), 2);
  // Newest first: the held BUY, then the placed SELL.
  EXPECT_EQ(Cell(list, 0, kNumber), CApiOrderDetailsDlg::kHeldText);
  EXPECT_EQ(Cell(list, 0, kReference), "R2");
  EXPECT_EQ(Cell(list, 0, kQty), "750");  // ten lots of 75
  EXPECT_EQ(Cell(list, 1, kNumber), "");
  EXPECT_EQ(Cell(list, 1, kSymbol), "RELIANCE-EQ");
  EXPECT_EQ(Cell(list, 1, kAction), "New Order");
  EXPECT_EQ(Cell(list, 1, kSide), "SELL");
  EXPECT_EQ(Cell(list, 1, kPrice), "2500.50");
  EXPECT_EQ(Cell(list, 1, kValidity), "IOC");
  EXPECT_EQ(Cell(list, 1, kType), "SL");
  EXPECT_EQ(Cell(list, 1, kClient), "AC01");
  EXPECT_EQ(Cell(list, 1, kDisc), "3");
  EXPECT_EQ(Cell(list, 1, kTrigger), "2490.25");
  EXPECT_EQ(Cell(list, 1, kProduct), "MIS");

  sCellInfo cell;
  ASSERT_TRUE(list.GetCell(0, kTime, cell));
  EXPECT_EQ(cell.textColor, CApiOrderDetailsDlg::kBuyColor);
  EXPECT_EQ(cell.backColor, CApiOrderDetailsDlg::kBackColor);
  ASSERT_TRUE(list.GetCell(1, kTime, cell));
  EXPECT_EQ(cell.textColor, CApiOrderDetailsDlg::kSellColor);

  // A cancellation has no order-entry record: no symbol, quantity or codes, black time.
  Update("S", "1000001", Orders(s)[0]->tag, "open");
  api->CancelOrder(s, "R1", nullptr);
  ASSERT_EQ(list.ItemCount(), 3);
  EXPECT_EQ(Cell(list, 0, kAction), "Cancel");
  EXPECT_EQ(Cell(list, 0, kNumber), "1000001");
  EXPECT_EQ(Cell(list, 0, kQty), "");
  EXPECT_EQ(Cell(list, 0, kValidity), "");
  ASSERT_TRUE(list.GetCell(0, kTime, cell));
  EXPECT_EQ(cell.textColor, CApiOrderDetailsDlg::kPlainColor);
}

TEST_F(OrderWindowsTest, PlaceActsOnTheNewestHeldOrderOnlyAndTheOlderStaysPlaceable) {
  Load();
  sApiScript* s = Open("S");
  CApiOrderDetailsDlg& w = s->ordersWindow;
  Held(s, "OLD", "BUY");
  Held(s, "NEW", "SELL");
  ASSERT_EQ(Orders(s).size(), 2u);
  sApiOrderInfo* older = Orders(s)[0];
  sApiOrderInfo* newer = Orders(s)[1];
  EXPECT_TRUE(w.IsPlaceEnabled());
  EXPECT_TRUE(orderHost.Calls().empty());

  EXPECT_TRUE(w.OnCommand(kIdPlaceButton));
  std::vector<HostOrderCall> invoked = Invoked();
  ASSERT_EQ(invoked.size(), 1u);
  EXPECT_EQ(invoked[0].tag, TagText(newer->tag));
  EXPECT_EQ(invoked[0].transactionType, KOVO_TXN_SELL);
  EXPECT_EQ(invoked[0].entry.quantity, newer->entry->quantity);
  EXPECT_FALSE(w.IsPlaceEnabled());
  EXPECT_FALSE(w.IsIgnoreEnabled());
  EXPECT_FALSE(newer->awaitingConfirmation);
  EXPECT_TRUE(older->awaitingConfirmation);
  EXPECT_EQ(Cell(*w.List(), 0, kNumber), "");
  EXPECT_EQ(Cell(*w.List(), 1, kNumber), CApiOrderDetailsDlg::kHeldText);

  // Pressing Place again finds the newest row placed: nothing more reaches the host.
  w.OnPlace();
  EXPECT_EQ(Invoked().size(), 1u);

  // The menu offers Place only for exactly one held new order.
  w.List()->SetSelection({0});
  EXPECT_EQ(w.ContextMenu(), (std::vector<sMenuItem>{{kCmdRefreshOrders, "Refresh"}}));
  w.List()->SetSelection({0, 1});
  EXPECT_EQ(w.ContextMenu().size(), 1u);
  w.List()->SetSelection({1});
  EXPECT_EQ(w.ContextMenu(), (std::vector<sMenuItem>{{kCmdPlaceHeldOrder, "Place\t\tDouble Click"},
                                                     {kCmdRefreshOrders, "Refresh"}}));
  w.OnDoubleClick();
  invoked = Invoked();
  ASSERT_EQ(invoked.size(), 2u);
  EXPECT_EQ(invoked[1].tag, TagText(older->tag));
  EXPECT_FALSE(older->awaitingConfirmation);
  EXPECT_TRUE(BoxTexts().empty());

  // Double-clicking it again: it no longer awaits confirmation.
  w.OnDoubleClick();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ConfirmToPlace is false"});
  EXPECT_EQ(Invoked().size(), 2u);
}

TEST_F(OrderWindowsTest, MenuPlaceOnTheNewestRowDisablesTheButtonsAndHostErrorsAreReported) {
  Load();
  sApiScript* s = Open("S");
  CApiOrderDetailsDlg& w = s->ordersWindow;
  Held(s, "A", "BUY");
  Held(s, "B", "BUY");
  // The older row through the menu: the buttons still answer the newest.
  w.List()->SetSelection({1});
  w.OnCommand(kCmdPlaceHeldOrder);
  EXPECT_TRUE(w.IsPlaceEnabled());
  orderHost.result = 0;
  w.List()->SetSelection({0});
  w.OnCommand(kCmdPlaceHeldOrder);
  EXPECT_FALSE(w.IsPlaceEnabled());
  EXPECT_FALSE(w.IsIgnoreEnabled());
  EXPECT_EQ(Invoked().size(), 2u);
  EXPECT_EQ(Errors(), std::vector<std::string>{"exchange closed"});
}

TEST_F(OrderWindowsTest, ModificationsAskForNoConfirmationAndIgnoreNeverContactsTheHost) {
  Load();
  sApiScript* s = Open("S");
  CApiOrderDetailsDlg& w = s->ordersWindow;
  api->PlaceOrder(s, Buy("R1"), nullptr);
  Update("S", "1000001", Orders(s)[0]->tag, "open");
  api->ModifyOrder(s, {"R1", "DAY", "LIMIT", 5, 2501, 0, 0}, nullptr);
  ASSERT_EQ(w.List()->ItemCount(), 2);
  EXPECT_EQ(Cell(*w.List(), 0, kAction), "Modify");
  const size_t callsBefore = orderHost.Calls().size();
  w.List()->SetSelection({0});
  w.OnDoubleClick();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ConfirmToPlace is false"});
  EXPECT_EQ(orderHost.Calls().size(), callsBefore);

  Held(s, "H1", "BUY");
  EXPECT_TRUE(w.IsIgnoreEnabled());
  const size_t entriesBefore = hostUi.Entries().size();
  w.OnCommand(kIdIgnoreButton);
  EXPECT_EQ(orderHost.Calls().size(), callsBefore);
  EXPECT_EQ(hostUi.Entries().size(), entriesBefore);
  EXPECT_EQ(Cell(*w.List(), 0, kNumber), "Ignored by User");
  EXPECT_FALSE(w.IsPlaceEnabled());
  EXPECT_FALSE(w.IsIgnoreEnabled());
  // Ignored is final: Place and double click leave it alone.
  w.OnPlace();
  w.List()->SetSelection({0});
  w.OnCommand(kCmdPlaceHeldOrder);
  EXPECT_EQ(orderHost.Calls().size(), callsBefore);
  EXPECT_EQ(Cell(*w.List(), 0, kNumber), "Ignored by User");
}

TEST_F(OrderWindowsTest, RefreshFillsOrderNumbersOnlyOnceTheHostReportedThem) {
  Load();
  sApiScript* s = Open("S");
  CApiOrderDetailsDlg& w = s->ordersWindow;
  api->PlaceOrder(s, Buy("R1"), nullptr);
  api->PlaceOrder(s, Buy("R2"), nullptr);
  auto* view = dynamic_cast<HeadlessView*>(w.GetView());
  ASSERT_NE(view, nullptr);
  const int refreshes = view->Refreshes();
  w.OnCommand(kIdRefreshButton);
  EXPECT_GT(view->Refreshes(), refreshes);
  EXPECT_EQ(Cell(*w.List(), 0, kNumber), "");
  EXPECT_EQ(Cell(*w.List(), 1, kNumber), "");

  // An update alone does not fill the cell; Refresh does, with entry 0.
  Update("S", "2000001", Orders(s)[0]->tag, "open");
  Update("S", "2000009", Orders(s)[0]->tag, "open");
  EXPECT_EQ(Cell(*w.List(), 1, kNumber), "");
  w.OnCommand(kCmdRefreshOrders);
  EXPECT_EQ(Cell(*w.List(), 1, kNumber), "2000001");
  EXPECT_EQ(Cell(*w.List(), 0, kNumber), "");
}

TEST_F(OrderWindowsTest, ScriptsPaneRowsStatusAndFiredSignals) {
  Load();
  CScriptsViewDlg& view = api->ScriptsView();
  sApiScript* a = Open("alpha");
  sApiScript* b = Open("beta");
  const CFilterListCtrl& list = view.List();
  EXPECT_EQ(list.Title(), "ZINT Scripts List");
  ASSERT_EQ(list.HeaderCount(), 25);
  EXPECT_EQ(list.Columns()[8].Name(), "Fired Signals");
  EXPECT_EQ(list.Columns()[8].format, kFormatRight);
  EXPECT_EQ(list.Columns()[24].Name(), "BO SL Trailing Ticks");
  ASSERT_EQ(list.ItemCount(), 2);
  EXPECT_EQ(Cell(list, 0, kScriptName), "beta");
  EXPECT_EQ(Cell(list, 1, kScriptName), "alpha");
  EXPECT_EQ(Cell(list, 0, kStatus), "ACTIVE");
  EXPECT_EQ(Cell(list, 0, kFired), "0");
  EXPECT_EQ(Cell(list, 0, 2), b->creationTime);
  EXPECT_EQ(Cell(list, 0, 0), "");
  EXPECT_EQ(Cell(list, 0, 13), "");

  api->PlaceOrder(a, Buy("R1"), nullptr);
  Update("alpha", "3000001", Orders(a)[0]->tag, "open");
  api->ModifyOrder(a, {"R1", "DAY", "LIMIT", 5, 2501, 0, 0}, nullptr);
  api->CancelOrder(a, "R1", nullptr);
  EXPECT_EQ(Cell(list, 1, kFired), "3");
  EXPECT_EQ(Cell(list, 0, kFired), "0");

  // Stop refuses the next order with the message; Resume lets it through.
  view.List().SetSelection({1});
  view.OnCommand(kIdStopButton);
  EXPECT_FALSE(a->active);
  EXPECT_TRUE(b->active);
  EXPECT_EQ(Cell(list, 1, kStatus), "Stopped");
  const size_t calls = orderHost.Calls().size();
  api->PlaceOrder(a, Buy("R2"), nullptr);
  EXPECT_EQ(Messages().back(), "ZintApi alpha -- is not active to place order");
  EXPECT_EQ(orderHost.Calls().size(), calls);
  view.OnCommand(kIdResumeButton);
  EXPECT_EQ(Cell(list, 1, kStatus), "ACTIVE");
  api->PlaceOrder(a, Buy("R2"), nullptr);
  EXPECT_EQ(orderHost.Calls().size(), calls + 1);
  EXPECT_EQ(Cell(list, 1, kFired), "4");
}

TEST_F(OrderWindowsTest, ScriptsPaneMenuOpenReportAndMaximizedMode) {
  Load();
  CScriptsViewDlg& view = api->ScriptsView();
  EXPECT_TRUE(view.IsMaximizedMode());
  EXPECT_FALSE(view.ButtonsVisible());
  EXPECT_EQ(view.ListRect(400, 300), (sRect{3, 2, 398, 298}));
  const std::vector<sMenuItem> menu = view.ContextMenu();
  const std::vector<sMenuItem> expected = {{kCmdOpenReport, "Open Report \t Double Click"},
                                           {kCmdOpenPrompt, "Open Prompt \t Ctrl + Double Click"},
                                           {kCmdMaximizedMode, "Maximized Mode", true},
                                           {0, ""},
                                           {kCmdGridLines, "Grid Lines\tShift+G"},
                                           {kCmdCopyToClipboard, "Copy to Clip Board\tCtrl+C"},
                                           {kCmdScriptsWriteToExcel, "Write To Excel\tShift+E"}};
  EXPECT_EQ(menu, expected);
  view.OnCommand(kCmdMaximizedMode);
  EXPECT_FALSE(view.IsMaximizedMode());
  EXPECT_TRUE(view.ButtonsVisible());
  EXPECT_TRUE(view.ButtonsEnabled());
  EXPECT_EQ(view.ListRect(400, 300), (sRect{3, 45, 398, 295}));
  EXPECT_FALSE(view.ContextMenu()[2].checked);
  const bool grid = view.List().GridLines();
  view.OnCommand(kCmdGridLines);
  EXPECT_NE(view.List().GridLines(), grid);
  {
    // The selected script's row goes to the clipboard, cells tab-ended.
    Open("CopyMe");
    view.List().SetSelection({0});
    view.OnCommand(kCmdCopyToClipboard);
    const std::string copied = cb->Clip().Text();
    EXPECT_NE(copied.find("CopyMe\t"), std::string::npos) << copied;
    EXPECT_EQ(copied.back(), '\n');
  }

  sApiScript* s = Open("S");
  // Nothing selected: nothing opens.
  view.OnDoubleClick(false);
  EXPECT_FALSE(s->ordersWindow.IsVisible());
  api->PlaceOrder(s, Buy("R1"), nullptr);
  Update("S", "4000001", Orders(s)[0]->tag, "open");
  view.List().SetSelection({0});
  view.OnDoubleClick(true);
  EXPECT_TRUE(s->ordersWindow.IsVisible());
  EXPECT_TRUE(s->ordersWindow.IsActive());
  EXPECT_EQ(Orders(s)[0]->orderNumber, "4000001");
  EXPECT_EQ(Cell(*s->ordersWindow.List(), 0, kNumber), "4000001");
  auto* ordersView = dynamic_cast<HeadlessView*>(s->ordersWindow.GetView());
  ASSERT_NE(ordersView, nullptr);
  EXPECT_TRUE(ordersView->IsVisible());
  EXPECT_GE(ordersView->BroughtToFront(), 1);
}

TEST_F(OrderWindowsTest, RunningScriptsCommandDocksThePaneAfterLogin) {
  Load();
  const std::string user = cb->session.loggedInUserId;
  cb->session.loggedInUserId.clear();
  // The session launch docked the pane hidden; the command shows it only after login.
  ASSERT_NE(api->ScriptsView().GetView(), nullptr);
  plugin->ProcessHotKey("Zint Running Scripts", 0, {});
  EXPECT_FALSE(api->ScriptsView().GetView()->IsVisible());
  cb->session.loggedInUserId = user;
  plugin->ProcessHotKey("Zint Running Scripts", 0, {});
  ASSERT_NE(api->ScriptsView().GetView(), nullptr);
  EXPECT_TRUE(api->ScriptsView().GetView()->IsVisible());
}

}  // namespace
}  // namespace kovo
