#include "market/kovo_market_scanner.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "base/format.h"
#include "base/number.h"
#include "plugin/control_block.h"
#include "plugin/field_reader.h"
#include "plugin/list_ports.h"
#include "plugin/mnm_fields.h"

namespace kovo {
namespace {

constexpr int32_t MNM_MOVERS_EXCHANGE = 59051;
constexpr int32_t MNM_MOVERS_VALUE = 59101;
constexpr size_t kValueTextCap = 64;
constexpr size_t kDisplayNameCap = 16;
constexpr int kFitContentAndHeader = 0;  // any mode but the three menu commands
constexpr const char* kPendingText = "Previous Market Movers request is pending..";
constexpr const char* kNotLoggedIn = "Zint user not logged in ";
constexpr const char* kStartFailed = "wmp_start_msg failed while sending olrik picks request";
constexpr const char* kSendFailed = "sending market movers request is failed";
constexpr const char* kSent = "Market movers request sent";
constexpr const char* kCellFailed = "Failed to update Scanner list.....";

enum Column { kColRank = 0, kColSymbol = 1, kColExchange = 2, kColValue = 3 };

std::string ValueHeader(int32_t category) {
  switch (category) {
    case kVolumeLeaders:
      return "Trade Size";
    case kValueLeaders:
      return "Value (In Lakhs)";
    default:
      return Format("%% Change");
  }
}

std::vector<sKovoColInfo> Columns(int32_t category) {
  return {
      {"Rank", 40, kFormatRight, kSortInt},
      {"Symbol", 100, kFormatLeft, kSortText},
      {"Exchange", 100, kFormatLeft, kSortText},
      {category == kCategoryNone ? "Value" : ValueHeader(category), 100, kFormatRight, kSortDouble},
  };
}

}  // namespace

CMarketScannerLogic::CMarketScannerLogic(CControlBlock& cb, sScannerIds ids, std::string name)
    : m_cb(cb), m_ids(ids), m_name(std::move(name)), m_list(ListPortsOf(cb), kListTitle, ids.list) {
  m_notifier.onBroadcast = &CMarketScannerLogic::BroadcastThunk;
  m_notifier.onReply = &CMarketScannerLogic::ReplyThunk;
  m_notifier.self = this;
}

CMarketScannerLogic::~CMarketScannerLogic() {
  // The view reads the list while it closes: it goes first, and the list
  // calls it no more.
  m_list.SetNotify({});
  m_view.reset();
  StopTimer();
  ClearRows();
  if (m_control && m_cb.Host().destroyRxControl) m_cb.Host().destroyRxControl(m_control);
  m_control = nullptr;
}

void CMarketScannerLogic::ReplyThunk(void* self, void*, const wmp_msg* message, int32_t status) {
  try {
    auto* logic = static_cast<CMarketScannerLogic*>(self);
    if (logic->m_cb.stoppingCount.load() != 0) return;
    // A failed request brings no reply to read; the pending mark still ends.
    if (status != 0 || !message) {
      logic->m_pending = false;
      logic->Changed();
      return;
    }
    logic->OnReply(message);
  } catch (...) {
  }
}

void CMarketScannerLogic::Changed() {
  if (m_view) m_view->Refresh();
}

bool CMarketScannerLogic::InitDialog() {
  // The rows' layout never follows a saved column profile: the fourth
  // column changes its name with every category.
  m_list.SetProfileEnabled(false);
  m_list.SetColumns(Columns(kCategoryNone));
  m_list.SetOwner(this);
  m_list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
    const auto* item = reinterpret_cast<const sMoverItem*>(data);
    return item && Cell(*item, column, cell);
  });
  m_list.EnableFilterHeader(true);
  if (!m_control && m_cb.Host().getRxControl) {
    m_control = m_cb.Host().getRxControl(KOVO_RX_REQUESTS, &m_notifier);
  }
  if (!m_cb.Host().loadExchangeCombo) {
    m_cb.MessageBox(kNotCompatible);
    return false;
  }
  m_exchanges = {"NSE"};
  m_selectedExchange = 0;
  m_initialised = true;
  Changed();
  return true;
}

