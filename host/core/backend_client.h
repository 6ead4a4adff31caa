#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kovo::host {

// A TCP connection to the back end. Frames are written from any thread;
// a reader thread of its own splits the incoming stream into frames.
class CBackendClient {
 public:
  using FrameFn = std::function<void(std::string frame)>;    // on the reader thread
  using ClosedFn = std::function<void(std::string reason)>;  // on the reader thread, once

  CBackendClient(FrameFn onFrame, ClosedFn onClosed);
  ~CBackendClient();
  CBackendClient(const CBackendClient&) = delete;
  CBackendClient& operator=(const CBackendClient&) = delete;

  // Connects (blocking) and starts reading; false with a reason on failure.
  bool Connect(const std::string& host, uint16_t port, std::string* error);
  // Writes one whole frame; false when not connected or the write failed.
  bool Send(std::string_view frame);
  // Closes the connection and waits for the reader; onClosed is not called.
  void Close();
  bool Connected() const { return m_connected.load(); }

 private:
  void ReadLoop(int fd);

  FrameFn m_onFrame;
  ClosedFn m_onClosed;
  std::mutex m_writeMutex;
  std::atomic<int> m_fd{-1};
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_closing{false};
  std::thread m_reader;
};

}  // namespace kovo::host
