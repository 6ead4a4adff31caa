#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fakes/comma_locale.h"
#include "orders/signal_watcher.h"
#include "unit/orders/orders_fixture.h"

namespace kovo {
namespace {

const char* const kNoAlgo = "pu_zint_place_order2_algo";

class SignalWatcherTest : public OrdersFixture {
 protected:
  void StartOn(const std::string& version, const std::string& initial) {
    host::HostConfig config;
    config.version = version;
    Load(config, {kNoAlgo});
    std::filesystem::create_directories(dir / "signals");
    file = dir / "signals" / "orders.csv";
    Write(initial);
    recordedDialogs->AnswerFile(file.string());
    watcher = StartSignalWatcher(*cb);
    ASSERT_NE(watcher, nullptr);
    ASSERT_TRUE(WaitFor([&] { return watcher->Watching(); }));
    std::lock_guard lock(api->Manager().Mutex());
    name = watcher->Script()->name;
  }

  void Write(const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
  }
  void Append(const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << text;
  }
  int64_t FileSize() const { return static_cast<int64_t>(std::filesystem::file_size(file)); }
  // Waits until the watcher has handled every change made so far.
  bool Settled() {
    return WaitFor([&] { return watcher->Idle(); });
  }
  size_t Count(const std::string& function) const {
    const auto calls = orderHost.Calls();
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(),
                      [&](const HostOrderCall& c) { return c.function == function; }));
  }
  size_t MessagesWith(const std::string& text) const {
    const auto all = Messages();
    return static_cast<size_t>(std::count(all.begin(), all.end(), text));
  }
  std::string Failed(const std::string& line) const {
    return name + " Error while processing Line " + line;
  }

  std::filesystem::path file;
  CSignalWatcherThread* watcher = nullptr;
  std::string name;
};

constexpr const char* kBuy = "BUY,R1,NSE,RELIANCE-EQ,DAY,LIMIT,10,2500.5,0,0,MIS,PRO\n";

TEST_F(SignalWatcherTest, StartNeedsALoginAndTheFileAndNamesTheScript) {
  Load();
  const std::string user = cb->session.loggedInUserId;
  cb->session.loggedInUserId.clear();
  plugin->ProcessHotKey("Add SignalWatcher", 0, {});
  ASSERT_FALSE(hostUi.Boxes().empty());
  EXPECT_EQ(hostUi.Boxes().back().text, "User has not logged in zint system");
  EXPECT_EQ(cb->watcherCount.load(), 0);
  cb->session.loggedInUserId = user;

  // A cancelled file dialog ends the watcher without a script.
  plugin->ProcessHotKey("Add SignalWatcher", 0, {});
  ASSERT_TRUE(WaitFor([&] { return cb->watcherCount.load() == 0; }));
  const auto calls = recordedDialogs->Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, test::RecordingDialogs::Kind::kOpenFile);
  EXPECT_EQ(calls[0].caption, CSignalWatcherThread::kFilter);
  EXPECT_TRUE(api->ScriptsView().Rows().empty());
  EXPECT_NE(UpdatesControl(), nullptr) << "the order updates' control exists before any script";

  std::filesystem::create_directories(dir / "s");
  const auto path = dir / "s" / "feed.csv";
  std::ofstream(path) << "";
  recordedDialogs->AnswerFile(path.string());
  plugin->ProcessHotKey("Add SignalWatcher", 0, {});
  ASSERT_EQ(api->Watchers().All().size(), 1u) << "the ended watcher was dropped";
  CSignalWatcherThread* started = api->Watchers().All().back();
  ASSERT_TRUE(WaitFor([&] { return started->Watching(); }));
  ASSERT_EQ(api->ScriptsView().Rows().size(), 1u);
  EXPECT_EQ(cb->watcherCount.load(), 1);
  std::string scriptName;
  {
    std::lock_guard lock(api->Manager().Mutex());
    scriptName = api->ScriptsView().Rows().front()->name;
  }
  // "SignalWatcher_feed.csv_HH_MM_SS"
  const std::string prefix = "SignalWatcher_feed.csv_";
  ASSERT_EQ(scriptName.size(), prefix.size() + 8);
  EXPECT_EQ(scriptName.substr(0, prefix.size()), prefix);
  EXPECT_EQ(scriptName[prefix.size() + 2], '_');

  // Shutdown stops it well within the wait period, and its script goes with it.
  cb->stoppingCount.fetch_add(1);
  WakeSignalWatchers(*cb);
  ASSERT_TRUE(WaitFor([&] { return cb->watcherCount.load() == 0; }));
  EXPECT_TRUE(api->ScriptsView().Rows().empty());
}

