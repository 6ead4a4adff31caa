#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "backend/service.h"
#include "base/clock.h"

namespace kovo::backend {

struct ServerOptions {
  std::string bindAddress = "127.0.0.1";
  uint16_t port = 0;  // 0: any free port
  ServiceConfig service;
  // Time between market steps (ticks, bars, order matching).
  int stepMilliseconds = 250;
  // A frame larger than this closes its connection.
  uint32_t maxFramePayload = 1u << 20;
  // A connection with more output waiting than outputCap has its requests
  // left unread until it reads; one that stays over the cap without reading
  // a byte for overCapMilliseconds, or lets maxPendingOutput pile up, is
  // closed.
  size_t outputCap = 1u << 20;
  int64_t overCapMilliseconds = 10'000;
  size_t maxPendingOutput = 64u << 20;
  // One connection's turn in a pass of the loop: at most this many requests
  // and this much output, so every other peer is served in the same pass.
  size_t turnRequests = 16;
  size_t turnOutput = 256u << 10;
  // A connection with no byte either way for idleMilliseconds, or with a
  // frame begun and not finished for partialFrameMilliseconds, is closed.
  // 0 switches either off.
  int64_t idleMilliseconds = 15 * 60'000;
  int64_t partialFrameMilliseconds = 30'000;
  // Connections beyond this are accepted and closed at once.
  size_t maxConnections = 256;
  // When accepting fails for want of descriptors or memory, the listener is
  // left alone this long instead of failing again on every pass.
  int64_t acceptBackoffMilliseconds = 250;
  const Clock* clock = nullptr;  // market time; the system clock when null
  // Paces steps and time-outs; a monotonic clock when null, so that a change
  // of the wall clock or a machine's sleep does not close every connection.
  const Clock* timer = nullptr;
};

// The simulated back end on TCP: framed connectkovo messages in and out, one
// loop thread for every connection.
class CBackendServer {
 public:
  explicit CBackendServer(ServerOptions options);
  ~CBackendServer();
  CBackendServer(const CBackendServer&) = delete;
  CBackendServer& operator=(const CBackendServer&) = delete;

  // Binds and starts the loop thread; false with a reason when it cannot.
  bool Start(std::string* error);
  void Stop();
  uint16_t Port() const { return m_port; }

  // Binds without a loop thread: the caller drives the loop with Poll, from
  // one thread. Tests step the server this way.
  bool Open(std::string* error);
  // One pass of the loop: waits at most timeoutMilliseconds for work, gives
  // every connection with work one turn, runs the market step when due and
  // closes connections that broke a limit.
  void Poll(int timeoutMilliseconds);
  // Serves an already connected stream socket, which the server then owns;
  // false (and closed) when the server is full or not open.
  bool Adopt(int fd, const std::string& peerAddress);

  // Counters for tests and logs.
  size_t Connections() const { return m_connections.load(); }
  size_t ClosedForBadInput() const { return m_badInput.load(); }
  size_t ClosedForSlowReading() const { return m_slowReaders.load(); }
  size_t ClosedIdle() const { return m_idle.load(); }
  size_t Refused() const { return m_refused.load(); }
  size_t AcceptFailures() const { return m_acceptFailures.load(); }
  // Output waiting for every connection, as of the loop's last pass.
  size_t PendingOutput() const { return m_pendingOutput.load(); }
  // Watches every connection holds, as of the loop's last pass.
  size_t Watches() const { return m_watches.load(); }

 private:
  struct Loop;

  ServerOptions m_options;
  std::unique_ptr<Loop> m_loop;
  std::thread m_thread;
  uint16_t m_port = 0;
  std::atomic<size_t> m_connections{0};
  std::atomic<size_t> m_badInput{0};
  std::atomic<size_t> m_slowReaders{0};
  std::atomic<size_t> m_idle{0};
  std::atomic<size_t> m_refused{0};
  std::atomic<size_t> m_acceptFailures{0};
  std::atomic<size_t> m_pendingOutput{0};
  std::atomic<size_t> m_watches{0};
};

}  // namespace kovo::backend
