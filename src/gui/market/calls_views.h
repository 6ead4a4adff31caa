#pragma once

#include <QPointer>
#include <QPushButton>
#include <QTextEdit>

#include "gui/lists/qt_list_view.h"
#include "gui/qt_view.h"

namespace kovo {

class CBrokerCalls;
class CNews;
class CNewsStory;

namespace gui {

// The broker calls pane: the list alone, its context menu from the logic.
class QtBrokerCallsView final : public QtView {
 public:
  explicit QtBrokerCallsView(CBrokerCalls& calls);
  void Refresh() override;
  QtListView* ListView() const { return m_list; }

 private:
  void TakeSelection();
  CBrokerCalls& m_calls;
  QPointer<QtListView> m_list;
};

// The news window: the list; Enter or a double click opens the story.
class QtNewsView final : public QtView {
 public:
  explicit QtNewsView(CNews& news);
  void Refresh() override;
  QtListView* ListView() const { return m_list; }
  // Enter on the list: the user's row goes to the logic first.
  void OpenSelected();

 private:
  CNews& m_news;
  QPointer<QtListView> m_list;
};

// The story window: the item in rich text over its four buttons.
class QtNewsStoryView final : public QtView {
 public:
  explicit QtNewsStoryView(CNewsStory& story);
  void Refresh() override;
  QTextEdit* Text() const { return m_text; }
  QPushButton* PreviousButton() const { return m_previous; }
  QPushButton* NextButton() const { return m_next; }

 private:
  CNewsStory& m_story;
  QPointer<QTextEdit> m_text;
  QPointer<QPushButton> m_previous;
  QPointer<QPushButton> m_next;
};

}  // namespace gui
}  // namespace kovo
