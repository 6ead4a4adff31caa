// The real plug-in in the reference terminal, offscreen, against the embedded
// back end: the market monitor made by the session launch, and the
// terminal's order entry and market picture opened from one of its rows.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest/QTest>

#include <string>

#include "gui/real_terminal.h"
#include "host/app/order_dialogs.h"

namespace kovo::test {
namespace {

using terminal::CBookDialog;
using terminal::CMarketPictureDialog;
using terminal::COrderEntryDialog;
using terminal::CTerminalWindow;

class TerminalMonitor : public RealTerminalTest {
 protected:
  void StartTerminal() { StartTerminalWith(KOVOZINT_LIBRARY); }
  QDockWidget* Dock() const {
    return window->findChild<QDockWidget*>(QStringLiteral("ZintMarketMonitor"));
  }
  QTableView* List() const {
    return Dock() ? Dock()->findChild<QTableView*>(QStringLiteral("MarketMonitorList")) : nullptr;
  }
  std::string Cell(int row, int column) const {
    return List()->model()->index(row, column).data().toString().toStdString();
  }
  template <typename T>
  static T* Open(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->objectName() == QLatin1String(name) && widget->isVisible())
        return dynamic_cast<T*>(widget);
    return nullptr;
  }
  // The order book row of the first order with this tag; -1 without one.
  int OrderRow(const QString& tag) const {
    QTableWidget* book = window->OrderBookTable();
    for (int row = 0; row < book->rowCount(); ++row)
      if (book->item(row, 2) && book->item(row, 2)->text() == tag) return row;
    return -1;
  }
  // Gives the monitor's list the focus its row keys need, then presses key.
  void PressOnList(Qt::Key key) {
    window->activateWindow();
    List()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == List(); }, 5));
    QTest::keyClick(List(), key);
  }
  // Opens the order entry for scrip and presses its Buy button at the quoted price.
  void Buy(const char* scrip) {
    ASSERT_EQ(pu_InvokeDialog(4, scrip, "1", nullptr), 1);
    COrderEntryDialog* entry = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (entry = Open<COrderEntryDialog>("OrderEntryDialog")); }, 5));
    auto* price = entry->findChild<QLineEdit*>(QStringLiteral("Price"));
    ASSERT_TRUE(WaitFor([&] { return !price->text().isEmpty(); }, 10));
    entry->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    ASSERT_TRUE(WaitFor([&] { return !Open<COrderEntryDialog>("OrderEntryDialog"); }, 5));
  }
  static std::vector<std::string> BookColumn(const CBookDialog& book, int column) {
    std::vector<std::string> cells;
    QTableWidget* table = book.Table();
    for (int row = 0; row < table->rowCount(); ++row)
      cells.push_back(table->item(row, column) ? table->item(row, column)->text().toStdString()
                                               : std::string());
    return cells;
  }
  QString PictureLine(const CMarketPictureDialog& dialog, const QString& caption) const {
    auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("MarketPictureTable"));
    for (int row = 0; table && row < table->rowCount(); ++row)
      if (table->item(row, 0)->text() == caption) return table->item(row, 1)->text();
    return {};
  }
};

