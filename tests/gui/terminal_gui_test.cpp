// The reference terminal in-process, offscreen, with a recording plug-in.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "host/app/terminal_window.h"

namespace kovo::test {
namespace {

using terminal::CTerminalWindow;

// Processes Qt events until pred holds; false after 10 s without it.
bool WaitFor(const std::function<bool()>& pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Cell(QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text().toStdString() : std::string();
}

class TerminalGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "terminal_gui_test";
    static char* argv[] = {name, nullptr};
    // ctest sets this; a bare run of the binary must not wait for a display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) s_app = new QApplication(argc, argv);
  }

  void SetUp() override {
    ::setenv("KOVO_RECORDING_PLUGIN_LOG", (dir / "calls.txt").c_str(), 1);
    terminal::TerminalOptions options;
    options.pluginPath = KOVO_RECORDING_PLUGIN;
    options.backendStepMilliseconds = 20;
    options.autoAnswer = true;
    window = std::make_unique<CTerminalWindow>(options);
    window->show();
    window->Start();
    ASSERT_TRUE(WaitFor([&] { return window->SessionReady(); }));
  }

  void TearDown() override { window.reset(); }

  std::vector<std::string> Calls() const { return Lines(TempDir::ReadFile(dir / "calls.txt")); }

  static QApplication* s_app;
  TempDir dir;
  std::unique_ptr<CTerminalWindow> window;
};

QApplication* TerminalGui::s_app = nullptr;

TEST_F(TerminalGui, PluginLifecycleMenuAndHotKeysCarryTheSelectedScrip) {
  const std::vector<std::string> start = Calls();
  ASSERT_GE(start.size(), 6u);
  EXPECT_EQ(start[0], "GetKovoPluginInfo");
  EXPECT_EQ(start[1], "GetOptionalKovoPluginInfo\t32");
  EXPECT_EQ(start[2], "GetOptionalKovoPluginInfo\t40") << "asked again with room for every row";
  EXPECT_EQ(start[3], "GetToolbarBitmap") << "the size first";
  EXPECT_EQ(start[4], "GetToolbarBitmap") << "then the pixels";
  EXPECT_EQ(start[5], "InitKovoPlugin\t\t0");
  EXPECT_TRUE(WaitFor([&] { return Calls().back() == "ready message"; }))
      << "the readiness message reaches the plug-in's window once the session is ready";

  const QList<QAction*> actions = window->PluginsMenu()->actions();
  ASSERT_EQ(actions.size(), 40);
  EXPECT_EQ(actions[0]->text(), "Zint Chart");
  EXPECT_EQ(actions[0]->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_P));
  EXPECT_EQ(actions[1]->text(), "Market Monitor");
  EXPECT_TRUE(actions[1]->shortcut().isEmpty());
  EXPECT_EQ(actions[39]->text(), "Extra 40");
  window->RefreshLog();
  EXPECT_TRUE(window->LogView()->toPlainText().contains("does not export check_for_updates"));

  // Without a selection the plug-in gets no scrip.
  window->PluginAction("Market Monitor")->trigger();
  EXPECT_EQ(Calls().back(), "PluginProcessHotKey\tMarket Monitor\t0");
  // The watcher command is the terminal's own item, not a row of the plug-in's menu.
  ASSERT_NE(window->SignalWatcherAction(), nullptr);
  window->SignalWatcherAction()->trigger();
  EXPECT_EQ(Calls().back(), "PluginProcessHotKey\tAdd SignalWatcher\t0");

  QTableWidget* watch = window->MarketWatchTable();
  ASSERT_GT(watch->rowCount(), 20) << "twenty equities and the index";
  const int row = 2;
  window->SelectMarketWatchRow(row);
  const std::string segment = Cell(watch, row, 0), token = Cell(watch, row, 2);
  const auto scrip = window->Core().Scrips().Find(segment, token);
  ASSERT_TRUE(scrip.has_value());
  const std::string expected = "PluginProcessHotKey\tShift+P\t1\t" + segment + "\t" +
                               scrip->texts[KOVO_SCRIP_TRAD_SYMBOL] + "\t" +
                               scrip->texts[KOVO_SCRIP_SYMBOL] + "\t" + token;

