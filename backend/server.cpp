#include "backend/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace kovo::backend {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// Bursts are produced while less than this is waiting to go out, so a burst
// streams at the pace the client reads instead of piling up in memory.
constexpr size_t kBurstLowWater = 256 * 1024;
constexpr size_t kBurstBatch = 2048;
// Connections taken from the listener in one pass, so a storm of connects
// does not hold up the peers already served.
constexpr int kAcceptsPerPass = 64;

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

struct Connection {
  int fd = -1;
  std::unique_ptr<CClientSession> session;
  std::unique_ptr<connectkovo::Framer> framer;
  std::string out;
  size_t outStart = 0;
  uint32_t interest = 0;  // epoll events asked for
  bool dead = false;
  bool readable = false;  // the socket said so in this pass
  bool backlog = false;   // frames may be waiting in the framer
  size_t buffered = 0;    // bytes in the framer not yet taken as frames
  int64_t lastActivity = 0;
  int64_t partialSince = 0;  // a frame began and is not finished; 0: none
  int64_t overCapSince = 0;  // output over the cap since; 0: not over

  size_t Pending() const { return out.size() - outStart; }
};

// Time since an arbitrary start that never goes back and stands still
// while the machine sleeps.
class MonotonicClock final : public Clock {
 public:
  TimePoint Now() const override {
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
        std::chrono::steady_clock::now().time_since_epoch()));
  }
};

// Marks the listener's and the wake-up descriptor's events apart from connections'.
char g_listenTag;
char g_wakeTag;

}  // namespace

struct CBackendServer::Loop {
  explicit Loop(CBackendServer& server)
      : owner(server),
        options(server.m_options),
        clock(options.clock ? *options.clock : SystemClock::Instance()),
        timer(options.timer ? *options.timer : monotonic),
        buffer(kReadChunk),
        events(256) {}

  ~Loop() {
    for (auto& c : connections) ::close(c->fd);
    if (listenFd >= 0) ::close(listenFd);
    if (epollFd >= 0) ::close(epollFd);
    if (wakeFd >= 0) ::close(wakeFd);
  }

