#pragma once

#include <functional>
#include <string_view>

#include <kovozint/host_api.h>

namespace kovo {

// Finds a host function by its C name; nullptr when the host lacks it.
using HostResolver = std::function<void*(std::string_view name)>;

// The host program's functions as this process sees them: the host's own
// kovo_host_lookup when it has one (it knows which functions are switched
// off), else the program's symbol table.
HostResolver ProcessHostResolver();

// The host functions, resolved once by name. An entry is null when the
// host lacks the function; every caller tests it first.
struct CHostFunctions {
  decltype(&pu_add_to_tabbed_log) addToTabbedLog = nullptr;
  decltype(&pu_remove_news_for_products) removeNewsForProducts = nullptr;
  decltype(&GetQuellRxControl) getRxControl = nullptr;
  decltype(&DestoryQuellRxCOntrol) destroyRxControl = nullptr;
  decltype(&pu_zint_place_order) placeOrder = nullptr;
  decltype(&pu_zint_place_order_algo) placeOrderAlgo = nullptr;
  decltype(&pu_zint_invoke_order_entry) invokeOrderEntry = nullptr;
  // Two bindings of the same names: the plain one and the strategy one.
  decltype(&pu_zint_place_order2) placeOrder2 = nullptr;
  decltype(&pu_zint_place_order2) placeOrder2Stg = nullptr;
  decltype(&pu_zint_place_order2_algo) placeOrder2Algo = nullptr;
  decltype(&pu_zint_invoke_order_entry2) invokeOrderEntry2 = nullptr;
  decltype(&pu_zint_modify_order) modifyOrder = nullptr;
  decltype(&pu_zint_modify_order) modifyOrderStg = nullptr;
  decltype(&pu_zint_cancel_order) cancelOrder = nullptr;
  decltype(&pu_zint_cancel_order) cancelOrderStg = nullptr;
  decltype(&register_hotkey) registerHotkey = nullptr;
  decltype(&pu_get_precision_n_fraction) getPrecisionAndFraction = nullptr;
  decltype(&pu_get_scrip_on_uniquekey) getScripOnUniqueKey = nullptr;
  decltype(&pu_get_exe_version) getExeVersion = nullptr;
  decltype(&pu_add_scrip_to_MW) addScripToMarketWatch = nullptr;
  decltype(&pu_InvokeDialog) invokeDialog = nullptr;
  decltype(&pu_zint_invoke_spread_order_entry) invokeSpreadOrderEntry = nullptr;
  decltype(&pu_get_required_data) getRequiredData = nullptr;
  decltype(&pu_load_exchange_combo) loadExchangeCombo = nullptr;
  decltype(&pu_convert_exchange) convertExchange = nullptr;
  decltype(&pu_get_scrip_details) getScripDetails = nullptr;
  decltype(&pu_get_scrip_details_from_TradSymbol) getScripDetailsFromTradSymbol = nullptr;
  decltype(&pu_get_scrip_details_context) getScripDetailsContext = nullptr;
  decltype(&pu_get_scrip_details_from_TradSymbol_context) getScripDetailsFromTradSymbolContext =
      nullptr;
  decltype(&pu_Get_MW_Scrips) getMarketWatchScrips = nullptr;
  decltype(&pu_show_message_box) showMessageBox = nullptr;
  decltype(&pu_is_valid_account) isValidAccount = nullptr;
  decltype(&pu_get_intersted_scrip_field) getInterestedScripField = nullptr;
  decltype(&pu_get_option_tokens) getOptionTokens = nullptr;
  decltype(&pu_get_UserDetails) getUserDetails = nullptr;

  // The host's window system; absent in hosts that have none.
  decltype(&kovo_host_ui_thread) uiThread = nullptr;
  decltype(&kovo_register_window_message) registerWindowMessage = nullptr;
  decltype(&kovo_create_window) createWindow = nullptr;
  decltype(&kovo_destroy_window) destroyWindow = nullptr;
  decltype(&kovo_send_message) sendMessage = nullptr;

  // Resolves every entry, in the order the host has always been asked.
  void Resolve(const HostResolver& resolve);
};

// One function by name, typed.
template <typename Fn>
Fn ResolveHost(const HostResolver& resolve, std::string_view name) {
  return reinterpret_cast<Fn>(resolve(name));
}

}  // namespace kovo
