#include "plugin/host_ui_thread.h"

#include <climits>

#include "platform/headless_ui_thread.h"
#include "platform/headless_views.h"
#include "plugin/ports.h"

namespace kovo {
namespace {

void RunOnce(void* arg) {
  std::unique_ptr<UiThread::Task> task(static_cast<UiThread::Task*>(arg));
  (*task)();
}

void RunBorrowed(void* arg) {
  (*static_cast<UiThread::Task*>(arg))();
}

}  // namespace

HostUiThread::~HostUiThread() {
  std::lock_guard lock(m_mutex);
  for (const auto& entry : m_timers) m_ops.stopTimer(m_ops.self, entry.first);
}

bool HostUiThread::IsUiThread() const {
  return m_ops.isUiThread(m_ops.self) != 0;
}

bool HostUiThread::Post(Task fn) {
  auto task = std::make_unique<Task>(std::move(fn));
  if (!m_ops.post(m_ops.self, &RunOnce, task.get())) return false;
  task.release();  // the queued item owns it now
  return true;
}

bool HostUiThread::Send(Task fn) {
  return m_ops.send(m_ops.self, &RunBorrowed, &fn) != 0;
}

size_t HostUiThread::Pump(size_t maxItems) {
  const int32_t n = static_cast<int32_t>(std::min<size_t>(maxItems, INT32_MAX));
  const int32_t ran = m_ops.pump(m_ops.self, n);
  return ran > 0 ? static_cast<size_t>(ran) : 0;
}

UiThread::TimerId HostUiThread::StartTimer(std::chrono::milliseconds interval, Task fn) {
  auto task = std::make_unique<Task>(std::move(fn));
  const auto ms = static_cast<int32_t>(std::min<int64_t>(interval.count(), INT32_MAX));
  std::lock_guard lock(m_mutex);
  m_stopped.clear();
  const TimerId id = m_ops.startTimer(m_ops.self, ms, &RunBorrowed, task.get());
  if (id != 0) m_timers.emplace(id, std::move(task));
  return id;
}

void HostUiThread::StopTimer(TimerId id) {
  {
    std::lock_guard lock(m_mutex);
    const auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    m_stopped.push_back(std::move(it->second));
    m_timers.erase(it);
  }
  m_ops.stopTimer(m_ops.self, id);
}

PluginPorts MakeHeadlessPorts(const HostResolver& resolve) {
  PluginPorts ports;
  const auto lend = ResolveHost<decltype(&kovo_host_ui_thread)>(resolve, "kovo_host_ui_thread");
  const KovoUiThreadOps* ops = lend ? lend() : nullptr;
  if (ops && ops->isUiThread && ops->post && ops->send && ops->pump && ops->startTimer &&
      ops->stopTimer) {
    ports.ui = std::make_unique<HostUiThread>(*ops);
  } else {
    ports.ui = std::make_unique<HeadlessUiThread>();
  }
  ports.dialogs = std::make_unique<HeadlessDialogs>();
  ports.views = std::make_unique<HeadlessViewFactory>();
  ports.frame = std::make_unique<HeadlessHostFrame>();
  return ports;
}

}  // namespace kovo
