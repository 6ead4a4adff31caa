// Keys reach the chart window from its Qt pane before the chart sees them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtTest/QTest>
#include <memory>

#include "charts/fchart_view.h"
#include "fakes/temp_dir.h"
#include "gui/charts/chart_pane_view.h"
#include "platform/headless_ui_thread.h"
#include "platform/headless_views.h"
#include "plugin/control_block.h"

namespace kovo::gui {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "chart_pane_keys_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the input devices synthetic key events register are
  // torn down with the process, after a static application would be gone.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class ChartPaneKeys : public ::testing::Test {
 protected:
  ChartPaneKeys() {
    App();
    sControlBlockSetup setup;
    setup.resolve = [](std::string_view) -> void* { return nullptr; };
    setup.paths.hostFolder = m_dir.Path();
    setup.paths.appDataFolder = m_dir.Path();
    setup.ports.ui = std::make_unique<HeadlessUiThread>();
    setup.ports.dialogs = std::make_unique<HeadlessDialogs>();
    setup.ports.views = std::make_unique<HeadlessViewFactory>();
    setup.ports.frame = std::make_unique<HeadlessHostFrame>();
    m_cb = std::make_unique<CControlBlock>(std::move(setup));
    m_view = std::make_unique<CFChartView>(*m_cb, 0);
    m_view->Create("Intraday Chart");
    std::vector<double> t, h, l, o, c, v;
    for (int i = 0; i < 100; ++i) {
      t.push_back(1767000000.0 + 60.0 * i);
      o.push_back(100), h.push_back(101), l.push_back(99), c.push_back(100.5), v.push_back(10);
    }
    for (auto* a : {&t, &h, &l, &o, &c, &v}) a->push_back(0);
    m_view->Chart().SetData(t, h, l, o, c, v);
    m_view->Chart().SetViewPort(0.5, 0.25);
    m_pane = std::make_unique<QtChartPaneView>(*m_view);
  }
  ~ChartPaneKeys() override {
    m_pane.reset();
    m_view.reset();
  }

  test::TempDir m_dir;
  std::unique_ptr<CControlBlock> m_cb;
  std::unique_ptr<CFChartView> m_view;
  std::unique_ptr<QtChartPaneView> m_pane;
};

TEST_F(ChartPaneKeys, ArrowsMoveTheViewPortByItsWidth) {
  // Taken by the window: the chart's own handler does not move it a second time.
  QTest::keyClick(m_pane->ChartWidget(), Qt::Key_Left);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewLeft(), 0.25);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewWidth(), 0.25);
  // The pane's frame, which has no key handling of its own, passes them on too.
  QTest::keyClick(m_pane->Widget(), Qt::Key_Right);
  QTest::keyClick(m_pane->Widget(), Qt::Key_Right);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewLeft(), 0.75);
  QTest::keyClick(m_pane->Widget(), Qt::Key_Right);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewLeft(), 0.75) << "the port stops at the newest bar";
}

TEST_F(ChartPaneKeys, EnterIsSwallowedAndEscapeReleasesTheScrip) {
  m_view->scripKey = "nse_cm|2885";
  m_view->Show(true);
  QTest::keyClick(m_pane->ChartWidget(), Qt::Key_Return);
  EXPECT_EQ(m_view->scripKey, "nse_cm|2885");
  EXPECT_TRUE(m_view->IsShown());
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewLeft(), 0.5);
  QTest::keyClick(m_pane->Widget(), Qt::Key_Escape);
  EXPECT_EQ(m_view->scripKey, "");
  EXPECT_FALSE(m_view->IsShown());
}

}  // namespace
}  // namespace kovo::gui
