#include "platform/headless_ui_thread.h"

#include <stdexcept>

namespace kovo {

struct SendState {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool ran = false;
  std::exception_ptr failure;
};

HeadlessUiThread::HeadlessUiThread() : m_uiThread(std::this_thread::get_id()) {}

HeadlessUiThread::~HeadlessUiThread() {
  Close();
}

bool HeadlessUiThread::IsUiThread() const {
  return std::this_thread::get_id() == m_uiThread;
}

bool HeadlessUiThread::Post(Task fn) {
  std::lock_guard lock(m_mutex);
  if (m_closed) return false;
  m_queue.push_back(Item{std::move(fn), nullptr});
  m_queued.notify_all();
  return true;
}

bool HeadlessUiThread::Send(Task fn) {
  if (IsUiThread()) {
    fn();
    return true;
  }
  auto state = std::make_shared<SendState>();
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return false;
    m_queue.push_back(Item{std::move(fn), state});
    m_queued.notify_all();
  }
  std::unique_lock wait(state->mutex);
  state->done.wait(wait, [&] { return state->finished; });
  if (state->failure) std::rethrow_exception(state->failure);
  return state->ran;
}

size_t HeadlessUiThread::Pump(size_t maxItems) {
  if (!IsUiThread()) throw std::logic_error("Pump called off the UI thread");
  size_t ran = 0;
  while (ran < maxItems) {
    Item item;
    {
      std::lock_guard lock(m_mutex);
      if (m_queue.empty()) break;
      item = std::move(m_queue.front());
      m_queue.pop_front();
    }
    ++ran;
    if (item.send) {
      std::exception_ptr failure;
      try {
        item.fn();
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard lock(item.send->mutex);
      item.send->ran = true;
      item.send->failure = failure;
      item.send->finished = true;
      item.send->done.notify_all();
    } else {
      // A posted task has nobody to report to; it must not take the loop down.
      try {
        item.fn();
      } catch (...) {
      }
    }
  }
  return ran;
}

UiThread::TimerId HeadlessUiThread::StartTimer(std::chrono::milliseconds interval, Task fn) {
  if (interval.count() <= 0) interval = std::chrono::milliseconds(1);
  const TimerId id = m_nextTimer++;
  m_timers.emplace(
      id, Timer{interval, m_now + interval, m_nextOrder++, std::make_shared<Task>(std::move(fn))});
  return id;
}

void HeadlessUiThread::StopTimer(TimerId id) {
  m_timers.erase(id);
}

size_t HeadlessUiThread::AdvanceClock(std::chrono::milliseconds by) {
  const auto target = m_now + by;
  size_t fired = 0;
  for (;;) {
    // The earliest due timer; a callback may start or stop timers, so look again each time.
    auto next = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
      if (it->second.due > target) continue;
      if (next == m_timers.end() || it->second.due < next->second.due ||
          (it->second.due == next->second.due && it->second.order < next->second.order))
        next = it;
    }
    if (next == m_timers.end()) break;
    m_now = next->second.due;
    next->second.due += next->second.interval;
    next->second.order = m_nextOrder++;
    const std::shared_ptr<Task> fn = next->second.fn;  // survives StopTimer inside the callback
    ++fired;
    (*fn)();
  }
  m_now = target;
  return fired;
}

std::chrono::milliseconds HeadlessUiThread::Now() const {
  return m_now;
}

size_t HeadlessUiThread::PendingTasks() const {
  std::lock_guard lock(m_mutex);
  return m_queue.size();
}

bool HeadlessUiThread::IsTimerActive(TimerId id) const {
  return m_timers.count(id) != 0;
}

size_t HeadlessUiThread::ActiveTimers() const {
  return m_timers.size();
}

bool HeadlessUiThread::WaitForTasks(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_queued.wait_for(lock, timeout, [&] { return !m_queue.empty() || m_closed; }) &&
         !m_queue.empty();
}

void HeadlessUiThread::Close() {
  std::deque<Item> dropped;
  {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    dropped.swap(m_queue);
    m_queued.notify_all();
  }
  for (Item& item : dropped) {
    if (!item.send) continue;
    std::lock_guard lock(item.send->mutex);
    item.send->finished = true;
    item.send->done.notify_all();
  }
}

}  // namespace kovo
