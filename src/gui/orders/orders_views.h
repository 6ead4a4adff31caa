#pragma once

#include <functional>

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include "gui/lists/qt_list_view.h"
#include "gui/qt_view.h"

namespace kovo {

class CApiOrderDetailsDlg;
class CScriptsViewDlg;

namespace gui {

// A widget that reports its resizes, so a view can place its children the
// way its logic says.
class QtResizeFrame final : public QWidget {
 public:
  std::function<void()> onResize;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

// An API script's orders window: the list over Place, Ignore and Refresh.
class QtApiOrdersView final : public QtView {
 public:
  explicit QtApiOrdersView(CApiOrderDetailsDlg& dialog);
  void Refresh() override;

  QtListView* ListView() const { return m_list; }
  QPushButton* PlaceButton() const { return m_place; }
  QPushButton* IgnoreButton() const { return m_ignore; }
  QPushButton* RefreshButton() const { return m_refresh; }

 private:
  void TakeSelection();
  CApiOrderDetailsDlg& m_dialog;
  QPointer<QtListView> m_list;
  QPointer<QPushButton> m_place;
  QPointer<QPushButton> m_ignore;
  QPointer<QPushButton> m_refresh;
};

// The scripts pane: Resume and Stop over the list, or the list alone in
// maximized mode.
class QtScriptsView final : public QtView {
 public:
  explicit QtScriptsView(CScriptsViewDlg& view);
  void Refresh() override;

  QtListView* ListView() const { return m_list; }
  QPushButton* ResumeButton() const { return m_resume; }
  QPushButton* StopButton() const { return m_stop; }

 private:
  void TakeSelection();
  void Place();
  CScriptsViewDlg& m_view;
  QPointer<QtResizeFrame> m_frame;
  QPointer<QtListView> m_list;
  QPointer<QPushButton> m_resume;
  QPointer<QPushButton> m_stop;
};

}  // namespace gui
}  // namespace kovo
