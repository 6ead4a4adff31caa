#include "plugin/host_functions.h"

#include <dlfcn.h>

#include <string>

namespace kovo {

HostResolver ProcessHostResolver() {
  return [](std::string_view name) -> void* {
    const std::string symbol(name);
    using Lookup = void* (*)(const char*);
    const auto lookup = reinterpret_cast<Lookup>(dlsym(RTLD_DEFAULT, "kovo_host_lookup"));
    if (lookup) return lookup(symbol.c_str());
    return dlsym(RTLD_DEFAULT, symbol.c_str());
  };
}

void CHostFunctions::Resolve(const HostResolver& resolve) {
  const auto get = [&](auto& entry, std::string_view name) {
    entry = ResolveHost<std::remove_reference_t<decltype(entry)>>(resolve, name);
  };
  get(addToTabbedLog, "pu_add_to_tabbed_log");
  get(removeNewsForProducts, "pu_remove_news_for_products");
  get(getRxControl, "GetQuellRxControl");
  get(destroyRxControl, "DestoryQuellRxCOntrol");
  get(placeOrder, "pu_zint_place_order");
  get(placeOrderAlgo, "pu_zint_place_order_algo");
  get(invokeOrderEntry, "pu_zint_invoke_order_entry");
  get(placeOrder2, "pu_zint_place_order2");
  get(placeOrder2Stg, "pu_zint_place_order2");
  get(placeOrder2Algo, "pu_zint_place_order2_algo");
  get(invokeOrderEntry2, "pu_zint_invoke_order_entry2");
  get(modifyOrder, "pu_zint_modify_order");
  get(modifyOrderStg, "pu_zint_modify_order");
  get(cancelOrder, "pu_zint_cancel_order");
  get(cancelOrderStg, "pu_zint_cancel_order");
  get(registerHotkey, "register_hotkey");
  get(getPrecisionAndFraction, "pu_get_precision_n_fraction");
  get(getScripOnUniqueKey, "pu_get_scrip_on_uniquekey");
  get(getExeVersion, "pu_get_exe_version");
  get(addScripToMarketWatch, "pu_add_scrip_to_MW");
  get(invokeDialog, "pu_InvokeDialog");
  get(invokeSpreadOrderEntry, "pu_zint_invoke_spread_order_entry");
  get(getRequiredData, "pu_get_required_data");
  get(loadExchangeCombo, "pu_load_exchange_combo");
  get(convertExchange, "pu_convert_exchange");
  get(getScripDetails, "pu_get_scrip_details");
  get(getScripDetailsFromTradSymbol, "pu_get_scrip_details_from_TradSymbol");
  get(getScripDetailsContext, "pu_get_scrip_details_context");
  get(getScripDetailsFromTradSymbolContext, "pu_get_scrip_details_from_TradSymbol_context");
  get(getMarketWatchScrips, "pu_Get_MW_Scrips");
  get(showMessageBox, "pu_show_message_box");
  get(isValidAccount, "pu_is_valid_account");
  get(getInterestedScripField, "pu_get_intersted_scrip_field");
  get(getOptionTokens, "pu_get_option_tokens");
  get(getUserDetails, "pu_get_UserDetails");
  get(uiThread, "kovo_host_ui_thread");
  get(registerWindowMessage, "kovo_register_window_message");
  get(createWindow, "kovo_create_window");
  get(destroyWindow, "kovo_destroy_window");
  get(sendMessage, "kovo_send_message");
}

}  // namespace kovo
