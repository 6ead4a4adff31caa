#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <filesystem>

#include "charts/indicator_setting_dlg.h"
#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"
#include "gui/charts/chart_painter.h"
#include "gui/charts/chart_setting_view.h"
#include "gui/charts/fchart_widget.h"
#include "gui/charts/indicator_setting_view.h"

namespace kovo::gui {
namespace {

using test::RecordingDialogs;
using test::TempDir;

QApplication& App() {
  static int argc = 1;
  static char name[] = "chart_gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// 120 bars of a wave, so candles rise and fall and indicators move.
void FillWave(FChartCtrl& chart) {
  std::vector<double> t, h, l, o, c, v;
  for (int i = 0; i < 120; ++i) {
    const double mid = 100 + 10 * std::sin(i / 9.0) + i * 0.1;
    const double open = mid - 0.8 * std::cos(i * 1.3), close = mid + 0.8 * std::cos(i * 1.3);
    t.push_back(63'900'868'500.0 + 60.0 * i);
    o.push_back(open), c.push_back(close);
    h.push_back(std::max(open, close) + 0.6), l.push_back(std::min(open, close) - 0.6);
    v.push_back(1000 + 400 * std::fabs(std::sin(i / 5.0)));
  }
  for (auto* a : {&t, &h, &l, &o, &c, &v}) a->push_back(0);
  chart.SetData(t, h, l, o, c, v);
}

bool HasColour(const QImage& image, QRect area, QColor colour) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixelColor(x, y).rgb() == colour.rgb()) return true;
  return false;
}

class ChartGuiTest : public ::testing::Test {
 protected:
  ChartGuiTest() { App(); }
  TempDir m_dir;
  CSettingsFiles m_files{SettingsPaths{m_dir.Path(), m_dir.Path(), "u"}};
  RecordingDialogs m_dialogs;
  FChartCtrl m_chart{m_files, m_dialogs};
};

TEST_F(ChartGuiTest, RendersCandlesVolumeIndicatorsAndATrendLine) {
  FillWave(m_chart);
  m_chart.AddIndicatorByCommand(3458);  // RSI panel
  sIndicatorParams sma;
  sma.period = 10;
  sma.color = 0xFFFF00;
  m_chart.AddIndicator("SMA:10", sma);
  FChartWidget widget(m_chart);
  widget.resize(900, 600);
  widget.Render();  // lays the chart out so pixels map to bars and prices
  m_chart.AddStudyLine({kToolTrendLine, 10, 95, 100, 115, 0xFF8000});
  const QImage image = widget.Render();

  const std::filesystem::path dir = KOVO_ARTIFACT_DIR;
  std::filesystem::create_directories(dir);
  const QString png = QString::fromStdString((dir / "finance_chart.png").string());
  ASSERT_TRUE(image.save(png, "PNG"));
  ASSERT_TRUE(QImage(png).size() == QSize(900, 600));

  const DisplayList& dl = m_chart.BuildDisplayList();
  ASSERT_EQ(dl.panels.size(), 3u);
  auto area = [](const DlPanel& p) {
    return QRect(static_cast<int>(p.x) + 1, static_cast<int>(p.y) + 1, static_cast<int>(p.w) - 2,
                 static_cast<int>(p.h) - 2);
  };
  // Rising and falling candle bodies, the moving average and the trend line on the price panel.
  EXPECT_TRUE(HasColour(image, area(dl.panels[0]), QColor(0x00, 0xD9, 0x00)));
  EXPECT_TRUE(HasColour(image, area(dl.panels[0]), QColor(0xDF, 0x00, 0x00)));
  EXPECT_TRUE(HasColour(image, area(dl.panels[0]), QColor(0xFF, 0xFF, 0x00)));
  EXPECT_TRUE(HasColour(image, area(dl.panels[0]), QColor(0xFF, 0x80, 0x00)));
  // The RSI line in its default red, and volume bars in the last panel.
  EXPECT_TRUE(HasColour(image, area(dl.panels[1]), QColor(0xFF, 0x00, 0x00)));
  EXPECT_TRUE(HasColour(image, area(dl.panels[2]), QColor(0x00, 0xD9, 0x00)));
}

TEST_F(ChartGuiTest, SaveAsBitmapWritesTheChart) {
  FillWave(m_chart);
  FChartWidget widget(m_chart);
  widget.resize(640, 400);
  widget.Render();
  m_dialogs.AnswerFile((m_dir / "saved").string());
  m_chart.OnCommand(chart_cmd::kSaveBitmap);
  const QImage saved(QString::fromStdString((m_dir / "saved.bmp").string()), "BMP");
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(640, 400));
  EXPECT_EQ(TempDir::ReadFile(m_dir / "saved.bmp").substr(0, 2), "BM");
}

TEST_F(ChartGuiTest, IndicatorDialogShowsAndForwardsTheLogic) {
  CFIndicatorSettingDlg logic(m_chart, m_dialogs);
  CFIndicatorSettingView view(logic);
  view.show();
  view.IndicatorCombo()->setCurrentText("MACD");
  EXPECT_EQ(view.Box(0)->text(), "26");
  EXPECT_EQ(view.Box(2)->text(), "9");
  EXPECT_TRUE(view.KindCombo()->isVisible());
  EXPECT_EQ(view.KindCombo()->currentText(), "Simple");
  EXPECT_FALSE(view.Box(3)->isVisible());
  view.Box(1)->setText("10");
  emit view.Box(1)->textEdited("10");
  view.KindCombo()->setCurrentIndex(1);
  view.OkButton()->click();
  ASSERT_NE(m_chart.Params("MACD"), nullptr);
  EXPECT_EQ(m_chart.Params("MACD")->param2, "10");
  EXPECT_EQ(m_chart.Params("MACD")->maKind, "EMA");
  EXPECT_EQ(view.result(), QDialog::Accepted);
}

TEST_F(ChartGuiTest, EveryIndicatorShowsWholeLabelledRowsOnly) {
  CFIndicatorSettingDlg logic(m_chart, m_dialogs);
  CFIndicatorSettingView view(logic);
  view.show();
  QFormLayout* form = view.Form();
  for (int i = 1; i < view.IndicatorCombo()->count(); ++i) {
    view.IndicatorCombo()->setCurrentIndex(i);
    const std::string name = view.IndicatorCombo()->currentText().toStdString();
    for (int row = 0; row < form->rowCount(); ++row) {
      QLayoutItem* field = form->itemAt(row, QFormLayout::FieldRole);
      QLayoutItem* label = form->itemAt(row, QFormLayout::LabelRole);
      if (!field || !field->widget()) continue;
      ASSERT_NE(label, nullptr) << name << " row " << row;
      auto* text = qobject_cast<QLabel*>(label->widget());
      ASSERT_NE(text, nullptr) << name << " row " << row;
      EXPECT_EQ(text->isVisible(), field->widget()->isVisible()) << name << " row " << row;
      if (field->widget()->isVisible()) {
        EXPECT_FALSE(text->text().trimmed().isEmpty()) << name << " row " << row;
      }
    }
  }
  view.IndicatorCombo()->setCurrentText("RSI");
  EXPECT_FALSE(view.KindCombo()->isVisible());
  EXPECT_FALSE(qobject_cast<QWidget*>(form->labelForField(view.KindCombo()))->isVisible())
      << "no stray \"Type\"";
  view.IndicatorCombo()->setCurrentText("Parabolic Sar");
  EXPECT_TRUE(view.SarBox(0)->isVisible());
}

TEST_F(ChartGuiTest, TheSettingsDialogShowsAndStoresTheSharedSettings) {
  CMasterChartSetting settings(m_files, m_dialogs);
  settings.Load();
  m_chart.ShareSettings(settings.Shared());
  FillWave(m_chart);
  settings.BeginEdit();
  CMasterChartSettingView view(settings);
  view.show();
  EXPECT_EQ(view.FlagBox(4)->isChecked(), true) << "SHOW_XGRID";
  m_dialogs.AnswerColor(0x00203040);  // blue-green-red
  view.ColourButton(1)->click();      // BACK_COLOR
  EXPECT_NE(view.ColourButton(1)->styleSheet().indexOf("#403020"), -1) << "the swatch follows";
  view.FlagBox(4)->click();
  view.OkButton()->click();
  EXPECT_EQ(view.result(), QDialog::Accepted);
  FChartWidget widget(m_chart);
  widget.resize(600, 400);
  const QImage image = widget.Render();
  EXPECT_EQ(image.pixelColor(300, 150).rgb(), QColor(0x40, 0x30, 0x20).rgb())
      << "the chart draws with it";
  std::string stored;
  m_files.Read(kChartSettingSection, "SHOW_XGRID", stored, kChartSettingsFile,
               SettingsLocation::kUserFolder);
  EXPECT_EQ(stored, "FALSE");
}

}  // namespace
}  // namespace kovo::gui
