#pragma once

#include <cstdint>

namespace kovo {

// Message field ids shared with the back end. Values travel as text.
inline constexpr int32_t MNM_REQUEST = 0;              // request name, first field of every request
inline constexpr int32_t MNM_FIELD_379 = 379;          // integer of tick broadcasts
inline constexpr int32_t MNM_TRADING_SYMBOL = 10100;   // trading symbol or token text
inline constexpr int32_t MNM_DATE = 10615;             // date of a daily-bars request
inline constexpr int32_t MNM_VWAP_TIME = 10803;        // bar length in seconds
inline constexpr int32_t MNM_REPORT_TYPE = 20001;      // report type of a research record
inline constexpr int32_t MNM_FILTER_KEY = 20003;       // market movers criterion key
inline constexpr int32_t MNM_MESSAGE_TEXT = 20008;     // free text; a reply's status text
inline constexpr int32_t MNM_LOGIN_ID = 20013;         // login id of the launch request
inline constexpr int32_t MNM_USER = 31003;             // a user id (or provider text)
inline constexpr int32_t MNM_CLIENT_VERSION = 31803;   // the plug-in version
inline constexpr int32_t MNM_VERSION = 31804;          // version texts of the update check
inline constexpr int32_t MNM_USER_MSG = 32760;         // caller's tag, echoed in the reply
inline constexpr int32_t MNM_ERROR_TEXT = 32766;       // present only on failure
inline constexpr int32_t MNM_REPLY_REQUEST = 32767;    // request name carried by a reply
inline constexpr int32_t MNM_PROC_ID = 44031;          // "%s_INT" / "%s_BRD"
inline constexpr int32_t MNM_FIELD_49033 = 49033;      // sort order; body text of call records
inline constexpr int32_t MNM_VALIDITY = 49248;         // validity of an option call
inline constexpr int32_t MNM_FILTER_VALUE = 53063;     // market movers criterion value
inline constexpr int32_t MNM_FILTER_OPERATOR = 53064;  // market movers criterion operator
inline constexpr int32_t MNM_MESSAGE_TYPE = 53065;     // market monitor message type
inline constexpr int32_t MNM_RECORD_COUNT = 54099;     // number of records asked for
inline constexpr int32_t MNM_CATEGORY = 54211;         // category of a call or news record
inline constexpr int32_t MNM_USER_NAME = 54247;        // logged-in user id (market monitor)
inline constexpr int32_t MNM_PRODUCT_ID = 56984;       // product id
inline constexpr int32_t MNM_SYMBOL_LIST = 59001;      // one symbol per value (market movers)
inline constexpr int32_t MNM_VWAP_START_TIME = 59352;  // start, seconds since 1970
inline constexpr int32_t MNM_VWAP_END_TIME = 59353;    // end, seconds since 1970
inline constexpr int32_t MNM_HEADLINE = 59480;         // headline of a call record
inline constexpr int32_t MNM_EXCH_SEG = 63001;         // exchange segment, e.g. "nse_cm"
inline constexpr int32_t MNM_SYMBOL = 63100;           // symbol of a daily-bars request
inline constexpr int32_t MNM_USER_IP_ADDRESS = 63215;  // the machine's address
inline constexpr int32_t MNM_USER_MAC_ADDRESS = 63216;  // the adapter's hardware address
inline constexpr int32_t MNM_BODY_TEXT = 63413;         // body of a research record
inline constexpr int32_t MNM_SCRIPT_NAME = 64016;       // API script name in order updates
inline constexpr int32_t MNM_PEER_TEXT = 64056;         // first peer text / peer-id text
inline constexpr int32_t MNM_PEER_USER = 64057;         // the peer-id text
inline constexpr int32_t MNM_FEED_NAME = 64756;         // feed name

}  // namespace kovo
