// Chart templates (save, upload, default) and the shared chart settings.
#include <gtest/gtest.h>

#include <string>

#include "chart_test_util.h"
#include "charts/chart_template.h"
#include "charts/fchart_ctrl.h"
#include "charts/master_chart_setting.h"
#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"

namespace kovo {
namespace {

using test::RecordingDialogs;
using test::TempDir;

class ChartTemplates : public ::testing::Test {
 protected:
  std::string File(const char* name) const { return (m_dir.Path() / name).string(); }
  std::string Setting(const char* section, const char* key) const {
    std::string v;
    m_files.Read(section, key, v, kChartSettingsFile, SettingsLocation::kUserFolder);
    return v;
  }

  TempDir m_dir;
  CSettingsFiles m_files{SettingsPaths{m_dir.Path(), m_dir.Path(), "u"}};
  RecordingDialogs m_dialogs;
  FChartCtrl m_chart{m_files, m_dialogs};
  FChartCtrl m_other{m_files, m_dialogs};
};

TEST_F(ChartTemplates, SaveAndUploadCarryIndicatorsPanelsAndStyle) {
  sIndicatorParams macd;
  macd.param1 = "26", macd.param2 = "10", macd.param3 = "9", macd.maKind = "EMA";
  macd.color = 0x00FF00;
  m_chart.AddIndicator("MACD", macd);
  sIndicatorParams sma;
  sma.period = 50;
  m_chart.AddIndicator("SMA:50", sma);
  m_chart.AddIndicatorByCommand(3465);  // "Parabolic Sar:1"
  m_chart.OnCommand(chart_cmd::kVolumePanel);
  m_chart.OnCommand(chart_cmd::kStyleLine);
  ASSERT_FALSE(m_chart.VolumePanel());

  m_dialogs.AnswerFile(File("mine"));
  m_chart.OnCommand(chart_cmd::kSaveTemplate);
  const std::string text = TempDir::ReadFile(File("mine.kcdx"));
  EXPECT_EQ(text,
            "0#1#3#MACD ,65280 ,26 ,10 ,9 , ,EMA #SMA:50 ,16711680 , , , , ,50 #"
            "Parabolic Sar:1 ,49151 , , , , #1#MACD#1#SMA:50#Line#")
      << "the SAR took a colour of its own";
  EXPECT_EQ(m_chart.CurrentTemplate(), File("mine.kcdx"));

  // Loading replaces what the other chart had.
  m_other.AddIndicatorByCommand(3458);
  m_dialogs.AnswerFile(File("mine.kcdx"));
  m_other.OnCommand(chart_cmd::kUploadTemplate);
  EXPECT_EQ(m_other.IndicatorNames(),
            (std::vector<std::string>{"MACD", "SMA:50", "Parabolic Sar:1"}));
  ASSERT_NE(m_other.Params("MACD"), nullptr);
  EXPECT_EQ(m_other.Params("MACD")->maKind, "EMA");
  EXPECT_EQ(m_other.Params("MACD")->param2, "10");
  EXPECT_EQ(m_other.Params("MACD")->color, 0x00FF00u);
  EXPECT_EQ(m_other.Params("SMA:50")->period, 50);
  EXPECT_FALSE(m_other.VolumePanel()) << "saved hidden, loaded hidden";
  EXPECT_EQ(m_other.StyleName(), "Line");
  EXPECT_EQ(m_other.SarCounter(), 1);
  EXPECT_EQ(m_other.NextSarCounter(), 2) << "a further SAR gets a name of its own";
  EXPECT_TRUE(m_dialogs.MessageBoxTexts().empty());
}

TEST_F(ChartTemplates, OldFilesAndDamagedFilesReadAsFarAsTheyGo) {
  // Written before the style was kept: the chart keeps its own.
  TempDir::WriteFile(File("old.kcdx"), "1#0#1#RSI ,255 ,10 , , , #1#RSI#0#");
  m_chart.SetStyleName("OHLC");
  EXPECT_TRUE(m_chart.LoadTemplateFile(File("old.kcdx")));
  EXPECT_EQ(m_chart.IndicatorNames(), std::vector<std::string>{"RSI"});
  EXPECT_EQ(m_chart.Params("RSI")->color, 255u);
  EXPECT_EQ(m_chart.StyleName(), "OHLC");

  // A MACD without its kind ends the reading; what came before stays.
  TempDir::WriteFile(File("cut.kcdx"),
                     "1#0#3#Momentum ,1 ,12 , , , #MACD ,2 ,26 ,12 ,9 , #"
                     "RSI ,3 , , , , #1#RSI#0#");
  EXPECT_FALSE(m_chart.LoadTemplateFile(File("cut.kcdx")));
  EXPECT_EQ(m_chart.IndicatorNames(), std::vector<std::string>{"Momentum"});
  ASSERT_EQ(m_dialogs.MessageBoxTexts().size(), 1u);
  EXPECT_NE(m_dialogs.MessageBoxTexts()[0].find("MACD"), std::string::npos);

  // Not a template at all: nothing is lost.
  for (const char* junk :
       {"", "hello", "1#0#999#RSI ,1 , , , , #", "1#0#1#Nothing ,1 ,,,,#0#0#", "2#0#0#0#0#"}) {
    TempDir::WriteFile(File("junk.kcdx"), junk);
    EXPECT_FALSE(m_chart.LoadTemplateFile(File("junk.kcdx"))) << junk;
    EXPECT_EQ(m_chart.IndicatorNames(), std::vector<std::string>{"Momentum"}) << junk;
  }
  EXPECT_FALSE(m_chart.LoadTemplateFile(File("missing.kcdx")));
}

TEST_F(ChartTemplates, SetAsDefaultWritesThePathAndTellsTheOwner) {
  std::string kept;
  m_chart.SetDefaultTemplateKeeper([&](const std::string& p) { kept = p; });
  m_chart.AddIndicatorByCommand(3458);
  m_dialogs.AnswerFile(File("default"));
  m_chart.OnCommand(chart_cmd::kDefaultTemplate);
  EXPECT_EQ(kept, File("default.kcdx"));
  EXPECT_EQ(Setting(kDefTemplateSection, kDefTemplateKey), File("default.kcdx"));
  ASSERT_EQ(m_dialogs.Calls().size(), 1u);

  // With a current template it is rewritten without asking.
  m_chart.AddIndicatorByCommand(3448);
  m_chart.OnCommand(chart_cmd::kDefaultTemplate);
  EXPECT_EQ(m_dialogs.Calls().size(), 1u);
  EXPECT_NE(TempDir::ReadFile(File("default.kcdx")).find("Momentum"), std::string::npos);
}

TEST_F(ChartTemplates, TheSettingsDialogWritesEveryKeyAndEveryChartDrawsWithIt) {
  CMasterChartSetting settings(m_files, m_dialogs);
  settings.Load();
  EXPECT_EQ(settings.Current().backColor, 0x000000u) << "a missing section keeps the defaults";
  EXPECT_EQ(settings.Current().gridColor, 0x4B4B4Bu);
  EXPECT_TRUE(settings.Current().panelBorder);
  m_chart.ShareSettings(settings.Shared());
  m_other.ShareSettings(settings.Shared());
  test::FillBars(m_chart, 50);
  test::FillBars(m_other, 50);
  int redraws = 0;
  settings.SetOnChanged([&] { ++redraws; });

  settings.BeginEdit();
  // The colour dialog answers in blue-green-red: 0x00FF0080 is red 80, blue FF.
  m_dialogs.AnswerColor(0x00FF0080);
  ASSERT_TRUE(settings.OnColourButton(1));  // BACK_COLOR
  settings.SetFlag(4, false);               // SHOW_XGRID
  EXPECT_EQ(m_chart.BuildDisplayList().background, 0x000000u) << "nothing before OK";
  ASSERT_TRUE(settings.OnOK());
  EXPECT_EQ(redraws, 1);
  EXPECT_EQ(m_chart.BuildDisplayList().background, 0x8000FFu);
  EXPECT_EQ(m_other.BuildDisplayList().background, 0x8000FFu);

  EXPECT_EQ(Setting(kChartSettingSection, "BACK_COLOR"), std::to_string(0x8000FF));
  EXPECT_EQ(Setting(kChartSettingSection, "SHOW_XGRID"), "FALSE");
  for (const auto& c : CMasterChartSetting::ColourItems())
    EXPECT_FALSE(Setting(kChartSettingSection, c.key).empty()) << c.key;
  for (const auto& f : CMasterChartSetting::FlagItems())
    EXPECT_FALSE(Setting(kChartSettingSection, f.key).empty()) << f.key;
  EXPECT_EQ(Setting(kChartSettingSection, "NO_OF_DAYS"), "22");
  CMasterChartSetting reread(m_files, m_dialogs);
  reread.Load();
  EXPECT_EQ(reread.Current().backColor, 0x8000FFu);
  EXPECT_FALSE(reread.Current().showXGrid);
}

}  // namespace
}  // namespace kovo
