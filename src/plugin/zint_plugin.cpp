#include "plugin/zint_plugin.h"

#include <dlfcn.h>

#include <thread>
#include <utility>

#include "base/format.h"
#include "base/number.h"
#include "base/version.h"
#include "charts/bar_chart_dlg.h"
#include "charts/fchart_view.h"
#include "charts/vwap_store.h"
#include "market/kovo_market_scanner.h"
#include "market/research_module.h"
#include "market/zint_mkt_monitor.h"
#include "orders/order_api.h"
#include "orders/signal_watcher.h"
#include "platform/headless_ui_thread.h"
#include "platform/headless_views.h"
#include "plugin/beep_alerts.h"
#include "plugin/host_ui_thread.h"
#include "plugin/login_dlg.h"
#include "plugin/notification.h"
#include "plugin/session_launch.h"

namespace kovo {
namespace {

constexpr const char* kNotCompatible = "Exe is not compatible with KAP";
constexpr const char* kNotLoggedIn = "User has not logged in zint system";
constexpr const char* kNotConnected = "Connection to KovoZint is not yet established, Please wait";
constexpr const char* kAlreadyLoggedIn = "%s user already logged into KovoZint";
constexpr int kPreloginWaits = 50;
constexpr size_t kPreloginPumpItems = 10;
constexpr size_t kShutdownPumpItems = 50;

bool NewerMenu(std::string_view app, std::string_view version) {
  return (app == "kovo_trader" && VersionCompare(version, "3.10.57.96.3") > 0 &&
          version != "3.10.57.97") ||
         (app == "kovo_trader_now" && VersionCompare(version, "1.8.4.0") >= 0);
}

bool IndexChartMenu(std::string_view app, std::string_view version) {
  return (app == "kovo_trader" && VersionCompare(version, "3.10.57.99.2") >= 0) ||
         (app == "kovo_trader_now" && VersionCompare(version, "1.8.4.3") >= 0);
}

std::string Field(const std::vector<std::string>& fields, size_t index) {
  return index < fields.size() ? fields[index] : std::string();
}

// What the host says about itself; empty texts when it cannot say.
std::pair<std::string, std::string> ExeVersion(const HostResolver& resolve) {
  const auto getVersion = ResolveHost<decltype(&pu_get_exe_version)>(resolve, "pu_get_exe_version");
  if (!getVersion) return {};
  char name[128] = {};
  char version[128] = {};
  getVersion(name, sizeof name, version, sizeof version);
  return {name, version};
}

}  // namespace

std::vector<sMenuRow> BuildMenu(std::string_view appName, std::string_view version) {
  const bool newer = NewerMenu(appName, version);
  std::vector<sMenuRow> rows = {
      {"Shift+P", "Zint Chart", 1},
      {"Shift+H", "Zint Historical Chart", 1},
      {"", "Launch Zint", 0},
      {"", "Market Monitor", 0},
      {"", "Market Movers", 0},
      {"", "Market Movers Dlg", 0},
      {"", "Technical,Research and Option Calls", 0},
      {"", newer ? "Zint Running Scripts" : "Ondo Running Scripts", 0},
      {"", newer ? "Logout\\Login with new ZintID" : "Logout", 0},
      {"Shift+D", "Data Table", 1},
  };
  if (newer) {
    rows.push_back({"", "Beep Alert", 0});
    if (IndexChartMenu(appName, version)) rows.push_back({"", "Zint Index Chart", 5});
  }
  return rows;
}

CZintPlugin::CZintPlugin(sPluginEnvironment env) : m_env(std::move(env)) {
  if (!m_env.makePorts) m_env.makePorts = &MakeHeadlessPorts;
}

CZintPlugin::~CZintPlugin() {
  // A host that unloads us without ExitKovoPlugin still gets its controls back.
  try {
    ShutdownSession(false);
  } catch (...) {
  }
}

// ---- helpers ----------------------------------------------------------------

void CZintPlugin::ShowMessage(std::string_view text, unsigned style) {
  if (m_controlBlock) {
    m_controlBlock->MessageBox(text, style);
    return;
  }
  const std::string body(text);
  const auto show =
      ResolveHost<decltype(&pu_show_message_box)>(m_env.resolve, "pu_show_message_box");
  if (show) {
    show(body.c_str(), "KovoZint", style);
  } else {
    HeadlessDialogs().MessageBox(body, "KovoZint", style);
  }
}

bool CZintPlugin::RequireLogin() {
  if (m_controlBlock && m_controlBlock->IsLoggedIn()) return true;
  ShowMessage(kNotLoggedIn);
  return false;
}

void CZintPlugin::Unavailable(std::string_view what) {
  const std::string name(what);
  if (m_controlBlock) {
    m_controlBlock->Report(Format("%s is not available in this version", name.c_str()),
                           kReportMessage);
  }
}

void CZintPlugin::WaitForPrelogin() {
  for (int i = 0;
       i < kPreloginWaits && m_controlBlock && m_controlBlock->session.preloginValue.empty(); ++i) {
    m_controlBlock->Ui().Pump(kPreloginPumpItems);
  }
}

// ---- start-up ---------------------------------------------------------------

int CZintPlugin::EnsureControlBlock() {
  if (m_controlBlock) return 1;
  void* module = dlopen(nullptr, RTLD_LAZY);
  if (!module) {
    ShowMessage("exe Module not found");
    return 0;
  }
  dlclose(module);

  const auto getApp = ResolveHost<decltype(&pu_get_exe_app)>(m_env.resolve, "pu_get_exe_app");
  if (!getApp) {
    ShowMessage(kNotCompatible);
    return 0;
  }
  m_hostApp = getApp();

  const auto getPeer = ResolveHost<decltype(&pu_get_peer_data)>(m_env.resolve, "pu_get_peer_data");
  if (!getPeer) {
    ShowMessage(kNotCompatible);
    return 0;
  }
  char peer1[256] = {};
  char peer2[256] = {};
  char folder[256] = {};
  getPeer(peer1, sizeof peer1, peer2, sizeof peer2, folder, sizeof folder);
  userFolderId = folder;

  int32_t privilege = KOVO_PRIV_INVESTOR_CLIENT;
  const auto getPrivilege =
      ResolveHost<decltype(&pu_get_user_privilige)>(m_env.resolve, "pu_get_user_privilige");
  bool privilegeMissing = false;
  if (getPrivilege) {
    getPrivilege(peer2, &privilege);
  } else {
    privilegeMissing = true;
  }

  if (m_appDataFolder.empty()) {
    m_appDataFolder =
        m_env.appDataFolder.empty() ? SettingsPaths::DefaultAppDataFolder() : m_env.appDataFolder;
  }
  sControlBlockSetup setup;
  setup.hostApp = m_hostApp;
  setup.userFolderId = userFolderId;
  setup.privilege = privilege;
  setup.resolve = m_env.resolve;
  setup.paths.hostFolder =
      m_env.hostFolder.empty() ? SettingsPaths::HostProgramFolder() : m_env.hostFolder;
  setup.paths.appDataFolder = m_appDataFolder;
  setup.ports = m_env.makePorts(m_env.resolve);
  m_controlBlock = std::make_unique<CControlBlock>(std::move(setup));
  CControlBlock& cb = *m_controlBlock;
  if (privilegeMissing) {
    cb.Report("Zint cant get privilige for the user, so treating the user as investor",
              kReportError);
  }
  hostUserId = folder;
  cb.peerText = peer1;
  cb.peerId1 = peer2;
  cb.peerId2 = peer2;
  InstallMessageActions();
  if (!cb.chartStore) cb.chartStore = std::make_unique<CVWapStore>(cb);
  if (!cb.researchFeed) {
    cb.researchFeed = std::make_unique<CResearchModule>(
        cb, hostUserId,
        LibraryOptionStrategy(OptionStrategyPath(
            m_env.hostFolder.empty() ? SettingsPaths::HostProgramFolder() : m_env.hostFolder)));
  }
  if (SendBrokerDetails(cb, hostUserId)) AfterBrokerDetails();
  return 1;
}

void CZintPlugin::AfterBrokerDetails() {
  CControlBlock& cb = *m_controlBlock;
  const std::string success =
      Format("%s user logged in successfully", cb.session.loggedInUserId.c_str());
  cb.Report(success, kReportMessage);
  // Said where the user looks, not only in the log.
  cb.Notifications().ShowNotification(success, 0);
  cb.session.loginSucceeded = true;
  cb.session.launched = true;
  std::string days;
  if (cb.Settings().Read("ZINT_DATA", "NO OF DAYS", days, "kovozint.ini",
                         SettingsLocation::kPluginFolder) &&
      LeadingInt32(days) > 0) {
    cb.session.noOfDays = LeadingInt32(days);
  }
  LaunchSession();
}

void CZintPlugin::LaunchSession() {
  CControlBlock& cb = *m_controlBlock;
  // The peer data (with the auto-placement list) follows the login's product
  // tree; a session the host logged in without a login holds its orders for
  // the user until then.

  // The panes come once per login: a new login makes a new control block.
  if (!m_launcher) m_launcher = std::make_unique<CSessionLauncher>(cb, DefaultPaneRegistry());
  if (!m_launcher->PanesCreated()) m_launcher->Launch(false);
  if (sessionLaunched) sessionLaunched();
}

CLoginDlg* CZintPlugin::LoginDialog(bool create) {
  if (!m_controlBlock) return nullptr;
  CControlBlock& cb = *m_controlBlock;
  if (!cb.loginDlg && create) {
    CLoginDlg::Actions actions;
    actions.shutdownSession = [this](bool keepLogin) { ShutdownSession(keepLogin); };
    actions.clearAutoLoginId = [this] { autoLoginId.clear(); };
    cb.loginDlg = std::make_unique<CLoginDlg>(cb, std::move(actions));
  }
  if (cb.loginDlg && create && !cb.loginDlg->HasWindow()) cb.loginDlg->Create();
  return cb.loginDlg.get();
}

void CZintPlugin::ShowLoginDialog() {
  CLoginDlg* login = LoginDialog(false);
  if (!login || !login->HasWindow()) return;
  login->Prepare();
  login->Show(View::Centre::kHostWindow);
  login->BringToFront();
  RunUpdateCheck();
}

void CZintPlugin::StartAutoLogin() {
  CControlBlock& cb = *m_controlBlock;
  m_splash = std::make_unique<CSplashScreen>(cb.Ui(), cb.Views());
  if (!m_splash->Start(cb.Settings().PluginFolder() / "Nonliability.bmp")) m_splash.reset();
  RunUpdateCheck();
  WaitForPrelogin();
  if (CLoginDlg* login = LoginDialog(false)) login->AutoLogin(autoLoginId, hostUserId);
}

void CZintPlugin::InstallMessageActions() {
  CControlBlock& cb = *m_controlBlock;
  cb.SetMessageAction(kEngineCreationDoneMsg, [this](uintptr_t, intptr_t) -> intptr_t {
    OnEngineCreationDone();
    return 0;
  });
  cb.OnReplyNamed("zint_check_updates",
                  [this](void*, const wmp_msg* message, int32_t) { OnUpdateReply(message); });
}

void CZintPlugin::OnEngineCreationDone() {
  if (!m_controlBlock) return;
  CControlBlock& cb = *m_controlBlock;
  if (CLoginDlg* login = LoginDialog(true)) login->Prepare();
  if (manualUpdateCheck) {
    RunUpdateCheck();
  } else if (!launchedOnStart) {
    CLoginDlg* login = LoginDialog(false);
    if (!login || !login->HasWindow()) {
      cb.Report("Zint Launch error : login dialog not created", kReportError);
    } else {
      login->Show(View::Centre::kHostWindow);
    }
    RunUpdateCheck();
    if (login) cb.Banner().SetUserId(login->UserField());
  } else {
    StartAutoLogin();
  }
}

void CZintPlugin::Init() {
  if (!EnsureControlBlock()) return;
  CControlBlock& cb = *m_controlBlock;
  const auto getPeer = ResolveHost<decltype(&pu_get_peer_data)>(m_env.resolve, "pu_get_peer_data");
  if (!getPeer) {
    ShowMessage(kNotCompatible);
  } else {
    char peer1[256] = {};
    char peer2[256] = {};
    char folder[256] = {};
    getPeer(peer1, sizeof peer1, peer2, sizeof peer2, folder, sizeof folder);
    cb.peerText = peer1;
  }
  if (!cb.HasMessaging()) return;
  if (cb.IsLoggedIn()) {
    if (cb.Banner().HasWindow()) {
      cb.Banner().SetUserId(cb.session.loggedInUserId);
      cb.Banner().ShowCentred(View::Centre::kScreen);
    } else {
      ShowMessage(Format(kAlreadyLoggedIn, cb.session.loggedInUserId.c_str()));
    }
  } else {
    ShowLoginDialog();
    if (cb.Banner().HasWindow()) {
      const CLoginDlg* login = LoginDialog(false);
      const std::string user = login ? login->UserField() : std::string();
      cb.Banner().SetUserId(user);
      if (user.empty()) cb.Banner().ShowCentred(View::Centre::kScreen);
    }
  }
}

std::vector<sMenuRow> CZintPlugin::MenuRows() const {
  const auto [name, version] = ExeVersion(m_env.resolve);
  return BuildMenu(name, version);
}

// ---- commands ---------------------------------------------------------------

void CZintPlugin::ProcessHotKey(std::string_view item, int32_t kind,
                                const std::vector<std::string>& fields) {
  const std::string exchSeg = Field(fields, 0);
  const std::string tradingSymbol = Field(fields, 1);
  const std::string token = Field(fields, 3);
  const auto precisionOf = [&](int32_t& precision, double& multiplier) {
    precision = 2;
    multiplier = 100.0;
    if (m_controlBlock && m_controlBlock->Host().getPrecisionAndFraction) {
      m_controlBlock->Host().getPrecisionAndFraction(exchSeg.c_str(), tradingSymbol.c_str(),
                                                     &precision, &multiplier);
    }
  };
  const auto is = [&](std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
      if (item == name) return true;
    }
    return false;
  };

