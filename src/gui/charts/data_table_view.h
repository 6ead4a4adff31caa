#pragma once

#include <QComboBox>
#include <QPointer>
#include <QPushButton>

#include "gui/charts/chart_pane_view.h"
#include "gui/lists/qt_list_view.h"
#include "gui/qt_view.h"

namespace kovo {
class CDataTableDlg;
}

namespace kovo::gui {

// A data table's window: the bar list; the crossover list with its two
// series boxes stays hidden, as the chart windows keep it.
class QtDataTableView final : public QtView {
 public:
  explicit QtDataTableView(CDataTableDlg& table);
  void Refresh() override;

  QtListView* BarList() const { return m_bars; }
  QtListView* CrossList() const { return m_cross; }
  QPushButton* OkButton() const { return m_ok; }

 private:
  CDataTableDlg& m_table;
  QPointer<QtListView> m_bars;
  QPointer<QtListView> m_cross;
  QPointer<QComboBox> m_series1;
  QPointer<QComboBox> m_series2;
  QPointer<QPushButton> m_ok;
};

}  // namespace kovo::gui
