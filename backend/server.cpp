#include "backend/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace kovo::backend {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// Bursts are produced while less than this is waiting to go out, so a burst
// streams at the pace the client reads instead of piling up in memory.
constexpr size_t kBurstLowWater = 256 * 1024;
constexpr size_t kBurstBatch = 2048;

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

struct Connection {
  int fd = -1;
  std::unique_ptr<CClientSession> session;
  std::unique_ptr<connectkovo::Framer> framer;
  std::string out;
  size_t outStart = 0;
  bool writeArmed = false;
  bool dead = false;

  size_t Pending() const { return out.size() - outStart; }
};

}  // namespace

struct CBackendServer::Loop {
  int listenFd = -1;
  int epollFd = -1;
  int wakeFd = -1;
  std::atomic<bool> stop{false};
  std::unique_ptr<Market> market;
  LoginDirectory logins;
  std::unordered_map<int, std::unique_ptr<Connection>> connections;

  ~Loop() {
    for (auto& [fd, c] : connections) ::close(fd);
    if (listenFd >= 0) ::close(listenFd);
    if (epollFd >= 0) ::close(epollFd);
    if (wakeFd >= 0) ::close(wakeFd);
  }
};

CBackendServer::CBackendServer(ServerOptions options) : m_options(std::move(options)) {}

CBackendServer::~CBackendServer() {
  Stop();
}

