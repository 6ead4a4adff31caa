#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_thread.h"
#include "platform/view.h"

namespace kovo {

class CControlBlock;

// A pop-up's size before its frame, and its text as drawn.
struct sPopupLayout {
  int width = 0;
  int height = 0;
  std::string text;
};
sPopupLayout LayoutPopup(std::string_view text);

// Which edge of the screen the taskbar takes.
enum class TaskbarEdge : int { kBottom = 200, kTop = 201, kRight = 202, kLeft = 203 };
TaskbarEdge FindTaskbarEdge(const sRect& screen, const sRect& workArea);

// The height of the pop-ups standing at the bottom edge, shared by all.
std::atomic<int>& PopupStackOffset();

// A notice sliding out of the taskbar edge, staying, and sliding back.
class CTaskBarMsgWnd {
 public:
  static constexpr int kGrowTimer = 100;
  static constexpr int kShrinkTimer = 101;
  static constexpr int kStayTimer = 102;
  static constexpr uint32_t kBackColour = 0x7E7E7E;
  static constexpr uint32_t kTextColour = 0xC8FFFF;  // 0x00BBGGRR
  static constexpr const char* kTitle = "Kovo Zint Notification";

  CTaskBarMsgWnd(UiThread& ui, ViewFactory& views, std::string text, int width, int height,
                 int displayMs, int stepMs, sRect textRect, intptr_t callerValue);
  ~CTaskBarMsgWnd();
  CTaskBarMsgWnd(const CTaskBarMsgWnd&) = delete;
  CTaskBarMsgWnd& operator=(const CTaskBarMsgWnd&) = delete;

  // Places the window at the taskbar edge and starts sliding it out.
  void Start(const sRect& screen, const sRect& workArea);
  bool Finished() const { return m_finished; }

  const std::string& Text() const { return m_text; }
  sRect TextRect() const { return m_textRect; }
  int FullWidth() const { return m_width; }
  int FullHeight() const { return m_height; }
  int VisibleHeight() const { return m_visible; }
  bool Shown() const { return m_shown; }
  TaskbarEdge Edge() const { return m_edge; }
  // Where the window stands now, in screen coordinates.
  sRect WindowRect() const { return m_rect; }
  intptr_t CallerValue() const { return m_caller; }

 private:
  void Grow();
  void Shrink();
  void Place();
  void StopTimer(UiThread::TimerId& id);

  UiThread& m_ui;
  std::unique_ptr<View> m_view;
  std::string m_text;
  int m_width;
  int m_height;
  int m_displayMs;
  int m_stepMs;
  sRect m_textRect;
  intptr_t m_caller;
  sRect m_workArea{};
  TaskbarEdge m_edge = TaskbarEdge::kRight;
  int m_stackBase = 0;  // the stack offset below this window
  bool m_stacked = false;
  int m_visible = 0;
  bool m_shown = false;
  bool m_finished = false;
  sRect m_rect{};
  UiThread::TimerId m_growTimer = 0;
  UiThread::TimerId m_stayTimer = 0;
  UiThread::TimerId m_shrinkTimer = 0;
  std::shared_ptr<CTaskBarMsgWnd*> m_alive;
};

// The pop-ups of a session; each goes when its animation ends.
class CNotifications {
 public:
  CNotifications(UiThread& ui, ViewFactory& views, Screens& screens)
      : m_ui(ui), m_views(views), m_screens(screens) {}
  // Sizes, creates and starts one pop-up.
  CTaskBarMsgWnd* ShowNotification(std::string_view text, intptr_t callerValue);
  // Drops the pop-ups whose animation has ended.
  void Collect();
  size_t Count() const { return m_windows.size(); }
  const std::vector<std::unique_ptr<CTaskBarMsgWnd>>& Windows() const { return m_windows; }

 private:
  UiThread& m_ui;
  ViewFactory& m_views;
  Screens& m_screens;
  std::vector<std::unique_ptr<CTaskBarMsgWnd>> m_windows;
};

// The picture shown during automatic login: closes once the pointer is not
// over it at a check, and in any case after the longest time.
class CSplashScreen {
 public:
  static constexpr int kCheckTimer = 1;
  static constexpr int kLongestTimer = 999;

  CSplashScreen(UiThread& ui, ViewFactory& views, int checkMs = 2500, int longestMs = 10000);
  ~CSplashScreen();
  // False (and nothing shown) when the picture cannot be opened for reading
  // and writing or is not a picture.
  bool Start(const std::filesystem::path& picture);
  const std::filesystem::path& Picture() const { return m_picture; }
  std::string text;  // while not empty the splash stays at its checks
  bool IsOpen() const { return m_view != nullptr; }
  // The view says whether the pointer is over it.
  bool pointerOver = false;
  void Close();

 private:
  UiThread& m_ui;
  ViewFactory& m_views;
  int m_checkMs;
  int m_longestMs;
  std::filesystem::path m_picture;
  std::unique_ptr<View> m_view;
  UiThread::TimerId m_check = 0;
  UiThread::TimerId m_longest = 0;
};

}  // namespace kovo
