#include "gui/charts/indicator_setting_view.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/charts/chart_painter.h"

namespace kovo::gui {

CFIndicatorSettingView::CFIndicatorSettingView(CFIndicatorSettingDlg& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic) {
  setWindowTitle(QString::fromUtf8(CFIndicatorSettingDlg::kTitle));
  auto* form = new QFormLayout;
  m_form = form;
  m_combo = new QComboBox(this);
  m_combo->addItem(QString());
  for (const auto& name : m_logic.Indicators()) m_combo->addItem(QString::fromStdString(name));
  form->addRow(tr("Indicator"), m_combo);
  for (size_t i = 0; i < 4; ++i) {
    m_labels[i] = new QLabel(this);
    m_edits[i] = new QLineEdit(this);
    form->addRow(m_labels[i], m_edits[i]);
    connect(m_edits[i], &QLineEdit::textEdited,
            [this, i](const QString& t) { m_logic.SetBoxText(i, t.toStdString()); });
  }
  m_kind = new QComboBox(this);
  for (const auto& k : m_logic.Kinds()) m_kind->addItem(QString::fromStdString(k));
  form->addRow(tr("Type"), m_kind);
  static const char* const kSarLabels[3] = {"Initial Step", "Increment", "Maximum Step"};
  m_periodLabel = new QLabel(tr("Periods"), this);
  m_period = new QLineEdit(this);
  form->addRow(m_periodLabel, m_period);
  for (size_t i = 0; i < 3; ++i) {
    m_sar[i] = new QDoubleSpinBox(this);
    m_sar[i]->setRange(1, 100);
    m_sar[i]->setDecimals(2);
    // In hundredths, as the chart reads them (2 is 0.02).
    form->addRow(tr(kSarLabels[i]), m_sar[i]);
    connect(m_sar[i], &QDoubleSpinBox::valueChanged, [this, i](double v) {
      if (m_logic.SarVisible()) m_logic.SetSarText(i, QString::number(v, 'f', 2).toStdString());
    });
  }
  m_color = new QPushButton(this);
  m_color->setFixedWidth(60);
  form->addRow(tr("Color"), m_color);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  m_ok = buttons->button(QDialogButtonBox::Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // Opened from the chart's list, the dialog starts on that entry.
  m_combo->setCurrentIndex(m_logic.Selected() + 1);
  connect(m_combo, &QComboBox::currentIndexChanged, [this](int index) {
    m_logic.SelectIndex(index - 1);
    Refresh();
  });
  connect(m_kind, &QComboBox::currentIndexChanged,
          [this](int index) { m_logic.SetKindIndex(index); });
  connect(m_period, &QLineEdit::textEdited,
          [this](const QString& t) { m_logic.SetPeriodText(t.toStdString()); });
  connect(m_color, &QPushButton::clicked, [this] {
    m_logic.OnColorButton();
    Refresh();
  });
  connect(buttons, &QDialogButtonBox::accepted, [this] { Accept(); });
  connect(buttons, &QDialogButtonBox::rejected, [this] { reject(); });
  Refresh();
}

void CFIndicatorSettingView::Refresh() {
  // Whole rows come and go, so no label is left without its box or a box without its label.
  for (size_t i = 0; i < 4; ++i) {
    const auto& box = m_logic.Boxes()[i];
    m_labels[i]->setText(QString::fromStdString(box.label));
    m_edits[i]->setText(QString::fromStdString(box.text));
    m_form->setRowVisible(m_edits[i], box.visible);
  }
  m_form->setRowVisible(m_kind, m_logic.KindVisible());
  m_kind->setCurrentIndex(m_logic.KindIndex());
  m_form->setRowVisible(m_period, m_logic.PeriodVisible());
  m_period->setText(QString::fromStdString(m_logic.PeriodText()));
  for (size_t i = 0; i < 3; ++i) {
    m_form->setRowVisible(m_sar[i], m_logic.SarVisible());
    m_sar[i]->blockSignals(true);
    m_sar[i]->setValue(QString::fromStdString(m_logic.SarTexts()[i]).toDouble());
    m_sar[i]->blockSignals(false);
  }
  const QColor c = ToQColor(m_logic.Color());
  m_color->setStyleSheet(QStringLiteral("background-color: %1").arg(c.name()));
  adjustSize();
}

void CFIndicatorSettingView::Accept() {
  if (m_logic.OnOK()) accept();
}

}  // namespace kovo::gui
