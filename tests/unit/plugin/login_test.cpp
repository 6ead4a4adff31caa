// Session requests, login replies and the forced logout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "plugin/login_dlg.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

class Login : public PluginFixture {
 protected:
  // Every value of a field of a sent message.
  static std::vector<std::string> Values(const wmp_msg* m, int32_t field) {
    std::vector<std::string> values;
    for (int32_t i = 0; i < wmp_get_field(m, field, nullptr, nullptr); ++i) {
      values.push_back(test::ValueText(m, field, i));
    }
    return values;
  }
  // Field ids in the order they were added, a run of one field once. The
  // frame is a 12-byte header and then (field, length, bytes) entries.
  static std::vector<int32_t> Order(const test::Bytes& frame) {
    const auto u32 = [&](size_t at) {
      return static_cast<uint32_t>(frame[at] | frame[at + 1] << 8 | frame[at + 2] << 16 |
                                   frame[at + 3] << 24);
    };
    std::vector<int32_t> ids;
    for (size_t at = 12; at + 8 <= frame.size(); at += 8 + u32(at + 4)) {
      const auto id = static_cast<int32_t>(u32(at));
      if (ids.empty() || ids.back() != id) ids.push_back(id);
    }
    return ids;
  }
  FakeControl& Requests() { return *rx.controls.at(0); }
  // After the control block's two, the market movers windows' two and the
  // market monitor's two.
  FakeControl& LoginNotifier() { return *rx.controls.at(6); }
};

TEST_F(Login, BrokerDetailsGoOutAtStartAndCompleteTheLaunch) {
  HostConfig config;
  config.version = "";  // a host that gives no version
  config.privilege = KOVO_PRIV_DEALER;
  Load(config);
  const auto hostIni = dir / "host" / "kovoclient.ini";
  std::filesystem::create_directories(hostIni.parent_path());
  ASSERT_TRUE(ini::WriteValue(hostIni, "KOVO_ENV_SETTINGS", "HOST_NAME", "10.9.9.9"));
  ASSERT_TRUE(ini::WriteValue(hostIni, "KOVO_ENV_SETTINGS", "MML_DOMAIN_NAME", "broker.example"));
  ASSERT_TRUE(ini::WriteValue(dir / "host" / "kovo plugins" / "kovozint.ini", "ZINT_DATA",
                              "NO OF DAYS", "7"));
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);

  ASSERT_EQ(Requests().SentNames(), (std::vector<std::string>{"xr_log_nt_msg"}))
      << "the peer data waits for a login's product tree";
  const test::MsgPtr details = Requests().Sent(0);
  EXPECT_EQ(Order(Requests().sent[0]), (std::vector<int32_t>{0, MNM_USER, MNM_MESSAGE_TEXT}));
  EXPECT_EQ(test::ValueText(details.get(), MNM_USER), "DEMO01");
  EXPECT_EQ(Values(details.get(), MNM_MESSAGE_TEXT),
            (std::vector<std::string>{
                "Broker's Details: USERID - PRIVILIGE - EXE NAME - EXE VERSION - DOMAIN IP - "
                "DOMAIN NAME - REG DETAILS,",
                "DEMO01", "DEALER", "kovo_trader", " ", "10.9.9.9", "broker.example", " "}));
  const CControlBlock& cb = *plugin->ControlBlock();
  EXPECT_TRUE(Logged("KovoZint Message : DEMO01 user logged in successfully"));
  EXPECT_TRUE(cb.session.launched);
  EXPECT_TRUE(cb.session.loginSucceeded);
  EXPECT_EQ(cb.session.noOfDays, 7);
  EXPECT_FALSE(Logged("KovoZint Message : peer data request sent"));

  // A failing send reports its step and leaves the session unlaunched.
  plugin->Exit();
  rx.failSend = true;
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  EXPECT_TRUE(Logged("KovoZint Error : xr_log_nt_msg is failed while sending request"));
  EXPECT_FALSE(plugin->ControlBlock()->session.launched);
}