  if (is({"Launch Zint"})) {
    Launch();
  } else if (is({"Shift+N"})) {
    if (!RequireLogin()) return;
    if (auto* feed = dynamic_cast<CResearchModule*>(m_controlBlock->researchFeed.get()))
      feed->ShowNews(tradingSymbol, token);
  } else if (is({"Shift+P", "Shift+D"})) {
    if (kind != 1 || !EnsureControlBlock()) return;
    int32_t precision = 2;
    double multiplier = 100.0;
    precisionOf(precision, multiplier);
    InvokeIntradayChart(tradingSymbol, exchSeg + "|" + token, precision, multiplier, 60,
                        item == "Shift+D");
  } else if (is({"Zint DashBoard", "Alt+D"})) {
    if (RequireLogin()) Unavailable("Zint DashBoard");
  } else if (is({"Market Movers"})) {
    if (RequireLogin()) MarketOf(*m_controlBlock).Scanner().ShowPane(true);
  } else if (is({"Market Movers Dlg"})) {
    if (RequireLogin()) MarketOf(*m_controlBlock).ScannerDlg().Show(true);
  } else if (is({"Market Monitor"})) {
    if (RequireLogin()) ShowMarketMonitor(*m_controlBlock);
  } else if (is({"Preference Settings", "Fundamentals", "Portfolio"})) {
    if (RequireLogin()) Unavailable(item);
  } else if (is({"Zint Running Scripts", "Ondo Running Scripts"})) {
    if (!RequireLogin()) return;
    if (const auto api = OrderApiOf(*m_controlBlock)) api->ScriptsView().ShowPane(true);
  } else if (is({"Add SignalWatcher"})) {
    if (RequireLogin()) StartSignalWatcher(*m_controlBlock);
  } else if (is({"Shift+H"})) {
    if (!EnsureControlBlock()) return;
    CControlBlock& cb = *m_controlBlock;
    if (!cb.HasMessaging()) {
      ShowMessage("Configuration error, please restart KovoZint");
    } else if (cb.IsLoggedIn()) {
      CVWapStore* store = StoreOf(cb);
      if (!store) return;
      int32_t precision = 2;
      double multiplier = 100.0;
      precisionOf(precision, multiplier);
      const std::time_t now = store->Now();
      constexpr std::time_t kThreeMonths = 7776000;
      if (cb.session.launched) {
        store->OpenHistoricalChart(tradingSymbol, exchSeg + "|" + token,
                                   FormatMdy(now - kThreeMonths), FormatMdy(now), nullptr,
                                   precision, multiplier);
      }
    } else {
      if (CLoginDlg* login = LoginDialog(true)) {
        login->Show(View::Centre::kHostWindow);
      }
      RunUpdateCheck();
    }
  } else if (is({"Logout", "Logout\\Login with new ZintID"})) {
    Exit();
    EnsureControlBlock();
    if (m_controlBlock && !m_controlBlock->IsLoggedIn()) ShowLoginDialog();
  } else if (is({"Option Strategy"})) {
    if (RequireLogin()) OptionStrategy();
  } else if (is({"Beep Alert"})) {
    if (RequireLogin() && m_controlBlock->beepAlerts) m_controlBlock->beepAlerts->Show();
  } else if (is({"Technical,Research and Option Calls"})) {
    if (!RequireLogin()) return;
    if (auto* feed = dynamic_cast<CResearchModule*>(m_controlBlock->researchFeed.get()))
      feed->ShowBrokerCalls();
  } else if (is({"Open Interest Bar"})) {
    if (RequireLogin()) OpenInterestBar(*m_controlBlock, exchSeg, token);
  } else if (is({"Zint Index Chart"})) {
    if (!RequireLogin()) return;
    int32_t precision = 2;
    double multiplier = 100.0;
    precisionOf(precision, multiplier);
    if (CVWapStore* store = StoreOf(*m_controlBlock); m_controlBlock->session.launched && store) {
      store->OpenIntradayChart(tradingSymbol, exchSeg + "|" + tradingSymbol, precision, multiplier,
                               60, true, nullptr);
    }
  } else if (is({"About KovoZint", "Video Tutorials", "ZintHelp"})) {
    if (RequireLogin()) Unavailable(item);
  } else if (is({"Check for Updates"})) {
    manualUpdateCheck = true;
    RunUpdateCheck();
  }
}

