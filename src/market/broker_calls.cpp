#include "market/broker_calls.h"

#include <cstring>

#include "plugin/control_block.h"
#include "plugin/list_ports.h"

namespace kovo {
namespace {

// The scrip a call names for the host: the "segment|token" key of its first
// scrip when the host knew it, else its first "exchange|symbol" pair.
std::string FirstScripKey(const sNewsDetails& call) {
  const std::string& list = call.isinList.empty() ? call.scripPairs : call.isinList;
  return list.substr(0, list.find(','));
}

template <size_t N>
void Put(char (&out)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

std::vector<sKovoColInfo> NewsColumns() {
  std::vector<sKovoColInfo> columns;
  for (int i = 0; i < kNewsColumnCount; ++i) {
    const auto column = static_cast<NewsColumn>(i);
    const bool price = column >= NewsColumn::kInitiationPrice && column <= NewsColumn::kPriceAtCall;
    int32_t format = kFormatLeft;
    if (price || column == NewsColumn::kReportType) format = kFormatRight;
    if (column == NewsColumn::kIndicator) format = kFormatImage;
    columns.emplace_back(kNewsColumnNames[i], 100, format, price ? kSortInt64 : kSortText);
  }
  return columns;
}

CBrokerCalls::CBrokerCalls(CControlBlock& cb) : m_cb(cb), m_list(ListPortsOf(cb), kProfileName) {
  m_list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
    const auto* call = reinterpret_cast<const sNewsDetails*>(data);
    return call && Cell(*call, column, cell);
  });
  m_list.SetOwner(this);
  m_list.SetColumns(NewsColumns());
}

CBrokerCalls::~CBrokerCalls() {
  if (m_docked) m_cb.Frame().RemovePane(kPaneId);
}

namespace {

bool IsBrokerCall(const sNewsDetails& call) {
  return call.reportType == "Technical Calls" || call.reportType == "Research Calls" ||
         call.reportType == "Option Calls";
}

}  // namespace

bool CBrokerCalls::AddCall(sNewsDetails& call) {
  if (!IsBrokerCall(call)) return false;
  m_rows.push_front(&call);
  m_list.InsertItem(0, reinterpret_cast<ItemData>(&call));
  if (m_view) m_view->Refresh();
  return true;
}

void CBrokerCalls::FillIfEmpty(CallList& calls) {
  if (!m_rows.empty()) return;
  for (sNewsDetails& call : calls) {
    if (!IsBrokerCall(call)) continue;
    m_rows.push_front(&call);
    m_list.InsertItem(0, reinterpret_cast<ItemData>(&call));
  }
  if (m_view) m_view->Refresh();
}

bool CBrokerCalls::Cell(const sNewsDetails& call, int column, sCellInfo& cell) const {
  if (column < 0 || column >= kNewsColumnCount) return false;
  const auto which = static_cast<NewsColumn>(column);
  cell.text = NewsCellText(call, which, true);
  if (which == NewsColumn::kIndicator) {
    const int icon = BrokerCallsIcon(call);
    cell.icon = icon ? icon : -1;
  }
  return true;
}

std::vector<sMenuItem> CBrokerCalls::ContextMenu() const {
  return {{kCmdBrokerAddToMarketWatch, "Add to Market Watch"},
          {kCmdBrokerPlaceOrder, "Place Order"},
          {kCmdBrokerWriteToExcel, "Write to Excel"},
          {kCmdBrokerGridLines, "Draw GridLines", m_list.GridLines()}};
}

bool CBrokerCalls::OnCommand(int id) {
  switch (id) {
    case kCmdBrokerAddToMarketWatch:
      AddToMarketWatch();
      return true;
    case kCmdBrokerPlaceOrder:
      PlaceOrder();
      return true;
    case kCmdBrokerWriteToExcel:
      m_list.WriteToExcel();
      return true;
    case kCmdBrokerGridLines:
      m_list.ToggleGridLines();
      if (m_view) m_view->Refresh();
      return true;
    default:
      return m_list.OnCommand(id);
  }
}

bool CBrokerCalls::OnEnter() {
  const sNewsDetails* call = FirstSelected();
  if (!call || !onStory) return false;
  const size_t n = m_rows.size();
  for (size_t row = 0; row < n; ++row)
    if (m_rows[row] == call) return onStory(StorySource(), n - 1 - row);
  return false;
}

sStorySource CBrokerCalls::StorySource() {
  // Rows are newest first; the story counts from the oldest.
  return {[this] { return m_rows.size(); },
          [this](size_t index) {
            return index < m_rows.size() ? m_rows[m_rows.size() - 1 - index] : nullptr;
          }};
}

const sNewsDetails* CBrokerCalls::FirstSelected() const {
  for (const int row : m_list.Selection()) {
    if (const auto* call = reinterpret_cast<const sNewsDetails*>(m_list.GetItemData(row)))
      return call;
  }
  return nullptr;
}

void CBrokerCalls::AddToMarketWatch() {
  const sNewsDetails* call = FirstSelected();
  if (!call) {
    m_cb.MessageBox("No Items Selected");
    return;
  }
  if (call->scripPairs.empty()) {
    m_cb.MessageBox("Scrip not present");
    return;
  }
  if (m_cb.Host().addScripToMarketWatch)
    m_cb.Host().addScripToMarketWatch(FirstScripKey(*call).c_str());
}

void CBrokerCalls::PlaceOrder() {
  const sNewsDetails* call = FirstSelected();
  if (!call) {
    m_cb.MessageBox("No Items Selected");
    return;
  }
  if (call->scripPairs.empty()) {
    m_cb.MessageBox("Scrip not Present");
    return;
  }
  if (!m_cb.Host().invokeOrderEntry) return;
  sOrderEntryInfo order{};
  Put(order.scripKey, FirstScripKey(*call));
  order.price = call->initiationPrice;
  char error[256] = {};
  m_cb.Host().invokeOrderEntry(&order, "Broker Calls", error, sizeof error);
}

bool CBrokerCalls::CreatePane() {
  if (m_docked) return true;
  if (!m_view) m_view = m_cb.Views().CreateBrokerCalls(*this);
  if (!m_view) return false;
  m_docked = m_cb.Frame().AddPane(kPaneId, kCaption, *m_view);
  return m_docked;
}

void CBrokerCalls::ShowPane(bool show) {
  if (!CreatePane()) return;
  m_cb.Frame().ShowPane(kPaneId, show);
  m_view->Show(show);
}

}  // namespace kovo
