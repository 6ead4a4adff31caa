#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "charts/fchart_ctrl.h"
#include "platform/dialogs.h"

namespace kovo {

// Picks an indicator, shows the parameter boxes it takes with their labels
// and defaults, and on OK stores the parameters in the chart and adds it.
class CFIndicatorSettingDlg {
 public:
  static constexpr int kTemplateId = 706;
  static constexpr const char* kTitle = "Moving averages";
  static constexpr int kIdCombo = 1964, kIdColor = 1967, kIdOk = 1966;
  static constexpr std::array<int, 4> kBoxIds = {16165, 16166, 16169, 16164};

  struct sBox {
    bool visible = false;
    std::string label;
    std::string text;
  };

  CFIndicatorSettingDlg(FChartCtrl& chart, Dialogs& dialogs);

  // The indicator combo.
  const std::vector<std::string>& Indicators() const { return m_names; }
  int Selected() const { return m_selected; }
  // Shows the chosen indicator's boxes with their defaults; false for an unknown name.
  bool Select(std::string_view name);
  void SelectIndex(int index);

  const std::array<sBox, 4>& Boxes() const { return m_boxes; }
  void SetBoxText(size_t i, std::string text);
  // Moving-average kind combo ("Simple", "Exponential", "Triangular", "Weighted").
  bool KindVisible() const { return m_kindVisible; }
  const std::vector<std::string>& Kinds() const { return m_kinds; }
  int KindIndex() const { return m_kind; }
  void SetKindIndex(int index);
  // Period box of the moving averages.
  bool PeriodVisible() const { return m_periodVisible; }
  const std::string& PeriodText() const { return m_period; }
  void SetPeriodText(std::string text) { m_period = std::move(text); }
  // The three decimal boxes of the parabolic SAR.
  bool SarVisible() const { return m_sarVisible; }
  const std::array<std::string, 3>& SarTexts() const { return m_sar; }
  void SetSarText(size_t i, std::string text);

  uint32_t Color() const { return m_color; }  // 0xRRGGBB
  void OnColorButton();
  // Stores and adds the indicator; false (dialog stays) when nothing is selected.
  bool OnOK();
  bool Closed() const { return m_closed; }

  // "Simple" -> "SMA" ...; "None" and anything else unchanged.
  static std::string ShortKind(std::string_view kind);
  // A number with C base prefixes (0x hexadecimal, 0 octal), clamped to 0..300.
  static int ReadPeriod(std::string_view text);

 private:
  FChartCtrl& m_chart;
  Dialogs& m_dialogs;
  std::vector<std::string> m_names;
  int m_selected = -1;
  std::array<sBox, 4> m_boxes;
  std::vector<std::string> m_kinds{"Simple", "Exponential", "Triangular", "Weighted"};
  bool m_kindVisible = false;
  int m_kind = 0;
  bool m_periodVisible = false;
  std::string m_period;
  bool m_sarVisible = false;
  std::array<std::string, 3> m_sar;
  uint32_t m_color = 0xFF0000;
  bool m_closed = false;
};

}  // namespace kovo
