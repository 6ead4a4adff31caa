// The Qt views of the session's windows: updates offer, beep switches,
// pop-up notice and splash picture, drawn offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"
#include "gui/qt_ports.h"
#include "gui/qt_session_views.h"
#include "gui/qt_ui_thread.h"
#include "gui/qt_views.h"
#include "platform/headless_views.h"
#include "plugin/beep_alerts.h"
#include "plugin/control_block.h"
#include "plugin/notification.h"
#include "plugin/updates_dlg.h"

namespace kovo::test {
namespace {

using gui::QtBeepAlertsView;
using gui::QtPopupView;
using gui::QtSplashView;
using gui::QtUpdatesView;

// The Qt factory, remembering the last view of each kind it made.
class RecordingQtViews final : public ViewFactory {
 public:
  std::unique_ptr<View> CreateBanner(CBannerWnd& banner) override {
    return m_qt.CreateBanner(banner);
  }
  std::unique_ptr<View> CreateLoginDialog(CLoginDlg& dialog) override {
    return m_qt.CreateLoginDialog(dialog);
  }
  std::unique_ptr<View> CreateUpdatesDialog(CUpdatesDlg& dialog) override {
    return Keep(m_qt.CreateUpdatesDialog(dialog), updates);
  }
  std::unique_ptr<View> CreateBeepAlerts(CBeepAlerts& alerts) override {
    return Keep(m_qt.CreateBeepAlerts(alerts), beep);
  }
  std::unique_ptr<View> CreatePopup(CTaskBarMsgWnd& popup) override {
    return Keep(m_qt.CreatePopup(popup), popupView);
  }
  std::unique_ptr<View> CreateSplash(CSplashScreen& splash) override {
    return Keep(m_qt.CreateSplash(splash), splashView);
  }
  std::unique_ptr<View> CreateChartView(CFChartView& chart) override {
    return m_qt.CreateChartView(chart);
  }

  QtUpdatesView* updates = nullptr;
  QtBeepAlertsView* beep = nullptr;
  QtPopupView* popupView = nullptr;
  QtSplashView* splashView = nullptr;

 private:
  template <typename T>
  static std::unique_ptr<View> Keep(std::unique_ptr<View> view, T*& last) {
    last = dynamic_cast<T*>(view.get());
    return view;
  }
  gui::QtViewFactory m_qt;
};

bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Colour channels each within tolerance.
::testing::AssertionResult Near(QColor actual, QColor expected, int tolerance = 6) {
  const bool near = std::abs(actual.red() - expected.red()) <= tolerance &&
                    std::abs(actual.green() - expected.green()) <= tolerance &&
                    std::abs(actual.blue() - expected.blue()) <= tolerance;
  if (near) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << actual.name().toStdString() << " is not near " << expected.name().toStdString();
}

class SessionViews : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "session_views_test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }

  void SetUp() override {
    sControlBlockSetup setup;
    setup.userFolderId = "U1";
    setup.resolve = [](std::string_view) -> void* { return nullptr; };
    setup.paths.hostFolder = m_dir / "host";
    setup.paths.appDataFolder = m_dir / "data";
    setup.ports.ui = std::make_unique<gui::QtUiThread>();
    auto dialogs = std::make_unique<RecordingDialogs>();
    dialogs_ = dialogs.get();
    setup.ports.dialogs = std::move(dialogs);
    auto views = std::make_unique<RecordingQtViews>();
    views_ = views.get();
    setup.ports.views = std::move(views);
    setup.ports.frame = std::make_unique<gui::QtHostFrame>();
    setup.ports.screens = std::make_unique<HeadlessScreens>();
    cb_ = std::make_unique<CControlBlock>(std::move(setup));
  }
  void TearDown() override { cb_.reset(); }

