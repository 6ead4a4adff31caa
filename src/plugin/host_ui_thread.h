#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <kovozint/host_api.h>

#include "platform/ui_thread.h"

namespace kovo {

// The host's UI thread, reached through the C operations it lends out.
class HostUiThread final : public UiThread {
 public:
  explicit HostUiThread(const KovoUiThreadOps& ops) : m_ops(ops) {}
  ~HostUiThread() override;

  bool IsUiThread() const override;
  bool Post(Task fn) override;
  bool Send(Task fn) override;
  size_t Pump(size_t maxItems) override;
  TimerId StartTimer(std::chrono::milliseconds interval, Task fn) override;
  void StopTimer(TimerId id) override;

 private:
  const KovoUiThreadOps m_ops;
  std::mutex m_mutex;
  // Timer tasks live until their timer stops.
  std::map<TimerId, std::unique_ptr<Task>> m_timers;
  // A timer may stop itself from its own task: its task is freed later.
  std::vector<std::unique_ptr<Task>> m_stopped;
};

}  // namespace kovo
