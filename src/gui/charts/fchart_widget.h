#pragma once

#include <QWidget>
#include <functional>

#include "charts/fchart_ctrl.h"

class QMenu;

namespace kovo::gui {

// Shows an FChartCtrl: paints its display list and hands mouse, keys and
// context-menu commands back to it.
class FChartWidget final : public QWidget {
 public:
  FChartWidget(FChartCtrl& chart, QWidget* parent = nullptr);

  FChartCtrl& Chart() { return m_chart; }
  // The window that owns the chart takes its own menu commands (lock,
  // intervals, periods) and passes the rest on; without one every command
  // goes to the chart control.
  void SetCommandTarget(std::function<bool(int)> run, std::function<bool(int)> checked);
  // The context menu's items, each running its command when triggered.
  void FillContextMenu(QMenu& menu);
  // What a redraw would paint, at the widget's size.
  QImage Render();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void SyncSize();
  void FillMenu(QMenu& menu, const sChartMenuItem& item);
  FChartCtrl& m_chart;
  std::function<bool(int)> m_run;
  std::function<bool(int)> m_checked;
};

}  // namespace kovo::gui