TEST_F(SignalWatcherTest, ExistingLinesAreNeverActedOnAndAppendedOnesAreOnAnOlderHost) {
  StartOn("3.10.57.97", std::string(kBuy) + "SELL,R0,NSE,RELIANCE-EQ,DAY,LIMIT,1,1,0,0,MIS,PRO\n");
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(orderHost.Calls().empty());

  Append("BUY,R2,NSE,RELIANCE-EQ,DAY,LIMIT,3,2501.25,0,0,MIS,PRO\n");
  ASSERT_TRUE(WaitFor([&] { return Count("place2") == 1; }));
  HostOrderCall call = orderHost.Calls()[0];
  EXPECT_EQ(call.transactionType, KOVO_TXN_BUY);
  EXPECT_EQ(call.entry.quantity, 3);
  EXPECT_EQ(call.entry.price, 250125);
  EXPECT_EQ(call.texts, (std::vector<std::string>{"<null>", "<null>", "<null>"}));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), FileSize());

  // MODIFY and CANCEL of twelve fields go to the plain functions.
  ASSERT_EQ(Orders(watcher->Script()).size(), 1u);
  Update(name, "5000001", Orders(watcher->Script())[0]->tag, "open");
  Append("MODIFY,R2,x,x,DAY,LIMIT,4,2502,0,0,x,x\nCANCEL,R2,x,x,x,x,x,x,x,x,x,x\n");
  ASSERT_TRUE(WaitFor([&] { return Count("cancel") == 1; }));
  call = orderHost.Calls()[1];
  EXPECT_EQ(call.function, "modify");
  EXPECT_EQ(call.orderNumber, "5000001");
  EXPECT_EQ(call.quantity, 4);
  EXPECT_EQ(call.price, 250200);
  EXPECT_EQ(call.texts, std::vector<std::string>{"<null>"});
  EXPECT_EQ(orderHost.Calls()[2].texts, std::vector<std::string>{"<null>"});
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(Errors().empty());
}

// A host in a decimal-comma locale: the file's prices still read with their dot.
TEST_F(SignalWatcherTest, PricesKeepTheirDotInADecimalCommaLocale) {
  test::CommaDecimalLocale comma;
  ASSERT_EQ(comma.Failure(), "");
  StartOn("3.10.57.97", kBuy);
  ASSERT_TRUE(Settled());
  Append("BUY,R2,NSE,RELIANCE-EQ,DAY,SL,3,2501.25,2499.5,0,MIS,PRO\n");
  ASSERT_TRUE(WaitFor([&] { return Count("place2") == 1; }));
  EXPECT_EQ(orderHost.Calls()[0].entry.price, 250125);
  EXPECT_EQ(orderHost.Calls()[0].entry.triggerPrice, 249950);
  ASSERT_TRUE(Settled());
}

TEST_F(SignalWatcherTest, ANewerHostGetsTheStrategyTexts) {
  StartOn("3.11.3.0", "");
  Append("SELL,R1,NSE,RELIANCE-EQ,IOC,LIMIT,2,2500,0,0,MIS,PRO,alpha,beta\n");
  ASSERT_TRUE(WaitFor([&] { return Count("place2") == 1; }));
  EXPECT_EQ(orderHost.Calls()[0].transactionType, KOVO_TXN_SELL);
  EXPECT_EQ(orderHost.Calls()[0].texts, (std::vector<std::string>{"alpha", "beta", ""}));
  // The watcher records the order after the host's call returns.
  ASSERT_TRUE(Settled());
  ASSERT_EQ(Orders(watcher->Script()).size(), 1u);
  Update(name, "6000001", Orders(watcher->Script())[0]->tag, "open");
  // Twelve non-empty fields: the strategy text is empty, not missing.
  Append("MODIFY,R1,NSE,RELIANCE-EQ,DAY,LIMIT,5,2503,0,0,MIS,PRO\n");
  ASSERT_TRUE(WaitFor([&] { return Count("modify") == 1; }));
  EXPECT_EQ(orderHost.Calls()[1].texts, std::vector<std::string>{""});
  EXPECT_EQ(orderHost.Calls()[1].quantity, 5);
  Append("CANCEL,R1,a,b,c,d,e,f,g,h,i,j,why\n");
  ASSERT_TRUE(WaitFor([&] { return Count("cancel") == 1; }));
  EXPECT_EQ(orderHost.Calls()[2].texts, std::vector<std::string>{"why"});
  EXPECT_EQ(orderHost.Calls()[2].orderNumber, "6000001");
}

