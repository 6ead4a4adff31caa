// The update check and its dialog, beep alerts, pop-ups and the splash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/headless_views.h"
#include "platform/ini_file.h"
#include "platform/process_starter.h"
#include "plugin/beep_alerts.h"
#include "plugin/mnm_fields.h"
#include "plugin/notification.h"
#include "plugin/updates_dlg.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

class SessionWindows : public PluginFixture {
 protected:
  FakeControl& Requests() { return *rx.controls.at(0); }
  std::filesystem::path UserIni(const char* name) {
    return dir / "data" / "Tolvane" / "KovoZint" / "DEMO01" / name;
  }
  void MakeInstaller() { TempDirWrite(dir / "host" / "KovoTraderAutoInstaller", "#!/bin/sh\n"); }
  static void TempDirWrite(const std::filesystem::path& p, std::string_view text) {
    std::filesystem::create_directories(p.parent_path());
    test::TempDir::WriteFile(p, text);
  }
  std::vector<test::Field> Offer(const std::string& address) {
    return {{MNM_REPLY_REQUEST, "zint_check_updates"},
            {MNM_MESSAGE_TEXT, "A new version is available"},
            {MNM_MESSAGE_TEXT, address},
            {MNM_VERSION, "7"},
            {MNM_USER, "KovoZint"},
            {30004, "2019"},
            {MNM_FIELD_49033, "/silent"}};
  }
};

TEST_F(SessionWindows, UpdateCheckSendsItsFieldsAndOffersTheInstaller) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  cb.session.nameText = "proc";
  ASSERT_TRUE(ini::WriteValue(UserIni("UpdateVersion.ini"), "PATCH_NO", "VALUE", "4"));
  ASSERT_EQ(plugin->CheckForUpdates(), 1);
  EXPECT_TRUE(Logged("KovoZint Message : check for updates request sent"));
  const test::MsgPtr m = Requests().Sent(Requests().sent.size() - 1);
  EXPECT_EQ(test::ValueText(m.get(), 0), "zint_check_updates");
  EXPECT_EQ(test::ValueText(m.get(), MNM_PRODUCT_ID), "2019");
  EXPECT_EQ(test::ValueText(m.get(), MNM_VERSION, 0), "3.5.2.0");
  EXPECT_EQ(test::ValueText(m.get(), MNM_VERSION, 1), "4");
  EXPECT_EQ(test::ValueText(m.get(), MNM_USER_IP_ADDRESS), "10.1.2.3");
  EXPECT_EQ(test::ValueText(m.get(), MNM_USER_MAC_ADDRESS), "AA:BB:CC:00:11:22");
  EXPECT_EQ(test::ValueText(m.get(), MNM_PROC_ID), "proc_INT");

  // An offer without the installer beside the host ends quietly.
  Requests().Reply(Offer("http://h/x/KovoZint-3.5.3.zip"));
  EXPECT_FALSE(cb.updatesDlg->HasWindow());
  EXPECT_EQ(ini::ReadValue(UserIni("UpdateVersion.ini"), "PATCH_NO", "VALUE"), "7");

  MakeInstaller();
  Requests().Reply(Offer("http://h/x/KovoZint-3.5.3.zip"));
  ASSERT_TRUE(cb.updatesDlg->IsVisible());
  const std::string installer = (dir / "host" / "KovoTraderAutoInstaller").string();
  const std::string local = (dir / "host" / "Download" / "Zint" / "KovoZint-3.5.3.zip").string();
  EXPECT_TRUE(std::filesystem::is_directory(dir / "host" / "Download" / "Zint"));
  EXPECT_EQ(cb.updatesDlg->commandLine, "\"" + installer +
                                            "\" \"KovoZint\" \"KovoZint\" "
                                            "\"http://h/x/KovoZint-3.5.3.zip\" \"" +
                                            local + "\" \"/silent\"");
  EXPECT_TRUE(cb.updatesDlg->IsButtonEnabled(kUpdatesRunNow));

  // Once the dialog exists, no further check goes out.
  const size_t sent = Requests().sent.size();
  EXPECT_EQ(plugin->CheckForUpdates(), 0);
  EXPECT_EQ(Requests().sent.size(), sent);

  // Chosen to run at exit: the shutdown starts it with the same arguments.
  cb.updatesDlg->OnRunOnExit();
  EXPECT_FALSE(cb.updatesDlg->IsVisible());
  plugin->Exit();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].program, installer);
  EXPECT_EQ(runs[0].arguments,
            (std::vector<std::string>{"KovoZint", "KovoZint", "http://h/x/KovoZint-3.5.3.zip",
                                      local, "/silent"}));
}