  int64_t NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(timer.Now().time_since_epoch())
        .count();
  }
  int64_t NowSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(clock.Now().time_since_epoch()).count();
  }
  bool OverCap(const Connection& c) const { return c.Pending() > options.outputCap; }

  void Drop(Connection& c, std::atomic<size_t>* counter) {
    if (c.dead) return;
    c.dead = true;
    if (counter) ++*counter;
  }

  // Reads are asked for only while the connection's output is under its cap.
  void SetInterest(Connection& c) {
    if (c.dead) return;
    const uint32_t want = (OverCap(c) ? 0u : uint32_t{EPOLLIN}) | (c.Pending() ? EPOLLOUT : 0u);
    if (want == c.interest) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.ptr = &c;
    ::epoll_ctl(epollFd, EPOLL_CTL_MOD, c.fd, &ev);
    c.interest = want;
  }

  void Flush(Connection& c, int64_t now) {
    while (!c.dead && c.Pending() > 0) {
      const ssize_t n =
          ::send(c.fd, c.out.data() + c.outStart, c.Pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.outStart += static_cast<size_t>(n);
        c.lastActivity = now;
        // A reader on a slow link is still reading: only one that takes
        // nothing for the whole grace is closed.
        if (c.overCapSince != 0) c.overCapSince = now;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      Drop(c, nullptr);
    }
    if (c.outStart == c.out.size()) {
      c.out.clear();
      c.outStart = 0;
    } else if (c.outStart > c.out.size() / 2) {
      c.out.erase(0, c.outStart);
      c.outStart = 0;
    }
  }

  bool Add(int fd, const std::string& peer, int64_t now) {
    if (connections.size() >= options.maxConnections) {
      ::close(fd);
      ++owner.m_refused;
      return false;
    }
    auto c = std::make_unique<Connection>();
    Connection* raw = c.get();
    c->fd = fd;
    c->lastActivity = now;
    c->framer = std::make_unique<connectkovo::Framer>(options.maxFramePayload);
    c->session = std::make_unique<CClientSession>(
        *market, options.service, peer, [raw](std::string_view frame) { raw->out.append(frame); });
    c->session->SetLoginDirectory(&logins);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = raw;
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev);
    c->interest = EPOLLIN;
    connections.push_back(std::move(c));
    ++owner.m_connections;
    return true;
  }

  void AcceptSome(int64_t now) {
    for (int i = 0; i < kAcceptsPerPass; ++i) {
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
        // Out of descriptors or memory: the pending connection stays queued
        // and the listener stays readable, so asking again at once would
        // spin. Leave it alone for a while.
        ++owner.m_acceptFailures;
        PauseListener(now);
        return;
      }
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      char text[INET_ADDRSTRLEN] = "";
      ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
      Add(fd, text, now);
    }
  }

  void PauseListener(int64_t now) {
    epoll_event ev{};
    ev.data.ptr = &g_listenTag;
    ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
    listenerPausedUntil = now + std::max<int64_t>(1, options.acceptBackoffMilliseconds);
  }

  void ResumeListener(int64_t now) {
    if (listenerPausedUntil == 0 || now < listenerPausedUntil) return;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = &g_listenTag;
    ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
    listenerPausedUntil = 0;
  }

  // One connection's turn: requests already framed first, then more from
  // the socket, until the turn's budget is spent, its output is over the
  // cap, or nothing more has arrived.
  void Turn(Connection& c, int64_t now) {
    c.readable = false;
    const size_t outputBefore = c.out.size();
    size_t requests = 0;
    auto budgetLeft = [&] {
      return requests < options.turnRequests && c.out.size() - outputBefore < options.turnOutput &&
             !OverCap(c);
    };
    for (;;) {
      std::string_view frame;
      int32_t error = WMP_OK;
      while (budgetLeft() && c.framer->Next(&frame, &error)) {
        ++requests;
        c.buffered -= frame.size();
        c.partialSince = c.buffered == 0 ? 0 : now;
        if (!c.session->OnFrame(frame, NowSeconds())) return Drop(c, &owner.m_badInput);
      }
      if (error != WMP_OK) return Drop(c, &owner.m_badInput);
      if (!budgetLeft()) {
        c.backlog = true;
        return;
      }
      const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
      if (n == 0) return Drop(c, nullptr);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) Drop(c, nullptr);
        c.backlog = false;
        return;
      }
      c.lastActivity = now;
      if (c.partialSince == 0) c.partialSince = now;
      c.buffered += static_cast<size_t>(n);
      if (c.framer->Push(buffer.data(), static_cast<size_t>(n)) != WMP_OK)
        return Drop(c, &owner.m_badInput);
    }
  }

  // Closes connections that broke a limit of time or output.
  void CheckLimits(Connection& c, int64_t now) {
    if (c.dead) return;
    if (c.Pending() > options.maxPendingOutput) return Drop(c, &owner.m_slowReaders);
    if (OverCap(c)) {
      if (c.overCapSince == 0) c.overCapSince = now;
      if (now - c.overCapSince >= options.overCapMilliseconds) return Drop(c, &owner.m_slowReaders);
    } else {
      c.overCapSince = 0;
    }
    if (options.idleMilliseconds > 0 && now - c.lastActivity >= options.idleMilliseconds)
      return Drop(c, &owner.m_idle);
    // A connection held back by its own output is not slow to send.
    if (options.partialFrameMilliseconds > 0 && c.partialSince != 0 && !OverCap(c) &&
        now - c.partialSince >= options.partialFrameMilliseconds)
      return Drop(c, &owner.m_idle);
  }

  bool Bursting(const Connection& c) const {
    return !c.dead && c.session->BurstRemaining() > 0 && c.Pending() < kBurstLowWater;
  }

  CBackendServer& owner;
  const ServerOptions& options;
  MonotonicClock monotonic;
  const Clock& clock;
  const Clock& timer;
  int listenFd = -1;
  int epollFd = -1;
  int wakeFd = -1;
  std::atomic<bool> stop{false};
  std::unique_ptr<Market> market;
  LoginDirectory logins;
  std::vector<std::unique_ptr<Connection>> connections;
  int64_t nextStep = 0;
  int64_t listenerPausedUntil = 0;  // 0: the listener is polled
  size_t rotation = 0;
  std::vector<char> buffer;
  std::vector<epoll_event> events;
};

CBackendServer::CBackendServer(ServerOptions options) : m_options(std::move(options)) {}

