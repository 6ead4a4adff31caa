#include "platform/headless_ui_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kovo {
namespace {

using std::chrono::milliseconds;

TEST(HeadlessUiThread, PostedTasksRunInOrderOnlyWhenPumped) {
  HeadlessUiThread ui;
  std::vector<int> ran;
  for (int i = 0; i < 5; ++i) ui.Post([&ran, i] { ran.push_back(i); });
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(ui.Pump(2), 2u);
  EXPECT_EQ(ran, (std::vector<int>{0, 1}));
  // A task posting another: the new one queues behind what was already there.
  ui.Post([&] { ui.Post([&] { ran.push_back(99); }); });
  ui.Post([&] { ran.push_back(5); });
  EXPECT_EQ(ui.Pump(100), 6u);
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4, 5, 99}));
  // A throwing posted task does not stop the ones after it.
  ui.Post([] { throw std::runtime_error("boom"); });
  ui.Post([&] { ran.push_back(7); });
  EXPECT_EQ(ui.Pump(10), 2u);
  EXPECT_EQ(ran.back(), 7);
}

TEST(HeadlessUiThread, SendBlocksOtherThreadsUntilTheUiThreadRunsIt) {
  HeadlessUiThread ui;
  EXPECT_TRUE(ui.IsUiThread());
  int inline_value = 0;
  EXPECT_TRUE(ui.Send([&] { inline_value = 1; })) << "inline on the UI thread";
  EXPECT_EQ(inline_value, 1);

  std::atomic<int> done{0};
  std::atomic<bool> ranOnUi{false};
  std::vector<std::thread> senders;
  for (int i = 0; i < 4; ++i) {
    senders.emplace_back([&] {
      const bool ok = ui.Send([&] { ranOnUi = ui.IsUiThread(); });
      if (ok) ++done;
    });
  }
  // Pump until every sender got through; Send cannot return before its task ran.
  while (done.load() < 4) {
    ui.Pump(1);
    std::this_thread::yield();
  }
  for (auto& t : senders) t.join();
  EXPECT_TRUE(ranOnUi);

  // A failure inside a sent task reaches the sender.
  std::thread thrower([&] {
    EXPECT_THROW(ui.Send([] { throw std::runtime_error("bad"); }), std::runtime_error);
    ++done;
  });
  while (done.load() < 5) ui.Pump(1);
  thrower.join();
}

TEST(HeadlessUiThread, CloseReleasesWaitingSendersWithoutRunningTheirTasks) {
  HeadlessUiThread ui;
  std::atomic<bool> result{true};
  std::atomic<bool> ran{false};
  std::thread sender([&] { result = ui.Send([&] { ran = true; }); });
  while (ui.PendingTasks() == 0) std::this_thread::yield();
  ui.Close();
  sender.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(ui.Post([] {}));
  EXPECT_EQ(ui.Pump(10), 0u);
}

TEST(HeadlessUiThread, WaitForTasksWakesWhenAnotherThreadPosts) {
  HeadlessUiThread ui;
  EXPECT_FALSE(ui.WaitForTasks(milliseconds(1))) << "nothing queued";
  std::atomic<bool> ran{false};
  std::thread poster([&] { ui.Post([&] { ran = true; }); });
  // Generous bound: only a lost wake-up could make it run out.
  EXPECT_TRUE(ui.WaitForTasks(milliseconds(10000)));
  poster.join();
  EXPECT_EQ(ui.Pump(10), 1u);
  EXPECT_TRUE(ran);
  ui.Close();
  EXPECT_FALSE(ui.WaitForTasks(milliseconds(10000))) << "a closed thread does not block";
}

TEST(HeadlessUiThread, TimersRepeatOnTheVirtualClockUntilStopped) {
  HeadlessUiThread ui;
  std::vector<std::string> fired;
  const auto fast = ui.StartTimer(
      milliseconds(100), [&] { fired.push_back("fast@" + std::to_string(ui.Now().count())); });
  UiThread::TimerId slow = 0;
  slow = ui.StartTimer(milliseconds(250), [&] {
    fired.push_back("slow@" + std::to_string(ui.Now().count()));
    ui.StopTimer(slow);  // a one-shot: stops itself
  });
  EXPECT_EQ(ui.AdvanceClock(milliseconds(99)), 0u);
  EXPECT_EQ(ui.AdvanceClock(milliseconds(1)), 1u);
  EXPECT_EQ(ui.AdvanceClock(milliseconds(400)), 5u);
  EXPECT_EQ(fired, (std::vector<std::string>{"fast@100", "fast@200", "slow@250", "fast@300",
                                             "fast@400", "fast@500"}));
  EXPECT_FALSE(ui.IsTimerActive(slow));
  EXPECT_TRUE(ui.IsTimerActive(fast));
  ui.StopTimer(fast);
  EXPECT_EQ(ui.AdvanceClock(milliseconds(1000)), 0u);
  EXPECT_EQ(ui.Now(), milliseconds(1500));
  EXPECT_EQ(ui.ActiveTimers(), 0u);

  // A timer started from a callback counts from the time it was started.
  std::vector<int64_t> chained;
  ui.StartTimer(milliseconds(10), [&] {
    chained.push_back(ui.Now().count());
    if (chained.size() == 1)
      ui.StartTimer(milliseconds(5), [&] { chained.push_back(-ui.Now().count()); });
  });
  ui.AdvanceClock(milliseconds(20));
  EXPECT_EQ(chained, (std::vector<int64_t>{1510, -1515, 1520, -1520}));
}

}  // namespace
}  // namespace kovo