TEST_F(SessionWindows, MessageOnlyRepliesShowTheDialogOnlyWhenTheUserAsked) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  const std::vector<test::Field> upToDate = {{MNM_REPLY_REQUEST, "zint_check_updates"},
                                             {MNM_MESSAGE_TEXT, "KovoZint is up to date"}};
  Requests().Reply(upToDate);
  EXPECT_FALSE(cb.updatesDlg->HasWindow()) << "an automatic check shows nothing";
  EXPECT_TRUE(Logged("KovoZint Message : KovoZint is up to date"));

  plugin->ProcessHotKey("Check for Updates", 0, {});
  EXPECT_TRUE(plugin->manualUpdateCheck);
  Requests().Reply(upToDate);
  EXPECT_FALSE(plugin->manualUpdateCheck);
  ASSERT_TRUE(cb.updatesDlg->IsVisible());
  EXPECT_EQ(cb.updatesDlg->message, "KovoZint is up to date");
  EXPECT_FALSE(cb.updatesDlg->IsButtonEnabled(kUpdatesRunNow));
  EXPECT_FALSE(cb.updatesDlg->IsButtonEnabled(kUpdatesRunOnExit));
  EXPECT_TRUE(cb.updatesDlg->IsButtonEnabled(kUpdatesClose));
}

TEST_F(SessionWindows, DownloadNamesAndInstallerFailures) {
  MakeInstaller();
  processError = 13;
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  Requests().Reply(Offer("KovoZint-3.5.3.zip"));  // no "/": the whole address is the name
  EXPECT_EQ(cb.updatesDlg->arguments[3],
            (dir / "host" / "Download" / "Zint" / "KovoZint-3.5.3.zip").string());
  cb.updatesDlg->OnRunNow();
  EXPECT_EQ(Boxes(), std::vector<std::string>{"KovoTraderAutoInstaller can not start due to "
                                              "errorcode 13"});
  EXPECT_TRUE(cb.updatesDlg->IsVisible()) << "a failed start leaves the offer open";
}

TEST_F(SessionWindows, AnOfferWhoseNameIsAFolderIsRefused) {
  MakeInstaller();
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  for (const std::string address : {"http://h/x/", "http://h/x/.", "http://h/x/..", "..", "."}) {
    Requests().Reply(Offer(address));
    EXPECT_FALSE(cb.updatesDlg->HasWindow()) << address;
    EXPECT_TRUE(Logged("KovoZint Error : update offer has no file name to download to: " + address))
        << address;
  }
  // A proper name still goes through after the refusals.
  Requests().Reply(Offer("http://h/x/KovoZint-3.5.3.zip"));
  EXPECT_TRUE(cb.updatesDlg->IsVisible());
}

