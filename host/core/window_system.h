#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

#include "platform/ui_thread.h"

namespace kovo::host {

// The part of a desktop's window manager a plug-in relies on: message names
// registered process-wide and hidden windows that receive messages on the
// UI thread. Thread-safe.
class CWindowSystem {
 public:
  // Registered messages start where the desktop's registered messages do.
  static constexpr uint32_t kFirstRegisteredMessage = 0xC000;

  explicit CWindowSystem(UiThread& ui) : m_ui(ui) {}

  uint32_t RegisterMessage(std::string_view name);
  uint64_t CreateWindow(std::string_view className, std::string_view windowName, KovoWndProc proc,
                        void* self);
  void DestroyWindow(uint64_t window);
  uint64_t FindWindow(std::string_view className, std::string_view windowName) const;
  // Runs the handler on the UI thread (inline when already there); 0 for a
  // window that is unknown or destroyed before the UI thread got to it.
  intptr_t SendMessage(uint64_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  int32_t BroadcastMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  size_t WindowCount() const;

 private:
  struct Window {
    std::string className;
    std::string windowName;
    KovoWndProc proc;
    void* self;
  };

  UiThread& m_ui;
  mutable std::mutex m_mutex;
  std::map<std::string, uint32_t> m_messages;
  std::map<uint64_t, Window> m_windows;
  uint64_t m_nextWindow = 1;
};

}  // namespace kovo::host
