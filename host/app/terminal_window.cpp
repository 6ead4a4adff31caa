#include "host/app/terminal_window.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "backend/protocol.h"
#include "base/number.h"
#include "gui/qt_view.h"

namespace kovo::terminal {
namespace {

constexpr size_t kDefaultEquities = 20;
constexpr int kLogRefreshMs = 250;
constexpr size_t kSearchResults = 50;

QString ToQt(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Text(const sScripDetails& scrip, int position) {
  return std::string(host::ScripDirectory::Text(scrip, position));
}

// The first value of a field, or empty.
std::string FieldText(const wmp_msg* message, int32_t field) {
  wmp_value value{};
  if (!wmp_get_data(message, field, 0, &value, nullptr) || !value.data) return {};
  return std::string(static_cast<const char*>(value.data), static_cast<size_t>(value.length));
}

QTableWidget* MakeTable(const QStringList& headers, QWidget* parent) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  table->setHorizontalHeaderLabels(headers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->setVisible(false);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

void SetCell(QTableWidget& table, int row, int column, const std::string& text) {
  QTableWidgetItem* item = table.item(row, column);
  if (!item) {
    table.setItem(row, column, new QTableWidgetItem(ToQt(text)));
  } else if (item->text() != ToQt(text)) {
    item->setText(ToQt(text));
  }
}

enum WatchColumn { kWatchSegment, kWatchTradingSymbol, kWatchToken, kWatchSymbol, kWatchLast };

// Order book columns and the update fields they show.
struct OrderColumn {
  const char* header;
  int32_t field;
};
constexpr OrderColumn kOrderColumns[] = {
    {"Order No", wire::kOrderNumber},
    {"Script", wire::kScriptName},
    {"Tag", wire::kOrderTag},
    {"Exchange", wire::kExchSeg},
    {"Token", wire::kToken},
    {"Status", wire::kOrderStatus},
    {"Leg", wire::kLegCode},
    {"Filled Qty", wire::kFilledQuantity},
    {"Avg Price", wire::kAveragePrice},
    {"Reason", wire::kReason},
};

}  // namespace

CTerminalWindow::CTerminalWindow(TerminalOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_hostUi([this](const std::string& line) { Log(line); }, m_options.autoAnswer) {
  host::HostConfig config;
  config.appName = m_options.hostName;
  config.version = m_options.hostVersion;
  config.switchedOff = m_options.switchedOff;
  config.logFile = m_options.logFile;
  if (!m_options.pluginPath.empty()) config.hostFolder = m_options.pluginPath.parent_path();
  {
    // An installation has its plug-ins' folder beside the program; the
    // plug-in keeps its own settings there.
    std::error_code error;
    const char* named = std::getenv("KOVOZINT_HOST_FOLDER");
    const std::filesystem::path folder =
        named && *named ? std::filesystem::path(named)
                        : std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (!error) std::filesystem::create_directories(folder / "kovo plugins", error);
  }
  m_core = std::make_unique<host::CHostCore>(std::move(config), m_ui, m_hostUi);
  host::InstallHost(m_core.get());
  m_session = std::make_unique<host::CHostSession>(
      m_ui, host::SessionHooks{[this](const std::string& line) { Log(line); },
                               [this](std::vector<sScripDetails> s) { OnScrips(std::move(s)); },
                               [this] { OnReady(); }});
  // A strategy trades for a logged-in user: with an automatic login it starts
  // once the plug-in holds the user's peer data (the auto-placement list),
  // after the plug-in has taken the reply.
  m_session->SetTrafficHook([this](host::SessionTraffic kind, const wmp_msg* message) {
    wmp_value name{};
    if (kind != host::SessionTraffic::kReply || m_options.autoLogin.empty() ||
        !wmp_get_data(message, 32767, 0, &name, nullptr) ||
        std::string_view(static_cast<const char*>(name.data), name.length) !=
            "xr_get_user_peer_data")
      return;
    QMetaObject::invokeMethod(
        this, [this] { StartStrategy(); }, Qt::QueuedConnection);
  });
  m_hostUi.SetParent(this);
  m_hostUi.SetOrderServices(
      {&m_core->Scrips(),
       [this](const sOrderEntryInfo& order, std::string_view tag, int32_t side,
              std::string* error) { return m_session->PlaceOrder(order, tag, side, error); },
       &GetQuellRxControl, &DestoryQuellRxCOntrol, m_orders});
  BuildUi();
  // Scrips a plug-in adds show at once; an adder on another thread waits for the window's turn.
  m_core->SetMarketWatchListener([this] {
    if (QThread::currentThread() == thread()) {
      FillMarketWatch();
    } else {
      QMetaObject::invokeMethod(
          this, [this] { FillMarketWatch(); }, Qt::QueuedConnection);
    }
  });
  qApp->installEventFilter(this);
}

CTerminalWindow::~CTerminalWindow() {
  qApp->removeEventFilter(this);
  Shutdown();
}

namespace {

// The name a plug-in registers a key under: "F1".."F12", "Plus", "Minus".
std::string HotKeyNameOf(int key) {
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return "F" + std::to_string(key - Qt::Key_F1 + 1);
  if (key == Qt::Key_Plus) return "Plus";
  if (key == Qt::Key_Minus) return "Minus";
  return {};
}

}  // namespace

bool CTerminalWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !m_core) return QMainWindow::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  // Typing into a text box stays typing.
  const bool typing = qobject_cast<QLineEdit*>(watched) ||
                      qobject_cast<QAbstractSpinBox*>(watched) ||
                      qobject_cast<QPlainTextEdit*>(watched);
  const Qt::KeyboardModifiers chords = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  if (typing || (key->modifiers() & chords)) return QMainWindow::eventFilter(watched, event);
  const std::string name = HotKeyNameOf(key->key());
  if (!name.empty() && m_core->PressHotKey(name)) return true;
  return QMainWindow::eventFilter(watched, event);
}

void CTerminalWindow::BuildUi() {
  setObjectName(QLatin1String(gui::kHostMainWindowName));
  setWindowTitle(QStringLiteral("Kovo Trader"));
  resize(1200, 760);

  m_marketWatch = MakeTable({"Exchange", "Trading Symbol", "Token", "Symbol", "Last Price"}, this);
  m_marketWatch->setObjectName(QStringLiteral("MarketWatch"));
  auto* watchPanel = new QWidget(this);
  auto* watchLayout = new QVBoxLayout(watchPanel);
  watchLayout->setContentsMargins(0, 0, 0, 0);
  m_scripSearch = new QLineEdit(watchPanel);
  m_scripSearch->setObjectName(QStringLiteral("ScripSearch"));
  m_scripSearch->setPlaceholderText(
      QStringLiteral("Add scrip: words of its trading symbol, e.g. NIFTY 24000 CE"));
  m_searchResults = new QStringListModel(this);
  auto* completer = new QCompleter(m_searchResults, m_scripSearch);
  // The list is already the search's answer; the completer only shows it.
  completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  m_scripSearch->setCompleter(completer);
  connect(m_scripSearch, &QLineEdit::textEdited, this,
          [this](const QString& text) { OfferSearchResults(text); });
  // A picked result line and Enter in the box both end here.
  const auto submit = [this](const QString& text) {
    if (AddScripFromSearch(text.toStdString()))
      QMetaObject::invokeMethod(m_scripSearch, &QLineEdit::clear, Qt::QueuedConnection);
  };
  connect(completer, qOverload<const QString&>(&QCompleter::activated), this, submit);
  connect(m_scripSearch, &QLineEdit::returnPressed, this,
          [this, submit] { submit(m_scripSearch->text()); });
  watchLayout->addWidget(m_scripSearch);
  watchLayout->addWidget(m_marketWatch, 1);
  QStringList orderHeaders;
  for (const OrderColumn& column : kOrderColumns) orderHeaders << column.header;
  m_orderBook = MakeTable(orderHeaders, this);
  m_orderBook->setObjectName(QStringLiteral("OrderBook"));

  auto* tabs = new QTabWidget(this);
  m_logView = new QPlainTextEdit(tabs);
  m_logView->setReadOnly(true);
  m_logView->setMaximumBlockCount(5000);
  tabs->addTab(m_logView, QStringLiteral("Log"));

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(watchPanel);
  splitter->addWidget(m_orderBook);
  splitter->addWidget(tabs);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setStretchFactor(2, 2);
  setCentralWidget(splitter);

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
  m_pluginsMenu = menuBar()->addMenu(QStringLiteral("&Plug-ins"));
  m_pluginsMenu->setObjectName(QStringLiteral("PluginsMenu"));
  // The plug-in's watcher and open interest commands have no rows of their
  // own in the plug-in's menu; the terminal offers them here.
  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  m_signalWatcherAction = tools->addAction(QStringLiteral("Add &Signal Watcher..."));
  m_signalWatcherAction->setObjectName(QStringLiteral("AddSignalWatcherAction"));
  connect(m_signalWatcherAction, &QAction::triggered, this, [this] {
    RunPluginItem({"", "Add SignalWatcher", 0});
  });
  m_openInterestAction = tools->addAction(QStringLiteral("Open &Interest Bar"));
  m_openInterestAction->setObjectName(QStringLiteral("OpenInterestBarAction"));
  connect(m_openInterestAction, &QAction::triggered, this, [this] {
    RunPluginItem({"", "Open Interest Bar", 0});
  });

  QToolBar* toolbar = addToolBar(QStringLiteral("Plug-ins"));
  toolbar->setObjectName(QStringLiteral("PluginToolbar"));
  m_toolbarAction = toolbar->addAction(QStringLiteral("Kovo Zint"));
  m_toolbarAction->setEnabled(false);
  connect(m_toolbarAction, &QAction::triggered, this, [this] {
    RunPluginItem({"", "Launch Zint", 0});
  });

  statusBar()->showMessage(QStringLiteral("Connecting..."));

  m_logTimer = new QTimer(this);
  connect(m_logTimer, &QTimer::timeout, this, [this] { RefreshLog(); });
  m_logTimer->start(kLogRefreshMs);
}

void CTerminalWindow::Log(const std::string& line) {
  if (m_core) m_core->Log(line);
}

void CTerminalWindow::RefreshLog() {
  if (!m_core || !m_logView) return;
  const std::vector<std::string> lines = m_core->LogLines();
  for (; m_logShown < lines.size(); ++m_logShown)
    m_logView->appendPlainText(ToQt(lines[m_logShown]));
}

void CTerminalWindow::Start() {
  std::string host = m_options.backendHost;
  uint16_t port = m_options.backendPort;
  std::string error;
  if (host.empty()) {
    backend::ServerOptions server;
    server.service.seed = m_options.seed;
    server.stepMilliseconds = m_options.backendStepMilliseconds;
    m_server = std::make_unique<backend::CBackendServer>(server);
    if (!m_server->Start(&error)) {
      Log("The embedded back end did not start: " + error);
      m_server.reset();
    } else {
      host = "127.0.0.1";
      port = m_server->Port();
      Log("Embedded back end on port " + std::to_string(port));
    }
  }
  m_port = port;
  host::InstallSession(m_session.get());

  const KovoRxNotifier orders{&CTerminalWindow::OrderUpdateThunk, nullptr, this};
  m_orderControl = m_session->CreateControl(KOVO_RX_ORDER_UPDATES, orders);
  const KovoFieldMatch anyOrder[] = {{wire::kOrderNumber, nullptr, 0}};
  int32_t filterError = 0;
  if (!m_orderControl ||
      m_orderControl->ops->addFilter(m_orderControl, anyOrder, 1, &filterError) != 1)
    Log("The order book gets no order updates (error " + std::to_string(filterError) + ")");

  if (!host.empty() && !m_session->Connect(host, port, &error))
    Log("Cannot connect to the back end at " + host + ":" + std::to_string(port) + ": " + error);
  LoadPlugin();
}

void CTerminalWindow::LoadPlugin() {
  if (m_options.pluginPath.empty()) {
    Log("No plug-in to load");
    return;
  }
  std::string error;
  if (!m_plugin.Load(m_options.pluginPath.string(), &error)) {
    Log("Plug-in not loaded: " + error);
    return;
  }
  for (const std::string& name : m_plugin.Missing()) Log("The plug-in does not export " + name);

  if (m_plugin.getInfo) {
    char name[64] = {}, version[64] = {};
    int32_t id = 0, kind = 0;
    m_plugin.getInfo(name, sizeof name, version, sizeof version, nullptr, &id, &kind);
    name[sizeof name - 1] = version[sizeof version - 1] = '\0';
    Log(std::string("Loaded plug-in ") + name + " " + version + " from " + m_plugin.Path());
  }
  m_items = m_plugin.MenuItems();
  BuildPluginMenu();
  const std::string userId = m_core->Config().userId;
  if (!m_options.autoLogin.empty() && m_plugin.setAutoLogin)
    m_plugin.setAutoLogin(m_options.autoLogin.c_str(), userId.c_str());

  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  if (m_plugin.ToolbarBitmap(&width, &height, &pixels)) {
    const QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height,
                       width * static_cast<int>(sizeof(uint32_t)), QImage::Format_ARGB32);
    m_toolbarAction->setIcon(QIcon(QPixmap::fromImage(image.copy())));
  }
  m_toolbarAction->setEnabled(m_plugin.processHotKey != nullptr);

