#include "orders/scripts_view_dlg.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "base/format.h"
#include "orders/order_manager.h"
#include "orders/order_records.h"
#include "plugin/control_block.h"
#include "plugin/list_ports.h"

namespace kovo {

namespace {

enum Column { kColScriptName = 1, kColCreationTime = 2, kColStatus = 5, kColFiredSignals = 8 };

std::vector<sKovoColInfo> ScriptColumns() {
  return {
      {"Trading Symbol", 100, kFormatLeft, kSortTextNoCase},
      {"Script Name", 60, kFormatLeft, kSortTextNoCase},
      {"Creation Time", 60, kFormatLeft, kSortDateTime},
      {"Start Time", 60, kFormatLeft, kSortDateTime},
      {"End Time", 60, kFormatLeft, kSortDateTime},
      {"Status", 50, kFormatLeft, kSortTextNoCase},
      {"Open Trade", 100, kFormatLeft, kSortTextNoCase},
      {"Strategy Code", 50, kFormatLeft, kSortTextNoCase},
      {"Fired Signals", 50, kFormatRight, kSortInt64},
      {"Product", 50, kFormatLeft, kSortTextNoCase},
      {"Client", 50, kFormatLeft, kSortTextNoCase},
      {"Pro Order", 50, kFormatLeft, kSortTextNoCase},
      {"Order Type", 50, kFormatLeft, kSortTextNoCase},
      {"Quantity", 50, kFormatRight, kSortInt64},
      {"Price", 50, kFormatLeft, kSortDouble},
      {"Pick Price from", 50, kFormatLeft, kSortTextNoCase},
      {"Price Offset", 50, kFormatLeft, kSortDouble},
      {"Trigger Price(Offset)", 50, kFormatLeft, kSortDouble},
      {"Begin With", 50, kFormatLeft, kSortTextNoCase},
      {"Live Interval", 50, kFormatLeft, kSortInt},
      {"Evaluate as Tick", 50, kFormatLeft, kSortTextNoCase},
      {"StopLoss Trigger %", 50, kFormatLeft, kSortDouble},
      {"BO Sqroff Ticks", 50, kFormatLeft, kSortInt64},
      {"BO SL Ticks", 50, kFormatLeft, kSortInt64},
      {"BO SL Trailing Ticks", 50, kFormatLeft, kSortInt64},
  };
}

}  // namespace

CScriptsViewDlg::CScriptsViewDlg(CControlBlock& cb, COrderManager& manager)
    : m_cb(cb), m_manager(manager), m_list(ListPortsOf(cb), kProfileName) {
  m_list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
    const auto* script = reinterpret_cast<const sApiScript*>(data);
    return script && Cell(*script, column, cell);
  });
  m_list.SetOwner(this);
  m_list.SetColumns(ScriptColumns());
}

CScriptsViewDlg::~CScriptsViewDlg() {
  if (m_docked) m_cb.Frame().RemovePane(kPaneId);
}

bool CScriptsViewDlg::Cell(const sApiScript& script, int column, sCellInfo& cell) const {
  cell.text.clear();
  switch (column) {
    case kColScriptName: {
      std::shared_lock lock(m_manager.Mutex());
      cell.text = script.name;
      break;
    }
    case kColCreationTime: {
      std::shared_lock lock(m_manager.Mutex());
      cell.text = script.creationTime;
      break;
    }
    case kColStatus:
      cell.text = script.active ? "ACTIVE" : "Stopped";
      break;
    case kColFiredSignals: {
      size_t count = 0;
      {
        std::shared_lock lock(m_manager.Mutex());
        count = script.orders.size();
      }
      cell.text = Format("%ld", static_cast<long>(count));
      break;
    }
    default:
      if (column < 0 || column >= static_cast<int>(m_list.Columns().size())) return false;
      break;
  }
  return true;
}

void CScriptsViewDlg::AddRow(sApiScript* script) {
  if (!script) return;
  m_rows.push_front(script);
  m_list.InsertItem(0, reinterpret_cast<ItemData>(script));
}

bool CScriptsViewDlg::RemoveRow(const sApiScript* script) {
  const auto it = std::find(m_rows.begin(), m_rows.end(), script);
  if (it == m_rows.end()) return false;
  m_rows.erase(it);
  // A filtered-out row has no visible index, so the list is filled again.
  m_list.DeleteAllItems();
  for (auto row = m_rows.rbegin(); row != m_rows.rend(); ++row) {
    m_list.InsertItem(0, reinterpret_cast<ItemData>(*row));
  }
  Redraw();
  return true;
}

