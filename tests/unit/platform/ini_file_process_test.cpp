// Writers in several processes at once, and writers that die mid-write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/ini_file.h"

namespace kovo::ini {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Runs body in a child process that exits 0 when body returns true.
pid_t Spawn(const std::function<bool()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
    }
    ::_exit(ok ? 0 : 1);
  }
  return pid;
}

std::vector<std::string> OtherFiles(const fs::path& folder, const fs::path& keep) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path() != keep) names.push_back(entry.path().filename().string());
  }
  return names;
}

std::size_t CountKeys(const std::string& content) {
  return static_cast<std::size_t>(std::count(content.begin(), content.end(), '='));
}

TEST(IniProcessTest, TwoProcessesWritingAtOnceLoseNothingAndReadersSeeWholeFiles) {
  TempDir dir;
  const fs::path file = dir / "shared.ini";
  const std::string tail = "[end]\r\nlast=yes\r\n";
  TempDir::WriteFile(file, "[a]\r\n[b]\r\n" + tail);
  constexpr int kKeys = 200;

  // Both writers wait at a gate so that they really start together.
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> writers;
  for (const char* section : {"a", "b"}) {
    writers.push_back(Spawn([&, section] {
      ::close(gate[1]);
      char byte;
      (void)::read(gate[0], &byte, 1);
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = "k" + std::to_string(k);
        if (!WriteValue(file, section, key, std::string(section) + key)) return false;
      }
      return true;
    }));
  }
  ::close(gate[0]);
  ::close(gate[1]);

  // Read while they write: every version is whole, and each holds at least
  // the keys of the one before.
  int torn = 0;
  int shrunk = 0;
  std::size_t keysBefore = 0;
  std::vector<int> statuses;
  std::size_t running = writers.size();
  while (running > 0) {
    const std::string content = TempDir::ReadFile(file);
    if (content.size() < tail.size() ||
        content.compare(content.size() - tail.size(), tail.size(), tail) != 0) {
      ++torn;
    }
    const std::size_t keys = CountKeys(content);
    if (keys < keysBefore) ++shrunk;
    keysBefore = keys;
    for (pid_t& pid : writers) {
      int status = 0;
      if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
        statuses.push_back(status);
        pid = 0;
        --running;
      }
    }
  }
  for (const int status : statuses) {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
  }
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(shrunk, 0) << "a version lost keys an earlier one had";
  int lost = 0;
  for (const char* section : {"a", "b"}) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = "k" + std::to_string(k);
      if (ReadValue(file, section, key) != std::string(section) + key) ++lost;
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(CountKeys(TempDir::ReadFile(file)), 2u * kKeys + 1);
  EXPECT_EQ(OtherFiles(dir.Path(), file), std::vector<std::string>{}) << "no temp file left";
}

TEST(IniProcessTest, WritersKilledMidWriteLeaveOneTempAtMostAndAWholeFile) {
  TempDir dir;
  const fs::path file = dir / "killed.ini";
  TempDir::WriteFile(file, "[s]\r\nkeep=1\r\n");
  constexpr std::size_t kBig = 1u << 20;

  for (int round = 0; round < 12; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const bool sizeLimited = round % 2 == 0;
    const pid_t child = Spawn([&] {
      ::close(ready[0]);
      if (sizeLimited) {
        // The kernel ends the writer inside its write once the temp copy
        // passes this size: a death at a known point.
        const struct rlimit noCore {};
        ::setrlimit(RLIMIT_CORE, &noCore);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = kBig / 2;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_DFL);
        WriteValue(file, "s", "big", std::string(kBig, 'x'));
        return false;
      }
      // Killed from outside at some point of an endless run of writes.
      for (int i = 0;; ++i) {
        if (!WriteValue(file, "s", "big", std::string(kBig, static_cast<char>('a' + i % 2)))) {
          return false;
        }
        if (i == 0) (void)::write(ready[1], "r", 1);
      }
    });
    ::close(ready[1]);
    if (!sizeLimited) {
      char byte = 0;
      ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "round " << round;
      ::kill(child, SIGKILL);
    }
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << "round " << round;
  }

  EXPECT_LE(OtherFiles(dir.Path(), file).size(), 1u) << "temp copies pile up";
  EXPECT_EQ(ReadValue(file, "s", "keep"), "1");
  const std::string big = ReadValue(file, "s", "big").value_or("");
  EXPECT_EQ(big.size(), kBig);
  EXPECT_TRUE(big == std::string(kBig, 'a') || big == std::string(kBig, 'b'));
  // The next write takes over whatever a dead writer left.
  ASSERT_TRUE(WriteValue(file, "s", "after", "yes"));
  EXPECT_EQ(ReadValue(file, "s", "after"), "yes");
  EXPECT_EQ(OtherFiles(dir.Path(), file), std::vector<std::string>{});
}

}  // namespace
}  // namespace kovo::ini
