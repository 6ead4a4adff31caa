#include "plugin/notification.h"

#include <fstream>
#include <utility>

namespace kovo {
namespace {

constexpr int kShortText = 100;
constexpr int kLineHeight = 12;
constexpr int kDisplayMs = 5000;
constexpr int kStepMs = 1;
// The window around the text: room for the title band and the border.
constexpr int kFrameWidth = 20;
constexpr int kFrameHeight = 15;
constexpr int kStackGap = 5;

}  // namespace

sPopupLayout LayoutPopup(std::string_view text) {
  sPopupLayout layout;
  const auto length = static_cast<int>(text.size());
  if (length < kShortText) {
    layout.width = static_cast<int>((length + 30) + length * 5.5);
    layout.height = 40;
    layout.text = std::string(text);
  } else {
    layout.width = 550;
    layout.height = 40;
    for (int n = kShortText; n < length; n += kShortText) layout.height += kLineHeight;
    for (size_t at = 0; at < text.size(); at += kShortText) {
      if (at != 0) layout.text += "\r\n";
      layout.text += text.substr(at, kShortText);
    }
  }
  // Line breaks of the text itself: each "\n" becomes "\r\n" and adds a line.
  std::string converted;
  for (size_t i = 0; i < layout.text.size(); ++i) {
    const char c = layout.text[i];
    if (c == '\n' && (i == 0 || layout.text[i - 1] != '\r')) {
      converted += "\r\n";
      layout.height += kLineHeight;
    } else {
      converted += c;
    }
  }
  layout.text = std::move(converted);
  return layout;
}

TaskbarEdge FindTaskbarEdge(const sRect& screen, const sRect& work) {
  if (work.Width() == screen.Width() && work.bottom < screen.bottom) return TaskbarEdge::kBottom;
  if (work.left == 0 && work.top > 0) return TaskbarEdge::kTop;
  if (work.left > 0 && work.top == 0) return TaskbarEdge::kLeft;
  return TaskbarEdge::kRight;
}

std::atomic<int>& PopupStackOffset() {
  static std::atomic<int> offset{0};
  return offset;
}

// ---- CTaskBarMsgWnd ---------------------------------------------------------

CTaskBarMsgWnd::CTaskBarMsgWnd(UiThread& ui, ViewFactory& views, std::string text, int width,
                               int height, int displayMs, int stepMs, sRect textRect,
                               intptr_t callerValue)
    : m_ui(ui),
      m_text(std::move(text)),
      m_width(width + kFrameWidth),
      m_height(height + kFrameHeight),
      m_displayMs(displayMs),
      m_stepMs(stepMs),
      m_textRect(textRect),
      m_caller(callerValue),
      m_alive(std::make_shared<CTaskBarMsgWnd*>(this)) {
  // Room for the title band above the text and the frame to its right.
  m_textRect.top += 15;
  m_textRect.right += 20;
  m_view = views.CreatePopup(*this);
}

CTaskBarMsgWnd::~CTaskBarMsgWnd() {
  *m_alive = nullptr;
  StopTimer(m_growTimer);
  StopTimer(m_stayTimer);
  StopTimer(m_shrinkTimer);
  if (m_stacked) PopupStackOffset().fetch_sub(m_height);
}

void CTaskBarMsgWnd::StopTimer(UiThread::TimerId& id) {
  if (id != 0) m_ui.StopTimer(id);
  id = 0;
}

void CTaskBarMsgWnd::Start(const sRect& screen, const sRect& workArea) {
  m_workArea = workArea;
  m_edge = FindTaskbarEdge(screen, workArea);
  if (m_edge == TaskbarEdge::kBottom) {
    m_stackBase = PopupStackOffset().fetch_add(m_height);
    m_stacked = true;
  }
  Place();
  if (m_view) m_view->Show(true);
  m_growTimer = m_ui.StartTimer(std::chrono::milliseconds(m_stepMs), [alive = m_alive] {
    if (CTaskBarMsgWnd* self = *alive) self->Grow();
  });
}

void CTaskBarMsgWnd::Grow() {
  ++m_visible;
  Place();
  if (m_visible < m_height) return;
  StopTimer(m_growTimer);
  m_shown = true;
  m_stayTimer = m_ui.StartTimer(std::chrono::milliseconds(m_displayMs), [alive = m_alive] {
    CTaskBarMsgWnd* self = *alive;
    if (!self) return;
    self->StopTimer(self->m_stayTimer);  // once
    self->m_shrinkTimer =
        self->m_ui.StartTimer(std::chrono::milliseconds(self->m_stepMs), [alive2 = self->m_alive] {
          if (CTaskBarMsgWnd* s = *alive2) s->Shrink();
        });
  });
}

void CTaskBarMsgWnd::Shrink() {
  if (m_visible > 0) --m_visible;
  Place();
  if (m_visible > 0) return;
  StopTimer(m_shrinkTimer);
  if (m_stacked) {
    PopupStackOffset().fetch_sub(m_height);
    m_stacked = false;
  }
  m_view.reset();
  m_finished = true;
}

void CTaskBarMsgWnd::Place() {
  const sRect& w = m_workArea;
  switch (m_edge) {
    case TaskbarEdge::kBottom: {
      const int bottom = w.bottom - m_stackBase - kStackGap;
      m_rect = {w.right - m_width, bottom - m_visible, w.right - 10, bottom};
      break;
    }
    case TaskbarEdge::kTop:
      m_rect = {w.right - m_width, w.top, w.right, w.top + m_visible};
      break;
    case TaskbarEdge::kLeft:
      m_rect = {w.left, w.bottom - m_visible, w.left + m_width, w.bottom};
      break;
    case TaskbarEdge::kRight:
      m_rect = {w.right - m_width, w.bottom - m_visible, w.right, w.bottom};
      break;
  }
  if (m_view) m_view->SetGeometry(m_rect);
}

// ---- CNotifications ---------------------------------------------------------

CTaskBarMsgWnd* CNotifications::ShowNotification(std::string_view text, intptr_t callerValue) {
  Collect();
  const sPopupLayout layout = LayoutPopup(text);
  auto window = std::make_unique<CTaskBarMsgWnd>(
      m_ui, m_views, layout.text, layout.width, layout.height, kDisplayMs, kStepMs,
      sRect{10, 10, layout.width - 10, layout.height - 5}, callerValue);
  window->Start(m_screens.ScreenRect(), m_screens.WorkArea());
  m_windows.push_back(std::move(window));
  return m_windows.back().get();
}

void CNotifications::Collect() {
  std::erase_if(m_windows, [](const auto& w) { return w->Finished(); });
}

// ---- CSplashScreen ----------------------------------------------------------

CSplashScreen::CSplashScreen(UiThread& ui, ViewFactory& views, int checkMs, int longestMs)
    : m_ui(ui), m_views(views), m_checkMs(checkMs), m_longestMs(longestMs) {}

CSplashScreen::~CSplashScreen() {
  Close();
}

bool CSplashScreen::Start(const std::filesystem::path& picture) {
  std::fstream file(picture, std::ios::in | std::ios::out | std::ios::binary);
  char magic[2] = {};
  if (!file || !file.read(magic, 2) || magic[0] != 'B' || magic[1] != 'M') return false;
  m_picture = picture;
  m_view = m_views.CreateSplash(*this);
  if (!m_view) return false;
  m_view->Show(true, View::Centre::kScreen);
  m_check = m_ui.StartTimer(std::chrono::milliseconds(m_checkMs), [this] {
    if (text.empty() && !pointerOver) Close();
  });
  m_longest = m_ui.StartTimer(std::chrono::milliseconds(m_longestMs), [this] { Close(); });
  return true;
}

void CSplashScreen::Close() {
  if (m_check != 0) m_ui.StopTimer(m_check);
  if (m_longest != 0) m_ui.StopTimer(m_longest);
  m_check = m_longest = 0;
  m_view.reset();
}

}  // namespace kovo
