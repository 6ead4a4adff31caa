#include "gui/charts/chart_setting_view.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/charts/chart_painter.h"
#include "gui/charts/chart_pane_view.h"

namespace kovo::gui {

CMasterChartSettingView::CMasterChartSettingView(CMasterChartSetting& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic) {
  setWindowTitle(QString::fromUtf8(CMasterChartSetting::kTitle));
  setObjectName(QLatin1String(kChartSettingsObjectName));
  auto* colours = new QGroupBox(tr("Colours"), this);
  auto* grid = new QGridLayout(colours);
  const auto& items = CMasterChartSetting::ColourItems();
  for (size_t i = 0; i < items.size(); ++i) {
    auto* button = new QPushButton(colours);
    button->setFixedSize(48, 20);
    button->setAccessibleName(QString::fromUtf8(items[i].label));
    const int row = static_cast<int>(i / 2), column = static_cast<int>(i % 2) * 2;
    grid->addWidget(new QLabel(QString::fromUtf8(items[i].label), colours), row, column);
    grid->addWidget(button, row, column + 1);
    connect(button, &QPushButton::clicked, this, [this, i] {
      m_logic.OnColourButton(i);
      Refresh();
    });
    m_colours.push_back(button);
  }
  auto* flags = new QGroupBox(tr("Chart"), this);
  auto* flagLayout = new QGridLayout(flags);
  const auto& flagItems = CMasterChartSetting::FlagItems();
  for (size_t i = 0; i < flagItems.size(); ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(flagItems[i].label), flags);
    flagLayout->addWidget(box, static_cast<int>(i / 2), static_cast<int>(i % 2));
    connect(box, &QCheckBox::clicked, this, [this, i](bool on) {
      m_logic.SetFlag(i, on);
      Refresh();
    });
    m_flags.push_back(box);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  m_ok = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (m_logic.OnOK()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(colours);
  layout->addWidget(flags);
  layout->addWidget(buttons);
  Refresh();
}

void CMasterChartSettingView::Refresh() {
  for (size_t i = 0; i < m_colours.size(); ++i) {
    const QColor c = ToQColor(m_logic.Colour(i));
    m_colours[i]->setStyleSheet(
        QStringLiteral("background-color: %1; border: 1px solid #808080").arg(c.name()));
    m_colours[i]->setToolTip(c.name());
  }
  for (size_t i = 0; i < m_flags.size(); ++i) m_flags[i]->setChecked(m_logic.Flag(i));
}

}  // namespace kovo::gui