  TempDir m_dir;
  RecordingDialogs* dialogs_ = nullptr;
  RecordingQtViews* views_ = nullptr;
  std::unique_ptr<CControlBlock> cb_;
};

TEST_F(SessionViews, UpdatesOfferShowsTheMessageAndTheLogicsButtonStates) {
  CUpdatesDlg& dlg = *cb_->updatesDlg;
  ASSERT_TRUE(dlg.Create());
  ASSERT_NE(views_->updates, nullptr);
  QtUpdatesView& view = *views_->updates;
  QWidget& window = *view.Widget();
  EXPECT_EQ(window.windowTitle().toStdString(), dlg.Title());

  // An offer without a download: both actions off, Close still there.
  dlg.message = "You are running the latest version";
  dlg.buttonsDisabled = true;
  dlg.Show();
  ASSERT_TRUE(PumpUntil([&] { return window.isVisible(); }));
  EXPECT_EQ(view.Message()->text(), QStringLiteral("You are running the latest version"));
  EXPECT_FALSE(view.Button(kUpdatesRunNow)->isEnabled());
  EXPECT_FALSE(view.Button(kUpdatesRunOnExit)->isEnabled());
  EXPECT_TRUE(view.Button(kUpdatesClose)->isEnabled());
  // Centred on the screen.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window.frameGeometry().center() - area.center()).manhattanLength(), 2);

  dlg.OnClose();
  EXPECT_FALSE(window.isVisible());

  // A download: the buttons come back, and "run on exit" hands the installer over.
  dlg.message = "Version 3.5.3 is ready";
  dlg.buttonsDisabled = false;
  dlg.installerPath = "/opt/terminal/KovoTraderAutoInstaller.exe";
  dlg.commandLine = "\"a\" \"KovoZint\"";
  dlg.Show();
  EXPECT_TRUE(view.Button(kUpdatesRunNow)->isEnabled());
  ASSERT_TRUE(view.Button(kUpdatesRunOnExit)->isEnabled());
  EXPECT_EQ(view.Message()->text(), QStringLiteral("Version 3.5.3 is ready"));
  QTest::mouseClick(view.Button(kUpdatesRunOnExit), Qt::LeftButton);
  EXPECT_EQ(cb_->session.installerPath, dlg.installerPath);
  EXPECT_EQ(cb_->session.installerCommandLine, dlg.commandLine);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(SessionViews, BeepSwitchesFollowTheLogicAndClicksChangeIt) {
  CBeepAlerts& alerts = *cb_->beepAlerts;
  ASSERT_TRUE(alerts.HasWindow());
  ASSERT_NE(views_->beep, nullptr);
  QtBeepAlertsView& view = *views_->beep;
  EXPECT_EQ(view.Widget()->windowTitle(), QStringLiteral("Alerts"));
  QCheckBox* trading = view.CheckBox(kBeepTradingCalls);
  QCheckBox* api = view.CheckBox(kBeepApiOrders);
  ASSERT_TRUE(trading && api);
  EXPECT_EQ(trading->text(), QStringLiteral("Beep for Trading Calls"));
  EXPECT_EQ(api->text(), QStringLiteral("Zint Api Orders"));
  EXPECT_EQ(view.SaveButton()->text(), QStringLiteral("Save"));

  alerts.SetChecked(kBeepApiOrders, true);
  EXPECT_TRUE(api->isChecked());
  EXPECT_FALSE(trading->isChecked());
  alerts.SetChecked(kBeepTradingCalls, true);
  alerts.SetChecked(kBeepApiOrders, false);
  EXPECT_TRUE(trading->isChecked());
  EXPECT_FALSE(api->isChecked());

  alerts.Show();
  ASSERT_TRUE(PumpUntil([&] { return view.Widget()->isVisible(); }));
  QTest::mouseClick(api, Qt::LeftButton);
  EXPECT_TRUE(alerts.IsChecked(kBeepApiOrders));
  EXPECT_TRUE(alerts.IsBeepOn("Zint Api Orders"));
  QTest::mouseClick(trading, Qt::LeftButton);
  EXPECT_FALSE(alerts.IsChecked(kBeepTradingCalls));
  EXPECT_FALSE(alerts.IsBeepOn("Indian Volatility Calls"));

  QTest::mouseClick(view.SaveButton(), Qt::LeftButton);
  const auto stored = [&](const char* section) {
    std::string value;
    cb_->Settings().Read(section, "BEEP_ALERT", value, "zintsettings.ini",
                         SettingsLocation::kUserFolder);
    return value;
  };
  EXPECT_EQ(stored("TRADING_CALLS"), "0");
  EXPECT_EQ(stored("ZINT_API_ORDERS"), "1");
}

class PopupView : public SessionViews {
 protected:
  // A pop-up that stays out long enough to be looked at.
  std::unique_ptr<CTaskBarMsgWnd> MakePopup(const std::string& text) {
    const sPopupLayout layout = LayoutPopup(text);
    return std::make_unique<CTaskBarMsgWnd>(cb_->Ui(), *views_, layout.text, layout.width,
                                            layout.height, 60000, 1,
                                            sRect{10, 10, layout.width - 10, layout.height - 5}, 0);
  }
  HeadlessScreens m_screens;
};

TEST_F(PopupView, IsATopmostToolWindowThatNeverTakesTheFocusAndFollowsTheLogicsPlace) {
  auto popup = MakePopup("Order placed");
  ASSERT_NE(views_->popupView, nullptr);
  QPointer<QWidget> guard = views_->popupView->Widget();
  QWidget& window = *guard;
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
  EXPECT_EQ(window.windowType(), Qt::Tool);
  EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));

