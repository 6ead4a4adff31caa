#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

#include "gui/charts/fchart_widget.h"
#include "gui/qt_views.h"

namespace kovo {

class CFChartView;

namespace gui {

// How a host finds a chart pane and sees what it shows (a scripted tour
// waits on these before taking a picture).
inline constexpr const char* kChartPaneObjectName = "KovoZintChart";
inline constexpr const char* kChartBarsProperty = "kovoBars";              // int
inline constexpr const char* kChartHistoricalProperty = "kovoHistorical";  // bool
inline constexpr const char* kChartLiveBarProperty = "kovoLiveBar";        // bool

// A chart window's pane: the interval strip over the "Indicators" list and
// the chart, side by side. Behaviour stays with the chart window.
class QtChartPaneView final : public QtView {
 public:
  explicit QtChartPaneView(CFChartView& chart);
  void Refresh() override;

  FChartWidget* ChartWidget() const { return m_chartWidget; }
  QListWidget* IndicatorList() const { return m_list; }
  QLabel* BusyLabel() const { return m_busy; }

 private:
  CFChartView& m_chart;
  QPointer<FChartWidget> m_chartWidget;
  QPointer<QListWidget> m_list;
  QPointer<QLabel> m_busy;
  QPointer<QWidget> m_strip;
  QPointer<QLineEdit> m_interval;
};

}  // namespace gui
}  // namespace kovo
