#include "charts/fchart_ctrl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/format.h"
#include "base/text.h"
#include "charts/chart_time.h"

namespace kovo {
namespace {

using finance::HasValue;
using finance::NoValue;

constexpr uint32_t kLegendGrey = 0x80CCCCCC;  // light grey, half transparent
constexpr uint32_t kSecondaryLines[] = {0x00C0FF, 0xFF00FF, 0xFFFF00};
// Colours for indicators added in a colour another one already has.
constexpr uint32_t kIndicatorPalette[] = {0xFF0000, 0x00BFFF, 0xFFD700, 0xFF69B4, 0x7CFC00,
                                          0xFFA500, 0x9370DB, 0x40E0D0, 0xF08080, 0xADFF2F};

std::string F4(double v) {
  return Format("%.4f", v);
}

// 1, 2 or 5 times a power of ten, about `ticks` steps over the range.
double NiceStep(double range, int ticks) {
  if (!(range > 0) || ticks < 1) return 1;
  const double raw = range / ticks;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / mag;
  return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * mag;
}

DlItem Line(float x0, float y0, float x1, float y1, uint32_t pen, float width = 1,
            bool dashed = false, int clip = -1) {
  DlItem it;
  it.kind = DlKind::kLine;
  it.x0 = x0, it.y0 = y0, it.x1 = x1, it.y1 = y1;
  it.pen = pen, it.penWidth = width, it.dashed = dashed, it.clip = clip;
  return it;
}

DlItem Rect(float x0, float y0, float x1, float y1, uint32_t pen, uint32_t fill, int clip = -1) {
  DlItem it;
  it.kind = DlKind::kRect;
  it.x0 = std::min(x0, x1), it.y0 = std::min(y0, y1);
  it.x1 = std::max(x0, x1), it.y1 = std::max(y0, y1);
  it.pen = pen, it.fill = fill, it.clip = clip;
  return it;
}

DlItem Text(float x, float y, std::string text, uint32_t color, DlAlign align, int clip = -1) {
  DlItem it;
  it.kind = DlKind::kText;
  it.x0 = x, it.y0 = y;
  it.text = std::move(text);
  it.pen = color, it.align = align, it.clip = clip;
  return it;
}

const std::pair<int, int> kToolCommands[] = {
    {11512, kToolEllipse},
    {11513, kToolRectangle},
    {11514, kToolTrendLine},
    {11515, kToolSpeedLines},
    {11517, kToolFibonacciArcs},
    {11518, kToolFibonacciFan},
    {11519, kToolFibonacciRetracements},
    {11520, kToolFibonacciTimeZones},
    {11521, kToolTironeLevels},
    {11522, kToolQuadrantLines},
    {11525, kToolHorizontalLine},
};

// Length of the leading run, up to `limit`, where a and b hold the same bits
// (so a NaN gap equals itself and -0.0 differs from 0.0).
size_t SamePrefix(const std::vector<double>& a, const std::vector<double>& b, size_t limit) {
  limit = std::min({limit, a.size(), b.size()});
  size_t i = 0;
  while (i < limit && std::memcmp(&a[i], &b[i], sizeof(double)) == 0) ++i;
  return i;
}

std::string WithTemplateExtension(const std::string& path) {
  if (path.size() >= 5 && EqualsNoCase(std::string_view(path).substr(path.size() - 5), ".kcdx"))
    return path;
  return path + ".kcdx";
}

}  // namespace

FChartCtrl::FChartCtrl(const CSettingsFiles& settings, Dialogs& dialogs,
                       std::function<void(std::string_view)> reportError)
    : m_files(settings), m_dialogs(dialogs), m_reportError(std::move(reportError)) {
  ReloadSettings();
}

// --- data ---------------------------------------------------------------------

void FChartCtrl::SetData(std::vector<double> time, std::vector<double> high,
                         std::vector<double> low, std::vector<double> open,
                         std::vector<double> close, std::vector<double> volume) {
  const size_t n =
      std::min({time.size(), high.size(), low.size(), open.size(), close.size(), volume.size()});
  for (auto* v : {&time, &high, &low, &open, &close, &volume}) v->resize(n);
  // Every new bar hands the whole series again: only what differs from the
  // bars held is recomputed, so a new bar costs a tail, not a rebuild.
  size_t same = std::min(n, m_time.size());
  const std::vector<double>* const incoming[] = {&time, &high, &low, &open, &close, &volume};
  const std::vector<double>* const held[] = {&m_time, &m_high,  &m_low,
                                             &m_open, &m_close, &m_volume};
  for (size_t a = 0; a < 6 && same > 0; ++a) same = SamePrefix(*incoming[a], *held[a], same);
  const size_t heldBars = BarCount();
  m_time = std::move(time), m_high = std::move(high), m_low = std::move(low);
  m_open = std::move(open), m_close = std::move(close), m_volume = std::move(volume);
  m_liveBarOpen = false;
  // Fewer bars than before: the series must still be recomputed (and so cut)
  // from a bar that exists.
  const size_t bars = BarCount();
  if (bars < heldBars) same = std::min(same, bars > 0 ? bars - 1 : 0);
  Invalidate(same);
}

void FChartCtrl::UpdateBar(size_t k, const sChartBar& bar) {
  if (k >= m_time.size()) return;
  m_time[k] = bar.time, m_high[k] = bar.high, m_low[k] = bar.low;
  m_open[k] = bar.open, m_close[k] = bar.close, m_volume[k] = bar.volume;
  if (k + 1 == m_time.size()) m_liveBarOpen = true;
  Invalidate(k);
}

void FChartCtrl::SetLiveBarOpen(bool open) {
  if (open == m_liveBarOpen) return;
  m_liveBarOpen = open;
  Invalidate(m_time.empty() ? 0 : m_time.size() - 1);
}

size_t FChartCtrl::BarCount() const {
  if (m_time.empty()) return 0;
  return m_liveBarOpen ? m_time.size() : m_time.size() - 1;
}

sChartBar FChartCtrl::Bar(size_t i) const {
  if (i >= m_time.size()) return {};
  return {m_time[i], m_high[i], m_low[i], m_open[i], m_close[i], m_volume[i]};
}

void FChartCtrl::Reset() {
  m_viewLeft = 0, m_viewWidth = 1, m_zoomStep = 0;
  m_mouseMode = 0, m_mouseBar = -1;
  m_tool = kToolNone, m_dragging = false;
  m_ax1 = m_ay1 = m_ax2 = m_ay2 = 0;
  m_lastPrice = -1;
}

void FChartCtrl::Invalidate(size_t from) {
  m_dirtyFrom = m_dirtyFrom == kClean ? from : std::min(m_dirtyFrom, from);
}

// --- layout and view port -----------------------------------------------------

void FChartCtrl::SetPaneSize(int width, int height) {
  m_paneWidth = std::max(width, 0);
  m_paneHeight = std::max(height, 0);
}

sChartLayout FChartCtrl::Layout() const {
  sChartLayout l;
  l.width = std::max(m_paneWidth - 2, 0);
  l.height = std::max(m_paneHeight - 15, 0);
  int k = m_volumePanel ? 1 : 0;
  for (const auto& name : m_indicatorNames) {
    const sIndicatorInfo* info = FindIndicator(name);
    if (info && info->place == IndicatorPlace::kPanel) ++k;
  }
  l.lowerPanels = k;
  l.indicatorArea = k > 0 ? l.height / 3 : 0;
  l.lowerPanelHeight = k > 0 ? l.indicatorArea / k : 0;
  l.pricePanelHeight = l.height - l.indicatorArea;
  l.mainPlotHeight = std::max(l.pricePanelHeight - 60, 0);
  if (m_settings.leftAlign) {
    l.marginLeft = 50, l.marginRight = 10, l.marginTop = 10, l.marginBottom = 40;
  } else {
    l.marginLeft = 20, l.marginRight = 10, l.marginTop = 40, l.marginBottom = 40;
  }
  return l;
}

sVisibleRange FChartCtrl::VisibleRange() const {
  const long n = static_cast<long>(m_time.size());
  sVisibleRange r;
  if (n < 2) return r;
  const double l = m_viewLeft, w = m_viewWidth;
  const double span = m_liveBarOpen ? static_cast<double>(n) : static_cast<double>(n - 1);
  const long maxLast = m_liveBarOpen ? n - 1 : n - 2;
  // The small slack keeps 0.75 * 100 from landing on 74.999...
  r.first = static_cast<long>(std::floor(span * l + 1e-9));
  r.last = std::min(static_cast<long>(std::ceil(span * (l + w) - 1e-9)), maxLast);
  r.first = std::clamp(r.first, 0L, std::max(r.last, 0L));
  if (r.last < 0) r = {};
  return r;
}

bool FChartCtrl::ScrollEnabled() const {
  const sVisibleRange r = VisibleRange();
  const bool all = r.Valid() && r.first == 0 && r.Count() == static_cast<long>(BarCount());
  return !all && m_tool == kToolNone;
}

void FChartCtrl::ChangeViewPort(double left, double width) {
  width = std::clamp(width, 1e-6, 1.0);
  left = std::clamp(left, 0.0, 1.0 - width);
  m_viewLeft = left, m_viewWidth = width;
  m_arrowStep = width;
}

void FChartCtrl::SetViewPort(double left, double width) {
  ChangeViewPort(left, width);
}

void FChartCtrl::ZoomIn() {
  if (VisibleRange().Count() < 21) return;
  const double w = m_viewWidth;
  m_zoomStep = w / 2;
  ChangeViewPort(m_viewLeft + m_zoomStep, w / 2);
}

void FChartCtrl::ZoomOut() {
  const double w = m_viewWidth;
  if (w + m_zoomStep <= 1.0) {
    const double step = m_zoomStep;
    ChangeViewPort(m_viewLeft - step, w + step);
    m_zoomStep = step + w;
  } else {
    ChangeViewPort(0.0, 1.0);
  }
}

void FChartCtrl::ResetZoom() {
  ChangeViewPort(0.0, 1.0);
  m_mouseMode = 0;
}

void FChartCtrl::ShowRecentCandles() {
  const double m = static_cast<double>(BarCount());
  const double width = m < 25 ? 1.0 : 25.0 / m;
  ChangeViewPort(1.0 - width, width);
}

void FChartCtrl::OnKeyLeft() {
  ChangeViewPort(std::max(0.0, m_viewLeft - m_viewWidth), m_viewWidth);
}

void FChartCtrl::OnKeyRight() {
  if (m_viewLeft + 2 * m_viewWidth <= 1.0)
    ChangeViewPort(m_viewLeft + m_viewWidth, m_viewWidth);
  else
    ChangeViewPort(1.0 - m_viewWidth, m_viewWidth);
}

// Keeps the bar under the click where it is while the width changes.
void FChartCtrl::ZoomAt(double x, bool in) {
  if (m_list.panels.empty()) return;
  if (in && VisibleRange().Count() < 21) return;
  const DlPanel& p = m_list.panels[0];
  const double fx = std::clamp((x - p.x) / DataWidth(p), 0.0, 1.0);
  const double factor = m_zoomFactor > 1 ? m_zoomFactor : 2.0;
  const double anchor = m_viewLeft + m_viewWidth * fx;
  const double width = std::min(1.0, in ? m_viewWidth / factor : m_viewWidth * factor);
  ChangeViewPort(anchor - fx * width, width);
}

// --- style, commands ----------------------------------------------------------

void FChartCtrl::SetStyleName(std::string_view style) {
  if (style == "Line" || style == "CandleStick" || style == "OHLC") m_style = std::string(style);
}

void FChartCtrl::SetVolumePanel(bool show) {
  m_volumePanel = show;
}

void FChartCtrl::SetDrawingTool(int tool) {
  m_tool = std::clamp(tool, 0, static_cast<int>(kToolHorizontalLine));
  m_dragging = false;
  m_ax1 = m_ay1 = m_ax2 = m_ay2 = 0;
}

void FChartCtrl::RemoveAllStudyLines() {
  m_selected = -1;
  m_moving = false;
  m_lines.clear();
  SetDrawingTool(kToolNone);
}

bool FChartCtrl::OnCommand(int id) {
  using namespace chart_cmd;
  for (const auto& [cmd, tool] : kToolCommands)
    if (cmd == id) {
      SetDrawingTool(tool);
      return true;
    }
  if (id >= kFirstIndicatorCommand && id <= kLastIndicatorCommand) {
    AddIndicatorByCommand(id);
    return true;
  }
  switch (id) {
    case kStyleLine:
      SetStyleName("Line");
      return true;
    case kStyleCandle:
      SetStyleName("CandleStick");
      return true;
    case kStyleStandard:
      SetStyleName("OHLC");
      return true;
    case kVolumePanel:
      SetVolumePanel(!m_volumePanel);
      return true;
    case kShowLevels:
      if (!m_owner.isHistorical) m_owner.showLevels = true;
      return true;
    case kHideLevels:
      m_owner.showLevels = false;
      return true;
    case kShowLevelsReopen:
      m_owner.showLevels = true;
      if (m_reopen) m_reopen();
      return true;
    case kSaveBitmap: {
      std::string path;
      if (!m_dialogs.ChooseSaveFile("Save as Bitmap", kBitmapFilter, path) || path.empty())
        return true;
      if (path.size() < 4 || !EqualsNoCase(std::string_view(path).substr(path.size() - 4), ".bmp"))
        path += ".bmp";
      if (m_bitmapWriter) m_bitmapWriter(path);
      return true;
    }
    case kSaveTemplate: {
      std::string path = kTemplateDefaultName;
      if (!m_dialogs.ChooseSaveFile("Save Template", kTemplateFilter, path) || path.empty())
        return true;
      if (SaveTemplateFile(WithTemplateExtension(path)))
        m_currentTemplate = WithTemplateExtension(path);
      return true;
    }
    case kUploadTemplate: {
      std::string path;
      if (!m_dialogs.ChooseOpenFile("Upload Template", kTemplateFilter, path) || path.empty())
        return true;
      if (!LoadTemplateFile(path) && !std::ifstream(path)) {
        m_dialogs.MessageBox("The template file could not be opened", "KovoZint", kMbOk);
      }
      return true;
    }
    case kDefaultTemplate: {
      std::string path = m_currentTemplate;
      if (path.empty()) {
        path = kTemplateDefaultName;
        if (!m_dialogs.ChooseSaveFile("Set as Default Template", kTemplateFilter, path) ||
            path.empty())
          return true;
        path = WithTemplateExtension(path);
      }
      if (!SaveTemplateFile(path)) return true;
      m_currentTemplate = path;
      m_files.Write(kDefTemplateSection, kDefTemplateKey, path, kChartSettingsFile,
                    SettingsLocation::kUserFolder);
      if (m_keepDefault) m_keepDefault(path);
      return true;
    }
    case kRemoveAllSymbols:
      RemoveAllStudyLines();
      return true;
    case kZoomIn:
      ZoomIn();
      return true;
    case kZoomOut:
      ZoomOut();
      return true;
    case kZoomInCursor:
      m_mouseMode = 3;
      return true;
    case kZoomOutCursor:
      m_mouseMode = 4;
      return true;
    case kResetZoom:
      ResetZoom();
      return true;
    case kRecentCandles:
      ShowRecentCandles();
      return true;
    default:
      return false;
  }
}

bool FChartCtrl::IsChecked(int id) const {
  using namespace chart_cmd;
  switch (id) {
    case kStyleLine:
      return m_style == "Line";
    case kStyleCandle:
      return m_style == "CandleStick";
    case kStyleStandard:
      return m_style == "OHLC";
    case kVolumePanel:
      return m_volumePanel;
    case kShowLevels:
      return m_owner.showLevels;
    case kHideLevels:
      return !m_owner.showLevels;
    case kZoomInCursor:
      return m_mouseMode == 3;
    case kZoomOutCursor:
      return m_mouseMode == 4;
    default:
      return false;
  }
}

// --- mouse --------------------------------------------------------------------

int FChartCtrl::HitStudyLine(int x, int y) const {
  if (m_list.panels.empty() || !m_drawn.Valid()) return -1;
  const DlPanel& p = m_list.panels[0];
  constexpr float kNear = 5;
  const float px = static_cast<float>(x), py = static_cast<float>(y);
  for (size_t k = m_lines.size(); k-- > 0;) {
    const sStudyLine& l = m_lines[k];
    const float X1 = XOfBar(l.x1), X2 = XOfBar(l.x2);
    const float Y1 = PanelY(p, l.p1), Y2 = PanelY(p, l.p2);
    bool hit = false;
    if (l.tool == kToolTrendLine) {
      // Distance to the segment.
      const float dx = X2 - X1, dy = Y2 - Y1;
      const float len2 = dx * dx + dy * dy;
      const float t =
          len2 > 0 ? std::clamp(((px - X1) * dx + (py - Y1) * dy) / len2, 0.0f, 1.0f) : 0.0f;
      hit = std::hypot(px - (X1 + t * dx), py - (Y1 + t * dy)) <= kNear;
    } else if (l.tool == kToolHorizontalLine) {
      hit = std::fabs(py - Y1) <= kNear && px >= p.x && px <= p.x + p.w;
    } else {
      // Shapes and level sets: anywhere in the box their anchors span.
      hit = px >= std::min(X1, X2) - kNear && px <= std::max(X1, X2) + kNear &&
            py >= std::min(Y1, Y2) - kNear && py <= std::max(Y1, Y2) + kNear;
    }
    if (hit) return static_cast<int>(k);
  }
  return -1;
}

bool FChartCtrl::DeleteSelectedStudyLine() {
  if (m_selected < 0 || static_cast<size_t>(m_selected) >= m_lines.size()) return false;
  m_lines.erase(m_lines.begin() + m_selected);
  m_selected = -1;
  m_moving = false;
  return true;
}

void FChartCtrl::OnMouseMove(int x, int y, bool buttonDown) {
  if (m_dragging && buttonDown) m_ax2 = x, m_ay2 = y;
  if (m_moving && buttonDown && static_cast<size_t>(m_selected) < m_lines.size()) {
    // The whole line follows the mouse in data terms, so it stays with its bars.
    const double db = BarAtX(x) - BarAtX(m_moveX);
    const double dp = PriceAtY(y) - PriceAtY(m_moveY);
    sStudyLine& l = m_lines[static_cast<size_t>(m_selected)];
    l = m_moveFrom;
    l.x1 += db, l.x2 += db, l.p1 += dp, l.p2 += dp;
  }
  if (m_list.panels.empty() || !m_drawn.Valid()) return;
  const DlPanel& p = m_list.panels[0];
  if (x < p.x || x > p.x + DataWidth(p)) {
    m_mouseBar = -1;
    return;
  }
  const long bar = std::lround(BarAtX(x));
  m_mouseBar = std::clamp(bar, m_drawn.first, m_drawn.last);
}

void FChartCtrl::OnMouseDown(int x, int y) {
  if (m_list.panels.empty()) return;
  const DlPanel& p = m_list.panels[0];
  const bool inside = x >= p.x && x <= p.x + p.w && y >= p.y && y <= p.y + p.h;
  if (m_tool != kToolNone && inside) {
    m_dragging = true;
    m_ax1 = m_ax2 = x, m_ay1 = m_ay2 = y;
    m_anchorFirst = m_drawn.first;
  } else if (m_mouseMode == 3 || m_mouseMode == 4) {
    ZoomAt(x, m_mouseMode == 3);
  } else if (inside) {
    // A click on a study line selects it and starts moving it; elsewhere it deselects.
    m_selected = HitStudyLine(x, y);
    m_moving = m_selected >= 0;
    if (m_moving) {
      m_moveX = x, m_moveY = y;
      m_moveFrom = m_lines[static_cast<size_t>(m_selected)];
    }
  }
}

void FChartCtrl::OnMouseUp(int x, int y) {
  m_moving = false;
  if (!m_dragging) return;
  m_dragging = false;
  m_ax2 = x, m_ay2 = y;
  if (m_ax1 == m_ax2 && m_ay1 == m_ay2 && m_tool != kToolHorizontalLine) return;
  sStudyLine line;
  line.tool = m_tool;
  line.x1 = BarAtX(m_ax1), line.p1 = PriceAtY(m_ay1);
  line.x2 = BarAtX(m_ax2), line.p2 = PriceAtY(m_ay2);
  line.color = m_settings.trendLineColor;
  m_lines.push_back(line);
}

double FChartCtrl::BarAtX(double x) const {
  if (m_list.panels.empty() || !m_drawn.Valid()) return 0;
  const DlPanel& p = m_list.panels[0];
  const double barW = DataWidth(p) / static_cast<double>(m_drawn.Count());
  return static_cast<double>(m_drawn.first) + (x - p.x) / barW - 0.5;
}

double FChartCtrl::PriceAtY(double y) const {
  if (m_list.panels.empty()) return 0;
  const DlPanel& p = m_list.panels[0];
  const double f = (p.y + p.h - y) / std::max(p.h, 1.0f);
  if (p.log && p.yMin > 0) return p.yMin * std::pow(p.yMax / p.yMin, f);
  return p.yMin + f * (p.yMax - p.yMin);
}

float FChartCtrl::XOfBar(double bar) const {
  if (m_list.panels.empty() || !m_drawn.Valid()) return 0;
  const DlPanel& p = m_list.panels[0];
  const double barW = DataWidth(p) / static_cast<double>(m_drawn.Count());
  return static_cast<float>(p.x + (bar - static_cast<double>(m_drawn.first) + 0.5) * barW);
}

float FChartCtrl::YOfPrice(double price) const {
  if (m_list.panels.empty()) return 0;
  return PanelY(m_list.panels[0], price);
}

float FChartCtrl::PanelY(const DlPanel& p, double v) const {
  if (p.log && p.yMin > 0 && v > 0) {
    const double lo = std::log(p.yMin), range = std::log(p.yMax) - lo;
    if (range > 0) return static_cast<float>(p.y + p.h - (std::log(v) - lo) / range * p.h);
  }
  const double range = p.yMax - p.yMin;
  if (!(range > 0)) return p.y + p.h / 2;
  return static_cast<float>(p.y + p.h - (v - p.yMin) / range * p.h);
}

// --- indicators ---------------------------------------------------------------

sIndicatorParams* FChartCtrl::Params(std::string_view name) {
  auto it = m_params.find(name);
  return it == m_params.end() ? nullptr : &it->second;
}

bool FChartCtrl::AddIndicator(const std::string& name, const sIndicatorParams& params) {
  if (!FindIndicator(name)) return false;
  sIndicatorParams stored = params;
  // Each indicator in a colour of its own: one that another already uses
  // gives way to the first free colour of the palette.
  const auto used = [&](uint32_t colour) {
    for (const auto& [other, p] : m_params)
      if (other != name && (p.color & 0xFFFFFFu) == (colour & 0xFFFFFFu)) return true;
    return false;
  };
  if (used(stored.color)) {
    for (const uint32_t colour : kIndicatorPalette) {
      if (!used(colour)) {
        stored.color = colour;
        break;
      }
    }
  }
  m_params[name] = stored;
  if (std::find(m_indicatorNames.begin(), m_indicatorNames.end(), name) == m_indicatorNames.end())
    m_indicatorNames.push_back(name);
  m_indicatorsChanged = true;
  return true;
}

bool FChartCtrl::AddIndicatorByCommand(int commandId) {
  const sIndicatorInfo* info = FindIndicatorByCommand(commandId);
  if (!info) return false;
  sIndicatorParams params;
  if (commandId == kMovingAverageCommand) {
    params.period = static_cast<int>(info->defaults.p[0]);
    return AddIndicator(Format("SMA:%d", params.period), params);
  }
  if (std::string_view(info->name) == kParabolicSarName)
    return AddIndicator(Format("%s:%d", kParabolicSarName, NextSarCounter()), params);
  return AddIndicator(info->name, params);
}

bool FChartCtrl::RemoveIndicator(std::string_view name) {
  auto it = std::find(m_indicatorNames.begin(), m_indicatorNames.end(), name);
  if (it == m_indicatorNames.end()) return false;
  m_indicatorNames.erase(it);
  if (auto p = m_params.find(name); p != m_params.end()) m_params.erase(p);
  m_indicatorsChanged = true;
  return true;
}

int FChartCtrl::CommandOf(std::string_view name) const {
  const sIndicatorInfo* info = FindIndicator(name);
  return info ? info->commandId : 0;
}

// Brings every series up to date: a full computation for what is new or
// changed, the tail from the first changed bar for the rest.
void FChartCtrl::Recompute() {
  const size_t m = BarCount();
  size_t from = m_dirtyFrom == kClean ? m : std::min(m_dirtyFrom, m);

  // Volume in its unit; a tick that moves the unit rescales everything.
  if (from < m || m_scaledVolume.size() != m) {
    static const double kDiv[] = {1, 1e3, 1e6, 1e9};
    double max = from == 0 ? 0 : m_volumeMax;
    for (size_t t = from; t < m; ++t)
      if (HasValue(m_volume[t])) max = std::max(max, m_volume[t]);
    std::vector<double> unitProbe;
    const std::string unit = finance::ScaleVolume(std::vector<double>{max}, unitProbe);
    if (from == 0 || unit != m_volumeUnit || m_scaledVolume.size() < from) {
      m_volumeUnit =
          finance::ScaleVolume(std::span<const double>(m_volume.data(), m), m_scaledVolume);
      from = 0;
    } else {
      const double div = kDiv[unit.empty() ? 0 : unit == "K" ? 1 : unit == "M" ? 2 : 3];
      m_scaledVolume.resize(m);
      for (size_t t = from; t < m; ++t)
        m_scaledVolume[t] = HasValue(m_volume[t]) ? m_volume[t] / div : NoValue;
    }
    m_volumeMax = max;
  }

  if (m_indicatorsChanged) {
    std::vector<sCached> next;
    for (const auto& name : m_indicatorNames) {
      const sIndicatorInfo* info = FindIndicator(name);
      if (!info) continue;
      const std::string_view kind = MovingAverageKind(name);
      sCached c;
      c.name = name;
      c.info = info;
      c.fn = kind.empty() ? info->fn : MovingAverageFn(kind);
      c.opt = OptionsFor(*info, name, m_params[name]);
      c.fresh = true;
      for (auto& old : m_cache)
        if (old.name == name && old.fn == c.fn && old.opt.p == c.opt.p && !old.fresh) {
          c.out = std::move(old.out);
          c.extra = old.extra;
          c.fresh = false;
        }
      next.push_back(std::move(c));
    }
    m_cache = std::move(next);
    m_full.Clear();
  }

  const sVisibleRange r = VisibleRange();
  const size_t extra = r.Valid() ? static_cast<size_t>(r.first) : 0;
  const finance::Inputs in{
      std::span<const double>(m_high.data(), m),         std::span<const double>(m_low.data(), m),
      std::span<const double>(m_open.data(), m),         std::span<const double>(m_close.data(), m),
      std::span<const double>(m_scaledVolume.data(), m), extra};
  bool reRegister = m_indicatorsChanged;
  for (auto& c : m_cache) {
    size_t start = c.fresh ? 0 : from;
    if (c.fn == finance::Performance && c.extra != extra) start = 0;
    if (start >= m && !c.fresh) continue;
    c.fn(in, c.opt, c.out, start);
    m_lastComputedFrom = start;
    c.extra = extra;
    c.fresh = false;
    ++m_computeCount;
    if (start == 0) reRegister = true;
  }

  if (reRegister) {
    m_full.Clear();
    for (const auto& c : m_cache) {
      if (c.out.band && c.out.lines.size() >= 2)
        m_full.AddBand(c.out.bandName, c.out.lines[0].values, c.out.lines[1].values);
      else
        for (const auto& l : c.out.lines) m_full.AddSeries(l.name, l.values);
    }
  } else if (from < m) {
    for (const auto& c : m_cache) {
      if (c.out.band && c.out.lines.size() >= 2) {
        const std::string base = c.out.bandName.substr(0, c.out.bandName.find('('));
        m_full.SetSeriesValues(base + "-High", c.out.lines[0].values, from);
        m_full.SetSeriesValues(base + "-Low", c.out.lines[1].values, from);
      } else {
        for (const auto& l : c.out.lines) m_full.SetSeriesValues(l.name, l.values, from);
      }
    }
  }
  m_indicatorsChanged = false;
  m_dirtyFrom = kClean;
}

const ZintFinanceChart& FChartCtrl::FullChart() {
  Recompute();
  return m_full;
}

// --- templates ------------------------------------------------------------------

sChartTemplate FChartCtrl::Template() const {
  sChartTemplate tpl;
  tpl.volumePanel = m_volumePanel;
  tpl.sarCounter = m_sarCounter;
  tpl.style = m_style;
  for (const std::string& name : m_indicatorNames) {
    const auto p = m_params.find(name);
    tpl.indicators.push_back({name, p == m_params.end() ? sIndicatorParams{} : p->second});
    const sIndicatorInfo* info = FindIndicator(name);
    if (!MovingAverageKind(name).empty())
      tpl.movingAverages.push_back(name);
    else if (info && info->place == IndicatorPlace::kPanel)
      tpl.panels.push_back(name);
  }
  return tpl;
}

void FChartCtrl::ApplyTemplate(const sChartTemplate& tpl) {
  m_indicatorNames.clear();
  m_params.clear();
  for (const sTemplateIndicator& i : tpl.indicators) AddIndicator(i.name, i.params);
  m_indicatorsChanged = true;
  m_volumePanel = tpl.volumePanel;
  m_sarCounter = tpl.sarCounter;
  if (!tpl.style.empty()) SetStyleName(tpl.style);
}

bool FChartCtrl::SaveTemplateFile(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;  // skipped silently, as users expect of a read-only place
  const std::string line = WriteChartTemplate(Template());
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  return static_cast<bool>(out.flush());
}

bool FChartCtrl::LoadTemplateFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text(kTemplateMaxBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  sChartTemplate tpl;
  std::string error;
  const bool whole = ReadChartTemplate(text, tpl, error);
  // A file that is no template at all leaves the chart as it was.
  if (whole || !tpl.indicators.empty()) ApplyTemplate(tpl);
  m_currentTemplate = path;
  if (!whole) {
    m_dialogs.MessageBox("The chart template could not be read whole: " + error, "KovoZint", kMbOk);
  }
  return whole;
}

// --- context menu -------------------------------------------------------------

void FChartCtrl::BuildContextMenu(std::function<bool(std::string_view)> createPopup) {
  if (m_menuBuilt) return;
  m_menuBuilt = true;
  auto popup = [&](std::string_view which) { return !createPopup || createPopup(which); };
  auto box = [&](const char* text) { m_dialogs.MessageBox(text, "KovoZint", kMbOk); };
  auto error = [&](const char* text) {
    if (m_reportError) m_reportError(text);
  };
  m_menu = {};
  if (!popup("Master")) {
    box("Failed To Create Master Menu");
    return;
  }
  auto& items = m_menu.items;
  items.push_back({11000, "Lock Scrip", {}});
  if (popup("Style"))
    items.push_back(
        {0, "&Style", {{11533, "Line", {}}, {11535, "Candle", {}}, {11537, "Standard", {}}}});
  else
    box("Failed To Create Chart Style Menu");
  if (popup("Lines"))
    items.push_back({0,
                     "&Study Lines",
                     {{11512, "Ellipse ", {}},
                      {11513, "Rectangle", {}},
                      {11514, "TrendLine", {}},
                      {11515, "SpeedLines", {}},
                      {11517, "FibonacciArcs", {}},
                      {11518, "FibonacciFan", {}},
                      {11519, "FibonacciRetracements", {}},
                      {11520, "FibonacciTimeZones", {}},
                      {11521, "TironeLevels", {}},
                      {11522, "QuadrantLines", {}},
                      {11525, "Horizantal Line", {}}}});
  else
    box("Failed To Create Master Lines Menu");
  if (popup("Interval"))
    items.push_back({0,
                     "&Interval",
                     {{11547, "Hourly", {}},
                      {11548, "30 Min", {}},
                      {11549, "5 Min", {}},
                      {11550, "1 Min", {}}}});
  else
    box("Failed to Create IntraDay PeriodicalMenu");
  items.push_back({chart_cmd::kVolumePanel, "&Show Volume Panel", {}});
  if (popup("Historical"))
    items.push_back({0,
                     "&Historical",
                     {{11500, "3 Months", {}},
                      {11501, "6 Months", {}},
                      {11502, "1 Year", {}},
                      {11503, "Configure(d)", {}}}});
  else
    error("Failed To Create Historical Menu");
  if (popup("SupResist"))
    items.push_back(
        {0, "&Support and Resistance Level", {{11009, "Show", {}}, {11010, "Hide", {}}}});
  else
    error("Failed To Create SupResistMenu Menu");
  const std::pair<int, const char*> plain[] = {
      {11014, "Save as Bitmap"},
      {11015, "Save Template"},
      {11016, "Upload Template"},
      {11017, "Set as Default Template"},
      {11003, "Preference Settings\t\tCtrl+P"},
      {11004, "Data Table\t\t\t\tCtrl+D"},
      {11553, "Zoom In\t\t\t\t\tCtrl+Z"},
      {11554, "Zoom Out\t\t\t\t\tCtrl+Shift+Z"},
      {3022, "Zoom In Cursor\t\t\tCtrl+C"},
      {3023, "Zoom Out Cursor\t\t\tCtrl+Shift+C"},
      {3024, "Reset Zoom\t\t\t\tCtrl+X"},
      {3025, "Show Recent Candles\t\tCtrl+N"},
      {11020, "Remove All Symbols"},
  };
  for (const auto& [id, text] : plain) items.push_back({id, text, {}});
}

// --- legend -------------------------------------------------------------------

std::string FChartCtrl::LegendMarkup(size_t i) const {
  if (i >= BarCount() || !HasValue(m_close[i])) return {};
  const sChartLayout lay = Layout();
  const int plotWidth = lay.width - lay.marginLeft - lay.marginRight;
  std::string s = Format("<*block,width=%d*><*font=arialbd.ttf*>[", plotWidth) +
                  FormatChartTime(m_time[i]) + "]<*/font*>";
  s += "      <*block*>";
  s += "Open: " + F4(m_open[i]) + ", High: " + F4(m_high[i]) + ", Low: " + F4(m_low[i]) +
       ", Close: " + F4(m_close[i]);
  if (i > 0 && HasValue(m_close[i - 1])) {
    const double delta = m_close[i] - m_close[i - 1];
    const double pct = m_close[i] != 0 ? delta * 100 / m_close[i] : 0.0;
    s += "  ";
    s += delta >= 0 ? "<*font,color=008800*><*img=@triangle,width=8,color=008800*>"
                    : "<*font,color=CC0000*><*img=@invertedtriangle,width=8,color=CC0000*>";
    s += F4(delta) + " (" + Format("%.2f", pct) + "%)<*/font*>";
  }
  const sChartOwnerState& o = m_owner;
  if (o.showLevels && o.prevClose >= 0 && o.prevHigh >= 0 && o.prevLow >= 0) {
    const sPivotLevels lv = PivotLevels(o.prevHigh, o.prevLow, o.prevClose);
    s += ",  Pt: " + F4(lv.pivot) + ",  Rt1: " + F4(lv.r1) + ",  Rt2: " + F4(lv.r2) +
         ",  St1: " + F4(lv.s1) + ",  St2: " + F4(lv.s2);
  }
  s += "<*/*>";
  auto layer = [&](uint32_t color, const std::string& text) {
    s += Format("<*br*><*block*><*img=@square,width=8,edgeColor=000000,color=%06X*> ",
                color & 0xFFFFFFu) +
         text + "<*/*>";
  };
  for (const auto& c : m_cache) {
    // Indicators in panels of their own carry their legends there.
    if (c.info && c.info->place != IndicatorPlace::kOverlay) continue;
    if (c.out.band && c.out.lines.size() >= 2) {
      const auto& up = c.out.lines[0].values;
      const auto& lo = c.out.lines[1].values;
      if (i < up.size() && HasValue(up[i]) && HasValue(lo[i]))
        layer(LineColor(c, 0), c.out.bandName + ": " + F4(lo[i]) + " - " + F4(up[i]));
      continue;
    }
    for (size_t k = 0; k < c.out.lines.size(); ++k) {
      const auto& v = c.out.lines[k].values;
      if (i < v.size() && HasValue(v[i]))
        layer(LineColor(c, k), c.out.lines[k].name + ": " + F4(v[i]));
    }
  }
  s += "<*/*>";
  return s;
}

uint32_t FChartCtrl::LineColor(const sCached& c, size_t line) const {
  if (line == 0 || c.out.band) {
    auto it = m_params.find(c.name);
    return it == m_params.end() ? 0xFF0000 : it->second.color & 0xFFFFFFu;
  }
  return kSecondaryLines[(line - 1) % 3];
}

// --- display list -------------------------------------------------------------

const DisplayList& FChartCtrl::BuildDisplayList() {
  // A change in the shared settings shows on the next redraw of every chart.
  if (m_shared) m_settings = *m_shared;
  m_list.Clear();
  const sChartLayout lay = Layout();
  m_list.width = lay.width;
  m_list.height = lay.height;
  m_list.background = m_settings.backColor;
  m_drawn = {};
  const sVisibleRange r = VisibleRange();
  if (BarCount() < 2 || !r.Valid()) return m_list;
  Recompute();
  m_drawn = r;
  m_labelColumn = 0;  // sized with the price axis

  const float x = static_cast<float>(lay.marginLeft);
  const float w = static_cast<float>(std::max(lay.width - lay.marginLeft - lay.marginRight, 1));
  float y = static_cast<float>(lay.marginTop);
  m_list.panels.push_back({x, y, w, static_cast<float>(lay.mainPlotHeight)});
  y += static_cast<float>(lay.mainPlotHeight);
  // Lower panels: indicators in the order added, then volume.
  std::vector<const sCached*> panelIndicators;
  for (const auto& c : m_cache)
    if (c.info->place == IndicatorPlace::kPanel) panelIndicators.push_back(&c);
  const size_t lower = panelIndicators.size() + (m_volumePanel ? 1 : 0);
  for (size_t i = 0; i < lower; ++i) {
    m_list.panels.push_back({x, y, w, static_cast<float>(lay.lowerPanelHeight)});
    y += static_cast<float>(lay.lowerPanelHeight);
  }
  for (size_t i = 0; i < m_list.panels.size(); ++i) {
    const DlPanel& p = m_list.panels[i];
    m_list.items.push_back(
        Rect(p.x, p.y, p.x + p.w, p.y + p.h, m_settings.gridColor, m_settings.backColor));
  }

  DrawPricePanel(m_list.panels[0], r);
  for (size_t i = 0; i < panelIndicators.size(); ++i)
    DrawIndicatorPanel(m_list.panels[i + 1], r, *panelIndicators[i], static_cast<int>(i + 1));
  if (m_volumePanel)
    DrawVolumePanel(m_list.panels.back(), r, static_cast<int>(m_list.panels.size() - 1));
  DrawXAxis(m_list.panels[0], r, y);
  return m_list;
}

void FChartCtrl::AddHLine(const DlPanel& p, float x0, float x1, double price, uint32_t color,
                          bool dashed) {
  const float yy = PanelY(p, price);
  m_list.items.push_back(Line(x0, yy, x1, yy, color, 2, dashed, 0));
}

void FChartCtrl::DrawYAxis(const DlPanel& p, int panelIndex, const char* format,
                           std::vector<DlItem>& labels, const char* unit) {
  const double step = NiceStep(p.yMax - p.yMin, std::max(2, static_cast<int>(p.h / 30)));
  const int decimals = std::clamp(-static_cast<int>(std::floor(std::log10(step))), 0, 6);
  const bool left = m_settings.leftAlign;
  // Counted, so a step below the precision of huge values still ends.
  const double start = std::ceil(p.yMin / step) * step;
  for (int k = 0; k < 200; ++k) {
    const double v = start + k * step;
    if (!(v <= p.yMax + step * 1e-9)) break;
    if (p.log && v <= 0) continue;
    const float yy = PanelY(p, v);
    if (m_settings.showXGrid)
      m_list.items.push_back(
          Line(p.x, yy, p.x + p.w, yy, m_settings.gridColor, 1, false, panelIndex));
    std::string label = format ? Format("%.2f", v) : Format("%.*f", decimals, v);
    if (unit && *unit) label = std::fabs(v) < step * 1e-6 ? "0" : label + unit;
    DlItem t = left ? Text(p.x - 4, yy, std::move(label), m_settings.foreColor, DlAlign::kRight)
                    : Text(p.x + p.w - 2, yy, std::move(label), m_settings.foreColor,
                           DlAlign::kRight, panelIndex);
    labels.push_back(std::move(t));
  }
}

void FChartCtrl::DrawXAxis(const DlPanel& main, const sVisibleRange& r, float bottom) {
  const double barW = DataWidth(main) / static_cast<double>(r.Count());
  // Labels at round times: the smallest step that leaves them 80 pixels apart.
  const double span =
      r.Count() > 1 ? (m_time[static_cast<size_t>(r.last)] - m_time[static_cast<size_t>(r.first)]) /
                          static_cast<double>(r.Count() - 1)
                    : 60.0;
  const double perPixel = span / std::max(barW, 1e-6);
  static const double kSteps[] = {60,         120,         300,        600,        900,
                                  1800,       3600,        7200,       10800,      21600,
                                  86400,      2 * 86400,   7 * 86400,  14 * 86400, 30 * 86400,
                                  91 * 86400, 182 * 86400, 365 * 86400};
  double step = kSteps[std::size(kSteps) - 1];
  for (const double candidate : kSteps) {
    if (candidate >= perPixel * 80) {
      step = candidate;
      break;
    }
  }
  double prevDay = -1;
  float prevX = -1e9f;
  for (long i = r.first; i <= r.last; ++i) {
    const double t = m_time[static_cast<size_t>(i)];
    // The first bar of each step is where its round time falls.
    const bool first = i == r.first;
    const bool starts =
        !first && std::floor(t / step) != std::floor(m_time[static_cast<size_t>(i - 1)] / step);
    if (!starts) continue;
    const float xx = XOfBar(static_cast<double>(i));
    if (xx - prevX < 60) continue;
    prevX = xx;
    if (m_settings.showYGrid)
      for (size_t k = 0; k < m_list.panels.size(); ++k) {
        const DlPanel& p = m_list.panels[k];
        m_list.items.push_back(
            Line(xx, p.y, xx, p.y + p.h, m_settings.gridColor, 1, false, static_cast<int>(k)));
      }
    const double day = std::floor(t / 86400);
    const std::string label =
        m_owner.isHistorical || day != prevDay
            ? (m_owner.isHistorical ? FormatChartDate(t)
                                    : FormatChartDate(t) + " " + FormatChartClock(t))
            : FormatChartClock(t);
    prevDay = day;
    // Labels at the ends are kept inside the control (about 6 px a letter).
    const float half = static_cast<float>(label.size()) * 3.0f;
    const float right = static_cast<float>(m_list.width);
    if (xx - half < 0) {
      m_list.items.push_back(Text(2, bottom + 10, label, m_settings.foreColor, DlAlign::kLeft));
    } else if (xx + half > right) {
      m_list.items.push_back(
          Text(right - 2, bottom + 10, label, m_settings.foreColor, DlAlign::kRight));
    } else {
      m_list.items.push_back(Text(xx, bottom + 10, label, m_settings.foreColor, DlAlign::kCenter));
    }
  }
}

void FChartCtrl::DrawBandFill(const DlPanel& p, const sVisibleRange& r, const sCached& c,
                              uint32_t color) {
  const auto& up = c.out.lines[0].values;
  const auto& lo = c.out.lines[1].values;
  const float barW = DataWidth(p) / static_cast<float>(r.Count());
  DlItem fill;
  fill.kind = DlKind::kPolyline;
  fill.pen = kNoColor;
  // The band's colour, mostly see-through, so the candles show inside it.
  fill.fill = (color & 0xFFFFFFu) | 0xC0000000u;
  fill.clip = 0;
  std::vector<DlPoint> lower;
  auto flush = [&] {
    if (fill.points.size() >= 2) {
      fill.points.insert(fill.points.end(), lower.rbegin(), lower.rend());
      m_list.items.push_back(fill);
    }
    fill.points.clear();
    lower.clear();
  };
  for (long i = r.first; i <= r.last; ++i) {
    const size_t t = static_cast<size_t>(i);
    if (t >= up.size() || t >= lo.size() || !HasValue(up[t]) || !HasValue(lo[t])) {
      flush();
      continue;
    }
    const float xx = p.x + (static_cast<float>(i - r.first) + 0.5f) * barW;
    fill.points.push_back({xx, PanelY(p, up[t])});
    lower.push_back({xx, PanelY(p, lo[t])});
  }
  flush();
}

void FChartCtrl::DrawSeries(const DlPanel& p, const sVisibleRange& r, const std::vector<double>& v,
                            uint32_t color, bool bars, int panelIndex) {
  const float barW = DataWidth(p) / static_cast<float>(r.Count());
  DlItem poly;
  poly.kind = DlKind::kPolyline;
  poly.pen = color;
  poly.clip = panelIndex;
  auto flush = [&] {
    if (poly.points.size() >= 2) m_list.items.push_back(poly);
    poly.points.clear();
  };
  const float zero = PanelY(p, std::clamp(0.0, p.yMin, p.yMax));
  for (long i = r.first; i <= r.last; ++i) {
    const size_t t = static_cast<size_t>(i);
    if (t >= v.size() || !HasValue(v[t])) {
      flush();
      continue;
    }
    const float xx = p.x + (static_cast<float>(i - r.first) + 0.5f) * barW;
    const float yy = PanelY(p, v[t]);
    if (bars)
      m_list.items.push_back(
          Rect(xx - barW * 0.35f, zero, xx + barW * 0.35f, yy, kNoColor, color, panelIndex));
    else
      poly.points.push_back({xx, yy});
  }
  flush();
}

void FChartCtrl::DrawPricePanel(const DlPanel& pIn, const sVisibleRange& r) {
  DlPanel& p = m_list.panels[0];
  (void)pIn;
  double lo = NoValue, hi = -NoValue;
  for (long i = r.first; i <= r.last; ++i) {
    const size_t t = static_cast<size_t>(i);
    if (HasValue(m_low[t])) lo = std::min(lo, m_low[t]);
    if (HasValue(m_high[t])) hi = std::max(hi, m_high[t]);
  }
  for (const auto& c : m_cache) {
    if (c.info->place != IndicatorPlace::kOverlay) continue;
    for (const auto& l : c.out.lines)
      for (long i = r.first; i <= r.last && static_cast<size_t>(i) < l.values.size(); ++i) {
        const double v = l.values[static_cast<size_t>(i)];
        if (HasValue(v) && v > 0) lo = std::min(lo, v), hi = std::max(hi, v);
      }
  }
  if (!(hi >= lo)) lo = 0, hi = 1;
  if (hi == lo) lo -= 1, hi += 1;
  const double pad = (hi - lo) * 0.05;
  p.yMin = lo - pad;
  p.yMax = hi + pad * 2;  // the top keeps twice the margin
  if (!m_settings.leftAlign) {
    // About 6 px a letter for the widest price label; at most a third of the
    // chart, so absurd prices cannot squeeze the bars away.
    const double widest = std::max(std::fabs(p.yMin), std::fabs(p.yMax));
    const size_t letters = Format("%.2f", p.yMin < 0 ? -widest : widest).size();
    m_labelColumn =
        std::min(static_cast<float>(letters * 6 + 8), static_cast<float>(m_list.width) / 3);
  }
  // Semi-log needs every price on the axis positive.
  p.log = m_settings.semiLog && p.yMin > 0;
  std::vector<DlItem> labels;
  DrawYAxis(p, 0, "%.2f", labels);

  const float barW = DataWidth(p) / static_cast<float>(r.Count());
  const float half = std::max(barW * 0.35f, 0.5f);
  const sChartSettings& s = m_settings;
  if (m_style == "Line") {
    DrawSeries(p, r, m_close, s.foreColor, false, 0);
  } else {
    for (long i = r.first; i <= r.last; ++i) {
      const size_t t = static_cast<size_t>(i);
      if (!HasValue(m_close[t]) || !HasValue(m_open[t])) continue;
      const bool up = m_close[t] >= m_open[t];
      const uint32_t color = up ? s.upTickColor : s.downTickColor;
      const float xx = p.x + (static_cast<float>(i - r.first) + 0.5f) * barW;
      const float yh = PanelY(p, m_high[t]), yl = PanelY(p, m_low[t]);
      const float yo = PanelY(p, m_open[t]), yc = PanelY(p, m_close[t]);
      if (m_style == "CandleStick") {
        m_list.items.push_back(Line(xx, yh, xx, yl, s.foreColor, 1, false, 0));
        m_list.items.push_back(Rect(xx - half, yo, xx + half, yc, s.foreColor, color, 0));
      } else {
        m_list.items.push_back(Line(xx, yh, xx, yl, color, 1, false, 0));
        m_list.items.push_back(Line(xx - half, yo, xx, yo, color, 1, false, 0));
        m_list.items.push_back(Line(xx, yc, xx + half, yc, color, 1, false, 0));
      }
    }
  }
  for (const auto& c : m_cache) {
    if (c.info->place != IndicatorPlace::kOverlay) continue;
    const uint32_t color = LineColor(c, 0);
    if (c.fn == finance::ParabolicSar) {
      const auto& v = c.out.lines[0].values;
      for (long i = r.first; i <= r.last && static_cast<size_t>(i) < v.size(); ++i) {
        if (!HasValue(v[static_cast<size_t>(i)])) continue;
        const float xx = p.x + (static_cast<float>(i - r.first) + 0.5f) * barW;
        const float yy = PanelY(p, v[static_cast<size_t>(i)]);
        DlItem dot = Rect(xx - 2, yy - 2, xx + 2, yy + 2, color, color, 0);
        dot.kind = DlKind::kEllipse;
        m_list.items.push_back(std::move(dot));
      }
      continue;
    }
    if (c.out.band && c.out.lines.size() >= 2) DrawBandFill(p, r, c, color);
    for (size_t k = 0; k < c.out.lines.size(); ++k)
      DrawSeries(p, r, c.out.lines[k].values, c.out.band ? color : LineColor(c, k), false, 0);
  }
  m_list.items.insert(m_list.items.end(), std::make_move_iterator(labels.begin()),
                      std::make_move_iterator(labels.end()));
  DrawStudyLines(p);
  DrawLastPrice(p);
  DrawLegend(p, r);
}

void FChartCtrl::DrawVolumePanel(const DlPanel& pIn, const sVisibleRange& r, int panelIndex) {
  DlPanel& p = m_list.panels[static_cast<size_t>(panelIndex)];
  (void)pIn;
  // The unit follows what is in sight, not the busiest day of the history.
  double raw = 0;
  for (long i = r.first; i <= r.last; ++i)
    if (HasValue(m_volume[static_cast<size_t>(i)]))
      raw = std::max(raw, m_volume[static_cast<size_t>(i)]);
  static const char* const kUnits[] = {"", "K", "M", "B"};
  int unit = 0;
  double div = 1;
  while (unit < 3 && raw >= div * 1000) div *= 1000, ++unit;
  const double hi = raw / div;
  p.yMin = 0;
  p.yMax = hi > 0 ? hi * 1.1 : 1;
  std::vector<DlItem> labels;
  DrawYAxis(p, panelIndex, nullptr, labels, kUnits[unit]);
  const float barW = DataWidth(p) / static_cast<float>(r.Count());
  for (long i = r.first; i <= r.last; ++i) {
    const size_t t = static_cast<size_t>(i);
    if (!HasValue(m_volume[t])) continue;
    const double v = m_volume[t] / div;
    const double d = t > 0 && HasValue(m_close[t - 1]) ? m_close[t] - m_close[t - 1] : 0.0;
    const uint32_t color = d > 0   ? m_settings.upTickColor
                           : d < 0 ? m_settings.downTickColor
                                   : m_settings.customVolumeColor;
    const float xx = p.x + (static_cast<float>(i - r.first) + 0.5f) * barW;
    m_list.items.push_back(Rect(xx - barW * 0.35f, PanelY(p, 0), xx + barW * 0.35f, PanelY(p, v),
                                kNoColor, color, panelIndex));
  }
  m_list.items.insert(m_list.items.end(), std::make_move_iterator(labels.begin()),
                      std::make_move_iterator(labels.end()));
  const size_t last = static_cast<size_t>(r.last);
  std::string text = "Vol";
  if (HasValue(m_volume[last]))
    text += ": " + finance::FormatLegendNumber(m_volume[last] / div) + kUnits[unit];
  m_list.items.push_back(
      Text(p.x + 4, p.y + 8, text, m_settings.foreColor, DlAlign::kLeft, panelIndex));
}

void FChartCtrl::DrawIndicatorPanel(const DlPanel& pIn, const sVisibleRange& r, const sCached& c,
                                    int panelIndex) {
  DlPanel& p = m_list.panels[static_cast<size_t>(panelIndex)];
  (void)pIn;
  if (HasValue(c.out.axisMin) && HasValue(c.out.axisMax)) {
    p.yMin = c.out.axisMin, p.yMax = c.out.axisMax;
  } else {
    double lo = NoValue, hi = -NoValue;
    for (const auto& l : c.out.lines)
      for (long i = r.first; i <= r.last && static_cast<size_t>(i) < l.values.size(); ++i) {
        const double v = l.values[static_cast<size_t>(i)];
        if (HasValue(v)) lo = std::min(lo, v), hi = std::max(hi, v);
      }
    for (double m : c.out.marks) lo = std::min(lo, m), hi = std::max(hi, m);
    if (!(hi >= lo)) lo = 0, hi = 1;
    if (hi == lo) lo -= 1, hi += 1;
    const double pad = (hi - lo) * 0.05;
    p.yMin = lo - pad, p.yMax = hi + pad;
  }
  std::vector<DlItem> labels;
  DrawYAxis(p, panelIndex, nullptr, labels);
  for (double m : c.out.marks) {
    const float yy = PanelY(p, m);
    m_list.items.push_back(Line(p.x, yy, p.x + p.w, yy, m_settings.foreColor, 1, true, panelIndex));
  }
  for (size_t k = 0; k < c.out.lines.size(); ++k)
    DrawSeries(p, r, c.out.lines[k].values, LineColor(c, k), c.out.lines[k].bars, panelIndex);
  m_list.items.insert(m_list.items.end(), std::make_move_iterator(labels.begin()),
                      std::make_move_iterator(labels.end()));
  // The library's legend: each series with its last value, in its colour.
  float lx = p.x + 4;
  for (size_t k = 0; k < c.out.lines.size(); ++k) {
    const std::string text = finance::LegendText(c.out, k);
    if (text.empty()) continue;
    m_list.items.push_back(Text(lx, p.y + 8, text, LineColor(c, k), DlAlign::kLeft, panelIndex));
    lx += static_cast<float>(text.size()) * 6 + 10;
  }
}

void FChartCtrl::DrawLegend(const DlPanel& p, const sVisibleRange& r) {
  if (!m_settings.panelBorder) {
    // Static legend: last bar's prices and each overlay with its last value.
    const size_t last = static_cast<size_t>(r.last);
    std::string text = "Op:" + finance::FormatLegendNumber(m_open[last]) +
                       ", Hi:" + finance::FormatLegendNumber(m_high[last]) +
                       ", Lo:" + finance::FormatLegendNumber(m_low[last]) +
                       ", Cl:" + finance::FormatLegendNumber(m_close[last]);
    for (const auto& c : m_cache)
      if (c.info->place == IndicatorPlace::kOverlay) text += "   " + finance::LegendText(c.out, 0);
    DlItem t = Text(p.x + 4, p.y + 8, text, m_settings.foreColor, DlAlign::kLeft, 0);
    t.fill = kLegendGrey;
    m_list.items.push_back(std::move(t));
    return;
  }
  const long bar = m_mouseBar >= r.first && m_mouseBar <= r.last ? m_mouseBar : r.last;
  DlItem legend;
  legend.kind = DlKind::kRichText;
  // Inside the bars' area: the price labels stay readable.
  legend.x0 = p.x + 2, legend.y0 = p.y + 2;
  legend.x1 = p.x + DataWidth(p) - 2, legend.y1 = p.y + p.h - 2;
  legend.fill = kLegendGrey;
  legend.pen = m_settings.foreColor;
  legend.clip = 0;
  legend.runs = ParseMarkup(LegendMarkup(static_cast<size_t>(bar)), m_settings.foreColor);
  m_list.items.push_back(std::move(legend));
}

void FChartCtrl::DrawLastPrice(const DlPanel& p) {
  if (!(m_lastPrice > 0) || m_lastPrice < p.yMin || m_lastPrice > p.yMax) return;
  const float yy = PanelY(p, m_lastPrice);
  m_list.items.push_back(Line(p.x, yy, p.x + p.w, yy, m_settings.foreColor, 1, true, 0));
  const float right = p.x + p.w;
  DlItem box =
      Rect(right - 52, yy - 7, right, yy + 7, m_settings.foreColor, m_settings.customOneColor);
  m_list.items.push_back(std::move(box));
  m_list.items.push_back(
      Text(right - 2, yy, Format("%.2f", m_lastPrice), m_settings.foreColor, DlAlign::kRight));
}

void FChartCtrl::DrawStudyLines(const DlPanel& p) {
  for (const auto& l : m_lines) DrawStudyLine(p, l);
  if (m_selected >= 0 && static_cast<size_t>(m_selected) < m_lines.size()) {
    // Handles on the anchors of the selected line.
    const sStudyLine& l = m_lines[static_cast<size_t>(m_selected)];
    for (const auto& [bx, price] : {std::pair{l.x1, l.p1}, std::pair{l.x2, l.p2}}) {
      const float hx = XOfBar(bx), hy = PanelY(p, price);
      m_list.items.push_back(
          Rect(hx - 3, hy - 3, hx + 3, hy + 3, m_settings.foreColor, m_settings.backColor, 0));
    }
  }
  if (m_dragging && m_tool != kToolNone) {
    sStudyLine rubber{m_tool,        BarAtX(m_ax1),   PriceAtY(m_ay1),
                      BarAtX(m_ax2), PriceAtY(m_ay2), m_settings.trendLineColor};
    DrawStudyLine(p, rubber);
  }
}

void FChartCtrl::DrawStudyLine(const DlPanel& p, const sStudyLine& l) {
  const float X1 = XOfBar(l.x1), X2 = XOfBar(l.x2);
  const float Y1 = PanelY(p, l.p1), Y2 = PanelY(p, l.p2);
  const uint32_t c = l.color;
  const float right = p.x + p.w;
  // A ray from (X1, Y1) through (bx, by) to the right edge.
  auto ray = [&](float bx, float by) {
    float ex = right, ey = by;
    if (bx != X1) ey = Y1 + (by - Y1) * (right - X1) / (bx - X1);
    if (bx < X1) ex = bx, ey = by;
    m_list.items.push_back(Line(X1, Y1, ex, ey, c, 2, false, 0));
  };
  auto highLow = [&](double& hi, double& lo) {
    const long a = std::max(0L, std::lround(std::min(l.x1, l.x2)));
    const long b = std::min(static_cast<long>(BarCount()) - 1, std::lround(std::max(l.x1, l.x2)));
    hi = -NoValue, lo = NoValue;
    for (long i = a; i <= b; ++i) {
      const size_t t = static_cast<size_t>(i);
      if (HasValue(m_high[t])) hi = std::max(hi, m_high[t]);
      if (HasValue(m_low[t])) lo = std::min(lo, m_low[t]);
    }
    return hi >= lo;
  };
  switch (l.tool) {
    case kToolTrendLine:
      m_list.items.push_back(Line(X1, Y1, X2, Y2, c, 2, false, 0));
      break;
    case kToolHorizontalLine:
      m_list.items.push_back(Line(p.x, Y1, right, Y1, c, 2, false, 0));
      break;
    case kToolRectangle:
      m_list.items.push_back(Rect(X1, Y1, X2, Y2, c, kNoColor, 0));
      break;
    case kToolEllipse: {
      DlItem e = Rect(X1, Y1, X2, Y2, c, kNoColor, 0);
      e.kind = DlKind::kEllipse;
      e.penWidth = 2;
      m_list.items.push_back(std::move(e));
      break;
    }
    case kToolSpeedLines: {
      ray(X2, Y2);
      for (double price : SpeedLinePrices(l.p1, l.p2)) ray(X2, PanelY(p, price));
      break;
    }
    case kToolFibonacciFan:
      for (double price : FibonacciFanPrices(l.p1, l.p2)) ray(X2, PanelY(p, price));
      break;
    case kToolFibonacciArcs:
      for (double price : FibonacciFanPrices(l.p1, l.p2)) {
        const float radius = std::fabs(PanelY(p, price) - Y2);
        DlItem arc = Rect(X2 - radius, Y2 - radius, X2 + radius, Y2 + radius, c, kNoColor, 0);
        arc.kind = DlKind::kArc;
        arc.penWidth = 2;
        arc.startDeg = l.p1 >= l.p2 ? 0 : 180;  // open towards the first anchor
        arc.spanDeg = 180;
        m_list.items.push_back(std::move(arc));
      }
      break;
    case kToolFibonacciRetracements: {
      const std::vector<sLevel> levels = FibonacciRetracementLevels(l.p1, l.p2);
      for (const sLevel& lv : levels) AddHLine(p, X1, X2, lv.price, c, false);
      // The 94.4, 91.0 and 85.4 levels lie close together: a label goes only
      // where it does not cover another, the ends and the golden levels first.
      constexpr size_t kOrder[] = {0, 7, 5, 6, 4, 3, 2, 1};
      constexpr float kLabelHeight = 11;
      std::vector<float> placed;
      for (const size_t k : kOrder) {
        if (k >= levels.size()) continue;
        const float yy = PanelY(p, levels[k].price) - 6;
        const bool free = std::none_of(placed.begin(), placed.end(), [&](float other) {
          return std::fabs(other - yy) < kLabelHeight;
        });
        if (!free) continue;
        placed.push_back(yy);
        m_list.items.push_back(
            Text(std::max(X1, X2) - 2, yy, levels[k].label, c, DlAlign::kRight, 0));
      }
      break;
    }
    case kToolFibonacciTimeZones: {
      const auto xs = FibonacciTimeZoneOffsets(l.x1, l.x2);
      for (size_t k = 0; k < xs.size(); ++k) {
        const float xx = XOfBar(xs[k]);
        m_list.items.push_back(Line(xx, p.y, xx, p.y + p.h, c, 2, k != 0 && k + 1 != xs.size(), 0));
      }
      break;
    }
    case kToolTironeLevels:
    case kToolQuadrantLines: {
      double hi, lo;
      if (!highLow(hi, lo)) break;
      const auto levels =
          l.tool == kToolTironeLevels ? TironeLevels(hi, lo) : QuadrantLevels(hi, lo);
      for (const sLevel& lv : levels) AddHLine(p, X1, X2, lv.price, c, lv.dashed);
      break;
    }
    default:
      break;
  }
}

}  // namespace kovo
