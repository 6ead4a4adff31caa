#pragma once

#include <atomic>
#include <memory>
#include <string_view>

#include "platform/view.h"

namespace kovo {

class CControlBlock;

inline constexpr int kBeepTradingCalls = 16052;
inline constexpr int kBeepApiOrders = 16053;
inline constexpr int kBeepSave = 5;

// The two beep switches: trading calls and API orders.
class CBeepAlerts {
 public:
  explicit CBeepAlerts(CControlBlock& cb) : m_cb(cb) {}
  // Destroying the window saves, so an unsaved change is kept.
  ~CBeepAlerts();
  CBeepAlerts(const CBeepAlerts&) = delete;
  CBeepAlerts& operator=(const CBeepAlerts&) = delete;

  // Creates the (hidden) window and reads both switches.
  bool Create();
  bool HasWindow() const { return m_view != nullptr; }
  void Show();
  bool IsVisible() const { return m_view && m_view->IsVisible(); }

  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  // Writes both switches in one go; when that fails, each says so.
  void Save();
  // "Zint Api Orders" asks the API-orders switch, any other category the
  // trading-calls one. No window: no beep. Safe from any thread: order API
  // callers ask without waiting for the UI thread.
  bool IsBeepOn(std::string_view category) const;

 private:
  void DestroyWindow();

  CControlBlock& m_cb;
  std::unique_ptr<View> m_view;
  std::atomic<bool> m_hasWindow{false};
  std::atomic<bool> m_tradingCalls{false};
  std::atomic<bool> m_apiOrders{false};
};

}  // namespace kovo