  // The key itself, pressed in the market watch.
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(watch, Qt::Key_P, Qt::ShiftModifier);
  EXPECT_EQ(Calls().back(), expected);
  window->PluginAction("Market Monitor")->trigger();
  EXPECT_EQ(Calls().back(), "PluginProcessHotKey\tMarket Monitor\t0\t" + segment + "\t" +
                                scrip->texts[KOVO_SCRIP_TRAD_SYMBOL] + "\t" +
                                scrip->texts[KOVO_SCRIP_SYMBOL] + "\t" + token);

  window->close();
  EXPECT_EQ(Calls().back(), "ExitKovoPlugin");
  EXPECT_FALSE(window->Plugin().IsLoaded());
}

std::vector<int32_t> g_hotKeyMessages;
void RecordHotKey(void*, int32_t message) {
  g_hotKeyMessages.push_back(message);
}

TEST_F(TerminalGui, RegisteredHotKeysReachThePlugInButTypingStaysTyping) {
  g_hotKeyMessages.clear();
  host::CHostCore::HotKey buy;
  buy.callback = &RecordHotKey;
  buy.commandId = 500;
  buy.key = "F1";
  host::CHostCore::HotKey sell = buy;
  sell.commandId = 501;
  sell.key = "Minus";
  ASSERT_TRUE(window->Core().RegisterHotKey(buy));
  ASSERT_TRUE(window->Core().RegisterHotKey(sell));
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTableWidget* watch = window->MarketWatchTable();
  QTest::keyClick(watch, Qt::Key_F1);
  QTest::keyClick(watch, Qt::Key_Minus);
  QTest::keyClick(watch, Qt::Key_F2);  // nobody registered it
  QTest::keyClick(watch, Qt::Key_F1, Qt::ControlModifier);
  EXPECT_EQ(g_hotKeyMessages, (std::vector<int32_t>{1524, 1525}));
  QLineEdit box(window.get());
  box.show();
  box.setFocus();
  QTest::keyClick(&box, Qt::Key_Minus, Qt::NoModifier);
  EXPECT_EQ(box.text(), "-");
  EXPECT_EQ(g_hotKeyMessages.size(), 2u);
}

TEST_F(TerminalGui, OptionsAreFoundAndAddedThroughTheScripSearch) {
  QTableWidget* watch = window->MarketWatchTable();
  const auto isNiftyOption = [&](int row, const char* type) {
    const auto scrip = window->Core().Scrips().Find(Cell(watch, row, 0), Cell(watch, row, 2));
    return scrip && std::string(scrip->texts[KOVO_SCRIP_INSTRUMENT]) == "OPTIDX" &&
           std::string(scrip->texts[KOVO_SCRIP_SYMBOL]) == "NIFTY" &&
           std::string(scrip->texts[KOVO_SCRIP_OPTION_TYPE]) == type;
  };
  int defaults = 0;
  for (int row = 0; row < watch->rowCount(); ++row) defaults += isNiftyOption(row, "CE");
  EXPECT_EQ(defaults, 1) << "the market watch starts with one NIFTY call";

  // Typing offers matching options, each line naming its scrip's key.
  QLineEdit* search = window->ScripSearch();
  ASSERT_NE(search, nullptr);
  search->setFocus();
  QTest::keyClicks(search, "nifty pe");
  const QAbstractItemModel* offered = search->completer()->model();
  ASSERT_GT(offered->rowCount(), 1);
  const QString line = offered->index(1, 0).data().toString();
  EXPECT_TRUE(line.contains("PE")) << line.toStdString();
  const qsizetype open = line.lastIndexOf('[');
  ASSERT_GE(open, 0) << line.toStdString();
  const std::string key = line.mid(open + 1, line.size() - open - 2).toStdString();
  EXPECT_EQ(window->MarketWatchRowOf(key), -1);

  // Picking the line adds the put and selects it; the plug-in gets its fields.
  const int before = watch->rowCount();
  emit search->completer()->activated(line);
  ASSERT_GE(window->MarketWatchRowOf(key), 0);
  EXPECT_EQ(watch->rowCount(), before + 1);
  EXPECT_TRUE(isNiftyOption(window->MarketWatchRowOf(key), "PE"));
  const std::vector<std::string> fields = window->SelectedScripFields();
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0] + "|" + fields[3], key);
  // The open interest command is the terminal's own item and takes the selected option.
  ASSERT_NE(window->OpenInterestAction(), nullptr);
  window->OpenInterestAction()->trigger();
  EXPECT_EQ(Calls().back(), "PluginProcessHotKey\tOpen Interest Bar\t0\t" + fields[0] + "\t" +
                                fields[1] + "\t" + fields[2] + "\t" + fields[3]);
  window->PluginAction("Market Monitor")->trigger();
  EXPECT_EQ(Calls().back(), "PluginProcessHotKey\tMarket Monitor\t0\t" + fields[0] + "\t" +
                                fields[1] + "\t" + fields[2] + "\t" + fields[3]);

  // Enter takes the best match: the exact trading symbol, found again where it is.
  EXPECT_TRUE(window->AddScripFromSearch(fields[1]));
  EXPECT_EQ(watch->rowCount(), before + 1) << "a scrip is watched once";
  EXPECT_FALSE(window->AddScripFromSearch("NOSUCHSCRIP"));
  EXPECT_EQ(watch->rowCount(), before + 1);
}

