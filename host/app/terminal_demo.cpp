#include "host/app/terminal_demo.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "gui/charts/chart_pane_view.h"
#include "gui/charts/oi_chart_view.h"
#include "gui/qt_session_views.h"

namespace kovo::terminal {
namespace {

constexpr int kReadyTimeoutMs = 20000;
constexpr int kPollMs = 100;
// The pop-up is out for a few seconds only: look often.
constexpr int kPopupPollMs = 20;
constexpr int kPopupTimeoutMs = 30000;
// Bars come over loopback; a live bar waits for the next tick (one a second).
constexpr int kChartTimeoutMs = 15000;
// A category with no scrips at the moment (no losers in a rising market)
// still gets its picture after this long.
constexpr int kMoversWaitMs = 6000;
constexpr const char* kMoversPaneId = "ZintMarketMovers";
constexpr int kCaptionHeight = 22;

struct MoversShot {
  const char* button;
  const char* file;
};
constexpr MoversShot kMoversShots[] = {
    {"Volume Leaders", "21-movers-volume-leaders.png"},
    {"Value Leaders", "22-movers-value-leaders.png"},
    {"% Gainers", "23-movers-gainers.png"},
    {"% Losers", "24-movers-losers.png"},
};

QTableView* MoversTable(QDockWidget* dock) {
  return dock ? dock->findChild<QTableView*>() : nullptr;
}

}  // namespace

CTerminalDemo::CTerminalDemo(CTerminalWindow& window, std::filesystem::path dir)
    : QObject(&window), m_window(window), m_dir(std::move(dir)) {}

void CTerminalDemo::Start() {
  std::printf("Demo folder: %s\n", m_dir.string().c_str());
  std::fflush(stdout);
  WatchForPopup();
  Poll(
      "the session to become ready", kReadyTimeoutMs,
      [this] { return m_window.SessionReady() && m_window.MarketWatchTable()->rowCount() > 0; },
      [this] { PlaceOrder(); });
}

void CTerminalDemo::Poll(const char* what, int timeoutMs, std::function<bool()> step,
                         std::function<void()> next) {
  auto* timer = new QTimer(this);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  connect(timer, &QTimer::timeout, this,
          [this, timer, clock, what, timeoutMs, step = std::move(step), next = std::move(next)] {
            if (step()) {
              timer->deleteLater();
              timer->stop();
              next();
            } else if (clock->elapsed() > timeoutMs) {
              timer->stop();
              std::fprintf(stderr, "demo: gave up waiting for %s after %d s\n", what,
                           timeoutMs / 1000);
              Finish(1);
            }
          });
  timer->start(kPollMs);
}

void CTerminalDemo::After(int ms, std::function<void()> next) {
  QTimer::singleShot(ms, this, std::move(next));
}

void CTerminalDemo::Save(QWidget& widget, const std::string& file) {
  const std::filesystem::path path = m_dir / file;
  if (widget.grab().save(QString::fromStdString(path.string()))) {
    ++m_saved;
    std::printf("Saved %s\n", path.string().c_str());
  } else {
    std::fprintf(stderr, "demo: could not save %s\n", path.string().c_str());
  }
}

void CTerminalDemo::WatchForPopup() {
  auto* timer = new QTimer(this);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  connect(timer, &QTimer::timeout, this, [this, timer, clock] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() != QLatin1String(gui::kPopupObjectName) || !widget->isVisible())
        continue;
      const int fullHeight = widget->property(gui::kPopupFullHeightProperty).toInt();
      if (fullHeight <= 0 || widget->height() < fullHeight) continue;
      timer->stop();
      timer->deleteLater();
      m_popupSaved = true;
      Save(*widget, "04-popup.png");
      return;
    }
    if (clock->elapsed() > kPopupTimeoutMs) {
      timer->stop();
      timer->deleteLater();
      m_popupGaveUp = true;
      std::printf("demo: note: no pop-up came out within %d s; 04-popup.png not saved\n",
                  kPopupTimeoutMs / 1000);
    }
  });
  timer->start(kPopupPollMs);
}

