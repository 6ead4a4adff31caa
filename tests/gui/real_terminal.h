#pragma once

// The real plug-in in the reference terminal, offscreen, against the embedded
// back end, with the host folder and the per-user data in a folder of the test's.
#include <gtest/gtest.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "fakes/temp_dir.h"
#include "host/app/terminal_window.h"

namespace kovo::test {

// Processes Qt events until pred holds; false after `seconds` without it.
inline bool WaitFor(const std::function<bool()>& pred, int seconds = 15) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

class RealTerminalTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "real_terminal_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  void SetUp() override {
    ::setenv("KOVOZINT_HOST_FOLDER", dir.Path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    std::filesystem::create_directories(dir / "kovo plugins");
  }
  // Starts the terminal with the plug-in at pluginPath, the back end stepping
  // every 50 ms and message boxes answered; adjust changes the options first.
  // Returns once the session is ready and the market watch has its rows.
  void StartTerminalWith(const char* pluginPath,
                         const std::function<void(terminal::TerminalOptions&)>& adjust = {}) {
    terminal::TerminalOptions options;
    options.pluginPath = pluginPath;
    options.backendStepMilliseconds = 50;
    options.autoAnswer = true;
    if (adjust) adjust(options);
    window = std::make_unique<terminal::CTerminalWindow>(options);
    window->show();
    window->Start();
    ASSERT_TRUE(WaitFor(
        [&] { return window->SessionReady() && window->MarketWatchTable()->rowCount() > 0; }));
  }
  void TearDown() override {
    window.reset();
    ::unsetenv("KOVOZINT_HOST_FOLDER");
    ::unsetenv("XDG_DATA_HOME");
  }

  TempDir dir;
  std::unique_ptr<terminal::CTerminalWindow> window;
};

}  // namespace kovo::test
