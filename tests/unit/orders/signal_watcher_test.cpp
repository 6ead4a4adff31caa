#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

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
  // Waits until the watcher has looked at the file as it is now.
  bool Settled() {
    const int64_t size = FileSize();
    return WaitFor([&] { return watcher->SeenSize() >= size; });
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
  // Reported at every change the watch sees; one append may be more than one.
  ASSERT_TRUE(WaitFor([&] { return MessagesWith(Failed(lower)) >= 1; }));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), before);

  // Lines after a failed one wait; the failed one is reported at each change.
  // Counted before the append: the watcher may report before this thread looks.
  const size_t reported = MessagesWith(Failed(lower));
  Append(kBuy);
  ASSERT_TRUE(WaitFor([&] { return MessagesWith(Failed(lower)) > reported; }));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), before);
  EXPECT_TRUE(orderHost.Calls().empty());

  // Truncation restarts at the new end.
  Write("");
  ASSERT_TRUE(WaitFor([&] { return watcher->ReadPosition() == 0; }));
  const std::string eleven = "BUY,R3,NSE,RELIANCE-EQ,DAY,LIMIT,1,100,0,0,MIS";
  Append(eleven + "\n");
  ASSERT_TRUE(WaitFor([&] { return MessagesWith(Failed(eleven)) >= 1; }));
  EXPECT_EQ(watcher->ReadPosition(), 0);
  EXPECT_TRUE(orderHost.Calls().empty());
}

TEST_F(SignalWatcherTest, HalfWrittenLinesWaitAndReplacedFilesRestartAtTheirEnd) {
  StartOn("3.10.57.97", "");
  const std::string line = "BUY,R1,NSE,RELIANCE-EQ,DAY,LIMIT,10,2500,0,0,MIS,PRO";
  Append(line.substr(0, 20));
  ASSERT_TRUE(Settled());
  Append(line.substr(20));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), 0);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(orderHost.Calls().empty());
  Append("\n");
  ASSERT_TRUE(WaitFor([&] { return Count("place2") == 1; }));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(watcher->ReadPosition(), FileSize());

  // A file put in its place: its lines were not appended while watched.
  const auto temp = dir / "signals" / "next.tmp";
  std::ofstream(temp, std::ios::binary) << kBuy << kBuy << kBuy;
  std::filesystem::rename(temp, file);
  ASSERT_TRUE(WaitFor([&] { return watcher->ReadPosition() == FileSize(); }));
  Append("SELL,R9,NSE,RELIANCE-EQ,DAY,LIMIT,1,2400,0,0,MIS,PRO\n");
  ASSERT_TRUE(WaitFor([&] { return Count("place2") == 2; }));
  EXPECT_EQ(orderHost.Calls()[1].transactionType, KOVO_TXN_SELL);
}

TEST_F(SignalWatcherTest, AnyBytesAreHandledAndADeletedFileEndsTheWatch) {
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
  ASSERT_TRUE(WaitFor([&] {
    const auto all = Messages();
    return std::any_of(all.begin(), all.end(), [&](const std::string& m) {
      return m.rfind(name + " Error while processing Line SELL", 0) == 0;
    });
  }));

  std::filesystem::remove(file);
  ASSERT_TRUE(WaitFor([&] { return watcher->Finished(); }));
  EXPECT_EQ(cb->watcherCount.load(), 0);
  EXPECT_EQ(Messages().back(),
            name + " Signal file " + file.string() + " was removed, watching ended");
  ASSERT_TRUE(WaitFor([&] { return api->ScriptsView().Rows().empty(); }));
}

}  // namespace
}  // namespace kovo