  m_core->SetScripDetailsNotify(m_plugin.scripDetailsNotify);
  if (m_plugin.init) m_plugin.init(nullptr, "", 0, "");
  if (!m_options.autoLogin.empty() && m_plugin.launchOnStart)
    m_plugin.launchOnStart(m_options.autoLogin.c_str(), userId.c_str());
}

void CTerminalWindow::BuildPluginMenu() {
  m_pluginsMenu->clear();
  for (const PluginMenuItem& item : m_items) {
    QString text = ToQt(item.name);
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    auto* action = new QAction(text, m_pluginsMenu);
    action->setData(ToQt(item.name));
    if (!item.hotKey.empty()) action->setShortcut(QKeySequence::fromString(ToQt(item.hotKey)));
    connect(action, &QAction::triggered, this, [this, item] { RunPluginItem(item); });
    m_pluginsMenu->addAction(action);
    addAction(action);  // the hot key works while the menu is closed
  }
  m_pluginsMenu->setEnabled(!m_items.empty() && m_plugin.processHotKey);
}

QAction* CTerminalWindow::PluginAction(const std::string& name) const {
  if (!m_pluginsMenu) return nullptr;
  for (QAction* action : m_pluginsMenu->actions()) {
    if (action->data().toString() == ToQt(name)) return action;
  }
  return nullptr;
}

void CTerminalWindow::RunPluginItem(const PluginMenuItem& item) {
  if (!m_plugin.processHotKey) return;
  const std::vector<std::string> fields = SelectedScripFields();
  std::vector<const char*> texts;
  for (const std::string& field : fields) texts.push_back(field.c_str());
  m_plugin.processHotKey(item.CommandText().c_str(), item.kind, 0,
                         texts.empty() ? nullptr : texts.data(),
                         static_cast<int32_t>(texts.size()));
}

void CTerminalWindow::SelectMarketWatchRow(int row) {
  if (m_marketWatch && row >= 0 && row < m_marketWatch->rowCount()) m_marketWatch->selectRow(row);
}

void CTerminalWindow::OfferSearchResults(const QString& text) {
  QStringList lines;
  for (const sScripDetails& s : m_core->Scrips().Search(text.toStdString(), kSearchResults)) {
    lines << ToQt(Text(s, KOVO_SCRIP_TRAD_SYMBOL) + "  " + Text(s, KOVO_SCRIP_NAME) + "  [" +
                  host::ScripDirectory::UniqueKey(s) + "]");
  }
  m_searchResults->setStringList(lines);
}

bool CTerminalWindow::AddScripFromSearch(const std::string& text) {
  // A result line the box offered ends with its scrip's key in brackets.
  const size_t open = text.rfind('[');
  if (open != std::string::npos && text.size() > open + 2 && text.back() == ']')
    return AddAndSelect(text.substr(open + 1, text.size() - open - 2));
  const std::vector<sScripDetails> found = m_core->Scrips().Search(text, 1);
  if (found.empty()) {
    Log("Market watch: no scrip matches " + text);
    return false;
  }
  return AddAndSelect(host::ScripDirectory::UniqueKey(found.front()));
}

bool CTerminalWindow::AddAndSelect(const std::string& key) {
  // A scrip already watched is selected where it is.
  m_core->AddToMarketWatch(key);
  const int row = MarketWatchRowOf(key);
  if (row < 0) return false;
  SelectMarketWatchRow(row);
  m_marketWatch->scrollToItem(m_marketWatch->item(row, 0));
  return true;
}

int CTerminalWindow::MarketWatchRowOf(const std::string& key) const {
  const auto it = m_rowOfScrip.find(key);
  return it == m_rowOfScrip.end() ? -1 : it->second;
}

std::vector<std::string> CTerminalWindow::SelectedScripFields() const {
  if (!m_marketWatch) return {};
  const QList<QTableWidgetItem*> selected = m_marketWatch->selectedItems();
  if (selected.isEmpty()) return {};
  const int row = selected.front()->row();
  if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) return {};
  const WatchRow& r = m_rows[static_cast<size_t>(row)];
  return {r.segment, r.tradingSymbol, r.symbol, r.token};
}

