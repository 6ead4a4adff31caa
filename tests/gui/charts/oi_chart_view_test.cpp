// The open interest chart's Qt view: bars where the logic's values say, in
// its colours, only once every row is in, and the logic's tooltip text.
#include "gui/charts/oi_chart_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QToolTip>

#include "gui/qt_views.h"
#include "unit/charts_store/oi_chart_fixture.h"

namespace kovo {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "oi_chart_gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class OiChartView : public OiChart {
 protected:
  void SetUp() override {
    App();
    OiChart::SetUp();
  }
};

TEST_F(OiChartView, DrawsEveryStrikesBarsOnceAllRowsAreInWithTheLogicsTooltips) {
  CBarChartDlg chart(*cb);
  ASSERT_TRUE(chart.Build("nse_fo", "40008"));
  gui::QtOiChartView view(chart);
  gui::QtOiChartWidget* widget = view.Chart();
  ASSERT_NE(widget, nullptr);
  view.Widget()->resize(1000, 500);
  view.Show(true);

  for (int i = 0; i < 11; ++i)
    Row(std::to_string(40003 + i), std::to_string(1000 + 100 * i), "800");
  for (int i = 0; i < 10; ++i) Row(std::to_string(50003 + i), "500", "1000");
  EXPECT_TRUE(widget->BarRects().empty()) << "21 of 22 rows: no bars yet";
  Row("50013", "300", "600");
  const std::vector<QRect> bars = widget->BarRects();
  ASSERT_EQ(bars.size(), 44u);

  const QImage image = widget->Render();
  const auto colourAt = [&](const QRect& r) {
    return image.pixelColor(r.center()).rgb() & 0xFFFFFF;
  };
  for (size_t strike = 0; strike < 11; ++strike) {
    const QRect call = bars[strike * 4], callChange = bars[strike * 4 + 1];
    const QRect put = bars[strike * 4 + 2], putChange = bars[strike * 4 + 3];
    EXPECT_EQ(colourAt(call), 0x6496C8u) << "steel blue call, strike " << strike;
    EXPECT_EQ(colourAt(put), 0xFF0000u) << "red put, strike " << strike;
    // Left to right within a strike, strikes left to right.
    EXPECT_LT(call.right(), callChange.left());
    EXPECT_LT(callChange.right(), put.left());
    EXPECT_LT(put.right(), putChange.left());
    if (strike > 0) {
      EXPECT_LT(bars[strike * 4 - 1].right(), call.left());
    }
    // Puts lost open interest today: their change hangs below the calls' zero line.
    EXPECT_EQ(putChange.top(), callChange.bottom()) << "both start at zero";
    EXPECT_GT(putChange.bottom(), putChange.top());
  }
  // Heights follow the values: a higher call stands taller.
  EXPECT_LT(bars[40].top(), bars[0].top());
  EXPECT_EQ(bars[0].bottom(), bars[40].bottom());
  const double perUnit = static_cast<double>(bars[0].height()) / 1000.0;
  EXPECT_NEAR(bars[40].height(), perUnit * 2000.0, 2.0);

  // The tooltip over a strike's group is the logic's text for that strike.
  const QPoint overFifth = bars[5 * 4 + 2].center();
  QHelpEvent help(QEvent::ToolTip, overFifth, widget->mapToGlobal(overFifth));
  QApplication::sendEvent(widget, &help);
  EXPECT_EQ(QToolTip::text().toStdString() + "\n", chart.Tooltip(5));
  EXPECT_EQ(widget->StrikeAt(bars[0].center()), 0);
  EXPECT_EQ(widget->StrikeAt(bars[43].center()), 10);
  EXPECT_EQ(widget->StrikeAt(QPoint(1, 1)), -1);

  // A broadcast changes one bar; the view redraws what the logic now says.
  Broadcasts().Broadcast({{MNM_EXCH_SEG, "nse_fo"}, {MNM_TRADING_SYMBOL, "40003"}, {64, "0"}});
  EXPECT_EQ(widget->BarRects()[0].height(), 1) << "a zero bar is a line";

  const QString artifacts = QString::fromUtf8(KOVO_ARTIFACT_DIR);
  QDir().mkpath(artifacts);
  widget->Render().save(artifacts + "/oi-chart.png");
}

TEST_F(OiChartView, TheQtFactoryMakesTheChartsWindow) {
  CBarChartDlg chart(*cb);
  gui::QtViewFactory factory;
  const std::unique_ptr<View> view = factory.CreateOiChart(chart);
  auto* qt = dynamic_cast<gui::QtOiChartView*>(view.get());
  ASSERT_NE(qt, nullptr);
  EXPECT_TRUE(qt->Chart()->BarRects().empty()) << "nothing loaded";
}

}  // namespace
}  // namespace kovo
