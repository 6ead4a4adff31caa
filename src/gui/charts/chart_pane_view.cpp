#include "gui/charts/chart_pane_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "charts/fchart_view.h"
#include "gui/charts/fchart_widget.h"

namespace kovo::gui {
namespace {

QWidget* MakeFrame() {
  auto* frame = new QWidget;
  frame->setMinimumSize(400, 250);
  return frame;
}

constexpr int kScrollSteps = 10000;
constexpr const char* kPickerFormat = "MM/dd/yyyy";  // the window's "%m/%d/%Y"

// The window takes its keys (Escape, Enter, the arrows and the Ctrl
// commands) before its controls see them.
class KeyForwarder final : public QObject {
 public:
  KeyForwarder(CFChartView& chart, QObject* parent) : QObject(parent), m_chart(chart) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    const ChartKey chartKey = ctrl ? CtrlKey(key->key()) : PlainKey(key->key());
    if (chartKey == ChartKey::kOther) return false;
    const bool used = m_chart.OnKey(chartKey, ctrl, shift);
    if (used && chartKey != ChartKey::kEscape) {
      if (auto* widget = qobject_cast<QWidget*>(watched)) widget->update();
    }
    return used;
  }

 private:
  static ChartKey PlainKey(int key) {
    switch (key) {
      case Qt::Key_Escape:
        return ChartKey::kEscape;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        return ChartKey::kEnter;
      case Qt::Key_Left:
        return ChartKey::kLeft;
      case Qt::Key_Right:
        return ChartKey::kRight;
      default:
        return ChartKey::kOther;
    }
  }
  static ChartKey CtrlKey(int key) {
    switch (key) {
      case Qt::Key_Z:
        return ChartKey::kZ;
      case Qt::Key_C:
        return ChartKey::kC;
      case Qt::Key_X:
        return ChartKey::kX;
      case Qt::Key_N:
        return ChartKey::kN;
      case Qt::Key_D:
        return ChartKey::kD;
      case Qt::Key_P:
        return ChartKey::kP;
      default:
        return ChartKey::kOther;
    }
  }

  CFChartView& m_chart;
};

QDate PickerDate(const std::string& text) {
  const QDate date = QDate::fromString(QString::fromStdString(text), QLatin1String(kPickerFormat));
  return date.isValid() ? date : QDate::currentDate();
}

}  // namespace

QtChartPaneView::QtChartPaneView(CFChartView& chart) : QtView(MakeFrame()), m_chart(chart) {
  QWidget* frame = Widget();
  frame->setObjectName(QLatin1String(kChartPaneObjectName));
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 1, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildToolRow(frame));

  auto* splitter = new QSplitter(Qt::Horizontal, frame);
  auto* column = new QWidget(splitter);
  auto* columnLayout = new QVBoxLayout(column);
  columnLayout->setContentsMargins(0, 0, 0, 0);
  columnLayout->addWidget(new QLabel("Indicators", column));
  m_list = new QListWidget(column);
  m_list->setObjectName(QLatin1String(kChartIndicatorListObjectName));
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  columnLayout->addWidget(m_list);
  QObject::connect(m_list, &QListWidget::itemDoubleClicked, m_list, [this](QListWidgetItem* item) {
    m_chart.OnIndicatorDoubleClick(m_list->row(item));
    Refresh();
  });
  QObject::connect(m_list, &QListWidget::customContextMenuRequested, m_list,
                   [this](const QPoint& at) {
                     const int row = m_list->row(m_list->itemAt(at));
                     if (row < 0) return;
                     QMenu menu(m_list);
                     QAction* add = menu.addAction(QStringLiteral("&Add Indicator"));
                     QAction* remove = menu.addAction(QStringLiteral("&Remove Indicator"));
                     remove->setEnabled(m_chart.IndicatorShown(row));
                     QAction* picked = menu.exec(m_list->viewport()->mapToGlobal(at));
                     if (picked == add) m_chart.OnIndicatorDoubleClick(row);
                     if (picked == remove) m_chart.RemoveIndicatorAt(row);
                     Refresh();
                   });
  QObject::connect(m_list, &QListWidget::currentRowChanged, m_list,
                   [this](int row) { m_chart.SelectIndicator(row); });

  auto* chartColumn = new QWidget(splitter);
  auto* chartLayout = new QVBoxLayout(chartColumn);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  chartLayout->setSpacing(0);
  // Loading: a running bar centred where the chart will be.
  m_busy = new QProgressBar(chartColumn);
  m_busy->setRange(0, 0);
  m_busy->setTextVisible(false);
  m_busy->setFixedSize(160, 14);
  chartLayout->addStretch(1);
  chartLayout->addWidget(m_busy, 0, Qt::AlignCenter);
  chartLayout->addStretch(1);
  m_chartWidget = new FChartWidget(m_chart.Chart(), chartColumn);
  m_chartWidget->setObjectName(QLatin1String(kChartControlObjectName));
  m_chartWidget->SetCommandTarget([this](int id) { return m_chart.OnCommand(id); },
                                  [this](int id) { return m_chart.IsMenuChecked(id); });
  chartLayout->addWidget(m_chartWidget, 100);
  m_scroll = new QScrollBar(Qt::Horizontal, chartColumn);
  chartLayout->addWidget(m_scroll);
  QObject::connect(m_scroll, &QScrollBar::valueChanged, m_scroll, [this](int value) {
    FChartCtrl& c = m_chart.Chart();
    c.SetViewPort(static_cast<double>(value) / kScrollSteps, c.ViewWidth());
    m_chartWidget->update();
  });
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

