#include "market/zint_mkt_monitor.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/format.h"
#include "plugin/control_block.h"
#include "plugin/field_reader.h"
#include "plugin/list_ports.h"
#include "plugin/mnm_fields.h"

namespace kovo {
namespace {

constexpr int32_t kExchangeField = 63001;
constexpr int32_t kScripKeyField = 10100;
constexpr int32_t kSymbolField = 63100;
constexpr int32_t kTimeField = 63080;
constexpr int32_t kTextField = 20008;
constexpr int32_t kTypeField = 53065;
constexpr int32_t kUserNameField = 54247;

std::string FieldText(const wmp_msg* message, int32_t field) {
  std::string value;
  int status = 0;
  ReadText(message, field, 0, value, status);
  return value;
}

struct sHotKey {
  int32_t command;
  const char* key;
  const char* description;
};
constexpr sHotKey kHotKeys[] = {
    {CZintMktMonitor::kHotBuy, "F1", "Buy Order"},
    {CZintMktMonitor::kHotBuy, "Plus", "Plus Buy Order"},
    {CZintMktMonitor::kHotSell, "Minus", "Minus Sell Order"},
    {CZintMktMonitor::kHotSell, "F2", "Sell Order"},
    {CZintMktMonitor::kHotOrderBook, "F3", "Order Book From MarketMonitor"},
    {CZintMktMonitor::kHotTradeBook, "F8", "Trade Book From MarketMonitor"},
    {CZintMktMonitor::kHotMarketPicture, "F6", "Snap Quote From MarketMonitor"},
};

}  // namespace

// ---- receiver ----------------------------------------------------------------

CZintMktMonitorReqRx::CZintMktMonitorReqRx(CZintMktMonitor* window) : m_window(window) {
  m_notifier.onBroadcast = &CZintMktMonitorReqRx::OnBroadcast;
  m_notifier.onReply = &CZintMktMonitorReqRx::OnReply;
  m_notifier.self = this;
}

void CZintMktMonitorReqRx::OnBroadcast(void* self, const wmp_msg* message) {
  try {
    static_cast<CZintMktMonitorReqRx*>(self)->m_window->OnBroadcast(message);
  } catch (...) {
    // A broadcast the window cannot take is dropped; the host goes on.
  }
}

void CZintMktMonitorReqRx::OnReply(void* self, void*, const wmp_msg* message, int32_t) {
  try {
    static_cast<CZintMktMonitorReqRx*>(self)->m_window->OnTypesReply(message);
  } catch (...) {
  }
}

// ---- set-up and closing --------------------------------------------------------

CZintMktMonitor::CZintMktMonitor(CControlBlock& cb)
    : m_cb(cb), m_rx(this), m_list(ListPortsOf(cb), kListTitle, kListId) {}

CZintMktMonitor::~CZintMktMonitor() {
  CloseWindows();
  Close();
}

bool CZintMktMonitor::SetUp() {
  const CHostFunctions& host = m_cb.Host();
  if (host.getRxControl) {
    m_requestControl = host.getRxControl(KOVO_RX_REQUESTS, m_rx.Notifier());
    m_broadcastControl = host.getRxControl(KOVO_RX_BROADCASTS, m_rx.Notifier());
  }
  PrepareList();
  RegisterHotKeys();
  m_itemChecked[kAll] = m_allChecked;
  LoadSettings();
  if (!host.loadExchangeCombo || !host.convertExchange) {
    m_cb.MessageBox(kNotCompatible);
    return false;
  }
  host.loadExchangeCombo(this, kExchangeBoxId, &CZintMktMonitor::AddExchange);
  m_started = true;
  SendTypesRequest();
  if (m_allChecked)
    SubscribeAll();
  else
    RemoveAll();
  Changed(CMktMonitorObserver::Change::kTree);
  return true;
}

void CZintMktMonitor::AddExchange(void* window, int32_t, const char* text) {
  if (window && text) static_cast<CZintMktMonitor*>(window)->m_exchanges.emplace_back(text);
}

void CZintMktMonitor::PrepareList() {
  m_list.EnableFilterHeader(true);
  m_list.SetColors(0, kBackColor);
  m_list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
    return Cell(data, column, cell);
  });
  m_list.SetColumns({{"Time", 100, kFormatLeft, kSortText},
                     {"Exchange", 100, kFormatLeft, kSortText},
                     {"Trading Symbol", 100, kFormatLeft, kSortText},
                     {"Market Indicator", 50, kFormatLeft, kSortText},
                     {"Text", 400, kFormatLeft, kSortText}});
  m_list.SetNotify([this](ListNotice notice, int) {
    if (notice == ListNotice::kRightClick) Changed(CMktMonitorObserver::Change::kListMenu);
  });
}

