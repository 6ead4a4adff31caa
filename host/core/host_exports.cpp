// The host functions the plug-in calls, apart from receiver controls and
// order placing. Each is a thin, exception-proof shell over the current
// CHostCore.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

#include "base/format.h"
#include "base/text.h"
#include "host/core/c_text.h"
#include "host/core/exchanges.h"
#include "host/core/host_core.h"

using kovo::host::CHostCore;
using kovo::host::CopyOut;
using kovo::host::CurrentHost;
using kovo::host::Fixed;
using kovo::host::Text;

namespace {

constexpr const char* kNoHost = "the host is not running";
// pu_get_required_data's buffer is 16 bytes by contract.
constexpr size_t kRequiredDataCap = 16;
constexpr size_t kAccountMaxLength = 20;

int32_t Fill(const std::optional<sScripDetails>& scrip, sScripDetails* details) {
  if (!details) return 0;
  *details = scrip ? *scrip : sScripDetails{};
  return scrip ? 1 : 0;
}

// Host windows belong to the UI thread; a call from elsewhere waits there.
bool OnUi(CHostCore& host, const std::function<void()>& fn) {
  return host.Thread().Send(fn);
}

// The order's scrip must be one the host knows, or its window would open empty.
bool CheckOrder(const CHostCore& host, const sOrderEntryInfo* order, std::string* error) {
  if (!order) {
    *error = "no order given";
    return false;
  }
  const std::string key = kovo::Trim(Fixed(order->scripKey, sizeof order->scripKey));
  if (key.empty()) {
    *error = "the order names no scrip";
    return false;
  }
  if (!host.Scrips().FindByUniqueKey(key)) {
    *error = "unknown scrip " + key;
    return false;
  }
  return true;
}

void LogEntry(CHostCore& host, const char* kind, const sOrderEntryInfo& order,
              std::string_view tagOrSource, int32_t transactionType) {
  const std::string key(Fixed(order.scripKey, sizeof order.scripKey));
  const std::string tag(tagOrSource);
  host.Log(kovo::Format("order entry opened (%s) for %s, side %d, quantity %d, price %d, tag %s",
                        kind, key.c_str(), static_cast<int>(transactionType),
                        static_cast<int>(order.quantity), static_cast<int>(order.price),
                        tag.c_str()));
}

bool IsAccountText(std::string_view id) {
  if (id.empty() || id.size() > kAccountMaxLength) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
}

}  // namespace

