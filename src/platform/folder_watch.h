#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>

namespace kovo {

// What one wait saw in the folder, by file name.
struct sFolderChanges {
  // Written to, truncated, created, or moved or removed under this name:
  // anything that can change the size of the file the name refers to.
  std::set<std::string> resized;
  // The file under this name was closed by a writer (or moved in whole)
  // and not written since.
  std::set<std::string> closed;
  // Events were dropped, or the folder itself went away and came back:
  // any file may have changed.
  bool anything = false;

  bool Resized(const std::string& name) const { return anything || resized.count(name) != 0; }
  bool Closed(const std::string& name) const { return closed.count(name) != 0; }
  bool Empty() const { return !anything && resized.empty() && closed.empty(); }
};

// Whether any process (this one included) has the file behind fd open for
// writing. One writer's close says nothing of another still half way through
// a line, so a close is checked with this before a last line is taken as it
// stands. Walks /proc, so it is for the rare case, not every change; processes
// whose descriptors cannot be read count as not writing.
bool FileOpenForWriting(int fd);

// Change notification for one folder (not its subfolders), for changes of
// file size, with the closes of writers beside them. Attribute changes and
// reads are not changes. Waits end early when Wake is called from another
// thread, so an owner can stop a waiting worker at once.
class CFolderWatch {
 public:
  enum class Result { kChanged, kTimeout, kWoken, kFailed };

  CFolderWatch();
  ~CFolderWatch();
  CFolderWatch(const CFolderWatch&) = delete;
  CFolderWatch& operator=(const CFolderWatch&) = delete;

  // False when the system refuses to watch the folder.
  bool Open(const std::filesystem::path& folder);
  bool IsOpen() const { return m_inotify.load() >= 0; }
  // Waits for the next change; every change queued so far is taken with it
  // and, when `changes` is given, described there. A folder that is removed
  // is watched again once it is back; meanwhile waits only time out.
  Result Wait(std::chrono::milliseconds timeout, sFolderChanges* changes = nullptr);
  // Ends a Wait in progress (or the next one); any thread.
  void Wake();
  // True while a Wait is blocked with nothing queued: every change made
  // before this call has been taken by an earlier Wait. Any thread.
  bool Idle() const;

 private:
  bool AddWatch();
  // Reads every queued event into `changes`; false on a read error.
  bool Drain(sFolderChanges& changes);

  // Atomic so that Idle may look from another thread.
  std::atomic<int> m_inotify{-1};
  int m_wake = -1;
  int m_watch = -1;  // -1 while the folder is gone
  std::filesystem::path m_folder;
  std::atomic<bool> m_blocked{false};
};

}  // namespace kovo
