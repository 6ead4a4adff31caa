#include "host/core/session.h"

#include <algorithm>
#include <cstring>

#include <connectkovo/connectkovo.hpp>

#include "backend/protocol.h"
#include "base/number.h"
#include "host/core/c_text.h"

namespace kovo::host {

struct CHostSession::Control : KovoRxControl {
  CHostSession* session = nullptr;
  int32_t kind = 0;
  KovoRxNotifier notifier{};
  std::atomic<bool> stopped{false};
  std::vector<Matcher> watches;  // registered with the back end
  std::vector<Matcher> filters;  // matched here only
};

namespace {

std::atomic<CHostSession*> g_session{nullptr};

CHostSession::Control* AsControl(KovoRxControl* c) {
  return static_cast<CHostSession::Control*>(c);
}

int32_t OpSend(KovoRxControl* c, void* context, wmp_builder* builder, int32_t, int32_t* error) {
  try {
    return c ? AsControl(c)->session->Send(*AsControl(c), context, builder, error) : 0;
  } catch (...) {
    if (error) *error = WMP_ERR_NO_MEMORY;
    return 0;
  }
}

int64_t OpAddWatch(KovoRxControl* c, const KovoFieldMatch* pairs, int32_t count, int32_t* error) {
  try {
    return c ? AsControl(c)->session->AddWatch(*AsControl(c), pairs, count, error) : 0;
  } catch (...) {
    if (error) *error = WMP_ERR_NO_MEMORY;
    return 0;
  }
}

int32_t OpRemoveWatch(KovoRxControl* c, int64_t handle, int32_t* error) {
  try {
    return c ? AsControl(c)->session->RemoveWatch(*AsControl(c), handle, error) : 0;
  } catch (...) {
    if (error) *error = WMP_ERR_NO_MEMORY;
    return 0;
  }
}

int32_t OpAddFilter(KovoRxControl* c, const KovoFieldMatch* pairs, int32_t count, int32_t* error) {
  try {
    return c ? AsControl(c)->session->AddFilter(*AsControl(c), pairs, count, error) : 0;
  } catch (...) {
    if (error) *error = WMP_ERR_NO_MEMORY;
    return 0;
  }
}

int32_t OpStop(KovoRxControl* c) {
  try {
    return c ? AsControl(c)->session->StopControl(*AsControl(c)) : 0;
  } catch (...) {
    return 0;
  }
}

const KovoRxControlOps kOps{OpSend, OpAddWatch, OpRemoveWatch, OpAddFilter, OpStop};

int32_t Fail(int32_t* error, int32_t code) {
  if (error) *error = code;
  return 0;
}

}  // namespace

void InstallSession(CHostSession* session) {
  g_session = session;
}
CHostSession* CurrentSession() {
  return g_session.load();
}

CHostSession::CHostSession(UiThread& ui, SessionHooks hooks)
    : m_ui(ui),
      m_hooks(std::move(hooks)),
      m_client(
          [this](std::string frame) {
            // Decoding and routing happen on the UI thread, where notifiers run.
            std::weak_ptr<CHostSession*> alive = m_alive;
            m_ui.Post([alive, f = std::move(frame)] {
              if (auto self = alive.lock()) (*self)->OnFrame(f);
            });
          },
          [this](std::string reason) {
            std::weak_ptr<CHostSession*> alive = m_alive;
            m_ui.Post([alive, r = std::move(reason)] {
              if (auto self = alive.lock()) (*self)->OnClosed(r);
            });
          }),
      m_alive(std::make_shared<CHostSession*>(this)) {}

CHostSession::~CHostSession() {
  // The reader thread reads m_alive; it must be gone first.
  m_client.Close();
  m_alive.reset();
  if (CurrentSession() == this) InstallSession(nullptr);
}

void CHostSession::Log(const std::string& line) const {
  if (m_hooks.log) m_hooks.log(line);
}

bool CHostSession::Connect(const std::string& host, uint16_t port, std::string* error) {
  m_ready = false;
  if (!m_client.Connect(host, port, error)) return false;
  Log("Connected to the back end at " + host + ":" + std::to_string(port));
  // Watches survive a reconnect.
  std::vector<std::string> frames;
  {
    std::lock_guard lock(m_mutex);
    for (auto& [raw, control] : m_controls)
      for (const Matcher& w : control->watches)
        frames.push_back(RegisterWatchFrame(w.handle, w.pairs));
  }
  for (std::string& f : frames) SendInternal(std::move(f), "kovo_add_watch", nullptr);
  connectkovo::Writer w;
  w.Start().Add(wire::kRequest, "xr_get_scrip_master");
  return SendInternal(std::string(w.Frame()), "xr_get_scrip_master",
                      [this](const wmp_msg* reply) { LoadScripMaster(reply); });
}

void CHostSession::Disconnect() {
  m_client.Close();
  m_ready = false;
}

bool CHostSession::IsConnected() const {
  return m_client.Connected();
}

KovoRxControl* CHostSession::CreateControl(int32_t kind, const KovoRxNotifier& notifier) {
  if (kind < KOVO_RX_REQUESTS || kind > KOVO_RX_ORDER_UPDATES) return nullptr;
  auto control = std::make_shared<Control>();
  control->ops = &kOps;
  control->session = this;
  control->kind = kind;
  control->notifier = notifier;
  std::lock_guard lock(m_mutex);
  Control* raw = control.get();
  m_controls.emplace(raw, std::move(control));
  return raw;
}

void CHostSession::DestroyControl(KovoRxControl* control) {
  if (!control) return;
  // Serialised with deliveries, which run on the UI thread.
  if (!m_ui.IsUiThread() && m_ui.Send([this, control] { DestroyControl(control); })) return;
  Control* raw = AsControl(control);
  StopControl(*raw);
  std::lock_guard lock(m_mutex);
  // A delivery in progress holds its own reference; the control goes when it ends.
  m_controls.erase(raw);
}

size_t CHostSession::ControlCount() const {
  std::lock_guard lock(m_mutex);
  return m_controls.size();
}

size_t CHostSession::WatchCount() const {
  std::lock_guard lock(m_mutex);
  size_t count = 0;
  for (const auto& [raw, control] : m_controls) count += control->watches.size();
  return count;
}

std::vector<CHostSession::Pair> CHostSession::ToPairs(const KovoFieldMatch* pairs, int32_t count) {
  std::vector<Pair> out;
  for (int32_t i = 0; i < count; ++i) {
    const KovoFieldMatch& m = pairs[i];
    if (m.fieldId < 0) return {};
    if (!m.value) {
      out.push_back({m.fieldId, {}, true});
    } else {
      const size_t length = m.length < 0 ? std::strlen(m.value) : static_cast<size_t>(m.length);
      out.push_back({m.fieldId, std::string(m.value, length), false});
    }
  }
  return out;
}

bool CHostSession::Matches(const std::vector<Pair>& pairs, const wmp_msg* message) {
  for (const Pair& p : pairs) {
    const int32_t count = wmp_get_field(message, p.field, nullptr, nullptr);
    if (count == 0) return false;
    if (p.any) continue;
    bool found = false;
    for (int32_t i = 0; i < count && !found; ++i) {
      wmp_value v{};
      wmp_get_data(message, p.field, i, &v, nullptr);
      found = static_cast<size_t>(v.length) == p.value.size() &&
              (p.value.empty() || std::memcmp(v.data, p.value.data(), p.value.size()) == 0);
    }
    if (!found) return false;
  }
  return true;
}

int32_t CHostSession::Send(Control& control, void* context, wmp_builder* builder, int32_t* error) {
  if (control.stopped) return Fail(error, KOVO_RX_ERR_STOPPED);
  const void* data = nullptr;
  size_t length = 0;
  if (!wmp_built_frame(builder, &data, &length, error)) return 0;
  std::string frame(static_cast<const char*>(data), length);
  connectkovo::Message request;
  if (request.Decode(frame) != WMP_OK) return Fail(error, WMP_ERR_MALFORMED);
  if (!IsConnected()) return Fail(error, KOVO_RX_ERR_NOT_CONNECTED);
  const int64_t id = m_nextRequest++;
  if (!connectkovo::AppendEntry(frame, wire::kRequestId, std::to_string(id)))
    return Fail(error, WMP_ERR_TOO_LARGE);
  std::shared_ptr<Control> owner;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_controls.find(&control);
    if (it == m_controls.end()) return Fail(error, KOVO_RX_ERR_STOPPED);
    owner = it->second;
    m_pending[id] = Pending{owner, context, request.Text(wire::kRequest), nullptr};
  }
  if (!m_client.Send(frame)) {
    std::lock_guard lock(m_mutex);
    m_pending.erase(id);
    return Fail(error, KOVO_RX_ERR_NOT_CONNECTED);
  }
  if (m_traffic) m_traffic(SessionTraffic::kRequest, request.Get());
  if (error) *error = WMP_OK;
  return 1;
}

