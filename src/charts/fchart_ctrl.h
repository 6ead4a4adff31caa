#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charts/chart_settings.h"
#include "charts/chart_template.h"
#include "charts/display_list.h"
#include "charts/finance/indicators.h"
#include "charts/indicator_catalog.h"
#include "charts/study_lines.h"
#include "charts/zint_finance_chart.h"
#include "platform/dialogs.h"
#include "platform/settings.h"

namespace kovo {

// Command ids of the chart's context menu.
namespace chart_cmd {
inline constexpr int kLockScrip = 11000;
inline constexpr int kPreferenceSettings = 11003;
inline constexpr int kDataTable = 11004;
inline constexpr int kShowLevels = 11009;
inline constexpr int kHideLevels = 11010;
inline constexpr int kSaveBitmap = 11014;
inline constexpr int kSaveTemplate = 11015;
inline constexpr int kUploadTemplate = 11016;
inline constexpr int kDefaultTemplate = 11017;
inline constexpr int kRemoveAllSymbols = 11020;
inline constexpr int kShowLevelsReopen = 11021;
inline constexpr int kStyleLine = 11533;
inline constexpr int kStyleCandle = 11535;
inline constexpr int kStyleStandard = 11537;
inline constexpr int kVolumePanel = 3029;
inline constexpr int kZoomInCursor = 3022;
inline constexpr int kZoomOutCursor = 3023;
inline constexpr int kResetZoom = 3024;
inline constexpr int kRecentCandles = 3025;
inline constexpr int kZoomIn = 11553;
inline constexpr int kZoomOut = 11554;
}  // namespace chart_cmd

inline constexpr const char* kBitmapFilter = "Chart Files (*.bmp)|*.bmp||";

// What the chart window tells its chart: levels for the legend and the kind of window.
struct sChartOwnerState {
  double prevClose = -1.0, prevHigh = -1.0, prevLow = -1.0;
  bool showLevels = false;
  bool isHistorical = false;
};

struct sChartMenuItem {
  int id = 0;  // 0 for a separator or a sub-menu
  std::string text;
  std::vector<sChartMenuItem> items;
};

struct sChartBar {
  double time = 0, high = 0, low = 0, open = 0, close = 0, volume = 0;
};

// Pixel layout of one redraw.
struct sChartLayout {
  int width = 0, height = 0;  // control size
  int indicatorArea = 0;      // A = H / 3 with lower panels
  int lowerPanelHeight = 0;   // A / k
  int pricePanelHeight = 0;   // H - A
  int mainPlotHeight = 0;     // price panel less 60
  int marginLeft = 0, marginRight = 0, marginTop = 0, marginBottom = 0;
  int lowerPanels = 0;
};

struct sVisibleRange {
  long first = -1, last = -1;
  bool Valid() const { return first >= 0 && last >= first; }
  long Count() const { return Valid() ? last - first + 1 : 0; }
};

// The chart control: bar arrays with the reserved live-bar slot, view port,
// indicators, study lines, legend and context menu; builds a display list.
class FChartCtrl {
 public:
  // `reportError` writes the control block's error report.
  FChartCtrl(const CSettingsFiles& settings, Dialogs& dialogs,
             std::function<void(std::string_view)> reportError = {});

  // --- data -------------------------------------------------------------------
  // Arrays of count = bars + 1; the last slot is kept for the live bar.
  void SetData(std::vector<double> time, std::vector<double> high, std::vector<double> low,
               std::vector<double> open, std::vector<double> close, std::vector<double> volume);
  // A tick changed bar k (k = count - 1 opens the live bar).
  void UpdateBar(size_t k, const sChartBar& bar);
  void SetLiveBarOpen(bool open);
  bool LiveBarOpen() const { return m_liveBarOpen; }
  size_t Count() const { return m_time.size(); }
  // Bars that carry data: the live slot only counts while open.
  size_t BarCount() const;
  sChartBar Bar(size_t i) const;
  void Reset();
  void SetZoomFactor(double factor) { m_zoomFactor = factor; }
  void MarkLastPrice(double price) { m_lastPrice = price; }
  double LastPriceMark() const { return m_lastPrice; }

  // --- owner, settings, size ---------------------------------------------------
  sChartOwnerState& Owner() { return m_owner; }
  void ReloadSettings() { m_settings = LoadChartSettings(m_files); }
  const sChartSettings& Settings() const { return m_shared ? *m_shared : m_settings; }
  void SetSettings(const sChartSettings& s) {
    m_shared.reset();
    m_settings = s;
  }
  // Every chart window draws with the one settings object; read on each redraw.
  void ShareSettings(std::shared_ptr<const sChartSettings> shared) { m_shared = std::move(shared); }
  void SetPaneSize(int width, int height);
  sChartLayout Layout() const;