TEST(ProcessStarter, TextsWithQuotesAndShellCharactersStayOneArgument) {
  test::TempDir dir;
  const auto script = dir / "installer";
  const auto out = dir / "args";
  test::TempDir::WriteFile(
      script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$KOVO_ARGS_OUT\"\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  setenv("KOVO_ARGS_OUT", out.c_str(), 1);
  const std::string hostile = "http://h/\"a b\"; rm -rf / `x` $(y) | z";
  PosixProcessStarter starter;
  int pid = 0;
  ASSERT_EQ(starter.Start(script.string(), {"KovoZint", hostile}, &pid), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(test::TempDir::ReadFile(out), "KovoZint\n" + hostile + "\n");
  EXPECT_NE(starter.Start((dir / "missing").string(), {}), 0);
}

TEST_F(SessionWindows, BeepSwitchesRoundTripAndSaveOnDestruction) {
  std::filesystem::create_directories(UserIni("x").parent_path());
  ASSERT_TRUE(ini::WriteValue(UserIni("zintsettings.ini"), "TRADING_CALLS", "BEEP_ALERT", "yes"));
  ASSERT_TRUE(ini::WriteValue(UserIni("zintsettings.ini"), "ZINT_API_ORDERS", "BEEP_ALERT", "1"));
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CBeepAlerts& beeps = *plugin->ControlBlock()->beepAlerts;
  EXPECT_FALSE(beeps.IsChecked(kBeepTradingCalls)) << "other values leave the box unchecked";
  EXPECT_TRUE(beeps.IsChecked(kBeepApiOrders));
  EXPECT_TRUE(beeps.IsBeepOn("Zint Api Orders"));
  EXPECT_FALSE(beeps.IsBeepOn("Indian Volatility Calls"));

  beeps.SetChecked(kBeepTradingCalls, true);
  beeps.SetChecked(kBeepApiOrders, false);
  EXPECT_TRUE(beeps.IsBeepOn("Indian Volatility Calls")) << "a change counts before it is saved";
  plugin->Exit();  // never saved by hand
  EXPECT_EQ(ini::ReadValue(UserIni("zintsettings.ini"), "TRADING_CALLS", "BEEP_ALERT"), "1");
  EXPECT_EQ(ini::ReadValue(UserIni("zintsettings.ini"), "ZINT_API_ORDERS", "BEEP_ALERT"), "0");

  // Without its window nothing beeps.
  windowless = true;
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  EXPECT_FALSE(plugin->ControlBlock()->beepAlerts->IsBeepOn("Indian Volatility Calls"));
}

TEST_F(SessionWindows, ExitRewritesOnlyChangedSettingsAndSaysWhichSwitchFailed) {
  const auto zint = UserIni("zintsettings.ini");
  const auto plugins = dir / "host" / "kovo plugins" / "kovozint.ini";
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->ControlBlock()->beepAlerts->SetChecked(kBeepApiOrders, true);
  plugin->Exit();
  EXPECT_EQ(ini::ReadValue(zint, "TRADING_CALLS", "BEEP_ALERT"), "0");
  EXPECT_EQ(ini::ReadValue(zint, "ZINT_API_ORDERS", "BEEP_ALERT"), "1");
  EXPECT_EQ(ini::ReadValue(plugins, "ZINT_DATA", "LOCAL STORE"), "0");

  // Nothing changed: the next exit leaves both files as they are.
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, zint.c_str(), old, 0), 0);
  ASSERT_EQ(::utimensat(AT_FDCWD, plugins.c_str(), old, 0), 0);
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->Exit();
  for (const auto& file : {zint, plugins}) {
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000) << file;
  }

  // Both switches go in one write; when it fails, each says so.
  std::filesystem::permissions(zint, std::filesystem::perms::owner_read);
  hostUi.Clear();
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->ControlBlock()->beepAlerts->SetChecked(kBeepTradingCalls, true);
  plugin->Exit();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Error while writing Beep Alerts for Trading calls to file",
                         "Error while writing Beep Alerts for Zint api orders to file"}));
  EXPECT_TRUE(Logged("zintsettings.ini\": the file is read-only"));
  EXPECT_EQ(ini::ReadValue(zint, "TRADING_CALLS", "BEEP_ALERT"), "0");
}

