// The chart window's Qt pane: keys reach the window before the chart sees
// them, the context menu and the strips run the window's commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <memory>

#include "charts/chart_time.h"
#include "charts/data_table_dlg.h"
#include "charts/fchart_view.h"
#include "charts/vwap_store.h"
#include "fakes/temp_dir.h"
#include "gui/charts/chart_pane_view.h"
#include "gui/charts/data_table_view.h"
#include "gui/charts/indicator_setting_view.h"
#include "gui/qt_views.h"
#include "platform/headless_ui_thread.h"
#include "platform/headless_views.h"
#include "plugin/control_block.h"

namespace kovo::gui {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "chart_pane_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the input devices synthetic key events register are
  // torn down with the process, after a static application would be gone.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A control block with its bar store, headless but for the view factory.
std::unique_ptr<CControlBlock> ChartControlBlock(const test::TempDir& dir,
                                                 std::unique_ptr<ViewFactory> views) {
  sControlBlockSetup setup;
  setup.resolve = [](std::string_view) -> void* { return nullptr; };
  setup.paths.hostFolder = dir.Path();
  setup.paths.appDataFolder = dir.Path();
  setup.userFolderId = "tester";
  setup.ports.ui = std::make_unique<HeadlessUiThread>();
  setup.ports.dialogs = std::make_unique<HeadlessDialogs>();
  setup.ports.views = std::move(views);
  setup.ports.frame = std::make_unique<HeadlessHostFrame>();
  auto cb = std::make_unique<CControlBlock>(std::move(setup));
  cb->chartStore = std::make_unique<CVWapStore>(*cb);
  return cb;
}

class ChartPane : public ::testing::Test {
 protected:
  ChartPane() {
    App();
    m_cb = ChartControlBlock(m_dir, std::make_unique<HeadlessViewFactory>());
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
  ~ChartPane() override {
    m_pane.reset();
    m_view.reset();
    m_cb->chartStore.reset();
  }

  // The menu action of a command, searched through the submenus.
 public:
  static QAction* Find(QMenu& menu, int id) {
    for (QAction* action : menu.actions()) {
      if (action->menu()) {
        if (QAction* found = Find(*action->menu(), id)) return found;
      } else if (action->data().toInt() == id) {
        return action;
      }
    }
    return nullptr;
  }
  bool Visible(QWidget* widget) const { return widget->isVisibleTo(m_pane->Widget()); }

  test::TempDir m_dir;
  std::unique_ptr<CControlBlock> m_cb;
  std::unique_ptr<CFChartView> m_view;
  std::unique_ptr<QtChartPaneView> m_pane;
};

TEST_F(ChartPane, ArrowsMoveTheViewPortByItsWidth) {
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

TEST_F(ChartPane, EnterIsSwallowedAndEscapeReleasesTheScrip) {
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

TEST_F(ChartPane, CtrlKeysAreTheWindowsToo) {
  m_view->scripKey = "nse_cm|2885";
  QTest::keyClick(m_pane->ChartWidget(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewWidth(), 0.25) << "25 of 100 recent candles";
  QTest::keyClick(m_pane->ChartWidget(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewWidth(), 1.0);
  // Only the window knows the data table.
  QTest::keyClick(m_pane->ChartWidget(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_NE(m_view->DataTable(), nullptr);
}

TEST_F(ChartPane, TheContextMenuRunsTheWindowsCommandsAndShowsItsChecks) {
  QMenu menu;
  m_pane->ChartWidget()->FillContextMenu(menu);
  QAction* lock = Find(menu, chart_cmd::kLockScrip);
  ASSERT_NE(lock, nullptr);
  EXPECT_FALSE(lock->isChecked());
  lock->trigger();
  EXPECT_TRUE(m_view->isLocked) << "a window command, not the chart control's";
  QAction* reset = Find(menu, chart_cmd::kResetZoom);
  ASSERT_NE(reset, nullptr);
  reset->trigger();
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewWidth(), 1.0) << "others go on to the chart control";

  QMenu again;
  m_pane->ChartWidget()->FillContextMenu(again);
  ASSERT_NE(Find(again, chart_cmd::kLockScrip), nullptr);
  EXPECT_TRUE(Find(again, chart_cmd::kLockScrip)->isChecked());
}

TEST_F(ChartPane, TheStripsCarryTheirValuesToTheWindow) {
  m_pane->Refresh();
  EXPECT_FALSE(Visible(m_pane->IntervalStrip()));
  EXPECT_FALSE(Visible(m_pane->HistoricalStrip()));
  EXPECT_TRUE(Visible(m_pane->StripToggle()));
  QTest::mouseClick(m_pane->StripToggle(), Qt::LeftButton);
  m_pane->Refresh();
  EXPECT_TRUE(Visible(m_pane->IntervalStrip())) << "an intraday window's strip";
  EXPECT_EQ(m_pane->IntervalBox()->value(), 1);
  EXPECT_EQ(m_pane->IntervalBox()->maximum(), 1000);
  QTest::mouseClick(m_pane->StripToggle(), Qt::LeftButton);
  m_pane->Refresh();
  EXPECT_FALSE(Visible(m_pane->IntervalStrip()));

  m_view->scripKey = "nse_cm|2885";
  m_view->isHistorical = true;
  // The range the window shows; the pickers open on it.
  m_view->fromDate = "09/01/2026";
  m_view->toDate = "12/01/2026";
  QTest::mouseClick(m_pane->StripToggle(), Qt::LeftButton);
  m_pane->Refresh();
  ASSERT_TRUE(Visible(m_pane->HistoricalStrip()));
  EXPECT_EQ(m_pane->FromDate()->date(), QDate(2026, 9, 1));
  EXPECT_EQ(m_pane->ToDate()->date(), QDate(2026, 12, 1));
  EXPECT_EQ(m_pane->FromDate()->text().toStdString(), "09/01/2026")
      << "shown as the window's range reads";
  m_pane->FromDate()->setDate(QDate(2026, 10, 2));
  QTest::mouseClick(m_pane->ApplyButton(), Qt::LeftButton);
  m_pane->Refresh();
  EXPECT_EQ(m_view->fromDate, "10/02/2026");
  EXPECT_EQ(m_view->toDate, "12/01/2026");
  EXPECT_TRUE(m_view->IsMenuChecked(chart_id::kPeriodConfigured));
  EXPECT_FALSE(Visible(m_pane->HistoricalStrip()));

  QTest::mouseClick(m_pane->StripToggle(), Qt::LeftButton);
  m_pane->Refresh();
  ASSERT_TRUE(Visible(m_pane->HistoricalStrip()));
  QTest::mouseClick(m_pane->CancelButton(), Qt::LeftButton);
  m_pane->Refresh();
  EXPECT_FALSE(Visible(m_pane->HistoricalStrip()));
  EXPECT_EQ(m_view->fromDate, "10/02/2026") << "Cancel asks for nothing";
}

TEST_F(ChartPane, TheScrollBarFollowsAndMovesTheViewPort) {
  m_pane->Refresh();
  QScrollBar* bar = m_pane->ScrollBar();
  EXPECT_EQ(bar->pageStep(), 2500);
  EXPECT_EQ(bar->value(), 5000);
  EXPECT_TRUE(bar->isEnabled());
  bar->setValue(1000);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewLeft(), 0.1);
  EXPECT_DOUBLE_EQ(m_view->Chart().ViewWidth(), 0.25);
  m_view->Chart().SetViewPort(0.0, 1.0);
  m_pane->Refresh();
  EXPECT_FALSE(bar->isEnabled()) << "nothing to scroll when every bar is shown";
}

TEST_F(ChartPane, LoadingShowsARunningBarInsteadOfTheChart) {
  m_view->ShowBusy(true);
  m_pane->Refresh();
  EXPECT_TRUE(Visible(m_pane->BusyIndicator()));
  EXPECT_EQ(m_pane->BusyIndicator()->maximum(), 0) << "a bar with no end keeps moving";
  EXPECT_FALSE(Visible(m_pane->ChartWidget()));
  m_view->ShowBusy(false);
  m_pane->Refresh();
  EXPECT_FALSE(Visible(m_pane->BusyIndicator()));
  EXPECT_TRUE(Visible(m_pane->ChartWidget()));
}

TEST_F(ChartPane, TheDockedPaneTakesTheWindowsTitle) {
  QMainWindow main;
  QtHostFrame frame(&main);
  ASSERT_TRUE(frame.AddPane("chart", " ", *m_pane));
  auto* dock = main.findChild<QDockWidget*>("chart");
  ASSERT_NE(dock, nullptr);
  EXPECT_EQ(dock->windowTitle(), " ");
  m_pane->SetTitle("Historical chart : RELIANCE-EQ");
  EXPECT_EQ(dock->windowTitle(), "Historical chart : RELIANCE-EQ");
  frame.RemovePane("chart");
}

}  // namespace
}  // namespace kovo::gui

namespace kovo::gui {
namespace {

// The pane as the terminal gets it: the window makes its view through the
// Qt view factory when it is created.
class TerminalBuiltPane : public ::testing::Test {
 protected:
  TerminalBuiltPane() {
    App();
    m_cb = ChartControlBlock(m_dir, std::make_unique<QtViewFactory>());
    m_view = std::make_unique<CFChartView>(*m_cb, 0);
    EXPECT_TRUE(m_view->Create("Intraday Chart"));
    m_pane = dynamic_cast<QtChartPaneView*>(m_view->GetView());
  }
  ~TerminalBuiltPane() override {
    m_view.reset();
    m_cb->chartStore.reset();
  }

  int Row(const char* name) const {
    const auto items = m_pane->IndicatorList()->findItems(name, Qt::MatchExactly);
    return items.size() == 1 ? m_pane->IndicatorList()->row(items[0]) : -1;
  }
  // Double-clicks a list entry; `answer` runs on the settings dialog it opens.
  bool AddThroughList(const char* name,
                      const std::function<void(CFIndicatorSettingView&)>& answer) {
    const int row = Row(name);
    if (row < 0) return false;
    bool opened = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = dynamic_cast<CFIndicatorSettingView*>(QApplication::activeModalWidget());
      if (!dialog) return;
      opened = true;
      answer(*dialog);
    });
    QListWidgetItem* item = m_pane->IndicatorList()->item(row);
    emit m_pane->IndicatorList()->itemDoubleClicked(item);
    return opened;
  }

  test::TempDir m_dir;
  std::unique_ptr<CControlBlock> m_cb;
  std::unique_ptr<CFChartView> m_view;
  QtChartPaneView* m_pane = nullptr;
};

TEST_F(TerminalBuiltPane, TheIndicatorsListIsFilledAndAddsThroughTheSettingsDialog) {
  ASSERT_NE(m_pane, nullptr);
  ASSERT_EQ(m_pane->IndicatorList()->count(), static_cast<int>(IndicatorCatalog().size()));
  EXPECT_EQ(m_pane->IndicatorList()->item(0)->text(), "Accumulation/Distribution");

  std::string shown;
  ASSERT_TRUE(AddThroughList("RSI", [&](CFIndicatorSettingView& d) {
    shown = d.IndicatorCombo()->currentText().toStdString();
    d.Box(0)->setText("10");
    emit d.Box(0)->textEdited("10");
    d.OkButton()->click();
  }));
  EXPECT_EQ(shown, "RSI") << "the dialog opens on the entry";
  ASSERT_NE(m_view->Chart().Params("RSI"), nullptr);
  EXPECT_EQ(m_view->Chart().Params("RSI")->param1, "10");
  EXPECT_TRUE(m_pane->IndicatorList()->item(Row("RSI"))->font().bold()) << "the list follows";

  // The overlays without a menu command go on too.
  for (const char* overlay : {"Bollinger Band", "Donchain Channel", "Envelop"}) {
    ASSERT_TRUE(AddThroughList(overlay, [](CFIndicatorSettingView& d) { d.OkButton()->click(); }))
        << overlay;
  }
  const auto& names = m_view->Chart().IndicatorNames();
  EXPECT_EQ(names,
            (std::vector<std::string>{"RSI", "Bollinger Band", "Donchain Channel", "Envelop"}));
  ASSERT_TRUE(AddThroughList("MACD", [](CFIndicatorSettingView& d) { d.reject(); }));
  EXPECT_EQ(m_view->Chart().Params("MACD"), nullptr) << "Cancel adds nothing";

  m_view->RemoveIndicatorAt(Row("RSI"));
  EXPECT_EQ(m_view->Chart().Params("RSI"), nullptr);
  EXPECT_FALSE(m_pane->IndicatorList()->item(Row("RSI"))->font().bold());
}

TEST_F(TerminalBuiltPane, TheContextMenuIsAPlainMenuWithShortcutsAndSubmenus) {
  ASSERT_NE(m_pane, nullptr);
  QMenu menu;
  m_pane->ChartWidget()->FillContextMenu(menu);
  int submenus = 0;
  for (QAction* action : menu.actions()) {
    EXPECT_FALSE(action->text().contains(QLatin1Char('\t'))) << action->text().toStdString();
    if (action->menu()) {
      ++submenus;
      EXPECT_FALSE(action->menu()->actions().isEmpty());
    }
  }
  EXPECT_EQ(submenus, 5) << "style, study lines, interval, historical, levels";
  QAction* settings = ChartPane::Find(menu, chart_cmd::kPreferenceSettings);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->text(), "Preference Settings");
  EXPECT_EQ(settings->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  QAction* zoomOut = ChartPane::Find(menu, chart_cmd::kZoomOut);
  ASSERT_NE(zoomOut, nullptr);
  EXPECT_EQ(zoomOut->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  EXPECT_LT(menu.sizeHint().width(), 400) << "no column of tabs";
}

TEST_F(TerminalBuiltPane, TheDataTableWindowShowsTheBarsAndAnIndicatorColumn) {
  CDataTableDlg table(*m_cb);
  ASSERT_TRUE(table.Create());
  auto* view = dynamic_cast<QtDataTableView*>(table.GetView());
  ASSERT_NE(view, nullptr);
  VwapSeries bars;
  std::vector<double> t, h, l, o, c, v;
  for (int i = 0; i < 30; ++i) {
    auto bar = std::make_shared<sVwapData>();
    bar->time = 1767000000 + 60 * i;
    bar->open = 100 + i, bar->high = 101 + i, bar->low = 99 + i, bar->close = 100.5 + i;
    bar->volume = 10;
    bars.push_back(bar);
    t.push_back(ChartTimeFromUnix(bar->time));
    o.push_back(bar->open), h.push_back(bar->high), l.push_back(bar->low);
    c.push_back(bar->close), v.push_back(10);
  }
  for (auto* a : {&t, &h, &l, &o, &c, &v}) a->push_back(0);
  FChartCtrl& chart = m_view->Chart();
  chart.SetData(t, h, l, o, c, v);
  chart.AddIndicatorByCommand(3458);
  table.Fill("RELIANCE-EQ", 100.0, bars, &chart);
  EXPECT_TRUE(view->Widget()->isVisible());
  EXPECT_EQ(view->Widget()->windowTitle(), "DataTable : RELIANCE-EQ");
  const QtListModel* model = view->BarList()->Model();
  ASSERT_EQ(model->rowCount(), 30);
  ASSERT_EQ(model->columnCount(), 8);
  EXPECT_EQ(model->headerData(7, Qt::Horizontal, Qt::DisplayRole).toString(), "RSI (14)");
  EXPECT_EQ(model->index(0, 2).data().toString(), "129.0000");
  EXPECT_FALSE(model->index(0, 7).data().toString().isEmpty());
  EXPECT_TRUE(model->index(29, 7).data().toString().isEmpty());
  EXPECT_FALSE(view->CrossList()->isVisibleTo(view->Widget())) << "the chart keeps it hidden";
  view->OkButton()->click();
  EXPECT_FALSE(view->Widget()->isVisible());
}

}  // namespace
}  // namespace kovo::gui