void CZintPlugin::OptionStrategy() {
  CControlBlock& cb = *m_controlBlock;
  if (!m_optionStrategy) {
    const std::filesystem::path path = cb.Settings().PluginFolder() / "optionstrategy.so";
    m_optionStrategy = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!m_optionStrategy) {
    ShowMessage("Error while loading Kovo Plugins\\Option Stratgey.dll");
    return;
  }
  using InitFn =
      int32_t (*)(void* hostApp, const char* hostUserId, int32_t privilege, int32_t kind);
  const auto init = reinterpret_cast<InitFn>(dlsym(m_optionStrategy, "InitZintPlugin"));
  const void* exit = dlsym(m_optionStrategy, "ExitZintPlugin");
  if (!init || !exit) {
    ShowMessage("Option Stratgey.dll is not compatible with zint");
    return;
  }
  init(cb.HostApp(), hostUserId.c_str(), cb.Privilege(), 63);
}

void CZintPlugin::Launch() {
  if (autoLoginId.empty() || hostUserId.empty()) {
    if (EnsureControlBlock()) {
      CControlBlock& cb = *m_controlBlock;
      if (!cb.IsLoggedIn()) {
        ShowLoginDialog();
        const CLoginDlg* login = LoginDialog(false);
        if (login && login->HasWindow() && cb.Banner().HasWindow() && login->UserField().empty()) {
          cb.Banner().ShowCentred(View::Centre::kScreen);
        }
      } else {
        if (cb.Banner().HasWindow()) {
          cb.Banner().SetUserId(cb.session.loggedInUserId);
          cb.Banner().ShowCentred(View::Centre::kScreen);
        } else {
          ShowMessage(Format(kAlreadyLoggedIn, cb.session.loggedInUserId.c_str()));
        }
      }
    }
  }
  LaunchOnStart(autoLoginId, hostUserId);
}

