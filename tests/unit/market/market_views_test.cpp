// The market movers view, offscreen: it shows the logic's state and hands
// the user's input to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "gui/market/market_views.h"
#include "market/kovo_market_scanner.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

using gui::QtMarketScannerView;

class MarketViews : public PluginFixture {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "market_gui_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  // The dialog form, its view a Qt one.
  CKovoMarketScannerDlg& Open() {
    Load();
    EXPECT_EQ(plugin->EnsureControlBlock(), 1);
    CKovoMarketScannerDlg& dialog = MarketOf(*plugin->ControlBlock()).ScannerDlg();
    auto owned = std::make_unique<QtMarketScannerView>(dialog, false);
    view = owned.get();
    dialog.SetView(std::move(owned));
    view->Refresh();
    return dialog;
  }
  FakeControl& Control(CMarketScannerLogic& logic) {
    return *reinterpret_cast<FakeControl*>(logic.Control());
  }
  QtMarketScannerView* view = nullptr;
};

TEST_F(MarketViews, ControlsReachTheLogicAndTheViewShowsItsState) {
  CKovoMarketScannerDlg& dialog = Open();
  EXPECT_EQ(view->ExchangeBox()->currentText(), "NSE");
  EXPECT_EQ(view->RecordCountEdit()->text(), "25");
  EXPECT_EQ(view->AutoRefreshBox()->text(), "Auto Refresh(5 min)");

  QTest::keyClicks(view->LowerEdit(), "12.5");
  EXPECT_EQ(dialog.LowerPrice(), "12.5");
  QTest::keyClicks(view->UpperEdit(), "7x.0");  // letters are not taken
  EXPECT_EQ(dialog.UpperPrice(), "7.0");
  QTest::keyClick(view->UpperEdit(), Qt::Key_Up);
  EXPECT_EQ(dialog.UpperPrice(), "7.05");

  view->RecordCountEdit()->clear();
  QTest::keyClicks(view->RecordCountEdit(), "30");
  EXPECT_EQ(dialog.RecordCount(), 30);
  EXPECT_EQ(view->AutoRefreshBox()->text(), "Auto Refresh(10 min)");
  QTest::keyClick(view->RecordCountEdit(), Qt::Key_1);  // 301 is still fine
  QTest::keyClick(view->RecordCountEdit(), Qt::Key_1);  // 3011 is not
  EXPECT_FALSE(view->AutoRefreshBox()->isEnabled());
  view->RecordCountEdit()->clear();
  QTest::keyClicks(view->RecordCountEdit(), "30");
  QTest::mouseClick(view->AutoRefreshBox(), Qt::LeftButton);
  EXPECT_TRUE(dialog.AutoRefreshChecked());
  EXPECT_EQ(dialog.RefreshPeriodMs(), 600000);

  QTest::mouseClick(view->CategoryButton(kValueLeaders), Qt::LeftButton);
  ASSERT_EQ(Control(dialog).sent.size(), 1u);
  const test::MsgPtr sent = Control(dialog).Sent(0);
  EXPECT_EQ(test::ValueText(sent.get(), MNM_FILTER_VALUE, 0), "1250.000000");
  EXPECT_EQ(test::ValueText(sent.get(), MNM_FILTER_VALUE, 1), "705.000000");
  EXPECT_EQ(test::ValueText(sent.get(), MNM_RECORD_COUNT), "30");
  EXPECT_NE(view->CategoryButton(kValueLeaders)->styleSheet(),
            view->CategoryButton(kGainers)->styleSheet());
  EXPECT_TRUE(view->CategoryButton(kValueLeaders)->styleSheet().contains("rgb(0,0,255)"));

  Control(dialog).Reply({{MNM_REPLY_REQUEST, "kms_request_nse_cm"},
                         {59051, "nse_cm"},
                         {MNM_SYMBOL_LIST, "AAA-EQ"},
                         {MNM_SYMBOL_LIST, "BBB-EQ"},
                         {59101, "2500000"},
                         {59101, "-100000"}});
  QAbstractItemModel* model = view->ListView()->model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), "Value (In Lakhs)");
  EXPECT_EQ(model->index(0, 3).data().toString(), "25.00000");
  EXPECT_EQ(model->index(1, 3).data().toString(), "-1.00000");

  // A double click on the list hides the strip; another shows it again.
  view->Widget()->show();
  emit view->ListView()->doubleClicked(model->index(0, 0));
  EXPECT_FALSE(dialog.ConfigurationShown());
  EXPECT_FALSE(view->ConfigurationStrip()->isVisible());
  emit view->ListView()->doubleClicked(model->index(0, 0));
  EXPECT_TRUE(view->ConfigurationStrip()->isVisible());

  // Closing the window stops the refresh.
  ASSERT_GT(dialog.RefreshPeriodMs(), 0);
  view->Widget()->close();
  EXPECT_EQ(dialog.RefreshPeriodMs(), 0);
  EXPECT_FALSE(view->Widget()->isVisible());
}

}  // namespace
}  // namespace kovo