void CTerminalDemo::PlaceOrder() {
  m_window.SelectMarketWatchRow(0);
  const std::vector<std::string> fields = m_window.SelectedScripFields();
  if (fields.size() < 4) {
    std::fprintf(stderr, "demo: no market watch row to select\n");
    Finish(1);
    return;
  }
  // A buy limited a little above the last price fills at once.
  Poll(
      "a price for the first scrip", 5000,
      [this] {
        QTableWidgetItem* last = m_window.MarketWatchTable()->item(0, 4);
        return last && !last->text().isEmpty();
      },
      [this, fields] {
        const auto scrip = m_window.Core().Scrips().Find(fields[0], fields[3]);
        const double last = m_window.MarketWatchTable()->item(0, 4)->text().toDouble();
        sOrderEntryInfo order{};
        std::snprintf(order.scripKey, sizeof order.scripKey, "%s|%s", fields[0].c_str(),
                      fields[3].c_str());
        std::snprintf(order.productType, sizeof order.productType, "%s", "MIS");
        std::snprintf(order.strategy, sizeof order.strategy, "%s", "Demo");
        const double multiplier = scrip ? scrip->priceMultiplier : 100.0;
        const long tick = scrip ? std::max(1L, std::atol(scrip->texts[KOVO_SCRIP_TICK_SIZE])) : 5L;
        const long units = std::lround(last * multiplier * 1.02);
        order.price = static_cast<int32_t>((units / tick + 1) * tick);
        order.quantity = 1;
        order.orderType = 1;
        order.validity = 1;
        std::string error;
        if (!m_window.Session().PlaceOrder(order, "1", KOVO_TXN_BUY, &error))
          std::fprintf(stderr, "demo: the order was refused: %s\n", error.c_str());
        Poll(
            "the order in the order book", 5000,
            [this] { return m_window.OrderBookTable()->rowCount() > 0; },
            [this] {
              After(1000, [this] {
                m_window.RefreshLog();
                Save(m_window, "01-terminal.png");
                UsePluginMenu();
              });
            });
      });
}

void CTerminalDemo::UsePluginMenu() {
  QMenu* menu = m_window.PluginsMenu();
  if (menu->actions().isEmpty()) {
    std::fprintf(stderr, "demo: the plug-in announced no menu items\n");
    Finish(1);
    return;
  }
  const QRect bar = m_window.menuBar()->actionGeometry(menu->menuAction());
  menu->popup(m_window.menuBar()->mapToGlobal(bar.bottomLeft()));
  After(300, [this, menu] {
    Save(*menu, "02-plugins-menu.png");
    menu->hide();
    m_window.SelectMarketWatchRow(0);
    for (const char* name : {"Zint Chart", "Launch Zint", "Market Monitor"}) {
      if (QAction* action = m_window.PluginAction(name)) {
        std::printf("Triggering \"%s\"\n", name);
        action->trigger();
      }
    }
    ShowScripts();
    After(2000, [this] {
      m_window.RefreshLog();
      Save(m_window, "03-after-plugin-commands.png");
      // Whatever the plug-in opened as a window of its own.
      int n = 5;  // 04 is the pop-up
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget == &m_window || !widget->isVisible() || qobject_cast<QMenu*>(widget)) continue;
        if (widget->objectName() == QLatin1String(gui::kPopupObjectName)) continue;
        char file[64];
        std::snprintf(file, sizeof file, "%02d-window.png", n++);
        Save(*widget, file);
      }
      ShowCharts();
    });
  });
}

void CTerminalDemo::ShowScripts() {
  const std::filesystem::path signalFile = m_dir / "signals.csv";
  std::FILE* file = std::fopen(signalFile.string().c_str(), "w");
  if (file) std::fclose(file);
  // Offscreen the file dialog cannot open; the plug-in's dialogs take this answer.
  qputenv("KOVO_OPEN_FILE", QByteArray::fromStdString(signalFile.string()));
  if (QAction* watcher = m_window.SignalWatcherAction()) {
    std::printf("Triggering \"Add Signal Watcher\"\n");
    watcher->trigger();
  }
  for (const char* name : {"Zint Running Scripts"}) {
    if (QAction* action = m_window.PluginAction(name)) {
      std::printf("Triggering \"%s\"\n", name);
      action->trigger();
    }
  }
  After(600, [signalFile] {
    // A line appended after the watch began becomes an order of the watcher's script.
    if (std::FILE* out = std::fopen(signalFile.string().c_str(), "a")) {
      std::fputs("BUY,SW-1,NSE,RELIANCE-EQ,DAY,LIMIT,1,5000,0,0,MIS,PRO\n", out);
      std::fclose(out);
    }
  });
  After(1200, [this] {
    // The scripts pane's list: open the orders window of its oldest script.
    auto* dock = m_window.findChild<QDockWidget*>(QStringLiteral("ZintScriptsView"));
    QTableView* table = dock ? dock->findChild<QTableView*>() : nullptr;
    if (!table || table->model()->rowCount() == 0) {
      std::fprintf(stderr, "demo: the scripts pane shows no scripts\n");
      return;
    }
    const QModelIndex last = table->model()->index(table->model()->rowCount() - 1, 0);
    table->selectRow(last.row());
    emit table->doubleClicked(last);
  });
}

