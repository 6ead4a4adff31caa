#include "charts/fchart_ctrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

#include "chart_test_util.h"
#include "charts/chart_time.h"
#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"

namespace kovo {
namespace {

using test::FillBars;
using test::RecordingDialogs;
using test::TempDir;

class FChartCtrlTest : public ::testing::Test {
 protected:
  void WriteSetting(const char* key, const char* value) {
    ASSERT_EQ(m_files.Write(kChartSettingSection, key, value, kChartSettingsFile,
                            SettingsLocation::kUserFolder),
              1);
  }
  size_t Count(DlKind kind, int clip) const {
    const auto& items = m_chart.BuildDisplayList().items;
    return static_cast<size_t>(std::count_if(items.begin(), items.end(), [&](const DlItem& it) {
      return it.kind == kind && it.clip == clip;
    }));
  }

  TempDir m_dir;
  CSettingsFiles m_files{SettingsPaths{m_dir.Path(), m_dir.Path(), "u"}};
  RecordingDialogs m_dialogs;
  std::vector<std::string> m_errors;
  mutable FChartCtrl m_chart{m_files, m_dialogs,
                             [this](std::string_view e) { m_errors.emplace_back(e); }};
};

TEST_F(FChartCtrlTest, SettingsDefaultsAndStoredValues) {
  // No section at all: every default.
  sChartSettings s = LoadChartSettings(m_files);
  EXPECT_EQ(s.foreColor, 0xFFFFFFu);
  EXPECT_EQ(s.gridColor, 0x4B4B4Bu);
  EXPECT_EQ(s.upTickColor, 0x00D900u);
  EXPECT_TRUE(s.panelBorder);
  EXPECT_FALSE(s.leftAlign);
  EXPECT_TRUE(s.tooltipAlways);
  WriteSetting("GRID_COLOR", "255");
  WriteSetting("LEFT_ALGN_CHECK", "TRUE");
  WriteSetting("SHOW_XGRID", "FALSE");
  WriteSetting("SHOW_TOOLTIP_ALWAYS", "no");
  s = LoadChartSettings(m_files);
  EXPECT_EQ(s.gridColor, 0x0000FFu);
  EXPECT_TRUE(s.leftAlign);
  EXPECT_FALSE(s.showXGrid);
  EXPECT_TRUE(s.tooltipAlways);  // only "FALSE" turns it off
}

TEST_F(FChartCtrlTest, PanelSizesAndMarginsFollowTheControl) {
  m_chart.SetPaneSize(802, 615);  // W 800, H 600
  m_chart.SetVolumePanel(false);
  sChartLayout l = m_chart.Layout();
  EXPECT_EQ(l.width, 800);
  EXPECT_EQ(l.pricePanelHeight, 600);
  EXPECT_EQ(l.mainPlotHeight, 540);
  EXPECT_EQ(l.indicatorArea, 0);
  // Volume plus two indicator panels: A = 600/3 = 200, each 200/3 = 66; an overlay adds none.
  m_chart.SetVolumePanel(true);
  m_chart.AddIndicatorByCommand(3458);
  m_chart.AddIndicatorByCommand(3446);
  m_chart.AddIndicator("Bollinger Band", {});
  l = m_chart.Layout();
  EXPECT_EQ(l.lowerPanels, 3);
  EXPECT_EQ(l.indicatorArea, 200);
  EXPECT_EQ(l.lowerPanelHeight, 66);
  EXPECT_EQ(l.pricePanelHeight, 400);
  EXPECT_EQ(l.mainPlotHeight, 340);
  EXPECT_EQ(l.marginLeft, 20);
  EXPECT_EQ(l.marginTop, 40);
  WriteSetting("LEFT_ALGN_CHECK", "TRUE");
  m_chart.ReloadSettings();
  l = m_chart.Layout();
  EXPECT_EQ(l.marginLeft, 50);
  EXPECT_EQ(l.marginTop, 10);
  EXPECT_EQ(l.marginBottom, 40);
}

TEST_F(FChartCtrlTest, VisibleRangeKeepsTheLiveSlotUntilATick) {
  FillBars(m_chart, 100);  // count 101
  EXPECT_EQ(m_chart.VisibleRange().first, 0);
  EXPECT_EQ(m_chart.VisibleRange().last, 99);
  EXPECT_FALSE(m_chart.ScrollEnabled());  // all bars visible
  m_chart.SetViewPort(0.5, 0.5);
  // floor(100 * 0.5) = 50; min(ceil(100 * 1.0), 99) = 99.
  EXPECT_EQ(m_chart.VisibleRange().first, 50);
  EXPECT_EQ(m_chart.VisibleRange().last, 99);
  EXPECT_TRUE(m_chart.ScrollEnabled());
  m_chart.OnCommand(11514);  // a tool switches scrolling off
  EXPECT_FALSE(m_chart.ScrollEnabled());
  // A tick opens the live bar: floor(101 * 0.5) = 50; min(ceil(101), 100) = 100.
  m_chart.UpdateBar(100, {63'900'006'000.0, 201, 199, 200, 200, 10});
  EXPECT_TRUE(m_chart.LiveBarOpen());
  EXPECT_EQ(m_chart.VisibleRange().first, 50);
  EXPECT_EQ(m_chart.VisibleRange().last, 100);
}

TEST_F(FChartCtrlTest, ZoomSteps) {
  FillBars(m_chart, 20);
  m_chart.ZoomIn();  // 20 bars visible: nothing
  EXPECT_EQ(m_chart.ViewWidth(), 1.0);
  EXPECT_EQ(m_chart.ViewLeft(), 0.0);

  FillBars(m_chart, 40);
  m_chart.ZoomIn();  // step 0.5: the newer half stays
  EXPECT_EQ(m_chart.ViewWidth(), 0.5);
  EXPECT_EQ(m_chart.ViewLeft(), 0.5);
  EXPECT_EQ(m_chart.ArrowStep(), 0.5);
  m_chart.ZoomIn();  // 20 visible now: refused
  EXPECT_EQ(m_chart.ViewWidth(), 0.5);
  m_chart.ZoomOut();  // 0.5 + 0.5 <= 1: width 1, left 0
  EXPECT_EQ(m_chart.ViewWidth(), 1.0);
  EXPECT_EQ(m_chart.ViewLeft(), 0.0);
  m_chart.ZoomOut();  // step is now 1.0: whole series
  EXPECT_EQ(m_chart.ViewWidth(), 1.0);

  FillBars(m_chart, 100);
  m_chart.OnCommand(chart_cmd::kRecentCandles);
  EXPECT_DOUBLE_EQ(m_chart.ViewWidth(), 0.25);
  EXPECT_DOUBLE_EQ(m_chart.ViewLeft(), 0.75);
  EXPECT_EQ(m_chart.VisibleRange().Count(), 25);
  m_chart.OnKeyLeft();
  EXPECT_DOUBLE_EQ(m_chart.ViewLeft(), 0.5);
  m_chart.OnKeyRight();
  m_chart.OnKeyRight();  // 0.75 + 0.5 > 1: stops at 1 - width
  EXPECT_DOUBLE_EQ(m_chart.ViewLeft(), 0.75);
  FillBars(m_chart, 10);
  m_chart.ShowRecentCandles();
  EXPECT_EQ(m_chart.ViewWidth(), 1.0);
  EXPECT_EQ(m_chart.ViewLeft(), 0.0);

  m_chart.OnCommand(chart_cmd::kZoomInCursor);
  EXPECT_EQ(m_chart.MouseMode(), 3);
  EXPECT_TRUE(m_chart.IsChecked(chart_cmd::kZoomInCursor));
  m_chart.OnCommand(chart_cmd::kResetZoom);
  EXPECT_EQ(m_chart.MouseMode(), 0);
}

TEST_F(FChartCtrlTest, LegendMarkupWithChangeAndLevels) {
  FillBars(m_chart, 3);  // closes 100.5, 101.5, 102.5
  m_chart.Owner().showLevels = true;
  m_chart.Owner().prevHigh = 110;
  m_chart.Owner().prevLow = 90;
  m_chart.Owner().prevClose = 100;
  const std::string s = m_chart.LegendMarkup(1);
  EXPECT_NE(s.find("      <*block*>Open: 101.0000, High: 102.0000, Low: 100.0000, Close: 101.5000"),
            std::string::npos)
      << s;
  // Change 1 against 101.5: 1 * 100 / 101.5 = 0.985 %.
  EXPECT_NE(s.find("  <*font,color=008800*><*img=@triangle,width=8,color=008800*>1.0000 (0.99%)"
                   "<*/font*>"),
            std::string::npos);
  // P = (110 + 90 + 100)/3 = 100; R1 = 200 - 90; R2 = 100 + 20; S1 = 200 - 110; S2 = 100 - 20.
  EXPECT_NE(s.find(",  Pt: 100.0000,  Rt1: 110.0000,  Rt2: 120.0000,  St1: 90.0000,  St2: 80.0000"),
            std::string::npos);
  // Bar 1 is 09:16 on 2025-12-09: days since 1970 plus the 719,162 days from 0001-01-01.
  const auto day = std::chrono::sys_days{std::chrono::year{2025} / 12 / 9};
  EXPECT_EQ((day.time_since_epoch().count() + 719162) * 86400.0 + 9 * 3600 + 16 * 60,
            m_chart.Bar(1).time);
  EXPECT_NE(s.find("<*font=arialbd.ttf*>[12/09/25 09:16]<*/font*>"), std::string::npos);
  // The first bar has nothing to compare with.
  EXPECT_EQ(m_chart.LegendMarkup(0).find("triangle"), std::string::npos);

  // A close not yet known shows no levels.
  m_chart.Owner().prevClose = -1;
  EXPECT_EQ(m_chart.LegendMarkup(1).find("Pt:"), std::string::npos);
  m_chart.Owner().prevClose = 100;
  m_chart.Owner().showLevels = false;
  EXPECT_EQ(m_chart.LegendMarkup(1).find("Pt:"), std::string::npos);

  // A falling bar and an indicator layer.
  m_chart.UpdateBar(1, {m_chart.Bar(1).time, 100, 98, 99, 99, 5});
  sIndicatorParams red;
  red.color = 0x00FF00;
  m_chart.AddIndicator("SMA:2", {red.param1, red.param2, red.param3, red.param4, "", 0x00FF00, 2});
  m_chart.BuildDisplayList();
  const std::string down = m_chart.LegendMarkup(2);
  // SMA(2) at bar 2: (99 + 102.5) / 2 = 100.75.
  EXPECT_NE(down.find("<*br*><*block*><*img=@square,width=8,edgeColor=000000,color=00FF00*> "
                      "SMA (2): 100.7500<*/*>"),
            std::string::npos)
      << down;
  // 99 - 100.5 = -1.5; -1.5 * 100 / 99 = -1.52 %.
  EXPECT_NE(
      m_chart.LegendMarkup(1).find(
          "<*font,color=CC0000*><*img=@invertedtriangle,width=8,color=CC0000*>-1.5000 (-1.52%)"),
      std::string::npos);
  EXPECT_EQ(m_chart.LegendMarkup(3), "");  // the empty live slot
}

TEST_F(FChartCtrlTest, StudyLineGeometry) {
  const auto fib = FibonacciRetracementLevels(200, 100);
  ASSERT_EQ(fib.size(), 8u);
  EXPECT_DOUBLE_EQ(fib[0].price, 200);     // 0.0 %
  EXPECT_NEAR(fib[5].price, 138.2, 1e-9);  // 61.8 %: 100 + 100 * 38.2 / 100
  EXPECT_DOUBLE_EQ(fib[7].price, 100);     // 100 %
  EXPECT_EQ(fib[5].label, "138.20 (61.8%)");
  EXPECT_EQ(fib[6].label, "161.80(38.2%)");
  EXPECT_EQ(fib[7].label, "100.00 (100%)");
  EXPECT_EQ(FibonacciTimeZoneOffsets(10, 78),
            (std::vector<double>{10, 12, 14, 16, 20, 26, 36, 52, 78}));  // unit 68/34 = 2
  const auto tirone = TironeLevels(120, 90);
  EXPECT_DOUBLE_EQ(tirone[0].price, 110);
  EXPECT_DOUBLE_EQ(tirone[1].price, 105);
  EXPECT_DOUBLE_EQ(tirone[2].price, 100);
  const auto quad = QuadrantLevels(120, 90);
  ASSERT_EQ(quad.size(), 5u);
  EXPECT_DOUBLE_EQ(quad[1].price, 112.5);
  EXPECT_FALSE(quad[2].dashed);
  EXPECT_TRUE(quad[0].dashed && quad[4].dashed);
  const auto fan = FibonacciFanPrices(200, 100);
  EXPECT_NEAR(fan[0], 138.2, 1e-9);
  EXPECT_NEAR(fan[1], 150, 1e-9);
  const sPivotLevels p = PivotLevels(110, 90, 100);
  EXPECT_DOUBLE_EQ(p.pivot, 100);
  EXPECT_DOUBLE_EQ(p.r1, 110);
  EXPECT_DOUBLE_EQ(p.r2, 120);
  EXPECT_DOUBLE_EQ(p.s1, 90);
  EXPECT_DOUBLE_EQ(p.s2, 80);
}

TEST_F(FChartCtrlTest, DrawingStudyLinesWithTheMouse) {
  m_chart.SetPaneSize(602, 415);
  m_chart.SetVolumePanel(false);
  FillBars(m_chart, 50);
  m_chart.BuildDisplayList();
  m_chart.OnCommand(11520);  // FibonacciTimeZones
  EXPECT_EQ(m_chart.DrawingTool(), kToolFibonacciTimeZones);
  const float x1 = m_chart.XOfBar(5), x2 = m_chart.XOfBar(39);
  const float y = m_chart.YOfPrice(120);
  m_chart.OnMouseDown(static_cast<int>(x1), static_cast<int>(y));
  m_chart.OnMouseMove(static_cast<int>(x2), static_cast<int>(y), true);
  m_chart.OnMouseUp(static_cast<int>(x2), static_cast<int>(y));
  ASSERT_EQ(m_chart.StudyLines().size(), 1u);
  const sStudyLine& l = m_chart.StudyLines()[0];
  EXPECT_NEAR(l.x1, 5, 0.1);
  EXPECT_NEAR(l.x2, 39, 0.1);
  EXPECT_NEAR(l.p1, 120, 0.5);
  EXPECT_EQ(l.color, 0xFF8000u);
  // Nine vertical lines, solid at both ends, dashed between.
  std::vector<const DlItem*> zones;
  for (const DlItem& it : m_chart.BuildDisplayList().items)
    if (it.kind == DlKind::kLine && it.penWidth == 2 && it.x0 == it.x1) zones.push_back(&it);
  ASSERT_EQ(zones.size(), 9u);
  EXPECT_FALSE(zones.front()->dashed);
  EXPECT_FALSE(zones.back()->dashed);
  EXPECT_TRUE(zones[4]->dashed);

  m_chart.OnCommand(chart_cmd::kRemoveAllSymbols);
  EXPECT_TRUE(m_chart.StudyLines().empty());
  EXPECT_EQ(m_chart.DrawingTool(), kToolNone);
}

TEST_F(FChartCtrlTest, ContextMenuIsBuiltOnceAndReportsFailures) {
  m_chart.BuildContextMenu();
  const sChartMenuItem& menu = m_chart.ContextMenu();
  auto find = [](const sChartMenuItem& m, int id) -> const sChartMenuItem* {
    for (const auto& it : m.items) {
      if (it.id == id) return &it;
      for (const auto& sub : it.items)
        if (sub.id == id) return &sub;
    }
    return nullptr;
  };
  ASSERT_NE(find(menu, 11525), nullptr);
  EXPECT_EQ(find(menu, 11525)->text, "Horizantal Line");
  EXPECT_EQ(find(menu, 11554)->text, "Zoom Out\t\t\t\t\tCtrl+Shift+Z");
  EXPECT_EQ(find(menu, 3029)->text, "&Show Volume Panel");
  EXPECT_EQ(find(menu, 11535)->text, "Candle");
  const size_t items = menu.items.size();
  m_chart.BuildContextMenu([](std::string_view) { return false; });  // already built
  EXPECT_EQ(m_chart.ContextMenu().items.size(), items);

  FChartCtrl failing(m_files, m_dialogs, [this](std::string_view e) { m_errors.emplace_back(e); });
  failing.BuildContextMenu(
      [](std::string_view which) { return which != "Style" && which != "SupResist"; });
  EXPECT_EQ(m_dialogs.MessageBoxTexts(),
            std::vector<std::string>{"Failed To Create Chart Style Menu"});
  EXPECT_EQ(m_errors, std::vector<std::string>{"Failed To Create SupResistMenu Menu"});
  EXPECT_EQ(find(failing.ContextMenu(), 11533), nullptr);
  EXPECT_NE(find(failing.ContextMenu(), 11514), nullptr);
}

TEST_F(FChartCtrlTest, CommandsAddIndicatorsAndSaveBitmaps) {
  EXPECT_TRUE(m_chart.OnCommand(3458));
  EXPECT_FALSE(m_chart.AddIndicatorByCommand(3463));  // no indicator has it
  m_chart.OnCommand(3465);
  m_chart.OnCommand(3465);
  m_chart.OnCommand(3466);
  EXPECT_EQ(m_chart.IndicatorNames(),
            (std::vector<std::string>{"RSI", "Parabolic Sar:1", "Parabolic Sar:2", "SMA:20"}));
  EXPECT_EQ(m_chart.CommandOf("Parabolic Sar:2"), 3465);
  EXPECT_TRUE(m_chart.RemoveIndicator("Parabolic Sar:1"));
  EXPECT_FALSE(m_chart.RemoveIndicator("Parabolic Sar:1"));
  EXPECT_FALSE(m_chart.AddIndicator("Unknown", {}));

  m_chart.OnCommand(chart_cmd::kStyleStandard);
  EXPECT_EQ(m_chart.StyleName(), "OHLC");
  EXPECT_TRUE(m_chart.IsChecked(chart_cmd::kStyleStandard));
  EXPECT_FALSE(m_chart.IsChecked(chart_cmd::kStyleCandle));
  m_chart.OnCommand(chart_cmd::kVolumePanel);
  EXPECT_FALSE(m_chart.VolumePanel());
  m_chart.Owner().isHistorical = true;
  m_chart.OnCommand(chart_cmd::kShowLevels);  // historical windows keep levels off
  EXPECT_FALSE(m_chart.Owner().showLevels);
  EXPECT_FALSE(m_chart.OnCommand(chart_cmd::kLockScrip));  // the window's

  std::string written;
  m_chart.SetBitmapWriter([&](const std::string& path) {
    written = path;
    return true;
  });
  m_dialogs.AnswerFile("/tmp/chart");
  m_chart.OnCommand(chart_cmd::kSaveBitmap);
  EXPECT_EQ(written, "/tmp/chart.bmp");
  ASSERT_EQ(m_dialogs.Calls().back().kind, RecordingDialogs::Kind::kSaveFile);
  EXPECT_EQ(m_dialogs.Calls().back().caption, "Chart Files (*.bmp)|*.bmp||");
  written.clear();
  m_chart.OnCommand(chart_cmd::kSaveBitmap);  // cancelled
  EXPECT_EQ(written, "");
}

TEST_F(FChartCtrlTest, SeriesAreComputedOncePerChangeAndTicksRecomputeTheTail) {
  FillBars(m_chart, 300);
  m_chart.AddIndicatorByCommand(3458);  // RSI
  m_chart.AddIndicator("Bollinger Band", {});
  m_chart.BuildDisplayList();
  const size_t computed = m_chart.ComputeCount();
  EXPECT_EQ(computed, 2u);
  m_chart.BuildDisplayList();  // a redraw without a change computes nothing
  m_chart.OnMouseMove(100, 100, false);
  m_chart.BuildDisplayList();
  EXPECT_EQ(m_chart.ComputeCount(), computed);

  // A tick opens the live bar; the registry then holds what a fresh chart computes.
  m_chart.UpdateBar(300, {63'900'018'000.0, 420, 380, 400, 410, 50});
  const ZintFinanceChart& tail = m_chart.FullChart();
  EXPECT_EQ(m_chart.ComputeCount(), computed + 2);
  FChartCtrl fresh(m_files, m_dialogs);
  FillBars(fresh, 300);
  fresh.UpdateBar(300, {63'900'018'000.0, 420, 380, 400, 410, 50});
  fresh.AddIndicatorByCommand(3458);
  fresh.AddIndicator("Bollinger Band", {});
  const ZintFinanceChart& full = fresh.FullChart();
  ASSERT_EQ(tail.Count(), full.Count());
  for (const char* name : {"RSI (14)", "Bollinger -High", "Bollinger -Low"}) {
    ASSERT_NE(tail.Find(name), nullptr) << name;
    ASSERT_EQ(tail.Find(name)->size(), 301u) << name;
    for (size_t i = 0; i < 301; ++i)
      EXPECT_NEAR((*tail.Find(name))[i], (*full.Find(name))[i], 1e-6) << name << i;
  }
}

// Each new bar hands the window the whole series again: only the bars that
// differ are recomputed, and the result is what a fresh chart computes.
TEST_F(FChartCtrlTest, SeriesHandedAgainAreRecomputedFromTheirFirstChangedBar) {
  struct Bars {
    std::vector<double> t, h, l, o, c, v;
    void Add(double p, double volume) {
      t.push_back(63'900'868'500.0 + 60.0 * static_cast<double>(t.size()));
      o.push_back(p), c.push_back(p + 0.25), h.push_back(p + 1.5), l.push_back(p - 1.0);
      v.push_back(volume);
    }
    // The arrays with the live slot after the last bar, as the window hands them.
    void Hand(FChartCtrl& chart) const {
      auto with = [](std::vector<double> a, double slot) {
        a.push_back(slot);
        return a;
      };
      chart.SetData(with(t, t.back() + 60), with(h, 0), with(l, 0), with(o, 0), with(c, 0),
                    with(v, 0));
    }
  };
  Bars bars;
  for (int i = 0; i < 300; ++i) bars.Add(100 + 10 * std::sin(i / 7.0), 1000 + (i % 11) * 90);
  const auto addIndicators = [](FChartCtrl& chart) {
    chart.AddIndicatorByCommand(3458);  // RSI
    chart.AddIndicatorByCommand(3446);  // MACD
    chart.AddIndicator("Bollinger Band", {});
  };
  addIndicators(m_chart);
  bars.Hand(m_chart);
  m_chart.FullChart();
  const auto matchesAFreshChart = [&](const char* step) {
    FChartCtrl fresh(m_files, m_dialogs);
    addIndicators(fresh);
    bars.Hand(fresh);
    const ZintFinanceChart& full = fresh.FullChart();
    const ZintFinanceChart& held = m_chart.FullChart();
    ASSERT_EQ(held.Count(), full.Count()) << step;
    for (const char* name :
         {"RSI (14)", "MACD (26, 12)", "EXP (9)", "Bollinger -High", "Bollinger -Low"}) {
      ASSERT_NE(held.Find(name), nullptr) << step << name;
      ASSERT_EQ(held.Find(name)->size(), bars.t.size()) << step << name;
      for (size_t i = 0; i < bars.t.size(); ++i)
        ASSERT_NEAR((*held.Find(name))[i], (*full.Find(name))[i], 1e-9) << step << name << i;
    }
  };

  // The same series again computes nothing.
  const size_t computed = m_chart.ComputeCount();
  bars.Hand(m_chart);
  m_chart.FullChart();
  EXPECT_EQ(m_chart.ComputeCount(), computed);

  // One more bar: computed from that bar only.
  bars.Add(111, 5000);
  bars.Hand(m_chart);
  m_chart.FullChart();
  EXPECT_GT(m_chart.ComputeCount(), computed);
  EXPECT_EQ(m_chart.LastComputedFrom(), 300u);
  matchesAFreshChart("appended");

  // A tick opened the live bar; the same bars handed again close it, and the
  // series lose the live bar's point.
  m_chart.UpdateBar(301, {bars.t.back() + 60, 140, 90, 100, 139, 800});
  m_chart.FullChart();
  bars.Hand(m_chart);
  matchesAFreshChart("live bar dropped");

  // A corrected earlier bar: computed from it.
  bars.c[120] += 3;
  bars.Hand(m_chart);
  m_chart.FullChart();
  EXPECT_EQ(m_chart.LastComputedFrom(), 120u);
  matchesAFreshChart("corrected");

  // A shorter series (a day rolled away).
  for (auto* a : {&bars.t, &bars.h, &bars.l, &bars.o, &bars.c, &bars.v}) a->resize(250);
  bars.Hand(m_chart);
  matchesAFreshChart("shorter");
}

TEST_F(FChartCtrlTest, DisplayListHoldsPanelsBarsAndLastPrice) {
  m_chart.SetPaneSize(802, 615);
  FillBars(m_chart, 1);
  EXPECT_TRUE(m_chart.BuildDisplayList().panels.empty());  // fewer than two bars

  FillBars(m_chart, 60);
  m_chart.OnCommand(chart_cmd::kRecentCandles);  // 25 bars
  m_chart.AddIndicatorByCommand(3458);
  m_chart.MarkLastPrice(150.25);
  const DisplayList& dl = m_chart.BuildDisplayList();
  ASSERT_EQ(dl.panels.size(), 3u);  // price, RSI, volume
  EXPECT_EQ(dl.width, 800);
  EXPECT_EQ(dl.panels[0].y, 40);
  EXPECT_EQ(dl.panels[0].h, 340);
  EXPECT_EQ(dl.panels[1].y, 380);
  EXPECT_EQ(dl.panels[1].h, 100);
  // One candle body per visible bar, every one rising, on the price panel.
  size_t bodies = 0;
  for (const DlItem& it : dl.items)
    if (it.kind == DlKind::kRect && it.clip == 0 && it.fill == 0x00D900u) ++bodies;
  EXPECT_EQ(bodies, 25u);
  // The price labels have a column of their own: no bar reaches under them.
  float labelsLeft = static_cast<float>(dl.width), barsRight = 0;
  for (const DlItem& it : dl.items) {
    if (it.kind == DlKind::kText && it.clip == 0 && it.align == DlAlign::kRight)
      labelsLeft = std::min(labelsLeft, it.x0 - 6.0f * static_cast<float>(it.text.size()));
    if (it.kind == DlKind::kRect && (it.clip == 0 || it.clip == 2) && it.fill == 0x00D900u)
      barsRight = std::max(barsRight, std::max(it.x0, it.x1));
  }
  EXPECT_LT(barsRight, labelsLeft);
  EXPECT_NEAR(m_chart.XOfBar(m_chart.BarAtX(300)), 300.0f, 0.01f) << "mouse and bars agree";
  EXPECT_EQ(Count(DlKind::kRect, 2), 25u);  // volume bars
  EXPECT_EQ(dl.panels[1].yMin, 0);          // RSI's fixed axis
  EXPECT_EQ(dl.panels[1].yMax, 100);
  // Bars 35..59 rise from 134 to 160: the last price mark is in range.
  const bool marked = std::any_of(dl.items.begin(), dl.items.end(), [](const DlItem& it) {
    return it.kind == DlKind::kText && it.text == "150.25";
  });
  EXPECT_TRUE(marked);
  // The legend follows the mouse as rich text with the bar's date.
  const auto legend = std::find_if(dl.items.begin(), dl.items.end(),
                                   [](const DlItem& it) { return it.kind == DlKind::kRichText; });
  ASSERT_NE(legend, dl.items.end());
  EXPECT_EQ(legend->fill, 0x80CCCCCCu);
  // Axis labels are drawn after each panel's bars and lines, so none is hidden.
  for (int panel = 0; panel < 3; ++panel) {
    long lastShape = -1, firstLabel = -1;
    for (size_t i = 0; i < dl.items.size(); ++i) {
      const DlItem& it = dl.items[i];
      if (it.clip != panel) continue;
      if (it.kind == DlKind::kRect || it.kind == DlKind::kPolyline)
        lastShape = static_cast<long>(i);
      if (it.kind == DlKind::kText && it.align == DlAlign::kRight && firstLabel < 0)
        firstLabel = static_cast<long>(i);
    }
    ASSERT_GE(firstLabel, 0) << "panel " << panel;
    EXPECT_GT(firstLabel, lastShape) << "panel " << panel;
  }

  // Time labels stay inside the control, the first one of a narrow chart too.
  m_chart.SetPaneSize(202, 300);
  const DisplayList& narrow = m_chart.BuildDisplayList();
  int timeLabels = 0;
  for (const DlItem& it : narrow.items) {
    if (it.kind != DlKind::kText || it.clip != -1 || it.text.find(':') == std::string::npos)
      continue;
    ++timeLabels;
    const float half = static_cast<float>(it.text.size()) * 3.0f;
    const float left = it.align == DlAlign::kLeft    ? it.x0
                       : it.align == DlAlign::kRight ? it.x0 - 2 * half
                                                     : it.x0 - half;
    EXPECT_GE(left, 0.0f) << it.text;
    EXPECT_LE(left + 2 * half, static_cast<float>(narrow.width)) << it.text;
  }
  EXPECT_GT(timeLabels, 0);
}

TEST_F(FChartCtrlTest, SemiLogAxisAndExtremePricesDrawSafely) {
  m_chart.SetPaneSize(602, 415);
  FillBars(m_chart, 40);
  sChartSettings s = m_chart.Settings();
  s.semiLog = true;
  m_chart.SetSettings(s);
  const DlPanel p = m_chart.BuildDisplayList().panels[0];
  ASSERT_TRUE(p.log);
  // Half way up a log axis is the geometric mean of its ends.
  EXPECT_NEAR(m_chart.PriceAtY(p.y + p.h / 2), std::sqrt(p.yMin * p.yMax), 1e-6 * p.yMax);
  EXPECT_NEAR(m_chart.YOfPrice(std::sqrt(p.yMin * p.yMax)), p.y + p.h / 2, 0.01);

  // Prices far beyond the step's precision, and bars without values, still draw.
  std::vector<double> t{1, 2, 3, 0}, big{1e17, 1e17 + 16, 1e17 + 32, 0};
  std::vector<double> nv(4, finance::NoValue);
  m_chart.SetData(t, big, big, big, big, big);
  EXPECT_FALSE(m_chart.BuildDisplayList().items.empty());
  // Absurdly long prices do not squeeze the bars away for their labels.
  std::vector<double> huge{1e200, 2e200, 3e200, 0};
  m_chart.SetData(t, huge, huge, huge, huge, huge);
  m_chart.BuildDisplayList();
  EXPECT_GT(m_chart.XOfBar(1) - m_chart.XOfBar(0), 10.0f);
  m_chart.SetData(t, nv, nv, nv, nv, nv);
  EXPECT_EQ(m_chart.BuildDisplayList().panels.size(), 2u);
  EXPECT_EQ(m_chart.LegendMarkup(0), "");
}

TEST(ChartTime, AxisDatesReadLikeTheLegend) {
  // 30 November 2026, 09:15 local: the day cannot pass for a month.
  std::tm local{};
  local.tm_year = 126, local.tm_mon = 10, local.tm_mday = 30, local.tm_hour = 9, local.tm_min = 15;
  local.tm_isdst = -1;
  const double t = ChartTimeFromUnix(std::mktime(&local));
  EXPECT_EQ(FormatChartTime(t), "11/30/26 09:15");
  EXPECT_EQ(FormatChartDate(t), "11/30");
  EXPECT_EQ(FormatChartClock(t), "09:15");
}

TEST(DisplayListMarkup, RunsCarryColoursShapesAndBreaks) {
  const auto runs = ParseMarkup(
      "<*font=arialbd.ttf*>[d]<*/font*>A<*font,color=CC0000*><*img=@invertedtriangle,width=8,"
      "color=CC0000*>-1<*/font*><*br*><*img=@square,width=8,edgeColor=000000,color=00FF00*> S<*x",
      0xFFFFFF);
  ASSERT_EQ(runs.size(), 6u);
  EXPECT_TRUE(runs[0].bold);
  EXPECT_EQ(runs[1].text, "A");
  EXPECT_EQ(runs[1].color, 0xFFFFFFu);
  EXPECT_EQ(runs[2].shape, sTextRun::Shape::kInvertedTriangle);
  EXPECT_EQ(runs[3].color, 0xCC0000u);
  EXPECT_TRUE(runs[4].lineBreak);
  EXPECT_EQ(runs[4].color, 0x00FF00u);
  EXPECT_EQ(runs[5].text, " S<*x");  // an unterminated tag stays text
}

}  // namespace
}  // namespace kovo

namespace kovo {
namespace {

class ChartLook : public FChartCtrlTest {
 protected:
  std::vector<const DlItem*> Texts(int clip) const {
    std::vector<const DlItem*> out;
    for (const DlItem& it : m_chart.BuildDisplayList().items)
      if (it.kind == DlKind::kText && it.clip == clip) out.push_back(&it);
    return out;
  }
};

TEST_F(ChartLook, IndicatorsTakeDistinctColoursAndTheLegendStaysInTheBarsArea) {
  test::FillBars(m_chart, 120);
  m_chart.AddIndicatorByCommand(3458);  // RSI
  m_chart.AddIndicatorByCommand(3446);  // MACD
  sIndicatorParams band;
  m_chart.AddIndicator("Bollinger Band", band);
  const uint32_t rsi = m_chart.Params("RSI")->color, macd = m_chart.Params("MACD")->color,
                 bb = m_chart.Params("Bollinger Band")->color;
  EXPECT_NE(rsi, macd);
  EXPECT_NE(rsi, bb);
  EXPECT_NE(macd, bb);

  const DisplayList& dl = m_chart.BuildDisplayList();
  const DlPanel& price = dl.panels[0];
  const DlItem* legend = nullptr;
  float firstLabel = price.x + price.w;
  for (const DlItem& it : dl.items) {
    if (it.kind == DlKind::kRichText) legend = &it;
    if (it.kind == DlKind::kText && it.clip == 0 && it.align == DlAlign::kRight)
      firstLabel = std::min(firstLabel, it.x0 - 6.0f * static_cast<float>(it.text.size()));
  }
  ASSERT_NE(legend, nullptr);
  EXPECT_LE(legend->x1, firstLabel) << "the price labels are not under the legend";
  // The price legend lists what is drawn on the price panel; the panels carry their own.
  const std::string markup = m_chart.LegendMarkup(100);
  EXPECT_NE(markup.find("Bollinger"), std::string::npos);
  EXPECT_EQ(markup.find("RSI"), std::string::npos);
  EXPECT_EQ(markup.find("Vol:"), std::string::npos);
}

TEST_F(ChartLook, TheVolumeAxisSaysItsUnitAndTimesAreRound) {
  // Bars from 09:17, 1000..1600 shares each.
  std::vector<double> t, h, l, o, c, v;
  for (int i = 0; i < 90; ++i) {
    t.push_back(63'900'868'620.0 + 60.0 * i);
    o.push_back(100), c.push_back(100.5 + i % 3), h.push_back(103), l.push_back(99);
    v.push_back(1000 + (i % 7) * 100);
  }
  for (auto* a : {&t, &h, &l, &o, &c, &v}) a->push_back(0);
  m_chart.SetData(t, h, l, o, c, v);
  m_chart.SetPaneSize(900, 600);
  const DisplayList& dl = m_chart.BuildDisplayList();
  const int volume = static_cast<int>(dl.panels.size()) - 1;
  int withUnit = 0;
  for (const DlItem* it : Texts(volume))
    if (it->align == DlAlign::kRight && it->text != "0") {
      EXPECT_EQ(it->text.back(), 'K') << it->text;
      ++withUnit;
    }
  EXPECT_GT(withUnit, 0);
  int times = 0;
  for (const DlItem& it : dl.items) {
    if (it.kind != DlKind::kText || it.clip != -1 || it.text.size() < 5) continue;
    const std::string clock = it.text.substr(it.text.size() - 5);
    if (clock[2] != ':') continue;
    ++times;
    EXPECT_EQ(std::stoi(clock.substr(3)) % 5, 0) << it.text << " is not a round time";
  }
  EXPECT_GE(times, 3);
}

TEST_F(ChartLook, StudyLinesAreSelectedMovedAndDeleted) {
  test::FillBars(m_chart, 60);
  m_chart.SetViewPort(0, 1);
  m_chart.BuildDisplayList();
  m_chart.AddStudyLine({kToolTrendLine, 10, 110, 40, 140, 0xFF8000});
  m_chart.AddStudyLine({kToolHorizontalLine, 0, 120, 0, 120, 0xFF8000});
  m_chart.BuildDisplayList();
  const int midX = static_cast<int>(m_chart.XOfBar(25)),
            midY = static_cast<int>(m_chart.YOfPrice(125));
  EXPECT_EQ(m_chart.HitStudyLine(midX, midY), 0) << "on the trend line";
  EXPECT_EQ(m_chart.HitStudyLine(midX, static_cast<int>(m_chart.YOfPrice(120))), 1);
  EXPECT_EQ(m_chart.HitStudyLine(midX, static_cast<int>(m_chart.YOfPrice(145))), -1);

  m_chart.OnMouseDown(midX, midY);
  EXPECT_EQ(m_chart.SelectedStudyLine(), 0);
  const int dx = static_cast<int>(m_chart.XOfBar(30) - m_chart.XOfBar(25));
  const int dy = static_cast<int>(m_chart.YOfPrice(130) - m_chart.YOfPrice(125));
  m_chart.OnMouseMove(midX + dx, midY + dy, true);
  m_chart.OnMouseUp(midX + dx, midY + dy);
  const sStudyLine& moved = m_chart.StudyLines()[0];
  EXPECT_NEAR(moved.x1, 15, 0.2);
  EXPECT_NEAR(moved.x2, 45, 0.2);
  EXPECT_NEAR(moved.p1, 115, 0.5);
  EXPECT_NEAR(moved.p2 - moved.p1, 30, 1e-9) << "moved whole, not stretched";

  // A click off every line deselects; Delete then removes nothing.
  m_chart.OnMouseDown(midX, static_cast<int>(m_chart.YOfPrice(100)));
  EXPECT_EQ(m_chart.SelectedStudyLine(), -1);
  EXPECT_FALSE(m_chart.DeleteSelectedStudyLine());
  m_chart.OnMouseDown(midX, static_cast<int>(m_chart.YOfPrice(120)));
  m_chart.OnMouseUp(midX, static_cast<int>(m_chart.YOfPrice(120)));
  ASSERT_EQ(m_chart.SelectedStudyLine(), 1);
  EXPECT_TRUE(m_chart.DeleteSelectedStudyLine());
  ASSERT_EQ(m_chart.StudyLines().size(), 1u);
  EXPECT_EQ(m_chart.StudyLines()[0].tool, kToolTrendLine);
}

TEST_F(ChartLook, FibonacciLabelsDoNotOverlapAndBandsAreFilled) {
  test::FillBars(m_chart, 60);
  m_chart.SetViewPort(0, 1);
  m_chart.BuildDisplayList();
  m_chart.AddStudyLine({kToolFibonacciRetracements, 5, 160, 50, 100, 0xFF8000});
  std::vector<float> ys;
  for (const DlItem& it : m_chart.BuildDisplayList().items)
    if (it.kind == DlKind::kText && it.text.find('%') != std::string::npos) ys.push_back(it.y0);
  ASSERT_GE(ys.size(), 4u);
  std::sort(ys.begin(), ys.end());
  for (size_t k = 1; k < ys.size(); ++k) EXPECT_GE(ys[k] - ys[k - 1], 11.0f);

  m_chart.RemoveAllStudyLines();
  m_chart.AddIndicator("Bollinger Band", sIndicatorParams{});
  bool filled = false;
  for (const DlItem& it : m_chart.BuildDisplayList().items)
    if (it.kind == DlKind::kPolyline && it.fill != kNoColor && it.clip == 0) {
      filled = true;
      EXPECT_GT(it.points.size(), 20u);
      EXPECT_NE(it.fill & 0xFF000000u, 0u) << "see-through";
    }
  EXPECT_TRUE(filled);
}

}  // namespace
}  // namespace kovo