QWidget* QtChartPaneView::BuildToolRow(QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* rowLayout = new QHBoxLayout(row);
  rowLayout->setContentsMargins(4, 0, 4, 0);
  rowLayout->setSpacing(4);
  m_toggle = new QPushButton("<>", row);
  m_toggle->setFixedWidth(28);
  rowLayout->addWidget(m_toggle);
  m_chartLabel = new QLabel("Chart", row);
  rowLayout->addWidget(m_chartLabel);
  QObject::connect(m_toggle, &QPushButton::clicked, row,
                   [this] { m_chart.OnCommand(chart_id::kStripToggle); });

  m_intervalStrip = new QWidget(row);
  auto* interval = new QHBoxLayout(m_intervalStrip);
  interval->setContentsMargins(0, 0, 0, 0);
  m_interval = new QSpinBox(m_intervalStrip);
  m_interval->setRange(0, 1000);
  m_interval->setMaximumWidth(70);
  interval->addWidget(m_interval);
  interval->addWidget(new QLabel("Mins.", m_intervalStrip));
  auto* set = new QPushButton("Set Interval", m_intervalStrip);
  interval->addWidget(set);
  rowLayout->addWidget(m_intervalStrip);
  const auto setInterval = [this] {
    m_chart.SetIntervalText(m_interval->text().toStdString());
    m_chart.OnCommand(chart_id::kSetInterval);
  };
  QObject::connect(set, &QPushButton::clicked, m_intervalStrip, setInterval);

  m_historicalStrip = new QWidget(row);
  auto* historical = new QHBoxLayout(m_historicalStrip);
  historical->setContentsMargins(0, 0, 0, 0);
  historical->addWidget(new QLabel("From", m_historicalStrip));
  m_from = new QDateEdit(m_historicalStrip);
  historical->addWidget(m_from);
  historical->addWidget(new QLabel("To", m_historicalStrip));
  m_to = new QDateEdit(m_historicalStrip);
  historical->addWidget(m_to);
  for (QDateEdit* picker : {m_from.data(), m_to.data()}) {
    picker->setCalendarPopup(true);
    // Month first, as the legend and the axis read.
    picker->setDisplayFormat(QLatin1String(kPickerFormat));
  }
  m_apply = new QPushButton("&Apply", m_historicalStrip);
  m_cancel = new QPushButton("&Cancel", m_historicalStrip);
  historical->addWidget(m_apply);
  historical->addWidget(m_cancel);
  rowLayout->addWidget(m_historicalStrip);
  rowLayout->addStretch(1);
  QObject::connect(m_apply, &QPushButton::clicked, m_historicalStrip, [this] {
    const QString format = QLatin1String(kPickerFormat);
    m_chart.SetDates(m_from->date().toString(format).toStdString(),
                     m_to->date().toString(format).toStdString());
    m_chart.OnCommand(chart_id::kApply);
  });
  QObject::connect(m_cancel, &QPushButton::clicked, m_historicalStrip,
                   [this] { m_chart.OnCommand(chart_id::kCancel); });
  row->setFixedHeight(26);
  return row;
}