std::function<void(const wmp_msg*)> CHostSession::LogFailure(std::string what) const {
  return [this, what = std::move(what)](const wmp_msg* reply) {
    // Only a non-empty last error value is a refusal; an empty one closes a
    // reply that went well.
    const int32_t count = wmp_get_field(reply, wire::kErrorText, nullptr, nullptr);
    wmp_value v{};
    if (count <= 0 || !wmp_get_data(reply, wire::kErrorText, count - 1, &v, nullptr) ||
        v.length == 0)
      return;
    Log(what + " refused by the back end: " +
        std::string(static_cast<const char*>(v.data), static_cast<size_t>(v.length)));
  };
}

bool CHostSession::SendInternal(std::string frame, std::string name,
                                std::function<void(const wmp_msg*)> done) {
  const int64_t id = m_nextRequest++;
  if (!connectkovo::AppendEntry(frame, wire::kRequestId, std::to_string(id))) return false;
  {
    std::lock_guard lock(m_mutex);
    m_pending[id] = Pending{{}, nullptr, std::move(name), std::move(done)};
  }
  if (m_client.Send(frame)) return true;
  std::lock_guard lock(m_mutex);
  m_pending.erase(id);
  return false;
}

std::string CHostSession::RegisterWatchFrame(int64_t handle, const std::vector<Pair>& pairs) {
  connectkovo::Writer w;
  w.Start().Add(wire::kRequest, "kovo_add_watch");
  w.Add(wire::kWatchId, handle);
  for (const Pair& p : pairs) {
    w.Add(wire::kWatchField, int64_t{p.field});
    w.Add(wire::kWatchValue, p.value);
    w.Add(wire::kWatchAny, p.any ? "1" : "0");
  }
  return std::string(w.Frame());
}