TEST_F(SignalWatcherTest, TheLineGrammarFailuresAndTheRetryPosition) {
  StartOn("3.10.57.97", "");
  // An empty exchange column is no column: every later value moves left, so
  // the symbol is read as the exchange and the export refuses the order.
  Append("BUY,R1,,RELIANCE-EQ,DAY,LIMIT,1,100,0,0,MIS,PRO,extra\n");
  ASSERT_TRUE(WaitFor([&] {
    return MessagesWith("ZintApi " + name + " -- Exchange is not valid to place order");
  }));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), FileSize()) << "a refused order is not a failed line";

  // Comments and blank lines are passed over.
  Append("// a comment, with, commas\n\n   \r\n");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), FileSize());

  // Lower case is not "BUY".
  const std::string lower = "buy,R2,NSE,RELIANCE-EQ,DAY,LIMIT,1,100,0,0,MIS,PRO";
  int64_t before = FileSize();
  Append(lower + "\r\n");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed(lower)), 1u);
  EXPECT_EQ(watcher->ReadPosition(), before);

  // Lines after a failed one wait; the failed one is read, and reported,
  // again at each append.
  for (int i = 0; i < 3; ++i) {
    Append(kBuy);
    ASSERT_TRUE(Settled());
  }
  EXPECT_EQ(MessagesWith(Failed(lower)), 4u);
  EXPECT_EQ(watcher->ReadPosition(), before);
  EXPECT_TRUE(orderHost.Calls().empty());

  // Truncation starts over at the file's start.
  Write("");
  ASSERT_TRUE(WaitFor([&] { return watcher->ReadPosition() == 0; }));
  const std::string eleven = "BUY,R3,NSE,RELIANCE-EQ,DAY,LIMIT,1,100,0,0,MIS";
  Append(eleven + "\n");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed(eleven)), 1u);
  EXPECT_EQ(watcher->ReadPosition(), 0);
  EXPECT_TRUE(orderHost.Calls().empty());
}

// Lines whose host call tells which line it came from and whether it was
// read whole: reference "R<n>", quantity n, price n.25.
std::string Line(int n) {
  const std::string k = std::to_string(n);
  return "BUY,R" + k + ",NSE,RELIANCE-EQ,DAY,LIMIT," + k + "," + k + ".25,0,0,MIS,PRO\n";
}

void Put(int fd, const std::string& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

class SignalFileTest : public SignalWatcherTest {
 protected:
  // The lines placed so far, by number.
  std::multiset<int> Placed() const {
    std::multiset<int> placed;
    for (const HostOrderCall& call : orderHost.Calls()) {
      if (call.function == "place2") placed.insert(call.entry.quantity);
    }
    return placed;
  }
  bool PlacedAll(const std::set<int>& lines) {
    return WaitFor([&] {
      const std::multiset<int> placed = Placed();
      return std::all_of(lines.begin(), lines.end(), [&](int n) { return placed.count(n) > 0; });
    });
  }
  std::set<int> Lines(int first, int count) const {
    std::set<int> lines;
    for (int n = first; n < first + count; ++n) lines.insert(n);
    return lines;
  }
  int OpenFile(int flags) const { return open(file.c_str(), flags | O_CLOEXEC, 0644); }
};

TEST_F(SignalFileTest, AFailedLineIsReportedOncePerAppendNotAgainForItsWritersClose) {
  StartOn("3.10.57.97", "");
  const std::string lower = "buy,R2,NSE,RELIANCE-EQ,DAY,LIMIT,1,100,0,0,MIS,PRO";
  const int fd = OpenFile(O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  Put(fd, lower + "\n");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed(lower)), 1u);
  close(fd);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed(lower)), 1u) << "the close changed no size";

  // Neither another file of the folder nor the file's attributes are a change of it.
  test::TempDir::WriteFile(dir / "signals" / "other.csv", kBuy);
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed(lower)), 1u);

  // Each append, written and closed at once, reads it once more.
  for (int i = 0; i < 20; ++i) {
    Append(kBuy);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(MessagesWith(Failed(lower)), 2u + i);
  }
  EXPECT_TRUE(orderHost.Calls().empty());
}

