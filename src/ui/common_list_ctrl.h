#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/list_types.h"
#include "ui/row_store.h"

namespace kovo {

class CReposition;

// What a list tells its view; the view reads the state back.
class CListObserver {
 public:
  enum class Change {
    kRows,         // anything about the rows; read them all again
    kRowInserted,  // one row at `row`
    kRowRemoved,   // one row at `row`
    kColumns,      // header: order, widths, visibility
    kFilters,      // filter texts
    kSort,         // sort column or direction
    kLook,         // colours, grid lines
    kSelection,    // the selected rows
    kChooser,      // the column chooser opened or closed
    kFilterPopup,  // the filter pop-up opened or closed
  };
  virtual ~CListObserver() = default;
  virtual void OnListChanged(Change what, int row) = 0;
};

// What a list tells its owner window.
enum class ListNotice {
  kRightClick,    // the owner opens its menu
  kFilterButton,  // row = header position
  kAddCustomColumns,
  kDeleteCustomColumns,
  kRowMoved,  // row = the row's new place (drag and drop)
};
using ListNotify = std::function<void(ListNotice notice, int row)>;

// The report list every table window stands on: column descriptors and the
// user's column profile, cells drawn through the owner's callback, sorting,
// fitting, grid lines, copying and spreadsheet export.
class CCommonListCtrl {
 public:
  // Green on black, the terminal's list look.
  static constexpr ColorRef kDefaultTextColor = Rgb(0, 255, 0);
  static constexpr ColorRef kDefaultBackColor = Rgb(0, 0, 0);
  static constexpr int kMinFitWidth = 50;
  static constexpr int kHiddenWidth = 100;

  // title names the list's section in the settings file; controlId tells
  // lists of one title apart for their colours.
  CCommonListCtrl(sListPorts ports, std::string title, int controlId = 0);
  virtual ~CCommonListCtrl();
  CCommonListCtrl(const CCommonListCtrl&) = delete;
  CCommonListCtrl& operator=(const CCommonListCtrl&) = delete;

  const std::string& Title() const { return m_title; }
  int ControlId() const { return m_controlId; }

  // ---- owner
  void SetTextCallback(ListTextCallback callback) { m_callback = std::move(callback); }
  bool HasTextCallback() const { return static_cast<bool>(m_callback); }
  void SetOwner(void* owner) { m_owner = owner; }
  void SetNotify(ListNotify notify) { m_notify = std::move(notify); }
  void SetObserver(CListObserver* observer) { m_observer = observer; }
  // With the own menu a right click opens the list's menu instead of the owner's.
  void SetOwnMenu(bool own) { m_ownMenu = own; }
  bool OwnMenuEnabled() const { return m_ownMenu; }

  // ---- columns
  void SetDefaultVisible(std::vector<int> descriptors) {
    m_defaultVisible = std::move(descriptors);
  }
  void AddFixedColumn(std::string_view name);
  bool IsFixedColumn(std::string_view name) const;
  // Takes the descriptors, reads the user's profile and shows the columns.
  void SetColumns(std::vector<sKovoColInfo> columns);
  const std::vector<sKovoColInfo>& Columns() const { return m_columns; }
  int DescriptorOf(std::string_view name) const;  // -1 when unknown
  int HeaderCount() const { return static_cast<int>(m_header.size()); }
  // Descriptor shown at a header position, -1 when out of range.
  int HeaderDescriptor(int pos) const;
  int Position(int descriptor) const;  // -1 when hidden
  int Width(int descriptor) const;
  int HeaderWidth(int pos) const;
  void SetHeaderWidth(int pos, int width);
  // A header drag: the column at from now sits at to.
  void MoveColumn(int from, int to);
  // The chooser's result: every descriptor in its new order and whether it
  // shows. Refuses (message box) to hide a fixed column.
  bool ApplyColumnLayout(const std::vector<int>& order, const std::vector<bool>& visible);

  void SetProfileEnabled(bool enabled) { m_profileEnabled = enabled; }
  bool ProfileEnabled() const { return m_profileEnabled; }
  std::string ProfileText() const;
  bool SaveProfile();

  // The column chooser while it is open; nullptr otherwise.
  CReposition* Chooser() const { return m_chooser.get(); }
  void OpenChooser();
  void CloseChooser();

  // ---- rows
  virtual int InsertItem(int pos, ItemData data);
  virtual bool DeleteItem(int row);
  virtual void DeleteAllItems();
  virtual int ItemCount() const;
  virtual ItemData GetItemData(int row) const;
  virtual bool SetItemData(int row, ItemData data);
  // The cell at a header position, through the owner's callback, with the
  // list's colours preset. False when there is no such cell or the owner
  // has nothing for it.
  bool GetCell(int row, int headerPos, sCellInfo& cell) const;
  std::string CellText(int row, int headerPos) const;

