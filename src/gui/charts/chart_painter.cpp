#include "gui/charts/chart_painter.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

namespace kovo::gui {
namespace {

QFont ChartFont(int pt, bool bold) {
  QFont f(QStringLiteral("Arial"));
  f.setPointSize(std::max(pt, 1));
  f.setBold(bold);
  return f;
}

QPen Pen(const DlItem& it) {
  QPen pen(ToQColor(it.pen));
  pen.setWidthF(it.penWidth);
  if (it.dashed) pen.setStyle(Qt::DashLine);
  return pen;
}

void DrawShape(QPainter& p, const sTextRun& run, QPointF at, qreal size) {
  QPolygonF poly;
  const qreal x = at.x(), y = at.y();
  switch (run.shape) {
    case sTextRun::Shape::kTriangle:
      poly << QPointF(x, y + size) << QPointF(x + size, y + size) << QPointF(x + size / 2, y);
      break;
    case sTextRun::Shape::kInvertedTriangle:
      poly << QPointF(x, y) << QPointF(x + size, y) << QPointF(x + size / 2, y + size);
      break;
    default:
      poly << QPointF(x, y) << QPointF(x + size, y) << QPointF(x + size, y + size)
           << QPointF(x, y + size);
      break;
  }
  p.setBrush(ToQColor(run.color));
  p.setPen(run.edgeColor == kNoColor ? QPen(Qt::NoPen) : QPen(ToQColor(run.edgeColor)));
  p.drawPolygon(poly);
}

// Lays the runs out line by line, wrapping at the box width; paints when asked.
qreal LayOutRuns(QPainter& p, const DlItem& it, bool paint, qreal* usedWidth = nullptr) {
  const qreal left = it.x0 + 4, right = it.x1 - 4;
  qreal x = left, y = it.y0 + 3, lineHeight = 0, used = 0;
  for (const sTextRun& run : it.runs) {
    const QFont font = ChartFont(it.fontPt, run.bold);
    const QFontMetricsF fm(font);
    lineHeight = std::max(lineHeight, fm.height());
    if (run.lineBreak) x = left, y += lineHeight;
    if (run.shape != sTextRun::Shape::kNone) {
      const qreal size = run.shapeWidth > 0 ? run.shapeWidth : 8;
      if (x + size > right) x = left, y += lineHeight;
      if (paint) DrawShape(p, run, QPointF(x, y + (fm.height() - size) / 2), size);
      x += size + 2;
      continue;
    }
    const QString text = QString::fromStdString(run.text);
    const qreal w = fm.horizontalAdvance(text);
    if (x + w > right && x > left) x = left, y += lineHeight;
    if (paint) {
      p.setFont(font);
      p.setPen(ToQColor(run.color));
      p.drawText(QPointF(x, y + fm.ascent()), text);
    }
    x += w;
    used = std::max(used, x);
  }
  if (usedWidth) *usedWidth = used + 4 - it.x0;
  return y + lineHeight + 3 - it.y0;
}

void DrawRichText(QPainter& p, const DlItem& it) {
  qreal used = 0;
  const qreal height = LayOutRuns(p, it, false, &used);
  if (it.fill != kNoColor) {
    // As wide as its text, no wider: the bars beside it stay in sight.
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(it.fill));
    p.drawRect(QRectF(it.x0, it.y0, std::min(used, static_cast<qreal>(it.x1 - it.x0)), height));
  }
  LayOutRuns(p, it, true);
}

void DrawText(QPainter& p, const DlItem& it) {
  p.setFont(ChartFont(it.fontPt, it.bold));
  const QString text = QString::fromStdString(it.text);
  constexpr qreal kWide = 4000;
  QRectF box;
  int flags = Qt::AlignVCenter;
  switch (it.align) {
    case DlAlign::kLeft:
      box = QRectF(it.x0, it.y0 - 8, kWide, 16), flags |= Qt::AlignLeft;
      break;
    case DlAlign::kRight:
      box = QRectF(it.x0 - kWide, it.y0 - 8, kWide, 16), flags |= Qt::AlignRight;
      break;
    case DlAlign::kCenter:
      box = QRectF(it.x0 - kWide / 2, it.y0 - 8, kWide, 16), flags |= Qt::AlignHCenter;
      break;
  }
  if (it.fill != kNoColor) {
    const QRectF used = p.boundingRect(box, flags, text);
    p.fillRect(used.adjusted(-2, 0, 2, 0), ToQColor(it.fill));
  }
  p.setPen(ToQColor(it.pen));
  p.drawText(box, flags, text);
}

}  // namespace