  // --- view port ---------------------------------------------------------------
  double ViewLeft() const { return m_viewLeft; }
  double ViewWidth() const { return m_viewWidth; }
  void SetViewPort(double left, double width);
  double ArrowStep() const { return m_arrowStep; }
  sVisibleRange VisibleRange() const;
  bool ScrollEnabled() const;
  void ZoomIn();
  void ZoomOut();
  void ResetZoom();
  void ShowRecentCandles();
  void OnKeyLeft();
  void OnKeyRight();
  int MouseMode() const { return m_mouseMode; }

  // --- style and panels --------------------------------------------------------
  const std::string& StyleName() const { return m_style; }
  void SetStyleName(std::string_view style);  // "Line", "CandleStick" or "OHLC"
  bool VolumePanel() const { return m_volumePanel; }
  void SetVolumePanel(bool show);

  // --- commands and mouse ------------------------------------------------------
  // True when the id is the control's own.
  bool OnCommand(int id);
  bool IsChecked(int id) const;
  void OnMouseMove(int x, int y, bool buttonDown);
  void OnMouseDown(int x, int y);
  void OnMouseUp(int x, int y);
  void OnMouseLeave() { m_mouseBar = -1; }
  // Called with the chosen file for "Save as Bitmap"; the painter writes it.
  void SetBitmapWriter(std::function<bool(const std::string&)> writer) {
    m_bitmapWriter = std::move(writer);
  }
  // 11021: reopen the intraday chart (the store's part).
  void SetReopenIntraday(std::function<void()> reopen) { m_reopen = std::move(reopen); }

  // --- study lines -------------------------------------------------------------
  int DrawingTool() const { return m_tool; }
  void SetDrawingTool(int tool);
  const std::vector<sStudyLine>& StudyLines() const { return m_lines; }
  void AddStudyLine(const sStudyLine& line) { m_lines.push_back(line); }
  void RemoveAllStudyLines();
  // The topmost line near a pixel of the price panel, -1 for none.
  int HitStudyLine(int x, int y) const;
  // A click on a line selects it; dragging moves it; Delete removes it.
  int SelectedStudyLine() const { return m_selected; }
  bool DeleteSelectedStudyLine();

  // --- indicators --------------------------------------------------------------
  const std::vector<std::string>& IndicatorNames() const { return m_indicatorNames; }
  sIndicatorParams* Params(std::string_view name);
  // Stores the parameters and lists the name once; false for an unknown name.
  bool AddIndicator(const std::string& name, const sIndicatorParams& params);
  bool AddIndicatorByCommand(int commandId);
  bool RemoveIndicator(std::string_view name);
  int CommandOf(std::string_view name) const;
  // The counter that names each "Parabolic Sar"; returns the next value.
  int NextSarCounter() { return ++m_sarCounter; }
  int SarCounter() const { return m_sarCounter; }
  void SetSarCounter(int counter) { m_sarCounter = counter; }
  // How many indicator series were computed since construction (cache check).
  size_t ComputeCount() const { return m_computeCount; }
  // The bar the last computation started from (0: everything was rebuilt).
  size_t LastComputedFrom() const { return m_lastComputedFrom; }

  // --- templates ----------------------------------------------------------------
  sChartTemplate Template() const;
  // Replaces the indicators, the volume panel and (when kept) the style.
  void ApplyTemplate(const sChartTemplate& tpl);
  const std::string& CurrentTemplate() const { return m_currentTemplate; }
  bool SaveTemplateFile(const std::string& path);
  // False when the file cannot be opened (nothing changes) or holds no
  // template (what was read before the fault is kept; the reason goes to a message box).
  bool LoadTemplateFile(const std::string& path);
  // "Set as Default Template" tells the owner, which keeps the path too.
  void SetDefaultTemplateKeeper(std::function<void(const std::string&)> keep) {
    m_keepDefault = std::move(keep);
  }

  // --- context menu ------------------------------------------------------------
  // Built once; `createPopup` may refuse a sub-menu (the failure is then reported).
  void BuildContextMenu(std::function<bool(std::string_view)> createPopup = {});
  const sChartMenuItem& ContextMenu() const { return m_menu; }

  // --- drawing -----------------------------------------------------------------
  // The legend mark-up for bar i (empty when it has no close).
  std::string LegendMarkup(size_t i) const;
  long MouseBar() const { return m_mouseBar; }
  // Recomputes what changed and builds the picture; empty with fewer than two bars.
  const DisplayList& BuildDisplayList();
  const ZintFinanceChart& FullChart();

