// The plug-in's start-up, commands, report, messaging and shutdown, driven
// in process against the reference host core.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "charts/fchart_view.h"
#include "platform/ini_file.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

class ZintPlugin : public PluginFixture {};

TEST(Menu, RowsFollowTheHostsNameAndVersion) {
  struct Case {
    const char* app;
    const char* version;
    const char* runningScripts;  // row 8 tells the older menu from the newer
    size_t rows;
  };
  const Case cases[] = {
      {"kovo_trader", "3.10.57.96.3", "Ondo Running Scripts", 10},
      {"kovo_trader", "3.10.57.96.4", "Zint Running Scripts", 11},
      {"kovo_trader", "3.10.57.97", "Ondo Running Scripts", 10},
      {"kovo_trader", "3.10.57.98", "Zint Running Scripts", 11},
      {"kovo_trader", "3.10.57.99.1", "Zint Running Scripts", 11},
      {"kovo_trader", "3.10.57.99.2", "Zint Running Scripts", 12},
      {"kovo_trader_now", "1.8.3.9", "Ondo Running Scripts", 10},
      {"kovo_trader_now", "1.8.4.0", "Zint Running Scripts", 11},
      {"kovo_trader_now", "1.8.4.3", "Zint Running Scripts", 12},
      {"other_host", "9.9.9.9", "Ondo Running Scripts", 10},
  };
  for (const Case& c : cases) {
    const std::vector<sMenuRow> rows = BuildMenu(c.app, c.version);
    ASSERT_EQ(rows.size(), c.rows) << c.app << " " << c.version;
    EXPECT_EQ(rows[7].name, c.runningScripts) << c.version;
    EXPECT_EQ(rows[8].name, c.rows > 10 ? "Logout\\Login with new ZintID" : "Logout");
    EXPECT_EQ(rows[9].name, "Data Table");
    if (c.rows > 10) {
      EXPECT_EQ(rows[10].name, "Beep Alert");
    }
    if (c.rows == 12) {
      EXPECT_EQ(rows[11].name, "Zint Index Chart");
      EXPECT_EQ(rows[11].kind, 5);
    }
  }
  const std::vector<sMenuRow> rows = BuildMenu("kovo_trader", "3.11.3.0");
  EXPECT_EQ(rows[0].hotKey, "Shift+P");
  EXPECT_EQ(rows[0].kind, 1);
  EXPECT_EQ(rows[9].hotKey, "Shift+D");
  EXPECT_EQ(rows[2].hotKey, "");
}

