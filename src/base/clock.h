#pragma once

#include <chrono>
#include <mutex>

namespace kovo {

// Port for "now", so tests can set the time.
class Clock {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  TimePoint Now() const override;
  static SystemClock& Instance();
};

// A clock that stands still until told otherwise. Thread-safe.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(TimePoint start = TimePoint{}) : m_now(start) {}
  TimePoint Now() const override;
  void Set(TimePoint now);
  void Advance(std::chrono::milliseconds by);

 private:
  mutable std::mutex m_mutex;
  TimePoint m_now;
};

}  // namespace kovo