bool CTerminalDemo::Logged(const std::string& text) const {
  for (const std::string& line : m_window.Core().LogLines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

QWidget* CTerminalDemo::ChartPane(bool historical) const {
  for (QWidget* widget : QApplication::allWidgets()) {
    if (widget->objectName() != QLatin1String(gui::kChartPaneObjectName)) continue;
    if (widget->property(gui::kChartHistoricalProperty).toBool() != historical) continue;
    if (widget->property(gui::kChartBarsProperty).toInt() <= 0) continue;
    // An intraday chart is shown once a tick has opened its live bar.
    if (!historical && !widget->property(gui::kChartLiveBarProperty).toBool()) continue;
    return widget;
  }
  return nullptr;
}

void CTerminalDemo::ShowChart(const char* item, bool historical, const std::string& file,
                              std::function<void()> next) {
  m_window.SelectMarketWatchRow(0);
  QAction* action = m_window.PluginAction(item);
  if (!action) {
    std::fprintf(stderr, "demo: the plug-in has no \"%s\"\n", item);
    Finish(1);
    return;
  }
  std::printf("Triggering \"%s\"\n", item);
  action->trigger();
  Poll(
      historical ? "a historical chart with bars" : "an intraday chart with live bars",
      kChartTimeoutMs, [this, historical] { return ChartPane(historical) != nullptr; },
      [this, historical, file, next = std::move(next)] {
        // Give the chart most of the window's width before the pictures.
        QPointer<QWidget> pane = ChartPane(historical);
        if (auto* dock = qobject_cast<QDockWidget*>(pane->parentWidget())) {
          m_window.resizeDocks({dock}, {m_window.width() * 3 / 5}, Qt::Horizontal);
        }
        After(300, [this, pane, file, next] {
          if (!pane) {
            std::fprintf(stderr, "demo: the chart pane went away\n");
            Finish(1);
            return;
          }
          m_window.RefreshLog();
          Save(*pane, file);
          Save(m_window, "terminal-with-" + file);
          next();
        });
      });
}

void CTerminalDemo::ShowCharts() {
  Poll(
      "the plug-in's user to log in", kChartTimeoutMs,
      [this] { return Logged("user logged in successfully"); },
      [this] {
        // Charts are for a launched session; a logged-in user is launched at once.
        if (m_window.AutoLoginId().empty() && m_window.Plugin().launchOnStart) {
          m_window.Plugin().launchOnStart("demo", m_window.Core().Config().userId.c_str());
        }
        ShowChart("Zint Chart", false, "10-intraday-chart.png", [this] {
          ChartTour([this] {
            FiveMinuteChart([this] {
              ShowChart("Zint Historical Chart", true, "11-historical-chart.png", [this] {
                MarketMonitor([this] {
                  CallsAndStory([this] {
                    OptionCallLog([this] { OpenInterestChart([this] { ShowMovers(); }); });
                  });
                });
              });
            });
          });
        });
      });
}

void CTerminalDemo::AnswerModal(const std::function<void()>& trigger,
                                std::function<void(QWidget&)> answer) {
  bool answered = false;
  QTimer::singleShot(300, this, [&answered, answer = std::move(answer)] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      answered = true;
      answer(*dialog);
    }
  });
  trigger();  // returns once the dialog is closed
  if (!answered) std::fprintf(stderr, "demo: no dialog came up\n");
}

void CTerminalDemo::PickFromPopup(const std::function<void()>& trigger, const QString& text) {
  bool picked = false;
  QTimer::singleShot(300, this, [&picked, text] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions()) {
      if (action->text() != text) continue;
      picked = true;
      menu->close();
      action->trigger();
      return;
    }
    menu->close();
  });
  trigger();
  if (!picked) std::fprintf(stderr, "demo: no \"%s\" in the menu\n", text.toUtf8().constData());
}

namespace {

void ClickOk(QWidget& dialog) {
  if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
    if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->click();
  }
}

void SendKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QCoreApplication::sendEvent(target, &press);
}

}  // namespace

