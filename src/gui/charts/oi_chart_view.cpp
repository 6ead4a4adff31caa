#include "gui/charts/oi_chart_view.h"

#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "charts/bar_chart_dlg.h"

namespace kovo::gui {
namespace {

constexpr int kMargin = 4;
constexpr int kTitleHeight = 28;
constexpr int kLegendHeight = 22;
constexpr int kLabelHeight = 24;
constexpr int kAxisWidth = 84;
constexpr int kRightGap = 12;
constexpr int kBarsPerStrike = 4;
constexpr int kTicks = 5;

QColor ColourOf(ColorRef bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

// The open interest itself is solid; today's change is hatched in the same colour.
QBrush BrushOf(const sOiBar& bar, bool change) {
  return change ? QBrush(ColourOf(bar.colour), Qt::BDiagPattern) : QBrush(ColourOf(bar.colour));
}

struct Scale {
  double low = 0, high = 1;
};

Scale ScaleOf(const std::vector<sOiBar>& bars) {
  Scale s;
  for (const sOiBar& bar : bars) {
    s.low = std::min(s.low, bar.value);
    s.high = std::max(s.high, bar.value);
  }
  // Headroom, so the tallest bar does not touch the edge.
  const double span = s.high - s.low;
  s.high += span * 0.05;
  if (s.low < 0) s.low -= span * 0.05;
  return s;
}

// Round steps (1, 2 or 5 times a power of ten) giving about kTicks lines.
double TickStep(const Scale& s) {
  const double raw = (s.high - s.low) / kTicks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (raw <= m * power) return m * power;
  return 10.0 * power;
}

int YOf(const QRect& plot, const Scale& s, double value) {
  const double f = (value - s.low) / (s.high - s.low);
  return plot.bottom() - static_cast<int>(f * plot.height());
}

}  // namespace

QtOiChartWidget::QtOiChartWidget(const CBarChartDlg& chart, QWidget* parent)
    : QWidget(parent), m_chart(chart) {
  setObjectName(QLatin1String(kOiChartObjectName));
  setMinimumSize(480, 280);
  setMouseTracking(true);
}

QRect QtOiChartWidget::Area() const {
  return rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
}

QRect QtOiChartWidget::Plot() const {
  const QRect a = Area();
  return QRect(QPoint(a.left() + kAxisWidth, a.top() + kTitleHeight + kLegendHeight),
               QPoint(a.right() - kRightGap, a.bottom() - kLabelHeight));
}

std::vector<QRect> QtOiChartWidget::BarRects() const {
  const std::vector<sOiBar>& bars = m_chart.Bars();
  const size_t strikes = m_chart.Strikes().size();
  std::vector<QRect> rects;
  if (!m_chart.AllRowsIn() || bars.size() != strikes * kBarsPerStrike) return rects;
  const QRect plot = Plot();
  if (plot.width() <= 0 || plot.height() <= 0) return rects;
  const Scale scale = ScaleOf(bars);
  const double group = static_cast<double>(plot.width()) / static_cast<double>(strikes);
  const double width = group * 0.8 / kBarsPerStrike;
  const int zero = YOf(plot, scale, 0);
  for (size_t i = 0; i < bars.size(); ++i) {
    const size_t strike = i / kBarsPerStrike, slot = i % kBarsPerStrike;
    const int left =
        plot.left() + static_cast<int>(group * static_cast<double>(strike) + group * 0.1 +
                                       width * static_cast<double>(slot));
    const int right =
        plot.left() +
        static_cast<int>(group * static_cast<double>(strike) + group * 0.1 + width * (slot + 1.0)) -
        1;
    const int top = YOf(plot, scale, bars[i].value);
    // A zero bar is still a line one pixel high.
    rects.push_back(QRect(QPoint(left, std::min(top, zero)), QPoint(right, std::max(top, zero))));
  }
  return rects;
}

int QtOiChartWidget::StrikeAt(const QPoint& point) const {
  const QRect plot = Plot();
  const size_t strikes = m_chart.Strikes().size();
  if (strikes == 0 || !plot.contains(point)) return -1;
  const int index = static_cast<int>(static_cast<double>(point.x() - plot.left()) *
                                     static_cast<double>(strikes) / plot.width());
  return std::clamp(index, 0, static_cast<int>(strikes) - 1);
}

QImage QtOiChartWidget::Render() {
  QImage image(size(), QImage::Format_ARGB32);
  QPainter painter(&image);
  Paint(painter);
  return image;
}

void QtOiChartWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter);
}

bool QtOiChartWidget::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const int strike = m_chart.AllRowsIn() ? StrikeAt(help->pos()) : -1;
  if (strike < 0) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(
        help->globalPos(),
        QString::fromStdString(m_chart.Tooltip(static_cast<size_t>(strike))).trimmed(), this);
  }
  return true;
}

