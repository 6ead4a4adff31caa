#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "market/news_details.h"
#include "platform/view.h"
#include "ui/filter_list_ctrl.h"

namespace kovo {

class CControlBlock;

// Context menu of the broker calls list.
inline constexpr int kCmdBrokerAddToMarketWatch = 100;
inline constexpr int kCmdBrokerPlaceOrder = 101;
inline constexpr int kCmdBrokerWriteToExcel = 102;
inline constexpr int kCmdBrokerGridLines = 103;

// The broker calls pane: live research, technical and option calls, newest
// on top, from which a call's scrip goes to the market watch or the order
// entry. Lives on the UI thread.
class CBrokerCalls {
 public:
  static constexpr const char* kProfileName = "Broker Calls";
  static constexpr const char* kPaneId = "BrokerCalls";
  static constexpr const char* kCaption = "Technical, Research Calls";
  static constexpr int kBarId = 30015;

  explicit CBrokerCalls(CControlBlock& cb);
  ~CBrokerCalls();
  CBrokerCalls(const CBrokerCalls&) = delete;
  CBrokerCalls& operator=(const CBrokerCalls&) = delete;

  // Shows the call on top when it is one of the three call kinds. The
  // record stays the caller's (the global list of calls) and must outlive
  // the pane; the pane shows its read state as it changes.
  bool AddCall(sNewsDetails& call);
  // An empty pane takes the calls filed so far, newest on top.
  void FillIfEmpty(CallList& calls);
  const std::deque<sNewsDetails*>& Rows() const { return m_rows; }
  CFilterListCtrl& List() { return m_list; }
  const CFilterListCtrl& List() const { return m_list; }
  bool Cell(const sNewsDetails& call, int column, sCellInfo& cell) const;

  std::vector<sMenuItem> ContextMenu() const;
  bool OnCommand(int id);
  // Enter on a row: the shared story window on the first selected call,
  // stepping through the pane's calls.
  bool OnEnter();
  // The pane's calls, oldest first, as the story window steps.
  sStorySource StorySource();
  // Opens the shared story window; set by the owner of that window.
  std::function<bool(sStorySource source, size_t index)> onStory;

  bool CreatePane();
  void ShowPane(bool show);
  void SetView(std::unique_ptr<View> view) { m_view = std::move(view); }
  View* GetView() const { return m_view.get(); }

 private:
  const sNewsDetails* FirstSelected() const;
  void AddToMarketWatch();
  void PlaceOrder();

  CControlBlock& m_cb;
  std::deque<sNewsDetails*> m_rows;
  CFilterListCtrl m_list;
  std::unique_ptr<View> m_view;
  bool m_docked = false;
};

// The fourteen column descriptors both call lists use.
std::vector<sKovoColInfo> NewsColumns();

}  // namespace kovo
