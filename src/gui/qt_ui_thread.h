#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "platform/ui_thread.h"

class QObject;

namespace kovo::gui {

// The UI thread of a Qt application: tasks run from the event loop of the
// thread that owns the application object. Construct it on that thread.
// Posted tasks wait in a queue of our own so Pump can run an exact number.
class QtUiThread final : public UiThread {
 public:
  QtUiThread();
  ~QtUiThread() override;  // closes: queued tasks are dropped, timers stop
  QtUiThread(const QtUiThread&) = delete;
  QtUiThread& operator=(const QtUiThread&) = delete;

  bool IsUiThread() const override;
  bool Post(Task fn) override;
  bool Send(Task fn) override;
  // Runs up to maxItems queued tasks, then lets Qt deliver its own pending
  // events (sockets, timers, paints) within what is left of the budget.
  size_t Pump(size_t maxItems) override;
  TimerId StartTimer(std::chrono::milliseconds interval, Task fn) override;
  void StopTimer(TimerId id) override;

  // Refuses further work; Post and Send return false afterwards.
  void Close();
  size_t ActiveTimers() const;
  size_t PendingTasks() const;

  struct State;

 private:
  std::shared_ptr<State> m_state;
};

}  // namespace kovo::gui