int32_t CZintPlugin::LaunchOnStart(std::string_view id, std::string_view hostUser) {
  (void)hostUser;
  launchedOnStart = true;
  if (id.empty()) return 0;
  autoLoginId = id;
  if (!EnsureControlBlock()) return 1;
  CControlBlock& cb = *m_controlBlock;
  cb.session.launched = true;
  if (!cb.HasMessaging()) {
    ShowMessage(kNotConnected);
    return 1;
  }
  if (cb.IsLoggedIn()) {
    if (cb.Banner().HasWindow()) {
      cb.Banner().SetUserId(cb.session.loggedInUserId);
      cb.Banner().ShowCentred(View::Centre::kScreen);
    } else {
      ShowMessage(Format(kAlreadyLoggedIn, cb.session.loggedInUserId.c_str()));
    }
    return 1;
  }
  LoginDialog(true);
  StartAutoLogin();
  return 1;
}

int32_t CZintPlugin::InvokeIntradayChart(std::string_view symbol, std::string_view key,
                                         int32_t precision, double multiplier, int32_t interval,
                                         bool dataTable) {
  if (!EnsureControlBlock()) return 0;
  CControlBlock& cb = *m_controlBlock;
  if (!cb.HasMessaging()) {
    ShowMessage(kNotConnected);
    return 0;
  }
  if (!cb.IsLoggedIn()) {
    ShowLoginDialog();
    return 0;
  }
  if (CVWapStore* store = StoreOf(cb); store && cb.session.launched) {
    if (dataTable) {
      store->ShowDataTable(symbol, key, multiplier);
    } else {
      store->OpenIntradayChart(symbol, key, precision, multiplier, interval, false, nullptr);
    }
  }
  return 1;
}