  // ---- selection
  void SetSelection(std::vector<int> rows);
  const std::vector<int>& Selection() const { return m_selection; }
  void SelectAll();

  // ---- commands, keys and mouse
  virtual std::vector<sMenuItem> HeaderMenu() const;
  std::vector<sMenuItem> OwnMenu() const;
  // True when the command was the list's.
  virtual bool OnCommand(int id);
  bool OnKey(int key, sKeyState state);
  // A right click among the rows: true when the view shows OwnMenu();
  // otherwise the owner was told.
  bool OnRightClick();
  // A click on a header sorts by that column.
  void OnHeaderClick(int headerPos);
  int SortColumn() const;  // header position, -1 when unsorted
  bool SortAscending() const { return m_sortAscending; }

  // ---- fitting
  using TextMeasure = std::function<int(std::string_view text)>;
  // Pixels of a text with the cell margins; the default is 7 per character plus 12.
  void SetTextMeasure(TextMeasure measure) { m_measure = std::move(measure); }
  void SetClientWidth(int width) { m_clientWidth = width; }
  void FitColumns(int mode);

  // ---- look
  bool GridLines() const { return m_gridLines; }
  void ToggleGridLines();
  ColorRef TextColor() const { return m_textColor; }
  ColorRef BackColor() const { return m_backColor; }
  ColorRef TextBackColor() const { return m_textBackColor; }
  std::string CustomizeKey() const;
  // The owner's own look, in place of the terminal's green on black.
  void SetColors(ColorRef text, ColorRef back);
  // Reads the user's colours for this list; false when none apply.
  bool ApplyCustomizedColors();

  // ---- services
  bool WriteToExcel();
  bool CopySelection();

 protected:
  void Notify(CListObserver::Change what, int row = -1) const {
    if (m_observer) m_observer->OnListChanged(what, row);
  }
  void TellOwner(ListNotice notice, int row) const {
    if (m_notify) m_notify(notice, row);
  }
  void Message(std::string_view text) const;
  void Log(std::string_view text) const {
    if (m_ports.log) m_ports.log(text);
  }
  // The owner's text of one cell by descriptor; empty when it has none.
  bool CellOf(ItemData data, int descriptor, sCellInfo& cell) const;
  // Sorts the rows by a descriptor; a filtering list sorts its visible rows.
  virtual void SortRows(int descriptor, bool ascending);
  // Columns were hidden or shown.
  virtual void OnColumnsChanged() {}
  void ClearSelection();

  sListPorts m_ports;
  CRowStore m_rows;
  std::vector<sKovoColInfo> m_columns;
  std::vector<int> m_header;  // header position -> descriptor

 private:
  friend class CReposition;
  bool ReadProfile(std::string& profile) const;
  bool ApplyProfile(std::string_view profile);
  void ShowDefaultColumns();
  void RebuildHeaderFromPositions(const std::vector<int>& positions);

  std::string m_title;
  int m_controlId;
  ListTextCallback m_callback;
  void* m_owner = nullptr;
  ListNotify m_notify;
  CListObserver* m_observer = nullptr;
  bool m_ownMenu = false;
  bool m_profileEnabled = true;

  std::unordered_map<std::string, int> m_byName;
  std::vector<int> m_widths;  // per descriptor
  std::vector<int> m_defaultVisible;
  std::vector<std::string> m_fixed;
  std::unique_ptr<CReposition> m_chooser;

  std::vector<int> m_selection;
  int m_sortDescriptor = -1;
  bool m_sortAscending = false;

  TextMeasure m_measure;
  int m_clientWidth = 0;
  bool m_gridLines = false;
  ColorRef m_textColor = kDefaultTextColor;
  ColorRef m_backColor = kDefaultBackColor;
  ColorRef m_textBackColor = kDefaultBackColor;
};

// The column chooser: every column in the list's order with its check,
// reordered and checked by the user; fixed columns cannot be unchecked.
class CReposition {
 public:
  struct sEntry {
    int descriptor;
    std::string name;
    bool visible;
  };

  explicit CReposition(CCommonListCtrl& list);
  const std::vector<sEntry>& Entries() const { return m_entries; }
  // Moves the entry at from to to; false when either is out of range.
  bool Move(int from, int to);
  // False, after the message box "Can not hide %s", for a fixed column.
  bool SetVisible(int entry, bool visible);
  // Applies the choice to the list and saves the profile.
  bool OnOK();

 private:
  CCommonListCtrl& m_list;
  std::vector<sEntry> m_entries;
};

}  // namespace kovo
