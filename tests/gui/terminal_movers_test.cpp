// The real plug-in in the reference terminal, offscreen, against the embedded
// back end: the market movers pane fills from the back end, adds a scrip to
// the market watch, and comes back floating after a restart.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/real_terminal.h"

namespace kovo::test {
namespace {

using terminal::CTerminalWindow;

class TerminalMovers : public RealTerminalTest {
 protected:
  void StartTerminal(const std::function<void(terminal::TerminalOptions&)>& adjust = {}) {
    StartTerminalWith(KOVOZINT_LIBRARY, adjust);
  }
  QDockWidget* Dock() const {
    return window->findChild<QDockWidget*>(QStringLiteral("ZintMarketMovers"));
  }
  QPushButton* Button(const char* text) const {
    for (QPushButton* b : Dock()->findChildren<QPushButton*>())
      if (b->text() == QLatin1String(text)) return b;
    return nullptr;
  }
  QTableView* Table() const { return Dock()->findChild<QTableView*>(); }
  std::string Cell(int row, int column) const {
    return Table()->model()->index(row, column).data().toString().toStdString();
  }
  // Clicks a category and waits for its answer (rows, or an empty list
  // whose header changed).
  int Fill(const char* button, const char* header) {
    const QString wanted = QString::fromLatin1(header);
    Button(button)->click();
    WaitFor(
        [&] {
          return Table()->model()->headerData(3, Qt::Horizontal).toString() == wanted &&
                 Table()->model()->rowCount() > 0;
        },
        5);
    return Table()->model()->rowCount();
  }

  // Position of the first log line holding text; -1 when there is none.
  long LogIndex(const std::string& text) const {
    const std::vector<std::string> lines = window->Core().LogLines();
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].find(text) != std::string::npos) return static_cast<long>(i);
    return -1;
  }
};

// With an automatic login the strategy waits for the user's peer data, so
// its first orders are placed, not held for want of the auto-placement list.
TEST_F(TerminalMovers, WithAnAutomaticLoginTheStrategyStartsOnceThePeerDataIsIn) {
  StartTerminal([&](terminal::TerminalOptions& options) {
    options.autoLogin = "trader7";
    options.strategyPath = dir / "no-such-strategy.so";
  });
  ASSERT_TRUE(WaitFor([&] { return LogIndex("Strategy not loaded") >= 0; }));
  EXPECT_GE(LogIndex("Strategy starts once the automatic login has the user's peer data"), 0);
  ASSERT_GE(LogIndex("peer data request sent"), 0);
  EXPECT_GT(LogIndex("Strategy not loaded"), LogIndex("peer data request sent"));
}

TEST_F(TerminalMovers, EachCategoryFillsFromTheBackEndAndARowJoinsTheMarketWatch) {
  StartTerminal();
  ASSERT_NE(Dock(), nullptr) << "the session launch docks the pane";
  EXPECT_FALSE(Dock()->isVisible()) << "hidden until asked for";
  window->PluginAction("Market Movers")->trigger();
  ASSERT_TRUE(WaitFor([&] { return Dock()->isVisible(); }));

  ASSERT_EQ(Fill("Volume Leaders", "Trade Size"), 25);
  EXPECT_EQ(Cell(0, 0), "1");
  EXPECT_EQ(Cell(0, 2), "NSE");
  EXPECT_GE(std::stod(Cell(0, 3)), std::stod(Cell(24, 3)));
  ASSERT_GT(Fill("Value Leaders", "Value (In Lakhs)"), 0);
  EXPECT_NE(Cell(0, 3).find('.'), std::string::npos);
  const int gainers = Fill("% Gainers", "% Change");
  for (int row = 0; row < gainers; ++row) EXPECT_GT(std::stod(Cell(row, 3)), 0.0);
  const int losers = Fill("% Losers", "% Change");
  for (int row = 0; row < losers; ++row) EXPECT_LT(std::stod(Cell(row, 3)), 0.0);
  EXPECT_GT(gainers + losers, 0);

  // A volume leader not on the market watch yet joins it through the menu;
  // with 25 rows and 20 scrips on the watch, some are not.
  ASSERT_EQ(Fill("Volume Leaders", "Trade Size"), 25);
  const auto onWatch = [&](const std::string& symbol) {
    for (int row = 0; row < window->MarketWatchTable()->rowCount(); ++row) {
      const QTableWidgetItem* item = window->MarketWatchTable()->item(row, 1);
      if (item && item->text().toStdString() == symbol) return true;
    }
    return false;
  };
  int pick = -1;
  for (int row = 0; row < 25 && pick < 0; ++row)
    if (!onWatch(Cell(row, 1))) pick = row;
  ASSERT_GE(pick, 0);
  const std::string symbol = Cell(pick, 1);
  const int before = window->MarketWatchTable()->rowCount();
  Table()->selectRow(pick);
  const QRect cell = Table()->visualRect(Table()->model()->index(pick, 1));
  QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                          Table()->viewport()->mapToGlobal(cell.center()));
  QApplication::sendEvent(Table()->viewport(), &event);
  QAction* add = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
          auto* menu = qobject_cast<QMenu*>(widget);
          if (!menu || !menu->isVisible()) continue;
          for (QAction* action : menu->actions())
            if (action->text() == QLatin1String("Add To MarketWatch")) add = action;
        }
        return add != nullptr;
      },
      5));
  add->trigger();
  // At once: no event loop turn in between.
  EXPECT_EQ(window->MarketWatchTable()->rowCount(), before + 1);
  EXPECT_TRUE(onWatch(symbol)) << symbol;
}

TEST_F(TerminalMovers, AFloatedPaneComesBackFloatingAfterARestart) {
  StartTerminal();
  window->PluginAction("Market Movers")->trigger();
  ASSERT_TRUE(WaitFor([&] { return Dock()->isVisible(); }));
  Dock()->setFloating(true);
  Dock()->setGeometry(240, 180, 500, 400);
  QCoreApplication::processEvents();
  const QRect placed = Dock()->geometry();
  window->close();
  window.reset();

  StartTerminal();
  ASSERT_NE(Dock(), nullptr);
  EXPECT_TRUE(Dock()->isFloating());
  EXPECT_TRUE(WaitFor([&] { return Dock()->isVisible(); }));
  EXPECT_EQ(Dock()->geometry(), placed);

  // Closed and reopened, it floats where it was.
  Dock()->close();
  ASSERT_TRUE(WaitFor([&] { return !Dock()->isVisible(); }));
  window->PluginAction("Market Movers")->trigger();
  ASSERT_TRUE(WaitFor([&] { return Dock()->isVisible(); }));
  EXPECT_TRUE(Dock()->isFloating());
  EXPECT_EQ(Dock()->geometry(), placed);
}

}  // namespace
}  // namespace kovo::test
