#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "market/news_details.h"
#include "platform/shell.h"
#include "platform/view.h"
#include "ui/filter_list_ctrl.h"

namespace kovo {

class CControlBlock;

inline constexpr int kCmdNews = 14003;
inline constexpr int kCmdTechnicalCalls = 14004;
inline constexpr int kCmdResearchCalls = 14005;
inline constexpr int kCmdNewsWriteToExcel = 14010;
inline constexpr int kCmdNewsGridLines = 14011;
inline constexpr int kIdNextStory = 1713;
inline constexpr int kIdPreviousStory = 1714;
inline constexpr int kIdEmailStory = 1715;
inline constexpr int kIdPrintStory = 1716;

// One item of a list of calls in full, stepping through its neighbours.
class CNewsStory {
 public:
  CNewsStory(CallList& items, Shell& shell, std::filesystem::path workingDir)
      : m_items(items), m_shell(shell), m_workingDir(std::move(workingDir)) {}

  // Opens on an item of the global list; false when there is none at index.
  bool Open(size_t index);
  // Opens on an item of another list, which the story then steps through.
  bool Open(sStorySource source, size_t index);
  bool OnCommand(int id);
  void Previous();
  void Next();
  bool Email();
  bool Print();

  bool IsOpen() const { return m_open; }
  size_t Index() const { return m_index; }
  const std::string& Caption() const { return m_caption; }
  // Headline, two line feeds, body; the headline is bold at 15 points.
  std::string Content() const;
  int Icon() const;
  bool PreviousVisible() const { return m_open && m_index > 0; }
  bool NextVisible() const { return m_open && m_index + 1 < Count(); }

  // The mail address a story goes out with.
  static std::string MailTarget(const sNewsDetails& item);
  // The story as rich text, for printing.
  static std::string RichText(const sNewsDetails& item);
  const sNewsDetails* Item() const { return m_open ? At(m_index) : nullptr; }

  // Told after each item shown (and so marked read).
  std::function<void()> onShown;

  // The window, when the window system makes one; it follows every step.
  void SetView(std::unique_ptr<View> view) { m_view = std::move(view); }
  View* GetView() const { return m_view.get(); }

 private:
  void Show(size_t index, const char* captionHead);
  size_t Count() const;
  sNewsDetails* At(size_t index) const;

  CallList& m_items;
  sStorySource m_source;  // none: the global list
  Shell& m_shell;
  std::filesystem::path m_workingDir;
  size_t m_index = 0;
  bool m_open = false;
  std::string m_caption;
  std::unique_ptr<View> m_view;
};

// The news window: every call and news item with its colours and icons,
// filtered by tab, opening the story window on Enter.
class CNews {
 public:
  static constexpr const char* kProfileName = "News";
  CNews(CControlBlock& cb, CNewsFeed& feed, Shell& shell, std::filesystem::path workingDir);

  // Fills the list from the global list of calls again.
  void Reload();
  // Shift+N: only the calls whose Symbol column names the scrip. The column
  // holds each scrip as its call named it, by trading symbol or by token,
  // so either matches one of its entries whole. No names: every call.
  void ShowScrip(const std::string& tradingSymbol, const std::string& token);
  bool ShowsItem(size_t index) const;
  // The newest item of the global list goes on top.
  void AddNewest();
  CFilterListCtrl& List() { return m_list; }
  bool Cell(size_t index, int column, sCellInfo& cell) const;
  std::vector<sMenuItem> ContextMenu() const;
  bool OnCommand(int id);
  // Enter: the story of the first selected row.
  bool OnEnter();
  const std::string& Caption() const { return m_caption; }
  CNewsStory& Story() { return m_story; }
  // After the story window showed an item: the other lists' read marks.
  std::function<void()> onStoryShown;
  // Makes the window and its story window and shows the list.
  bool Show();
  // The story window's view, made once, for stories opened from elsewhere.
  void EnsureStoryView();
  View* GetView() const { return m_view.get(); }

 private:
  void FilterTab(const char* tab, std::string caption);
  void SetCaption(std::string caption);

  CControlBlock& m_cb;
  CNewsFeed& m_feed;
  CFilterListCtrl m_list;
  CNewsStory m_story;
  std::string m_caption = "News";
  std::vector<std::string> m_scripNames;  // Shift+N's scrip; empty: all
  std::unique_ptr<View> m_view;
};

}  // namespace kovo