TEST_F(TerminalGui, OrderBookFollowsOrderUpdates) {
  QTableWidget* watch = window->MarketWatchTable();
  ASSERT_TRUE(WaitFor([&] { return !Cell(watch, 0, 4).empty(); })) << "a last price";
  const std::string segment = Cell(watch, 0, 0), token = Cell(watch, 0, 2);
  const auto scrip = window->Core().Scrips().Find(segment, token);
  ASSERT_TRUE(scrip.has_value());

  sOrderEntryInfo order{};
  std::snprintf(order.scripKey, sizeof order.scripKey, "%s|%s", segment.c_str(), token.c_str());
  std::snprintf(order.strategy, sizeof order.strategy, "%s", "GuiTest");
  std::snprintf(order.productType, sizeof order.productType, "%s", "MIS");
  // Twice the last price, on the tick grid: fills at once.
  const long units = std::lround(std::stod(Cell(watch, 0, 4)) * scrip->priceMultiplier * 2);
  order.price = static_cast<int32_t>(units / 5 * 5);
  order.quantity = 2;
  order.orderType = 1;
  order.validity = 1;
  char error[128] = "";
  ASSERT_EQ(pu_zint_place_order2(&order, "77", KOVO_TXN_BUY, nullptr, nullptr, nullptr, error,
                                 sizeof error),
            1)
      << error;
  order.quantity = 0;  // refused by the exchange, through an update too
  ASSERT_EQ(pu_zint_place_order2(&order, "78", KOVO_TXN_BUY, nullptr, nullptr, nullptr, error,
                                 sizeof error),
            1)
      << error;

  QTableWidget* book = window->OrderBookTable();
  auto rowOfTag = [&](const std::string& tag) {
    for (int r = 0; r < book->rowCount(); ++r)
      if (Cell(book, r, 2) == tag) return r;
    return -1;
  };
  ASSERT_TRUE(WaitFor([&] {
    return rowOfTag("77") >= 0 && Cell(book, rowOfTag("77"), 5) == "complete" &&
           rowOfTag("78") >= 0;
  }));
  EXPECT_EQ(book->rowCount(), 2) << "one row per order, updated in place";
  const int filled = rowOfTag("77"), refused = rowOfTag("78");
  EXPECT_FALSE(Cell(book, filled, 0).empty());
  EXPECT_NE(Cell(book, filled, 0), Cell(book, refused, 0));
  EXPECT_EQ(Cell(book, filled, 1), "GuiTest");
  EXPECT_EQ(Cell(book, filled, 3), segment);
  EXPECT_EQ(Cell(book, filled, 4), token);
  EXPECT_EQ(Cell(book, filled, 7), "2");
  const double average = std::stod(Cell(book, filled, 8));
  EXPECT_GT(average, 0.0);
  EXPECT_LE(average, order.price / scrip->priceMultiplier) << "shown in rupees, not price units";
  EXPECT_EQ(Cell(book, refused, 5), "rejected");
  EXPECT_FALSE(Cell(book, refused, 9).empty()) << "with the reason";
}

}  // namespace
}  // namespace kovo::test