TEST_F(TerminalMonitor, ARowsKeysOpenTheTerminalsOrderEntryWhichPlacesTheOrderAndItsPicture) {
  StartTerminal();
  // The launch made the monitor docked and hidden; the command shows it.
  ASSERT_NE(Dock(), nullptr);
  EXPECT_FALSE(Dock()->isVisible());
  window->PluginAction("Market Monitor")->trigger();
  ASSERT_TRUE(WaitFor([&] { return List() && List()->model()->rowCount() > 0; }, 60))
      << "the back end sends a market message every few seconds";
  const std::string symbol = Cell(0, 2);
  ASSERT_FALSE(symbol.empty());

  // F1 reaches the monitor only while its list has the focus.
  List()->selectRow(0);
  QTest::keyClick(window.get(), Qt::Key_F1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Open<COrderEntryDialog>(COrderEntryDialog::kObjectName), nullptr);
  window->activateWindow();
  List()->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == List(); }, 5));
  QTest::keyClick(List(), Qt::Key_F1);
  COrderEntryDialog* entry = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (entry = Open<COrderEntryDialog>("OrderEntryDialog")); }, 5));
  EXPECT_EQ(entry->windowTitle().toStdString(), "Buy Order - " + symbol);
  EXPECT_EQ(entry->Ticket().Side(), KOVO_TXN_BUY);
  const std::string scrip =
      entry->findChild<QLabel*>(QStringLiteral("Scrip"))->text().toStdString();
  EXPECT_EQ(scrip.rfind(symbol + "  ", 0), 0u) << scrip;

  // The quote fills the price; the Buy button places the order at it.
  auto* price = entry->findChild<QLineEdit*>(QStringLiteral("Price"));
  ASSERT_TRUE(WaitFor([&] { return !price->text().isEmpty(); }, 10));
  EXPECT_GT(price->text().toDouble(), 0.0);
  entry->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  ASSERT_TRUE(WaitFor([&] { return OrderRow(QStringLiteral("ORDER_ENTRY")) >= 0; }, 10))
      << "the back end's order update reaches the order book";
  EXPECT_EQ(Open<COrderEntryDialog>(COrderEntryDialog::kObjectName), nullptr) << "OK closed it";
  QTableWidget* book = window->OrderBookTable();
  const int row = OrderRow(QStringLiteral("ORDER_ENTRY"));
  const std::string token = scrip.substr(scrip.rfind('|') + 1);
  EXPECT_EQ(book->item(row, 4)->text().toStdString(), token);
  EXPECT_NE(book->item(row, 5)->text(), QStringLiteral("rejected"))
      << book->item(row, 9)->text().toStdString();

  // F6: the market picture of the same scrip with its live price.
  window->activateWindow();
  List()->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == List(); }, 5));
  QTest::keyClick(List(), Qt::Key_F6);
  CMarketPictureDialog* picture = nullptr;
  ASSERT_TRUE(
      WaitFor([&] { return (picture = Open<CMarketPictureDialog>("MarketPictureDialog")); }, 5));
  EXPECT_EQ(PictureLine(*picture, QStringLiteral("Trading Symbol")).toStdString(), symbol);
  EXPECT_EQ(PictureLine(*picture, QStringLiteral("Token")).toStdString(), token);
  ASSERT_TRUE(WaitFor(
      [&] { return PictureLine(*picture, QStringLiteral("Last Price")) != QStringLiteral("-"); },
      10));
  bool number = false;
  EXPECT_GT(PictureLine(*picture, QStringLiteral("Last Price")).toDouble(&number), 0.0);
  EXPECT_TRUE(number);
}

TEST_F(TerminalMonitor, AnOrderEntryTheFormRefusesStaysOpenAndUnknownScripsOpenNothing) {
  StartTerminal();
  ASSERT_EQ(pu_InvokeDialog(4, "nse_cm|NO-SUCH-SCRIP", "1", nullptr), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Open<COrderEntryDialog>(COrderEntryDialog::kObjectName), nullptr);
  ASSERT_EQ(pu_InvokeDialog(4, "nse_cm|RELIANCE-EQ", "2", nullptr), 1);
  COrderEntryDialog* entry = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (entry = Open<COrderEntryDialog>("OrderEntryDialog")); }, 5));
  EXPECT_EQ(entry->windowTitle(), QStringLiteral("Sell Order - RELIANCE-EQ"));
  auto* price = entry->findChild<QLineEdit*>(QStringLiteral("Price"));
  ASSERT_TRUE(WaitFor([&] { return !price->text().isEmpty(); }, 10));
  price->setText(QStringLiteral("12a"));
  entry->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  EXPECT_EQ(entry->findChild<QLabel*>(QStringLiteral("OrderError"))->text(),
            QStringLiteral("the price must be a number above 0"));
  EXPECT_TRUE(entry->isVisible());
  EXPECT_EQ(window->OrderBookTable()->rowCount(), 0);
}