void CZintPlugin::ScripAdded(int32_t count, const std::vector<std::string>& fields) {
  if (!m_controlBlock || !m_controlBlock->IsLoggedIn()) return;
  if (fields.size() != 4) count = static_cast<int32_t>(fields.size());
  if (count < 4) return;
  const size_t n = static_cast<size_t>(count);
  const std::string& exchSeg = fields[n - 4];
  std::string token;
  if (exchSeg == "nse_cm") {
    token = fields[n - 2];
  } else if (exchSeg == "bse_cm") {
    token = fields[n - 1];
  }
  // Nothing further is asked of the back end for a market watch addition.
  (void)token;
}

void CZintPlugin::ScripDetailsNotify(std::string_view context, const sScripDetails& details) {
  if (!m_controlBlock) return;
  if (CZintMktMonitor* monitor = MarketMonitorOf(*m_controlBlock))
    monitor->OnScripDetails(context, details);
  if (auto* market = dynamic_cast<CMarketModule*>(m_controlBlock->marketModule.get()))
    market->OnScripDetails(context, details);
}

int32_t CZintPlugin::CheckForUpdates() {
  return RunUpdateCheck();
}

// ---- shutdown ---------------------------------------------------------------

void CZintPlugin::Exit() {
  if (m_controlBlock) m_controlBlock->CloseChartViews();
  if (m_controlBlock && m_controlBlock->IsLoggedIn() && m_controlBlock->loginDlg) {
    m_controlBlock->session.hostExit = true;
  }
  ShutdownSession(false);
}