void CTerminalWindow::OnScrips(std::vector<sScripDetails> scrips) {
  m_defaultScrips.clear();
  for (const sScripDetails& s : scrips) {
    if (m_defaultScrips.size() < kDefaultEquities && Text(s, KOVO_SCRIP_EXCH_SEG) == "nse_cm" &&
        Text(s, KOVO_SCRIP_INSTRUMENT) == "EQ")
      m_defaultScrips.push_back(s);
  }
  for (const sScripDetails& s : scrips) {
    if (Text(s, KOVO_SCRIP_INSTRUMENT) == "INDEX" && Text(s, KOVO_SCRIP_SYMBOL) == "NIFTY") {
      m_defaultScrips.push_back(s);
      break;
    }
  }
  // One NIFTY call of the nearest expiry (the master lists it first), the
  // middle strike of its series, so an option is at hand from the start.
  std::vector<const sScripDetails*> calls;
  for (const sScripDetails& s : scrips) {
    if (Text(s, KOVO_SCRIP_INSTRUMENT) != "OPTIDX" || Text(s, KOVO_SCRIP_SYMBOL) != "NIFTY" ||
        Text(s, KOVO_SCRIP_OPTION_TYPE) != "CE" ||
        (!calls.empty() && Text(s, KOVO_SCRIP_EXPIRY) != Text(*calls.front(), KOVO_SCRIP_EXPIRY)))
      continue;
    calls.push_back(&s);
  }
  if (!calls.empty()) {
    std::sort(calls.begin(), calls.end(), [](const sScripDetails* a, const sScripDetails* b) {
      return LeadingDouble(a->texts[KOVO_SCRIP_STRIKE]) <
             LeadingDouble(b->texts[KOVO_SCRIP_STRIKE]);
    });
    m_defaultScrips.push_back(*calls[calls.size() / 2]);
  }
  m_core->Scrips().Load(std::move(scrips));
}

