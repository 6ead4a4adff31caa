#pragma once

#include <QDialog>
#include <array>

#include "charts/indicator_setting_dlg.h"

class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kovo::gui {

// The indicator settings dialog: shows CFIndicatorSettingDlg and passes edits back.
class CFIndicatorSettingView final : public QDialog {
 public:
  CFIndicatorSettingView(CFIndicatorSettingDlg& logic, QWidget* parent = nullptr);

  QComboBox* IndicatorCombo() const { return m_combo; }
  QLineEdit* Box(size_t i) const { return m_edits[i]; }
  QLabel* BoxLabel(size_t i) const { return m_labels[i]; }
  QComboBox* KindCombo() const { return m_kind; }
  QLineEdit* PeriodEdit() const { return m_period; }
  QDoubleSpinBox* SarBox(size_t i) const { return m_sar[i]; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* ColorButton() const { return m_color; }
  QFormLayout* Form() const { return m_form; }
  // Reads the logic back into the widgets.
  void Refresh();

 private:
  void Accept();

  CFIndicatorSettingDlg& m_logic;
  QFormLayout* m_form = nullptr;
  QComboBox* m_combo = nullptr;
  std::array<QLabel*, 4> m_labels{};
  std::array<QLineEdit*, 4> m_edits{};
  QComboBox* m_kind = nullptr;
  QLabel* m_periodLabel = nullptr;
  QLineEdit* m_period = nullptr;
  std::array<QDoubleSpinBox*, 3> m_sar{};
  QPushButton* m_color = nullptr;
  QPushButton* m_ok = nullptr;
};

}  // namespace kovo::gui