CBackendServer::~CBackendServer() {
  Stop();
}

bool CBackendServer::Open(std::string* error) {
  if (m_loop) return true;
  auto loop = std::make_unique<Loop>(*this);
  loop->market = std::make_unique<Market>(m_options.service.seed, loop->NowSeconds());

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
  ev.data.ptr = &g_listenTag;
  ::epoll_ctl(loop->epollFd, EPOLL_CTL_ADD, loop->listenFd, &ev);
  ev.data.ptr = &g_wakeTag;
  ::epoll_ctl(loop->epollFd, EPOLL_CTL_ADD, loop->wakeFd, &ev);
  loop->nextStep = loop->NowMs() + std::max(1, m_options.stepMilliseconds);
  m_loop = std::move(loop);
  return true;
}

bool CBackendServer::Start(std::string* error) {
  if (m_thread.joinable()) return true;
  if (!Open(error)) return false;
  m_thread = std::thread([this] {
    while (!m_loop->stop) Poll(std::max(1, m_options.stepMilliseconds));
  });
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
  m_pendingOutput = 0;
}

bool CBackendServer::Adopt(int fd, const std::string& peerAddress) {
  if (!m_loop || fd < 0) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  return m_loop->Add(fd, peerAddress, m_loop->NowMs());
}

void CBackendServer::Poll(int timeoutMilliseconds) {
  if (!m_loop) return;
  Loop& loop = *m_loop;
  int64_t now = loop.NowMs();
  loop.ResumeListener(now);

  // Wait no longer than the next step, the listener's return, or at all
  // when some connection still has requests or a burst in hand.
  int64_t wait = std::min<int64_t>(std::max(0, timeoutMilliseconds), loop.nextStep - now);
  if (loop.listenerPausedUntil != 0) wait = std::min(wait, loop.listenerPausedUntil - now);
  for (const auto& c : loop.connections)
    if ((c->backlog && !loop.OverCap(*c)) || loop.Bursting(*c)) wait = 0;
  const int n = ::epoll_wait(loop.epollFd, loop.events.data(), static_cast<int>(loop.events.size()),
                             static_cast<int>(std::max<int64_t>(0, wait)));
  now = loop.NowMs();
  for (int i = 0; i < n; ++i) {
    const epoll_event& ev = loop.events[static_cast<size_t>(i)];
    if (ev.data.ptr == &g_wakeTag) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t r = ::read(loop.wakeFd, &count, sizeof count);
    } else if (ev.data.ptr == &g_listenTag) {
      loop.AcceptSome(now);
    } else {
      auto* c = static_cast<Connection*>(ev.data.ptr);
      if (ev.events & (EPOLLIN | EPOLLHUP | EPOLLERR)) c->readable = true;
    }
  }

  // Every connection with work gets one turn, starting one further along
  // each pass so that nobody is always served first.
  const size_t count = loop.connections.size();
  const size_t first = count ? loop.rotation++ % count : 0;
  for (size_t k = 0; k < count; ++k) {
    Connection& c = *loop.connections[(first + k) % count];
    if (!c.dead && !loop.OverCap(c) && (c.readable || c.backlog)) loop.Turn(c, now);
    c.readable = false;
    if (loop.Bursting(c)) c.session->ProduceBurst(kBurstBatch, loop.NowSeconds());
    loop.Flush(c, now);
  }

  if (now >= loop.nextStep) {
    const int64_t seconds = loop.NowSeconds();
    for (auto& c : loop.connections) {
      if (c->dead) continue;
      c->session->OnClock(seconds);
      loop.Flush(*c, now);
    }
    loop.nextStep = now + std::max(1, m_options.stepMilliseconds);
  }

  size_t watches = 0, pending = 0;
  for (auto& c : loop.connections) {
    loop.CheckLimits(*c, now);
    loop.SetInterest(*c);
    if (c->dead) {
      ::epoll_ctl(loop.epollFd, EPOLL_CTL_DEL, c->fd, nullptr);
      ::close(c->fd);
      --m_connections;
    } else {
      watches += c->session->WatchCount();
      pending += c->Pending();
    }
  }
  std::erase_if(loop.connections, [](const auto& c) { return c->dead; });
  m_watches = watches;
  m_pendingOutput = pending;
}

}  // namespace kovo::backend
