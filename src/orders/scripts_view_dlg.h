#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "platform/view.h"
#include "ui/filter_list_ctrl.h"

namespace kovo {

struct sApiScript;
class CControlBlock;
class COrderManager;

// Commands and buttons of the scripts pane.
inline constexpr int kCmdOpenReport = 26032;
inline constexpr int kCmdOpenPrompt = 26033;
inline constexpr int kCmdMaximizedMode = 33082;
inline constexpr int kCmdCopyToClipboard = 26034;
inline constexpr int kCmdScriptsWriteToExcel = 7;
inline constexpr int kIdResumeButton = 26035;
inline constexpr int kIdStopButton = 26036;

// The scripts pane: one row per API script, newest first, from which the
// user stops and resumes scripts and opens their orders windows. Lives on
// the UI thread.
class CScriptsViewDlg {
 public:
  static constexpr const char* kProfileName = "ZINT Scripts List";
  static constexpr const char* kPaneId = "ZintScriptsView";
  static constexpr const char* kCaption = "Zint API Scripts";
  static constexpr int kButtonStrip = 45;

  CScriptsViewDlg(CControlBlock& cb, COrderManager& manager);
  ~CScriptsViewDlg();
  CScriptsViewDlg(const CScriptsViewDlg&) = delete;
  CScriptsViewDlg& operator=(const CScriptsViewDlg&) = delete;

  void AddRow(sApiScript* script);
  // The list never keeps a deleted script.
  bool RemoveRow(const sApiScript* script);
  const std::deque<sApiScript*>& Rows() const { return m_rows; }
  // Asks the view to draw a row again.
  void RedrawRow(size_t index);
  CFilterListCtrl& List() { return m_list; }
  const CFilterListCtrl& List() const { return m_list; }
  // The cell of a column (by descriptor) of a script; reads the order count
  // under the order manager's lock.
  bool Cell(const sApiScript& script, int column, sCellInfo& cell) const;

  // ---- user input
  std::vector<sMenuItem> ContextMenu() const;
  // Menu commands and buttons; false for an id the pane does not know.
  bool OnCommand(int id);
  // A double click, with or without Ctrl, opens the selected script's orders.
  void OnDoubleClick(bool ctrl);
  void OnResume();
  void OnStop();
  // Shows the selected script's orders window with its order numbers filled.
  void OpenReport();

  // ---- layout
  bool IsMaximizedMode() const { return m_maximized; }
  void SetMaximizedMode(bool on);
  bool ButtonsVisible() const { return !m_maximized; }
  bool ButtonsEnabled() const { return !m_maximized; }
  // Where the list sits in a pane of this size.
  sRect ListRect(int paneWidth, int paneHeight) const;

  // ---- the pane
  // Makes the view and docks it in the host's frame; false when it cannot.
  bool CreatePane();
  void ShowPane(bool show);
  void SetView(std::unique_ptr<View> view) { m_view = std::move(view); }
  View* GetView() const { return m_view.get(); }

 private:
  std::vector<sApiScript*> SelectedScripts() const;
  void SetSelectedActive(bool active);
  void Redraw();

  CControlBlock& m_cb;
  COrderManager& m_manager;
  std::deque<sApiScript*> m_rows;
  CFilterListCtrl m_list;
  std::unique_ptr<View> m_view;
  bool m_docked = false;
  bool m_maximized = true;
};

}  // namespace kovo