void CScriptsViewDlg::RedrawRow(size_t index) {
  (void)index;
  Redraw();
}

void CScriptsViewDlg::Redraw() {
  if (m_view) m_view->Refresh();
}

std::vector<sMenuItem> CScriptsViewDlg::ContextMenu() const {
  return {
      {kCmdOpenReport, "Open Report \t Double Click"},
      {kCmdOpenPrompt, "Open Prompt \t Ctrl + Double Click"},
      {kCmdMaximizedMode, "Maximized Mode", m_maximized},
      {0, ""},
      {kCmdGridLines, "Grid Lines\tShift+G"},
      {kCmdCopyToClipboard, "Copy to Clip Board\tCtrl+C"},
      {kCmdScriptsWriteToExcel, "Write To Excel\tShift+E"},
  };
}

bool CScriptsViewDlg::OnCommand(int id) {
  switch (id) {
    case kCmdOpenReport:
    case kCmdOpenPrompt:
      OpenReport();
      return true;
    case kCmdMaximizedMode:
      SetMaximizedMode(!m_maximized);
      return true;
    case kCmdGridLines:
      m_list.ToggleGridLines();
      return true;
    case kCmdCopyToClipboard:
      m_list.CopySelection();
      return true;
    case kCmdScriptsWriteToExcel:
      m_list.WriteToExcel();
      return true;
    case kIdResumeButton:
      OnResume();
      return true;
    case kIdStopButton:
      OnStop();
      return true;
    default:
      return m_list.OnCommand(id);
  }
}

void CScriptsViewDlg::OnDoubleClick(bool ctrl) {
  OnCommand(ctrl ? kCmdOpenPrompt : kCmdOpenReport);
}

std::vector<sApiScript*> CScriptsViewDlg::SelectedScripts() const {
  std::vector<sApiScript*> scripts;
  for (int row : m_list.Selection()) {
    if (auto* script = reinterpret_cast<sApiScript*>(m_list.GetItemData(row))) {
      scripts.push_back(script);
    }
  }
  return scripts;
}

void CScriptsViewDlg::SetSelectedActive(bool active) {
  bool changed = false;
  for (sApiScript* script : SelectedScripts()) {
    // The order API reads the flag on the callers' threads.
    if (script->active.exchange(active) != active) changed = true;
  }
  if (changed) Redraw();
}

void CScriptsViewDlg::OnResume() {
  SetSelectedActive(true);
}

void CScriptsViewDlg::OnStop() {
  SetSelectedActive(false);
}

void CScriptsViewDlg::OpenReport() {
  const std::vector<sApiScript*> selected = SelectedScripts();
  if (selected.empty()) return;
  sApiScript& script = *selected.front();
  {
    std::lock_guard lock(m_manager.Mutex());
    for (sApiOrderInfo* order : script.orders) {
      const std::vector<std::string>* numbers =
          m_manager.OrderNumbersLocked(script.name, order->tag);
      if (numbers && !numbers->empty()) order->orderNumber = numbers->front();
    }
  }
  if (View* view = script.ordersWindow.GetView()) view->Refresh();
  script.ordersWindow.Show();
}

void CScriptsViewDlg::SetMaximizedMode(bool on) {
  if (m_maximized == on) return;
  m_maximized = on;
  Redraw();
}

sRect CScriptsViewDlg::ListRect(int paneWidth, int paneHeight) const {
  if (m_maximized) return {3, 2, 3 + paneWidth - 5, 2 + paneHeight - 4};
  return {3, kButtonStrip, 3 + paneWidth - 5, kButtonStrip + paneHeight - 50};
}

bool CScriptsViewDlg::CreatePane() {
  if (m_docked) return true;
  if (!m_view) m_view = m_cb.Views().CreateScriptsView(*this);
  if (!m_view) return false;
  m_docked = m_cb.Frame().AddPane(kPaneId, kCaption, *m_view);
  return m_docked;
}

void CScriptsViewDlg::ShowPane(bool show) {
  if (!CreatePane()) return;
  m_cb.Frame().ShowPane(kPaneId, show);
  m_view->Show(show);
}

}  // namespace kovo
