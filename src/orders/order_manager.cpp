#include "orders/order_manager.h"

#include <cstring>
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

// "%s|%s" of two texts, on the stack when short.
class CKeyBuffer {
 public:
  CKeyBuffer(std::string_view left, std::string_view right) {
    const size_t size = left.size() + 1 + right.size();
    char* out = m_local;
    if (size > sizeof m_local) {
      m_heap.resize(size);
      out = m_heap.data();
    }
    // An empty view may have no data at all.
    if (!left.empty()) std::memcpy(out, left.data(), left.size());
    out[left.size()] = '|';
    if (!right.empty()) std::memcpy(out + left.size() + 1, right.data(), right.size());
    m_view = std::string_view(out, size);
  }
  CKeyBuffer(const CKeyBuffer&) = delete;
  CKeyBuffer& operator=(const CKeyBuffer&) = delete;
  std::string_view View() const { return m_view; }
  std::string String() const { return std::string(m_view); }

 private:
  char m_local[96];
  std::string m_heap;
  std::string_view m_view;
};

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

  // The key "%s|%s" of script name and tag, built on the stack for the usual
  // short names.
  CKeyBuffer key(script, tag);

  std::lock_guard lock(m_mutex);
  auto list = m_orderNumbers.find(key.View());
  if (list == m_orderNumbers.end()) list = m_orderNumbers.try_emplace(key.String()).first;
  sNumbers& entry = list->second;
  sOrderParams* params = nullptr;
  if (entry.lastState && entry.numbers.back() == number) {
    params = entry.lastState;
  } else {
    auto state = m_states.find(number);
    if (state == m_states.end()) state = m_states.try_emplace(std::string(number)).first;
    params = &state->second;
  }
  entry.numbers.emplace_back(number);
  entry.lastState = params;
  params->status.assign(status);
  params->legCode.assign(legCode);
  params->exchange.assign(exchange);
  params->token.assign(token);
  params->filledQuantity = filled;
  params->averagePrice = average;
}

const std::vector<std::string>* COrderManager::OrderNumbersLocked(std::string_view key) const {
  const auto it = m_orderNumbers.find(key);
  return it == m_orderNumbers.end() ? nullptr : &it->second.numbers;
}

const std::vector<std::string>* COrderManager::OrderNumbersLocked(std::string_view scriptName,
                                                                  int32_t tag) const {
  char digits[kTagTextCap];
  const CKeyBuffer key(scriptName, TagChars(tag, digits));
  return OrderNumbersLocked(key.View());
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
