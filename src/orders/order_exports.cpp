// The order API's C entry points: exception-proof shells over COrderApi.
#include <kovozint/kovozint.h>

#include <cstring>
#include <string>

#include "base/text.h"
#include "orders/order_api.h"
#include "plugin/control_block.h"
#include "plugin/plugin_info.h"
#include "plugin/plugin_instance.h"

namespace {

std::string Text(const char* s) {
  return s ? std::string(s) : std::string();
}

using kovo::CopyOut;

// The order API of the running session; null before the control block exists.
std::shared_ptr<kovo::COrderApi> Api() {
  kovo::CControlBlock* cb = kovo::ThePlugin().ControlBlock();
  return cb ? kovo::OrderApiOf(*cb) : nullptr;
}

// Something went wrong inside: say so where the user looks, never throw into the caller.
void ReportFailure(const char* what) {
  try {
    if (kovo::CControlBlock* cb = kovo::ThePlugin().ControlBlock()) {
      cb->Report(std::string(what) + " failed inside the plug-in", kovo::kReportError);
    }
  } catch (...) {
  }
}

kovo::sPlaceRequest PlaceRequest(const char* transactionType, const char* referenceNumber,
                                 const char* exchange, const char* tradingSymbol,
                                 const char* validity, const char* orderType, int32_t quantity,
                                 double price, double triggerPrice, int32_t disclosedQuantity,
                                 const char* productType, const char* clientId) {
  kovo::sPlaceRequest r;
  r.transactionType = Text(transactionType);
  r.referenceNumber = Text(referenceNumber);
  r.exchange = Text(exchange);
  r.tradingSymbol = Text(tradingSymbol);
  r.validity = Text(validity);
  r.orderType = Text(orderType);
  r.quantity = quantity;
  r.price = price;
  r.triggerPrice = triggerPrice;
  r.disclosedQuantity = disclosedQuantity;
  r.productType = Text(productType);
  r.clientId = Text(clientId);
  return r;
}

kovo::sModifyRequest ModifyRequest(const char* referenceNumber, const char* validity,
                                   const char* orderType, int32_t quantity, double price,
                                   double triggerPrice, int32_t disclosedQuantity) {
  kovo::sModifyRequest r;
  r.referenceNumber = Text(referenceNumber);
  r.validity = Text(validity);
  r.orderType = Text(orderType);
  r.quantity = quantity;
  r.price = price;
  r.triggerPrice = triggerPrice;
  r.disclosedQuantity = disclosedQuantity;
  return r;
}

// The C handle is opaque; the order API checks it against its live scripts before use.
kovo::sApiScript* Script(sApiScript* handle) {
  return reinterpret_cast<kovo::sApiScript*>(handle);
}

sApiScript* Handle(kovo::sApiScript* script) {
  return reinterpret_cast<sApiScript*>(script);
}

}  // namespace

