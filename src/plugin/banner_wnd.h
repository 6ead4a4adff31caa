#pragma once

#include <memory>
#include <string>

#include "platform/view.h"

namespace kovo {

// The small window that greets the user with the product's name and the
// id they are (or are about to be) logged in with.
class CBannerWnd {
 public:
  CBannerWnd() = default;
  CBannerWnd(const CBannerWnd&) = delete;
  CBannerWnd& operator=(const CBannerWnd&) = delete;

  // Makes the view; false when the factory gives none (the banner then
  // counts as a window that does not exist).
  bool Create(ViewFactory& factory);
  bool HasWindow() const { return m_view != nullptr; }
  void Destroy() { m_view.reset(); }

  const std::string& UserId() const { return m_userId; }
  void SetUserId(std::string userId);
  // "Kovo Zint 3.5.2.0" and the user line the view shows.
  std::string Title() const;
  std::string UserLine() const;

  void ShowCentred(View::Centre centre);
  void Hide();
  bool IsVisible() const { return m_view && m_view->IsVisible(); }

 private:
  std::string m_userId;
  std::unique_ptr<View> m_view;
};

}  // namespace kovo
