#include "gui/orders/orders_views.h"

#include <algorithm>

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

#include "orders/api_order_details_dlg.h"
#include "orders/scripts_view_dlg.h"

namespace kovo::gui {

void QtResizeFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (onResize) onResize();
}

// ---- orders window -------------------------------------------------------------------------

QtApiOrdersView::QtApiOrdersView(CApiOrderDetailsDlg& dialog)
    : QtView(new QWidget), m_dialog(dialog) {
  QWidget* window = Widget();
  window->setWindowFlag(Qt::Window);
  window->setAutoFillBackground(true);
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, Qt::white);
  window->setPalette(palette);
  window->resize(900, 300);

  auto* layout = new QVBoxLayout(window);
  m_list = new QtListView(*dialog.List(), window);
  QFont font(CApiOrderDetailsDlg::kFontFace);
  font.setPixelSize(CApiOrderDetailsDlg::kFontHeight);
  font.setWeight(QFont::Normal);
  m_list->setFont(font);
  m_list->setStyleSheet("background: white;");
  layout->addWidget(m_list, 1);
  auto* buttons = new QHBoxLayout;
  m_place = new QPushButton("&Place", window);
  m_ignore = new QPushButton("&Ignore", window);
  m_refresh = new QPushButton("&Refresh", window);
  buttons->addStretch();
  buttons->addWidget(m_place);
  buttons->addWidget(m_ignore);
  buttons->addWidget(m_refresh);
  layout->addLayout(buttons);

  QObject::connect(m_place, &QPushButton::clicked, window,
                   [this] { m_dialog.OnCommand(kIdPlaceButton); });
  QObject::connect(m_ignore, &QPushButton::clicked, window,
                   [this] { m_dialog.OnCommand(kIdIgnoreButton); });
  QObject::connect(m_refresh, &QPushButton::clicked, window,
                   [this] { m_dialog.OnCommand(kIdRefreshButton); });
  QObject::connect(m_list, &QTableView::doubleClicked, window, [this] {
    TakeSelection();
    m_dialog.OnDoubleClick();
  });
  // A right click reaches the owner through the list; the menu is the window's.
  dialog.List()->SetNotify([this](ListNotice notice, int) {
    if (notice != ListNotice::kRightClick || !m_list) return;
    TakeSelection();
    PopupMenu(m_list, m_dialog.ContextMenu(), QCursor::pos(),
              [this](int id) { m_dialog.OnCommand(id); });
  });
  Refresh();
}

void QtApiOrdersView::TakeSelection() {
  if (m_list && m_dialog.List()) CopySelection(*m_list, *m_dialog.List());
}

void QtApiOrdersView::Refresh() {
  if (m_place) m_place->setEnabled(m_dialog.IsPlaceEnabled());
  if (m_ignore) m_ignore->setEnabled(m_dialog.IsIgnoreEnabled());
  if (m_list) m_list->Model()->CellsChanged();
}

// ---- scripts pane --------------------------------------------------------------------------

QtScriptsView::QtScriptsView(CScriptsViewDlg& view) : QtView(new QtResizeFrame), m_view(view) {
  m_frame = static_cast<QtResizeFrame*>(Widget());
  m_frame->setMinimumSize(300, 120);
  m_list = new QtListView(view.List(), m_frame);
  m_resume = new QPushButton("Resume", m_frame);
  m_stop = new QPushButton("Stop", m_frame);
  m_resume->setGeometry(3, 8, 80, 30);
  m_stop->setGeometry(88, 8, 80, 30);
  m_frame->onResize = [this] { Place(); };

  QObject::connect(m_resume, &QPushButton::clicked, m_frame, [this] {
    TakeSelection();
    m_view.OnCommand(kIdResumeButton);
  });
  QObject::connect(m_stop, &QPushButton::clicked, m_frame, [this] {
    TakeSelection();
    m_view.OnCommand(kIdStopButton);
  });
  QObject::connect(m_list, &QTableView::doubleClicked, m_frame, [this] {
    TakeSelection();
    m_view.OnDoubleClick(QApplication::keyboardModifiers() & Qt::ControlModifier);
  });
  view.List().SetNotify([this](ListNotice notice, int) {
    if (notice != ListNotice::kRightClick || !m_list) return;
    TakeSelection();
    PopupMenu(m_list, m_view.ContextMenu(), QCursor::pos(),
              [this](int id) { m_view.OnCommand(id); });
  });
  Refresh();
}

void QtScriptsView::TakeSelection() {
  if (m_list) CopySelection(*m_list, m_view.List());
}

void QtScriptsView::Place() {
  if (!m_frame || !m_list) return;
  const sRect rect = m_view.ListRect(m_frame->width(), m_frame->height());
  m_list->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
}

void QtScriptsView::Refresh() {
  const bool buttons = m_view.ButtonsVisible();
  if (m_resume) {
    m_resume->setVisible(buttons);
    m_resume->setEnabled(m_view.ButtonsEnabled());
  }
  if (m_stop) {
    m_stop->setVisible(buttons);
    m_stop->setEnabled(m_view.ButtonsEnabled());
  }
  Place();
  if (m_list) m_list->Model()->CellsChanged();
}

}  // namespace kovo::gui
