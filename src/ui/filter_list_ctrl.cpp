#include "ui/filter_list_ctrl.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "ui/sort_keys.h"

namespace kovo {

using Change = CListObserver::Change;

// ---------------------------------------------------------------- pop-up

CFilterText::CFilterText(int headerPos, std::vector<std::string> values)
    : m_column(headerPos), m_values(std::move(values)), m_selected(m_values.size(), false) {}

void CFilterText::Select(int index, bool selected) {
  if (index >= 0 && index < static_cast<int>(m_values.size()))
    m_selected[static_cast<std::size_t>(index)] = selected;
}

bool CFilterText::IsSelected(int index) const {
  return index >= 0 && index < static_cast<int>(m_values.size()) &&
         m_selected[static_cast<std::size_t>(index)];
}

std::string CFilterText::FilterText() const {
  std::vector<std::string> picked;
  for (std::size_t i = 0; i < m_values.size(); ++i)
    if (m_selected[i]) picked.push_back(m_values[i]);
  return JoinFilterValues(picked);
}

// ---------------------------------------------------------------- filter list

CFilterListCtrl::~CFilterListCtrl() = default;

void CFilterListCtrl::EnableFilterHeader(bool on) {
  if (on == m_filterMode) return;
  m_filterMode = on;
  m_visible.clear();
  if (on) ShowAllRows();
  // Filters set before the header showed take effect now.
  if (on && FilterActive()) ApplyFilters();
  Notify(Change::kFilters);
  Notify(Change::kRows);
}

void CFilterListCtrl::ShowAllRows() {
  m_visible.clear();
  for (std::size_t i = 0; i < m_rows.Size(); ++i) m_visible.push_back(m_rows.KeyOf(i));
  m_visibleInStoreOrder = true;
  m_lastPassExact = false;
  m_filters.clear();
}

void CFilterListCtrl::OnColumnsChanged() {
  if (m_filterTexts.size() != m_columns.size()) {
    m_filterTexts.assign(m_columns.size(), {});
    return;
  }
  // A hidden column has no filter box, so it cannot keep filtering.
  bool cleared = false;
  for (std::size_t d = 0; d < m_filterTexts.size(); ++d) {
    if (!m_filterTexts[d].empty() && Position(static_cast<int>(d)) < 0) {
      m_filterTexts[d].clear();
      cleared = true;
    }
  }
  if (cleared) {
    Notify(Change::kFilters);
    ApplyFilters();
  }
}

int CFilterListCtrl::ItemCount() const {
  return m_filterMode ? static_cast<int>(m_visible.size()) : CCommonListCtrl::ItemCount();
}

ItemData CFilterListCtrl::GetItemData(int row) const {
  if (!m_filterMode) return CCommonListCtrl::GetItemData(row);
  if (row < 0 || row >= ItemCount()) return 0;
  return m_rows.AtKey(m_visible[static_cast<std::size_t>(row)]);
}

bool CFilterListCtrl::SetItemData(int row, ItemData data) {
  if (!m_filterMode) return CCommonListCtrl::SetItemData(row, data);
  if (row < 0 || row >= ItemCount()) return false;
  m_rows.Set(m_rows.PosOf(m_visible[static_cast<std::size_t>(row)]), data);
  return true;
}

void CFilterListCtrl::ReindexingError(const char* text) {
  Message(text);
  DeleteAllItems();
}

int CFilterListCtrl::InsertItem(int pos, ItemData data) {
  if (!m_filterMode) return CCommonListCtrl::InsertItem(pos, data);
  if (!HasTextCallback()) return -1;

  const std::size_t count = m_rows.Size();
  const std::size_t at = pos < 0 ? count : std::min<std::size_t>(pos, count);
  const CRowStore::Key first = m_rows.KeyOf(0);
  const CRowStore::Key end = first + static_cast<CRowStore::Key>(count);
  CRowStore::Shift shift;
  const CRowStore::Key key = m_rows.Insert(at, data, &shift);
  if (shift.Any()) {
    for (CRowStore::Key& k : m_visible) {
      if (k < first || k >= end) {
        ReindexingError("Insert Item: Reindexing Error");
        return -1;
      }
      if (k >= shift.from && k < shift.to) k += shift.delta;
    }
  }

  if (FilterActive()) {
    // A full pass when it would differ from testing the new row alone: the
    // last pass compared whole cells, or the rows are sorted.
    if (m_lastPassExact || !m_visibleInStoreOrder) {
      ApplyFilters();
      return static_cast<int>(at);
    }
    sCellInfo cell;
    if (!Passes(data, m_filters, cell)) return static_cast<int>(at);
  }
  std::size_t row = std::min(at, m_visible.size());
  if (m_visibleInStoreOrder)
    row = static_cast<std::size_t>(std::lower_bound(m_visible.begin(), m_visible.end(), key) -
                                   m_visible.begin());
  m_visible.insert(m_visible.begin() + static_cast<std::ptrdiff_t>(row), key);
  ClearSelection();
  Notify(Change::kRowInserted, static_cast<int>(row));
  return static_cast<int>(at);
}

bool CFilterListCtrl::DeleteItem(int row) {
  if (!m_filterMode) return CCommonListCtrl::DeleteItem(row);
  if (row < 0 || row >= ItemCount()) {
    Message("Delete item: Item not found");
    return false;
  }
  const CRowStore::Key key = m_visible[static_cast<std::size_t>(row)];
  if (!m_rows.HasKey(key)) {
    ReindexingError("Delete item: Reindexing Error");
    return false;
  }
  m_visible.erase(m_visible.begin() + row);
  CRowStore::Shift shift;
  m_rows.Erase(m_rows.PosOf(key), &shift);
  if (shift.Any()) {
    for (CRowStore::Key& k : m_visible) {
      if (k == key) {
        ReindexingError("Delete item: Reindexing Error");
        return false;
      }
      if (k >= shift.from && k < shift.to) k += shift.delta;
    }
  }
  ClearSelection();
  Notify(Change::kRowRemoved, row);
  return true;
}

void CFilterListCtrl::DeleteAllItems() {
  m_visible.clear();
  m_visibleInStoreOrder = true;
  CCommonListCtrl::DeleteAllItems();
}

// ---------------------------------------------------------------- filtering

bool CFilterListCtrl::FilterActive() const {
  return std::any_of(m_filterTexts.begin(), m_filterTexts.end(),
                     [](const std::string& t) { return !t.empty(); });
}

std::string CFilterListCtrl::FilterText(int headerPos) const {
  const int d = HeaderDescriptor(headerPos);
  return d < 0 || static_cast<std::size_t>(d) >= m_filterTexts.size()
             ? std::string()
             : m_filterTexts[static_cast<std::size_t>(d)];
}

bool CFilterListCtrl::SetFilter(int headerPos, std::string_view text, bool exact) {
  const int d = HeaderDescriptor(headerPos);
  if (d < 0 || static_cast<std::size_t>(d) >= m_filterTexts.size()) return false;
  m_filterTexts[static_cast<std::size_t>(d)] = text.substr(0, kMaxFilterText);
  if (exact) m_exactOnce = true;
  Notify(Change::kFilters);
  ApplyFilters();
  return true;
}

bool CFilterListCtrl::ClearFilter(int headerPos) {
  return SetFilter(headerPos, {}, false);
}

void CFilterListCtrl::OnFilterBoxesChanged(const std::vector<std::string>& texts) {
  if (texts.size() != static_cast<std::size_t>(HeaderCount())) {
    Message("Error occured while filtering");
    return;
  }
  for (int pos = 0; pos < HeaderCount(); ++pos) {
    const auto d = static_cast<std::size_t>(HeaderDescriptor(pos));
    m_filterTexts[d] = texts[static_cast<std::size_t>(pos)].substr(0, kMaxFilterText);
  }
  ApplyFilters();
}

CFilterListCtrl::Filters CFilterListCtrl::CollectFilters(bool exact) const {
  Filters filters;
  for (int pos = 0; pos < HeaderCount(); ++pos) {
    const int d = HeaderDescriptor(pos);
    const std::string& text = m_filterTexts[static_cast<std::size_t>(d)];
    if (!text.empty()) filters.emplace_back(d, CColumnFilter(text, exact));
  }
  return filters;
}

bool CFilterListCtrl::Passes(ItemData data, const Filters& filters, sCellInfo& cell) const {
  for (const auto& [descriptor, filter] : filters) {
    CellOf(data, descriptor, cell);
    if (!filter.Matches(cell.text)) return false;
  }
  return true;
}

void CFilterListCtrl::ApplyFilters() {
  if (!m_filterMode || !HasTextCallback()) return;
  const bool exact = m_exactOnce;
  m_filters = CollectFilters(exact);
  m_visible.clear();
  sCellInfo cell;
  for (std::size_t i = 0; i < m_rows.Size(); ++i) {
    if (Passes(m_rows.At(i), m_filters, cell)) m_visible.push_back(m_rows.KeyOf(i));
  }
  m_visibleInStoreOrder = true;
  m_lastPassExact = exact;
  m_exactOnce = false;
  if (exact) m_filters = CollectFilters(false);
  ClearSelection();
  Notify(Change::kRows);
}

void CFilterListCtrl::ResetFilters() {
  for (std::string& text : m_filterTexts) text.clear();
  m_exactOnce = false;
  if (m_filterMode) ShowAllRows();
  ClearSelection();
  Notify(Change::kFilters);
  Notify(Change::kRows);
}

// ---------------------------------------------------------------- pop-up

void CFilterListCtrl::OnFilterButton(int headerPos) {
  const int d = HeaderDescriptor(headerPos);
  if (d < 0) return;
  TellOwner(ListNotice::kFilterButton, headerPos);
  std::vector<std::string> values;
  std::unordered_set<std::string> seen;
  sCellInfo cell;
  for (int row = 0; row < ItemCount(); ++row) {
    CellOf(GetItemData(row), d, cell);
    if (!cell.text.empty() && seen.insert(cell.text).second) values.push_back(cell.text);
  }
  m_popup = std::make_unique<CFilterText>(headerPos, std::move(values));
  Notify(Change::kFilterPopup);
}

void CFilterListCtrl::AcceptFilterPopup() {
  if (!m_popup) return;
  const int column = m_popup->Column();
  const std::string text = m_popup->FilterText();
  CloseFilterPopup();
  SetFilter(column, text, false);
}

void CFilterListCtrl::CloseFilterPopup() {
  if (!m_popup) return;
  m_popup.reset();
  Notify(Change::kFilterPopup);
}

// ---------------------------------------------------------------- menu and sort

std::vector<sMenuItem> CFilterListCtrl::HeaderMenu() const {
  std::vector<sMenuItem> menu = CCommonListCtrl::HeaderMenu();
  if (m_filterMode) menu.push_back({kCmdResetFilters, kTextResetFilters});
  if (m_customColumns) {
    menu.push_back({kCmdAddCustomColumns, kTextAddCustomColumns});
    menu.push_back({kCmdDeleteCustomColumns, kTextDeleteCustomColumns});
  }
  return menu;
}

bool CFilterListCtrl::OnCommand(int id) {
  switch (id) {
    case kCmdResetFilters:
      ResetFilters();
      return true;
    case kCmdAddCustomColumns:
    case kCmdDeleteCustomColumns:
      if (!m_customColumns) return false;
      TellOwner(id == kCmdAddCustomColumns ? ListNotice::kAddCustomColumns
                                           : ListNotice::kDeleteCustomColumns,
                -1);
      return true;
    default:
      return CCommonListCtrl::OnCommand(id);
  }
}

void CFilterListCtrl::SortRows(int descriptor, bool ascending) {
  if (!m_filterMode) {
    CCommonListCtrl::SortRows(descriptor, ascending);
    return;
  }
  // The filtering list compares kinds 1 to 6; others keep the visible order.
  const int32_t kind = m_columns[static_cast<std::size_t>(descriptor)].sortKind;
  if (kind < kSortInt || kind > kSortDateTime) {
    m_visibleInStoreOrder = false;
    return;
  }
  // Cells are read in store order, where the rows lie one after another (a
  // sorted list read in its own order jumps all over them); ties still keep
  // the visible order through each row's visible rank.
  std::vector<CRowStore::Key> byStore;
  std::vector<uint32_t> ranks;
  byStore.reserve(m_visible.size());
  if (m_visibleInStoreOrder) {
    byStore.assign(m_visible.begin(), m_visible.end());
  } else {
    constexpr uint32_t kHidden = UINT32_MAX;
    std::vector<uint32_t> rankAt(m_rows.Size(), kHidden);
    for (std::size_t i = 0; i < m_visible.size(); ++i)
      rankAt[m_rows.PosOf(m_visible[i])] = static_cast<uint32_t>(i);
    ranks.reserve(m_visible.size());
    for (std::size_t pos = 0; pos < rankAt.size(); ++pos) {
      if (rankAt[pos] == kHidden) continue;
      byStore.push_back(m_rows.KeyOf(pos));
      ranks.push_back(rankAt[pos]);
    }
  }
  CSortKeys keys(kind);
  keys.Reserve(byStore.size());
  sCellInfo cell;
  for (CRowStore::Key key : byStore) {
    CellOf(m_rows.AtKey(key), descriptor, cell);
    keys.Add(cell.text);
  }
  const std::vector<uint32_t> order = keys.Order(ascending, ranks.empty() ? nullptr : &ranks);
  std::deque<CRowStore::Key> sorted;
  for (uint32_t i : order) sorted.push_back(byStore[i]);
  m_visible.swap(sorted);
  m_visibleInStoreOrder = false;
}

// ---------------------------------------------------------------- drag and drop

void CDragDropListCtrl::OnDragBegin(int row) {
  m_dragRow = row >= 0 && row < ItemCount() ? row : -1;
  m_dropRow = -1;
}

void CDragDropListCtrl::OnDragMove(int row) {
  if (!Dragging()) return;
  m_dropRow = std::clamp(row, 0, ItemCount() - 1);
}

bool CDragDropListCtrl::OnDragEnd(int row) {
  if (!Dragging()) return false;
  const int from = m_dragRow;
  CancelDrag();
  const int to = std::clamp(row, 0, ItemCount() - 1);
  if (!MoveItem(from, to)) return false;
  TellOwner(ListNotice::kRowMoved, to);
  return true;
}

bool CDragDropListCtrl::MoveItem(int from, int to) {
  const int count = ItemCount();
  if (from < 0 || from >= count || to < 0 || to >= count || from == to) return false;
  const ItemData data = GetItemData(from);
  CRowStore::Shift shift;
  m_rows.Erase(static_cast<std::size_t>(from), &shift);
  m_rows.Insert(static_cast<std::size_t>(to), data, &shift);
  ClearSelection();
  Notify(Change::kRows);
  return true;
}

}  // namespace kovo