void CMarketScannerLogic::SelectExchange(int index) {
  if (index >= 0 && index < static_cast<int>(m_exchanges.size())) m_selectedExchange = index;
}

uint32_t CMarketScannerLogic::ButtonColor(int category) const {
  return category == m_category ? kSelectedColor : kNormalColor;
}

bool CMarketScannerLogic::ConvertExchange(std::string& code) const {
  code.clear();
  if (!m_cb.Host().convertExchange) return false;
  const std::string exchange =
      m_selectedExchange >= 0 && m_selectedExchange < static_cast<int>(m_exchanges.size())
          ? m_exchanges[static_cast<size_t>(m_selectedExchange)]
          : std::string();
  char buffer[64] = {};
  m_cb.Host().convertExchange(exchange.c_str(), buffer, sizeof buffer);
  code = buffer;
  return true;
}

void CMarketScannerLogic::ClearRows() {
  m_list.DeleteAllItems();
  m_items.clear();
}

void CMarketScannerLogic::SetValueColumn() {
  m_list.SetColumns(Columns(m_category));
}

bool CMarketScannerLogic::OnCategoryClick(int controlId) {
  const int category = controlId - m_ids.categoryFirst;
  if (category < kVolumeLeaders || category > kLosers) return false;
  if (m_pending) {
    m_cb.Report(kPendingText, kReportMessage);
    return true;
  }
  m_category = category;
  ClearRows();
  SetValueColumn();
  Changed();
  std::string code;
  if (!ConvertExchange(code)) {
    m_cb.MessageBox(kNotCompatible);
    return true;
  }
  SendRequest(code);
  RearmTimer();
  return true;
}

void CMarketScannerLogic::SendRequest(const std::string& exchangeCode) {
  if (!m_cb.IsLoggedIn()) {
    m_cb.MessageBox(kNotLoggedIn);
    return;
  }
  wmp_builder* builder = m_cb.Builder();
  wmp_scratch* scratch = m_cb.Scratch();
  int32_t error = 0;
  if (!builder || !scratch) {
    m_cb.Report(kStartFailed, kReportError);
    return;
  }
  scratch->fill_length = 0;
  if (!wmp_start_msg(builder, scratch, &error)) {
    m_cb.Report(kStartFailed, kReportError);
    return;
  }
  const auto add = [&](int32_t id, const std::string& text) {
    const wmp_value value{text.data(), static_cast<int64_t>(text.size())};
    return wmp_add_data(builder, id, 1, &value, &error) != 0;
  };
  struct Criterion {
    std::string key, op, value;
  };
  const char* firstKey = m_category == kVolumeLeaders  ? "32"
                         : m_category == kValueLeaders ? "TrdValueFOI"
                                                       : "PrevCloseFOI";
  std::vector<Criterion> criteria;
  if (m_lowerPrice.empty() && m_upperPrice.empty()) {
    criteria.push_back({firstKey, m_category == kLosers ? "<" : ">", "0"});
  } else {
    if (!m_lowerPrice.empty()) {
      criteria.push_back({firstKey, ">", Format("%f", LeadingDouble(m_lowerPrice) * 100)});
    }
    if (!m_upperPrice.empty()) {
      criteria.push_back({criteria.empty() ? firstKey : "6", "<",
                          Format("%f", LeadingDouble(m_upperPrice) * 100)});
    }
  }
  if (!add(MNM_REQUEST, "kms_request_" + exchangeCode)) return;
  for (const Criterion& c : criteria) {
    if (!add(MNM_FILTER_KEY, c.key) || !add(MNM_FILTER_OPERATOR, c.op) ||
        !add(MNM_FILTER_VALUE, c.value))
      return;
  }
  if (!add(MNM_RECORD_COUNT, Format("%d", m_recordCount))) return;
  if (m_category != kLosers && !add(MNM_FIELD_49033, "DESC")) return;
  if (!m_control || !m_control->ops || !m_control->ops->send ||
      !m_control->ops->send(m_control, this, builder, 0, &error)) {
    m_cb.Report(kSendFailed, kReportError);
    return;
  }
  m_pending = true;
  m_cb.Report(kSent, kReportMessage);
  Changed();
}

