// The Qt implementations of the platform ports.
#include <gtest/gtest.h>

#include <QApplication>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "gui/qt_dialogs.h"
#include "gui/qt_ui_thread.h"

namespace kovo::test {
namespace {

using gui::QtUiThread;

class QtPorts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qt_ports_test";
    static char* argv[] = {name, nullptr};
    // ctest sets this; a bare run of the binary must not wait for a display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
};

TEST_F(QtPorts, TasksFromOtherThreadsRunOnTheGuiThreadInOrderAndPumpCountsThem) {
  QtUiThread ui;
  EXPECT_TRUE(ui.IsUiThread());
  std::vector<int> seen;
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    EXPECT_FALSE(ui.IsUiThread());
    for (int i = 0; i < 5; ++i)
      ui.Post([&seen, &ui, i] { seen.push_back(ui.IsUiThread() ? i : -1); });
    // Send waits for the task, which the GUI thread's pump runs after the posts.
    sent = ui.Send([&seen] { seen.push_back(99); });
  });
  while (seen.size() < 6) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 99}));

  // Pump runs exactly as many as it may, the rest later.
  int ran = 0;
  for (int i = 0; i < 5; ++i) ui.Post([&ran] { ++ran; });
  EXPECT_EQ(ui.Pump(2), 2u);
  EXPECT_EQ(ran, 2);
  EXPECT_EQ(ui.Pump(100), 3u);
  EXPECT_EQ(ran, 5);

  // Send on the GUI thread runs inline.
  bool inline_ = false;
  EXPECT_TRUE(ui.Send([&] { inline_ = true; }));
  EXPECT_TRUE(inline_);
}

TEST_F(QtPorts, ClosedThreadRefusesWorkAndReleasesWaitingSenders) {
  QtUiThread ui;
  std::atomic<int> sendResult{-1};
  std::atomic<bool> ran{false};
  std::thread worker([&] { sendResult = ui.Send([&] { ran = true; }) ? 1 : 0; });
  while (ui.PendingTasks() == 0) std::this_thread::yield();
  ui.Close();  // drops the queued task: its sender must not wait forever
  worker.join();
  EXPECT_EQ(sendResult, 0);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(ui.Post([] {}));
  EXPECT_FALSE(ui.Send([] {}));
  EXPECT_EQ(ui.StartTimer(std::chrono::milliseconds(5), [] {}), 0u);
}

TEST_F(QtPorts, TimersRepeatUntilStoppedEvenFromTheirOwnCallback) {
  QtUiThread ui;
  int fired = 0;
  QtUiThread::TimerId id = 0;
  id = ui.StartTimer(std::chrono::milliseconds(1), [&] {
    if (++fired == 3) ui.StopTimer(id);
  });
  ASSERT_NE(id, 0u);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ui.ActiveTimers() > 0 && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(fired, 3);
  // Stopped timers stay stopped.
  QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(fired, 3);
}

TEST(QtDialogsText, FiltersAndUnattendedAnswers) {
  EXPECT_EQ(gui::QtFileFilter("CSV files|*.csv|All files|*.*"),
            "CSV files (*.csv);;All files (*.*)");
  EXPECT_EQ(gui::QtFileFilter("Text|*.txt;*.log|Dangling"), "Text (*.txt *.log)");
  EXPECT_EQ(gui::QtFileFilter(""), "");
  EXPECT_EQ(gui::QtDialogs::DefaultAnswer(kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_EQ(gui::QtDialogs::DefaultAnswer(kMbYesNoCancel), kIdYes);
  EXPECT_EQ(gui::QtDialogs::DefaultAnswer(kMbOkCancel | kMbIconWarning), kIdOk);
}

TEST_F(QtPorts, OffscreenDialogsAnswerWithoutBlocking) {
  ASSERT_TRUE(gui::DialogsCannotBeShown()) << "the tests run offscreen";
  gui::QtDialogs dialogs;
  // A user text with format directives is printed as it is.
  EXPECT_EQ(dialogs.MessageBox("50%s %n done", "Caption", kMbYesNo), kIdYes);
  uint32_t color = 0x123456;
  EXPECT_FALSE(dialogs.ChooseColor(color));
  EXPECT_EQ(color, 0x123456u) << "a cancelled pick leaves the value";
  std::string path = "/tmp/x";
  EXPECT_FALSE(dialogs.ChooseOpenFile("Open", "All|*.*", path));
  EXPECT_EQ(path, "/tmp/x");

  // A scripted run names its picks.
  qputenv("KOVO_CHOOSE_COLOR", "203040");
  qputenv("KOVO_SAVE_FILE", "/tmp/saved.kcdx");
  EXPECT_TRUE(dialogs.ChooseColor(color));
  EXPECT_EQ(color, 0x403020u) << "answered in blue-green-red";
  EXPECT_TRUE(dialogs.ChooseSaveFile("Save", "All|*.*", path));
  EXPECT_EQ(path, "/tmp/saved.kcdx");
  qputenv("KOVO_CHOOSE_COLOR", "nonsense");
  color = 0x123456;
  EXPECT_FALSE(dialogs.ChooseColor(color));
  EXPECT_EQ(color, 0x123456u);
  qunsetenv("KOVO_CHOOSE_COLOR");
  qunsetenv("KOVO_SAVE_FILE");
}

}  // namespace
}  // namespace kovo::test
