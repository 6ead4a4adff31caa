#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <QDockWidget>
#include <QElapsedTimer>
#include <QObject>

#include "host/app/terminal_window.h"

namespace kovo::terminal {

// A scripted tour of the terminal for machines without a screen: waits for
// the session, places an order, uses the plug-in's menu and saves
// screenshots into a folder. Driven by timers; the event loop keeps running.
class CTerminalDemo final : public QObject {
 public:
  // The exit code with which the first run asks main for a second window.
  static constexpr int kRestartCode = 100;

  CTerminalDemo(CTerminalWindow& window, std::filesystem::path dir);
  void Start();
  // The second run: the terminal again, with the layout the first one left.
  void StartAfterRestart();

 private:
  // Calls step every interval until it returns true, or fails after timeoutMs.
  void Poll(const char* what, int timeoutMs, std::function<bool()> step,
            std::function<void()> next);
  void After(int ms, std::function<void()> next);
  void Save(QWidget& widget, const std::string& file);
  // Saves the plug-in's first pop-up once it is fully out; only notes its absence.
  void WatchForPopup();
  void PlaceOrder();
  void UsePluginMenu();
  // Docks the scripts pane, starts a signal watcher on a file it then
  // appends to, and opens the first script's orders window.
  void ShowScripts();
  // Opens an intraday and then a historical chart of the first row and
  // saves each once its pane shows bars.
  void ShowCharts();
  // Chooses 5 minutes in the intraday chart's own interval strip.
  void FiveMinuteChart(std::function<void()> next);
  void MarketMonitor(std::function<void()> next);
  // F1 on a monitor row opens the terminal's order entry; saved, then placed.
  void MonitorOrderEntry(QDockWidget* dock, std::function<void()> next);
  void ShowOrderEntry(std::function<QWidget*()> entry, std::function<void()> next);
  // The calls pane with the day's calls, then a story opened from the news window.
  void CallsAndStory(std::function<void()> next);
  // The example option strategy library's line for a live option call, in the log.
  void OptionCallLog(std::function<void()> next);
  // A NIFTY option selected in the market watch and its open interest chart,
  // saved once every strike's bars are drawn.
  void OpenInterestChart(std::function<void()> next);
  // Indicators through the list, the settings dialog, a template saved and
  // loaded, and the data table, on the intraday chart.
  void ChartTour(std::function<void()> next);
  void ChartTemplates(QWidget* pane, std::function<void()> next);
  // Runs `trigger`, which opens a modal dialog; `answer` gets the dialog.
  void AnswerModal(const std::function<void()>& trigger, std::function<void(QWidget&)> answer);
  // Runs `trigger`, which opens a pop-up menu, and picks the item with that text.
  void PickFromPopup(const std::function<void()>& trigger, const QString& text);
  void ShowChart(const char* item, bool historical, const std::string& file,
                 std::function<void()> next);
  // The chart pane of that kind that has bars; nullptr when there is none yet.
  QWidget* ChartPane(bool historical) const;
  // Fills the market movers pane with each category in turn, adds a row to
  // the market watch, floats the pane and asks for the restart.
  void ShowMovers();
  void MoversCategory(size_t index);
  void AddMoverToMarketWatch(std::function<void()> next);
  void FloatMoversAndRestart();
  // The window and the floating panes as they lie on the screen, in one picture.
  void SaveScreen(const std::string& file);
  bool Logged(const std::string& text) const;
  void Finish(int code);

  CTerminalWindow& m_window;
  std::filesystem::path m_dir;
  int m_saved = 0;
  bool m_popupSaved = false;
  bool m_popupGaveUp = false;
};

}  // namespace kovo::terminal