TEST_F(ZintPlugin, StartUpNeedsTheHostsIdentityFunctions) {
  for (const char* missing : {"pu_get_exe_app", "pu_get_peer_data"}) {
    hostUi.Clear();
    HostConfig config;
    config.switchedOff = {missing};
    Load(config);
    EXPECT_EQ(plugin->EnsureControlBlock(), 0) << missing;
    EXPECT_EQ(plugin->ControlBlock(), nullptr);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Exe is not compatible with KAP"}) << missing;
    // Every later command ends at the same refusal.
    plugin->ProcessHotKey("Shift+P", 1, {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"});
    EXPECT_EQ(plugin->ControlBlock(), nullptr);
  }
}

TEST_F(ZintPlugin, ControlBlockTakesTheHostsIdentityAndPrivilege) {
  HostConfig config;
  config.peerText = "peer-9";
  config.peerText2 = "U77";
  config.userFolderId = "folder7";
  config.privilege = KOVO_PRIV_DEALER;
  config.version = "3.11.2.9";
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  const CControlBlock& cb = *plugin->ControlBlock();
  EXPECT_EQ(cb.Privilege(), KOVO_PRIV_DEALER);
  EXPECT_EQ(cb.peerText, "peer-9");
  EXPECT_EQ(cb.peerId1, "U77");
  EXPECT_EQ(plugin->hostUserId, "folder7");
  EXPECT_EQ(cb.session.loggedInUserId, "folder7") << "the host's user counts as logged in";
  EXPECT_FALSE(cb.HostAtLeast3_11_3_0());
  EXPECT_TRUE(std::filesystem::is_directory(dir / "data" / "Tolvane" / "KovoZint" / "folder7"));
  EXPECT_TRUE(cb.HasMessaging());
  // Two of the control block's, one each for the market movers pane and
  // dialog, then the market monitor's requests and broadcasts.
  ASSERT_EQ(rx.controls.size(), 6u);
  EXPECT_EQ(rx.controls[0]->kind, KOVO_RX_REQUESTS);
  EXPECT_EQ(rx.controls[1]->kind, KOVO_RX_BROADCASTS);
  EXPECT_EQ(rx.controls[4]->kind, KOVO_RX_REQUESTS);
  EXPECT_EQ(rx.controls[5]->kind, KOVO_RX_BROADCASTS);
  EXPECT_FALSE(Logged("privilige"));

  plugin->Exit();
  config.switchedOff = {"pu_get_user_privilige"};
  config.version = "3.11.3.0";
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  EXPECT_EQ(plugin->ControlBlock()->Privilege(), KOVO_PRIV_INVESTOR_CLIENT);
  EXPECT_TRUE(plugin->ControlBlock()->HostAtLeast3_11_3_0());
  EXPECT_TRUE(Logged(
      "KovoZint Error : Zint cant get privilige for the user, so treating the user as investor"));
}

TEST_F(ZintPlugin, ReportUsesTheLogAndFallsBackToMessageBoxesForErrors) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->ControlBlock()->Report("disk full", kReportError);
  plugin->ControlBlock()->Report("hello 100%s", kReportMessage);
  EXPECT_TRUE(Logged("KovoZint Error : disk full"));
  EXPECT_TRUE(Logged("KovoZint Message : hello 100%s")) << "user text is not a format";
  EXPECT_TRUE(Boxes().empty());
  plugin->Exit();

  HostConfig config;
  config.switchedOff = {"pu_add_to_tabbed_log"};
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->ControlBlock()->Report("disk full", kReportError);
  plugin->ControlBlock()->Report("dropped", kReportMessage);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"KovoZint Error : disk full"});
  EXPECT_TRUE(Log().empty());
}

TEST_F(ZintPlugin, CommandsCheckLoginAndKind) {
  HostConfig config;
  config.userFolderId = "";  // the host names no user: nobody is logged in
  Load(config);
  const std::vector<std::string> row = {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"};
  plugin->ProcessHotKey("Shift+P", 0, row);
  EXPECT_EQ(plugin->ControlBlock(), nullptr) << "kind 0 does nothing";
  plugin->ProcessHotKey("Market Monitor", 0, row);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"User has not logged in zint system"});
  plugin->ProcessHotKey("Shift+P", 1, row);
  ASSERT_NE(plugin->ControlBlock(), nullptr) << "the chart key creates the control block first";
  plugin->ProcessHotKey("market monitor", 0, row);  // names compare with case
  EXPECT_EQ(Boxes().size(), 1u);
  plugin->Exit();

  hostUi.Clear();
  Load();
  plugin->ProcessHotKey("Shift+P", 1, row);
  EXPECT_EQ(StoreOf(*plugin->ControlBlock())->chartViews.size(), 1u) << "the chart opened";
  plugin->ProcessHotKey("Portfolio", 0, row);
  EXPECT_TRUE(Logged("KovoZint Message : Portfolio is not available in this version"));
  plugin->ProcessHotKey("Option Strategy", 0, row);
  EXPECT_EQ(Boxes(),
            std::vector<std::string>{"Error while loading Kovo Plugins\\Option Stratgey.dll"});
}

