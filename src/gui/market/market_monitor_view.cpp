#include "gui/market/market_monitor_view.h"

#include <algorithm>

#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>

namespace kovo::gui {
namespace {

QColor ToQColor(ColorRef c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

}  // namespace

QtMarketMonitorView::QtMarketMonitorView(CZintMktMonitor& monitor)
    : QtView(new QSplitter(Qt::Horizontal)), m_monitor(monitor) {
  m_splitter = static_cast<QSplitter*>(Widget());
  m_splitter->setMinimumSize(400, 150);
  m_tree = new QTreeWidget(m_splitter);
  m_tree->setObjectName("MarketMonitorTree");
  m_tree->setHeaderLabels({CZintMktMonitor::kConfiguration});
  m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
  m_list = new QtListView(monitor.List(), m_splitter);
  m_list->setObjectName("MarketMonitorList");
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_splitter->addWidget(m_tree);
  m_splitter->addWidget(m_list);
  m_splitter->setStretchFactor(1, 1);
  m_splitter->setSizes({CZintMktMonitor::kLeftWidth, 650});

  QObject::connect(m_tree, &QTreeWidget::itemChanged, m_splitter,
                   [this](QTreeWidgetItem* item, int) {
                     if (m_filling || !item) return;
                     m_monitor.OnCheckClick(item->text(0).toStdString());
                     // The logic decides the boxes; show what it says.
                     FillTree();
                   });
  QObject::connect(m_tree, &QTreeWidget::itemClicked, m_splitter,
                   [this](QTreeWidgetItem* item, int) {
                     if (item) m_monitor.OnItemClick(item->text(0).toStdString());
                   });
  QObject::connect(m_tree, &QTreeWidget::itemDoubleClicked, m_splitter,
                   [this](QTreeWidgetItem* item, int) {
                     if (item) m_monitor.OnItemDoubleClick(item->text(0).toStdString());
                   });
  QObject::connect(m_tree, &QWidget::customContextMenuRequested, m_splitter,
                   [this](const QPoint& pos) {
                     QTreeWidgetItem* item = m_tree->itemAt(pos);
                     if (!item) return;
                     m_tree->setCurrentItem(item);
                     m_monitor.SelectItem(item->text(0).toStdString());
                     ShowMenu(m_monitor.TreeMenu());
                   });
  QObject::connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, m_splitter,
                   [this] { TakeSelection(); });
  // Row actions and hot keys act only while the list has the focus.
  QObject::connect(qApp, &QApplication::focusChanged, m_splitter,
                   [this](QWidget*, QWidget* now) { m_monitor.SetListFocus(now == m_list); });
  m_monitor.SetObserver(this);
  FillTree();
}

QtMarketMonitorView::~QtMarketMonitorView() {
  m_monitor.SetObserver(nullptr);
}

QTreeWidgetItem* QtMarketMonitorView::Item(const std::string& name) const {
  if (!m_root) return nullptr;
  if (name == CZintMktMonitor::kAll) return m_root;
  for (int i = 0; i < m_root->childCount(); ++i)
    if (m_root->child(i)->text(0).toStdString() == name) return m_root->child(i);
  return nullptr;
}

void QtMarketMonitorView::FillTree() {
  if (!m_tree) return;
  m_filling = true;
  if (!m_root) {
    m_root = new QTreeWidgetItem(m_tree, {CZintMktMonitor::kAll});
    m_root->setFlags(m_root->flags() | Qt::ItemIsUserCheckable);
  }
  const std::vector<std::string> types = m_monitor.TypeItems();
  while (m_root->childCount() > static_cast<int>(types.size())) delete m_root->takeChild(0);
  while (m_root->childCount() < static_cast<int>(types.size())) {
    auto* item = new QTreeWidgetItem(m_root);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  }
  m_root->setCheckState(0,
                        m_monitor.ItemChecked(CZintMktMonitor::kAll) ? Qt::Checked : Qt::Unchecked);
  for (size_t i = 0; i < types.size(); ++i) {
    QTreeWidgetItem* item = m_root->child(static_cast<int>(i));
    item->setText(0, QString::fromStdString(types[i]));
    item->setCheckState(0, m_monitor.ItemChecked(types[i]) ? Qt::Checked : Qt::Unchecked);
    item->setForeground(0, ToQColor(m_monitor.ItemColour(types[i])));
    item->setBackground(0, Qt::white);
  }
  m_root->setExpanded(true);
  m_filling = false;
}

void QtMarketMonitorView::TakeSelection() {
  if (!m_list) return;
  std::vector<int> rows;
  for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  m_monitor.List().SetSelection(std::move(rows));
}

void QtMarketMonitorView::ShowMenu(const std::vector<sMenuItem>& items) {
  PopupMenu(m_splitter, items, QCursor::pos(), [this](int id) {
    m_monitor.OnCommand(id);
    Refresh();
  });
}

void QtMarketMonitorView::OnMonitorChanged(Change what) {
  switch (what) {
    case Change::kTree:
      FillTree();
      break;
    case Change::kTopRowShown:
      if (m_list) m_list->scrollToTop();
      break;
    case Change::kLook:
      Refresh();
      break;
    case Change::kListMenu:
      TakeSelection();
      ShowMenu(m_monitor.ListMenu());
      break;
  }
}

void QtMarketMonitorView::Refresh() {
  FillTree();
  if (m_list) m_list->viewport()->update();
}

}  // namespace kovo::gui
