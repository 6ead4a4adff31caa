#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "orders/order_manager.h"
#include "orders/order_records.h"
#include "orders/scripts_view_dlg.h"
#include "plugin/session_module.h"

namespace kovo {

class CControlBlock;
class CSignalWatchers;

// The caller's order, as texts and numbers.
struct sPlaceRequest {
  std::string transactionType;
  std::string referenceNumber;
  std::string exchange;
  std::string tradingSymbol;
  std::string validity;
  std::string orderType;
  int32_t quantity = 0;
  double price = 0;
  double triggerPrice = 0;
  int32_t disclosedQuantity = 0;
  std::string productType;
  std::string clientId;
};

struct sModifyRequest {
  std::string referenceNumber;
  std::string validity;
  std::string orderType;
  int32_t quantity = 0;
  double price = 0;
  double triggerPrice = 0;
  int32_t disclosedQuantity = 0;
};

// The strategy texts of the strategy variants; absent for the plain calls.
struct sStrategyTexts {
  std::string text1;
  std::string text2;
  std::string text3;
};

struct sOrderStatus {
  std::string status = "Order Not found";
  bool found = false;  // the numeric outputs are set only then
  int32_t filledQuantity = 0;
  double averagePrice = 0;
};

// A price in the scrip's integer units: floor(value of the "%.*lf" text x
// 10^precision x k + 0.5), k = multiplier / 10^precision truncated; -1 past
// the 32-bit range. text receives the printed form.
int32_t PriceUnits(double price, int32_t precision, double multiplier, std::string* text);

// The behaviour behind the order exports, for one control block: the order
// manager, the scripts list, every API order. Runs on the callers' threads;
// anything touching a window is sent to the UI thread.
class COrderApi final : public CSessionModule, public std::enable_shared_from_this<COrderApi> {
 public:
  explicit COrderApi(CControlBlock& cb);
  ~COrderApi() override;
  COrderApi(const COrderApi&) = delete;
  COrderApi& operator=(const COrderApi&) = delete;

  sApiScript* GetApiScript(sApiScript* existing, std::string_view name);
  void DeleteApiScript(sApiScript* script);
  void PlaceOrder(sApiScript* script, const sPlaceRequest& request, const sStrategyTexts* strategy);
  void ModifyOrder(sApiScript* script, const sModifyRequest& request,
                   const sStrategyTexts* strategy);
  void CancelOrder(sApiScript* script, std::string_view referenceNumber,
                   const sStrategyTexts* strategy);
  sOrderStatus GetOrderStatus(sApiScript* script, std::string_view referenceNumber);

  // Stop and Resume of the scripts pane.
  void SetActive(sApiScript* script, bool active);

  COrderManager& Manager() { return m_manager; }
  // UI thread only.
  CScriptsViewDlg& ScriptsView() { return m_scriptsView; }
  // Answer to the control block's create-orders-window message; UI thread.
  intptr_t CreateOrdersWindow(intptr_t scriptParam);

  size_t ApiOrderCount() const;

  // The session's signal watchers; UI thread.
  CSignalWatchers& Watchers();
  // Tells every watcher to end at once; UI thread.
  void StopWatchers();
  void WakeWorkers() override { StopWatchers(); }

 private:
  struct sFound;
  std::shared_ptr<sApiScript> Resolve(sApiScript* script, std::string_view what, std::string* name);
  // The message for a handle that is not (or no longer) an open script.
  void StaleHandle(std::string_view what) const;
  bool OrderCallsOff() const;
  bool FindOrderLocked(const sApiScript& script, const std::string& name,
                       std::string_view referenceNumber, sFound& found) const;
  void Message(std::string_view text) const;
  void Error(std::string_view text) const;
  // The beep of a modification or cancellation, when the switch is on.
  void Beep(const std::shared_ptr<sApiScript>& script);
  // Queues a row for the script's window (and the beep of a new order); the
  // caller holds the manager's lock. True when a drain must be handed to the
  // UI thread once the lock is released.
  static bool QueueRowLocked(sApiScript& script, sApiOrderInfo* record, bool hold, bool beep);
  // After the lock: on the UI thread the queued rows go in at once,
  // elsewhere one drain task is posted when `post` says so.
  void DeliverRows(const std::shared_ptr<sApiScript>& script, bool post);
  // UI thread: every queued row into the window, in queue order.
  void DrainRows(sApiScript& script);
  void ShowRow(sApiScript& script, sApiOrderInfo* record, bool hold, bool beep);

  CControlBlock& m_cb;
  COrderManager m_manager;
  // Live handles, so a stale or foreign pointer is refused instead of followed.
  std::unordered_map<const sApiScript*, std::shared_ptr<sApiScript>> m_scripts;
  // The list of all API orders (new orders) and the other actions' records.
  std::deque<std::unique_ptr<sApiOrderInfo>> m_apiOrders;
  std::deque<std::unique_ptr<sApiOrderInfo>> m_otherActions;
  CScriptsViewDlg m_scriptsView;
  std::unique_ptr<CSignalWatchers> m_watchers;
};

// The order API of a control block, created on first use and owned by the
// control block (it dies with the session). Null when the UI thread is gone.
std::shared_ptr<COrderApi> OrderApiOf(CControlBlock& cb);
// The order API of a control block if it has one; never creates it.
std::shared_ptr<COrderApi> FindOrderApi(CControlBlock& cb);

}  // namespace kovo
