#include "orders/order_api.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <shared_mutex>
#include <utility>

#include "base/format.h"
#include "base/time_format.h"
#include "orders/signal_watcher.h"
#include "plugin/beep_alerts.h"
#include "plugin/control_block.h"

namespace kovo {

namespace {

constexpr size_t kHostErrorCap = 512;

// "%H:%M:%S" of now; placements come many to a second, so the text is kept per second.
std::string TimeNow() {
  thread_local std::time_t lastSecond = -1;
  thread_local std::string lastText;
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  if (now != lastSecond) {
    lastText = FormatLocalTime(now, TimeForm::kTime);
    lastSecond = now;
  }
  return lastText;
}

int32_t Multiply(int32_t quantity, int32_t multiplier) {
  const int64_t product = int64_t{quantity} * int64_t{multiplier};
  if (product > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (product < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(product);
}

bool IsOpen(std::string_view status) {
  return status == "open" || status == "trigger pending" || status == "order frozen";
}

int32_t OrderTypeCode(std::string_view text) {
  if (text == "LIMIT") return kOrderTypeLimit;
  if (text == "SL") return kOrderTypeSl;
  return 0;
}

int32_t ValidityCode(std::string_view text) {
  if (text == "DAY") return kValidityDay;
  if (text == "IOC") return kValidityIoc;
  return 0;
}

// The list holds the segment when it holds "<segment>".
bool InAutoPlacementList(std::string_view list, std::string_view segment) {
  for (size_t at = list.find(segment); at != std::string_view::npos;
       at = list.find(segment, at + 1)) {
    const size_t after = at + segment.size();
    if (at > 0 && list[at - 1] == '<' && after < list.size() && list[after] == '>') return true;
  }
  return false;
}

std::string HostError(const char* text) {
  return std::string(text, strnlen(text, kHostErrorCap));
}

}  // namespace

namespace {

constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The rule in floating point, on the value the printed text reads back as.
int32_t UnitsOfValue(double value, double scale, double k) {
  const double units = std::floor(value * scale * k + 0.5);
  if (!(units <= 2147483647.0) || units < -2147483648.0) return -1;
  return static_cast<int32_t>(units);
}

}  // namespace

int32_t PriceUnits(double price, int32_t precision, double multiplier, std::string* text) {
  // A precision the printf family would not honour is read as none.
  const int digits = precision < 0 ? 0 : (precision > 15 ? 15 : precision);
  // Fixed notation of a double needs at most 309 integer digits, a sign, a
  // point and the decimals; to_chars prints exactly what "%.*lf" prints.
  char printed[340];
  const char* end =
      std::to_chars(printed, printed + sizeof printed, price, std::chars_format::fixed, digits).ptr;
  if (text) text->assign(printed, static_cast<size_t>(end - printed));
  if (!std::isfinite(price)) return -1;  // nan and inf read back as themselves: never units
  const double scale = kPow10[digits];
  const double k = std::trunc(multiplier / scale);

  // The text is M / 10^digits for a whole number M. In doubles the rule is
  // floor(M x k (1 + e) + 0.5) with |e| < 4e-16, which is exactly M x k while
  // that is within the 32-bit range, and outside it on both sides together;
  // so whole numbers give the same answer without reading the text back.
  int64_t whole = 0;
  int significant = 0;
  bool exact = std::fabs(k) <= 2147483648.0;
  const char* at = printed;
  const bool negative = *at == '-';
  if (negative) ++at;
  for (; at != end && exact; ++at) {
    if (*at == '.' || (whole == 0 && *at == '0')) continue;
    if (++significant > 18) {
      exact = false;
      break;
    }
    whole = whole * 10 + (*at - '0');
  }
  if (!exact) {
    // Past 18 digits or a wild multiplier: the rule itself, on the text's value.
    double value = 0;
    std::from_chars(printed, end, value, std::chars_format::fixed);
    return UnitsOfValue(value, scale, k);
  }
  int64_t units = 0;
  if (__builtin_mul_overflow(negative ? -whole : whole, static_cast<int64_t>(k), &units)) return -1;
  if (units > 2147483647 || units < -2147483648LL) return -1;
  return static_cast<int32_t>(units);
}

struct COrderApi::sFound {
  sApiOrderInfo* order = nullptr;  // the first new order with the reference number
  bool numbered = false;
  std::string orderNumber;
  bool hasState = false;
  sOrderParams state;
};

COrderApi::COrderApi(CControlBlock& cb) : m_cb(cb), m_scriptsView(cb, m_manager) {}

COrderApi::~COrderApi() {
  // Watchers call into the order API until they end.
  m_watchers.reset();
}

CSignalWatchers& COrderApi::Watchers() {
  if (!m_watchers) m_watchers = std::make_unique<CSignalWatchers>(m_cb, *this);
  return *m_watchers;
}

void COrderApi::StopWatchers() {
  if (m_watchers) m_watchers->WakeAll();
}

size_t COrderApi::ApiOrderCount() const {
  std::shared_lock lock(m_manager.Mutex());
  return m_apiOrders.size();
}

void COrderApi::Message(std::string_view text) const {
  m_cb.Report(text, kReportMessage);
}

void COrderApi::Error(std::string_view text) const {
  m_cb.Report(text, kReportError);
}

bool COrderApi::OrderCallsOff() const {
  return m_cb.HostAppName() == "kovo_trader_now";
}

void COrderApi::Beep(const std::shared_ptr<sApiScript>& script) {
  // The switch is read now; the sound belongs to the UI thread, and nobody
  // needs to wait for it.
  if (!m_cb.beepAlerts || !m_cb.beepAlerts->IsBeepOn("Zint Api Orders")) return;
  bool post = false;
  {
    std::lock_guard lock(m_manager.Mutex());
    ++script->pendingBeeps;
    post = !std::exchange(script->drainQueued, true);
  }
  DeliverRows(script, post);
}

void COrderApi::StaleHandle(std::string_view what) const {
  Message(Format("ZintApi -- %s called with a handle that is not an open API script, nothing done",
                 std::string(what).c_str()));
}

std::shared_ptr<sApiScript> COrderApi::Resolve(sApiScript* script, std::string_view what,
                                               std::string* name) {
  // A null handle is no script at all: nothing to do and nothing to say.
  if (!script) return nullptr;
  {
    std::shared_lock lock(m_manager.Mutex());
    const auto it = m_scripts.find(script);
    if (it != m_scripts.end()) {
      *name = it->second->name;
      return it->second;
    }
  }
  StaleHandle(what);
  return nullptr;
}

intptr_t COrderApi::CreateOrdersWindow(intptr_t scriptParam) {
  const auto* key = reinterpret_cast<const sApiScript*>(scriptParam);
  std::shared_ptr<sApiScript> script;
  {
    std::shared_lock lock(m_manager.Mutex());
    const auto it = m_scripts.find(key);
    if (it != m_scripts.end()) script = it->second;
  }
  if (!script) return 0;
  script->ordersWindow.Create(m_cb, m_manager);
  return 1;
}

sApiScript* COrderApi::GetApiScript(sApiScript* existing, std::string_view name) {
  if (!m_cb.IsLoggedIn()) {
    Error("ZintApi can not continue, user has not logged in zint");
    return nullptr;
  }
  std::shared_ptr<sApiScript> script;
  if (!existing) {
    script = std::make_shared<sApiScript>();
    sApiScript* raw = script.get();
    {
      std::lock_guard lock(m_manager.Mutex());
      m_scripts.emplace(raw, script);
    }
    m_cb.Ui().Send([this, raw] { m_scriptsView.AddRow(raw); });
    m_cb.SendOwnMessage(kCreateApiOrderDlgMsg, 0, reinterpret_cast<intptr_t>(raw));
    std::string title = Format("%s Api Generated Orders", std::string(name).c_str());
    m_cb.Ui().Send([raw, &title] { raw->ordersWindow.SetTitle(std::move(title)); });
  } else {
    std::string oldName;
    script = Resolve(existing, "zint_GetApiScript", &oldName);
    if (!script) return nullptr;
  }
  {
    std::lock_guard lock(m_manager.Mutex());
    script->name.assign(name);
    script->creationTime = FormatScriptCreationTime(std::chrono::system_clock::now());
  }
  m_cb.Ui().Send([this] { m_scriptsView.RedrawRow(0); });
  m_manager.Register(m_cb.Host(), m_cb.HostAppName(), name);
  return script.get();
}

void COrderApi::DeleteApiScript(sApiScript* script) {
  if (!script) return;
  std::shared_ptr<sApiScript> owned;
  {
    std::lock_guard lock(m_manager.Mutex());
    const auto it = m_scripts.find(script);
    if (it != m_scripts.end()) {
      owned = std::move(it->second);
      m_scripts.erase(it);
    }
  }
  if (!owned) {
    Message(
        "ZintApi -- zint_deleteApiScript called with a handle that is not an open API script, "
        "nothing done");
    return;
  }
  // The row goes before the script so the list never shows a deleted one.
  m_cb.Ui().Send([this, &owned] {
    m_scriptsView.RemoveRow(owned.get());
    owned.reset();
  });
}

void COrderApi::SetActive(sApiScript* script, bool active) {
  std::lock_guard lock(m_manager.Mutex());
  const auto it = m_scripts.find(script);
  if (it != m_scripts.end()) it->second->active = active;
}

void COrderApi::ShowRow(sApiScript& script, sApiOrderInfo* record, bool hold, bool beep) {
  script.ordersWindow.InsertRow(record);
  if (hold) {
    script.ordersWindow.ShowWithoutActivating();
    script.ordersWindow.EnablePlaceAndIgnore(true);
  }
  if (beep && m_cb.beepAlerts && m_cb.beepAlerts->IsBeepOn("Zint Api Orders")) {
    m_cb.Dlgs().MessageBeep(0);
  }
}

bool COrderApi::QueueRowLocked(sApiScript& script, sApiOrderInfo* record, bool hold, bool beep) {
  script.pendingRows.push_back({record, hold, beep});
  return !std::exchange(script.drainQueued, true);
}

void COrderApi::DeliverRows(const std::shared_ptr<sApiScript>& script, bool post) {
  UiThread& ui = m_cb.Ui();
  if (ui.IsUiThread()) {
    DrainRows(*script);
    return;
  }
  if (!post) return;
  // Callers on other threads do not wait for the window: a round trip per
  // order would bound a busy caller by the UI thread's wake-ups. The records
  // live as long as the order API, the script as long as the task.
  ui.Post([self = weak_from_this(), script] {
    if (const std::shared_ptr<COrderApi> api = self.lock()) api->DrainRows(*script);
  });
}

void COrderApi::DrainRows(sApiScript& script) {
  std::vector<sApiScript::sPendingRow> rows;
  int32_t beeps = 0;
  {
    std::lock_guard lock(m_manager.Mutex());
    rows.swap(script.pendingRows);
    beeps = std::exchange(script.pendingBeeps, 0);
    script.drainQueued = false;
  }
  for (const sApiScript::sPendingRow& row : rows) ShowRow(script, row.record, row.hold, row.beep);
  for (int32_t i = 0; i < beeps; ++i) m_cb.Dlgs().MessageBeep(0);
}

void COrderApi::PlaceOrder(sApiScript* handle, const sPlaceRequest& request,
                           const sStrategyTexts* strategy) {
  if (OrderCallsOff() || !handle) return;
  std::shared_ptr<sApiScript> script;
  std::string name;
  sReferenceUse* use = nullptr;  // stays valid: the index never moves or drops a reserved entry
  bool active = false;
  {
    // The handle, its state and the number in one pass; the number is
    // reserved now so that two callers with one number cannot both pass.
    std::lock_guard lock(m_manager.Mutex());
    const auto it = m_scripts.find(handle);
    if (it != m_scripts.end()) {
      script = it->second;
      name = script->name;
      active = script->active;
      if (active) {
        const auto [entry, added] = script->references.try_emplace(request.referenceNumber);
        if (added) {
          entry->second.reserved = true;
          use = &entry->second;
        }
      }
    }
  }
  if (!script) {
    StaleHandle(strategy ? "zint_Placeorder_Stg" : "zint_Placeorder");
    return;
  }
  const char* n = name.c_str();
  if (!active) {
    Message(Format("ZintApi %s -- is not active to place order", n));
    return;
  }
  if (!use) {
    Message(
        Format("ZintApi %s -- Unique Reference number is already present, can not place order", n));
    return;
  }
  {
    const CHostFunctions& host = m_cb.Host();
    // A refused request leaves no trace, not even its reservation.
    auto refuse = [&](const std::string& text) {
      {
        std::lock_guard lock(m_manager.Mutex());
        const auto entry = script->references.find(std::string_view(request.referenceNumber));
        if (entry != script->references.end() && !entry->second.firstNewOrder)
          script->references.erase(entry);
      }
      Message(text);
    };
    char segmentText[KOVO_ORDER_TEXT_LEN] = {};
    if (host.convertExchange) {
      host.convertExchange(request.exchange.c_str(), segmentText, sizeof segmentText);
      segmentText[sizeof segmentText - 1] = '\0';
    }
    const std::string_view segment = FieldText(segmentText, sizeof segmentText);
    if (segment.empty()) {
      refuse(Format("ZintApi %s -- Exchange is not valid to place order", n));
      return;
    }
    const bool autoPlaced = InAutoPlacementList(m_cb.session.autoPlacementExchanges, segment);
    if ((segment == "mcx_fo" || segment == "mcx_sx") && !autoPlaced) {
      refuse(Format("ZintApi %s -- %s exchange is not allowed to place api order", n,
                    request.exchange.c_str()));
      return;
    }
    sScripDetails details{};
    if (!host.getScripDetailsFromTradSymbol ||
        !host.getScripDetailsFromTradSymbol(segmentText, request.tradingSymbol.c_str(), &details)) {
      refuse(Format("ZintApi %s -- %s scrip is not valid to place order", n,
                    request.tradingSymbol.c_str()));
      return;
    }
    const bool pro = request.clientId == "PRO";
    if (!pro && (!host.isValidAccount || !host.isValidAccount(request.clientId.c_str()))) {
      refuse(Format("ZintApi %s -- %s client is not valid to place order", n,
                    request.clientId.c_str()));
      return;
    }
    int32_t transactionType = 0;
    if (request.transactionType == "BUY") {
      transactionType = KOVO_TXN_BUY;
    } else if (request.transactionType == "SELL") {
      transactionType = KOVO_TXN_SELL;
    } else {
      refuse(Format("ZintApi %s -- %s TransactionType is not valid to place order", n,
                    request.transactionType.c_str()));
      return;
    }
    const int32_t orderType = OrderTypeCode(request.orderType);
    if (orderType == 0) {
      refuse(Format("ZintApi %s -- %s OrderType is not valid to place order", n,
                    request.orderType.c_str()));
      return;
    }
    const int32_t validity = ValidityCode(request.validity);
    if (validity == 0) {
      refuse(Format("ZintApi %s -- %s validity is not valid to place order", n,
                    request.validity.c_str()));
      return;
    }

    auto record = std::make_unique<sApiOrderInfo>();
    record->tag = NextOrderTag();
    record->action = kActionNewOrder;
    record->referenceNumber = request.referenceNumber;
    record->tradingSymbol = request.tradingSymbol;
    record->time = TimeNow();
    record->transactionType = transactionType;
    record->entry = std::make_unique<sOrderEntryInfo>(NewOrderEntry());
    sOrderEntryInfo& entry = *record->entry;
    entry.orderType = orderType;
    entry.validity = validity;
    const double trigger = orderType == kOrderTypeLimit ? 0.0 : request.triggerPrice;
    entry.price =
        PriceUnits(request.price, details.pricePrecision, details.priceMultiplier, &record->price);
    entry.triggerPrice =
        PriceUnits(trigger, details.pricePrecision, details.priceMultiplier, &record->triggerPrice);
    entry.quantity = Multiply(request.quantity, details.quantityMultiplier);
    entry.disclosedQuantity = Multiply(request.disclosedQuantity, details.quantityMultiplier);
    CopyField(request.productType, entry.productType, sizeof entry.productType);
    CopyField(name, entry.strategy, sizeof entry.strategy);
    entry.proprietary = pro ? 1 : 0;
    CopyField(pro ? std::string_view() : std::string_view(request.clientId), entry.clientAccount,
              sizeof entry.clientAccount);
    const std::string_view token =
        FieldText(details.texts[KOVO_SCRIP_TOKEN], sizeof details.texts[KOVO_SCRIP_TOKEN]);
    std::string key;
    key.reserve(segment.size() + 1 + token.size());
    key.append(segment).append(1, '|').append(token);
    CopyField(key, entry.scripKey, sizeof entry.scripKey);
    // Held orders wait in the window for the user.
    record->awaitingConfirmation = !autoPlaced;

    if (autoPlaced) {
      char tagText[kTagTextCap];
      const char* tag = TagChars(record->tag, tagText).data();
      char error[kHostErrorCap] = {};
      int32_t placed = 1;
      if (host.placeOrder2Algo) {
        placed = host.placeOrder2Algo(&entry, tag, transactionType, "0", error, sizeof error);
      } else if (strategy && host.placeOrder2Stg) {
        placed = host.placeOrder2Stg(&entry, tag, transactionType, strategy->text1.c_str(),
                                     strategy->text2.c_str(), strategy->text3.c_str(), error,
                                     sizeof error);
      } else if (!strategy && host.placeOrder2) {
        placed = host.placeOrder2(&entry, tag, transactionType, nullptr, nullptr, nullptr, error,
                                  sizeof error);
      } else {
        Error("Exe is not compatible with api orders");
        placed = 1;
      }
      if (!placed) Error(HostError(error));
    }

    bool post = false;
    {
      std::lock_guard lock(m_manager.Mutex());
      script->orders.push_back(record.get());
      use->reserved = false;
      if (!use->firstNewOrder) use->firstNewOrder = record.get();
      // The row joins the window in the order the script's actions are kept;
      // the order's beep goes with its row.
      post = QueueRowLocked(*script, record.get(), !autoPlaced, true);
      m_apiOrders.push_back(std::move(record));
    }
    DeliverRows(script, post);
  }
}

bool COrderApi::FindOrderLocked(const sApiScript& script, const std::string& name,
                                std::string_view referenceNumber, sFound& found) const {
  const auto use = script.references.find(referenceNumber);
  if (use == script.references.end() || !use->second.firstNewOrder) return false;
  found.order = use->second.firstNewOrder;
  const std::vector<std::string>* numbers = m_manager.OrderNumbersLocked(name, found.order->tag);
  if (!numbers || numbers->empty()) return true;
  found.numbered = true;
  found.orderNumber = numbers->front();
  if (const sOrderParams* state = m_manager.StateLocked(found.orderNumber)) {
    found.hasState = true;
    found.state = *state;
  }
  return true;
}

void COrderApi::ModifyOrder(sApiScript* handle, const sModifyRequest& request,
                            const sStrategyTexts* strategy) {
  if (OrderCallsOff()) return;
  std::string name;
  const std::shared_ptr<sApiScript> script =
      Resolve(handle, strategy ? "zint_Modifyorder_Stg" : "zint_Modifyorder", &name);
  if (!script) return;
  const char* n = name.c_str();
  const char* ref = request.referenceNumber.c_str();
  if (!script->active) {
    Message(Format("ZintApi %s -- is not active to modify order", n));
    return;
  }
  [&] {
    sFound found;
    bool known = false;
    {
      std::shared_lock lock(m_manager.Mutex());
      known = FindOrderLocked(*script, name, request.referenceNumber, found);
    }
    if (!known) return;
    if (!found.numbered) {
      Error(Format(
          "ZintApi %s -- can not modify  %s reference numbered order, Kovo Order Number not found",
          n, ref));
      return;
    }
    if (!found.hasState) return;
    const char* number = found.orderNumber.c_str();
    if (!IsOpen(found.state.status)) {
      Message(Format(
          "ZintApi %s -- can not modify %s reference numbered order(%s) because it is not open", n,
          ref, number));
      return;
    }
    const CHostFunctions& host = m_cb.Host();
    const auto modify = strategy ? host.modifyOrderStg : host.modifyOrder;
    if (!modify) return;
    sScripDetails details{};
    if (!host.getScripDetails ||
        !host.getScripDetails(found.state.exchange.c_str(), found.state.token.c_str(), &details)) {
      Error(
          Format("ZintApi %s -- can not modify %s reference numbered order(%s) because scrip "
                 "information not found",
                 n, ref, number));
      return;
    }
    const int32_t orderType = OrderTypeCode(request.orderType);
    const int32_t validity = ValidityCode(request.validity);
    const double trigger = orderType == kOrderTypeLimit ? 0.0 : request.triggerPrice;
    std::string priceText;
    std::string triggerText;
    const int32_t price =
        PriceUnits(request.price, details.pricePrecision, details.priceMultiplier, &priceText);
    const int32_t triggerUnits =
        PriceUnits(trigger, details.pricePrecision, details.priceMultiplier, &triggerText);
    const int32_t quantity = Multiply(request.quantity, details.quantityMultiplier);
    const int32_t disclosed = Multiply(request.disclosedQuantity, details.quantityMultiplier);
    const std::string tag = TagText(found.order->tag);
    char error[kHostErrorCap] = {};
    if (!modify(number, tag.c_str(), orderType, validity, quantity, price, disclosed, triggerUnits,
                strategy ? strategy->text1.c_str() : nullptr, error, sizeof error)) {
      Error(HostError(error));
    }

    auto record = std::make_unique<sApiOrderInfo>();
    record->tag = NextOrderTag();
    record->action = kActionModify;
    record->referenceNumber = request.referenceNumber;
    record->orderNumber = found.orderNumber;
    record->tradingSymbol = std::string(FieldText(details.texts[KOVO_SCRIP_TRAD_SYMBOL],
                                                  sizeof details.texts[KOVO_SCRIP_TRAD_SYMBOL]));
    record->time = TimeNow();
    if (price != 0) record->price = std::move(priceText);
    if (triggerUnits != 0) record->triggerPrice = std::move(triggerText);
    record->entry = std::make_unique<sOrderEntryInfo>(NewOrderEntry());
    record->entry->orderType = orderType;
    record->entry->validity = validity;
    record->entry->quantity = quantity;
    record->entry->disclosedQuantity = disclosed;
    sApiOrderInfo* raw = record.get();
    bool post = false;
    {
      std::lock_guard lock(m_manager.Mutex());
      script->orders.push_back(raw);
      script->references[request.referenceNumber];
      post = QueueRowLocked(*script, raw, false, false);
      m_otherActions.push_back(std::move(record));
    }
    DeliverRows(script, post);
  }();
  Beep(script);
}

void COrderApi::CancelOrder(sApiScript* handle, std::string_view referenceNumber,
                            const sStrategyTexts* strategy) {
  if (OrderCallsOff()) return;
  std::string name;
  const std::shared_ptr<sApiScript> script =
      Resolve(handle, strategy ? "zint_CancelOrder_Stg" : "zint_CancelOrder", &name);
  if (!script) return;
  const char* n = name.c_str();
  const std::string reference(referenceNumber);
  const char* ref = reference.c_str();
  if (!script->active) {
    Message(Format("ZintApi %s -- is not active to cancel order", n));
    return;
  }
  [&] {
    sFound found;
    bool known = false;
    {
      std::shared_lock lock(m_manager.Mutex());
      known = FindOrderLocked(*script, name, reference, found);
    }
    if (!known) return;
    if (!found.numbered) {
      Error(Format(
          "ZintApi %s -- can not cancel  %s reference numbered order, Kovo Order Number not found",
          n, ref));
      return;
    }
    if (!found.hasState) return;
    if (!IsOpen(found.state.status)) {
      Message(Format(
          "ZintApi %s -- can not cancel  %s reference numbered order(%s) because it is not open", n,
          ref, found.orderNumber.c_str()));
      return;
    }
    const CHostFunctions& host = m_cb.Host();
    const auto cancel = strategy ? host.cancelOrderStg : host.cancelOrder;
    if (!cancel) return;
    // The cancellation is sent under its own record's tag.
    auto record = std::make_unique<sApiOrderInfo>();
    record->tag = NextOrderTag();
    record->action = kActionCancel;
    const std::string tag = TagText(record->tag);
    char error[kHostErrorCap] = {};
    if (!cancel(found.orderNumber.c_str(), tag.c_str(),
                strategy ? strategy->text1.c_str() : nullptr, error, sizeof error)) {
      Error(HostError(error));
    }
    record->referenceNumber = reference;
    record->orderNumber = found.orderNumber;
    record->time = TimeNow();
    sApiOrderInfo* raw = record.get();
    bool post = false;
    {
      std::lock_guard lock(m_manager.Mutex());
      script->orders.push_back(raw);
      script->references[reference];
      post = QueueRowLocked(*script, raw, false, false);
      m_otherActions.push_back(std::move(record));
    }
    DeliverRows(script, post);
  }();
  Beep(script);
}

sOrderStatus COrderApi::GetOrderStatus(sApiScript* handle, std::string_view referenceNumber) {
  sOrderStatus result;
  if (OrderCallsOff() || !handle) return result;
  std::string name;
  sFound found;
  bool known = false;
  bool active = false;
  {
    // One shared pass: the handle, its state and the order's books; the
    // script is held alive by the map while the lock is held.
    std::shared_lock lock(m_manager.Mutex());
    const auto it = m_scripts.find(handle);
    if (it == m_scripts.end()) {
      lock.unlock();
      StaleHandle("zint_GetOrderStatus");
      return result;
    }
    const sApiScript& script = *it->second;
    name = script.name;
    active = script.active;
    if (active) known = FindOrderLocked(script, name, referenceNumber, found);
  }
  const char* n = name.c_str();
  if (!active) {
    Message(Format("ZintApi %s -- is not active to give the status of the order", n));
    return result;
  }
  if (!known) return result;
  const std::string reference(referenceNumber);
  if (!found.numbered) {
    Error(
        Format("ZintApi %s -- can not get status of order,  %s reference numbered order, Kovo "
               "Order Number not found",
               n, reference.c_str()));
    return result;
  }
  if (!found.hasState) return result;
  const CHostFunctions& host = m_cb.Host();
  sScripDetails details{};
  if (!host.getScripDetails ||
      !host.getScripDetails(found.state.exchange.c_str(), found.state.token.c_str(), &details)) {
    Error(
        Format("ZintApi %s -- can not get order status for %s reference numbered order(%s) "
               "because scrip information not found",
               n, reference.c_str(), found.orderNumber.c_str()));
    return result;
  }
  result.status = std::move(found.state.status);
  result.found = true;
  result.filledQuantity = found.state.filledQuantity;
  result.averagePrice = found.state.averagePrice / details.priceMultiplier;
  return result;
}

std::shared_ptr<COrderApi> FindOrderApi(CControlBlock& cb) {
  // Only the orders library puts a module in this slot.
  return std::static_pointer_cast<COrderApi>(cb.OrderModule());
}

std::shared_ptr<COrderApi> OrderApiOf(CControlBlock& cb) {
  if (auto api = FindOrderApi(cb)) return api;
  // Created on the UI thread, where the control block's message actions live.
  std::shared_ptr<COrderApi> result;
  cb.Ui().Send([&] {
    result = FindOrderApi(cb);
    if (result) return;
    result = std::make_shared<COrderApi>(cb);
    cb.SetOrderModule(result);
    cb.SetMessageAction(kCreateApiOrderDlgMsg, [&cb](uintptr_t, intptr_t lParam) -> intptr_t {
      const std::shared_ptr<COrderApi> api = FindOrderApi(cb);
      return api ? api->CreateOrdersWindow(lParam) : 0;
    });
  });
  return result;
}

}  // namespace kovo