void CMarketScannerLogic::OnReply(const wmp_msg* message) {
  std::string name;
  int status = 0;
  ReadText(message, MNM_REPLY_REQUEST, 0, name, status);
  const int32_t errors = FieldCount(message, MNM_ERROR_TEXT);
  std::string errorText;
  // A good reply may close with an empty status text; only a text is a failure.
  if (errors > 0 && ReadText(message, MNM_ERROR_TEXT, errors - 1, errorText, status) &&
      !errorText.empty()) {
    m_cb.Report(Format("%s request failed , %s", name.c_str(), errorText.c_str()), kReportError);
  } else {
    std::string exchange;
    if (ReadText(message, MNM_MOVERS_EXCHANGE, 0, exchange, status)) {
      const int32_t symbols = FieldCount(message, MNM_SYMBOL_LIST);
      for (int32_t i = 0; i < symbols; ++i) {
        auto item = std::make_unique<sMoverItem>();
        item->rank = i + 1;
        item->exchange = exchange;
        if (!ReadText(message, MNM_SYMBOL_LIST, i, item->symbol, status)) break;
        std::string valueText;
        if (ReadText(message, MNM_MOVERS_VALUE, i, valueText, status)) {
          if (valueText.size() > kValueTextCap) valueText.resize(kValueTextCap);
          double value = LeadingDouble(valueText);
          if (m_category == kValueLeaders) {
            value /= 100000.0;
          } else if (m_category == kGainers || m_category == kLosers) {
            value *= 100.0;
          }
          item->value = value;
          item->hasValue = true;
        }
        m_list.InsertItem(m_list.RowCount(), reinterpret_cast<ItemData>(item.get()));
        m_items.push_back(std::move(item));
      }
    }
  }
  // Content and header both: a three-letter exchange must not cut "Exchange".
  m_list.FitColumns(kFitContentAndHeader);
  m_pending = false;
  LookUpRows();
  Changed();
}

void CMarketScannerLogic::LookUpRows() {
  const auto lookUp = m_cb.Host().getScripDetailsFromTradSymbolContext;
  if (!lookUp || m_items.empty()) return;
  // The window's name tells its answers apart from the other form's and the
  // market monitor's.
  m_pendingContext = m_name;
  for (const auto& item : m_items)
    lookUp(item->exchange.c_str(), item->symbol.c_str(), m_pendingContext.c_str());
}

bool CMarketScannerLogic::OnScripDetails(std::string_view context, const sScripDetails& details) {
  if (m_pendingContext.empty() || context != m_pendingContext) return false;
  const auto text = [&](int position) {
    return std::string_view(details.texts[position],
                            strnlen(details.texts[position], KOVO_SCRIP_TEXT_LEN));
  };
  const std::string_view exchange = text(KOVO_SCRIP_EXCH_SEG);
  // The rows hold the back end's trading symbols, which the record carries
  // beside the token.
  const std::string_view symbol = text(KOVO_SCRIP_TRAD_SYMBOL);
  const std::string_view detail = text(KOVO_SCRIP_SYMBOL);
  if (exchange.empty() || symbol.empty() || detail.empty()) return false;
  for (const auto& item : m_items) {
    if (item->exchange != exchange || item->symbol != symbol) continue;
    item->detail = std::string(detail);
    Changed();
    return true;
  }
  return false;
}

