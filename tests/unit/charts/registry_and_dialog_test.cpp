#include <gtest/gtest.h>

#include <string>

#include "chart_test_util.h"
#include "charts/indicator_setting_dlg.h"
#include "charts/zint_finance_chart.h"
#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"

namespace kovo {
namespace {

using test::RecordingDialogs;
using test::TempDir;

TEST(ZintFinanceChartTest, RegistersEachNameOnceUpToFifty) {
  ZintFinanceChart chart;
  EXPECT_TRUE(chart.RegisterName("RSI (14)"));
  EXPECT_FALSE(chart.RegisterName("RSI (14)"));
  for (int i = 1; i < 50; ++i) EXPECT_TRUE(chart.RegisterName("S" + std::to_string(i)));
  EXPECT_EQ(chart.Count(), 50u);
  EXPECT_FALSE(chart.RegisterName("the 51st"));
  EXPECT_EQ(chart.Count(), 50u);
  EXPECT_EQ(chart.Find("the 51st"), nullptr);

  // Names keep at most 49 characters.
  ZintFinanceChart longNames;
  const std::string name(60, 'x');
  longNames.AddSeries(name, std::vector<double>{1, 2});
  EXPECT_EQ(longNames.NameAt(0).size(), 49u);
  ASSERT_NE(longNames.Find(std::string(49, 'x')), nullptr);
  EXPECT_EQ(*longNames.Find(name), (std::vector<double>{1, 2}));
}

TEST(ZintFinanceChartTest, BandsAndValuesByName) {
  ZintFinanceChart chart;
  chart.AddSeries("SMA (20)", std::vector<double>{1, 2, 3});
  chart.AddBand("Bollinger (20, 2)", std::vector<double>{5, 6}, std::vector<double>{3, 4});
  // The band's name up to its "(" with -High and -Low, upper then lower.
  ASSERT_NE(chart.Find("Bollinger -High"), nullptr);
  EXPECT_EQ(*chart.Find("Bollinger -High"), (std::vector<double>{5, 6}));
  EXPECT_EQ(*chart.Find("Bollinger -Low"), (std::vector<double>{3, 4}));
  // A second band of the same name registers nothing new but refreshes the values.
  chart.AddBand("Bollinger (10, 1)", std::vector<double>{7}, std::vector<double>{1});
  EXPECT_EQ(chart.Count(), 3u);
  EXPECT_EQ(*chart.Find("Bollinger -High"), (std::vector<double>{7}));
  // Values handed over later land under the name; earlier positions can be kept.
  chart.SetSeriesValues("SMA (20)", std::vector<double>{9, 9, 9, 9}, 2);
  EXPECT_EQ(*chart.Find("SMA (20)"), (std::vector<double>{1, 2, 9, 9}));
}

class IndicatorDialogTest : public ::testing::Test {
 protected:
  TempDir m_dir;
  CSettingsFiles m_files{SettingsPaths{m_dir.Path(), m_dir.Path(), "u"}};
  RecordingDialogs m_dialogs;
  FChartCtrl m_chart{m_files, m_dialogs};
  CFIndicatorSettingDlg m_dlg{m_chart, m_dialogs};
};

TEST_F(IndicatorDialogTest, ShowsTheBoxesOfEachIndicator) {
  ASSERT_TRUE(m_dlg.Select("MACD"));
  const auto& b = m_dlg.Boxes();
  EXPECT_TRUE(b[0].visible && b[1].visible && b[2].visible);
  EXPECT_FALSE(b[3].visible);
  EXPECT_EQ(b[0].label, "Period1");
  EXPECT_EQ(b[0].text, "26");
  EXPECT_EQ(b[1].text, "12");
  EXPECT_EQ(b[2].text, "9");
  ASSERT_TRUE(m_dlg.KindVisible());
  EXPECT_EQ(m_dlg.Kinds()[static_cast<size_t>(m_dlg.KindIndex())], "Simple");

  ASSERT_TRUE(m_dlg.Select("Ultimate Oscillator"));
  EXPECT_EQ(m_dlg.Boxes()[3].label, "Range");
  EXPECT_EQ(m_dlg.Boxes()[3].text, "20");
  EXPECT_FALSE(m_dlg.KindVisible());

  ASSERT_TRUE(m_dlg.Select("On Balance Volume"));
  for (const auto& box : m_dlg.Boxes()) EXPECT_FALSE(box.visible);
  ASSERT_TRUE(m_dlg.Select("Bollinger Band"));
  EXPECT_EQ(m_dlg.Boxes()[1].label, "Deviation");
  ASSERT_TRUE(m_dlg.Select("Parabolic Sar"));
  EXPECT_TRUE(m_dlg.SarVisible());
  EXPECT_EQ(m_dlg.SarTexts()[0], "2");
  EXPECT_TRUE(m_dlg.Boxes()[3].visible);
  EXPECT_FALSE(m_dlg.Select("No Such Indicator"));
}

TEST_F(IndicatorDialogTest, MovingAveragePeriodIsReadWithBasesAndClamped) {
  struct {
    const char* text;
    int stored;
  } cases[] = {{"500", 300}, {"-5", 0}, {"0x10", 16}, {"010", 8}, {"25abc", 25}, {"", 0}};
  for (const auto& c : cases)
    EXPECT_EQ(CFIndicatorSettingDlg::ReadPeriod(c.text), c.stored) << c.text;

  ASSERT_TRUE(m_dlg.Select("Moving Average"));
  m_dlg.SetKindIndex(1);  // Exponential
  m_dlg.SetPeriodText("500");
  ASSERT_TRUE(m_dlg.OnOK());
  ASSERT_NE(m_chart.Params("EMA:300"), nullptr);
  EXPECT_EQ(m_chart.Params("EMA:300")->period, 300);
  CFIndicatorSettingDlg again(m_chart, m_dialogs);
  again.Select("Moving Average");
  again.SetPeriodText("-5");
  again.OnOK();
  ASSERT_NE(m_chart.Params("SMA:0"), nullptr);
  EXPECT_EQ(m_chart.Params("SMA:0")->period, 0);
}

TEST_F(IndicatorDialogTest, OkStoresParametersAndListsANameOnce) {
  // Nothing selected: nothing happens.
  EXPECT_FALSE(m_dlg.OnOK());
  EXPECT_FALSE(m_dlg.Closed());

  m_dlg.Select("MACD");
  m_dlg.SetKindIndex(3);
  m_dlg.OnOK();
  EXPECT_TRUE(m_dlg.Closed());
  ASSERT_NE(m_chart.Params("MACD"), nullptr);
  EXPECT_EQ(m_chart.Params("MACD")->maKind, "WMA");
  EXPECT_EQ(m_chart.Params("MACD")->param1, "26");
  EXPECT_EQ(m_chart.Params("MACD")->color, 0xFF0000u);

  // Added again with other parameters: listed once, parameters replaced.
  CFIndicatorSettingDlg second(m_chart, m_dialogs);
  second.Select("MACD");
  second.SetBoxText(0, "30");
  second.OnOK();
  EXPECT_EQ(std::count(m_chart.IndicatorNames().begin(), m_chart.IndicatorNames().end(), "MACD"),
            1);
  EXPECT_EQ(m_chart.Params("MACD")->param1, "30");

  // Only non-empty parameters are stored.
  CFIndicatorSettingDlg wr(m_chart, m_dialogs);
  wr.Select("William's %R");
  wr.SetBoxText(3, "25");
  wr.OnOK();
  EXPECT_EQ(m_chart.Params("William's %R")->param1, "");
  EXPECT_EQ(m_chart.Params("William's %R")->param4, "25");
  // The range typed in the fourth box reaches the operation; the empty period keeps 14.
  const auto opt =
      OptionsFor(*FindIndicator("William's %R"), "William's %R", *m_chart.Params("William's %R"));
  EXPECT_EQ(opt.p[0], 14);
  EXPECT_EQ(opt.p[1], 25);
}

TEST_F(IndicatorDialogTest, ParabolicSarsGetDistinctNamesAndColourIsPicked) {
  for (int i = 0; i < 2; ++i) {
    CFIndicatorSettingDlg dlg(m_chart, m_dialogs);
    dlg.Select("Parabolic Sar");
    dlg.SetSarText(2, "20");
    dlg.OnOK();
  }
  EXPECT_EQ(m_chart.IndicatorNames(),
            (std::vector<std::string>{"Parabolic Sar:1", "Parabolic Sar:2"}));
  // Boxes are in hundredths: 2, 2, 20 -> 0.02, 0.02, 0.2.
  const auto opt = OptionsFor(*FindIndicator("Parabolic Sar:2"), "Parabolic Sar:2",
                              *m_chart.Params("Parabolic Sar:2"));
  EXPECT_DOUBLE_EQ(opt.p[0], 0.02);
  EXPECT_DOUBLE_EQ(opt.p[2], 0.2);

  // The colour dialog answers blue-green-red; pure blue there is 0xFF0000.
  EXPECT_EQ(m_dlg.Color(), 0xFF0000u);
  m_dialogs.AnswerColor(0xFF0000);
  m_dlg.OnColorButton();
  EXPECT_EQ(m_dlg.Color(), 0x0000FFu);
  m_dlg.OnColorButton();  // cancelled: unchanged
  EXPECT_EQ(m_dlg.Color(), 0x0000FFu);
}

}  // namespace
}  // namespace kovo
