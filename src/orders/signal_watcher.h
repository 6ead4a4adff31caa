#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
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
  // Where reading stands in the file under the path.
  int64_t ReadPosition() const { return m_position.load(); }
  // The file's size as the last look at it saw it; -1 before the first.
  int64_t SeenSize() const { return m_seenSize.load(); }
  // True once the lines present at the start have been passed over.
  bool Watching() const { return m_watching.load(); }
  // True while the watcher waits with every change made so far handled.
  bool Idle() const { return m_watching.load() && m_folderWatch.Idle(); }
  std::string Path() const;

 private:
  // How far a file has been read, with the bytes that show it is still the
  // same file: those at its start and those just before the position.
  struct sReadMark {
    int64_t position = 0;  // lines before it are done
    std::string head;
    std::string tail;
    // The bytes from `at` on were done.
    void Remember(std::string_view bytes, int64_t at);
  };
  // One signal file as the watcher holds it open. Kept open so that lines
  // written to it before it was renamed, removed or replaced are still read.
  struct sHeldFile {
    int fd = -1;
    uint64_t device = 0;
    uint64_t inode = 0;
    sReadMark read;
    // What had been read when the file was found truncated or written anew:
    // if the same bytes come back, reading goes on after them.
    std::optional<sReadMark> earlier;
    int64_t seenSize = -1;  // at the last look
    // Its last line has no line end yet and waits for its writer.
    bool lineHeld = false;
    // Lines that fail are reported and passed over: the file was replaced,
    // so nothing will ever make them succeed.
    bool replaced = false;

    bool Open() const { return fd >= 0; }
    void Close();
  };

  void Run();
  void Watch();
  bool Stopping() const;
  // One notification, or a time-out (changes null): reads what is new in the
  // held files and moves to a file that has taken the path's place.
  void Look(const sFolderChanges* changes);
  // Acts on the complete lines after the position. `writerDone`: its writer
  // closed it, so a last line without its end is taken as it stands.
  void Drain(sHeldFile& file, bool writerDone);
  // Moves to the file now under the path when it is another one; false
  // when the path still names the held file, or nothing that can be read.
  bool SwitchToPath();
  // True when the file holds the bytes `mark` saw, where it saw them.
  static bool SameStart(int fd, const sReadMark& mark, int64_t size);
  void Publish();

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
  std::string m_fileName;
  std::string m_scriptName;
  // Worker thread only.
  sHeldFile m_current;
  // The file the path named before it was replaced, while its writer may
  // still be finishing it.
  sHeldFile m_previous;
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