TEST_F(ZintPlugin, LocalStoreFlagIsReadAtStartAndWrittenAtTheEnd) {
  const auto ini = dir / "host" / "kovo plugins" / "kovozint.ini";
  struct Case {
    const char* stored;  // nullptr: no key
    bool set;
  };
  for (const Case c : {Case{nullptr, false}, Case{"0", false}, Case{"1", true}, Case{"2", true}}) {
    std::filesystem::remove(ini);
    std::filesystem::create_directories(ini.parent_path());
    if (c.stored) {
      ASSERT_TRUE(ini::WriteValue(ini, "ZINT_DATA", "LOCAL STORE", c.stored));
    }
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    EXPECT_EQ(plugin->ControlBlock()->saveLocalData, c.set) << (c.stored ? c.stored : "none");
    plugin->Exit();
    EXPECT_EQ(ini::ReadValue(ini, "ZINT_DATA", "LOCAL STORE").value_or("?"), c.set ? "1" : "0");
  }
  ASSERT_TRUE(ini::WriteValue(ini, "UDP_UPADTE", "VALUE", "TRUE"));
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  EXPECT_TRUE(plugin->ControlBlock()->udpUpdate);
}

TEST_F(ZintPlugin, SettingsWriteFailuresReachTheLogAsErrors) {
  const auto ini = dir / "host" / "kovo plugins" / "kovozint.ini";
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  const CSettingsFiles& settings = plugin->ControlBlock()->Settings();
  EXPECT_EQ(
      settings.Write("ZINT_DATA", "NO=DAYS", "5", "kovozint.ini", SettingsLocation::kPluginFolder),
      0);
  EXPECT_TRUE(Logged("KovoZint Error : Settings not written to \"" + ini.string() +
                     "\": the key \"NO=DAYS\" of section \"ZINT_DATA\": the key name contains "
                     "\"=\""));

  // The flag written at the end does not vanish quietly either.
  ASSERT_TRUE(ini::WriteValue(ini, "ZINT_DATA", "LOCAL STORE", "1"));
  std::filesystem::permissions(ini, std::filesystem::perms::owner_read);
  plugin->Exit();
  EXPECT_TRUE(Logged("\": the file is read-only"));
  EXPECT_EQ(ini::ReadValue(ini, "ZINT_DATA", "LOCAL STORE"), "1");
}

TEST_F(ZintPlugin, ShutdownStopsControlsFirstWaitsForWatchersAndRunsOnce) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  // A signal watcher still running: it ends when the UI thread gets to it.
  cb.watcherCount = 1;
  ui.Post([&cb] { cb.watcherCount.fetch_sub(1); });
  plugin->Exit();
  // The market monitor gives its two back while the session stops (its
  // settings are written then); the market movers windows theirs as the
  // control block goes.
  EXPECT_EQ(rx.events, (std::vector<std::string>{
                           "stop+stopping", "destroy+stopping", "stop+stopping", "destroy+stopping",
                           "destroy+stopping", "destroy+stopping", "destroy", "destroy"}));
  EXPECT_EQ(plugin->ControlBlock(), nullptr);
  EXPECT_EQ(ui.PendingTasks(), 0u) << "the watcher's end was pumped";
  const auto exited = [&] {
    const auto lines = Log();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find("KovoZint Message : Zint Exited Successfully") != std::string::npos;
    });
  };
  EXPECT_EQ(exited(), 1);
  plugin->Exit();
  EXPECT_EQ(exited(), 1) << "a second exit does nothing";
  EXPECT_EQ(rx.events.size(), 8u);
}

