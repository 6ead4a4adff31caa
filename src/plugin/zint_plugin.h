#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

#include "plugin/control_block.h"
#include "plugin/host_functions.h"
#include "plugin/ports.h"

namespace kovo {

class CSessionLauncher;
class CSplashScreen;

// One menu item as the host shows it.
struct sMenuRow {
  std::string hotKey;  // empty: none
  std::string name;
  int32_t kind = 0;
};

// The items for a host of this name and version.
std::vector<sMenuRow> BuildMenu(std::string_view appName, std::string_view version);

// How the plug-in reaches the world it was loaded into.
struct sPluginEnvironment {
  HostResolver resolve;
  // The window system's ports: Qt ones in a Qt host, else the host's UI
  // thread and headless views.
  std::function<PluginPorts(const HostResolver&)> makePorts;
  std::filesystem::path hostFolder;     // empty: the host program's folder
  std::filesystem::path appDataFolder;  // empty: read once from the platform
};

// The plug-in's process-wide state and the behaviour of its exports.
class CZintPlugin {
 public:
  explicit CZintPlugin(sPluginEnvironment env);
  ~CZintPlugin();
  CZintPlugin(const CZintPlugin&) = delete;
  CZintPlugin& operator=(const CZintPlugin&) = delete;

  // ---- process-wide values
  std::string autoLoginId;
  std::string hostUserId;
  std::string userFolderId;
  bool launchedOnStart = false;
  bool manualUpdateCheck = false;
  bool pendingUpdate = false;
  const std::filesystem::path& AppDataFolder() const { return m_appDataFolder; }
  CControlBlock* ControlBlock() const { return m_controlBlock.get(); }

  // ---- exports
  std::vector<sMenuRow> MenuRows() const;
  void Init();
  void ProcessHotKey(std::string_view item, int32_t kind, const std::vector<std::string>& fields);
  int32_t LaunchOnStart(std::string_view id, std::string_view hostUser);
  int32_t InvokeIntradayChart(std::string_view symbol, std::string_view key, int32_t precision,
                              double multiplier, int32_t interval, bool dataTable);
  void ScripAdded(int32_t count, const std::vector<std::string>& fields);
  void ScripDetailsNotify(std::string_view context, const sScripDetails& details);
  int32_t CheckForUpdates();
  void Exit();

  // ---- internal routines other parts call
  int EnsureControlBlock();
  void ShutdownSession(bool keepLogin);
  // The session's panes, created once a login completed.
  std::function<void()> sessionLaunched;
  // The login dialog, created (with its window) on demand.
  CLoginDlg* LoginDialog(bool create);

 private:
  void ShowMessage(std::string_view text, unsigned style = 0);
  bool RequireLogin();
  void Unavailable(std::string_view what);
  void Launch();
  int32_t RunUpdateCheck();
  void WaitForPrelogin();
  void OnEngineCreationDone();
  void OnUpdateReply(const wmp_msg* message);
  void AfterBrokerDetails();
  void LaunchSession();
  void ShowLoginDialog();
  void StartAutoLogin();
  void OptionStrategy();
  void InstallMessageActions();

  sPluginEnvironment m_env;
  std::filesystem::path m_appDataFolder;
  std::unique_ptr<CControlBlock> m_controlBlock;
  std::unique_ptr<CSessionLauncher> m_launcher;  // of the current login
  void* m_hostApp = nullptr;
  void* m_optionStrategy = nullptr;
  std::unique_ptr<CSplashScreen> m_splash;  // the loaded library, kept for the process
};

}  // namespace kovo