TEST_F(Login, AutoLoginSendsItsFieldsInOrder) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  plugin->LoginDialog(true);
  cb.session.nameText = "proc";
  const size_t before = Requests().sent.size();
  EXPECT_FALSE(SendAutoLogin(cb, "", "DEMO01"));
  EXPECT_FALSE(SendAutoLogin(cb, "trader7", ""));
  EXPECT_EQ(Requests().sent.size(), before) << "nothing without both ids";

  ASSERT_TRUE(SendAutoLogin(cb, "trader7", "DEMO01"));
  EXPECT_TRUE(Logged("KovoZint Error : Global IP retrieval is failed"));
  EXPECT_TRUE(Logged("KovoZint Message : xr_zint_launch request sent"));
  test::MsgPtr m = Requests().Sent(Requests().sent.size() - 1);
  EXPECT_EQ(Order(Requests().sent.back()),
            (std::vector<int32_t>{0, MNM_USER, MNM_LOGIN_ID, MNM_CLIENT_VERSION,
                                  MNM_USER_IP_ADDRESS, MNM_USER_MAC_ADDRESS, MNM_PROC_ID}));
  EXPECT_EQ(test::ValueText(m.get(), 0), "xr_zint_launch");
  EXPECT_EQ(test::ValueText(m.get(), MNM_USER), "DEMO01");
  EXPECT_EQ(test::ValueText(m.get(), MNM_LOGIN_ID), "trader7");
  EXPECT_EQ(test::ValueText(m.get(), MNM_CLIENT_VERSION), "3.5.2.0");
  EXPECT_EQ(Values(m.get(), MNM_USER_IP_ADDRESS), std::vector<std::string>{"10.1.2.3"});
  EXPECT_EQ(test::ValueText(m.get(), MNM_USER_MAC_ADDRESS), "AA:BB:CC:00:11:22");
  EXPECT_EQ(Values(m.get(), MNM_PROC_ID), (std::vector<std::string>{"proc_INT", "proc_BRD"}));

  // With the prelogin answer, the address the back end sees comes first.
  Requests().Reply({{MNM_REPLY_REQUEST, "get_io_device_remote_info"}, {30105, "203.0.113.5"}});
  EXPECT_EQ(cb.session.preloginValue, "203.0.113.5");
  ASSERT_TRUE(SendAutoLogin(cb, "trader7", "DEMO01"));
  m = Requests().Sent(Requests().sent.size() - 1);
  EXPECT_EQ(Values(m.get(), MNM_USER_IP_ADDRESS),
            (std::vector<std::string>{"203.0.113.5", "10.1.2.3"}));
}

TEST_F(Login, AnUnreadableAdapterListIsReportedAndTheLoginStillGoes) {
  adaptersReadable = false;
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  cb.session.nameText = "proc";
  ASSERT_TRUE(SendAutoLogin(cb, "trader7", "DEMO01"));
  EXPECT_TRUE(Logged("KovoZint Error : Error allocating memory needed to call GetAdaptersinfo"));
  EXPECT_EQ(Order(Requests().sent.back()),
            (std::vector<int32_t>{0, MNM_USER, MNM_LOGIN_ID, MNM_CLIENT_VERSION,
                                  MNM_USER_IP_ADDRESS, MNM_PROC_ID}))
      << "the request goes without the hardware address";
}

TEST_F(Login, RepliesCompleteTheSession) {
  HostConfig config;
  config.userFolderId = "";  // nobody logged in yet
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  CLoginDlg* login = plugin->LoginDialog(true);
  ASSERT_NE(login, nullptr);
  login->SetBusy(true);

  // Peer data before anyone logged in only ends the busy state.
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_PEER_TEXT, "PEER-x"}});
  EXPECT_FALSE(login->Busy());
  EXPECT_EQ(cb.peerId1, "PEER-x");

  Requests().Reply({{MNM_REPLY_REQUEST, "xr_zint_launch"}, {63437, "trader7"}, {63259, "S42"}});
  EXPECT_EQ(cb.session.loggedInUserId, "trader7");
  EXPECT_EQ(cb.session.sessionId, "S42");
  EXPECT_EQ(
      ini::ReadValue(dir / "host" / "kovo plugins" / "kovozint.ini", "LAST_LOGGEDIN_USER", "VALUE"),
      "trader7");
  EXPECT_EQ(LoginNotifier().watched,
            (std::vector<std::pair<int32_t, std::string>>{{MNM_USER, "trader7"}}));

  // The product tree keeps all but types 2 and 4, then asks for peer data.
  const size_t before = Requests().sent.size();
  Requests().Reply({{MNM_REPLY_REQUEST, "mrv_zint_products_show_tree_all"},
                    {MNM_EXCH_SEG, "zint"},
                    {63076, "1"},
                    {MNM_EXCH_SEG, "hidden"},
                    {63076, "2"},
                    {MNM_EXCH_SEG, "zint_api"},
                    {63076, "3"},
                    {48202, ""},
                    {48202, "zint"},
                    {48202, "zint"}});
  ASSERT_EQ(cb.session.productTree.size(), 2u);
  EXPECT_EQ(cb.session.productTree[1].name, "zint_api");
  EXPECT_EQ(cb.session.productTree[1].parent, "zint");
  ASSERT_EQ(Requests().sent.size(), before + 1);
  EXPECT_EQ(test::ValueText(Requests().Sent(before).get(), MNM_USER), "trader7");

  // An investor's auto-placement list comes from "zint_api", anyone else's
  // from "zint_api_dealer".
  const std::vector<test::Field> peer = {{MNM_REPLY_REQUEST, "xr_get_user_peer_data"},
                                         {MNM_PEER_TEXT, "PEER-trader7"},
                                         {MNM_EXCH_SEG, "zint"},
                                         {MNM_EXCH_SEG, "zint_api"},
                                         {MNM_EXCH_SEG, "zint_api_dealer"},
                                         {64013, ""},
                                         {64013, "<nse_cm>"},
                                         {64013, "<nse_cm><mcx_fo>"}};
  Requests().Reply(peer);
  EXPECT_EQ(cb.session.products, (std::vector<std::string>{"zint", "zint_api", "zint_api_dealer"}));
  EXPECT_EQ(cb.session.autoPlacementExchanges, "<nse_cm>");
  plugin->Exit();
  config.privilege = KOVO_PRIV_DEALER;
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->LoginDialog(true);
  Requests().Reply(peer);
  EXPECT_EQ(plugin->ControlBlock()->session.autoPlacementExchanges, "<nse_cm><mcx_fo>");
}

