// The orders window and scripts pane views, offscreen: they show the
// logic's state and hand the user's clicks to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "gui/orders/orders_views.h"
#include "unit/orders/orders_fixture.h"

namespace kovo {
namespace {

using gui::QtApiOrdersView;
using gui::QtScriptsView;

class OrderViewsTest : public OrdersFixture {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "order_gui_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
};

TEST_F(OrderViewsTest, OrdersWindowShowsRowsAndItsButtonsFollowTheHeldOrder) {
  Load();
  sApiScript* s = Open("S");
  CApiOrderDetailsDlg& w = s->ordersWindow;
  auto owned = std::make_unique<QtApiOrdersView>(w);
  QtApiOrdersView* view = owned.get();
  w.SetView(std::move(owned));
  EXPECT_FALSE(view->PlaceButton()->isEnabled());

  sPlaceRequest held = Buy("H1", "NFO", "NIFTY26DECFUT");
  api->PlaceOrder(s, held, nullptr);
  api->PlaceOrder(s, Buy("A1"), nullptr);
  EXPECT_TRUE(view->Widget()->isVisible());
  EXPECT_TRUE(view->PlaceButton()->isEnabled());
  EXPECT_TRUE(view->IgnoreButton()->isEnabled());
  QAbstractItemModel* model = view->ListView()->model();
  ASSERT_EQ(model->rowCount(), 2);
  ASSERT_EQ(model->columnCount(), 14);
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Kovo Order Number");
  EXPECT_EQ(model->index(1, 1).data().toString(), CApiOrderDetailsDlg::kHeldText);
  EXPECT_EQ(model->index(0, 7).data().toString(), "A1");

  // The newest row is placed already, so Place reaches nobody and disables both.
  QTest::mouseClick(view->PlaceButton(), Qt::LeftButton);
  EXPECT_FALSE(view->PlaceButton()->isEnabled());
  EXPECT_FALSE(view->IgnoreButton()->isEnabled());
  EXPECT_EQ(orderHost.Calls().size(), 1u);  // only the automatic placement

  // A double click on the held row places it through the host.
  view->ListView()->selectRow(1);
  emit view->ListView()->doubleClicked(model->index(1, 0));
  ASSERT_EQ(orderHost.Calls().size(), 2u);
  EXPECT_EQ(orderHost.Calls()[1].function, "invoke2");
  EXPECT_EQ(model->index(1, 1).data().toString(), "");
}

TEST_F(OrderViewsTest, ScriptsPaneButtonsFollowMaximizedModeAndStopTheSelection) {
  Load();
  CScriptsViewDlg& logic = api->ScriptsView();
  auto owned = std::make_unique<QtScriptsView>(logic);
  QtScriptsView* view = owned.get();
  logic.SetView(std::move(owned));
  view->Widget()->resize(500, 300);
  view->Widget()->show();
  sApiScript* s = Open("alpha");
  EXPECT_FALSE(view->ResumeButton()->isVisible());
  EXPECT_EQ(view->ListView()->geometry(), QRect(3, 2, 495, 296));

  logic.OnCommand(kCmdMaximizedMode);
  EXPECT_TRUE(view->ResumeButton()->isVisible());
  EXPECT_TRUE(view->StopButton()->isEnabled());
  EXPECT_EQ(view->ListView()->geometry(), QRect(3, 45, 495, 250));

  QAbstractItemModel* model = view->ListView()->model();
  ASSERT_EQ(model->rowCount(), 1);
  EXPECT_EQ(model->index(0, 5).data().toString(), "ACTIVE");
  view->ListView()->selectRow(0);
  QTest::mouseClick(view->StopButton(), Qt::LeftButton);
  EXPECT_FALSE(s->active);
  EXPECT_EQ(model->index(0, 5).data().toString(), "Stopped");
  QTest::mouseClick(view->ResumeButton(), Qt::LeftButton);
  EXPECT_TRUE(s->active);
}

}  // namespace
}  // namespace kovo
