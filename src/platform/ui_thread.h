#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace kovo {

// The host's user-interface thread as a port. Host calls, replies,
// broadcasts and timers run there; other threads hand work to it.
class UiThread {
 public:
  using Task = std::function<void()>;
  using TimerId = uint64_t;  // 0 is never a valid id

  virtual ~UiThread() = default;

  virtual bool IsUiThread() const = 0;
  // Queues fn to run on the UI thread; returns false once the thread is closed.
  virtual bool Post(Task fn) = 0;
  // Runs fn on the UI thread and waits for it (inline when already there).
  // Returns false, without running fn, when the thread closes first.
  virtual bool Send(Task fn) = 0;
  // Runs up to maxItems queued tasks on the calling (UI) thread; returns how many ran.
  virtual size_t Pump(size_t maxItems) = 0;
  // A repeating timer: fn runs every interval until stopped.
  virtual TimerId StartTimer(std::chrono::milliseconds interval, Task fn) = 0;
  virtual void StopTimer(TimerId id) = 0;
};

}  // namespace kovo