void CTerminalWindow::OnReady() {
  for (const sScripDetails& s : m_defaultScrips)
    m_core->AddToMarketWatch(host::ScripDirectory::UniqueKey(s));
  FillMarketWatch();
  m_ready = true;
  statusBar()->showMessage(QStringLiteral("Connected"));
  Log("Session ready");
  const uint32_t message = m_core->RegisterWindowMessage(kEngineCreationDoneMessage);
  const int32_t windows = m_core->BroadcastMessage(message, 0, 0);
  Log("Engine creation done sent to " + std::to_string(windows) + " window(s)");
  if (m_options.autoLogin.empty()) {
    // Without a login its orders wait in the orders window for the user.
    StartStrategy();
  } else if (!m_options.strategyPath.empty()) {
    Log("Strategy starts once the automatic login has the user's peer data");
  }
}

void CTerminalWindow::StartStrategy() {
  if (m_options.strategyPath.empty() || m_strategy) return;
  // The strategy links the plug-in and binds to the copy already loaded.
  m_strategy = dlopen(m_options.strategyPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_strategy) {
    const char* why = dlerror();
    Log("Strategy not loaded: " + std::string(why ? why : "unknown error"));
    return;
  }
  using StartFn = int32_t (*)();
  const auto start = reinterpret_cast<StartFn>(dlsym(m_strategy, "kovo_strategy_start"));
  if (!start || !start()) {
    Log("Strategy " + m_options.strategyPath.string() + " did not start");
    return;
  }
  Log("Strategy started: " + m_options.strategyPath.string());
}

