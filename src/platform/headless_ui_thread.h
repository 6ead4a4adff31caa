#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/ui_thread.h"

namespace kovo {

struct SendState;

// UI thread without a window system: a task queue drained by Pump, and
// timers on a virtual clock that only moves when told to, so timer
// behaviour is deterministic. The thread that constructs it is the UI thread.
class HeadlessUiThread final : public UiThread {
 public:
  HeadlessUiThread();
  ~HeadlessUiThread() override;  // closes: waiting senders are released

  bool IsUiThread() const override;
  bool Post(Task fn) override;
  bool Send(Task fn) override;
  size_t Pump(size_t maxItems) override;
  TimerId StartTimer(std::chrono::milliseconds interval, Task fn) override;
  void StopTimer(TimerId id) override;

  // Moves the virtual clock forward, firing every timer that falls due on
  // the way, in due order (a repeating timer may fire several times).
  // Returns how many timer callbacks ran. Call on the UI thread.
  size_t AdvanceClock(std::chrono::milliseconds by);
  std::chrono::milliseconds Now() const;

  size_t PendingTasks() const;
  // Blocks until a task is queued (true) or the timeout passes (false); for
  // hosts whose work arrives from other threads, such as network readers.
  bool WaitForTasks(std::chrono::milliseconds timeout);
  bool IsTimerActive(TimerId id) const;
  size_t ActiveTimers() const;

  // Refuses further work and releases threads blocked in Send.
  void Close();

 private:
  struct Item {
    Task fn;
    std::shared_ptr<SendState> send;  // set for Send
  };
  struct Timer {
    std::chrono::milliseconds interval;
    std::chrono::milliseconds due;
    uint64_t order;  // start order breaks ties between timers due together
    std::shared_ptr<Task> fn;
  };

  const std::thread::id m_uiThread;
  mutable std::mutex m_mutex;
  std::condition_variable m_queued;
  std::deque<Item> m_queue;
  bool m_closed = false;

  // Timers are touched only on the UI thread.
  std::map<TimerId, Timer> m_timers;
  TimerId m_nextTimer = 1;
  uint64_t m_nextOrder = 0;
  std::chrono::milliseconds m_now{0};
};

}  // namespace kovo
