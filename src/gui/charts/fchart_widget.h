#pragma once

#include <QWidget>

#include "charts/fchart_ctrl.h"

namespace kovo::gui {

// Shows an FChartCtrl: paints its display list and hands mouse, keys and
// context-menu commands back to it.
class FChartWidget final : public QWidget {
 public:
  FChartWidget(FChartCtrl& chart, QWidget* parent = nullptr);

  FChartCtrl& Chart() { return m_chart; }
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
  FChartCtrl& m_chart;
};

}  // namespace kovo::gui