TEST_F(Login, FailedRepliesSayWhy) {
  HostConfig config;
  config.userFolderId = "";
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->autoLoginId = "trader7";
  CLoginDlg* login = plugin->LoginDialog(true);
  ASSERT_NE(login, nullptr);

  Requests().Reply({{MNM_REPLY_REQUEST, "xr_zint_launch"},
                    {MNM_ERROR_TEXT, "invalid "},
                    {MNM_ERROR_TEXT, "login id"}});
  EXPECT_TRUE(
      Logged("KovoZint Message : Zint Auto Login(xr_zint_launch)failure, invalid login id"));
  EXPECT_EQ(plugin->autoLoginId, "");
  EXPECT_TRUE(login->IsVisible()) << "the user can log in by hand";

  Requests().Reply({{MNM_REPLY_REQUEST, "xr_get_user_peer_data"}, {MNM_ERROR_TEXT, "no data"}});
  Requests().Reply({{MNM_REPLY_REQUEST, "xr_login"}, {MNM_ERROR_TEXT, "locked"}});
  const size_t sentBefore = Requests().sent.size();
  Requests().Reply(
      {{MNM_REPLY_REQUEST, "mrv_zint_products_show_tree_all"}, {MNM_ERROR_TEXT, "no tree"}});
  EXPECT_TRUE(Logged("KovoZint Message : mrv_zint_products_show_tree_all failure, no tree"));
  EXPECT_EQ(Requests().sent.size(), sentBefore + 1) << "peer data is asked for anyway";
  EXPECT_EQ(Boxes(),
            (std::vector<std::string>{"Login Failure,invalid login id", "Peer Data failure,no data",
                                      "Login Failure,locked"}));
}

TEST_F(Login, ForcedLogoutOnlyWhileLoggedIn) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  plugin->LoginDialog(true);
  // Nobody logged in: the notice changes nothing.
  plugin->ControlBlock()->session.loggedInUserId.clear();
  LoginNotifier().Broadcast({{MNM_USER, "DEMO01"}});
  ui.Pump(10);
  EXPECT_NE(plugin->ControlBlock(), nullptr);
  EXPECT_TRUE(Boxes().empty());

  plugin->ControlBlock()->session.loggedInUserId = "DEMO01";
  LoginNotifier().Broadcast({{MNM_USER, "DEMO01"}});
  EXPECT_NE(plugin->ControlBlock(), nullptr) << "the logout waits for the UI thread";
  ui.Pump(10);
  EXPECT_EQ(Boxes(),
            std::vector<std::string>{
                "Zint user DEMO01 logged in different location , logging out from zint .."});
  EXPECT_EQ(plugin->ControlBlock(), nullptr);
  EXPECT_TRUE(Logged("Zint Exited Successfully"));
}

TEST_F(Login, DialogPrefillsTheLastUserAndShowsItsBusyState) {
  HostConfig config;
  config.userFolderId = "";
  Load(config);
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CLoginDlg* login = plugin->LoginDialog(true);
  login->Prepare();
  EXPECT_EQ(login->UserField(), "");
  EXPECT_EQ(login->FocusedControl(), kLoginUserField);
  EXPECT_EQ(Requests().SentNames().back(), "get_io_device_remote_info");

  ASSERT_TRUE(ini::WriteValue(dir / "host" / "kovo plugins" / "kovozint.ini", "LAST_LOGGEDIN_USER",
                              "VALUE", "trader9"));
  login->Prepare();
  EXPECT_EQ(login->UserField(), "trader9");
  EXPECT_EQ(login->FocusedControl(), kLoginSecondField);

  login->SetBusy(true);
  EXPECT_FALSE(login->IsControlVisible(kLoginUserField));
  EXPECT_FALSE(login->IsControlVisible(kLoginLink));
  EXPECT_TRUE(login->IsControlVisible(kLoginAnimation));
  EXPECT_FALSE(login->IsControlEnabled(kLoginOk));
  login->SetBusy(false);
  EXPECT_TRUE(login->IsControlVisible(kLoginSecondField));
  EXPECT_TRUE(login->IsControlEnabled(kLoginCancel));

  plugin->ControlBlock()->textMap["a"] = "b";
  login->Show(View::Centre::kHostWindow);
  login->OnOk();
  EXPECT_TRUE(plugin->ControlBlock()->textMap.empty());
  EXPECT_FALSE(login->IsVisible());
}

}  // namespace
}  // namespace kovo