void CTerminalDemo::ChartTour(std::function<void()> next) {
  QPointer<QWidget> pane = ChartPane(false);
  auto* list =
      pane ? pane->findChild<QListWidget*>(QLatin1String(gui::kChartIndicatorListObjectName))
           : nullptr;
  if (!list) {
    std::fprintf(stderr, "demo: the chart pane has no Indicators list\n");
    Finish(1);
    return;
  }
  std::printf("Adding RSI and MACD through the chart's Indicators list\n");
  for (const char* name : {"RSI", "MACD"}) {
    const auto items = list->findItems(QLatin1String(name), Qt::MatchExactly);
    if (items.isEmpty()) {
      std::fprintf(stderr, "demo: no \"%s\" in the Indicators list\n", name);
      continue;
    }
    list->setCurrentItem(items[0]);
    const bool first = std::string_view(name) == "RSI";
    AnswerModal([list, item = items[0]] { emit list->itemDoubleClicked(item); },
                [this, first](QWidget& dialog) {
                  if (first) Save(dialog, "13-indicator-dialog.png");
                  ClickOk(dialog);
                });
  }
  After(500, [this, pane, next = std::move(next)] {
    if (!pane) return Finish(1);
    Save(*pane, "14-chart-rsi-macd.png");
    // Preference Settings (Ctrl+P): a darker blue background.
    std::printf("Changing the chart background in Preference Settings\n");
    AnswerModal([pane] { SendKey(pane, Qt::Key_P, Qt::ControlModifier); },
                [this](QWidget& dialog) {
                  for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
                    if (b->accessibleName() != QLatin1String("Background")) continue;
                    // Settings outlive the run: always a colour other than the one shown.
                    const bool blue = b->toolTip() == QLatin1String("#14213d");
                    qputenv("KOVO_CHOOSE_COLOR", blue ? "2B1B3D" : "14213D");
                    b->click();
                  }
                  Save(dialog, "15-chart-settings.png");
                  ClickOk(dialog);
                });
    qunsetenv("KOVO_CHOOSE_COLOR");
    After(500, [this, pane, next] {
      if (!pane) return Finish(1);
      Save(*pane, "16-chart-after-colour-change.png");
      ChartTemplates(pane, next);
    });
  });
}

void CTerminalDemo::ChartTemplates(QWidget* pane, std::function<void()> next) {
  QWidget* chart = pane->findChild<QWidget*>(QLatin1String(gui::kChartControlObjectName));
  auto* list = pane->findChild<QListWidget*>(QLatin1String(gui::kChartIndicatorListObjectName));
  if (!chart || !list) return Finish(1);
  const auto openMenu = [chart] {
    const QPoint at(chart->width() / 2, chart->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, chart->mapToGlobal(at));
    QCoreApplication::sendEvent(chart, &event);
  };
  const std::filesystem::path file = m_dir / "demo-template.kcdx";
  std::printf("Saving the chart's template to %s\n", file.string().c_str());
  qputenv("KOVO_SAVE_FILE", QByteArray::fromStdString(file.string()));
  PickFromPopup(openMenu, QStringLiteral("Save Template"));
  qunsetenv("KOVO_SAVE_FILE");
  // Take MACD off through the list, then load the template back.
  const auto macd = list->findItems(QStringLiteral("MACD"), Qt::MatchExactly);
  if (!macd.isEmpty()) {
    const QPoint at = list->visualItemRect(macd[0]).center();
    PickFromPopup([list, at] { emit list->customContextMenuRequested(at); },
                  QStringLiteral("&Remove Indicator"));
  }
  After(300, [this, pane, chart, openMenu, file, next] {
    Save(*pane, "17-template-before-loading.png");
    qputenv("KOVO_OPEN_FILE", QByteArray::fromStdString(file.string()));
    std::printf("Uploading the template again\n");
    PickFromPopup(openMenu, QStringLiteral("Upload Template"));
    After(500, [this, pane, chart, next] {
      Save(*pane, "17-template-loaded.png");
      std::printf("Opening the data table (Ctrl+D)\n");
      SendKey(pane, Qt::Key_D, Qt::ControlModifier);
      Poll(
          "the data table", 5000,
          [] {
            for (QWidget* w : QApplication::topLevelWidgets())
              if (w->objectName() == QLatin1String(gui::kChartDataTableObjectName) &&
                  w->isVisible())
                return true;
            return false;
          },
          [this, next] {
            After(300, [this, next] {
              for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != QLatin1String(gui::kChartDataTableObjectName)) continue;
                Save(*w, "18-data-table.png");
                w->hide();
              }
              next();
            });
          });
    });
  });
}

