#pragma once

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include "gui/lists/qt_list_view.h"
#include "gui/qt_view.h"

namespace kovo {

class CMarketScannerLogic;

namespace gui {

// A price box: digits and one point, two decimals; Up and Down step by 0.05.
class QtPriceEdit final : public QLineEdit {
 public:
  explicit QtPriceEdit(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// The market movers window: the configuration strip (exchange, record
// count, price range, auto refresh) over the list, the four category
// buttons under it. The same view serves the pane and the dialog.
class QtMarketScannerView final : public QtView {
 public:
  QtMarketScannerView(CMarketScannerLogic& scanner, bool pane);
  void Refresh() override;

  QtListView* ListView() const { return m_list; }
  QComboBox* ExchangeBox() const { return m_exchange; }
  QLineEdit* RecordCountEdit() const { return m_count; }
  QLineEdit* LowerEdit() const { return m_lower; }
  QLineEdit* UpperEdit() const { return m_upper; }
  QCheckBox* AutoRefreshBox() const { return m_autoRefresh; }
  QWidget* ConfigurationStrip() const { return m_strip; }
  QPushButton* CategoryButton(int category) const { return m_buttons.at(category); }

 private:
  void TakeSelection();
  CMarketScannerLogic& m_scanner;
  QPointer<QWidget> m_strip;
  QPointer<QComboBox> m_exchange;
  QPointer<QLineEdit> m_count;
  QPointer<QtPriceEdit> m_lower;
  QPointer<QtPriceEdit> m_upper;
  QPointer<QCheckBox> m_autoRefresh;
  QPointer<QtListView> m_list;
  std::array<QPointer<QPushButton>, 4> m_buttons;
  bool m_refreshing = false;
};

}  // namespace gui
}  // namespace kovo