bool CMarketScannerLogic::Cell(const sMoverItem& item, int column, sCellInfo& cell) const {
  try {
    // Dark text on the window's white, not the terminal's green on black.
    cell.textColor = 0x000000;
    cell.backColor = kButtonBackColor;
    switch (column) {
      case kColRank:
        cell.text = Format("%d", item.rank);
        return true;
      case kColSymbol:
        cell.text = item.symbol;
        return true;
      case kColExchange: {
        char name[kDisplayNameCap] = {};
        if (m_cb.Host().getRequiredData) {
          m_cb.Host().getRequiredData(item.exchange.c_str(), name, 1, 2);
          name[kDisplayNameCap - 1] = '\0';
        }
        cell.text = name[0] ? std::string(name) : item.exchange;
        return true;
      }
      case kColValue:
        if (!item.hasValue) {
          cell.text.clear();
        } else if (m_category == kVolumeLeaders) {
          cell.text = Format("%.0lf", item.value);
        } else if (m_category == kValueLeaders) {
          cell.text = Format("%.5lf", item.value);
        } else {
          cell.text = Format("%.4lf", item.value);
        }
        return true;
      default:
        return false;
    }
  } catch (...) {
    cell.text.clear();
    m_cb.Report(kCellFailed, kReportError);
    return false;
  }
}

void CMarketScannerLogic::StopTimer() {
  if (m_timer != 0) m_cb.Ui().StopTimer(m_timer);
  m_timer = 0;
  m_timerPeriod = 0;
}

void CMarketScannerLogic::RearmTimer() {
  StopTimer();
  if (!m_autoRefresh) return;
  int minutes = 0;
  if (m_recordCount <= kRefresh5Limit) {
    minutes = 5;
  } else if (m_recordCount <= kMaxRecordCount) {
    minutes = 10;
  } else {
    return;
  }
  m_timerPeriod = minutes * kRefreshBaseMs;
  std::weak_ptr<CControlBlock*> alive = m_cb.AliveToken();
  m_timer = m_cb.Ui().StartTimer(std::chrono::milliseconds(m_timerPeriod), [this, alive] {
    if (alive.lock()) OnTimer();
  });
}

void CMarketScannerLogic::OnAutoRefreshClick(bool checked) {
  m_autoRefresh = checked;
  RearmTimer();
  Changed();
}

void CMarketScannerLogic::OnRecordCountChange(std::string text) {
  m_recordCountText = std::move(text);
  m_recordCount = LeadingInt32(m_recordCountText);
  if (m_recordCount >= 1 && m_recordCount <= kRefresh5Limit) {
    m_autoRefreshEnabled = true;
    m_autoRefreshLabel = "Auto Refresh(5 min)";
  } else if (m_recordCount > kRefresh5Limit && m_recordCount <= kMaxRecordCount) {
    m_autoRefreshEnabled = true;
    m_autoRefreshLabel = "Auto Refresh(10 min)";
  } else {
    m_autoRefreshEnabled = false;
  }
  Changed();
}

void CMarketScannerLogic::OnTimer() {
  if (!m_initialised) return;
  std::string code;
  if (!ConvertExchange(code)) return;
  ClearRows();
  Changed();
  SendRequest(code);
}

std::vector<sMenuItem> CMarketScannerLogic::ContextMenu() const {
  if (!m_cb.Host().addScripToMarketWatch) return {};
  return {{kCmdAddToMarketWatch, "Add To MarketWatch", false},
          {kCmdConfiguration, "Configuration", m_configShown},
          {kCmdMoversWriteToExcel, "Write To Excel\tShift+E", false}};
}

bool CMarketScannerLogic::OnCommand(int id) {
  switch (id) {
    case kCmdAddToMarketWatch: {
      if (!m_cb.Host().addScripToMarketWatch) return true;
      for (int row : m_list.Selection()) {
        const auto* item = reinterpret_cast<const sMoverItem*>(m_list.GetItemData(row));
        if (!item) continue;
        const std::string key = item->exchange + "|" + item->symbol;
        m_cb.Host().addScripToMarketWatch(key.c_str());
      }
      return true;
    }
    case kCmdConfiguration:
      m_configShown = !m_configShown;
      Changed();
      return true;
    case kCmdMoversWriteToExcel:
      if (m_listFocus) m_list.WriteToExcel();
      return true;
    default:
      if (OnCategoryClick(id)) return true;
      return m_list.OnCommand(id);
  }
}