void CTerminalDemo::FiveMinuteChart(std::function<void()> next) {
  QPointer<QWidget> pane = ChartPane(false);
  QPushButton* toggle = nullptr;
  QPushButton* set = nullptr;
  if (pane) {
    for (QPushButton* button : pane->findChildren<QPushButton*>()) {
      if (button->text() == QLatin1String("<>")) toggle = button;
      if (button->text() == QLatin1String("Set Interval")) set = button;
    }
  }
  auto* minutes = pane ? pane->findChild<QSpinBox*>() : nullptr;
  if (!toggle || !set || !minutes) {
    std::fprintf(stderr, "demo: the chart pane has no interval strip\n");
    Finish(1);
    return;
  }
  std::printf("Choosing 5 minutes in the chart's interval strip\n");
  toggle->click();
  minutes->setValue(5);
  set->click();
  Poll(
      "a 5-minute chart", kChartTimeoutMs,
      [pane] {
        return pane && pane->property(gui::kChartIntervalProperty).toInt() == 5 &&
               pane->property(gui::kChartBarsProperty).toInt() > 0;
      },
      [this, pane, next = std::move(next)] {
        After(300, [this, pane, next] {
          if (pane) Save(*pane, "12-five-minute-chart.png");
          next();
        });
      });
}

void CTerminalDemo::MarketMonitor(std::function<void()> next) {
  if (QAction* action = m_window.PluginAction("Market Monitor")) action->trigger();
  // The back end's market messages arrive every few seconds.
  Poll(
      "market messages in the monitor", 60000,
      [this] {
        auto* dock = m_window.findChild<QDockWidget*>(QStringLiteral("ZintMarketMonitor"));
        auto* table =
            dock ? dock->findChild<QTableView*>(QStringLiteral("MarketMonitorList")) : nullptr;
        return table && table->model()->rowCount() >= 4;
      },
      [this, next = std::move(next)] {
        auto* dock = m_window.findChild<QDockWidget*>(QStringLiteral("ZintMarketMonitor"));
        dock->setFloating(true);
        dock->resize(900, 320);
        After(300, [this, dock, next] {
          Save(*dock, "19-market-monitor.png");
          MonitorOrderEntry(dock, [dock, next] {
            // Docked again, so the panes after it have the room they expect.
            dock->setFloating(false);
            dock->hide();
            next();
          });
        });
      });
}

void CTerminalDemo::MonitorOrderEntry(QDockWidget* dock, std::function<void()> next) {
  auto* list = dock->findChild<QTableView*>(QStringLiteral("MarketMonitorList"));
  // F1 on the newest message's row: the monitor asks the terminal for its order entry.
  list->selectRow(0);
  dock->activateWindow();
  list->setFocus();
  const auto entry = [] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->objectName() == QLatin1String("OrderEntryDialog") && widget->isVisible())
        return widget;
    return static_cast<QWidget*>(nullptr);
  };
  Poll(
      "the market monitor's list to take the focus", 5000,
      [list] { return QApplication::focusWidget() == list; },
      [this, list, entry, next = std::move(next)]() mutable {
        std::printf("Pressing F1 on the market monitor's first row\n");
        SendKey(list, Qt::Key_F1, Qt::NoModifier);
        ShowOrderEntry(entry, std::move(next));
      });
}

void CTerminalDemo::ShowOrderEntry(std::function<QWidget*()> entry, std::function<void()> next) {
  // The price box fills from the scrip's quote.
  Poll(
      "the order entry with the quote's price", 10000,
      [entry] {
        QWidget* dialog = entry();
        auto* price = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("Price")) : nullptr;
        return price && !price->text().isEmpty();
      },
      [this, entry, next = std::move(next)] {
        QWidget* dialog = entry();
        Save(*dialog, "19-monitor-order-entry.png");
        std::printf("Placing the monitor's order\n");
        ClickOk(*dialog);
        next();
      });
}

