#include "platform/folder_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kovo {

namespace {

// Size changes come as writes and truncations (IN_MODIFY) and as names
// appearing or going; closes are watched so a reader knows a writer is done.
// Attribute changes and plain opens are left out: they change no size.
constexpr uint32_t kMask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                           IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

// The wake event exists from construction, so Wake never races with Open.
CFolderWatch::CFolderWatch() : m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CFolderWatch::~CFolderWatch() {
  if (m_inotify.load() >= 0) close(m_inotify.load());
  if (m_wake >= 0) close(m_wake);
}

bool CFolderWatch::Open(const std::filesystem::path& folder) {
  if (m_inotify.load() >= 0 || m_wake < 0) return false;
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return false;
  m_inotify.store(fd);
  m_folder = folder;
  if (!AddWatch()) {
    m_inotify.store(-1);
    close(fd);
    return false;
  }
  return true;
}

bool CFolderWatch::AddWatch() {
  const int watch = inotify_add_watch(m_inotify.load(), m_folder.c_str(), kMask);
  if (watch < 0) return false;
  m_watch = watch;
  return true;
}

CFolderWatch::Result CFolderWatch::Wait(std::chrono::milliseconds timeout,
                                        sFolderChanges* changes) {
  sFolderChanges local;
  sFolderChanges& seen = changes ? *changes : local;
  seen = {};
  const int inotify = m_inotify.load();
  if (inotify < 0 || m_wake < 0) return Result::kFailed;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (m_watch < 0 && AddWatch()) {
      // Back after being removed: what is in it now was not seen being made.
      seen.anything = true;
      return Result::kChanged;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int wait = static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
    pollfd fds[2] = {{m_wake, POLLIN, 0}, {inotify, POLLIN, 0}};
    m_blocked.store(true);
    int ready = 0;
    do {
      ready = poll(fds, 2, wait);
    } while (ready < 0 && errno == EINTR);
    m_blocked.store(false);
    if (ready < 0) return Result::kFailed;
    if (fds[0].revents & POLLIN) {
      uint64_t count = 0;
      (void)!read(m_wake, &count, sizeof count);
      return Result::kWoken;
    }
    if (fds[1].revents & (POLLERR | POLLNVAL)) return Result::kFailed;
    if (fds[1].revents & POLLIN) {
      if (!Drain(seen)) return Result::kFailed;
      if (!seen.Empty()) return Result::kChanged;
    }
    // Nothing that counts: wait out the rest.
    if (std::chrono::steady_clock::now() >= deadline) return Result::kTimeout;
  }
}

bool CFolderWatch::Drain(sFolderChanges& seen) {
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = read(m_inotify.load(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const uint32_t mask = event->mask;
      if (mask & IN_Q_OVERFLOW) {
        seen.anything = true;
        continue;
      }
      if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
        // The folder is gone from its path; it is watched again when it is back.
        if (event->wd == m_watch) {
          if (!(mask & IN_IGNORED)) inotify_rm_watch(m_inotify.load(), m_watch);
          m_watch = -1;
        }
        seen.anything = true;
        continue;
      }
      if (event->len == 0) continue;
      const std::string name(event->name);
      if (mask & (IN_MODIFY | IN_CREATE)) {
        seen.resized.insert(name);
        seen.closed.erase(name);
      }
      if (mask & (IN_DELETE | IN_MOVED_FROM)) seen.resized.insert(name);
      // A file renamed into place is finished, as one closed by its writer.
      if (mask & IN_MOVED_TO) {
        seen.resized.insert(name);
        seen.closed.insert(name);
      }
      if (mask & IN_CLOSE_WRITE) seen.closed.insert(name);
    }
  }
}

void CFolderWatch::Wake() {
  if (m_wake < 0) return;
  const uint64_t one = 1;
  (void)!write(m_wake, &one, sizeof one);
}

bool CFolderWatch::Idle() const {
  const int inotify = m_inotify.load();
  if (inotify < 0) return false;
  // The queue first: a Wait that blocks after finding it empty has taken
  // everything queued before.
  int queued = 0;
  if (ioctl(inotify, FIONREAD, &queued) != 0) return false;
  return queued == 0 && m_blocked.load();
}

bool FileOpenForWriting(int fd) {
  struct stat self {};
  if (fstat(fd, &self) != 0) return false;
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool writing = false;
  while (!writing) {
    const dirent* process = readdir(proc);
    if (!process) break;
    if (process->d_name[0] < '0' || process->d_name[0] > '9') continue;
    const std::string base = std::string("/proc/") + process->d_name;
    DIR* fds = opendir((base + "/fd").c_str());
    if (!fds) continue;
    while (!writing) {
      const dirent* entry = readdir(fds);
      if (!entry) break;
      if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
      struct stat target {};
      if (stat((base + "/fd/" + entry->d_name).c_str(), &target) != 0) continue;
      if (target.st_dev != self.st_dev || target.st_ino != self.st_ino) continue;
      // The descriptor's access mode is in the octal "flags:" line of its fdinfo.
      std::FILE* info = std::fopen((base + "/fdinfo/" + entry->d_name).c_str(), "r");
      if (!info) continue;
      char line[128];
      while (std::fgets(line, sizeof line, info)) {
        unsigned long flags = 0;
        if (std::sscanf(line, "flags: %lo", &flags) == 1) {
          writing = (flags & O_ACCMODE) != O_RDONLY;
          break;
        }
      }
      std::fclose(info);
    }
    closedir(fds);
  }
  closedir(proc);
  return writing;
}

}  // namespace kovo