bool CBackendServer::Start(std::string* error) {
  if (m_loop) return true;
  auto loop = std::make_unique<Loop>();
  const Clock& clock = m_options.clock ? *m_options.clock : SystemClock::Instance();
  const int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(clock.Now().time_since_epoch()).count();
  loop->market = std::make_unique<Market>(m_options.service.seed, now);

  loop->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (loop->listenFd < 0) {
    if (error) *error = Errno("socket");
    return false;
  }
  const int one = 1;
  ::setsockopt(loop->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(m_options.port);
  if (::inet_pton(AF_INET, m_options.bindAddress.c_str(), &addr.sin_addr) != 1) {
    if (error) *error = "not an IPv4 address: " + m_options.bindAddress;
    return false;
  }
  if (::bind(loop->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (error) *error = Errno("bind");
    return false;
  }
  if (::listen(loop->listenFd, 64) != 0) {
    if (error) *error = Errno("listen");
    return false;
  }
  socklen_t len = sizeof addr;
  ::getsockname(loop->listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);

  loop->epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  loop->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (loop->epollFd < 0 || loop->wakeFd < 0) {
    if (error) *error = Errno("epoll");
    return false;
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = loop->listenFd;
  ::epoll_ctl(loop->epollFd, EPOLL_CTL_ADD, loop->listenFd, &ev);
  ev.data.fd = loop->wakeFd;
  ::epoll_ctl(loop->epollFd, EPOLL_CTL_ADD, loop->wakeFd, &ev);

  m_loop = std::move(loop);
  m_thread = std::thread([this] { Run(); });
  return true;
}

void CBackendServer::Stop() {
  if (!m_loop) return;
  m_loop->stop = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(m_loop->wakeFd, &one, sizeof one);
  if (m_thread.joinable()) m_thread.join();
  m_loop.reset();
  m_connections = 0;
  m_watches = 0;
}

void CBackendServer::Run() {
  Loop& loop = *m_loop;
  const Clock& clock = m_options.clock ? *m_options.clock : SystemClock::Instance();
  auto nowSeconds = [&] {
    return std::chrono::duration_cast<std::chrono::seconds>(clock.Now().time_since_epoch()).count();
  };
  const auto step = std::chrono::milliseconds(std::max(1, m_options.stepMilliseconds));
  auto nextStep = std::chrono::steady_clock::now() + step;
  std::vector<char> buffer(kReadChunk);
  std::vector<epoll_event> events(64);

  auto drop = [&](Connection& c, bool badInput) {
    if (c.dead) return;
    c.dead = true;
    if (badInput) ++m_badInput;
  };

  auto flush = [&](Connection& c) {
    while (!c.dead && c.Pending() > 0) {
      const ssize_t n =
          ::send(c.fd, c.out.data() + c.outStart, c.Pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.outStart += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      drop(c, false);
    }
    if (c.outStart == c.out.size()) {
      c.out.clear();
      c.outStart = 0;
    } else if (c.outStart > c.out.size() / 2) {
      c.out.erase(0, c.outStart);
      c.outStart = 0;
    }
    if (c.Pending() > m_options.maxPendingOutput) drop(c, false);
    const bool want = !c.dead && c.Pending() > 0;
    if (!c.dead && want != c.writeArmed) {
      epoll_event ev{};
      ev.events = EPOLLIN | (want ? EPOLLOUT : 0u);
      ev.data.fd = c.fd;
      ::epoll_ctl(loop.epollFd, EPOLL_CTL_MOD, c.fd, &ev);
      c.writeArmed = want;
    }
  };

  auto acceptAll = [&] {
    for (;;) {
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      const int fd = ::accept4(loop.listenFd, reinterpret_cast<sockaddr*>(&peer), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      char text[INET_ADDRSTRLEN] = "";
      ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
      auto c = std::make_unique<Connection>();
      Connection* raw = c.get();
      c->fd = fd;
      c->framer = std::make_unique<connectkovo::Framer>(m_options.maxFramePayload);
      c->session = std::make_unique<CClientSession>(
          *loop.market, m_options.service, text,
          [raw](std::string_view frame) { raw->out.append(frame); });
      c->session->SetLoginDirectory(&loop.logins);
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.fd = fd;
      ::epoll_ctl(loop.epollFd, EPOLL_CTL_ADD, fd, &ev);
      loop.connections.emplace(fd, std::move(c));
      ++m_connections;
    }
  };

  auto readAll = [&](Connection& c) {
    for (;;) {
      const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
      if (n == 0) return drop(c, false);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) drop(c, false);
        return;
      }
      if (c.framer->Push(buffer.data(), static_cast<size_t>(n)) != WMP_OK) return drop(c, true);
      std::string_view frame;
      int32_t error = WMP_OK;
      while (c.framer->Next(&frame, &error)) {
        if (!c.session->OnFrame(frame, nowSeconds())) return drop(c, true);
      }
      if (error != WMP_OK) return drop(c, true);
    }
  };

  while (!loop.stop) {
    bool bursting = false;
    for (auto& [fd, c] : loop.connections)
      bursting |= c->session->BurstRemaining() > 0 && c->Pending() < kBurstLowWater;
    const auto untilStep = std::chrono::duration_cast<std::chrono::milliseconds>(
        nextStep - std::chrono::steady_clock::now());
    const int timeout = bursting ? 0 : static_cast<int>(std::max<int64_t>(0, untilStep.count()));
    const int n =
        ::epoll_wait(loop.epollFd, events.data(), static_cast<int>(events.size()), timeout);
    for (int i = 0; i < n; ++i) {
      const int fd = events[static_cast<size_t>(i)].data.fd;
      const uint32_t what = events[static_cast<size_t>(i)].events;
      if (fd == loop.wakeFd) continue;
      if (fd == loop.listenFd) {
        acceptAll();
        continue;
      }
      auto it = loop.connections.find(fd);
      if (it == loop.connections.end()) continue;
      Connection& c = *it->second;
      if (what & (EPOLLIN | EPOLLHUP | EPOLLERR)) readAll(c);
      if (what & EPOLLOUT) flush(c);
    }
    if (std::chrono::steady_clock::now() >= nextStep) {
      const int64_t now = nowSeconds();
      for (auto& [fd, c] : loop.connections) c->session->OnClock(now);
      nextStep = std::chrono::steady_clock::now() + step;
    }
    const int64_t now = nowSeconds();
    size_t watches = 0;
    for (auto it = loop.connections.begin(); it != loop.connections.end();) {
      Connection& c = *it->second;
      if (!c.dead && c.session->BurstRemaining() > 0 && c.Pending() < kBurstLowWater)
        c.session->ProduceBurst(kBurstBatch, now);
      flush(c);
      if (c.dead) {
        ::epoll_ctl(loop.epollFd, EPOLL_CTL_DEL, c.fd, nullptr);
        ::close(c.fd);
        it = loop.connections.erase(it);
        --m_connections;
      } else {
        watches += c.session->WatchCount();
        ++it;
      }
    }
    m_watches = watches;
  }
}

}  // namespace kovo::backend
