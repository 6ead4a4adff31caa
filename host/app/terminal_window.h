#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringListModel>
#include <QTableWidget>
#include <QTimer>

#include <kovozint/host_api.h>

#include "backend/server.h"
#include "gui/qt_ui_thread.h"
#include "host/app/plugin_library.h"
#include "host/app/qt_host_ui.h"
#include "host/core/host_core.h"
#include "host/core/order_books.h"
#include "host/core/session.h"

namespace kovo::terminal {

struct TerminalOptions {
  std::string backendHost;  // empty: the embedded back end
  uint16_t backendPort = 0;
  uint64_t seed = 1;
  int backendStepMilliseconds = 250;
  std::string hostName = "kovo_trader";
  std::string hostVersion = "3.11.3.0";
  std::set<std::string> switchedOff;
  std::filesystem::path pluginPath;  // empty: no plug-in
  std::filesystem::path logFile;     // empty: the log stays in memory
  std::string autoLogin;             // non-empty: SetAutoLogin and LaunchOnStart
  // A strategy library started once the session is ready (empty: none).
  std::filesystem::path strategyPath;
  bool autoAnswer = false;  // message boxes answer themselves (demo, tests)
};

// The message the host sends every window once its back-end connection is ready.
inline constexpr const char* kEngineCreationDoneMessage =
    "ENGINE_CREATION_DONE{2B914891-C4D6-4410-AFE0-0C6683AE576C}_MSG";

// The reference terminal's main window: market watch, order book, log and
// the plug-in's menu, over the host core and its back-end session.
class CTerminalWindow final : public QMainWindow {
 public:
  explicit CTerminalWindow(TerminalOptions options, QWidget* parent = nullptr);
  ~CTerminalWindow() override;

  // Starts the back end (unless an outside one is named), connects and
  // loads the plug-in. Failures are logged; the window works without them.
  void Start();
  // Ends the plug-in, the session and the back end; also done on close.
  void Shutdown();

  bool SessionReady() const { return m_ready; }
  host::CHostCore& Core() { return *m_core; }
  host::CHostSession& Session() { return *m_session; }
  CPluginLibrary& Plugin() { return m_plugin; }
  const std::string& AutoLoginId() const { return m_options.autoLogin; }
  gui::QtUiThread& UiThread() { return m_ui; }
  uint16_t BackendPort() const { return m_port; }

  QTableWidget* MarketWatchTable() const { return m_marketWatch; }
  QTableWidget* OrderBookTable() const { return m_orderBook; }
  QPlainTextEdit* LogView() const { return m_logView; }
  QMenu* PluginsMenu() const { return m_pluginsMenu; }
  const std::vector<PluginMenuItem>& PluginItems() const { return m_items; }
  // The Plug-ins menu's action of an item's name; nullptr when there is none.
  QAction* PluginAction(const std::string& name) const;
  // Tools > Add Signal Watcher: the plug-in's "Add SignalWatcher" command.
  QAction* SignalWatcherAction() const { return m_signalWatcherAction; }
  // Tools > Open Interest Bar: the plug-in's "Open Interest Bar" command for
  // the selected (option) scrip.
  QAction* OpenInterestAction() const { return m_openInterestAction; }
  void SelectMarketWatchRow(int row);
  // The box above the market watch where a user finds a scrip (equities,
  // indices, options, futures) by the words of its trading symbol.
  QLineEdit* ScripSearch() const { return m_scripSearch; }
  // Adds the best match of a search text (or the scrip of a result line the
  // box offered) to the market watch and selects its row; false when nothing matches.
  bool AddScripFromSearch(const std::string& text);
  // The market watch row of "seg|token"; -1 when it is not there.
  int MarketWatchRowOf(const std::string& key) const;
  // The selected market watch row as the plug-in gets it: exchange segment,
  // trading symbol, symbol, token. Empty without a selection.
  std::vector<std::string> SelectedScripFields() const;
  // Shows the log lines that arrived since the last refresh.
  void RefreshLog();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Keys a plug-in registered as hot keys go to the plug-in, wherever they are pressed.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct WatchRow {
    std::string segment, tradingSymbol, symbol, token;
    int32_t precision = 2;
    double multiplier = 100.0;
  };

  void BuildUi();
  void LoadPlugin();
  void BuildPluginMenu();
  void RunPluginItem(const PluginMenuItem& item);
  void OnScrips(std::vector<sScripDetails> scrips);
  void OnReady();
  void StartStrategy();
  void StopStrategy();
  void FillMarketWatch();
  void OfferSearchResults(const QString& text);
  bool AddAndSelect(const std::string& key);
  void OnOrderUpdate(const wmp_msg* message);
  void OnTick(const wmp_msg* message);
  void Log(const std::string& line);

  static void OrderUpdateThunk(void* self, const wmp_msg* message);
  static void TickThunk(void* self, const wmp_msg* message);

  TerminalOptions m_options;
  gui::QtUiThread m_ui;
  CQtHostUi m_hostUi;
  std::unique_ptr<host::CHostCore> m_core;
  std::unique_ptr<backend::CBackendServer> m_server;
  std::unique_ptr<host::CHostSession> m_session;
  CPluginLibrary m_plugin;
  void* m_strategy = nullptr;  // the strategy library's handle
  std::vector<PluginMenuItem> m_items;

  uint16_t m_port = 0;
  bool m_ready = false;
  bool m_shutDown = false;
  std::vector<sScripDetails> m_defaultScrips;  // picked from the master as it arrives
  std::vector<WatchRow> m_rows;
  std::map<std::string, int> m_rowOfScrip;  // "seg|token" -> market watch row
  std::set<std::string> m_watchedScrips;    // "seg|token" with a tick watch
  std::map<std::string, int> m_rowOfOrder;  // order number -> order book row
  // The session's orders and fills for the order and trade book windows.
  std::shared_ptr<host::COrderStore> m_orders = std::make_shared<host::COrderStore>();
  KovoRxControl* m_orderControl = nullptr;
  KovoRxControl* m_tickControl = nullptr;
  size_t m_logShown = 0;

  QPointer<QTableWidget> m_marketWatch;
  QPointer<QLineEdit> m_scripSearch;
  QPointer<QStringListModel> m_searchResults;
  QPointer<QTableWidget> m_orderBook;
  QPointer<QPlainTextEdit> m_logView;
  QPointer<QMenu> m_pluginsMenu;
  QPointer<QAction> m_toolbarAction;
  QPointer<QAction> m_signalWatcherAction;
  QPointer<QAction> m_openInterestAction;
  QPointer<QTimer> m_logTimer;
};

}  // namespace kovo::terminal