TEST(Popup, SizesFollowTheTextLength) {
  const sPopupLayout small = LayoutPopup("0123456789");
  EXPECT_EQ(small.width, 95);  // (10 + 30) + 10 * 5.5
  EXPECT_EQ(small.height, 40);
  const std::string longText(250, 'x');
  const sPopupLayout large = LayoutPopup(longText);
  EXPECT_EQ(large.width, 550);
  EXPECT_EQ(large.height, 64);  // 40 + 12 for 100 and for 200
  EXPECT_EQ(large.text,
            std::string(100, 'x') + "\r\n" + std::string(100, 'x') + "\r\n" + std::string(50, 'x'));
  const sPopupLayout lines = LayoutPopup("a\nb\r\nc");
  EXPECT_EQ(lines.text, "a\r\nb\r\nc");
  EXPECT_EQ(lines.height, 52) << "one break replaced";
  EXPECT_EQ(LayoutPopup("").width, 30);

  const sRect screen{0, 0, 1920, 1080};
  EXPECT_EQ(FindTaskbarEdge(screen, {0, 0, 1920, 1040}), TaskbarEdge::kBottom);
  EXPECT_EQ(FindTaskbarEdge(screen, {0, 40, 1920, 1080}), TaskbarEdge::kTop);
  EXPECT_EQ(FindTaskbarEdge(screen, {60, 0, 1920, 1080}), TaskbarEdge::kLeft);
  EXPECT_EQ(FindTaskbarEdge(screen, {0, 0, 1860, 1080}), TaskbarEdge::kRight);
}

TEST(Popup, TwoAtTheBottomStandOneAboveTheOtherAndSlideAway) {
  HeadlessUiThread ui;
  HeadlessViewFactory views;
  HeadlessScreens screens;
  CNotifications notifications(ui, views, screens);
  ASSERT_EQ(PopupStackOffset().load(), 0);
  CTaskBarMsgWnd* first = notifications.ShowNotification("0123456789", 1);  // 115 x 55
  CTaskBarMsgWnd* second = notifications.ShowNotification("abcdefghij", 2);
  EXPECT_EQ(PopupStackOffset().load(), 110);
  ui.AdvanceClock(std::chrono::milliseconds(55));
  ASSERT_TRUE(first->Shown());
  EXPECT_EQ(first->WindowRect(), (sRect{1920 - 115, 1040 - 5 - 55, 1920 - 10, 1040 - 5}));
  EXPECT_EQ(second->WindowRect().bottom, first->WindowRect().top) << "stacked above";

  ui.AdvanceClock(std::chrono::milliseconds(5000));
  EXPECT_EQ(first->VisibleHeight(), 55) << "stays for the display time";
  ui.AdvanceClock(std::chrono::milliseconds(20));
  EXPECT_EQ(first->VisibleHeight(), 35);
  ui.AdvanceClock(std::chrono::milliseconds(40));
  EXPECT_TRUE(first->Finished());
  EXPECT_TRUE(second->Finished());
  EXPECT_EQ(PopupStackOffset().load(), 0);
  notifications.Collect();
  EXPECT_EQ(notifications.Count(), 0u);
}

TEST(Splash, ClosesWhenThePointerIsAwayOrAfterTheLongestTime) {
  test::TempDir dir;
  HeadlessUiThread ui;
  HeadlessViewFactory views;
  CSplashScreen splash(ui, views);
  EXPECT_FALSE(splash.Start(dir / "missing.bmp"));
  test::TempDir::WriteFile(dir / "not-a-picture.bmp", "hello");
  EXPECT_FALSE(splash.Start(dir / "not-a-picture.bmp"));

  test::TempDir::WriteFile(dir / "Nonliability.bmp", std::string("BM") + std::string(60, '\0'));
  ASSERT_TRUE(splash.Start(dir / "Nonliability.bmp"));
  splash.pointerOver = true;
  ui.AdvanceClock(std::chrono::milliseconds(2500));
  EXPECT_TRUE(splash.IsOpen()) << "the pointer rests on it";
  splash.pointerOver = false;
  ui.AdvanceClock(std::chrono::milliseconds(2500));
  EXPECT_FALSE(splash.IsOpen());

  ASSERT_TRUE(splash.Start(dir / "Nonliability.bmp"));
  splash.text = "busy";
  ui.AdvanceClock(std::chrono::milliseconds(9999));
  EXPECT_TRUE(splash.IsOpen());
  ui.AdvanceClock(std::chrono::milliseconds(1));
  EXPECT_FALSE(splash.IsOpen());
  EXPECT_EQ(ui.ActiveTimers(), 0u);
}

}  // namespace
}  // namespace kovo