void CZintPlugin::ShutdownSession(bool keepLogin) {
  if (!m_controlBlock) return;
  CControlBlock& cb = *m_controlBlock;
  cb.stoppingCount.fetch_add(1);
  // Watchers would otherwise notice the flag only at the end of their wait.
  if (const auto orders = cb.OrderModule()) orders->WakeWorkers();
  cb.CloseReceiverControls();
  if (!keepLogin) cb.loginDlg.reset();
  if (!cb.session.installerPath.empty() && !cb.session.installerCommandLine.empty()) {
    const int error = cb.Processes().Start(cb.session.installerPath, cb.session.installerArguments);
    if (error != 0) {
      ShowMessage(Format("KovoTraderAutoInstaller can not start due to errorcode %d", error));
      return;
    }
  }
  while (cb.watcherCount.load() != 0) {
    if (cb.Ui().Pump(kShutdownPumpItems) == 0) std::this_thread::yield();
  }
  // Where the panes are now is where the next session finds them.
  if (m_launcher) m_launcher->SaveLayout();
  m_launcher.reset();
  cb.CloseChartViews();
  cb.chartStore.reset();
  // Its settings are written while the control block still stands.
  cb.marketMonitor.reset();
  cb.Report("Zint Exited Successfully", kReportMessage);
  m_splash.reset();
  m_controlBlock.reset();
  launchedOnStart = false;
  manualUpdateCheck = false;
  pendingUpdate = false;
}

}  // namespace kovo