  popup->Start(m_screens.screen, m_screens.work);
  EXPECT_TRUE(window.isVisible());
  ASSERT_TRUE(PumpUntil([&] { return popup->Shown(); }));
  EXPECT_EQ(gui::FromQRect(window.geometry()), popup->WindowRect());
  EXPECT_EQ(window.height(), popup->FullHeight());
  EXPECT_EQ(window.property(gui::kPopupFullHeightProperty).toInt(), popup->FullHeight());
  // The platform window carries it too (the offscreen platform activates regardless).
  ASSERT_NE(window.windowHandle(), nullptr);
  EXPECT_TRUE(window.windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
  popup.reset();
  EXPECT_TRUE(guard.isNull()) << "the window goes with its logic";
}

TEST_F(PopupView, DrawsTheDarkTitleBandOverTheBlueGradientWithTheText) {
  auto popup = MakePopup("Buy NIFTY 24000 CE above 120, target 160");
  ASSERT_NE(views_->popupView, nullptr);
  QWidget& window = *views_->popupView->Widget();
  popup->Start(m_screens.screen, m_screens.work);
  ASSERT_TRUE(PumpUntil([&] { return popup->Shown(); }));
  const QImage image = window.grab().toImage();
  ASSERT_EQ(image.height(), popup->FullHeight());
  const int w = image.width();
  const int h = image.height();
  const auto at = [&](int x, int y) { return image.pixelColor(x, y); };

  // The raised frame: grey top-left, white bottom-right.
  EXPECT_TRUE(Near(at(0, 8), gui::FromColorRef(0x7E7E7E), 0));
  EXPECT_TRUE(Near(at(w - 1, h / 2), QColor(Qt::white), 0));
  EXPECT_TRUE(Near(at(w / 2, h - 1), QColor(Qt::white), 0));

  // Title band: black on the left fading to grey on the right.
  EXPECT_TRUE(Near(at(2, 2), QColor(Qt::black)));
  EXPECT_TRUE(Near(at(w - 3, 2), gui::FromColorRef(0x646464)));
  // Below it, from light to deep blue, top to bottom (0x00BBGGRR values).
  const int bandBottom = 1 + QtPopupView::kTitleBandHeight;
  EXPECT_TRUE(Near(at(2, bandBottom), gui::FromColorRef(0xECB977)));
  EXPECT_TRUE(Near(at(2, h - 2), gui::FromColorRef(0xAB4C24)));
  EXPECT_GT(at(2, bandBottom).blue(), at(2, bandBottom).red()) << "blue, not orange";

  // The title and the text: light pixels where the band and the body are dark.
  const auto lightPixels = [&](const QRect& rect) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom() && y < h; ++y)
      for (int x = rect.left(); x <= rect.right() && x < w; ++x)
        if (at(x, y).red() > 170) ++n;
    return n;
  };
  EXPECT_GT(lightPixels(QRect(1, 1, w - 2, QtPopupView::kTitleBandHeight)), 10);
  EXPECT_GT(lightPixels(QtPopupView::TextArea(*popup)), 10);
  // Nothing light in the body's left margin, outside the text.
  EXPECT_EQ(lightPixels(QRect(1, bandBottom, 8, h - bandBottom - 2)), 0);
}

