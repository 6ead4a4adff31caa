#pragma once

#include <cstddef>
#include <deque>
#include <vector>

namespace kovo {

struct sApiScript;

// The scripts pane: one row per API script, newest first. Lives on the UI thread.
class CScriptsViewDlg {
 public:
  static constexpr const char* kProfileName = "ZINT Scripts List";

  void AddRow(sApiScript* script) { m_rows.push_front(script); }
  // The list never keeps a deleted script.
  bool RemoveRow(const sApiScript* script);
  const std::deque<sApiScript*>& Rows() const { return m_rows; }

  // Rows asked to redraw, in order, for the view to pick up.
  void RedrawRow(size_t index) { m_redrawn.push_back(index); }
  const std::vector<size_t>& RedrawnRows() const { return m_redrawn; }

  bool IsMaximizedMode() const { return m_maximized; }

 private:
  std::deque<sApiScript*> m_rows;
  std::vector<size_t> m_redrawn;
  bool m_maximized = true;
};

}  // namespace kovo