void CTerminalWindow::StopStrategy() {
  if (!m_strategy) return;
  using StopFn = void (*)();
  if (const auto stop = reinterpret_cast<StopFn>(dlsym(m_strategy, "kovo_strategy_stop"))) {
    // Its thread may be waiting for the UI thread inside the order API.
    std::atomic<bool> done{false};
    std::thread stopper([&] {
      stop();
      done = true;
    });
    while (!done) {
      m_ui.Pump(100);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      std::this_thread::yield();
    }
    stopper.join();
  }
  dlclose(m_strategy);
  m_strategy = nullptr;
}

void CTerminalWindow::FillMarketWatch() {
  m_rows.clear();
  m_rowOfScrip.clear();
  for (const std::string& key : m_core->MarketWatch()) {
    const size_t bar = key.find('|');
    if (bar == std::string::npos) continue;
    const std::string segment = key.substr(0, bar), second = key.substr(bar + 1);
    std::optional<sScripDetails> scrip = m_core->Scrips().Find(segment, second);
    if (!scrip) scrip = m_core->Scrips().FindByTradingSymbol(segment, second);
    if (!scrip) {
      Log("Market watch: unknown scrip " + key);
      continue;
    }
    WatchRow row{Text(*scrip, KOVO_SCRIP_EXCH_SEG),
                 Text(*scrip, KOVO_SCRIP_TRAD_SYMBOL),
                 Text(*scrip, KOVO_SCRIP_SYMBOL),
                 Text(*scrip, KOVO_SCRIP_TOKEN),
                 scrip->pricePrecision,
                 scrip->priceMultiplier};
    m_rowOfScrip[row.segment + "|" + row.token] = static_cast<int>(m_rows.size());
    m_rows.push_back(std::move(row));
  }
  m_marketWatch->setRowCount(static_cast<int>(m_rows.size()));
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const int row = static_cast<int>(i);
    SetCell(*m_marketWatch, row, kWatchSegment, m_rows[i].segment);
    SetCell(*m_marketWatch, row, kWatchTradingSymbol, m_rows[i].tradingSymbol);
    SetCell(*m_marketWatch, row, kWatchToken, m_rows[i].token);
    SetCell(*m_marketWatch, row, kWatchSymbol, m_rows[i].symbol);
  }
  m_marketWatch->resizeColumnsToContents();

  if (!m_tickControl) {
    const KovoRxNotifier ticks{&CTerminalWindow::TickThunk, nullptr, this};
    m_tickControl = m_session->CreateControl(KOVO_RX_BROADCASTS, ticks);
  }
  if (!m_tickControl) return;
  for (const WatchRow& row : m_rows) {
    // A refill keeps the watches it already has.
    if (!m_watchedScrips.insert(row.segment + "|" + row.token).second) continue;
    const KovoFieldMatch watch[] = {{wire::kExchSeg, row.segment.c_str(), -1},
                                    {wire::kToken, row.token.c_str(), -1},
                                    {wire::kLastPrice, nullptr, 0}};
    int32_t error = 0;
    m_tickControl->ops->addWatch(m_tickControl, watch, 3, &error);
  }
}