void CTerminalDemo::CallsAndStory(std::function<void()> next) {
  if (QAction* action = m_window.PluginAction("Technical,Research and Option Calls")) {
    std::printf("Triggering \"Technical,Research and Option Calls\"\n");
    action->trigger();
  }
  const auto callsList = [this]() -> QTableView* {
    auto* dock = m_window.findChild<QDockWidget*>(QStringLiteral("BrokerCalls"));
    return dock ? dock->findChild<QTableView*>() : nullptr;
  };
  // The day's calls come with the history the login started.
  Poll(
      "the day's calls in the calls pane", 60000,
      [callsList] { return callsList() && callsList()->model()->rowCount() >= 3; },
      [this, next = std::move(next)] {
        auto* dock = m_window.findChild<QDockWidget*>(QStringLiteral("BrokerCalls"));
        dock->setFloating(true);
        dock->resize(1000, 340);
        After(300, [this, dock, next] {
          Save(*dock, "20-calls-pane.png");
          dock->setFloating(false);
          dock->hide();
          std::printf("Pressing Shift+N\n");
          if (m_window.Plugin().processHotKey)
            m_window.Plugin().processHotKey("Shift+N", 0, 0, nullptr, 0);
          After(500, [this, next] {
            QTableView* news = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
              if (widget == &m_window || !widget->isVisible()) continue;
              if (widget->windowTitle().startsWith(QLatin1String("News")))
                news = widget->findChild<QTableView*>();
            }
            if (!news || news->model()->rowCount() == 0) {
              std::fprintf(stderr, "demo: no news window with stories\n");
              next();
              return;
            }
            Save(*news->window(), "20-news-window.png");
            news->selectRow(0);
            emit news->activated(news->model()->index(0, 0));
            After(500, [this, next] {
              for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->isVisible() && widget->findChild<QTextEdit*>() &&
                    widget->findChild<QPushButton*>(QString(), Qt::FindChildrenRecursively)) {
                  Save(*widget, "20-story-window.png");
                  widget->hide();
                }
              }
              for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->windowTitle().startsWith(QLatin1String("News"))) widget->hide();
              }
              next();
            });
          });
        });
      });
}

void CTerminalDemo::OptionCallLog(std::function<void()> next) {
  // Every library line after the day's option calls were in is a live call's;
  // the back end opens a new watcher's option calls within seconds.
  const auto liveLine = [this] {
    bool history = false;
    for (const std::string& line : m_window.Core().LogLines()) {
      if (line.find("Option calls Retrieved") != std::string::npos) history = true;
      if (history && line.find("Option strategy got:") != std::string::npos) return true;
    }
    return false;
  };
  Poll("a live option call in the option strategy library's log lines", 30000, liveLine,
       [this, next = std::move(next)] {
         m_window.RefreshLog();
         QPlainTextEdit* log = m_window.LogView();
         QTextDocument* text = log->document();
         QTextCursor line = text->find(QStringLiteral("Option calls Retrieved"));
         line = text->find(QStringLiteral("Option strategy got:"), line);
         line.select(QTextCursor::LineUnderCursor);
         log->setTextCursor(line);
         // The log gets the whole window for its picture: panes out of the
         // way, most of the height.
         std::vector<QDockWidget*> docks;
         for (QDockWidget* dock : m_window.findChildren<QDockWidget*>()) {
           if (!dock->isVisible()) continue;
           docks.push_back(dock);
           dock->hide();
         }
         auto* splitter = qobject_cast<QSplitter*>(m_window.centralWidget());
         const QList<int> sizes = splitter ? splitter->sizes() : QList<int>();
         if (splitter && sizes.size() == 3) {
           const int total = sizes[0] + sizes[1] + sizes[2];
           splitter->setSizes({total / 5, total / 10, total - total / 5 - total / 10});
         }
         After(300, [this, log, splitter, sizes, docks, next] {
           log->centerCursor();
           std::printf("Showing the option strategy library's line in the log\n");
           Save(m_window, "20-option-call-log.png");
           if (splitter) splitter->setSizes(sizes);
           for (QDockWidget* dock : docks) dock->show();
           next();
         });
       });
}