void QtChartPaneView::SyncScrollBar() {
  const FChartCtrl& c = m_chart.Chart();
  const int page = std::clamp(static_cast<int>(c.ViewWidth() * kScrollSteps), 1, kScrollSteps);
  const QSignalBlocker quiet(m_scroll);
  m_scroll->setRange(0, kScrollSteps - page);
  m_scroll->setPageStep(page);
  m_scroll->setSingleStep(std::max(1, page / 10));
  m_scroll->setValue(static_cast<int>(c.ViewLeft() * kScrollSteps));
  m_scroll->setEnabled(c.ScrollEnabled());
}

void QtChartPaneView::SyncIndicatorList() {
  const std::vector<std::string>& names = m_chart.IndicatorList();
  bool same = m_list->count() == static_cast<int>(names.size());
  for (int i = 0; same && i < m_list->count(); ++i)
    same = m_list->item(i)->text().toStdString() == names[static_cast<size_t>(i)];
  if (!same) {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (const std::string& name : names) m_list->addItem(QString::fromStdString(name));
  }
  // What the chart draws stands out.
  for (int i = 0; i < m_list->count(); ++i) {
    QListWidgetItem* item = m_list->item(i);
    QFont font = item->font();
    const bool shown = m_chart.IndicatorShown(i);
    if (font.bold() != shown) {
      font.setBold(shown);
      item->setFont(font);
    }
  }
}

void QtChartPaneView::Refresh() {
  if (!Widget()) return;
  SyncIndicatorList();
  const CFChartView::Strip strip = m_chart.VisibleStrip();
  m_chartLabel->setVisible(strip != CFChartView::Strip::kNone);
  m_intervalStrip->setVisible(strip == CFChartView::Strip::kInterval);
  m_historicalStrip->setVisible(strip == CFChartView::Strip::kHistorical);
  if (strip == CFChartView::Strip::kInterval && !m_interval->hasFocus()) {
    bool number = false;
    const int minutes = QString::fromStdString(m_chart.IntervalText()).trimmed().toInt(&number);
    m_interval->setValue(number ? minutes : 0);
  }
  if (strip == CFChartView::Strip::kHistorical &&
      !m_historicalStrip->isAncestorOf(QApplication::focusWidget())) {
    m_from->setDate(PickerDate(m_chart.PickerFrom()));
    m_to->setDate(PickerDate(m_chart.PickerTo()));
  }
  m_busy->setVisible(m_chart.BusyShown());
  m_chartWidget->setVisible(m_chart.ChartShown());
  m_scroll->setVisible(m_chart.ChartShown());
  SyncScrollBar();
  m_chartWidget->update();
  QWidget* frame = Widget();
  frame->setProperty(kChartBarsProperty, static_cast<int>(m_chart.Chart().BarCount()));
  frame->setProperty(kChartHistoricalProperty, m_chart.isHistorical);
  frame->setProperty(kChartLiveBarProperty, m_chart.Chart().LiveBarOpen());
  const FChartCtrl& chart = m_chart.Chart();
  const sChartBar newest = chart.BarCount() > 0 ? chart.Bar(chart.BarCount() - 1) : sChartBar{};
  frame->setProperty(kChartLastCloseProperty, newest.close);
  frame->setProperty(kChartLastTimeProperty, newest.time);
  frame->setProperty(kChartVisibleBarsProperty, static_cast<int>(chart.VisibleRange().Count()));
  frame->setProperty(kChartIntervalProperty, m_chart.intervalMinutes);
}

}  // namespace kovo::gui