TEST_F(PopupView, ColourValuesAreRedGreenBlueFromTheLowByte) {
  const QColor c = gui::FromColorRef(0x00AB4C24);
  EXPECT_EQ(c.red(), 0x24);
  EXPECT_EQ(c.green(), 0x4C);
  EXPECT_EQ(c.blue(), 0xAB);
  EXPECT_EQ(gui::ToQRect(sRect{10, 20, 110, 70}), QRect(10, 20, 100, 50));
  EXPECT_EQ(gui::FromQRect(QRect(10, 20, 100, 50)), (sRect{10, 20, 110, 70}));
}

TEST_F(SessionViews, SplashIsThePicturesSizeInTheScreensMiddleAndTracksThePointer) {
  const std::filesystem::path file = m_dir / "Nonliability.bmp";
  QImage picture(120, 80, QImage::Format_RGB32);
  picture.fill(QColor(10, 200, 30));
  ASSERT_TRUE(picture.save(QString::fromStdString(file.string()), "BMP"));

  CSplashScreen splash(cb_->Ui(), *views_, 60000, 60000);
  ASSERT_TRUE(splash.Start(file));
  ASSERT_NE(views_->splashView, nullptr);
  QWidget& window = *views_->splashView->Widget();
  ASSERT_TRUE(PumpUntil([&] { return window.isVisible(); }));
  EXPECT_EQ(window.size(), QSize(120, 80));
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window.frameGeometry().center() - screen.center()).manhattanLength(), 2);
  EXPECT_TRUE(Near(window.grab().toImage().pixelColor(60, 40), QColor(10, 200, 30), 0));

  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), window.mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(splash.pointerOver);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&window, &leave);
  EXPECT_FALSE(splash.pointerOver);

  splash.Close();
  EXPECT_FALSE(splash.IsOpen());
}

TEST_F(SessionViews, SplashWithoutALoadablePictureMakesNoWindow) {
  const std::filesystem::path file = m_dir / "broken.bmp";
  TempDir::WriteFile(file, "BM not really a picture");
  CSplashScreen splash(cb_->Ui(), *views_, 60000, 60000);
  EXPECT_FALSE(splash.Start(file));
  EXPECT_FALSE(splash.IsOpen());
}

TEST_F(SessionViews, TrayIconShowsWithItsDialogPassesClicksOnAndGoesWithIt) {
  ASSERT_NE(views_->beep, nullptr);
  QPixmap pixels(16, 16);
  pixels.fill(Qt::red);
  int doubleClicks = 0;
  int rightClicks = 0;
  gui::QtTrayIcon::Handlers handlers;
  handlers.doubleClick = [&](const QPoint&) { ++doubleClicks; };
  handlers.rightClick = [&](const QPoint&) { ++rightClicks; };
  auto tray = std::make_unique<gui::QtTrayIcon>(*views_->beep, QIcon(pixels),
                                                QStringLiteral("Alerts"), handlers);
  QPointer<QSystemTrayIcon> icon = tray->Icon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_FALSE(icon->isVisible()) << "not before its dialog";
  cb_->beepAlerts->Show();
  EXPECT_TRUE(icon->isVisible());
  EXPECT_EQ(icon->toolTip(), QStringLiteral("Alerts"));

  emit icon->activated(QSystemTrayIcon::DoubleClick);
  emit icon->activated(QSystemTrayIcon::Context);
  emit icon->activated(QSystemTrayIcon::Context);
  EXPECT_EQ(doubleClicks, 1);
  EXPECT_EQ(rightClicks, 2);

  tray.reset();
  EXPECT_TRUE(icon.isNull());
}

TEST_F(SessionViews, QtPortsReportThePrimaryScreenAndItsWorkArea) {
  PluginPorts ports;
  ASSERT_TRUE(gui::MakeQtPorts(ports));
  ASSERT_NE(ports.screens, nullptr);
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect g = screen->geometry();
  const sRect r = ports.screens->ScreenRect();
  EXPECT_EQ(r, (sRect{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()}));
  const QRect a = screen->availableGeometry();
  EXPECT_EQ(ports.screens->WorkArea(),
            (sRect{a.x(), a.y(), a.x() + a.width(), a.y() + a.height()}));
}

}  // namespace
}  // namespace kovo::test
