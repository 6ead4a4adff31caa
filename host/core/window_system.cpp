#include "host/core/window_system.h"

#include <optional>

namespace kovo::host {

uint32_t CWindowSystem::RegisterMessage(std::string_view name) {
  if (name.empty()) return 0;
  std::lock_guard lock(m_mutex);
  const auto [it, added] = m_messages.try_emplace(
      std::string(name), kFirstRegisteredMessage + static_cast<uint32_t>(m_messages.size()));
  return it->second;
}

uint64_t CWindowSystem::CreateWindow(std::string_view className, std::string_view windowName,
                                     KovoWndProc proc, void* self) {
  if (!proc) return 0;
  std::lock_guard lock(m_mutex);
  const uint64_t handle = m_nextWindow++;
  m_windows.emplace(handle, Window{std::string(className), std::string(windowName), proc, self});
  return handle;
}

void CWindowSystem::DestroyWindow(uint64_t window) {
  std::lock_guard lock(m_mutex);
  m_windows.erase(window);
}

uint64_t CWindowSystem::FindWindow(std::string_view className, std::string_view windowName) const {
  std::lock_guard lock(m_mutex);
  for (const auto& [handle, window] : m_windows) {
    if ((className.empty() || window.className == className) && window.windowName == windowName) {
      return handle;
    }
  }
  return 0;
}

intptr_t CWindowSystem::SendMessage(uint64_t window, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
  intptr_t result = 0;
  m_ui.Send([&] {
    // Looked up on the UI thread: a window destroyed while the message
    // waited is not called.
    std::optional<Window> target;
    {
      std::lock_guard lock(m_mutex);
      const auto it = m_windows.find(window);
      if (it != m_windows.end()) target = it->second;
    }
    if (target) result = target->proc(target->self, message, wParam, lParam);
  });
  return result;
}

int32_t CWindowSystem::BroadcastMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::vector<uint64_t> handles;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_windows) handles.push_back(entry.first);
  }
  int32_t reached = 0;
  for (const uint64_t handle : handles) {
    bool alive = false;
    {
      std::lock_guard lock(m_mutex);
      alive = m_windows.count(handle) != 0;
    }
    if (!alive) continue;
    SendMessage(handle, message, wParam, lParam);
    ++reached;
  }
  return reached;
}

size_t CWindowSystem::WindowCount() const {
  std::lock_guard lock(m_mutex);
  return m_windows.size();
}

}  // namespace kovo::host
