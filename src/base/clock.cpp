#include "base/clock.h"

namespace kovo {

Clock::TimePoint SystemClock::Now() const {
  return std::chrono::system_clock::now();
}

SystemClock& SystemClock::Instance() {
  static SystemClock instance;
  return instance;
}

Clock::TimePoint ManualClock::Now() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_now;
}

void ManualClock::Set(TimePoint now) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_now = now;
}

void ManualClock::Advance(std::chrono::milliseconds by) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_now += by;
}

}  // namespace kovo
