#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kovo {

// Colours are 0xTTRRGGBB: RGB with a transparency byte (0 opaque, FF invisible).
inline constexpr uint32_t kNoColor = 0xFF000000u;

struct DlPoint {
  float x = 0, y = 0;
};

// A piece of legend text in one style, or a small symbol.
struct sTextRun {
  enum class Shape : uint8_t { kNone, kTriangle, kInvertedTriangle, kSquare };
  std::string text;
  uint32_t color = 0;
  bool bold = false;
  bool lineBreak = false;  // starts a new line before this run
  Shape shape = Shape::kNone;
  uint32_t edgeColor = kNoColor;
  int shapeWidth = 0;
};

enum class DlKind : uint8_t { kRect, kLine, kPolyline, kText, kEllipse, kArc, kRichText };
enum class DlAlign : uint8_t { kLeft, kRight, kCenter };

// One drawing operation in control pixels. Items paint in order.
struct DlItem {
  DlKind kind = DlKind::kLine;
  uint32_t pen = 0;
  uint32_t fill = kNoColor;
  float penWidth = 1;
  bool dashed = false;
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // line ends, or rect/ellipse bounds; text anchor x0,y0
  std::vector<DlPoint> points;           // polyline
  std::string text;
  int fontPt = 8;
  bool bold = false;
  DlAlign align = DlAlign::kLeft;
  float startDeg = 0, spanDeg = 0;  // arc, counter-clockwise from 3 o'clock
  std::vector<sTextRun> runs;       // rich text, wrapped at x1 - x0
  int clip = -1;                    // index of the panel to clip to, -1 none
};

struct DlPanel {
  float x = 0, y = 0, w = 0, h = 0;  // plot area
  double yMin = 0, yMax = 1;         // value range of the y-axis
  bool log = false;
};

struct DisplayList {
  int width = 0, height = 0;
  uint32_t background = 0;
  std::vector<DlPanel> panels;  // [0] the price panel
  std::vector<DlItem> items;
  void Clear() {
    panels.clear();
    items.clear();
  }
};

// Legend mark-up to runs: <*block*>, <*/*>, <*/block*>, <*br*>,
// <*font,color=RRGGBB*>, <*font=arialbd.ttf*>, <*/font*>,
// <*img=@triangle|@invertedtriangle|@square,width=N,color=RRGGBB,edgeColor=RRGGBB*>.
// Unknown tags are dropped; an unterminated tag is kept as text.
std::vector<sTextRun> ParseMarkup(const std::string& markup, uint32_t defaultColor);

}  // namespace kovo
