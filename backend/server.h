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
  // A client that lets this much output pile up is disconnected.
  size_t maxPendingOutput = 64u << 20;
  const Clock* clock = nullptr;  // system clock when null
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

  // Counters for tests and logs.
  size_t Connections() const { return m_connections.load(); }
  size_t ClosedForBadInput() const { return m_badInput.load(); }
  // Watches every connection holds, as of the loop's last pass.
  size_t Watches() const { return m_watches.load(); }

 private:
  struct Loop;
  void Run();

  ServerOptions m_options;
  std::unique_ptr<Loop> m_loop;
  std::thread m_thread;
  uint16_t m_port = 0;
  std::atomic<size_t> m_connections{0};
  std::atomic<size_t> m_badInput{0};
  std::atomic<size_t> m_watches{0};
};

}  // namespace kovo::backend