void CMarketScannerLogic::OnClose() {
  StopTimer();
  if (m_view) m_view->Show(false);
}

// ---- the pane -------------------------------------------------------------------------

CKovoMarketScanner::CKovoMarketScanner(CControlBlock& cb)
    : CMarketScannerLogic(cb, kIds, "Market Movers") {}

CKovoMarketScanner::~CKovoMarketScanner() {
  if (!m_docked) return;
  HostFrame& frame = m_cb.Frame();
  if (frame.IsFloating(kPaneId)) frame.DockPane(kPaneId);
  frame.RemovePane(kPaneId);
}

bool CKovoMarketScanner::CreatePane() {
  if (m_docked) return true;
  if (!m_view) m_view = m_cb.Views().CreateMarketScanner(*this, true);
  if (!m_view) return false;
  if (!IsInitialised() && !InitDialog()) return false;
  m_docked = m_cb.Frame().AddPane(kPaneId, kTitle, *m_view);
  if (!m_docked) return false;
  m_cb.Frame().ShowPane(kPaneId, false);
  return true;
}

void CKovoMarketScanner::ShowPane(bool show) {
  if (!CreatePane()) {
    m_cb.Report("Failed to create controlbar", kReportError);
    return;
  }
  m_view->Show(show);
  m_cb.Frame().ShowPane(kPaneId, show);
}

// ---- the dialog -----------------------------------------------------------------------

CKovoMarketScannerDlg::CKovoMarketScannerDlg(CControlBlock& cb)
    : CMarketScannerLogic(cb, kIds, "Market Movers Dlg") {}

bool CKovoMarketScannerDlg::Create() {
  if (HasWindow()) return true;
  if (!m_view) m_view = m_cb.Views().CreateMarketScanner(*this, false);
  if (!m_view) return false;
  if (!IsInitialised() && !InitDialog()) return false;
  m_view->SetTitle(kCaption);
  m_view->Show(false);
  return true;
}

void CKovoMarketScannerDlg::Show(bool show) {
  if (!Create()) return;
  m_view->Show(show, View::Centre::kHostWindow);
  if (show) m_view->BringToFront();
}

// ---- the module -----------------------------------------------------------------------

CMarketModule::~CMarketModule() {
  CloseWindows();
}

CKovoMarketScanner& CMarketModule::Scanner() {
  if (!m_scanner) m_scanner = std::make_unique<CKovoMarketScanner>(m_cb);
  return *m_scanner;
}

CKovoMarketScannerDlg& CMarketModule::ScannerDlg() {
  if (!m_dialog) m_dialog = std::make_unique<CKovoMarketScannerDlg>(m_cb);
  return *m_dialog;
}

void CMarketModule::CloseWindows() {
  m_scanner.reset();
  m_dialog.reset();
}

bool CMarketModule::OnScripDetails(std::string_view context, const sScripDetails& details) {
  if (m_scanner && m_scanner->IsInitialised() && context == m_scanner->PendingContext())
    return m_scanner->OnScripDetails(context, details);
  if (m_dialog && m_dialog->HasWindow() && context == m_dialog->PendingContext())
    return m_dialog->OnScripDetails(context, details);
  return false;
}

CMarketModule& MarketOf(CControlBlock& cb) {
  if (auto* module = dynamic_cast<CMarketModule*>(cb.marketModule.get())) return *module;
  auto module = std::make_unique<CMarketModule>(cb);
  CMarketModule& ref = *module;
  cb.marketModule = std::move(module);
  return ref;
}

}  // namespace kovo