void CTerminalDemo::OpenInterestChart(std::function<void()> next) {
  QTableWidget* watch = m_window.MarketWatchTable();
  int row = -1;
  for (int r = 0; r < watch->rowCount() && row < 0; ++r) {
    const auto scrip = m_window.Core().Scrips().Find(watch->item(r, 0)->text().toStdString(),
                                                     watch->item(r, 2)->text().toStdString());
    if (scrip && std::string_view(scrip->texts[KOVO_SCRIP_INSTRUMENT]) == "OPTIDX" &&
        std::string_view(scrip->texts[KOVO_SCRIP_SYMBOL]) == "NIFTY")
      row = r;
  }
  if (row < 0 || !m_window.OpenInterestAction()) {
    std::fprintf(stderr, "demo: no NIFTY option in the market watch\n");
    Finish(1);
    return;
  }
  m_window.SelectMarketWatchRow(row);
  watch->scrollToItem(watch->item(row, 0));
  std::printf("Open Interest Bar for %s\n", watch->item(row, 1)->text().toUtf8().constData());
  m_window.OpenInterestAction()->trigger();
  const auto chart = [this]() -> QWidget* {
    return m_window.findChild<QWidget*>(QLatin1String(gui::kOiChartObjectName));
  };
  // 22 quote rows, then the bars of eleven strikes, four each.
  Poll(
      "the open interest chart's bars", kChartTimeoutMs,
      [chart] { return chart() && chart()->property("bars").toInt() == 44; },
      [this, next = std::move(next)] {
        auto* dock = m_window.findChild<QDockWidget*>(QStringLiteral("ZintOpenInterest"));
        if (!dock) {
          std::fprintf(stderr, "demo: the open interest chart has no pane\n");
          Finish(1);
          return;
        }
        dock->setFloating(true);
        dock->resize(1000, 540);
        After(400, [this, dock, next] {
          Save(*dock, "19-oi-chart.png");
          dock->setFloating(false);
          dock->hide();
          next();
        });
      });
}

void CTerminalDemo::ShowMovers() {
  QAction* action = m_window.PluginAction("Market Movers");
  auto* dock = m_window.findChild<QDockWidget*>(QString::fromLatin1(kMoversPaneId));
  if (!action || !dock) {
    std::fprintf(stderr, "demo: the plug-in has no market movers pane\n");
    Finish(1);
    return;
  }
  std::printf("Triggering \"Market Movers\"\n");
  action->trigger();
  // The charts had the width; the movers take it now, and most of the height.
  m_window.resizeDocks({dock}, {m_window.width() * 2 / 5}, Qt::Horizontal);
  m_window.resizeDocks({dock}, {m_window.height() * 3 / 5}, Qt::Vertical);
  dock->raise();
  MoversCategory(0);
}

void CTerminalDemo::MoversCategory(size_t index) {
  if (index >= std::size(kMoversShots)) {
    AddMoverToMarketWatch([this] { FloatMoversAndRestart(); });
    return;
  }
  auto* dock = m_window.findChild<QDockWidget*>(QString::fromLatin1(kMoversPaneId));
  QPushButton* button = nullptr;
  for (QPushButton* b : dock->findChildren<QPushButton*>()) {
    if (b->text() == QLatin1String(kMoversShots[index].button)) button = b;
  }
  QTableView* table = MoversTable(dock);
  if (!button || !table) {
    std::fprintf(stderr, "demo: the movers pane has no \"%s\"\n", kMoversShots[index].button);
    Finish(1);
    return;
  }
  std::printf("Market movers: %s\n", kMoversShots[index].button);
  button->click();
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  Poll(
      "market movers rows", kMoversWaitMs + 2000,
      [table, clock] { return table->model()->rowCount() > 0 || clock->elapsed() > kMoversWaitMs; },
      [this, index, dock, table] {
        if (table->model()->rowCount() == 0)
          std::printf("demo: note: no %s at the moment\n", kMoversShots[index].button);
        After(400, [this, index, dock] {
          Save(*dock, kMoversShots[index].file);
          MoversCategory(index + 1);
        });
      });
}

void CTerminalDemo::AddMoverToMarketWatch(std::function<void()> next) {
  auto* dock = m_window.findChild<QDockWidget*>(QString::fromLatin1(kMoversPaneId));
  QTableView* table = MoversTable(dock);
  if (!table || table->model()->rowCount() == 0) {
    next();
    return;
  }
  // The last row is least likely to be on the market watch already.
  const int row = table->model()->rowCount() - 1;
  table->selectRow(row);
  const QRect cell = table->visualRect(table->model()->index(row, 1));
  QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                          table->viewport()->mapToGlobal(cell.center()));
  QApplication::sendEvent(table->viewport(), &event);
  After(300, [this, next = std::move(next)] {
    const int before = m_window.MarketWatchTable()->rowCount();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* menu = qobject_cast<QMenu*>(widget);
      if (!menu || !menu->isVisible()) continue;
      for (QAction* action : menu->actions()) {
        if (action->text() != QLatin1String("Add To MarketWatch")) continue;
        Save(*menu, "25-movers-menu.png");
        std::printf("Market movers: Add To MarketWatch\n");
        action->trigger();
        menu->hide();
      }
    }
    After(500, [this, before, next] {
      QTableWidget* watch = m_window.MarketWatchTable();
      if (watch->rowCount() <= before) {
        std::printf("demo: note: the market watch did not grow\n");
      } else {
        // The new row is the last one: bring it into view.
        m_window.SelectMarketWatchRow(watch->rowCount() - 1);
        watch->scrollToBottom();
      }
      m_window.RefreshLog();
      Save(m_window, "26-terminal-with-movers.png");
      next();
    });
  });
}

