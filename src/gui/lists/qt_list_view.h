#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QDialog>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTableView>
#include <QToolButton>

#include "platform/clipboard.h"
#include "ui/common_list_ctrl.h"
#include "ui/filter_list_ctrl.h"

namespace kovo::gui {

// A settings colour (0x00BBGGRR) for the lists; own name, as other views define theirs.
QColor ListColor(ColorRef color);

// The system clipboard.
class QtClipboard final : public Clipboard {
 public:
  void SetText(std::string_view text) override;
  std::string Text() const override;
};

// The visible rows and columns of a list; every cell comes from the owner's
// callback when the view asks for it, so only what is on screen is formatted.
class QtListModel final : public QAbstractTableModel {
 public:
  using IconProvider = std::function<QIcon(int icon)>;

  explicit QtListModel(CCommonListCtrl& list, QObject* parent = nullptr);
  void SetIconProvider(IconProvider icons) { m_icons = std::move(icons); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The logic already changed; tell the views.
  void RowInserted(int row);
  void RowRemoved(int row);
  void Reset();
  void CellsChanged();

 private:
  CCommonListCtrl& m_list;
  IconProvider m_icons;
};

// A header with a filter box and a filter button under each column's title.
class QtFilterHeader final : public QHeaderView {
 public:
  explicit QtFilterHeader(QWidget* parent);
  void SetFilterRow(bool on);
  bool HasFilterRow() const { return m_filterRow; }
  // Makes one box per section and puts the texts in without telling anyone.
  void SetFilterTexts(const std::vector<std::string>& texts);
  std::vector<std::string> FilterTexts() const;
  QLineEdit* FilterBox(int section) const;
  QToolButton* FilterButton(int section) const;

  std::function<void()> onFiltersEdited;
  std::function<void(int section)> onFilterButton;

  QSize sizeHint() const override;

 protected:
  void updateGeometries() override;

 private:
  void PlaceBoxes();
  bool m_filterRow = false;
  std::vector<QPointer<QLineEdit>> m_boxes;
  std::vector<QPointer<QToolButton>> m_buttons;
};

// The column chooser: reorder, show and hide; a fixed column cannot be hidden.
class QtColumnChooser final : public QDialog {
 public:
  QtColumnChooser(CReposition& chooser, QWidget* parent);
  QListWidget* Columns() const { return m_columns; }
  void MoveCurrent(int by);

 private:
  void Fill();
  CReposition& m_chooser;
  QListWidget* m_columns;
  bool m_filling = false;
};

// The filter pop-up: a column's values, several may be picked.
class QtFilterPopup final : public QDialog {
 public:
  QtFilterPopup(CFilterText& popup, QWidget* parent);
  QListWidget* Values() const { return m_values; }
  // The picked rows go to the pop-up's logic.
  void ApplySelection();

 private:
  CFilterText& m_popup;
  QListWidget* m_values;
};

// A menu of items at globalPos that goes away when closed; an item with id 0 is
// a separator, a checked item shows checked, and a picked item's id goes to
// onPick.
void PopupMenu(QWidget* parent, const std::vector<sMenuItem>& items, const QPoint& globalPos,
               std::function<void(int)> onPick);

// Hands the rows selected in view (cells or whole rows, each row once, in the
// order they were picked) to the list.
void CopySelection(const QTableView& view, CCommonListCtrl& list);

// The view of a list: a virtual table with the filter header, sort marks,
// the header menu and the list's own menu.
class QtListView final : public QTableView, public CListObserver {
 public:
  // A filtering list gets the filter row.
  explicit QtListView(CCommonListCtrl& list, QWidget* parent = nullptr);
  ~QtListView() override;

  QtListModel* Model() const { return m_model; }
  QtFilterHeader* FilterHeader() const { return m_header; }
  QtColumnChooser* Chooser() const { return m_chooser; }
  QtFilterPopup* Popup() const { return m_popup; }

  void OnListChanged(Change what, int row) override;

  // Opens a menu; the picked command goes to the list.
  void ShowMenu(const std::vector<sMenuItem>& items, const QPoint& globalPos);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SyncColumns();
  void SyncLook();
  void SyncSortMark();
  void SyncFilters();
  void SyncSelection();
  void OpenChooser();
  void OpenPopup();

  CCommonListCtrl& m_list;
  CFilterListCtrl* m_filterList;
  QtListModel* m_model;
  QtFilterHeader* m_header;
  QPointer<QtColumnChooser> m_chooser;
  QPointer<QtFilterPopup> m_popup;
  std::vector<int> m_shownColumns;  // descriptors the model's columns show
  bool m_syncing = false;
};

}  // namespace kovo::gui
