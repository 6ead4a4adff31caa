#pragma once

#include <chrono>
#include <filesystem>

namespace kovo {

// Change notification for one folder (not its subfolders): file sizes,
// creations, removals and renames. Waits end early when Wake is called from
// another thread, so an owner can stop a waiting worker at once.
class CFolderWatch {
 public:
  enum class Result { kChanged, kTimeout, kWoken, kFailed };

  CFolderWatch();
  ~CFolderWatch();
  CFolderWatch(const CFolderWatch&) = delete;
  CFolderWatch& operator=(const CFolderWatch&) = delete;

  // False when the system refuses to watch the folder.
  bool Open(const std::filesystem::path& folder);
  bool IsOpen() const { return m_inotify >= 0; }
  // Waits for the next change; every change queued so far is taken with it.
  Result Wait(std::chrono::milliseconds timeout);
  // Ends a Wait in progress (or the next one); any thread.
  void Wake();

 private:
  int m_inotify = -1;
  int m_wake = -1;
};

}  // namespace kovo