extern "C" {

// A null script handle makes every order call a no-op that reports nothing;
// the order API is not even looked up for it.

KOVO_PLUGIN_API sApiScript* zint_GetApiScript(sApiScript* existing, const char* scriptName) {
  try {
    const auto api = Api();
    return api ? Handle(api->GetApiScript(Script(existing), Text(scriptName))) : nullptr;
  } catch (...) {
    ReportFailure("zint_GetApiScript");
    return nullptr;
  }
}

KOVO_PLUGIN_API sApiScript* zint_deleteApiScript(sApiScript* script) {
  if (!script) return nullptr;
  try {
    if (const auto api = Api()) api->DeleteApiScript(Script(script));
  } catch (...) {
    ReportFailure("zint_deleteApiScript");
  }
  return nullptr;
}

KOVO_PLUGIN_API void zint_Placeorder(sApiScript* script, const char* transactionType,
                                     const char* referenceNumber, const char* exchange,
                                     const char* tradingSymbol, const char* validity,
                                     const char* orderType, int32_t quantity, double price,
                                     double triggerPrice, int32_t disclosedQuantity,
                                     const char* productType, const char* clientId) {
  if (!script) return;
  try {
    if (const auto api = Api()) {
      api->PlaceOrder(Script(script),
                      PlaceRequest(transactionType, referenceNumber, exchange, tradingSymbol,
                                   validity, orderType, quantity, price, triggerPrice,
                                   disclosedQuantity, productType, clientId),
                      nullptr);
    }
  } catch (...) {
    ReportFailure("zint_Placeorder");
  }
}

KOVO_PLUGIN_API void zint_Modifyorder(sApiScript* script, const char* referenceNumber,
                                      const char* validity, const char* orderType, int32_t quantity,
                                      double price, double triggerPrice,
                                      int32_t disclosedQuantity) {
  if (!script) return;
  try {
    if (const auto api = Api()) {
      api->ModifyOrder(Script(script),
                       ModifyRequest(referenceNumber, validity, orderType, quantity, price,
                                     triggerPrice, disclosedQuantity),
                       nullptr);
    }
  } catch (...) {
    ReportFailure("zint_Modifyorder");
  }
}

KOVO_PLUGIN_API void zint_CancelOrder(sApiScript* script, const char* referenceNumber) {
  if (!script) return;
  try {
    if (const auto api = Api()) api->CancelOrder(Script(script), Text(referenceNumber), nullptr);
  } catch (...) {
    ReportFailure("zint_CancelOrder");
  }
}

KOVO_PLUGIN_API void zint_GetOrderStatus(sApiScript* script, const char* referenceNumber,
                                         char* status, size_t statusCapacity,
                                         int32_t* filledQuantity, double* averagePrice) {
  try {
    CopyOut("Order Not found", status, statusCapacity);
    if (!script) return;
    const auto api = Api();
    if (!api) return;
    const kovo::sOrderStatus result = api->GetOrderStatus(Script(script), Text(referenceNumber));
    CopyOut(result.status, status, statusCapacity);
    if (!result.found) return;
    if (filledQuantity) *filledQuantity = result.filledQuantity;
    if (averagePrice) *averagePrice = result.averagePrice;
  } catch (...) {
    ReportFailure("zint_GetOrderStatus");
  }
}

KOVO_PLUGIN_API void zint_GetVersion(char* version, size_t versionCapacity) {
  CopyOut(kovo::kPluginVersion, version, versionCapacity);
}

KOVO_PLUGIN_API void zint_Placeorder_Stg(sApiScript* script, const char* transactionType,
                                         const char* referenceNumber, const char* exchange,
                                         const char* tradingSymbol, const char* validity,
                                         const char* orderType, int32_t quantity, double price,
                                         double triggerPrice, int32_t disclosedQuantity,
                                         const char* productType, const char* clientId,
                                         const char* strategyText1, const char* strategyText2,
                                         const char* strategyText3) {
  if (!script) return;
  try {
    if (const auto api = Api()) {
      const kovo::sStrategyTexts texts{Text(strategyText1), Text(strategyText2),
                                       Text(strategyText3)};
      api->PlaceOrder(Script(script),
                      PlaceRequest(transactionType, referenceNumber, exchange, tradingSymbol,
                                   validity, orderType, quantity, price, triggerPrice,
                                   disclosedQuantity, productType, clientId),
                      &texts);
    }
  } catch (...) {
    ReportFailure("zint_Placeorder_Stg");
  }
}

KOVO_PLUGIN_API void zint_Modifyorder_Stg(sApiScript* script, const char* referenceNumber,
                                          const char* validity, const char* orderType,
                                          int32_t quantity, double price, double triggerPrice,
                                          int32_t disclosedQuantity, const char* strategyText) {
  if (!script) return;
  try {
    if (const auto api = Api()) {
      const kovo::sStrategyTexts texts{Text(strategyText), {}, {}};
      api->ModifyOrder(Script(script),
                       ModifyRequest(referenceNumber, validity, orderType, quantity, price,
                                     triggerPrice, disclosedQuantity),
                       &texts);
    }
  } catch (...) {
    ReportFailure("zint_Modifyorder_Stg");
  }
}

KOVO_PLUGIN_API void zint_CancelOrder_Stg(sApiScript* script, const char* referenceNumber,
                                          const char* strategyText) {
  if (!script) return;
  try {
    if (const auto api = Api()) {
      const kovo::sStrategyTexts texts{Text(strategyText), {}, {}};
      api->CancelOrder(Script(script), Text(referenceNumber), &texts);
    }
  } catch (...) {
    ReportFailure("zint_CancelOrder_Stg");
  }
}

}  // extern "C"