void CTerminalWindow::TickThunk(void* self, const wmp_msg* message) {
  static_cast<CTerminalWindow*>(self)->OnTick(message);
}

void CTerminalWindow::OrderUpdateThunk(void* self, const wmp_msg* message) {
  static_cast<CTerminalWindow*>(self)->OnOrderUpdate(message);
}

void CTerminalWindow::OnTick(const wmp_msg* message) {
  auto it = m_rowOfScrip.find(FieldText(message, wire::kExchSeg) + "|" +
                              FieldText(message, wire::kToken));
  if (it == m_rowOfScrip.end() || !m_marketWatch) return;
  const WatchRow& row = m_rows[static_cast<size_t>(it->second)];
  bool ok = false;
  const double units = QString::fromStdString(FieldText(message, wire::kLastPrice)).toDouble(&ok);
  if (!ok || row.multiplier <= 0) return;
  SetCell(
      *m_marketWatch, it->second, kWatchLast,
      QString::number(units / row.multiplier, 'f', std::clamp(row.precision, 0, 8)).toStdString());
}

void CTerminalWindow::OnOrderUpdate(const wmp_msg* message) {
  m_orders->OnOrderUpdate(message);
  const std::string orderNumber = FieldText(message, wire::kOrderNumber);
  if (orderNumber.empty() || !m_orderBook) return;
  auto [it, added] = m_rowOfOrder.emplace(orderNumber, m_orderBook->rowCount());
  if (added) m_orderBook->insertRow(it->second);
  const auto scrip =
      m_core->Scrips().Find(FieldText(message, wire::kExchSeg), FieldText(message, wire::kToken));
  int column = 0;
  for (const OrderColumn& c : kOrderColumns) {
    std::string text = FieldText(message, c.field);
    bool isNumber = false;
    const double units = QString::fromStdString(text).toDouble(&isNumber);
    // Prices travel in the scrip's units; the book shows rupees.
    if (c.field == wire::kAveragePrice && isNumber && scrip && scrip->priceMultiplier > 0)
      text = QString::number(units / scrip->priceMultiplier, 'f',
                             std::clamp(scrip->pricePrecision, 0, 8))
                 .toStdString();
    // A later update that lacks a field keeps what the row showed.
    if (!text.empty() || added) SetCell(*m_orderBook, it->second, column, text);
    ++column;
  }
}

void CTerminalWindow::closeEvent(QCloseEvent* event) {
  Shutdown();
  event->accept();
}

void CTerminalWindow::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  m_core->SetMarketWatchListener(nullptr);
  if (m_logTimer) m_logTimer->stop();
  StopStrategy();
  if (m_plugin.exit) m_plugin.exit();
  m_hostUi.CloseWindows();
  m_core->SetScripDetailsNotify(nullptr);
  m_session->DestroyControl(m_orderControl);
  m_session->DestroyControl(m_tickControl);
  m_orderControl = m_tickControl = nullptr;
  m_session->Disconnect();
  if (m_server) m_server->Stop();
  // Work the plug-in queued (and its widgets' late deletions) must not
  // outlive its code.
  m_ui.Pump(100000);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  m_plugin.Unload();
  host::InstallSession(nullptr);
  RefreshLog();
}

}  // namespace kovo::terminal
