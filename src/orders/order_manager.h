#pragma once

#include <atomic>
#include <mutex>
#include <shared_mutex>
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
// state of each host order. One reader-writer lock guards these maps and the
// scripts' order arrays: look-ups share it, changes hold it alone. It is
// never held across a host call.
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

  // The lock of the maps and of the scripts' order arrays; readers may take
  // it shared.
  std::shared_mutex& Mutex() const { return m_mutex; }
  // Look-ups; the caller holds Mutex() (shared is enough). Null when absent.
  const std::vector<std::string>* OrderNumbersLocked(std::string_view key) const;
  const std::vector<std::string>* OrderNumbersLocked(std::string_view scriptName,
                                                     int32_t tag) const;
  const sOrderParams* StateLocked(std::string_view orderNumber) const;

  // Key of an API order: "%s|%ld" of script name and tag.
  static std::string Key(std::string_view scriptName, int32_t tag);

 private:
  static void OnUpdate(void* self, const wmp_msg* message);
  static void OnReply(void* self, void* context, const wmp_msg* message, int32_t status);

  // The numbers of one API order, and the state of the last one, so that the
  // usual update (the same order again) needs one look-up, not two.
  struct sNumbers {
    std::vector<std::string> numbers;
    sOrderParams* lastState = nullptr;
  };

  mutable std::shared_mutex m_mutex;
  std::unordered_map<std::string, sNumbers, sTextHash, std::equal_to<>> m_orderNumbers;
  std::atomic<KovoRxControl*> m_control{nullptr};
  decltype(&DestoryQuellRxCOntrol) m_destroyControl = nullptr;
  // Entries are never removed while the manager lives, so pointers to them hold.
  std::unordered_map<std::string, sOrderParams, sTextHash, std::equal_to<>> m_states;
};

}  // namespace kovo