int64_t CHostSession::AddWatch(Control& control, const KovoFieldMatch* pairs, int32_t count,
                               int32_t* error) {
  if (!pairs || count <= 0) return Fail(error, WMP_ERR_ARGUMENT);
  if (control.stopped) return Fail(error, KOVO_RX_ERR_STOPPED);
  std::vector<Pair> list = ToPairs(pairs, count);
  if (list.empty()) return Fail(error, WMP_ERR_ARGUMENT);
  const int64_t handle = m_nextHandle++;
  std::string frame = RegisterWatchFrame(handle, list);
  {
    std::lock_guard lock(m_mutex);
    control.watches.push_back({handle, std::move(list)});
  }
  // Kept even while disconnected: the next connection registers it.
  if (IsConnected()) {
    SendInternal(std::move(frame), "kovo_add_watch", LogFailure("watch " + std::to_string(handle)));
  }
  if (error) *error = WMP_OK;
  return handle;
}

int32_t CHostSession::RemoveWatch(Control& control, int64_t handle, int32_t* error) {
  {
    std::lock_guard lock(m_mutex);
    const auto before = control.watches.size();
    std::erase_if(control.watches, [&](const Matcher& m) { return m.handle == handle; });
    if (before == control.watches.size()) return Fail(error, WMP_ERR_NOT_FOUND);
  }
  if (IsConnected()) {
    connectkovo::Writer w;
    w.Start().Add(wire::kRequest, "kovo_remove_watch");
    w.Add(wire::kWatchId, handle);
    SendInternal(std::string(w.Frame()), "kovo_remove_watch", nullptr);
  }
  if (error) *error = WMP_OK;
  return 1;
}

int32_t CHostSession::AddFilter(Control& control, const KovoFieldMatch* pairs, int32_t count,
                                int32_t* error) {
  if (!pairs || count <= 0) return Fail(error, WMP_ERR_ARGUMENT);
  if (control.stopped) return Fail(error, KOVO_RX_ERR_STOPPED);
  std::vector<Pair> list = ToPairs(pairs, count);
  if (list.empty()) return Fail(error, WMP_ERR_ARGUMENT);
  std::lock_guard lock(m_mutex);
  control.filters.push_back({m_nextHandle++, std::move(list)});
  if (error) *error = WMP_OK;
  return 1;
}

int32_t CHostSession::StopControl(Control& control) {
  std::vector<int64_t> handles;
  {
    std::lock_guard lock(m_mutex);
    if (control.stopped.exchange(true)) return 1;
    for (const Matcher& m : control.watches) handles.push_back(m.handle);
    control.watches.clear();
    control.filters.clear();
  }
  if (IsConnected()) {
    for (int64_t h : handles) {
      connectkovo::Writer w;
      w.Start().Add(wire::kRequest, "kovo_remove_watch");
      w.Add(wire::kWatchId, h);
      SendInternal(std::string(w.Frame()), "kovo_remove_watch", nullptr);
    }
  }
  return 1;
}