void CTerminalDemo::FloatMoversAndRestart() {
  auto* dock = m_window.findChild<QDockWidget*>(QString::fromLatin1(kMoversPaneId));
  if (!dock) {
    Finish(1);
    return;
  }
  std::printf("Floating the market movers pane, then restarting\n");
  dock->setFloating(true);
  dock->setGeometry(m_window.x() + 220, m_window.y() + 160, 520, 420);
  dock->show();
  After(500, [this] {
    SaveScreen("27-movers-floating-before-restart.png");
    Finish(kRestartCode);
  });
}

void CTerminalDemo::StartAfterRestart() {
  std::printf("Demo restarted\n");
  std::fflush(stdout);
  m_popupGaveUp = true;  // the pop-up had its picture in the first run
  Poll(
      "the restarted terminal with its movers pane floating", kReadyTimeoutMs,
      [this] {
        auto* dock = m_window.findChild<QDockWidget*>(QString::fromLatin1(kMoversPaneId));
        return m_window.SessionReady() && dock && dock->isFloating() && dock->isVisible();
      },
      [this] {
        // Filled again from the back end, to show it is the live pane.
        auto* dock = m_window.findChild<QDockWidget*>(QString::fromLatin1(kMoversPaneId));
        QTableView* table = MoversTable(dock);
        for (QPushButton* b : dock->findChildren<QPushButton*>()) {
          if (b->text() == QLatin1String(kMoversShots[0].button)) b->click();
        }
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        Poll(
            "the restored pane's rows", kMoversWaitMs + 2000,
            [table, clock] {
              return (table && table->model()->rowCount() > 0) || clock->elapsed() > kMoversWaitMs;
            },
            [this] {
              After(500, [this] {
                m_window.RefreshLog();
                SaveScreen("28-restart-movers-restored-floating.png");
                Finish(0);
              });
            });
      });
}

void CTerminalDemo::SaveScreen(const std::string& file) {
  QRect area = m_window.frameGeometry();
  std::vector<QWidget*> floating;
  for (QDockWidget* dock : m_window.findChildren<QDockWidget*>()) {
    if (!dock->isFloating() || !dock->isVisible()) continue;
    floating.push_back(dock);
    area = area.united(dock->geometry().adjusted(-1, -kCaptionHeight, 1, 1));
  }
  QPixmap picture(area.size());
  picture.fill(QColor(60, 60, 70));
  {
    QPainter painter(&picture);
    painter.drawPixmap(m_window.frameGeometry().topLeft() - area.topLeft(), m_window.grab());
    for (QWidget* dock : floating) {
      // Without a window manager a floating pane has no caption: draw one.
      const QRect at = dock->geometry().translated(-area.topLeft());
      const QRect caption(at.left(), at.top() - kCaptionHeight, at.width(), kCaptionHeight);
      painter.fillRect(caption.adjusted(-1, 0, 1, 0), QColor(45, 70, 120));
      painter.setPen(Qt::white);
      painter.drawText(caption.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                       dock->windowTitle());
      painter.fillRect(at.adjusted(-1, 0, 1, 1), QColor(45, 70, 120));
      painter.drawPixmap(at.topLeft(), dock->grab());
    }
  }
  const std::filesystem::path path = m_dir / file;
  if (picture.save(QString::fromStdString(path.string()))) {
    ++m_saved;
    std::printf("Saved %s\n", path.string().c_str());
  } else {
    std::fprintf(stderr, "demo: could not save %s\n", path.string().c_str());
  }
}

void CTerminalDemo::Finish(int code) {
  if (!m_popupSaved && !m_popupGaveUp)
    std::printf("demo: note: no pop-up came out before the end; 04-popup.png not saved\n");
  m_window.close();  // ends the plug-in and the session
  if (code == kRestartCode) {
    std::fflush(stdout);
    QCoreApplication::exit(code);
    return;
  }
  std::printf("Log: %s\n", (m_dir / "terminal.log").string().c_str());
  std::fflush(stdout);
  QCoreApplication::exit(code);
}

}  // namespace kovo::terminal