bool CZintMktMonitor::CanInvoke() const {
  return m_cb.Host().invokeDialog && m_cb.Host().registerHotkey;
}

void CZintMktMonitor::RegisterHotKeys() {
  if (!CanInvoke()) return;
  for (const sHotKey& k : kHotKeys)
    m_cb.Host().registerHotkey(this, &CZintMktMonitor::HotKeyThunk, kTitle, k.command, kHotKeyGroup,
                               k.key, k.description);
}

void CZintMktMonitor::HotKeyThunk(void* window, int32_t message) {
  try {
    if (window) static_cast<CZintMktMonitor*>(window)->OnHotKeyMessage(message);
  } catch (...) {
  }
}

bool CZintMktMonitor::ReadKey(const char* key, std::string& value) const {
  const CSettingsFiles& files = m_cb.Settings();
  if (files.Read(kMonitorSection, key, value, kZintSettingsFile, SettingsLocation::kUserFolder) &&
      !value.empty())
    return true;
  // The factory file ships beside the plug-in.
  return files.Read(kMonitorSection, key, value, kFactorySettingsFile,
                    SettingsLocation::kPluginFolder) != 0;
}

void CZintMktMonitor::LoadSettings() {
  std::string messages, props;
  ReadKey(kMonitorMessageKey, messages);
  ReadKey(kMonitorPropsKey, props);
  const sMonitorSettings settings = ParseMonitorSettings(messages, props);
  for (const sMonitorTypeProps& p : settings.props)
    if (!p.checked) m_allChecked = false;
  m_itemChecked[kAll] = m_allChecked;
  for (size_t i = 0; i < settings.types.size(); ++i) {
    const std::string& type = settings.types[i];
    if (type.empty() || m_types.count(type)) continue;
    sMktMonitorNode node;
    // A type without its props entry starts as the root does.
    node.checked = m_allChecked;
    if (i < settings.props.size()) {
      node.colour = settings.props[i].colour;
      node.checked = settings.props[i].checked;
    }
    InsertType(type, std::move(node));
  }
}

void CZintMktMonitor::InsertType(const std::string& type, sMktMonitorNode node) {
  const bool checked = m_allChecked || node.checked;
  m_types.emplace(type, std::move(node));
  m_itemChecked[type] = checked;
}

void CZintMktMonitor::SendTypesRequest() {
  if (m_cb.SendRequest(m_requestControl, this, kRequestName,
                       {{kUserNameField, m_cb.session.loggedInUserId}},
                       "Market Monitor request is failed,"))
    m_cb.Report("Market Monitor: Request sent To Get Message Types", kReportMessage);
}

void CZintMktMonitor::Close() {
  if (m_closed) return;
  m_closed = true;
  if (m_started) {
    std::vector<std::string> types;
    std::vector<sMonitorTypeProps> props;
    for (const auto& [type, node] : m_types) {
      types.push_back(type);
      props.push_back({node.colour, node.checked});
    }
    const CSettingsFiles& files = m_cb.Settings();
    files.Write(kMonitorSection, kMonitorMessageKey, FormatMonitorMessages(types),
                kZintSettingsFile, SettingsLocation::kUserFolder);
    files.Write(kMonitorSection, kMonitorPropsKey, FormatMonitorProps(props), kZintSettingsFile,
                SettingsLocation::kUserFolder);
  }
  m_list.DeleteAllItems();
  m_rows.clear();
  m_types.clear();
  m_itemChecked.clear();
  m_allHandles.clear();
  if (m_cb.Host().destroyRxControl) {
    m_cb.Host().destroyRxControl(m_requestControl);
    m_cb.Host().destroyRxControl(m_broadcastControl);
  }
  m_requestControl = m_broadcastControl = nullptr;
}

