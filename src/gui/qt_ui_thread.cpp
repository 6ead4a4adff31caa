#include "gui/qt_ui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <mutex>

namespace kovo::gui {

struct QtUiThread::State {
  std::mutex mutex;
  std::deque<Task> queue;
  bool closed = false;
  bool drainScheduled = false;
  QObject* context = nullptr;  // cleared when it is destroyed
  QThread* thread = nullptr;

  // UI thread only.
  size_t budget = std::numeric_limits<size_t>::max();
  size_t ran = 0;
  std::map<TimerId, QTimer*> timers;
  TimerId nextTimer = 1;
};

namespace {

using State = QtUiThread::State;

constexpr size_t kNoBudget = std::numeric_limits<size_t>::max();

void Drain(const std::shared_ptr<State>& state);

// Call with the state's mutex held.
void ScheduleDrain(const std::shared_ptr<State>& state) {
  if (state->drainScheduled || !state->context || state->queue.empty()) return;
  state->drainScheduled = true;
  std::weak_ptr<State> weak = state;
  QMetaObject::invokeMethod(
      state->context,
      [weak] {
        if (auto s = weak.lock()) Drain(s);
      },
      Qt::QueuedConnection);
}

// Runs the oldest queued task; false when there is none or the budget is spent.
bool RunOne(State& state) {
  if (state.budget == 0) return false;
  UiThread::Task task;
  {
    std::lock_guard lock(state.mutex);
    if (state.queue.empty()) return false;
    task = std::move(state.queue.front());
    state.queue.pop_front();
  }
  if (state.budget != kNoBudget) --state.budget;
  ++state.ran;
  // A failing task must not take the host's event loop down with it.
  try {
    task();
  } catch (...) {
  }
  return true;
}

void Drain(const std::shared_ptr<State>& state) {
  size_t waiting = 0;
  {
    std::lock_guard lock(state->mutex);
    state->drainScheduled = false;
    waiting = state->queue.size();
  }
  // Only what was queued when the drain started, so the event loop gets a turn.
  while (waiting-- > 0 && RunOne(*state)) {
  }
  if (state->budget == 0) return;  // Pump schedules the rest when it is done
  std::lock_guard lock(state->mutex);
  ScheduleDrain(state);
}

// Wakes a sender when its task has run or was dropped unrun.
struct SendWaiter {
  std::mutex mutex;
  std::condition_variable cv;
  bool finished = false;
  bool ran = false;

  void Finish(bool didRun) {
    std::lock_guard lock(mutex);
    finished = true;
    ran = ran || didRun;
    cv.notify_all();
  }
};

struct SendGuard {
  explicit SendGuard(std::shared_ptr<SendWaiter> w) : waiter(std::move(w)) {}
  SendGuard(const SendGuard&) = delete;
  SendGuard& operator=(const SendGuard&) = delete;
  ~SendGuard() { waiter->Finish(false); }
  std::shared_ptr<SendWaiter> waiter;
};

}  // namespace

QtUiThread::QtUiThread() : m_state(std::make_shared<State>()) {
  m_state->thread = QCoreApplication::instance() ? QCoreApplication::instance()->thread()
                                                 : QThread::currentThread();
  m_state->context = new QObject();
  if (m_state->context->thread() != m_state->thread)
    m_state->context->moveToThread(m_state->thread);
  std::weak_ptr<State> weak = m_state;
  QObject::connect(m_state->context, &QObject::destroyed, [weak] {
    if (auto s = weak.lock()) {
      std::lock_guard lock(s->mutex);
      s->closed = true;
      s->context = nullptr;
    }
  });
}

QtUiThread::~QtUiThread() {
  Close();
}

void QtUiThread::Close() {
  std::deque<Task> dropped;
  QObject* context = nullptr;
  {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    dropped.swap(m_state->queue);
    context = m_state->context;
  }
  dropped.clear();  // releases waiting senders
  if (IsUiThread()) {
    for (auto& [id, timer] : m_state->timers) delete timer;
    m_state->timers.clear();
    delete context;
  } else if (context) {
    context->deleteLater();
  }
}

bool QtUiThread::IsUiThread() const {
  return QThread::currentThread() == m_state->thread;
}

bool QtUiThread::Post(Task fn) {
  if (!fn) return false;
  std::lock_guard lock(m_state->mutex);
  if (m_state->closed || !m_state->context) return false;
  m_state->queue.push_back(std::move(fn));
  ScheduleDrain(m_state);
  return true;
}

bool QtUiThread::Send(Task fn) {
  if (!fn) return false;
  if (IsUiThread()) {
    {
      std::lock_guard lock(m_state->mutex);
      if (m_state->closed) return false;
    }
    fn();
    return true;
  }
  auto waiter = std::make_shared<SendWaiter>();
  auto guard = std::make_shared<SendGuard>(waiter);
  const bool queued = Post([fn = std::move(fn), guard] {
    fn();
    guard->waiter->Finish(true);
  });
  if (!queued) return false;
  guard.reset();  // the queued task holds the only guard now
  std::unique_lock lock(waiter->mutex);
  waiter->cv.wait(lock, [&] { return waiter->finished; });
  return waiter->ran;
}

size_t QtUiThread::Pump(size_t maxItems) {
  if (!IsUiThread() || maxItems == 0) return 0;
  State& state = *m_state;
  const size_t startRan = state.ran;
  const size_t outerBudget = state.budget;
  state.budget = outerBudget == kNoBudget ? maxItems : std::min(maxItems, outerBudget);
  while (RunOne(state)) {
  }
  if (state.budget > 0 && QCoreApplication::instance())
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  const size_t ran = state.ran - startRan;
  state.budget = outerBudget == kNoBudget ? kNoBudget : outerBudget - std::min(outerBudget, ran);
  if (state.budget != 0) {
    std::lock_guard lock(state.mutex);
    ScheduleDrain(m_state);
  }
  return ran;
}

UiThread::TimerId QtUiThread::StartTimer(std::chrono::milliseconds interval, Task fn) {
  if (!fn || interval.count() < 0) return 0;
  if (!IsUiThread()) {
    TimerId id = 0;
    Send([&] { id = StartTimer(interval, std::move(fn)); });
    return id;
  }
  QObject* context = nullptr;
  {
    std::lock_guard lock(m_state->mutex);
    if (m_state->closed) return 0;
    context = m_state->context;
  }
  if (!context) return 0;
  auto* timer = new QTimer(context);
  timer->setInterval(static_cast<int>(
      std::min<std::chrono::milliseconds::rep>(interval.count(), std::numeric_limits<int>::max())));
  // Shared so the callback may stop its own timer while it runs.
  auto shared = std::make_shared<Task>(std::move(fn));
  QObject::connect(timer, &QTimer::timeout, context, [shared] {
    try {
      (*shared)();
    } catch (...) {
    }
  });
  const TimerId id = m_state->nextTimer++;
  m_state->timers.emplace(id, timer);
  timer->start();
  return id;
}

void QtUiThread::StopTimer(TimerId id) {
  if (!IsUiThread()) {
    Send([this, id] { StopTimer(id); });
    return;
  }
  auto it = m_state->timers.find(id);
  if (it == m_state->timers.end()) return;
  it->second->stop();
  it->second->deleteLater();
  m_state->timers.erase(it);
}

size_t QtUiThread::ActiveTimers() const {
  return m_state->timers.size();
}

}  // namespace kovo::gui

namespace kovo::gui {

size_t QtUiThread::PendingTasks() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->queue.size();
}

}  // namespace kovo::gui
