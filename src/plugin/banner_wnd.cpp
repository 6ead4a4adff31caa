#include "plugin/banner_wnd.h"

#include "plugin/plugin_info.h"

namespace kovo {

bool CBannerWnd::Create(ViewFactory& factory) {
  m_view = factory.CreateBanner(*this);
  if (m_view) m_view->SetTitle(Title());
  return m_view != nullptr;
}

void CBannerWnd::SetUserId(std::string userId) {
  m_userId = std::move(userId);
  if (m_view) m_view->Refresh();
}

std::string CBannerWnd::Title() const {
  return std::string(kPluginName) + " " + kPluginVersion;
}

std::string CBannerWnd::UserLine() const {
  return m_userId.empty() ? std::string("Not logged in") : "User: " + m_userId;
}

void CBannerWnd::ShowCentred(View::Centre centre) {
  if (!m_view) return;
  m_view->Refresh();
  m_view->Show(true, centre);
}

void CBannerWnd::Hide() {
  if (m_view) m_view->Show(false);
}

}  // namespace kovo