// ---- replies and broadcasts ------------------------------------------------------

void CZintMktMonitor::OnTypesReply(const wmp_msg* message) {
  if (m_closed || FieldText(message, MNM_REPLY_REQUEST) != kRequestName) return;
  std::string error;
  if (ReplyFailed(message, &error)) {
    m_cb.Report(Format("%s request failed , %s", kRequestName, error.c_str()), kReportError);
    return;
  }
  const int32_t count = FieldCount(message, kTypeField);
  for (int32_t i = 0; i < count; ++i) {
    std::string type;
    int status = 0;
    if (!ReadText(message, kTypeField, i, type, status) || type.empty()) continue;
    if (m_types.count(type)) continue;
    sMktMonitorNode node;
    node.checked = m_allChecked;
    InsertType(type, std::move(node));
  }
  Changed(CMktMonitorObserver::Change::kTree);
}

void CZintMktMonitor::OnBroadcast(const wmp_msg* message) {
  if (m_closed || FieldCount(message, kTypeField) <= 0) return;
  auto row = std::make_unique<sMktMonitorMsg>();
  row->exchange = FieldText(message, kExchangeField);
  row->scripKey = FieldText(message, kScripKeyField);
  row->tradingSymbol = FieldText(message, kSymbolField);
  const std::string time = FieldText(message, kTimeField);
  const size_t blank = time.find(' ');
  row->time = blank == std::string::npos ? time : time.substr(blank + 1);
  row->text = FieldText(message, kTextField);
  row->messageType = FieldText(message, kTypeField);
  m_list.InsertItem(0, reinterpret_cast<ItemData>(row.get()));
  m_rows.push_back(std::move(row));
  if (!m_scrollLock) Changed(CMktMonitorObserver::Change::kTopRowShown);
}

void CZintMktMonitor::OnScripDetails(std::string_view context, const sScripDetails& details) {
  if (m_closed || context != kAddToMarketWatchContext || !m_cb.Host().addScripToMarketWatch) return;
  const std::string segment(details.texts[KOVO_SCRIP_EXCH_SEG],
                            strnlen(details.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN));
  const std::string token(details.texts[KOVO_SCRIP_TOKEN],
                          strnlen(details.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN));
  // An empty record is the host's "not found": the row is skipped.
  if (segment.empty() || token.empty()) return;
  m_cb.Host().addScripToMarketWatch(Format("%s|%s", segment.c_str(), token.c_str()).c_str());
}

// ---- registrations ------------------------------------------------------------------

std::vector<int64_t> CZintMktMonitor::Register(const char* type) {
  std::vector<int64_t> handles;
  if (!m_broadcastControl || !m_broadcastControl->ops || !m_broadcastControl->ops->addWatch)
    return handles;
  const CHostFunctions& host = m_cb.Host();
  for (const std::string& exchange : m_exchanges) {
    char code[64] = {};
    if (!host.convertExchange) break;
    host.convertExchange(exchange.c_str(), code, sizeof code);
    if (code[0] == '\0') continue;
    // A null value matches every type: the "--ALL--" registration.
    const KovoFieldMatch pairs[2] = {{kTypeField, type, -1}, {kExchangeField, code, -1}};
    int32_t error = 0;
    const int64_t handle = m_broadcastControl->ops->addWatch(m_broadcastControl, pairs, 2, &error);
    if (handle > 0) handles.push_back(handle);
  }
  return handles;
}

void CZintMktMonitor::Unregister(std::vector<int64_t>& handles) {
  if (m_broadcastControl && m_broadcastControl->ops && m_broadcastControl->ops->removeWatch) {
    for (const int64_t handle : handles) {
      int32_t error = 0;
      m_broadcastControl->ops->removeWatch(m_broadcastControl, handle, &error);
    }
  }
  handles.clear();
}

void CZintMktMonitor::SubscribeAll() {
  Unregister(m_allHandles);
  for (auto& [type, node] : m_types) Unregister(node.handles);
  m_allHandles = Register(nullptr);
}

