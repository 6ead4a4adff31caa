#include "gui/charts/fchart_widget.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "gui/charts/chart_painter.h"

namespace kovo::gui {

FChartWidget::FChartWidget(FChartCtrl& chart, QWidget* parent) : QWidget(parent), m_chart(chart) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  m_chart.SetBitmapWriter([this](const std::string& path) {
    return SaveDisplayListBitmap(m_chart.BuildDisplayList(), path);
  });
  m_chart.BuildContextMenu();
}

void FChartWidget::SetCommandTarget(std::function<bool(int)> run,
                                    std::function<bool(int)> checked) {
  m_run = std::move(run);
  m_checked = std::move(checked);
}

void FChartWidget::FillMenu(QMenu& menu, const sChartMenuItem& item) {
  for (const sChartMenuItem& child : item.items) {
    const QString text = QString::fromStdString(child.text);
    if (!child.items.empty()) {
      auto* sub = new QMenu(text, &menu);
      FillMenu(*sub, child);
      menu.addMenu(sub);
      continue;
    }
    // "Data Table\t\t\t\tCtrl+D": the text, and the key in the shortcut column.
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    QAction* action = menu.addAction(tab < 0 ? text : text.left(tab));
    if (tab >= 0) {
      action->setShortcut(QKeySequence(text.mid(tab).trimmed()));
      // The window takes the keys itself; the menu only shows them.
      action->setShortcutContext(Qt::WidgetShortcut);
      action->setShortcutVisibleInContextMenu(true);
    }
    const int id = child.id;
    action->setData(id);
    const bool checked = m_checked ? m_checked(id) : m_chart.IsChecked(id);
    action->setCheckable(checked);
    action->setChecked(checked);
    connect(action, &QAction::triggered, this, [this, id] {
      if (m_run) {
        m_run(id);
      } else {
        m_chart.OnCommand(id);
      }
      update();
    });
  }
}

void FChartWidget::FillContextMenu(QMenu& menu) {
  FillMenu(menu, m_chart.ContextMenu());
}

void FChartWidget::SyncSize() {
  m_chart.SetPaneSize(width() + 2, height() + 15);
}

QImage FChartWidget::Render() {
  SyncSize();
  return RenderDisplayList(m_chart.BuildDisplayList());
}

void FChartWidget::paintEvent(QPaintEvent*) {
  SyncSize();
  QPainter painter(this);
  PaintDisplayList(painter, m_chart.BuildDisplayList());
}

void FChartWidget::resizeEvent(QResizeEvent*) {
  SyncSize();
}

void FChartWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  m_chart.OnMouseMove(p.x(), p.y(), event->buttons() & Qt::LeftButton);
  update();
}

void FChartWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  m_chart.OnMouseDown(p.x(), p.y());
  update();
}

void FChartWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  m_chart.OnMouseUp(p.x(), p.y());
  update();
}

void FChartWidget::leaveEvent(QEvent*) {
  m_chart.OnMouseLeave();
  update();
}

void FChartWidget::keyPressEvent(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  int command = 0;
  switch (event->key()) {
    case Qt::Key_Z:
      command = ctrl ? (shift ? chart_cmd::kZoomOut : chart_cmd::kZoomIn) : 0;
      break;
    case Qt::Key_C:
      command = ctrl ? (shift ? chart_cmd::kZoomOutCursor : chart_cmd::kZoomInCursor) : 0;
      break;
    case Qt::Key_X:
      command = ctrl ? chart_cmd::kResetZoom : 0;
      break;
    case Qt::Key_N:
      command = ctrl ? chart_cmd::kRecentCandles : 0;
      break;
    case Qt::Key_Delete:
      m_chart.DeleteSelectedStudyLine();
      break;
    case Qt::Key_Left:
      m_chart.OnKeyLeft();
      break;
    case Qt::Key_Right:
      m_chart.OnKeyRight();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  if (command) m_chart.OnCommand(command);
  update();
}

void FChartWidget::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  FillContextMenu(menu);
  menu.exec(event->globalPos());
}

}  // namespace kovo::gui
