#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <kovozint/host_api.h>

#include "orders/api_order_details_dlg.h"

namespace kovo {

// Order actions.
inline constexpr int32_t kActionNewOrder = 1;
inline constexpr int32_t kActionModify = 2;
inline constexpr int32_t kActionCancel = 3;

// Order and validity codes.
inline constexpr int32_t kOrderTypeLimit = 1;
inline constexpr int32_t kOrderTypeSl = 3;
inline constexpr int32_t kValidityDay = 1;
inline constexpr int32_t kValidityIoc = 5;

// Hashes text keys so look-ups can take a string_view without a copy.
struct sTextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// One order action of an API script: a new order, a modification or a cancellation.
struct sApiOrderInfo {
  std::unique_ptr<sOrderEntryInfo> entry;  // null for a cancellation
  int32_t action = kActionNewOrder;
  std::string orderNumber;
  std::string tradingSymbol;
  std::string referenceNumber;
  std::string time;
  std::string price;
  std::string triggerPrice;
  int32_t transactionType = 6;
  bool awaitingConfirmation = false;
  // Unique among live actions; the host echoes it in the order's updates.
  int32_t tag = 0;
};

// The "%ld" text a tag travels as.
std::string TagText(int32_t tag);
inline constexpr size_t kTagTextCap = 12;  // "-2147483648" and its NUL
// The same text, NUL-terminated, in a caller's buffer, without an allocation.
std::string_view TagChars(int32_t tag, char (&out)[kTagTextCap]);
// A fresh tag; never 0.
int32_t NextOrderTag();

// An order-entry record as it is constructed, before any field is set.
sOrderEntryInfo NewOrderEntry();

// The latest known state of one host order.
struct sOrderParams {
  std::string exchange;
  std::string token;
  std::string status;
  std::string legCode;
  int32_t filledQuantity = 0;
  int32_t averagePrice = 0;
};

// Where a reference number was used in a script.
struct sReferenceUse {
  sApiOrderInfo* firstNewOrder = nullptr;  // null until a new order carries it
  bool reserved = false;                   // a placement is being checked
};

// One API script: the handle the order API hands to outside programs. The
// orders array and the reference index are guarded by the order manager's lock.
struct sApiScript {
  std::string name;
  bool reserved = false;
  std::string creationTime;
  std::atomic<bool> active{true};
  CApiOrderDetailsDlg ordersWindow;  // touched on the UI thread only
  std::vector<sApiOrderInfo*> orders;
  // Reference number to its use, so placing, finding and refusing stay O(1).
  std::unordered_map<std::string, sReferenceUse, sTextHash, std::equal_to<>> references;

  // Rows on their way to the orders window, oldest first, and beeps to sound
  // with them. Callers off the UI thread queue here and at most one drain
  // task waits in the UI queue per script, however fast they place.
  struct sPendingRow {
    sApiOrderInfo* record;
    bool hold;  // show the window and enable Place and Ignore
    bool beep;  // a new order's beep, if the switch is on then
  };
  std::vector<sPendingRow> pendingRows;
  int32_t pendingBeeps = 0;
  bool drainQueued = false;
};

// Copies text into a fixed field, cut to fit and NUL-terminated.
void CopyField(std::string_view text, char* out, size_t cap);
std::string_view FieldText(const char* field, size_t cap);

}  // namespace kovo