TEST_F(SignalFileTest, ALastLineWithoutItsEndIsTakenAsItStandsOnceItsWriterClosesIt) {
  StartOn("3.10.57.97", "");
  const int fd = OpenFile(O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  // Twelve fields already, but the client id is cut: it must not be taken yet.
  const std::string one = Line(1);
  Put(fd, one.substr(0, one.size() - 2));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->SeenSize(), FileSize());
  EXPECT_TRUE(orderHost.Calls().empty());
  EXPECT_TRUE(Messages().empty());
  Put(fd, one.substr(one.size() - 2));
  ASSERT_TRUE(PlacedAll({1}));
  EXPECT_EQ(orderHost.Calls()[0].entry.proprietary, 1) << "the client id was read whole";

  // Still open: the line waits. Closed: it is taken as it stands.
  const std::string two = Line(2);
  Put(fd, two.substr(0, two.size() - 1));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Placed(), std::multiset<int>{1});
  // Another writer's close leaves it waiting: this writer still has it open.
  const int other = OpenFile(O_WRONLY | O_APPEND);
  ASSERT_GE(other, 0);
  close(other);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Placed(), std::multiset<int>{1});
  close(fd);
  ASSERT_TRUE(PlacedAll({2}));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), FileSize());

  // What comes next is a line of its own.
  Append(Line(3));
  ASSERT_TRUE(PlacedAll({3}));

  // A writer that stops half way: the part fails once and succeeds once the
  // rest is there.
  Append("BUY,R4,NSE");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed("BUY,R4,NSE")), 1u);
  Append(",RELIANCE-EQ,DAY,LIMIT,4,4.25,0,0,MIS,PRO\n");
  ASSERT_TRUE(PlacedAll({4}));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(MessagesWith(Failed("BUY,R4,NSE")), 1u);
  EXPECT_EQ(Placed(), (std::multiset<int>{1, 2, 3, 4}));
}

TEST_F(SignalFileTest, ARewrittenReplacedOrRecreatedFileIsReadFromItsStartUnlessItOnlyGrew) {
  StartOn("3.10.57.97", Line(0) + Line(10) + Line(20));
  std::multiset<int> expected;
  const auto step = [&](std::initializer_list<int> lines) {
    expected.insert(lines.begin(), lines.end());
    ASSERT_TRUE(PlacedAll(std::set<int>(lines)));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Placed(), expected);
  };
  // Truncated and written anew, shorter than what was read.
  Write(Line(30));
  step({30});
  // Written anew at the very same size: its bytes tell.
  Write(Line(40));
  step({40});
  // The same lines and more, as from a writer that writes all of it each time.
  Write(Line(40) + Line(41));
  step({41});
  // Longer than what was read, with other lines.
  Write(Line(50) + Line(51) + Line(52) + Line(53));
  step({50, 51, 52, 53});

  // Renamed into place: a file of its own, every line of it.
  const auto temp = dir / "signals" / "next.tmp";
  test::TempDir::WriteFile(temp, Line(60) + Line(61));
  std::filesystem::rename(temp, file);
  step({60, 61});
  test::TempDir::WriteFile(temp, Line(60) + Line(61) + Line(62));
  std::filesystem::rename(temp, file);
  step({62});

  // Gone: the watch goes on, and a file made again is read from its start.
  std::filesystem::remove(file);
  ASSERT_TRUE(Settled());
  EXPECT_FALSE(watcher->Finished());
  Write(Line(70));
  step({70});
  Append(Line(71));
  step({71});
  EXPECT_EQ(Messages(), std::vector<std::string>{});
}

// What one fault scenario did to the lines written in it.
struct sTally {
  int lost = 0;
  int duplicated = 0;
  int misread = 0;
};

