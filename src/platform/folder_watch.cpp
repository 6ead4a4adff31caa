#include "platform/folder_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace kovo {

// The wake event exists from construction, so Wake never races with Open.
CFolderWatch::CFolderWatch() : m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CFolderWatch::~CFolderWatch() {
  if (m_inotify >= 0) close(m_inotify);
  if (m_wake >= 0) close(m_wake);
}

bool CFolderWatch::Open(const std::filesystem::path& folder) {
  if (m_inotify >= 0 || m_wake < 0) return false;
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return false;
  constexpr uint32_t kMask =
      IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
  if (inotify_add_watch(fd, folder.c_str(), kMask | IN_ONLYDIR) < 0) {
    close(fd);
    return false;
  }
  m_inotify = fd;
  return true;
}

CFolderWatch::Result CFolderWatch::Wait(std::chrono::milliseconds timeout) {
  if (m_inotify < 0) return Result::kFailed;
  pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
  int ready = 0;
  do {
    ready = poll(fds, 2, static_cast<int>(timeout.count()));
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return Result::kFailed;
  if (ready == 0) return Result::kTimeout;
  if (fds[1].revents & POLLIN) {
    uint64_t count = 0;
    (void)!read(m_wake, &count, sizeof count);
    return Result::kWoken;
  }
  if (!(fds[0].revents & POLLIN)) return Result::kFailed;
  // The events themselves do not matter: the reader looks at the file.
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = read(m_inotify, buffer, sizeof buffer);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  return Result::kChanged;
}

void CFolderWatch::Wake() {
  if (m_wake < 0) return;
  const uint64_t one = 1;
  (void)!write(m_wake, &one, sizeof one);
}

}  // namespace kovo
