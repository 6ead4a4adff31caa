#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/common_list_ctrl.h"
#include "ui/list_filter.h"

namespace kovo {

// The filter pop-up of one column: its distinct values, of which the user
// picks some; they become the column's filter joined with "~".
class CFilterText {
 public:
  CFilterText(int headerPos, std::vector<std::string> values);
  int Column() const { return m_column; }
  const std::vector<std::string>& Values() const { return m_values; }
  void Select(int index, bool selected);
  bool IsSelected(int index) const;
  // The picked values in list order, joined with "~".
  std::string FilterText() const;

 private:
  int m_column;
  std::vector<std::string> m_values;
  std::vector<bool> m_selected;
};

// A list with a filter box per column. In filter mode it keeps the rows
// itself and shows, through the owner's callback, only those that pass
// every column's filter.
class CFilterListCtrl : public CCommonListCtrl {
 public:
  static constexpr std::size_t kMaxFilterText = 1024;

  using CCommonListCtrl::CCommonListCtrl;
  ~CFilterListCtrl() override;

  void EnableFilterHeader(bool on);
  bool FilterMode() const { return m_filterMode; }
  void SetCustomColumnsAllowed(bool allowed) { m_customColumns = allowed; }

  // ---- rows; row numbers are visible rows, insert positions are store positions
  int InsertItem(int pos, ItemData data) override;
  bool DeleteItem(int row) override;
  void DeleteAllItems() override;
  int ItemCount() const override;
  ItemData GetItemData(int row) const override;
  bool SetItemData(int row, ItemData data) override;
  int RowCount() const { return static_cast<int>(m_rows.Size()); }

  // ---- filters by header position
  // Puts text (at most kMaxFilterText characters) in the column's filter
  // box and filters again; exact makes that pass compare whole cells.
  bool SetFilter(int headerPos, std::string_view text, bool exact);
  bool ClearFilter(int headerPos);
  std::string FilterText(int headerPos) const;
  bool FilterActive() const;
  // The header's filter boxes, by header position, after the user typed.
  void OnFilterBoxesChanged(const std::vector<std::string>& texts);
  void ApplyFilters();
  void ResetFilters();

  // ---- the filter pop-up
  void OnFilterButton(int headerPos);
  CFilterText* FilterPopup() const { return m_popup.get(); }
  // Enter or OK in the pop-up: the picked values become the filter.
  void AcceptFilterPopup();
  void CloseFilterPopup();

  std::vector<sMenuItem> HeaderMenu() const override;
  bool OnCommand(int id) override;

 protected:
  void SortRows(int descriptor, bool ascending) override;
  void OnColumnsChanged() override;

 private:
  using Filters = std::vector<std::pair<int, CColumnFilter>>;  // descriptor, filter
  Filters CollectFilters(bool exact) const;
  bool Passes(ItemData data, const Filters& filters, sCellInfo& cell) const;
  void ShowAllRows();
  void ReindexingError(const char* text);

  bool m_filterMode = false;
  bool m_customColumns = false;
  std::vector<std::string> m_filterTexts;  // per descriptor, so they follow a moved column
  bool m_exactOnce = false;
  bool m_lastPassExact = false;
  Filters m_filters;  // of the last pass, for rows inserted after it
  std::deque<CRowStore::Key> m_visible;
  bool m_visibleInStoreOrder = true;
  std::unique_ptr<CFilterText> m_popup;
};

// A list whose rows the user drags to a new place.
class CDragDropListCtrl : public CCommonListCtrl {
 public:
  using CCommonListCtrl::CCommonListCtrl;

  void OnDragBegin(int row);
  void OnDragMove(int row);
  // Drops the dragged row so that it becomes row `row`; tells the owner.
  bool OnDragEnd(int row);
  void CancelDrag() { m_dragRow = m_dropRow = -1; }
  bool Dragging() const { return m_dragRow >= 0; }
  int DragRow() const { return m_dragRow; }
  int DropRow() const { return m_dropRow; }  // insertion mark, -1 for none
  bool MoveItem(int from, int to);

 private:
  int m_dragRow = -1;
  int m_dropRow = -1;
};

}  // namespace kovo
