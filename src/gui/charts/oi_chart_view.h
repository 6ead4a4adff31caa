#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <vector>

#include "gui/qt_view.h"

namespace kovo {
class CBarChartDlg;
}

namespace kovo::gui {

inline constexpr const char* kOiChartObjectName = "ZintOpenInterestChart";

// The open interest chart's bar chart: per strike the call's open interest
// and change, then the put's, once every row is in; the chart's own tooltip
// text for the strike under the mouse.
class QtOiChartWidget final : public QWidget {
 public:
  explicit QtOiChartWidget(const CBarChartDlg& chart, QWidget* parent = nullptr);

  // Where each of the chart's bars is drawn, in the chart's order; empty
  // while rows are missing.
  std::vector<QRect> BarRects() const;
  // The strike whose group holds the point; -1 elsewhere.
  int StrikeAt(const QPoint& point) const;
  // What a redraw paints, at the widget's size.
  QImage Render();

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // The chart's area: the client area less 4 pixels each way.
  QRect Area() const;
  QRect Plot() const;
  void Paint(QPainter& painter);

  const CBarChartDlg& m_chart;
};

// The chart's window: the bar chart filling it. The widget carries what it
// draws as properties: "rowsIn" (quote rows received) and "bars" (bars drawn).
class QtOiChartView final : public QtView {
 public:
  explicit QtOiChartView(CBarChartDlg& chart);
  void Refresh() override;
  QtOiChartWidget* Chart() const { return m_chartWidget; }

 private:
  const CBarChartDlg& m_chart;
  QPointer<QtOiChartWidget> m_chartWidget;
};

}  // namespace kovo::gui
