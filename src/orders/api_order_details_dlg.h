#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace kovo {

struct sApiOrderInfo;

// The orders window of one API script: its rows, newest first, and the
// state its view draws. Lives on the UI thread.
class CApiOrderDetailsDlg {
 public:
  static constexpr const char* kProfileName = "ZintAPi Orders List";

  // The window exists (hidden) from here on; false when it already did.
  bool Create();
  bool IsCreated() const { return m_created; }
  void SetTitle(std::string title) { m_title = std::move(title); }
  const std::string& Title() const { return m_title; }

  // A new record becomes the newest row.
  void InsertRow(sApiOrderInfo* record) { m_rows.push_front(record); }
  const std::deque<sApiOrderInfo*>& Rows() const { return m_rows; }

  // Shown for the user without taking the focus from the caller's window.
  void ShowWithoutActivating() { m_visible = true; }
  bool IsVisible() const { return m_visible; }
  bool IsActive() const { return m_active; }

  void EnablePlaceAndIgnore(bool enable) {
    m_placeEnabled = enable;
    m_ignoreEnabled = enable;
  }
  bool IsPlaceEnabled() const { return m_placeEnabled; }
  bool IsIgnoreEnabled() const { return m_ignoreEnabled; }

 private:
  bool m_created = false;
  bool m_visible = false;
  bool m_active = false;
  bool m_placeEnabled = false;
  bool m_ignoreEnabled = false;
  std::string m_title;
  std::deque<sApiOrderInfo*> m_rows;
};

}  // namespace kovo
