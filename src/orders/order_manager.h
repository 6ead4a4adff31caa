#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "orders/order_records.h"
#include "plugin/host_functions.h"

namespace kovo {

// Order-update fields.
inline constexpr int32_t kFieldScriptName = 64016;
inline constexpr int32_t kFieldOrderNumber = 64001;
inline constexpr int32_t kFieldOrderTag = 64005;
inline constexpr int32_t kFieldUntracked = 64631;
inline constexpr int32_t kFieldLegCodeP = 54056;
inline constexpr int32_t kFieldLegCode = 54001;
inline constexpr int32_t kFieldExchange = 63001;
inline constexpr int32_t kFieldToken = 10100;
inline constexpr int32_t kFieldStatus = 64655;
inline constexpr int32_t kFieldFilledQuantity = 10076;
inline constexpr int32_t kFieldAveragePrice = 10322;

// Follows the host's order updates of every API script: which host order
// numbers belong to each API order (script name and tag) and the latest
// state of each host order. One lock guards these maps and the scripts'
// order arrays; it is never held across a host call.
class COrderManager {
 public:
  COrderManager();
  ~COrderManager();
  COrderManager(const COrderManager&) = delete;
  COrderManager& operator=(const COrderManager&) = delete;

  // Asks the host to deliver the script's updates here. A name registered
  // twice is registered twice.
  void Register(const CHostFunctions& host, std::string_view appName, std::string_view scriptName);
  // Creates the receiver control only; false without one.
  bool EnsureControl(const CHostFunctions& host, std::string_view appName);
  KovoRxControl* Control() const { return m_control.load(); }

  // One order update.
  void Receive(const wmp_msg* message);

  // The lock of the maps and of the scripts' order arrays.
  std::mutex& Mutex() const { return m_mutex; }
  // Look-ups; the caller holds Mutex(). Null when absent.
  const std::vector<std::string>* OrderNumbersLocked(std::string_view key) const;
  const sOrderParams* StateLocked(std::string_view orderNumber) const;

  // Key of an API order: "%s|%ld" of script name and tag.
  static std::string Key(std::string_view scriptName, int32_t tag);

 private:
  static void OnUpdate(void* self, const wmp_msg* message);
  static void OnReply(void* self, void* context, const wmp_msg* message, int32_t status);

  mutable std::mutex m_mutex;
  std::unordered_map<std::string, std::vector<std::string>, sTextHash, std::equal_to<>>
      m_orderNumbers;
  std::atomic<KovoRxControl*> m_control{nullptr};
  decltype(&DestoryQuellRxCOntrol) m_destroyControl = nullptr;
  std::unordered_map<std::string, sOrderParams, sTextHash, std::equal_to<>> m_states;
};

}  // namespace kovo
