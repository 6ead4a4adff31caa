// The real plug-in in the reference terminal, offscreen, against the embedded
// back end: the chart command docks a chart that fills with the back end's
// bars and whose last bar moves with its ticks.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QTableWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "gui/charts/chart_pane_view.h"
#include "gui/real_terminal.h"

namespace kovo::test {
namespace {

using terminal::CTerminalWindow;

class TerminalChart : public RealTerminalTest {
 protected:
  void SetUp() override {
    RealTerminalTest::SetUp();
    // Weeks of one-minute bars, as a trader's chart holds them.
    std::ofstream(dir / "kovo plugins" / "kovozint.ini") << "[ZINT_DATA]\nNO OF DAYS=22\n";
    StartTerminalWith(KOVOZINT_LIBRARY);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(WaitFor([&] { return Logged("user logged in successfully"); })) << Log();
    // Charts belong to a launched session.
    ASSERT_NE(window->Plugin().launchOnStart, nullptr);
    window->Plugin().launchOnStart("test", window->Core().Config().userId.c_str());
  }

  bool Logged(const std::string& text) const {
    for (const std::string& line : window->Core().LogLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  std::string Log() const {
    std::string all;
    for (const std::string& line : window->Core().LogLines()) all += line + "\n";
    return all;
  }
  // The plug-in's chart panes, as the terminal docks them.
  static std::vector<QWidget*> Panes() {
    std::vector<QWidget*> panes;
    for (QWidget* widget : QApplication::allWidgets())
      if (widget->objectName() == QLatin1String(gui::kChartPaneObjectName)) panes.push_back(widget);
    return panes;
  }
  static int Bars(const QWidget* pane) { return pane->property(gui::kChartBarsProperty).toInt(); }
};

TEST_F(TerminalChart, TheChartCommandDocksAChartWhoseLastBarMovesWithTicks) {
  window->SelectMarketWatchRow(0);
  QAction* chart = window->PluginAction("Zint Chart");
  ASSERT_NE(chart, nullptr);
  chart->trigger();

  QWidget* pane = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    const auto panes = Panes();
    pane = panes.size() == 1 && Bars(panes[0]) > 0 ? panes[0] : nullptr;
    return pane != nullptr;
  })) << Log();
  auto* dock = qobject_cast<QDockWidget*>(pane->parentWidget());
  ASSERT_NE(dock, nullptr) << "docked in the terminal";
  EXPECT_EQ(dock->windowTitle().toStdString(), "Intraday chart : RELIANCE-EQ");
  EXPECT_FALSE(pane->property(gui::kChartHistoricalProperty).toBool());
  const int bars = Bars(pane);
  EXPECT_GT(bars, 5000) << "weeks of one-minute bars from the back end";

  // Ticks open the live bar after the newest one-minute bar, then move it.
  ASSERT_TRUE(WaitFor([&] { return pane->property(gui::kChartLiveBarProperty).toBool(); }))
      << Log();
  // Closes seen per live bar: a new minute's bar may replace the first one.
  std::map<double, std::set<double>> closes;
  const std::set<double>* moved = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    if (!pane->property(gui::kChartLiveBarProperty).toBool()) return false;
    auto& seen = closes[pane->property(gui::kChartLastTimeProperty).toDouble()];
    seen.insert(pane->property(gui::kChartLastCloseProperty).toDouble());
    if (seen.size() >= 3) moved = &seen;
    return moved != nullptr;
  })) << "the live bar's close follows the ticks";
  for (const double close : *moved) EXPECT_GT(close, 0.0);
  EXPECT_GE(Bars(pane), bars);

  // The same command on another row reuses the unlocked window.
  window->SelectMarketWatchRow(1);
  chart->trigger();
  ASSERT_TRUE(WaitFor([&] { return dock->windowTitle().startsWith("Intraday chart : TCS"); }))
      << dock->windowTitle().toStdString();
  EXPECT_EQ(Panes().size(), 1u);

  // Daily bars in the same window: its view starts again from the recent candles.
  window->SelectMarketWatchRow(0);
  QAction* historical = window->PluginAction("Zint Historical Chart");
  ASSERT_NE(historical, nullptr);
  historical->trigger();
  ASSERT_TRUE(WaitFor([&] {
    // Some 60 daily bars for the last three months, not the minute bars still shown.
    return pane->property(gui::kChartHistoricalProperty).toBool() && Bars(pane) > 40 &&
           Bars(pane) < 400;
  })) << Log();
  EXPECT_EQ(dock->windowTitle().toStdString(), "Historical chart : RELIANCE-EQ");
  EXPECT_EQ(Panes().size(), 1u);
  EXPECT_GE(pane->property(gui::kChartVisibleBarsProperty).toInt(), 20)
      << "not a single candle left over from the minute bars' view";
}

}  // namespace
}  // namespace kovo::test
