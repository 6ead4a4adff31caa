#include "orders/order_manager.h"

#include <string>

#include "base/number.h"

namespace kovo {

namespace {

bool FieldView(const wmp_msg* message, int32_t field, std::string_view& out) {
  wmp_value value{};
  if (!wmp_get_data(message, field, 0, &value, nullptr)) return false;
  out = std::string_view(static_cast<const char*>(value.data), static_cast<size_t>(value.length));
  return true;
}

int32_t Integer(const wmp_msg* message, int32_t field) {
  std::string_view text;
  return FieldView(message, field, text) ? LeadingInt32(text) : 0;
}

}  // namespace

COrderManager::COrderManager() {
  m_orderNumbers.reserve(17);
  m_states.reserve(17);
}

COrderManager::~COrderManager() {
  std::lock_guard lock(m_mutex);
  m_states.clear();
  if (KovoRxControl* control = m_control.exchange(nullptr); control && m_destroyControl) {
    m_destroyControl(control);
  }
}

std::string COrderManager::Key(std::string_view scriptName, int32_t tag) {
  std::string key(scriptName);
  key += '|';
  key += TagText(tag);
  return key;
}

bool COrderManager::EnsureControl(const CHostFunctions& host, std::string_view appName) {
  if (!host.getRxControl) return false;
  if (m_control.load()) return true;
  const KovoRxNotifier notifier{&COrderManager::OnUpdate, &COrderManager::OnReply, this};
  const int32_t kind = appName == "kovo_trader_now" ? KOVO_RX_ORDER_UPDATES : KOVO_RX_REQUESTS;
  KovoRxControl* created = host.getRxControl(kind, &notifier);
  if (!created) return false;
  KovoRxControl* expected = nullptr;
  if (!m_control.compare_exchange_strong(expected, created)) {
    // Another caller got there first; ours goes back.
    if (host.destroyRxControl) host.destroyRxControl(created);
    return true;
  }
  m_destroyControl = host.destroyRxControl;
  return true;
}

void COrderManager::Register(const CHostFunctions& host, std::string_view appName,
                             std::string_view scriptName) {
  if (!EnsureControl(host, appName)) return;
  KovoRxControl* control = m_control.load();
  if (!control->ops || !control->ops->addFilter) return;
  const std::string name(scriptName);
  const KovoFieldMatch pairs[] = {
      {kFieldScriptName, name.c_str(), static_cast<int64_t>(name.size())},
      {kFieldOrderNumber, nullptr, 0},
      {kFieldOrderTag, nullptr, 0},
  };
  int32_t error = 0;
  control->ops->addFilter(control, pairs, 3, &error);
}

void COrderManager::Receive(const wmp_msg* message) {
  if (!message) return;
  if (wmp_get_field(message, kFieldUntracked, nullptr, nullptr) > 0) return;
  std::string_view script, number, tag, legCode, exchange, token, status;
  if (!FieldView(message, kFieldScriptName, script) ||
      !FieldView(message, kFieldOrderNumber, number) || !FieldView(message, kFieldOrderTag, tag)) {
    return;
  }
  if (!FieldView(message, kFieldLegCodeP, legCode) || legCode != "P") {
    if (!FieldView(message, kFieldLegCode, legCode)) return;
  }
  FieldView(message, kFieldExchange, exchange);
  FieldView(message, kFieldToken, token);
  if (!FieldView(message, kFieldStatus, status)) return;
  const int32_t filled = Integer(message, kFieldFilledQuantity);
  const int32_t average = Integer(message, kFieldAveragePrice);

  std::string key;
  key.reserve(script.size() + 1 + tag.size());
  key.append(script).append(1, '|').append(tag);

  std::lock_guard lock(m_mutex);
  auto list = m_orderNumbers.find(std::string_view(key));
  if (list == m_orderNumbers.end()) list = m_orderNumbers.try_emplace(std::move(key)).first;
  list->second.emplace_back(number);
  auto state = m_states.find(number);
  if (state == m_states.end()) state = m_states.try_emplace(std::string(number)).first;
  sOrderParams& params = state->second;
  params.status.assign(status);
  params.legCode.assign(legCode);
  params.exchange.assign(exchange);
  params.token.assign(token);
  params.filledQuantity = filled;
  params.averagePrice = average;
}

const std::vector<std::string>* COrderManager::OrderNumbersLocked(std::string_view key) const {
  const auto it = m_orderNumbers.find(key);
  return it == m_orderNumbers.end() ? nullptr : &it->second;
}

const sOrderParams* COrderManager::StateLocked(std::string_view orderNumber) const {
  const auto it = m_states.find(orderNumber);
  return it == m_states.end() ? nullptr : &it->second;
}

void COrderManager::OnUpdate(void* self, const wmp_msg* message) {
  try {
    static_cast<COrderManager*>(self)->Receive(message);
  } catch (...) {
    // An update we cannot keep is dropped; the host's thread must go on.
  }
}

void COrderManager::OnReply(void*, void*, const wmp_msg*, int32_t) {}

}  // namespace kovo