void CZintMktMonitor::RemoveAll() {
  Unregister(m_allHandles);
  for (auto& [type, node] : m_types)
    if (node.checked) SubscribeType(type);
}

void CZintMktMonitor::SubscribeType(const std::string& type) {
  const auto it = m_types.find(type);
  if (it == m_types.end()) return;
  Unregister(it->second.handles);
  it->second.handles = Register(type.c_str());
}

void CZintMktMonitor::RemoveType(const std::string& type) {
  const auto it = m_types.find(type);
  if (it != m_types.end()) Unregister(it->second.handles);
}

// ---- the tree -----------------------------------------------------------------------

std::vector<std::string> CZintMktMonitor::TypeItems() const {
  std::vector<std::string> items;
  for (const auto& [type, node] : m_types) items.push_back(type);
  return items;
}

bool CZintMktMonitor::ItemChecked(const std::string& item) const {
  const auto it = m_itemChecked.find(item);
  return it != m_itemChecked.end() && it->second;
}

ColorRef CZintMktMonitor::ItemColour(const std::string& item) const {
  const auto it = m_types.find(item);
  return it == m_types.end() ? 0 : it->second.colour;
}

void CZintMktMonitor::OnCheckClick(const std::string& item) {
  if (item == kAll) {
    if (!m_allChecked) {
      m_allChecked = true;
      for (auto& [type, node] : m_types) {
        node.checked = true;
        m_itemChecked[type] = true;
      }
      m_itemChecked[kAll] = true;
      SubscribeAll();
    } else {
      m_allChecked = false;
      m_itemChecked[kAll] = false;
      RemoveAll();
    }
  } else if (!m_allChecked) {
    // While "--ALL--" is checked every type stays as it is.
    const auto it = m_types.find(item);
    if (it == m_types.end()) return;
    it->second.checked = !it->second.checked;
    m_itemChecked[item] = it->second.checked;
    if (it->second.checked)
      SubscribeType(item);
    else
      RemoveType(item);
  }
  Changed(CMktMonitorObserver::Change::kTree);
}

void CZintMktMonitor::OnItemClick(const std::string& item) {
  m_selectedItem = item;
  if (m_clickFilter) FilterBy(item);
}

void CZintMktMonitor::OnItemDoubleClick(const std::string& item) {
  m_selectedItem = item;
  ChangeColour(item);
}

void CZintMktMonitor::FilterBy(const std::string& item) {
  const int pos = m_list.Position(kColIndicator);
  if (pos < 0) return;
  if (item == kAll)
    m_list.ClearFilter(pos);
  else
    m_list.SetFilter(pos, item, false);
}

void CZintMktMonitor::ChangeColour(const std::string& item) {
  const auto it = m_types.find(item);
  if (it == m_types.end()) return;
  uint32_t colour = it->second.colour;
  if (!m_cb.Dlgs().ChooseColor(colour)) return;
  it->second.colour = colour;
  Changed(CMktMonitorObserver::Change::kLook);
}

void CZintMktMonitor::FactoryReset() {
  const CSettingsFiles& files = m_cb.Settings();
  std::string messages, props;
  files.Read(kMonitorSection, kMonitorMessageKey, messages, kFactorySettingsFile,
             SettingsLocation::kPluginFolder);
  files.Read(kMonitorSection, kMonitorPropsKey, props, kFactorySettingsFile,
             SettingsLocation::kPluginFolder);
  const sMonitorSettings factory = ParseMonitorSettings(messages, props);
  for (size_t i = 0; i < factory.types.size() && i < factory.props.size(); ++i) {
    const auto it = m_types.find(factory.types[i]);
    if (it == m_types.end()) continue;
    it->second.colour = factory.props[i].colour;
    it->second.checked = factory.props[i].checked;
    m_itemChecked[it->first] = factory.props[i].checked;
  }
  Changed(CMktMonitorObserver::Change::kTree);
}

// ---- the list -----------------------------------------------------------------------

