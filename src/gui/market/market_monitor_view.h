#pragma once

#include <QPointer>
#include <QSplitter>
#include <QTreeWidget>

#include "gui/lists/qt_list_view.h"
#include "gui/qt_view.h"
#include "market/zint_mkt_monitor.h"

namespace kovo::gui {

// The market monitor pane: the "Configuration" tree of message types beside
// the message list.
class QtMarketMonitorView final : public QtView, public CMktMonitorObserver {
 public:
  explicit QtMarketMonitorView(CZintMktMonitor& monitor);
  ~QtMarketMonitorView() override;

  void Refresh() override;
  void OnMonitorChanged(Change what) override;

  QTreeWidget* Tree() const { return m_tree; }
  QtListView* ListView() const { return m_list; }
  // The tree item of a type, or of "--ALL--".
  QTreeWidgetItem* Item(const std::string& name) const;

 private:
  void FillTree();
  void ShowMenu(const std::vector<sMenuItem>& items);
  void TakeSelection();

  CZintMktMonitor& m_monitor;
  QPointer<QSplitter> m_splitter;
  QPointer<QTreeWidget> m_tree;
  QPointer<QtListView> m_list;
  QTreeWidgetItem* m_root = nullptr;
  bool m_filling = false;
};

}  // namespace kovo::gui
