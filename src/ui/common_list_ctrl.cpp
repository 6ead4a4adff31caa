#include "ui/common_list_ctrl.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "base/format.h"
#include "base/text.h"
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/settings.h"
#include "ui/sort_keys.h"
#include "ui/zint_excel_interface.h"

namespace kovo {
namespace {

constexpr const char* kProfileKey = "COLUMNPROFILE";
constexpr const char* kCustomizeSection = "CUSTOMIZE_LISTS";
constexpr const char* kMessageCaption = "KovoZint";

// A whole integer, blanks around it allowed; nothing else.
bool StrictInt(std::string_view text, int* value) {
  text = TrimView(text);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool StrictHexColor(std::string_view text, ColorRef* color) {
  text = TrimView(text);
  if (text.empty() || text.size() > 8) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *color, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

// The cell provider the spreadsheet bridge calls back.
int ExcelCell(void* context, int row, int column, std::string* text, int* kind) {
  const auto* list = static_cast<const CCommonListCtrl*>(context);
  if (row == 0) {
    const int descriptor = list->HeaderDescriptor(column);
    if (descriptor < 0) {
      text->clear();
      *kind = -1;
      return 1;
    }
    const sKovoColInfo& info = list->Columns()[static_cast<std::size_t>(descriptor)];
    *text = info.Name();
    *kind = info.sortKind;
    return 1;
  }
  *text = list->CellText(row - 1, column);
  *kind = -1;
  return 1;
}

}  // namespace

sKovoColInfo::sKovoColInfo(std::string_view columnName, int32_t w, int32_t fmt, int32_t kind,
                           std::string t1, std::string t2)
    : width(w), format(fmt), sortKind(kind), text1(std::move(t1)), text2(std::move(t2)) {
  const std::size_t n = std::min(columnName.size(), kColNameCapacity - 1);
  if (n > 0) std::memcpy(name, columnName.data(), n);
  name[n] = '\0';
}

CCommonListCtrl::CCommonListCtrl(sListPorts ports, std::string title, int controlId)
    : m_ports(std::move(ports)), m_title(std::move(title)), m_controlId(controlId) {}

CCommonListCtrl::~CCommonListCtrl() = default;

void CCommonListCtrl::Message(std::string_view text) const {
  m_ports.dialogs.MessageBox(text, kMessageCaption, kMbOk);
}

// ---------------------------------------------------------------- columns

void CCommonListCtrl::AddFixedColumn(std::string_view name) {
  if (!IsFixedColumn(name)) m_fixed.emplace_back(name);
}

bool CCommonListCtrl::IsFixedColumn(std::string_view name) const {
  return std::find(m_fixed.begin(), m_fixed.end(), name) != m_fixed.end();
}

int CCommonListCtrl::DescriptorOf(std::string_view name) const {
  const auto it = m_byName.find(std::string(name));
  return it == m_byName.end() ? -1 : it->second;
}

int CCommonListCtrl::HeaderDescriptor(int pos) const {
  return pos >= 0 && pos < HeaderCount() ? m_header[static_cast<std::size_t>(pos)] : -1;
}

int CCommonListCtrl::Position(int descriptor) const {
  const auto it = std::find(m_header.begin(), m_header.end(), descriptor);
  return it == m_header.end() ? -1 : static_cast<int>(it - m_header.begin());
}

int CCommonListCtrl::Width(int descriptor) const {
  return descriptor >= 0 && descriptor < static_cast<int>(m_widths.size())
             ? m_widths[static_cast<std::size_t>(descriptor)]
             : 0;
}

int CCommonListCtrl::HeaderWidth(int pos) const {
  return Width(HeaderDescriptor(pos));
}

void CCommonListCtrl::SetHeaderWidth(int pos, int width) {
  const int descriptor = HeaderDescriptor(pos);
  if (descriptor < 0) return;
  m_widths[static_cast<std::size_t>(descriptor)] = std::max(0, width);
  Notify(CListObserver::Change::kColumns);
}

void CCommonListCtrl::MoveColumn(int from, int to) {
  if (from < 0 || from >= HeaderCount() || to < 0 || to >= HeaderCount() || from == to) return;
  const int descriptor = m_header[static_cast<std::size_t>(from)];
  m_header.erase(m_header.begin() + from);
  m_header.insert(m_header.begin() + to, descriptor);
  Notify(CListObserver::Change::kColumns);
}

void CCommonListCtrl::SetColumns(std::vector<sKovoColInfo> columns) {
  m_columns = std::move(columns);
  m_byName.clear();
  m_widths.clear();
  m_header.clear();
  m_sortDescriptor = -1;
  for (std::size_t i = 0; i < m_columns.size(); ++i) {
    m_byName.emplace(std::string(m_columns[i].Name()), static_cast<int>(i));
    m_widths.push_back(m_columns[i].width);
  }
  std::string profile;
  if (!ReadProfile(profile) || !ApplyProfile(profile)) ShowDefaultColumns();
  OnColumnsChanged();
  Notify(CListObserver::Change::kColumns);
}

bool CCommonListCtrl::ReadProfile(std::string& profile) const {
  if (m_ports.settings.Read(m_title, kProfileKey, profile, kZintSettingsFile,
                            SettingsLocation::kUserFolder) == 0)
    return false;
  return !profile.empty() && profile != "Settings not found";
}

bool CCommonListCtrl::ApplyProfile(std::string_view profile) {
  const std::size_t count = m_columns.size();
  std::vector<int> positions(count, -1);
  std::vector<int> widths(count, kHiddenWidth);  // columns added since the profile was saved
  const std::vector<std::string> fields = Tokenize(profile, ",");
  bool anyVisible = false;
  for (std::size_t i = 0; i + 2 < fields.size(); i += 3) {
    int index = 0, position = 0, width = 0;
    if (!StrictInt(fields[i], &index) || !StrictInt(fields[i + 1], &position) ||
        !StrictInt(fields[i + 2], &width)) {
      Log(Format("Column profile of %s: ignored the entry \"%s,%s,%s\"", m_title.c_str(),
                 fields[i].c_str(), fields[i + 1].c_str(), fields[i + 2].c_str()));
      continue;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= count) continue;
    const auto at = static_cast<std::size_t>(index);
    positions[at] = position < 0 ? -1 : position;
    widths[at] = position < 0 ? m_columns[at].width : std::max(0, width);
    anyVisible = anyVisible || position >= 0;
  }
  // A profile that shows nothing would leave an empty list the user cannot fix.
  if (!anyVisible) {
    Log(Format("Column profile of %s shows no column; default columns used", m_title.c_str()));
    return false;
  }
  m_widths = std::move(widths);
  RebuildHeaderFromPositions(positions);
  return true;
}

void CCommonListCtrl::RebuildHeaderFromPositions(const std::vector<int>& positions) {
  m_header.clear();
  for (std::size_t i = 0; i < positions.size(); ++i)
    if (positions[i] >= 0) m_header.push_back(static_cast<int>(i));
  // Duplicate or missing positions in a hand-edited profile still give one order.
  std::stable_sort(m_header.begin(), m_header.end(), [&](int a, int b) {
    return positions[static_cast<std::size_t>(a)] < positions[static_cast<std::size_t>(b)];
  });
}

void CCommonListCtrl::ShowDefaultColumns() {
  m_header.clear();
  for (std::size_t i = 0; i < m_columns.size(); ++i) m_widths[i] = m_columns[i].width;
  if (m_defaultVisible.empty()) {
    m_header.resize(m_columns.size());
    std::iota(m_header.begin(), m_header.end(), 0);
    return;
  }
  for (int index : m_defaultVisible) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_columns.size() &&
        std::find(m_header.begin(), m_header.end(), index) == m_header.end())
      m_header.push_back(index);
  }
}

std::string CCommonListCtrl::ProfileText() const {
  std::string text;
  for (std::size_t i = 0; i < m_columns.size(); ++i) {
    const int position = Position(static_cast<int>(i));
    if (!text.empty()) text += ',';
    // A hidden column repeats its position as its width.
    text += Format("%zu,%d,%d", i, position, position < 0 ? position : m_widths[i]);
  }
  return text;
}

bool CCommonListCtrl::SaveProfile() {
  const std::filesystem::path file = m_ports.settings.PerUserPath(kZintSettingsFile);
  std::FILE* probe = nullptr;
  if (!file.empty() && m_ports.settings.EnsureUserFolder()) probe = std::fopen(file.c_str(), "a");
  if (probe == nullptr) {
    Message("File Open Failed");
    return false;
  }
  std::fclose(probe);
  if (m_ports.settings.Write(m_title, kProfileKey, ProfileText(), kZintSettingsFile,
                             SettingsLocation::kUserFolder) == 0) {
    Message("Error while saving column profile");
    return false;
  }
  return true;
}

bool CCommonListCtrl::ApplyColumnLayout(const std::vector<int>& order,
                                        const std::vector<bool>& visible) {
  if (order.size() != visible.size()) return false;
  std::vector<int> header;
  std::vector<bool> seen(m_columns.size(), false);
  for (std::size_t i = 0; i < order.size(); ++i) {
    const int d = order[i];
    if (d < 0 || static_cast<std::size_t>(d) >= m_columns.size() || seen[static_cast<size_t>(d)])
      return false;
    seen[static_cast<std::size_t>(d)] = true;
    const char* name = m_columns[static_cast<std::size_t>(d)].name;
    if (!visible[i] && IsFixedColumn(name)) {
      Message(Format("Can not hide %s", name));
      return false;
    }
    if (visible[i]) header.push_back(d);
  }
  // Fixed columns the chooser did not mention stay where they are.
  for (int d : m_header) {
    if (!seen[static_cast<std::size_t>(d)] &&
        IsFixedColumn(m_columns[static_cast<std::size_t>(d)].Name()))
      header.push_back(d);
  }
  m_header = std::move(header);
  if (Position(m_sortDescriptor) < 0) m_sortDescriptor = -1;
  OnColumnsChanged();
  Notify(CListObserver::Change::kColumns);
  return true;
}

void CCommonListCtrl::OpenChooser() {
  m_chooser = std::make_unique<CReposition>(*this);
  Notify(CListObserver::Change::kChooser);
}

void CCommonListCtrl::CloseChooser() {
  if (!m_chooser) return;
  m_chooser.reset();
  Notify(CListObserver::Change::kChooser);
}

// ---------------------------------------------------------------- rows

int CCommonListCtrl::InsertItem(int pos, ItemData data) {
  CRowStore::Shift shift;
  const std::size_t at = pos < 0 ? m_rows.Size() : std::min<std::size_t>(pos, m_rows.Size());
  m_rows.Insert(at, data, &shift);
  ClearSelection();
  Notify(CListObserver::Change::kRowInserted, static_cast<int>(at));
  return static_cast<int>(at);
}

bool CCommonListCtrl::DeleteItem(int row) {
  if (row < 0 || row >= ItemCount()) return false;
  CRowStore::Shift shift;
  m_rows.Erase(static_cast<std::size_t>(row), &shift);
  ClearSelection();
  Notify(CListObserver::Change::kRowRemoved, row);
  return true;
}

void CCommonListCtrl::DeleteAllItems() {
  m_rows.Clear();
  ClearSelection();
  Notify(CListObserver::Change::kRows);
}

int CCommonListCtrl::ItemCount() const {
  return static_cast<int>(m_rows.Size());
}

ItemData CCommonListCtrl::GetItemData(int row) const {
  return row >= 0 && row < ItemCount() ? m_rows.At(static_cast<std::size_t>(row)) : 0;
}

bool CCommonListCtrl::SetItemData(int row, ItemData data) {
  if (row < 0 || row >= ItemCount()) return false;
  m_rows.Set(static_cast<std::size_t>(row), data);
  return true;
}

bool CCommonListCtrl::CellOf(ItemData data, int descriptor, sCellInfo& cell) const {
  cell.text.clear();
  cell.textColor = m_textColor;
  cell.backColor = m_textBackColor;
  cell.icon = -1;
  if (!m_callback) return false;
  if (m_callback(m_owner, data, descriptor, cell)) return true;
  cell.text.clear();
  return false;
}

bool CCommonListCtrl::GetCell(int row, int headerPos, sCellInfo& cell) const {
  const int descriptor = HeaderDescriptor(headerPos);
  if (descriptor < 0 || row < 0 || row >= ItemCount()) {
    cell.text.clear();
    return false;
  }
  return CellOf(GetItemData(row), descriptor, cell);
}

std::string CCommonListCtrl::CellText(int row, int headerPos) const {
  sCellInfo cell;
  GetCell(row, headerPos, cell);
  return std::move(cell.text);
}

// ---------------------------------------------------------------- selection

void CCommonListCtrl::SetSelection(std::vector<int> rows) {
  const int count = ItemCount();
  std::erase_if(rows, [count](int r) { return r < 0 || r >= count; });
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  m_selection = std::move(rows);
}

void CCommonListCtrl::SelectAll() {
  m_selection.resize(static_cast<std::size_t>(ItemCount()));
  std::iota(m_selection.begin(), m_selection.end(), 0);
  Notify(CListObserver::Change::kSelection);
}

void CCommonListCtrl::ClearSelection() {
  m_selection.clear();
}

bool CCommonListCtrl::CopySelection() {
  if (m_ports.clipboard == nullptr || m_selection.empty()) return false;
  std::string text;
  sCellInfo cell;
  for (int row : m_selection) {
    for (int pos = 0; pos < HeaderCount(); ++pos) {
      GetCell(row, pos, cell);
      text += cell.text;
      text += '\t';
    }
    text += '\n';
  }
  m_ports.clipboard->SetText(text);
  return true;
}

// ---------------------------------------------------------------- commands

std::vector<sMenuItem> CCommonListCtrl::HeaderMenu() const {
  std::vector<sMenuItem> menu;
  if (m_profileEnabled) menu.push_back({kCmdRepositionColumns, kTextReposition});
  menu.push_back({kCmdFitToData, kTextFitToData});
  menu.push_back({kCmdFitToHeader, kTextFitToHeader});
  menu.push_back({kCmdFitToWindow, kTextFitToWindow});
  return menu;
}

std::vector<sMenuItem> CCommonListCtrl::OwnMenu() const {
  return {{kCmdWriteToExcel, kTextWriteToExcel}, {kCmdGridLines, kTextGridLines, m_gridLines}};
}

bool CCommonListCtrl::OnCommand(int id) {
  switch (id) {
    case kCmdRepositionColumns:
      OpenChooser();
      return true;
    case kCmdNotAvailable1225:
      Message("currently this is not available");
      return true;
    case kCmdNotAvailable1230:
      Message("not available");
      return true;
    case kCmdFitToData:
    case kCmdFitToHeader:
    case kCmdFitToWindow:
      FitColumns(id);
      return true;
    case kCmdWriteToExcel:
      WriteToExcel();
      return true;
    case kCmdGridLines:
      ToggleGridLines();
      return true;
    default:
      return false;
  }
}

bool CCommonListCtrl::OnKey(int key, sKeyState state) {
  if (state.ctrl) {
    if (key == 'A') {
      SelectAll();
      return true;
    }
    if (key == 'C') return CopySelection();
    return false;
  }
  if (state.shift && key == 'E') return OnCommand(kCmdWriteToExcel);
  if (state.shift && key == 'G') return OnCommand(kCmdGridLines);
  if (key == kKeyContextMenu) {
    TellOwner(ListNotice::kRightClick, -1);
    return true;
  }
  return false;
}

bool CCommonListCtrl::OnRightClick() {
  if (m_ownMenu) return true;
  TellOwner(ListNotice::kRightClick, -1);
  return false;
}

void CCommonListCtrl::OnHeaderClick(int headerPos) {
  const int descriptor = HeaderDescriptor(headerPos);
  if (descriptor < 0) return;
  // A new column starts descending; the same column flips.
  m_sortAscending = descriptor == m_sortDescriptor ? !m_sortAscending : false;
  m_sortDescriptor = descriptor;
  SortRows(descriptor, m_sortAscending);
  ClearSelection();
  Notify(CListObserver::Change::kSort);
  Notify(CListObserver::Change::kRows);
}

int CCommonListCtrl::SortColumn() const {
  return m_sortDescriptor < 0 ? -1 : Position(m_sortDescriptor);
}

void CCommonListCtrl::SortRows(int descriptor, bool ascending) {
  CSortKeys keys(m_columns[static_cast<std::size_t>(descriptor)].sortKind);
  keys.Reserve(m_rows.Size());
  sCellInfo cell;
  for (std::size_t i = 0; i < m_rows.Size(); ++i) {
    CellOf(m_rows.At(i), descriptor, cell);
    keys.Add(cell.text);
  }
  m_rows.Permute(keys.Order(ascending));
}

// ---------------------------------------------------------------- fitting

void CCommonListCtrl::FitColumns(int mode) {
  const int columns = HeaderCount();
  if (columns == 0) return;
  auto measure = [this](std::string_view text) {
    return m_measure ? m_measure(text) : static_cast<int>(text.size()) * 7 + 12;
  };
  const int share = m_clientWidth / columns;
  sCellInfo cell;
  for (int pos = 0; pos < columns; ++pos) {
    const int descriptor = m_header[static_cast<std::size_t>(pos)];
    int width = kMinFitWidth;
    if (mode == kCmdFitToWindow) {
      width = share > 0 ? share : kMinFitWidth;
    } else {
      int content = 0;
      if (mode != kCmdFitToHeader) {
        for (int row = 0; row < ItemCount(); ++row) {
          GetCell(row, pos, cell);
          content = std::max(content, measure(cell.text));
        }
      }
      const int header =
          mode == kCmdFitToData ? 0 : measure(m_columns[static_cast<size_t>(descriptor)].Name());
      const int wanted = mode == kCmdFitToData     ? content
                         : mode == kCmdFitToHeader ? header
                                                   : std::max(content, header);
      width = wanted > kMinFitWidth ? wanted : kMinFitWidth;
    }
    m_widths[static_cast<std::size_t>(descriptor)] = width;
  }
  Notify(CListObserver::Change::kColumns);
}

// ---------------------------------------------------------------- look

void CCommonListCtrl::ToggleGridLines() {
  m_gridLines = !m_gridLines;
  Notify(CListObserver::Change::kLook);
}

std::string CCommonListCtrl::CustomizeKey() const {
  return m_title + Format("%d", m_controlId);
}

void CCommonListCtrl::SetColors(ColorRef text, ColorRef back) {
  m_textColor = text;
  m_backColor = back;
  m_textBackColor = back;
  Notify(CListObserver::Change::kLook);
}

bool CCommonListCtrl::ApplyCustomizedColors() {
  std::string value;
  if (m_ports.settings.Read(kCustomizeSection, CustomizeKey(), value, kZintSettingsFile,
                            SettingsLocation::kUserFolder) == 0 ||
      value.empty() || value == "String not found")
    return false;
  const std::vector<std::string> parts = Tokenize(value, ",");
  ColorRef back = 0, text = 0;
  if (parts.size() < 2 || !StrictHexColor(parts[0], &back) || !StrictHexColor(parts[1], &text)) {
    Log(Format("List colours of %s ignored: \"%s\" is not two hexadecimal colours", m_title.c_str(),
               value.c_str()));
    return false;
  }
  m_backColor = back;
  m_textBackColor = back;
  m_textColor = text;
  Notify(CListObserver::Change::kLook);
  return true;
}

// ---------------------------------------------------------------- services

bool CCommonListCtrl::WriteToExcel() {
  if (ItemCount() == 0) {
    Message("No Items in the List");
    return false;
  }
  CZintExcelInterface excel(ItemCount() + 1, HeaderCount());
  excel.cellProvider = &ExcelCell;
  excel.context = this;
  excel.title = m_title;
  excel.folder = m_ports.documentsFolder;
  excel.log = m_ports.log;
  const bool written = excel.WriteToExcel() != 0;
  // Users look for the file: say where it went.
  Message(written ? "File is generated\n" + excel.FilePath().string() : "File generation Failed");
  return written;
}

// ---------------------------------------------------------------- chooser

CReposition::CReposition(CCommonListCtrl& list) : m_list(list) {
  const auto& columns = list.Columns();
  for (int pos = 0; pos < list.HeaderCount(); ++pos) {
    const int d = list.HeaderDescriptor(pos);
    m_entries.push_back({d, std::string(columns[static_cast<std::size_t>(d)].Name()), true});
  }
  for (std::size_t d = 0; d < columns.size(); ++d) {
    if (list.Position(static_cast<int>(d)) < 0)
      m_entries.push_back({static_cast<int>(d), std::string(columns[d].Name()), false});
  }
}

bool CReposition::Move(int from, int to) {
  const int n = static_cast<int>(m_entries.size());
  if (from < 0 || from >= n || to < 0 || to >= n) return false;
  sEntry entry = std::move(m_entries[static_cast<std::size_t>(from)]);
  m_entries.erase(m_entries.begin() + from);
  m_entries.insert(m_entries.begin() + to, std::move(entry));
  return true;
}

bool CReposition::SetVisible(int entry, bool visible) {
  if (entry < 0 || entry >= static_cast<int>(m_entries.size())) return false;
  sEntry& e = m_entries[static_cast<std::size_t>(entry)];
  if (!visible && m_list.IsFixedColumn(e.name)) {
    m_list.Message(Format("Can not hide %s", e.name.c_str()));
    return false;
  }
  e.visible = visible;
  return true;
}

bool CReposition::OnOK() {
  std::vector<int> order;
  std::vector<bool> visible;
  for (const sEntry& e : m_entries) {
    order.push_back(e.descriptor);
    visible.push_back(e.visible);
  }
  return m_list.ApplyColumnLayout(order, visible) && m_list.SaveProfile();
}

}  // namespace kovo
