#pragma once

#include <QDialog>
#include <vector>

#include "charts/master_chart_setting.h"

class QCheckBox;
class QPushButton;

namespace kovo::gui {

// "Preference Settings": a swatch button per chart colour and a check box
// per flag; OK hands the edits to CMasterChartSetting.
class CMasterChartSettingView final : public QDialog {
 public:
  explicit CMasterChartSettingView(CMasterChartSetting& logic, QWidget* parent = nullptr);

  QPushButton* ColourButton(size_t item) const { return m_colours.at(item); }
  QCheckBox* FlagBox(size_t item) const { return m_flags.at(item); }
  QPushButton* OkButton() const { return m_ok; }
  void Refresh();

 private:
  CMasterChartSetting& m_logic;
  std::vector<QPushButton*> m_colours;
  std::vector<QCheckBox*> m_flags;
  QPushButton* m_ok = nullptr;
};

}  // namespace kovo::gui
