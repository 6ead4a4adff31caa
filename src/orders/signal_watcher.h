#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/folder_watch.h"

namespace kovo {

class CControlBlock;
class COrderApi;
struct sApiScript;

// One signal line: an order ("BUY"/"SELL"), "MODIFY" or "CANCEL", fields
// separated by ",". Empty lines and "//" comments are handled by doing
// nothing. Returns 1 when the line was handled, 0 when it failed (too few
// fields or an unknown first column). The newer host takes the strategy texts.
int ProcessSignalLine(COrderApi& api, sApiScript* script, bool newerHost, std::string_view line);

// Turns the lines appended to one file into orders, on a worker thread of
// its own. The live count of watchers is the control block's watcherCount.
class CSignalWatcherThread {
 public:
  // How long one wait lasts before the stop test.
  static constexpr std::chrono::milliseconds kWaitPeriod{5000};
  static constexpr const char* kFilter = "csv Files(*.csv)|*.csv||";
  static constexpr const char* kDefaultFile = "test.csv";

  CSignalWatcherThread(CControlBlock& cb, COrderApi& api);
  ~CSignalWatcherThread();  // joins the worker
  CSignalWatcherThread(const CSignalWatcherThread&) = delete;
  CSignalWatcherThread& operator=(const CSignalWatcherThread&) = delete;

  void Start();
  // Ends the watch at the next stop test, which comes at once.
  void Stop();
  bool Finished() const { return m_finished.load(); }

  // What the watch has reached, for whoever observes it from outside.
  sApiScript* Script() const { return m_script.load(); }
  int64_t ReadPosition() const { return m_position.load(); }
  // The file's size as the last pass over it saw it; -1 before the first.
  int64_t SeenSize() const { return m_seenSize.load(); }
  // True once the lines present at the start have been passed over.
  bool Watching() const { return m_watching.load(); }
  std::string Path() const;

 private:
  void Run();
  void Watch();
  bool Stopping() const;
  // One notification: the lines after the read position. False when the
  // file is gone, which ends the watch.
  bool ReadAppended();

  CControlBlock& m_cb;
  COrderApi& m_api;
  CFolderWatch m_folderWatch;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_finished{false};
  std::atomic<bool> m_watching{false};
  std::atomic<sApiScript*> m_script{nullptr};
  std::atomic<int64_t> m_position{0};
  std::atomic<int64_t> m_seenSize{-1};
  mutable std::mutex m_pathMutex;
  std::filesystem::path m_path;
  std::string m_scriptName;
  // The file's identity, so a replaced file is noticed.
  uint64_t m_device = 0;
  uint64_t m_inode = 0;
};

// Every watcher started in a session. UI thread.
class CSignalWatchers {
 public:
  CSignalWatchers(CControlBlock& cb, COrderApi& api) : m_cb(cb), m_api(api) {}
  // Stops every watcher and waits for them, letting the UI thread work so
  // that their last calls into it complete.
  ~CSignalWatchers();
  CSignalWatchers(const CSignalWatchers&) = delete;
  CSignalWatchers& operator=(const CSignalWatchers&) = delete;

  CSignalWatcherThread& Start();
  // Wakes every watcher for its stop test, as at shutdown.
  void WakeAll();
  std::vector<CSignalWatcherThread*> All() const;

 private:
  CControlBlock& m_cb;
  COrderApi& m_api;
  std::vector<std::unique_ptr<CSignalWatcherThread>> m_threads;
};

// The start command: needs a logged-in user, makes sure the order updates'
// receiver control exists, and starts a watcher. Null when refused.
CSignalWatcherThread* StartSignalWatcher(CControlBlock& cb);
// Tells every watcher of the control block to look at its stop flag now.
void WakeSignalWatchers(CControlBlock& cb);

}  // namespace kovo
