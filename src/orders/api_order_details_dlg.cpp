#include "orders/api_order_details_dlg.h"

#include <algorithm>

#include "base/format.h"
#include "orders/order_manager.h"
#include "orders/order_records.h"
#include "plugin/control_block.h"
#include "plugin/list_ports.h"

namespace kovo {

namespace {

constexpr size_t kHostErrorCap = 512;

enum Column {
  kColTime,
  kColOrderNumber,
  kColTradingSymbol,
  kColAction,
  kColTransactionType,
  kColQuantity,
  kColPrice,
  kColReference,
  kColValidity,
  kColOrderType,
  kColClient,
  kColDiscQty,
  kColTrigger,
  kColProduct,
};

std::vector<sKovoColInfo> OrderColumns() {
  return {
      {"Time", 80, kFormatLeft, kSortDateTime},
      {"Kovo Order Number", 80, kFormatLeft, kSortTextNoCase},
      {"Trading Symbol", 140, kFormatLeft, kSortTextNoCase},
      {"Action", 80, kFormatLeft, kSortTextNoCase},
      {"Transaction Type", 80, kFormatLeft, kSortTextNoCase},
      {"Quantity", 80, kFormatRight, kSortInt64},
      {"Price", 80, kFormatRight, kSortDouble},
      {"Reference Number", 150, kFormatLeft, kSortTextNoCase},
      {"Validity", 150, kFormatLeft, kSortTextNoCase},
      {"Order Type", 150, kFormatLeft, kSortTextNoCase},
      {"Clinet Id", 150, kFormatLeft, kSortTextNoCase},
      {"Disc Qty", 150, kFormatRight, kSortInt64},
      {"Trigger Price", 150, kFormatRight, kSortDouble},
      {"Product Type", 150, kFormatLeft, kSortTextNoCase},
  };
}

const char* ActionText(int32_t action) {
  switch (action) {
    case kActionNewOrder:
      return "New Order";
    case kActionModify:
      return "Modify";
    case kActionCancel:
      return "Cancel";
    default:
      return "";
  }
}

const char* ValidityText(int32_t code) {
  if (code == kValidityDay) return "DAY";
  if (code == kValidityIoc) return "IOC";
  return "";
}

const char* OrderTypeText(int32_t code) {
  switch (code) {
    case 1:
      return "LIMIT";
    case 2:
      return "MARKET";
    case 3:
      return "SL";
    case 7:
      return "SL-M";
    default:
      return "";
  }
}

bool IsHeldNewOrder(const sApiOrderInfo& record) {
  return record.action == kActionNewOrder && record.awaitingConfirmation;
}

}  // namespace

CApiOrderDetailsDlg::CApiOrderDetailsDlg() = default;
CApiOrderDetailsDlg::~CApiOrderDetailsDlg() = default;

bool CApiOrderDetailsDlg::Create(CControlBlock& cb, COrderManager& manager) {
  if (m_cb) return false;
  m_cb = &cb;
  m_manager = &manager;
  m_list = std::make_unique<CFilterListCtrl>(ListPortsOf(cb), kProfileName, kIdOrdersList);
  m_list->SetTextCallback([](void*, ItemData data, int column, sCellInfo& cell) {
    const auto* record = reinterpret_cast<const sApiOrderInfo*>(data);
    return record && Cell(*record, column, cell);
  });
  m_list->SetOwner(this);
  m_list->SetColumns(OrderColumns());
  m_list->EnableFilterHeader(true);
  // Rows that arrived before the window existed, oldest first so the newest ends on top.
  for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it) {
    m_list->InsertItem(0, reinterpret_cast<ItemData>(*it));
  }
  if (!m_view) m_view = cb.Views().CreateApiOrdersWindow(*this);
  if (m_view) m_view->SetTitle(m_title);
  return true;
}

void CApiOrderDetailsDlg::SetTitle(std::string title) {
  m_title = std::move(title);
  if (m_view) m_view->SetTitle(m_title);
}

bool CApiOrderDetailsDlg::Cell(const sApiOrderInfo& record, int column, sCellInfo& cell) {
  const sOrderEntryInfo* entry = record.entry.get();
  cell.backColor = kBackColor;
  cell.textColor = kPlainColor;
  cell.text.clear();
  switch (column) {
    case kColTime:
      cell.text = record.time;
      if (entry) {
        const int32_t side = record.transactionType % 10;
        if (side == KOVO_TXN_BUY) cell.textColor = kBuyColor;
        if (side == KOVO_TXN_SELL) cell.textColor = kSellColor;
      }
      break;
    case kColOrderNumber:
      cell.text = record.awaitingConfirmation ? kHeldText : record.orderNumber;
      break;
    case kColTradingSymbol:
      if (entry) cell.text = record.tradingSymbol;
      break;
    case kColAction:
      cell.text = ActionText(record.action);
      break;
    case kColTransactionType:
      if (record.transactionType == KOVO_TXN_BUY) cell.text = "BUY";
      if (record.transactionType == KOVO_TXN_SELL) cell.text = "SELL";
      break;
    case kColQuantity:
      if (entry) cell.text = Format("%ld", static_cast<long>(entry->quantity));
      break;
    case kColPrice:
      cell.text = record.price;
      break;
    case kColReference:
      cell.text = record.referenceNumber;
      break;
    case kColValidity:
      if (entry) cell.text = ValidityText(entry->validity);
      break;
    case kColOrderType:
      if (entry) cell.text = OrderTypeText(entry->orderType);
      break;
    case kColClient:
      if (entry) cell.text = FieldText(entry->clientAccount, sizeof entry->clientAccount);
      break;
    case kColDiscQty:
      if (entry) cell.text = Format("%ld", static_cast<long>(entry->disclosedQuantity));
      break;
    case kColTrigger:
      cell.text = record.triggerPrice;
      break;
    case kColProduct:
      if (entry) cell.text = FieldText(entry->productType, sizeof entry->productType);
      break;
    default:
      return false;
  }
  return true;
}

