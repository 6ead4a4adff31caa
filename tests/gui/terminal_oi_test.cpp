// The real plug-in in the reference terminal, offscreen, against the embedded
// back end: "Open Interest Bar" on a NIFTY option of the market watch docks
// the open interest chart, which draws once the back end's 22 quote rows are in.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QTableWidget>

#include <string>

#include "gui/charts/oi_chart_view.h"
#include "gui/real_terminal.h"

namespace kovo::test {
namespace {

using terminal::CTerminalWindow;

class TerminalOiChart : public RealTerminalTest {
 protected:
  void SetUp() override {
    RealTerminalTest::SetUp();
    StartTerminalWith(KOVOZINT_LIBRARY);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(WaitFor([&] { return Logged("user logged in successfully"); }));
  }
  bool Logged(const std::string& text) const {
    for (const std::string& line : window->Core().LogLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  // The market watch row of the first scrip of that instrument; -1 without one.
  int RowOf(const std::string& instrument) const {
    QTableWidget* watch = window->MarketWatchTable();
    for (int row = 0; row < watch->rowCount(); ++row) {
      const auto scrip = window->Core().Scrips().Find(watch->item(row, 0)->text().toStdString(),
                                                      watch->item(row, 2)->text().toStdString());
      if (scrip && scrip->texts[KOVO_SCRIP_INSTRUMENT] == instrument) return row;
    }
    return -1;
  }
  static QWidget* Chart() {
    for (QWidget* widget : QApplication::allWidgets())
      if (widget->objectName() == QLatin1String(gui::kOiChartObjectName)) return widget;
    return nullptr;
  }
};

TEST_F(TerminalOiChart, AnOptionsChartFillsFromTheBackEndAndAnEquityIsRefused) {
  ASSERT_NE(window->OpenInterestAction(), nullptr);
  const int equity = RowOf("EQ");
  ASSERT_GE(equity, 0);
  window->SelectMarketWatchRow(equity);
  window->OpenInterestAction()->trigger();
  EXPECT_TRUE(WaitFor([&] { return Logged("Please Select an option scrip"); }));

  const int option = RowOf("OPTIDX");
  ASSERT_GE(option, 0) << "the market watch starts with a NIFTY option";
  window->SelectMarketWatchRow(option);
  window->OpenInterestAction()->trigger();
  QWidget* chart = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    chart = Chart();
    return chart && chart->property("bars").toInt() == 44;
  })) << "eleven strikes, four bars each";
  EXPECT_EQ(chart->property("rowsIn").toInt(), 22);
  auto* dock = window->findChild<QDockWidget*>(QStringLiteral("ZintOpenInterest"));
  ASSERT_NE(dock, nullptr);
  EXPECT_TRUE(dock->isVisible());
  EXPECT_FALSE(Logged("KovoZint Error")) << "no request or watch failed";
}

}  // namespace
}  // namespace kovo::test