void QtOiChartWidget::Paint(QPainter& painter) {
  painter.fillRect(rect(), palette().window());
  const QRect area = Area();
  painter.fillRect(area, ColourOf(CBarChartDlg::kBackColour));
  painter.setPen(Qt::darkGray);
  painter.drawRect(area.adjusted(0, 0, -1, -1));

  QFont titleFont = font();
  titleFont.setBold(true);
  painter.setFont(titleFont);
  painter.setPen(Qt::black);
  const QString title = m_chart.Title().empty() ? QString::fromLatin1(CBarChartDlg::kPaneTitle)
                                                : QString::fromStdString(m_chart.Title());
  painter.drawText(QRect(area.left(), area.top(), area.width(), kTitleHeight), Qt::AlignCenter,
                   title);
  painter.setFont(font());

  // The legend: what each of a strike's four bars is.
  const struct {
    const char* text;
    sOiBar bar;
    bool change;
  } legend[] = {{"Call open interest", {0, CBarChartDlg::kCallColour}, false},
                {"Call change", {0, CBarChartDlg::kCallColour}, true},
                {"Put open interest", {0, CBarChartDlg::kPutColour}, false},
                {"Put change", {0, CBarChartDlg::kPutColour}, true}};
  int x = area.left() + kAxisWidth;
  const int legendTop = area.top() + kTitleHeight;
  for (const auto& item : legend) {
    const QRect swatch(x, legendTop + 5, 12, 12);
    painter.fillRect(swatch, BrushOf(item.bar, item.change));
    painter.setPen(ColourOf(item.bar.colour));
    painter.drawRect(swatch);
    painter.setPen(Qt::black);
    const QString text = QString::fromLatin1(item.text);
    painter.drawText(QPoint(x + 16, legendTop + 16), text);
    x += 16 + painter.fontMetrics().horizontalAdvance(text) + 18;
  }

  const QRect plot = Plot();
  const std::vector<QRect> bars = BarRects();
  if (bars.empty()) {
    const size_t strikes = m_chart.Strikes().size();
    const QString waiting =
        strikes == 0 ? QStringLiteral("Select an option scrip and choose Open Interest Bar")
                     : QStringLiteral("Waiting for open interest: %1 of %2 rows")
                           .arg(m_chart.Replies())
                           .arg(2 * strikes);
    painter.drawText(plot, Qt::AlignCenter, waiting);
    return;
  }

  // Value axis with grid lines; changes may go below zero.
  const Scale scale = ScaleOf(m_chart.Bars());
  const QLocale locale;
  const double step = TickStep(scale);
  for (double value = std::ceil(scale.low / step) * step; value <= scale.high; value += step) {
    const int y = YOf(plot, scale, value);
    painter.setPen(QColor(210, 210, 210));
    painter.drawLine(plot.left(), y, plot.right(), y);
    painter.setPen(Qt::black);
    painter.drawText(QRect(area.left(), y - 10, kAxisWidth - 6, 20),
                     Qt::AlignRight | Qt::AlignVCenter, locale.toString(value, 'f', 0));
  }
  painter.setPen(Qt::black);
  const int zero = YOf(plot, scale, 0);
  painter.drawLine(plot.left(), zero, plot.right(), zero);
  painter.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());

  const std::vector<sOiBar>& values = m_chart.Bars();
  for (size_t i = 0; i < bars.size(); ++i) {
    const bool change = i % 2 == 1;
    painter.fillRect(bars[i], BrushOf(values[i], change));
    if (change) {
      painter.setPen(ColourOf(values[i].colour));
      painter.drawRect(bars[i].adjusted(0, 0, -1, -1));
    }
  }

  // Strike labels under their groups.
  painter.setPen(Qt::black);
  const size_t strikes = m_chart.Strikes().size();
  const double group = static_cast<double>(plot.width()) / static_cast<double>(strikes);
  for (size_t i = 0; i < strikes; ++i) {
    const int left = plot.left() + static_cast<int>(group * static_cast<double>(i));
    painter.drawText(QRect(left, plot.bottom() + 2, static_cast<int>(group), kLabelHeight - 2),
                     Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromStdString(m_chart.Strikes()[i].label));
  }
}

QtOiChartView::QtOiChartView(CBarChartDlg& chart)
    : QtView(new QWidget(nullptr, Qt::Window)), m_chart(chart) {
  QWidget* frame = Widget();
  frame->setObjectName(QStringLiteral("ZintOpenInterestWindow"));
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  m_chartWidget = new QtOiChartWidget(chart, frame);
  layout->addWidget(m_chartWidget);
  Refresh();
}

void QtOiChartView::Refresh() {
  if (!m_chartWidget) return;
  // What is drawn, for a host that looks at the pane without this library's types.
  m_chartWidget->setProperty("rowsIn", m_chart.Replies());
  m_chartWidget->setProperty("bars", static_cast<int>(m_chartWidget->BarRects().size()));
  m_chartWidget->update();
}

}  // namespace kovo::gui
