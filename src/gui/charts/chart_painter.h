#pragma once

#include <QImage>
#include <QPainter>
#include <string>

#include "charts/display_list.h"

namespace kovo::gui {

QColor ToQColor(uint32_t color);
// Paints every item of the list in order, clipped to its panel.
void PaintDisplayList(QPainter& painter, const DisplayList& list);
QImage RenderDisplayList(const DisplayList& list);
// Writes the picture as a Windows bitmap; false when the file cannot be written.
bool SaveDisplayListBitmap(const DisplayList& list, const std::string& path);

}  // namespace kovo::gui
