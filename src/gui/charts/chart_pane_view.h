#pragma once

#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>

#include "gui/charts/fchart_widget.h"
#include "gui/qt_view.h"

namespace kovo {

class CFChartView;

namespace gui {

// How a host finds a chart pane and sees what it shows (a scripted tour
// waits on these before taking a picture).
inline constexpr const char* kChartPaneObjectName = "KovoZintChart";
inline constexpr const char* kChartControlObjectName = "KovoZintChartControl";
inline constexpr const char* kChartIndicatorListObjectName = "KovoZintIndicators";
inline constexpr const char* kChartSettingsObjectName = "KovoZintChartSettings";
inline constexpr const char* kChartDataTableObjectName = "KovoZintDataTable";
inline constexpr const char* kChartBarsProperty = "kovoBars";              // int
inline constexpr const char* kChartHistoricalProperty = "kovoHistorical";  // bool
inline constexpr const char* kChartLiveBarProperty = "kovoLiveBar";        // bool
// The newest drawn bar (the live bar once a tick opened it).
inline constexpr const char* kChartLastCloseProperty = "kovoLastClose";      // double
inline constexpr const char* kChartLastTimeProperty = "kovoLastTime";        // double, chart time
inline constexpr const char* kChartVisibleBarsProperty = "kovoVisibleBars";  // int
inline constexpr const char* kChartIntervalProperty = "kovoInterval";        // int, minutes

// A chart window's pane: a tool row with the interval or the historical
// strip, over the "Indicators" list and the chart side by side, with the
// scroll bar under the chart. Behaviour stays with the chart window.
class QtChartPaneView final : public QtView {
 public:
  explicit QtChartPaneView(CFChartView& chart);
  void Refresh() override;

  FChartWidget* ChartWidget() const { return m_chartWidget; }
  QListWidget* IndicatorList() const { return m_list; }
  QProgressBar* BusyIndicator() const { return m_busy; }
  QWidget* IntervalStrip() const { return m_intervalStrip; }
  QWidget* HistoricalStrip() const { return m_historicalStrip; }
  QSpinBox* IntervalBox() const { return m_interval; }
  QDateEdit* FromDate() const { return m_from; }
  QDateEdit* ToDate() const { return m_to; }
  QPushButton* StripToggle() const { return m_toggle; }
  QPushButton* ApplyButton() const { return m_apply; }
  QPushButton* CancelButton() const { return m_cancel; }
  QScrollBar* ScrollBar() const { return m_scroll; }

 private:
  QWidget* BuildToolRow(QWidget* parent);
  void SyncScrollBar();
  void SyncIndicatorList();

  CFChartView& m_chart;
  QPointer<FChartWidget> m_chartWidget;
  QPointer<QListWidget> m_list;
  QPointer<QProgressBar> m_busy;
  QPointer<QWidget> m_intervalStrip;
  QPointer<QWidget> m_historicalStrip;
  QPointer<QLabel> m_chartLabel;
  QPointer<QSpinBox> m_interval;
  QPointer<QDateEdit> m_from;
  QPointer<QDateEdit> m_to;
  QPointer<QPushButton> m_toggle;
  QPointer<QPushButton> m_apply;
  QPointer<QPushButton> m_cancel;
  QPointer<QScrollBar> m_scroll;
};

}  // namespace gui
}  // namespace kovo
