#include "host/core/backend_client.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <connectkovo/connectkovo.hpp>

namespace kovo::host {

CBackendClient::CBackendClient(FrameFn onFrame, ClosedFn onClosed)
    : m_onFrame(std::move(onFrame)), m_onClosed(std::move(onClosed)) {}

CBackendClient::~CBackendClient() {
  Close();
}

bool CBackendClient::Connect(const std::string& host, uint16_t port, std::string* error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    if (error) *error = host + ": " + ::gai_strerror(rc);
    return false;
  }
  int fd = -1;
  std::string reason = "no address";
  for (addrinfo* a = found; a; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
    reason = std::strerror(errno);
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  if (fd < 0) {
    if (error) *error = host + ":" + service + ": " + reason;
    return false;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  m_closing = false;
  m_fd = fd;
  m_connected = true;
  m_reader = std::thread([this, fd] { ReadLoop(fd); });
  return true;
}

bool CBackendClient::Send(std::string_view frame) {
  std::lock_guard lock(m_writeMutex);
  const int fd = m_fd.load();
  if (fd < 0 || !m_connected) return false;
  size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // The reader notices the broken connection and reports it.
      ::shutdown(fd, SHUT_RDWR);
      return false;
    }
  }
  return true;
}

void CBackendClient::Close() {
  m_closing = true;
  {
    std::lock_guard lock(m_writeMutex);
    const int fd = m_fd.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  }
  if (m_reader.joinable()) m_reader.join();
  std::lock_guard lock(m_writeMutex);
  if (const int fd = m_fd.exchange(-1); fd >= 0) ::close(fd);
  m_connected = false;
}

void CBackendClient::ReadLoop(int fd) {
  connectkovo::Framer framer;
  std::vector<char> buffer(64 * 1024);
  std::string reason;
  for (;;) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n == 0) {
      reason = "the back end closed the connection";
      break;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = std::strerror(errno);
      break;
    }
    if (framer.Push(buffer.data(), static_cast<size_t>(n)) != WMP_OK) {
      reason = "the back end sent a broken stream";
      break;
    }
    std::string_view frame;
    int32_t error = WMP_OK;
    while (framer.Next(&frame, &error)) m_onFrame(std::string(frame));
    if (error != WMP_OK) {
      reason = std::string("the back end sent a bad frame: ") + wmp_error_text(error);
      break;
    }
  }
  m_connected = false;
  if (!m_closing) m_onClosed(reason);
}

}  // namespace kovo::host