const sMktMonitorMsg* CZintMktMonitor::Row(int row) const {
  if (row < 0 || row >= m_list.ItemCount()) return nullptr;
  return reinterpret_cast<const sMktMonitorMsg*>(m_list.GetItemData(row));
}

ColorRef CZintMktMonitor::RowColour(const sMktMonitorMsg& row) const {
  return ItemColour(row.messageType);
}

bool CZintMktMonitor::Cell(ItemData data, int column, sCellInfo& cell) const {
  const auto* row = reinterpret_cast<const sMktMonitorMsg*>(data);
  if (!row) return false;
  cell.textColor = RowColour(*row);
  cell.backColor = kBackColor;
  switch (column) {
    case kColTime:
      cell.text = row->time;
      return true;
    case kColExchange: {
      char name[16] = {};
      if (m_cb.Host().getRequiredData &&
          m_cb.Host().getRequiredData(row->exchange.c_str(), name, 1, 2) && name[0] != '\0')
        cell.text.assign(name, strnlen(name, sizeof name));
      else
        cell.text = row->exchange;
      return true;
    }
    case kColSymbol:
      cell.text = row->tradingSymbol;
      return true;
    case kColIndicator:
      cell.text = row->messageType;
      return true;
    case kColText:
      cell.text = row->text;
      return true;
    default:
      return false;
  }
}

std::vector<sMenuItem> CZintMktMonitor::ListMenu() const {
  std::vector<sMenuItem> menu;
  if (CanInvoke()) {
    menu = {{kCmdBuy, "Buy Order \t F1"},
            {kCmdSell, "Sell Order \t F2"},
            {kCmdOrderBook, "Order Book \t F3"},
            {kCmdTradeBook, "Trade Book \t F8"},
            {kCmdMarketPicture, "Market Picture \t F6"},
            {0, ""}};
  }
  menu.push_back({kCmdAddRowsToMarketWatch, "Add To MarketWatch"});
  menu.push_back({kCmdGrid, "Grid Lines \t Shift+G", m_list.GridLines()});
  menu.push_back({kCmdScrollLock, "Scroll Lock", m_scrollLock});
  menu.push_back({kCmdExcel, "Write To Excel\tShift+E"});
  return menu;
}

std::vector<sMenuItem> CZintMktMonitor::TreeMenu() const {
  return {{kCmdFilter, "Filter"},
          {kCmdClickFilter, "OnClick Filter", m_clickFilter},
          {kCmdChangeColour, "Change Color"},
          {0, ""}};
}

bool CZintMktMonitor::OnCommand(int id) {
  switch (id) {
    case kCmdBuy:
    case kCmdSell:
    case kCmdOrderBook:
    case kCmdTradeBook:
    case kCmdMarketPicture:
      if (m_listFocus) RowAction(id);
      return true;
    case kCmdGrid:
      m_list.ToggleGridLines();
      return true;
    case kCmdExcel:
      m_list.WriteToExcel();
      return true;
    case kCmdChangeColour:
      ChangeColour(m_selectedItem);
      return true;
    case kCmdFactoryReset:
      FactoryReset();
      return true;
    case kCmdFilter:
      if (m_clickFilter) FilterBy(m_selectedItem);
      return true;
    case kCmdClickFilter:
      m_clickFilter = !m_clickFilter;
      return true;
    case kCmdScrollLock:
      m_scrollLock = !m_scrollLock;
      return true;
    case kCmdAddRowsToMarketWatch:
      AddToMarketWatch();
      return true;
    default:
      return false;
  }
}

void CZintMktMonitor::OnHotKeyMessage(int32_t message) {
  if (!m_listFocus) return;
  switch (message - kHotKeyBase) {
    case kHotBuy:
      return RowAction(kCmdBuy);
    case kHotSell:
      return RowAction(kCmdSell);
    case kHotOrderBook:
      return RowAction(kCmdOrderBook);
    case kHotTradeBook:
      return RowAction(kCmdTradeBook);
    case kHotMarketPicture:
      return RowAction(kCmdMarketPicture);
    default:
      return;
  }
}