QColor ToQColor(uint32_t color) {
  QColor c(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
           static_cast<int>(color & 0xFF));
  c.setAlpha(255 - static_cast<int>((color >> 24) & 0xFF));
  return c;
}

void PaintDisplayList(QPainter& p, const DisplayList& list) {
  p.fillRect(QRect(0, 0, list.width, list.height), ToQColor(list.background));
  p.setRenderHint(QPainter::Antialiasing, true);
  for (const DlItem& it : list.items) {
    if (it.clip >= 0 && static_cast<size_t>(it.clip) < list.panels.size()) {
      const DlPanel& panel = list.panels[static_cast<size_t>(it.clip)];
      p.setClipRect(QRectF(panel.x, panel.y, panel.w + 1, panel.h + 1));
    } else {
      p.setClipping(false);
    }
    const QRectF rect(QPointF(it.x0, it.y0), QPointF(it.x1, it.y1));
    switch (it.kind) {
      case DlKind::kLine:
        p.setPen(Pen(it));
        p.drawLine(QPointF(it.x0, it.y0), QPointF(it.x1, it.y1));
        break;
      case DlKind::kPolyline: {
        QPolygonF poly;
        for (const DlPoint& pt : it.points) poly << QPointF(pt.x, pt.y);
        if (it.fill != kNoColor) {
          // A filled outline: a band between two series.
          p.setPen(Qt::NoPen);
          p.setBrush(ToQColor(it.fill));
          p.drawPolygon(poly);
          break;
        }
        p.setPen(Pen(it));
        p.drawPolyline(poly);
        break;
      }
      case DlKind::kRect:
        p.setPen(it.pen == kNoColor ? QPen(Qt::NoPen) : Pen(it));
        p.setBrush(it.fill == kNoColor ? QBrush(Qt::NoBrush) : QBrush(ToQColor(it.fill)));
        p.drawRect(rect.height() < 1 ? rect.adjusted(0, 0, 0, 1) : rect);
        break;
      case DlKind::kEllipse:
        p.setPen(Pen(it));
        p.setBrush(it.fill == kNoColor ? QBrush(Qt::NoBrush) : QBrush(ToQColor(it.fill)));
        p.drawEllipse(rect);
        break;
      case DlKind::kArc:
        p.setPen(Pen(it));
        p.setBrush(Qt::NoBrush);
        p.drawArc(rect, static_cast<int>(it.startDeg * 16), static_cast<int>(it.spanDeg * 16));
        break;
      case DlKind::kText:
        DrawText(p, it);
        break;
      case DlKind::kRichText:
        DrawRichText(p, it);
        break;
    }
  }
  p.setClipping(false);
}

QImage RenderDisplayList(const DisplayList& list) {
  QImage image(std::max(list.width, 1), std::max(list.height, 1), QImage::Format_RGB32);
  image.fill(ToQColor(list.background));
  QPainter painter(&image);
  PaintDisplayList(painter, list);
  painter.end();
  return image;
}

bool SaveDisplayListBitmap(const DisplayList& list, const std::string& path) {
  return RenderDisplayList(list).save(QString::fromStdString(path), "BMP");
}

}  // namespace kovo::gui