class SignalFaultTest : public SignalFileTest {
 protected:
  // Lines first..first+count-1, one write each.
  void PutLines(int fd, int first, int count) {
    for (int n = first; n < first + count; ++n) Put(fd, Line(n));
    for (int n = first; n < first + count; ++n) expected.insert(n);
  }
  // Appends a last line to whatever the path names, waits until it is
  // placed and everything is handled, and counts what the scenario did.
  sTally Finish(const char* scenario) {
    const int end = next++;
    expected.insert(end);
    {
      std::ofstream out(file, std::ios::binary | std::ios::app);
      out << Line(end);
    }
    EXPECT_TRUE(PlacedAll({end})) << scenario;
    EXPECT_TRUE(Settled()) << scenario;
    sTally tally;
    std::map<int, int> times;
    const auto calls = orderHost.Calls();
    for (size_t i = callsBase; i < calls.size(); ++i) {
      const HostOrderCall& call = calls[i];
      const int n = call.entry.quantity;
      if (call.function != "place2" || !expected.count(n) || call.entry.price != n * 100 + 25) {
        ++tally.misread;
      } else {
        ++times[n];
      }
    }
    for (int n : expected) {
      if (times[n] == 0) ++tally.lost;
      if (times[n] > 1) tally.duplicated += times[n] - 1;
    }
    const auto messages = Messages();
    for (size_t i = messagesBase; i < messages.size(); ++i) {
      if (messages[i].find("Unique Reference number is already present") != std::string::npos) {
        ++tally.duplicated;
      } else {
        ++tally.misread;
      }
    }
    std::printf("[ scenario ] %-44s lines %3zu  lost %d  duplicated %d  mis-read %d\n", scenario,
                expected.size(), tally.lost, tally.duplicated, tally.misread);
    callsBase = calls.size();
    messagesBase = messages.size();
    expected.clear();
    return tally;
  }
  // Lines first..first+count-1 appended by another process, each with a
  // shell append of its own (open, write, close).
  pid_t AppendFromAnotherProcess(int first, int count) {
    for (int n = first; n < first + count; ++n) expected.insert(n);
    const std::string script =
        "i=$1; while [ $i -lt $2 ]; do "
        "printf 'BUY,R%d,NSE,RELIANCE-EQ,DAY,LIMIT,%d,%d.25,0,0,MIS,PRO\\n' $i $i $i >> \"$3\"; "
        "i=$((i+1)); done";
    std::vector<std::string> args = {
        "sh",         "-c", script, "sh", std::to_string(first), std::to_string(first + count),
        file.string()};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ), 0);
    return pid;
  }
  bool Reaped(std::vector<pid_t>& children) {
    return WaitFor([&] {
      std::erase_if(children, [](pid_t pid) {
        int status = 0;
        return waitpid(pid, &status, WNOHANG) == pid;
      });
      return children.empty();
    });
  }
  // Runs `change` while the watcher is held inside the host's order call of
  // one more line, so that it looks at the file only once the change is done.
  template <typename Change>
  void WhileInHostCall(Change change) {
    const int gate = Take(1);
    expected.insert(gate);
    ui.Pump(1u << 20);
    std::unique_lock lock(orderHost.mutex);
    const int before = orderHost.entered.load();
    Append(Line(gate));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (orderHost.entered.load() == before && std::chrono::steady_clock::now() < deadline) {
      ui.WaitForTasks(std::chrono::milliseconds(2));
    }
    ASSERT_GT(orderHost.entered.load(), before) << "the watcher never reached the host call";
    change();
  }
  // Truncates the file and writes `count` new lines with one write.
  void Rewrite(int count) {
    const int fd = OpenFile(O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    std::string lines;
    const int first = Take(count);
    for (int n = first; n < first + count; ++n) lines += Line(n), expected.insert(n);
    Put(fd, lines);
    close(fd);
  }
  int Take(int count) {
    const int first = next;
    next += count;
    return first;
  }

  std::set<int> expected;
  int next = 1000;
  size_t callsBase = 0;
  size_t messagesBase = 0;
};

