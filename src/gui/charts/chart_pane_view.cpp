#include "gui/charts/chart_pane_view.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "charts/fchart_view.h"
#include "gui/charts/fchart_widget.h"

namespace kovo::gui {
namespace {

QWidget* MakeFrame() {
  auto* frame = new QWidget;
  frame->setMinimumSize(400, 250);
  return frame;
}

// The window takes Escape, Enter and the arrows before its controls see them.
class KeyForwarder final : public QObject {
 public:
  KeyForwarder(CFChartView& chart, QObject* parent) : QObject(parent), m_chart(chart) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & Qt::ControlModifier) return false;
    ChartKey chartKey = ChartKey::kOther;
    switch (key->key()) {
      case Qt::Key_Escape:
        chartKey = ChartKey::kEscape;
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        chartKey = ChartKey::kEnter;
        break;
      case Qt::Key_Left:
        chartKey = ChartKey::kLeft;
        break;
      case Qt::Key_Right:
        chartKey = ChartKey::kRight;
        break;
      default:
        return false;
    }
    return m_chart.OnKey(chartKey, false, key->modifiers() & Qt::ShiftModifier);
  }

 private:
  CFChartView& m_chart;
};

}  // namespace

QtChartPaneView::QtChartPaneView(CFChartView& chart) : QtView(MakeFrame()), m_chart(chart) {
  QWidget* frame = Widget();
  frame->setObjectName(QLatin1String(kChartPaneObjectName));
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 1, 0, 0);
  layout->setSpacing(0);

  m_strip = new QWidget(frame);
  auto* strip = new QHBoxLayout(m_strip);
  strip->setContentsMargins(4, 0, 4, 0);
  strip->addWidget(new QLabel("Chart", m_strip));
  m_interval = new QLineEdit(m_strip);
  m_interval->setMaximumWidth(60);
  strip->addWidget(m_interval);
  strip->addWidget(new QLabel("Mins.", m_strip));
  auto* set = new QPushButton("Set Interval", m_strip);
  strip->addWidget(set);
  strip->addStretch();
  m_strip->setFixedHeight(25);
  layout->addWidget(m_strip);
  QObject::connect(set, &QPushButton::clicked, m_strip, [this] {
    m_chart.SetIntervalText(m_interval->text().toStdString());
    m_chart.OnCommand(chart_id::kSetInterval);
  });

  auto* splitter = new QSplitter(Qt::Horizontal, frame);
  auto* column = new QWidget(splitter);
  auto* columnLayout = new QVBoxLayout(column);
  columnLayout->setContentsMargins(0, 0, 0, 0);
  columnLayout->addWidget(new QLabel("Indicators", column));
  m_list = new QListWidget(column);
  for (const std::string& name : m_chart.IndicatorList()) {
    m_list->addItem(QString::fromStdString(name));
  }
  columnLayout->addWidget(m_list);
  QObject::connect(m_list, &QListWidget::itemDoubleClicked, m_list, [this](QListWidgetItem* item) {
    m_chart.OnIndicatorDoubleClick(m_list->row(item));
  });
  QObject::connect(m_list, &QListWidget::currentRowChanged, m_list,
                   [this](int row) { m_chart.SelectIndicator(row); });

  auto* chartColumn = new QWidget(splitter);
  auto* chartLayout = new QVBoxLayout(chartColumn);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  m_busy = new QLabel("Loading...", chartColumn);
  m_busy->setAlignment(Qt::AlignCenter);
  chartLayout->addWidget(m_busy);
  m_chartWidget = new FChartWidget(m_chart.Chart(), chartColumn);
  chartLayout->addWidget(m_chartWidget, 1);
  splitter->addWidget(column);
  splitter->addWidget(chartColumn);
  splitter->setSizes({kIndicatorColumnWidth, 800});
  splitter->setStretchFactor(1, 1);
  layout->addWidget(splitter, 1);
  auto* keys = new KeyForwarder(m_chart, frame);
  frame->installEventFilter(keys);
  m_chartWidget->installEventFilter(keys);
  Refresh();
}

void QtChartPaneView::Refresh() {
  if (!Widget()) return;
  const bool strip = m_chart.VisibleStrip() == CFChartView::Strip::kInterval;
  m_strip->setVisible(strip);
  if (strip && !m_interval->hasFocus()) {
    m_interval->setText(QString::fromStdString(m_chart.IntervalText()));
  }
  m_busy->setVisible(m_chart.BusyShown());
  m_chartWidget->setVisible(m_chart.ChartShown());
  m_chartWidget->update();
  QWidget* frame = Widget();
  frame->setProperty(kChartBarsProperty, static_cast<int>(m_chart.Chart().BarCount()));
  frame->setProperty(kChartHistoricalProperty, m_chart.isHistorical);
  frame->setProperty(kChartLiveBarProperty, m_chart.Chart().LiveBarOpen());
}

}  // namespace kovo::gui
