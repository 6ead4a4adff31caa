#include "gui/charts/data_table_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "charts/data_table_dlg.h"

namespace kovo::gui {

QtDataTableView::QtDataTableView(CDataTableDlg& table)
    : QtView(new QWidget(nullptr, Qt::Window)), m_table(table) {
  QWidget* frame = Widget();
  frame->setObjectName(QLatin1String(kChartDataTableObjectName));
  // Wide enough for the fixed columns and a few indicators (showing centres it at its hint).
  frame->setMinimumSize(900, 480);
  auto* layout = new QVBoxLayout(frame);
  // The lists keep 10 pixels from the window's edges.
  layout->setContentsMargins(10, 10, 10, 10);
  auto* combos = new QHBoxLayout;
  m_series1 = new QComboBox(frame);
  m_series2 = new QComboBox(frame);
  combos->addWidget(m_series1);
  combos->addWidget(m_series2);
  combos->addStretch(1);
  layout->addLayout(combos);
  m_bars = new QtListView(table.Bars(), frame);
  m_bars->verticalHeader()->setDefaultSectionSize(m_bars->fontMetrics().height() + 6);
  m_cross = new QtListView(table.CrossOver(), frame);
  layout->addWidget(m_bars, 1);
  layout->addWidget(m_cross, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  m_ok = new QPushButton(QStringLiteral("OK"), frame);
  buttons->addWidget(m_ok);
  layout->addLayout(buttons);
  QObject::connect(m_ok, &QPushButton::clicked, frame, [this] { m_table.Close(); });
  Refresh();
}

void QtDataTableView::Refresh() {
  if (!Widget()) return;
  const bool cross = m_table.CrossOverShown();
  m_cross->setVisible(cross);
  m_series1->setVisible(cross);
  m_series2->setVisible(cross);
  for (QComboBox* box : {m_series1.data(), m_series2.data()}) {
    box->clear();
    for (const std::string& name : m_table.SeriesNames())
      box->addItem(QString::fromStdString(name));
  }
  m_bars->OnListChanged(CListObserver::Change::kColumns, -1);
  m_bars->OnListChanged(CListObserver::Change::kRows, -1);
}

}  // namespace kovo::gui