TEST_F(SignalFaultTest, NoScenarioLosesDuplicatesOrMisreadsALine) {
  StartOn("3.10.57.97", Line(1));
  std::vector<std::pair<const char*, sTally>> tallies;
  const auto finish = [&](const char* scenario) {
    tallies.emplace_back(scenario, Finish(scenario));
  };

  // Truncated and written anew with fewer lines than were read.
  int fd = OpenFile(O_WRONLY | O_APPEND);
  PutLines(fd, Take(150), 150);
  close(fd);
  EXPECT_TRUE(PlacedAll(expected));
  Rewrite(50);
  finish("truncated, rewritten shorter (150, then 50)");
  // The same while the watcher is busy: it never sees the file empty.
  fd = OpenFile(O_WRONLY | O_APPEND);
  PutLines(fd, Take(150), 150);
  close(fd);
  EXPECT_TRUE(PlacedAll(expected));
  WhileInHostCall([&] { Rewrite(50); });
  finish("rewritten shorter while the watcher is busy");

  // Written anew longer than what was read, then appended to.
  Rewrite(20);
  Append("// lines of another length, so old offsets fall inside new lines\n");
  EXPECT_TRUE(PlacedAll(expected));
  Rewrite(130);
  Append(Line(Take(1)));
  expected.insert(next - 1);
  finish("rewritten longer (20, then 130 + 1)");
  Rewrite(20);
  Append("// lines of another length, so old offsets fall inside new lines\n");
  EXPECT_TRUE(PlacedAll(expected));
  WhileInHostCall([&] { Rewrite(130); });
  Append(Line(Take(1)));
  expected.insert(next - 1);
  finish("rewritten longer while the watcher is busy");

  // Renamed away while its writer goes on; made again after a gap.
  const auto old = dir / "signals" / "orders.old";
  fd = OpenFile(O_WRONLY | O_APPEND);
  PutLines(fd, Take(40), 40);
  std::filesystem::rename(file, old);
  PutLines(fd, Take(30), 30);
  EXPECT_TRUE(PlacedAll(expected)) << "lines written to the renamed file";
  close(fd);
  fd = OpenFile(O_WRONLY | O_CREAT | O_EXCL | O_APPEND);
  ASSERT_GE(fd, 0);
  PutLines(fd, Take(40), 40);
  close(fd);
  finish("renamed away, made again after a gap");

  // Renamed away and made again at once, the old one still written to.
  fd = OpenFile(O_WRONLY | O_APPEND);
  PutLines(fd, Take(20), 20);
  std::filesystem::rename(file, old);
  PutLines(fd, Take(10), 10);
  int fresh = OpenFile(O_WRONLY | O_CREAT | O_EXCL | O_APPEND);
  ASSERT_GE(fresh, 0);
  PutLines(fresh, Take(20), 20);
  PutLines(fd, Take(5), 5);
  close(fd);
  PutLines(fresh, Take(20), 20);
  close(fresh);
  finish("renamed away, made again at once");

  // Removed at once after the last lines, then made again.
  fd = OpenFile(O_WRONLY | O_APPEND);
  PutLines(fd, Take(30), 30);
  close(fd);
  std::filesystem::remove(file);
  fresh = OpenFile(O_WRONLY | O_CREAT | O_EXCL | O_APPEND);
  ASSERT_GE(fresh, 0);
  PutLines(fresh, Take(30), 30);
  close(fresh);
  finish("removed and made again");

  // Two other processes appending at once.
  std::vector<pid_t> children = {AppendFromAnotherProcess(Take(100), 100),
                                 AppendFromAnotherProcess(Take(100), 100)};
  EXPECT_TRUE(Reaped(children));
  finish("two other processes appending at once");

  // Bursts of appends, some lines in two writes cut anywhere.
  std::mt19937 random(11);
  fd = OpenFile(O_WRONLY | O_APPEND);
  for (int burst = 0; burst < 20; ++burst) {
    const int first = Take(50);
    for (int n = first; n < first + 50; ++n) {
      const std::string line = Line(n);
      expected.insert(n);
      if (n % 7 != 0) {
        Put(fd, line);
        continue;
      }
      const size_t cut = 1 + random() % (line.size() - 1);
      Put(fd, line.substr(0, cut));
      Put(fd, line.substr(cut));
    }
    if (burst % 5 == 4) {
      std::string many;
      const int more = Take(100);
      for (int n = more; n < more + 100; ++n) many += Line(n), expected.insert(n);
      Put(fd, many);
    }
  }
  close(fd);
  finish("bursts of appends, some lines cut in two");

  for (const auto& [scenario, tally] : tallies) {
    EXPECT_EQ(tally.lost, 0) << scenario;
    EXPECT_EQ(tally.duplicated, 0) << scenario;
    EXPECT_EQ(tally.misread, 0) << scenario;
  }
}

TEST_F(SignalWatcherTest, AnyBytesAreHandled) {
  StartOn("3.10.57.97", "");
  std::mt19937 random(7);
  std::string junk;
  for (int i = 0; i < 300000; ++i) junk.push_back(static_cast<char>(random() % 256));
  std::replace(junk.begin(), junk.end(), '\n', ' ');
  // A long line of anything, with twelve fields: handled by the export's refusal.
  Append("BUY," + junk + ",a,b,c,d,e,f,g,h,i,j,k\n");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), FileSize());
  // Without enough fields it fails, and is reported, without harm.
  Append("SELL" + junk.substr(0, 1000) + "\n");
  ASSERT_TRUE(Settled());
  const auto all = Messages();
  EXPECT_EQ(std::count_if(all.begin(), all.end(),
                          [&](const std::string& m) {
                            return m.rfind(name + " Error while processing Line SELL", 0) == 0;
                          }),
            1);
}

}  // namespace
}  // namespace kovo