void CZintMktMonitor::RowAction(int command) {
  const auto invoke = m_cb.Host().invokeDialog;
  if (!invoke || m_list.Selection().empty()) return;
  const sMktMonitorMsg* row = Row(m_list.Selection().front());
  if (!row) return;
  const std::string scrip = Format("%s|%s", row->exchange.c_str(), row->tradingSymbol.c_str());
  switch (command) {
    case kCmdBuy:
      invoke(4, scrip.c_str(), Format("%d", 1).c_str(), nullptr);
      break;
    case kCmdSell:
      invoke(4, scrip.c_str(), Format("%d", 2).c_str(), nullptr);
      break;
    case kCmdOrderBook:
      invoke(2, scrip.c_str(), nullptr, nullptr);
      break;
    case kCmdTradeBook:
      invoke(3, scrip.c_str(), nullptr, nullptr);
      break;
    case kCmdMarketPicture:
      invoke(8, scrip.c_str(), row->tradingSymbol.c_str(), nullptr);
      break;
    default:
      break;
  }
}

void CZintMktMonitor::AddToMarketWatch() {
  const CHostFunctions& host = m_cb.Host();
  if (!host.addScripToMarketWatch) return;
  for (const int r : m_list.Selection()) {
    const sMktMonitorMsg* row = Row(r);
    if (!row) continue;
    std::string text;
    if (!row->scripKey.empty()) {
      text = Format("%s|%s", row->exchange.c_str(), row->scripKey.c_str());
    } else if (host.getScripDetailsFromTradSymbol) {
      sScripDetails details{};
      if (!host.getScripDetailsFromTradSymbol(row->exchange.c_str(), row->tradingSymbol.c_str(),
                                              &details))
        continue;
      text = Format("%s|%s", row->exchange.c_str(), details.texts[KOVO_SCRIP_TOKEN]);
    } else {
      // The host answers this one later; the row is not added now.
      if (host.getScripDetailsFromTradSymbolContext)
        host.getScripDetailsFromTradSymbolContext(row->exchange.c_str(), row->tradingSymbol.c_str(),
                                                  kAddToMarketWatchContext);
      continue;
    }
    host.addScripToMarketWatch(text.c_str());
  }
}

bool CZintMktMonitor::CreatePane() {
  if (m_paneAdded) return true;
  if (!m_view) m_view = m_cb.Views().CreateMarketMonitor(*this);
  if (!m_view) return false;
  m_paneAdded = m_cb.Frame().AddPane(kPaneId, kTitle, *m_view);
  if (!m_paneAdded) return false;
  m_cb.Frame().ShowPane(kPaneId, false);
  m_view->Show(false);
  return true;
}

bool CZintMktMonitor::ShowPane(bool show) {
  if (!CreatePane()) {
    m_cb.Report("Failed to create controlbar", kReportError);
    return false;
  }
  m_cb.Frame().ShowPane(kPaneId, show);
  m_view->Show(show);
  m_cb.Frame().RecalcLayout();
  return true;
}

void CZintMktMonitor::CloseWindows() {
  if (m_paneAdded) {
    m_paneAdded = false;
    HostFrame& frame = m_cb.Frame();
    if (frame.IsFloating(kPaneId)) frame.DockPane(kPaneId);
    frame.RemovePane(kPaneId);
  }
  m_observer = nullptr;
  m_view.reset();
}

CZintMktMonitor* MarketMonitorOf(const CControlBlock& cb) {
  // Only this library puts a module in this slot.
  return static_cast<CZintMktMonitor*>(cb.marketMonitor.get());
}

CZintMktMonitor* EnsureMarketMonitor(CControlBlock& cb) {
  if (!cb.marketMonitor) {
    auto monitor = std::make_unique<CZintMktMonitor>(cb);
    if (!monitor->SetUp()) return nullptr;
    cb.marketMonitor = std::move(monitor);
  }
  return MarketMonitorOf(cb);
}

void ShowMarketMonitor(CControlBlock& cb) {
  if (CZintMktMonitor* monitor = EnsureMarketMonitor(cb)) monitor->ShowPane(true);
}

void CZintMktMonitor::Changed(CMktMonitorObserver::Change what) const {
  if (m_observer) m_observer->OnMonitorChanged(what);
}

}  // namespace kovo