  // Pixel <-> data on the price panel of the last display list.
  double BarAtX(double x) const;
  double PriceAtY(double y) const;
  float XOfBar(double bar) const;
  float YOfPrice(double price) const;

 private:
  struct sCached {
    std::string name;
    const sIndicatorInfo* info = nullptr;
    finance::IndicatorFn fn = nullptr;
    finance::Options opt;
    size_t extra = 0;
    bool fresh = false;  // needs a full computation
    finance::Outputs out;
  };

  void Invalidate(size_t from);
  void Recompute();
  void ChangeViewPort(double left, double width);
  void ZoomAt(double x, bool in);
  void DrawPricePanel(const DlPanel& p, const sVisibleRange& r);
  void DrawVolumePanel(const DlPanel& p, const sVisibleRange& r, int panelIndex);
  void DrawIndicatorPanel(const DlPanel& p, const sVisibleRange& r, const sCached& c,
                          int panelIndex);
  // Width of a panel that holds bars: the price labels on the right have a
  // column of their own, so they never cover the newest bars.
  float DataWidth(const DlPanel& p) const { return std::max(p.w - m_labelColumn, 1.0f); }
  void DrawBandFill(const DlPanel& p, const sVisibleRange& r, const sCached& c, uint32_t color);
  void DrawSeries(const DlPanel& p, const sVisibleRange& r, const std::vector<double>& v,
                  uint32_t color, bool bars, int panelIndex);
  // Grid lines go into the list now; the labels into `labels`, for the
  // caller to add after the series so that no bar hides them.
  // `unit` follows each label but zero (volume in "K", "M", "B").
  void DrawYAxis(const DlPanel& p, int panelIndex, const char* format, std::vector<DlItem>& labels,
                 const char* unit = nullptr);
  void DrawXAxis(const DlPanel& p, const sVisibleRange& r, float bottom);
  void DrawStudyLines(const DlPanel& p);
  void DrawStudyLine(const DlPanel& p, const sStudyLine& l);
  void DrawLegend(const DlPanel& p, const sVisibleRange& r);
  void DrawLastPrice(const DlPanel& p);
  void AddHLine(const DlPanel& p, float x0, float x1, double price, uint32_t color, bool dashed);
  uint32_t LineColor(const sCached& c, size_t line) const;
  float PanelY(const DlPanel& p, double v) const;

  const CSettingsFiles& m_files;
  Dialogs& m_dialogs;
  std::function<void(std::string_view)> m_reportError;
  std::function<bool(const std::string&)> m_bitmapWriter;
  std::function<void()> m_reopen;
  sChartSettings m_settings;
  std::shared_ptr<const sChartSettings> m_shared;
  std::string m_currentTemplate;
  std::function<void(const std::string&)> m_keepDefault;
  sChartOwnerState m_owner;

  std::vector<double> m_time, m_high, m_low, m_open, m_close, m_volume;
  std::vector<double> m_scaledVolume;
  std::string m_volumeUnit;
  bool m_liveBarOpen = false;
  double m_lastPrice = -1;

  int m_paneWidth = 800, m_paneHeight = 600;
  double m_viewLeft = 0, m_viewWidth = 1, m_zoomStep = 0, m_arrowStep = 1, m_zoomFactor = 1.1;
  int m_mouseMode = 0;
  long m_mouseBar = -1;

  std::string m_style = "CandleStick";
  bool m_volumePanel = true;

  int m_tool = kToolNone;
  bool m_dragging = false;
  int m_ax1 = 0, m_ay1 = 0, m_ax2 = 0, m_ay2 = 0;
  long m_anchorFirst = 0;
  std::vector<sStudyLine> m_lines;
  int m_selected = -1;
  bool m_moving = false;
  int m_moveX = 0, m_moveY = 0;
  sStudyLine m_moveFrom;

  std::vector<std::string> m_indicatorNames;
  std::map<std::string, sIndicatorParams, std::less<>> m_params;
  int m_sarCounter = 0;

  std::vector<sCached> m_cache;
  size_t m_dirtyFrom = kClean;
  static constexpr size_t kClean = static_cast<size_t>(-1);
  bool m_indicatorsChanged = true;
  size_t m_computeCount = 0;
  size_t m_lastComputedFrom = 0;
  ZintFinanceChart m_full;

  sChartMenuItem m_menu;
  bool m_menuBuilt = false;

  DisplayList m_list;
  sVisibleRange m_drawn;
  float m_labelColumn = 0;
  double m_volumeMax = 0;
};

}  // namespace kovo