TEST_F(ZintPlugin, RequestsAreBuiltInOrderAndRepliesDispatchedByName) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  int context = 0;
  ASSERT_TRUE(cb.SendRequest(cb.RequestControl(), &context, "xr_demo",
                             {{MNM_USER, "U1"}, {MNM_PROC_ID, "a_INT"}, {MNM_PROC_ID, "a_BRD"}},
                             "demo request failed "));
  const test::MsgPtr sent = test::Decode(rx.controls[0]->sent.back());
  int32_t first = -1;
  wmp_field_id_at(sent.get(), 0, &first, nullptr);
  EXPECT_EQ(first, MNM_REQUEST);
  EXPECT_EQ(test::ValueText(sent.get(), MNM_REQUEST), "xr_demo");
  EXPECT_EQ(test::ValueText(sent.get(), MNM_PROC_ID, 1), "a_BRD");

  rx.failSend = true;
  EXPECT_FALSE(cb.SendRequest(cb.RequestControl(), nullptr, "xr_demo", {}, "demo request failed "));
  EXPECT_TRUE(Logged("KovoZint Error : demo request failed while sending request"));

  std::vector<std::pair<void*, std::string>> handled;
  cb.OnReplyNamed("xr_demo", [&](void* ctx, const wmp_msg* m, int32_t) {
    handled.emplace_back(ctx, test::ValueText(m, MNM_USER));
  });
  const KovoRxNotifier& n = rx.controls[0]->notifier;
  const auto reply = test::MakeMessage({{MNM_REPLY_REQUEST, "xr_demo"}, {MNM_USER, "U1"}});
  n.onReply(n.self, &context, reply.get(), 0);
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_EQ(handled[0].first, &context);
  EXPECT_EQ(handled[0].second, "U1");

  // A failure of a request nobody handles is reported with its last error text.
  const auto failed = test::MakeMessage(
      {{MNM_REPLY_REQUEST, "xr_other"}, {MNM_ERROR_TEXT, "first"}, {MNM_ERROR_TEXT, "second"}});
  n.onReply(n.self, nullptr, failed.get(), 0);
  EXPECT_TRUE(Logged("KovoZint Error : xr_other request failed , second"));
  // The empty error value closing a good multi-message reply is no failure.
  const size_t logged = Log().size();
  const auto closing = test::MakeMessage({{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, ""}});
  n.onReply(n.self, nullptr, closing.get(), 0);
  EXPECT_EQ(Log().size(), logged);
  EXPECT_TRUE(Boxes().empty());

  cb.stoppingCount = 1;
  n.onReply(n.self, &context, reply.get(), 0);
  EXPECT_EQ(handled.size(), 1u) << "nothing is dispatched once stopping";
  cb.stoppingCount = 0;
}

TEST_F(ZintPlugin, EngineReadyMessageFromTheHostTakesItsPath) {
  const uint32_t ready = [&] {
    Load();
    return core->RegisterWindowMessage(
        "ENGINE_CREATION_DONE{2B914891-C4D6-4410-AFE0-0C6683AE576C}_MSG");
  }();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  EXPECT_EQ(core->Windows().FindWindow("", "CZintControlBlock"), plugin->ControlBlock()->Window());
  EXPECT_EQ(core->BroadcastMessage(ready, 0, 0), 1);
  ASSERT_NE(plugin->LoginDialog(false), nullptr);
  EXPECT_TRUE(plugin->LoginDialog(false)->IsVisible());
  EXPECT_FALSE(Logged("login dialog not created"));
  plugin->Exit();

  windowless = true;
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  core->BroadcastMessage(ready, 0, 0);
  EXPECT_TRUE(Logged("KovoZint Error : Zint Launch error : login dialog not created"));

  EXPECT_EQ(rx.controls[0]->SentNames().back(), "zint_check_updates");

  // A manual update check in progress takes the update path instead.
  const size_t before = Log().size();
  const size_t sent = rx.controls[0]->sent.size();
  plugin->manualUpdateCheck = true;
  core->BroadcastMessage(ready, 0, 0);
  for (size_t i = before; i < Log().size(); ++i) {
    EXPECT_EQ(Log()[i].find("login dialog not created"), std::string::npos);
  }
  const std::vector<std::string> names = rx.controls[0]->SentNames();
  EXPECT_EQ(std::vector<std::string>(names.begin() + static_cast<long>(sent), names.end()),
            (std::vector<std::string>{"get_io_device_remote_info", "zint_check_updates"}));
  plugin->Exit();
  EXPECT_EQ(core->Windows().WindowCount(), 0u) << "the hidden window goes with the control block";
  EXPECT_EQ(core->BroadcastMessage(ready, 0, 0), 0);
}

}  // namespace
}  // namespace kovo
