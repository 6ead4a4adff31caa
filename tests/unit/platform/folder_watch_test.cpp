#include "platform/folder_watch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "fakes/temp_dir.h"

namespace kovo {
namespace {

using Result = CFolderWatch::Result;
using Names = std::set<std::string>;
constexpr std::chrono::milliseconds kNow{0};

// The system queues a change before the call that made it returns, so a
// wait of no time sees everything done so far.
class FolderWatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(watch.Open(dir.Path())); }

  Result Next() { return watch.Wait(kNow, &seen); }
  int OpenFile(const char* name, int flags) {
    return open((dir / name).c_str(), flags | O_CLOEXEC, 0644);
  }
  static void Put(int fd, const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  test::TempDir dir;
  CFolderWatch watch;
  sFolderChanges seen;
};

TEST_F(FolderWatchTest, SizeChangesAndWritersClosingComeAttributesAndReadsDoNot) {
  test::TempDir::WriteFile(dir / "a.csv", "x\n");
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_EQ(seen.resized, Names{"a.csv"});
  EXPECT_EQ(seen.closed, Names{"a.csv"});
  EXPECT_FALSE(seen.anything);

  // A reader, a permission change and a time stamp change no size.
  EXPECT_EQ(test::TempDir::ReadFile(dir / "a.csv"), "x\n");
  ASSERT_EQ(chmod((dir / "a.csv").c_str(), 0600), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "a.csv").c_str(), nullptr, 0), 0);
  EXPECT_EQ(Next(), Result::kTimeout);
  EXPECT_TRUE(seen.Empty());

  // A write, and the writer's close apart from it: the close is no size change.
  const int fd = OpenFile("a.csv", O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  Put(fd, "y\n");
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_EQ(seen.resized, Names{"a.csv"});
  EXPECT_TRUE(seen.closed.empty());
  close(fd);
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_TRUE(seen.resized.empty());
  EXPECT_EQ(seen.closed, Names{"a.csv"});

  // A write after a close in one batch: the file is being written again.
  const int again = OpenFile("a.csv", O_WRONLY | O_APPEND);
  ASSERT_GE(again, 0);
  close(OpenFile("b.csv", O_WRONLY | O_CREAT));
  Put(again, "z\n");
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_EQ(seen.resized, (Names{"a.csv", "b.csv"}));
  EXPECT_EQ(seen.closed, Names{"b.csv"});
  close(again);
  ASSERT_EQ(Next(), Result::kChanged);

  // Truncation is a size change; so are names going and coming.
  close(OpenFile("a.csv", O_WRONLY | O_TRUNC));
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_EQ(seen.resized, Names{"a.csv"});
  std::filesystem::rename(dir / "b.csv", dir / "a.csv");
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_EQ(seen.resized, (Names{"a.csv", "b.csv"}));
  EXPECT_EQ(seen.closed, Names{"a.csv"}) << "a file renamed into place is finished";
  std::filesystem::remove(dir / "a.csv");
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_EQ(seen.resized, Names{"a.csv"});
  EXPECT_EQ(Next(), Result::kTimeout);
}

TEST_F(FolderWatchTest, WakeEndsAWaitAndAFullQueueMeansAnything) {
  watch.Wake();
  EXPECT_EQ(watch.Wait(std::chrono::hours(1)), Result::kWoken);
  EXPECT_EQ(Next(), Result::kTimeout);

  // Alternating writes are not merged, so the system's queue overflows.
  int limit = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
  const int a = OpenFile("a.csv", O_WRONLY | O_CREAT | O_APPEND);
  const int b = OpenFile("b.csv", O_WRONLY | O_CREAT | O_APPEND);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  for (int i = 0; i <= limit / 2 + 1; ++i) {
    Put(a, "a");
    Put(b, "b");
  }
  close(a);
  close(b);
  ASSERT_EQ(Next(), Result::kChanged);
  EXPECT_TRUE(seen.anything);
  EXPECT_TRUE(seen.Resized("c.csv")) << "after lost events any file may have changed";
}

TEST_F(FolderWatchTest, ARemovedFolderIsWatchedAgainOnceItIsBack) {
  const auto sub = dir / "signals";
  std::filesystem::create_directories(sub);
  CFolderWatch inner;
  ASSERT_TRUE(inner.Open(sub));
  std::filesystem::remove_all(sub);
  sFolderChanges changes;
  ASSERT_EQ(inner.Wait(kNow, &changes), Result::kChanged);
  EXPECT_TRUE(changes.anything);
  EXPECT_EQ(inner.Wait(kNow, &changes), Result::kTimeout) << "a missing folder is no failure";

  std::filesystem::create_directories(sub);
  ASSERT_EQ(inner.Wait(kNow, &changes), Result::kChanged);
  EXPECT_TRUE(changes.anything);
  test::TempDir::WriteFile(sub / "a.csv", "x\n");
  ASSERT_EQ(inner.Wait(kNow, &changes), Result::kChanged);
  EXPECT_EQ(changes.resized, Names{"a.csv"});
  EXPECT_FALSE(changes.anything);
}

TEST_F(FolderWatchTest, IdleOnlyWhenEveryChangeMadeHasBeenTaken) {
  EXPECT_FALSE(watch.Idle()) << "nobody waits";
  std::mutex mutex;
  Names taken;
  std::thread waiter([&] {
    for (;;) {
      sFolderChanges changes;
      const Result result = watch.Wait(std::chrono::seconds(30), &changes);
      if (result != Result::kChanged) return;
      std::lock_guard lock(mutex);
      taken.insert(changes.resized.begin(), changes.resized.end());
    }
  });
  const auto idle = [&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!watch.Idle()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  };
  for (int i = 0; i < 200; ++i) {
    const std::string name = "f" + std::to_string(i);
    test::TempDir::WriteFile(dir / name, "x");
    ASSERT_TRUE(idle());
    std::lock_guard lock(mutex);
    ASSERT_EQ(taken.count(name), 1u) << "idle before the waiter took " << name;
  }
  watch.Wake();
  waiter.join();
}

}  // namespace
}  // namespace kovo