void CApiOrderDetailsDlg::InsertRow(sApiOrderInfo* record) {
  if (!record) return;
  m_rows.push_front(record);
  if (m_list) m_list->InsertItem(0, reinterpret_cast<ItemData>(record));
}

void CApiOrderDetailsDlg::ShowWithoutActivating() {
  m_visible = true;
  if (m_view) m_view->Show(true);
}

void CApiOrderDetailsDlg::Show() {
  m_visible = true;
  m_active = true;
  if (m_view) {
    m_view->Show(true);
    m_view->BringToFront();
  }
}

void CApiOrderDetailsDlg::Hide() {
  m_visible = false;
  m_active = false;
  if (m_view) m_view->Show(false);
}

void CApiOrderDetailsDlg::EnablePlaceAndIgnore(bool enable) {
  m_placeEnabled = enable;
  m_ignoreEnabled = enable;
  if (m_view) m_view->Refresh();
}

void CApiOrderDetailsDlg::Redraw() {
  if (m_view) m_view->Refresh();
}

std::vector<sApiOrderInfo*> CApiOrderDetailsDlg::SelectedRecords() const {
  std::vector<sApiOrderInfo*> records;
  if (!m_list) return records;
  for (int row : m_list->Selection()) {
    if (auto* record = reinterpret_cast<sApiOrderInfo*>(m_list->GetItemData(row))) {
      records.push_back(record);
    }
  }
  return records;
}

void CApiOrderDetailsDlg::PlaceByHand(sApiOrderInfo& record) {
  if (!m_cb || !record.entry) return;
  const auto invoke = m_cb->Host().invokeOrderEntry2;
  if (!invoke) return;
  const std::string tag = TagText(record.tag);
  char error[kHostErrorCap] = {};
  if (!invoke(record.entry.get(), tag.c_str(), record.transactionType, error, sizeof error)) {
    m_cb->Report(FieldText(error, sizeof error), kReportError);
  }
}

void CApiOrderDetailsDlg::OnDoubleClick() {
  for (sApiOrderInfo* record : SelectedRecords()) {
    if (!record->awaitingConfirmation) {
      if (m_cb) m_cb->MessageBox("ConfirmToPlace is false");
    } else if (record->action == kActionNewOrder) {
      PlaceByHand(*record);
      record->awaitingConfirmation = false;
      Redraw();
    }
  }
}

std::vector<sMenuItem> CApiOrderDetailsDlg::ContextMenu() const {
  std::vector<sMenuItem> menu;
  const std::vector<sApiOrderInfo*> selected = SelectedRecords();
  if (selected.size() == 1 && IsHeldNewOrder(*selected.front())) {
    menu.push_back({kCmdPlaceHeldOrder, "Place\t\tDouble Click"});
  }
  menu.push_back({kCmdRefreshOrders, "Refresh"});
  return menu;
}

bool CApiOrderDetailsDlg::OnCommand(int id) {
  switch (id) {
    case kCmdPlaceHeldOrder:
      for (sApiOrderInfo* record : SelectedRecords()) {
        if (!IsHeldNewOrder(*record)) continue;
        PlaceByHand(*record);
        record->awaitingConfirmation = false;
        if (!m_rows.empty() && m_rows.front() == record) EnablePlaceAndIgnore(false);
        Redraw();
      }
      return true;
    case kCmdRefreshOrders:
    case kIdRefreshButton:
      Refresh();
      return true;
    case kIdPlaceButton:
      OnPlace();
      return true;
    case kIdIgnoreButton:
      OnIgnore();
      return true;
    default:
      return m_list && m_list->OnCommand(id);
  }
}

void CApiOrderDetailsDlg::OnPlace() {
  // Only the newest row: the buttons answer the order that just arrived.
  if (!m_rows.empty() && IsHeldNewOrder(*m_rows.front())) {
    PlaceByHand(*m_rows.front());
    m_rows.front()->awaitingConfirmation = false;
    Redraw();
  }
  EnablePlaceAndIgnore(false);
}

void CApiOrderDetailsDlg::OnIgnore() {
  if (!m_rows.empty() && IsHeldNewOrder(*m_rows.front())) {
    m_rows.front()->orderNumber = kIgnoredText;
    m_rows.front()->awaitingConfirmation = false;
    Redraw();
  }
  EnablePlaceAndIgnore(false);
}

void CApiOrderDetailsDlg::Refresh() {
  if (m_manager) {
    std::lock_guard lock(m_manager->Mutex());
    for (sApiOrderInfo* record : m_rows) {
      if (record->action != kActionNewOrder || !record->entry) continue;
      const std::vector<std::string>* numbers = m_manager->OrderNumbersLocked(
          FieldText(record->entry->strategy, sizeof record->entry->strategy), record->tag);
      if (numbers && !numbers->empty()) record->orderNumber = numbers->front();
    }
  }
  Redraw();
}

}  // namespace kovo
