#pragma once

#include <chrono>

#include "platform/headless_ui_thread.h"

namespace kovo::test {

// Runs the UI thread's tasks until pred holds; false after `limit` without it.
// `poll` bounds each idle wait, for conditions that other threads change.
template <typename Pred>
bool PumpUntil(HeadlessUiThread& ui, Pred pred, std::chrono::milliseconds poll,
               std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (ui.Pump(1000) == 0) ui.WaitForTasks(poll);
  }
  return true;
}

}  // namespace kovo::test