void CHostSession::OnFrame(const std::string& frame) {
  connectkovo::Message message;
  if (message.Decode(frame) != WMP_OK) {
    Log("Dropped a malformed message from the back end");
    return;
  }
  const wmp_msg* msg = message.Get();
  if (message.Has(wire::kRequestId)) {
    const int64_t id = LeadingInt64(message.View(wire::kRequestId));
    const bool final = message.View(wire::kFinal) == "1";
    Pending pending;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_pending.find(id);
      if (it == m_pending.end()) return;
      pending = final ? std::move(it->second) : it->second;
      if (final) m_pending.erase(it);
    }
    if (pending.internal) {
      pending.internal(msg);
    } else if (auto control = pending.control.lock(); control && !control->stopped) {
      if (m_traffic) m_traffic(SessionTraffic::kReply, msg);
      if (control->notifier.onReply)
        control->notifier.onReply(control->notifier.self, pending.context, msg, 0);
    }
    return;
  }
  // A broadcast: every control with a matching watch or filter gets it once.
  std::vector<std::shared_ptr<Control>> targets;
  {
    std::lock_guard lock(m_mutex);
    for (auto& [raw, control] : m_controls) {
      if (control->stopped) continue;
      bool match = false;
      for (const Matcher& m : control->watches) match = match || Matches(m.pairs, msg);
      for (const Matcher& m : control->filters) match = match || Matches(m.pairs, msg);
      if (match) targets.push_back(control);
    }
  }
  for (const auto& control : targets) {
    if (control->stopped) continue;
    if (m_traffic) m_traffic(SessionTraffic::kBroadcast, msg);
    if (control->notifier.onBroadcast) control->notifier.onBroadcast(control->notifier.self, msg);
  }
}

void CHostSession::OnClosed(const std::string& reason) {
  m_ready = false;
  Log("Connection to the back end lost: " + reason);
  // Requests in flight fail, each with its own name, so their owners can report it.
  std::map<int64_t, Pending> pending;
  {
    std::lock_guard lock(m_mutex);
    pending.swap(m_pending);
  }
  for (auto& [id, p] : pending) {
    auto control = p.control.lock();
    if (!control || control->stopped || !control->notifier.onReply) continue;
    connectkovo::Writer w;
    w.Start().Add(wire::kReplyRequest, p.name);
    w.Add(wire::kErrorText, "connection to the back end lost");
    connectkovo::Message failure;
    failure.Decode(w.Frame());
    control->notifier.onReply(control->notifier.self, p.context, failure.Get(), 1);
  }
}

void CHostSession::LoadScripMaster(const wmp_msg* reply) {
  const int32_t count = wmp_get_field(reply, wire::kScripText0, nullptr, nullptr);
  std::vector<sScripDetails> scrips;
  scrips.reserve(static_cast<size_t>(count));
  auto text = [&](int32_t field, int32_t index) {
    wmp_value v{};
    if (!wmp_get_data(reply, field, index, &v, nullptr)) return std::string();
    return std::string(static_cast<const char*>(v.data), static_cast<size_t>(v.length));
  };
  for (int32_t i = 0; i < count; ++i) {
    sScripDetails d{};
    for (int t = 0; t < KOVO_SCRIP_TEXTS; ++t)
      CopyOut(text(wire::kScripText0 + t, i), d.texts[t], KOVO_SCRIP_TEXT_LEN);
    d.pricePrecision = LeadingInt32(text(wire::kScripPrecision, i));
    d.priceMultiplier = LeadingDouble(text(wire::kScripMultiplier, i));
    d.quantityMultiplier = LeadingInt32(text(wire::kScripQuantityMultiplier, i));
    if (d.priceMultiplier <= 0) d.priceMultiplier = 100.0;
    if (d.quantityMultiplier <= 0) d.quantityMultiplier = 1;
    scrips.push_back(d);
  }
  Log("Scrip master loaded: " + std::to_string(scrips.size()) + " scrips");
  if (m_hooks.loadScrips) m_hooks.loadScrips(std::move(scrips));
  m_ready = true;
  if (m_hooks.ready) m_hooks.ready();
}