TEST_F(TerminalMonitor, ARowsOrderBookAndTradeBookKeysOpenTheScripsOrdersAndFillsLive) {
  StartTerminal();
  window->PluginAction("Market Monitor")->trigger();
  ASSERT_TRUE(WaitFor([&] { return List() && List()->model()->rowCount() > 0; }, 60));
  const std::string symbol = Cell(0, 2);
  ASSERT_FALSE(symbol.empty());
  // An order of another scrip, which the row's books leave out.
  const char* other = symbol == "RELIANCE-EQ" ? "nse_cm|TCS-EQ" : "nse_cm|RELIANCE-EQ";
  const std::string otherSymbol = symbol == "RELIANCE-EQ" ? "TCS-EQ" : "RELIANCE-EQ";
  Buy(other);
  ASSERT_TRUE(WaitFor([&] { return window->OrderBookTable()->rowCount() == 1; }, 10));

  // F3 on the row: the order book of the row's scrip, empty until it has an order.
  List()->selectRow(0);
  PressOnList(Qt::Key_F3);
  CBookDialog* orders = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (orders = Open<CBookDialog>("OrderBookDialog")); }, 5));
  EXPECT_EQ(orders->windowTitle().toStdString(), "Order Book - " + symbol);
  EXPECT_EQ(orders->Table()->rowCount(), 0) << "the other scrip's order is filtered out";

  // F1 on the row buys it; the open order book shows the order as its updates come.
  PressOnList(Qt::Key_F1);
  COrderEntryDialog* entry = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (entry = Open<COrderEntryDialog>("OrderEntryDialog")); }, 5));
  auto* price = entry->findChild<QLineEdit*>(QStringLiteral("Price"));
  ASSERT_TRUE(WaitFor([&] { return !price->text().isEmpty(); }, 10));
  entry->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  ASSERT_TRUE(WaitFor([&] { return orders->Table()->rowCount() == 1; }, 10));
  EXPECT_EQ(BookColumn(*orders, 1), std::vector<std::string>{symbol});
  EXPECT_EQ(BookColumn(*orders, 7), std::vector<std::string>{"ORDER_ENTRY"});
  // A buy at the quote fills once the price comes down to it.
  ASSERT_TRUE(
      WaitFor([&] { return BookColumn(*orders, 3) == std::vector<std::string>{"complete"}; }, 60))
      << BookColumn(*orders, 3)[0] << " " << BookColumn(*orders, 9)[0];

  // "All Scrips" shows the other order too, with the row's scrip selected.
  orders->findChild<QCheckBox*>(QStringLiteral("AllScrips"))->setChecked(true);
  ASSERT_EQ(orders->Table()->rowCount(), 2);
  EXPECT_EQ(BookColumn(*orders, 1), (std::vector<std::string>{symbol, otherSymbol}));
  EXPECT_TRUE(orders->Table()->item(0, 0)->isSelected());
  EXPECT_FALSE(orders->Table()->item(1, 0)->isSelected());

  // F8: the trade book of the row's scrip with the fills of its order.
  PressOnList(Qt::Key_F8);
  CBookDialog* trades = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (trades = Open<CBookDialog>("TradeBookDialog")); }, 5));
  EXPECT_EQ(trades->windowTitle().toStdString(), "Trade Book - " + symbol);
  ASSERT_GE(trades->Table()->rowCount(), 1);
  const std::string orderNumber = BookColumn(*orders, 0)[0];
  int filled = 0;
  for (int row = 0; row < trades->Table()->rowCount(); ++row) {
    EXPECT_EQ(trades->Table()->item(row, 0)->text().toStdString(), orderNumber);
    EXPECT_EQ(trades->Table()->item(row, 1)->text().toStdString(), symbol);
    EXPECT_GT(trades->Table()->item(row, 4)->text().toDouble(), 0.0);
    filled += trades->Table()->item(row, 3)->text().toInt();
  }
  EXPECT_EQ(std::to_string(filled), BookColumn(*orders, 4)[0]) << "the fills add up to the order";
}

}  // namespace
}  // namespace kovo::test
