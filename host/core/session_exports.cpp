// Receiver controls and the order book, as the plug-in calls them.
#include <cstring>
#include <string>

#include <kovozint/host_api.h>

#include "host/core/c_text.h"
#include "host/core/session.h"

using kovo::host::CopyOut;
using kovo::host::CurrentSession;

namespace {

constexpr const char* kNoSession = "the host has no back-end session";

}  // namespace

extern "C" {

KOVO_HOST_API KovoRxControl* GetQuellRxControl(int32_t kind, const KovoRxNotifier* notifier) {
  try {
    auto* session = CurrentSession();
    if (!session || !notifier) return nullptr;
    return session->CreateControl(kind, *notifier);
  } catch (...) {
    return nullptr;
  }
}

KOVO_HOST_API void DestoryQuellRxCOntrol(KovoRxControl* control) {
  try {
    if (auto* session = CurrentSession()) session->DestroyControl(control);
  } catch (...) {
  }
}

KOVO_HOST_API int32_t pu_zint_place_order2(const sOrderEntryInfo* order, const char* tag,
                                           int32_t transactionType, const char*, const char*,
                                           const char*, char* errorText, size_t errorCap) {
  try {
    CopyOut("", errorText, errorCap);
    auto* session = CurrentSession();
    std::string error = kNoSession;
    if (!order) error = "no order given";
    const int32_t ok = session && order ? session->PlaceOrder(*order, kovo::host::Text(tag),
                                                              transactionType, &error)
                                        : 0;
    if (!ok) CopyOut(error, errorText, errorCap);
    return ok;
  } catch (...) {
    CopyOut("the host failed to place the order", errorText, errorCap);
    return 0;
  }
}

KOVO_HOST_API int32_t pu_zint_place_order(const sOrderEntryInfo* order, const char* tag,
                                          int32_t transactionType, char* errorText,
                                          size_t errorCap) {
  return pu_zint_place_order2(order, tag, transactionType, nullptr, nullptr, nullptr, errorText,
                              errorCap);
}

KOVO_HOST_API int32_t pu_zint_place_order_algo(const sOrderEntryInfo* order, const char* tag,
                                               int32_t transactionType, const char*,
                                               char* errorText, size_t errorCap) {
  return pu_zint_place_order2(order, tag, transactionType, nullptr, nullptr, nullptr, errorText,
                              errorCap);
}

KOVO_HOST_API int32_t pu_zint_place_order2_algo(const sOrderEntryInfo* order, const char* tag,
                                                int32_t transactionType, const char*,
                                                char* errorText, size_t errorCap) {
  return pu_zint_place_order2(order, tag, transactionType, nullptr, nullptr, nullptr, errorText,
                              errorCap);
}

KOVO_HOST_API int32_t pu_zint_modify_order(const char* orderNumber, const char* tag,
                                           int32_t orderType, int32_t validity, int32_t quantity,
                                           int32_t price, int32_t disclosedQuantity,
                                           int32_t triggerPrice, const char*, char* errorText,
                                           size_t errorCap) {
  try {
    CopyOut("", errorText, errorCap);
    auto* session = CurrentSession();
    std::string error = kNoSession;
    const int32_t ok =
        session ? session->ModifyOrder(kovo::host::Text(orderNumber), kovo::host::Text(tag),
                                       orderType, validity, quantity, price, disclosedQuantity,
                                       triggerPrice, &error)
                : 0;
    if (!ok) CopyOut(error, errorText, errorCap);
    return ok;
  } catch (...) {
    CopyOut("the host failed to modify the order", errorText, errorCap);
    return 0;
  }
}

KOVO_HOST_API int32_t pu_zint_cancel_order(const char* orderNumber, const char* tag, const char*,
                                           char* errorText, size_t errorCap) {
  try {
    CopyOut("", errorText, errorCap);
    auto* session = CurrentSession();
    std::string error = kNoSession;
    const int32_t ok =
        session ? session->CancelOrder(kovo::host::Text(orderNumber), kovo::host::Text(tag), &error)
                : 0;
    if (!ok) CopyOut(error, errorText, errorCap);
    return ok;
  } catch (...) {
    CopyOut("the host failed to cancel the order", errorText, errorCap);
    return 0;
  }
}

}  // extern "C"