extern "C" {

KOVO_HOST_API void* pu_get_exe_app(void) {
  try {
    return CurrentHost();
  } catch (...) {
    return nullptr;
  }
}

KOVO_HOST_API int32_t pu_get_peer_data(char* peerText, size_t peerCap, char* peerText2,
                                       size_t peer2Cap, char* userFolderId, size_t folderCap) {
  try {
    CopyOut("", peerText, peerCap);
    CopyOut("", peerText2, peer2Cap);
    CopyOut("", userFolderId, folderCap);
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    CopyOut(host->Config().peerText, peerText, peerCap);
    CopyOut(host->Config().peerText2, peerText2, peer2Cap);
    CopyOut(host->Config().userFolderId, userFolderId, folderCap);
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_user_privilige(const char* peerText2, int32_t* privilege) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host || !privilege) return 0;
    const std::string_view user = kovo::TrimView(Text(peerText2));
    if (user.empty() || !kovo::EqualsNoCase(user, host->Config().peerText2)) return 0;
    *privilege = host->Config().privilege;
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_exe_version(char* appName, size_t nameCap, char* version,
                                         size_t versionCap) {
  try {
    CopyOut("", appName, nameCap);
    CopyOut("", version, versionCap);
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    CopyOut(host->Config().appName, appName, nameCap);
    CopyOut(host->Config().version, version, versionCap);
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API void pu_add_to_tabbed_log(const char* text) {
  try {
    if (CHostCore* host = CurrentHost()) host->Log(Text(text));
  } catch (...) {
  }
}

KOVO_HOST_API int32_t pu_remove_news_for_products(const char* products) {
  try {
    CHostCore* host = CurrentHost();
    if (!host) return 0;
    std::string names;
    for (const std::string& product :
         kovo::Tokenize(Text(products), "\r\n", kovo::TokenTrim::kYes)) {
      if (product.empty()) continue;
      if (!names.empty()) names += ", ";
      names += product;
    }
    host->Log("news removed for products: " + names);
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_scrip_details(const char* exchSeg, const char* token,
                                           sScripDetails* details) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host) return Fill(std::nullopt, details);
    return Fill(host->Scrips().Find(Text(exchSeg), Text(token)), details);
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_scrip_details_from_TradSymbol(const char* exchSeg,
                                                           const char* tradingSymbol,
                                                           sScripDetails* details) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host) return Fill(std::nullopt, details);
    return Fill(host->Scrips().FindByTradingSymbol(Text(exchSeg), Text(tradingSymbol)), details);
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_scrip_on_uniquekey(const char* key, sScripDetails* details) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host) return Fill(std::nullopt, details);
    return Fill(host->Scrips().FindByUniqueKey(Text(key)), details);
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_scrip_details_context(const char* exchSeg, const char* token,
                                                   const char* context) {
  try {
    CHostCore* host = CurrentHost();
    if (!host || !host->ScripDetailsNotify()) return 0;
    const auto scrip = host->Scrips().Find(Text(exchSeg), Text(token));
    return host->PostScripDetails(std::string(Text(context)), scrip ? &*scrip : nullptr) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_scrip_details_from_TradSymbol_context(const char* exchSeg,
                                                                   const char* tradingSymbol,
                                                                   const char* context) {
  try {
    CHostCore* host = CurrentHost();
    if (!host || !host->ScripDetailsNotify()) return 0;
    const auto scrip = host->Scrips().FindByTradingSymbol(Text(exchSeg), Text(tradingSymbol));
    return host->PostScripDetails(std::string(Text(context)), scrip ? &*scrip : nullptr) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_precision_n_fraction(const char* exchSeg, const char* tradingSymbol,
                                                  int32_t* precision, double* multiplier) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    return host->Scrips().PrecisionAndMultiplier(Text(exchSeg), Text(tradingSymbol), precision,
                                                 multiplier)
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_convert_exchange(const char* exchange, char* exchSeg, size_t cap) {
  try {
    CopyOut("", exchSeg, cap);
    if (!CurrentHost()) return 0;
    const std::string segment = kovo::host::ConvertExchange(Text(exchange));
    CopyOut(segment, exchSeg, cap);
    return segment.empty() ? 0 : 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_required_data(const char* exchangeCode, char* out16, int32_t,
                                           int32_t) {
  try {
    CopyOut("", out16, kRequiredDataCap);
    if (!CurrentHost() || !out16) return 0;
    const std::string name = kovo::host::DisplayName(Text(exchangeCode));
    CopyOut(name, out16, kRequiredDataCap);
    return name.empty() ? 0 : 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_load_exchange_combo(void* window, int32_t controlId,
                                             void (*addItem)(void* window, int32_t controlId,
                                                             const char* text)) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host || !addItem) return 0;
    for (const std::string& exchange : host->Config().exchanges) {
      addItem(window, controlId, exchange.c_str());
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_add_scrip_to_MW(const char* scrip) {
  try {
    CHostCore* host = CurrentHost();
    return host && host->AddToMarketWatch(Text(scrip)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_Get_MW_Scrips(char* out, size_t cap) {
  try {
    CopyOut("", out, cap);
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    const std::vector<std::string> keys = host->MarketWatch();
    // Whole keys only: a cut key would name a different scrip.
    std::string text;
    for (const std::string& key : keys) {
      const size_t needed = text.size() + (text.empty() ? 0 : 1) + key.size();
      if (cap == 0 || needed > cap - 1) break;
      if (!text.empty()) text += '\n';
      text += key;
    }
    CopyOut(text, out, cap);
    return static_cast<int32_t>(std::min<size_t>(keys.size(), INT32_MAX));
  } catch (...) {
    CopyOut("", out, cap);
    return 0;
  }
}

KOVO_HOST_API int32_t pu_InvokeDialog(int32_t kind, const char* scrip, const char* text1,
                                      const char* text2) {
  try {
    CHostCore* host = CurrentHost();
    if (!host) return 0;
    if (kind != 2 && kind != 3 && kind != 4 && kind != 8) return 0;
    const std::string scripText(Text(scrip));
    const std::string first(Text(text1));
    const std::string second(Text(text2));
    host->Log(kovo::Format("dialog %d opened for %s", static_cast<int>(kind), scripText.c_str()));
    return OnUi(*host, [&] { host->Ui().DialogInvoked(kind, scripText, first, second); }) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t register_hotkey(void* window, void (*message)(void* window, int32_t id),
                                      const char* text, int32_t commandId, const char* group,
                                      const char* key, const char* description) {
  try {
    CHostCore* host = CurrentHost();
    if (!host) return 0;
    CHostCore::HotKey hotKey;
    hotKey.window = window;
    hotKey.callback = message;
    hotKey.text = Text(text);
    hotKey.commandId = commandId;
    hotKey.group = Text(group);
    hotKey.key = Text(key);
    hotKey.description = Text(description);
    return host->RegisterHotKey(std::move(hotKey)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_show_message_box(const char* text, const char* caption, uint32_t style) {
  try {
    CHostCore* host = CurrentHost();
    if (!host) return 0;
    int answer = 0;
    OnUi(*host, [&] { answer = host->Ui().MessageBox(Text(text), Text(caption), style); });
    return answer;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_is_valid_account(const char* clientId) {
  try {
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    const std::string id = kovo::Trim(Text(clientId));
    const auto& accounts = host->Config().validAccounts;
    if (!accounts.empty()) return accounts.count(id) != 0 ? 1 : 0;
    return IsAccountText(id) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_UserDetails(char* userId, size_t idCap, char* userName,
                                         size_t nameCap) {
  try {
    CopyOut("", userId, idCap);
    CopyOut("", userName, nameCap);
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    CopyOut(host->Config().userId, userId, idCap);
    CopyOut(host->Config().userName, userName, nameCap);
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_zint_invoke_order_entry(const sOrderEntryInfo* order, const char* source,
                                                 char* errorText, size_t errorCap) {
  try {
    CopyOut("", errorText, errorCap);
    CHostCore* host = CurrentHost();
    std::string error = kNoHost;
    if (!host || !CheckOrder(*host, order, &error)) {
      CopyOut(error, errorText, errorCap);
      return 0;
    }
    const std::string tag(Text(source));
    LogEntry(*host, "entry", *order, tag, 0);
    return OnUi(*host, [&] { host->Ui().OrderEntryOpened(*order, tag, 0, "entry"); }) ? 1 : 0;
  } catch (...) {
    CopyOut("the host failed to open the order entry", errorText, errorCap);
    return 0;
  }
}

KOVO_HOST_API int32_t pu_zint_invoke_order_entry2(const sOrderEntryInfo* order, const char* tag,
                                                  int32_t transactionType, char* errorText,
                                                  size_t errorCap) {
  try {
    CopyOut("", errorText, errorCap);
    CHostCore* host = CurrentHost();
    std::string error = kNoHost;
    if (!host || !CheckOrder(*host, order, &error)) {
      CopyOut(error, errorText, errorCap);
      return 0;
    }
    const std::string tagText(Text(tag));
    LogEntry(*host, "entry2", *order, tagText, transactionType);
    return OnUi(*host,
                [&] { host->Ui().OrderEntryOpened(*order, tagText, transactionType, "entry2"); })
               ? 1
               : 0;
  } catch (...) {
    CopyOut("the host failed to open the order entry", errorText, errorCap);
    return 0;
  }
}

KOVO_HOST_API int32_t pu_zint_invoke_spread_order_entry(const sOrderEntryInfo* first,
                                                        const sOrderEntryInfo* second,
                                                        char* errorText, size_t errorCap) {
  try {
    CopyOut("", errorText, errorCap);
    CHostCore* host = CurrentHost();
    std::string error = kNoHost;
    // Both legs are checked before either opens: half a spread is worse than none.
    if (!host || !CheckOrder(*host, first, &error) || !CheckOrder(*host, second, &error)) {
      CopyOut(error, errorText, errorCap);
      return 0;
    }
    LogEntry(*host, "spread-first", *first, "", 0);
    LogEntry(*host, "spread-second", *second, "", 0);
    return OnUi(*host,
                [&] {
                  host->Ui().OrderEntryOpened(*first, "", 0, "spread-first");
                  host->Ui().OrderEntryOpened(*second, "", 0, "spread-second");
                })
               ? 1
               : 0;
  } catch (...) {
    CopyOut("the host failed to open the spread order entry", errorText, errorCap);
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_intersted_scrip_field(const char* exchSeg, const char* token,
                                                   int32_t field, double* values,
                                                   int32_t capacity) {
  try {
    constexpr int32_t kStrikesField = 5;
    const CHostCore* host = CurrentHost();
    if (!host || field != kStrikesField) return 0;
    const std::vector<double> strikes = host->Scrips().Strikes(Text(exchSeg), Text(token));
    if (values && capacity > 0) {
      const size_t n = std::min(strikes.size(), static_cast<size_t>(capacity));
      std::copy_n(strikes.begin(), n, values);
    }
    return static_cast<int32_t>(std::min<size_t>(strikes.size(), INT32_MAX));
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t pu_get_option_tokens(const char* exchSeg, const char* token, double strike,
                                           char* callToken, size_t callCap, char* putToken,
                                           size_t putCap) {
  try {
    CopyOut("", callToken, callCap);
    CopyOut("", putToken, putCap);
    const CHostCore* host = CurrentHost();
    if (!host) return 0;
    std::string call;
    std::string put;
    if (!host->Scrips().OptionTokens(Text(exchSeg), Text(token), strike, &call, &put)) return 0;
    CopyOut(call, callToken, callCap);
    CopyOut(put, putToken, putCap);
    return 1;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API const KovoUiThreadOps* kovo_host_ui_thread(void) {
  const CHostCore* host = CurrentHost();
  return host ? host->UiThreadOps() : nullptr;
}

KOVO_HOST_API uint32_t kovo_register_window_message(const char* name) {
  try {
    CHostCore* host = CurrentHost();
    return host ? host->RegisterWindowMessage(Text(name)) : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API uint64_t kovo_create_window(const char* className, const char* windowName,
                                          KovoWndProc proc, void* self) {
  try {
    CHostCore* host = CurrentHost();
    return host ? host->Windows().CreateWindow(Text(className), Text(windowName), proc, self) : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API void kovo_destroy_window(uint64_t window) {
  try {
    if (CHostCore* host = CurrentHost()) host->Windows().DestroyWindow(window);
  } catch (...) {
  }
}

KOVO_HOST_API uint64_t kovo_find_window(const char* className, const char* windowName) {
  try {
    CHostCore* host = CurrentHost();
    return host ? host->Windows().FindWindow(Text(className), Text(windowName)) : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API intptr_t kovo_send_message(uint64_t window, uint32_t message, uintptr_t wParam,
                                         intptr_t lParam) {
  try {
    CHostCore* host = CurrentHost();
    return host ? host->Windows().SendMessage(window, message, wParam, lParam) : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API int32_t kovo_broadcast_message(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  try {
    CHostCore* host = CurrentHost();
    return host ? host->BroadcastMessage(message, wParam, lParam) : 0;
  } catch (...) {
    return 0;
  }
}

KOVO_HOST_API void* kovo_host_lookup(const char* name) {
  try {
    const CHostCore* host = CurrentHost();
    return host ? host->Lookup(Text(name)) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

}  // extern "C"