int32_t CHostSession::PlaceOrder(const sOrderEntryInfo& order, std::string_view tag,
                                 int32_t transactionType, std::string* error) {
  const std::string_view key = Fixed(order.scripKey, sizeof order.scripKey);
  const size_t bar = key.find('|');
  if (bar == std::string_view::npos || bar == 0 || bar + 1 == key.size()) {
    if (error) *error = "scrip key must be exchange segment|token";
    return 0;
  }
  if (transactionType != KOVO_TXN_BUY && transactionType != KOVO_TXN_SELL) {
    if (error) *error = "transaction type must be 1 (buy) or 2 (sell)";
    return 0;
  }
  if (!IsConnected()) {
    if (error) *error = "not connected to the back end";
    return 0;
  }
  const std::string number = std::to_string(m_nextOrder++);
  connectkovo::Writer w;
  w.Start().Add(wire::kRequest, "kovo_place_order");
  w.Add(wire::kOrderNumber, number);
  w.Add(wire::kOrderTag, tag);
  w.Add(wire::kScriptName, Fixed(order.strategy, sizeof order.strategy));
  w.Add(wire::kExchSeg, key.substr(0, bar));
  w.Add(wire::kToken, key.substr(bar + 1));
  w.Add(wire::kSide, int64_t{transactionType});
  w.Add(wire::kOrderType, int64_t{order.orderType});
  w.Add(wire::kValidity, int64_t{order.validity});
  w.Add(wire::kQuantity, int64_t{order.quantity});
  w.Add(wire::kPrice, int64_t{order.price});
  w.Add(wire::kTriggerPrice, int64_t{order.triggerPrice});
  w.Add(wire::kDisclosedQuantity, int64_t{order.disclosedQuantity});
  w.Add(wire::kProductType, Fixed(order.productType, sizeof order.productType));
  w.Add(wire::kClientAccount, order.proprietary
                                  ? std::string_view("PRO")
                                  : Fixed(order.clientAccount, sizeof order.clientAccount));
  const bool sent =
      SendInternal(std::string(w.Frame()), "kovo_place_order", LogFailure("order " + number));
  if (!sent && error) *error = "not connected to the back end";
  if (sent) Log("Order " + number + " sent (tag " + std::string(tag) + ")");
  return sent ? 1 : 0;
}

int32_t CHostSession::ModifyOrder(std::string_view orderNumber, std::string_view tag,
                                  int32_t orderType, int32_t validity, int32_t quantity,
                                  int32_t price, int32_t disclosed, int32_t trigger,
                                  std::string* error) {
  if (orderNumber.empty()) {
    if (error) *error = "order number is missing";
    return 0;
  }
  connectkovo::Writer w;
  w.Start().Add(wire::kRequest, "kovo_modify_order");
  w.Add(wire::kOrderNumber, orderNumber);
  w.Add(wire::kOrderTag, tag);
  w.Add(wire::kOrderType, int64_t{orderType});
  w.Add(wire::kValidity, int64_t{validity});
  w.Add(wire::kQuantity, int64_t{quantity});
  w.Add(wire::kPrice, int64_t{price});
  w.Add(wire::kDisclosedQuantity, int64_t{disclosed});
  w.Add(wire::kTriggerPrice, int64_t{trigger});
  const bool sent = IsConnected() &&
                    SendInternal(std::string(w.Frame()), "kovo_modify_order",
                                 LogFailure("modification of order " + std::string(orderNumber)));
  if (!sent && error) *error = "not connected to the back end";
  return sent ? 1 : 0;
}

int32_t CHostSession::CancelOrder(std::string_view orderNumber, std::string_view tag,
                                  std::string* error) {
  if (orderNumber.empty()) {
    if (error) *error = "order number is missing";
    return 0;
  }
  connectkovo::Writer w;
  w.Start().Add(wire::kRequest, "kovo_cancel_order");
  w.Add(wire::kOrderNumber, orderNumber);
  w.Add(wire::kOrderTag, tag);
  const bool sent = IsConnected() &&
                    SendInternal(std::string(w.Frame()), "kovo_cancel_order",
                                 LogFailure("cancellation of order " + std::string(orderNumber)));
  if (!sent && error) *error = "not connected to the back end";
  return sent ? 1 : 0;
}

bool CHostSession::RequestTickBurst(std::string_view exchSeg, std::string_view token,
                                    int64_t count) {
  connectkovo::Writer w;
  w.Start().Add(wire::kRequest, "kovo_tick_burst");
  w.Add(wire::kExchSeg, exchSeg);
  w.Add(wire::kToken, token);
  w.Add(wire::kBurstCount, count);
  return IsConnected() &&
         SendInternal(std::string(w.Frame()), "kovo_tick_burst", LogFailure("tick burst"));
}

}  // namespace kovo::host
