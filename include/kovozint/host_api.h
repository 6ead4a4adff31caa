/*
 * Functions a host terminal exports for the KovoZint plug-in, and the
 * records and receiver controls they use.
 *
 * Every function is plain C. Input texts are NUL-terminated 8-bit strings;
 * NULL is read as an empty text. Output texts are (buffer, capacity) pairs,
 * always NUL-terminated and cut to fit. Results are non-zero on success
 * unless stated otherwise. A host may lack any of these functions; callers
 * resolve each by name and test it before use.
 */
#ifndef KOVOZINT_HOST_API_H
#define KOVOZINT_HOST_API_H

#include <stddef.h>
#include <stdint.h>

#include <connectkovo/connectkovo.h>

#if defined(_WIN32)
#define KOVO_HOST_API __declspec(dllexport)
#else
#define KOVO_HOST_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- records ------------------------------------------------------------ */

#define KOVO_SCRIP_TEXTS 14
#define KOVO_SCRIP_TEXT_LEN 64

/* Positions of the scrip details texts. */
enum {
  KOVO_SCRIP_EXCH_SEG = 0,     /* exchange segment, "nse_cm" */
  KOVO_SCRIP_TOKEN = 1,        /* the token, the scrip's second key */
  KOVO_SCRIP_TRAD_SYMBOL = 2,  /* trading symbol, "RELIANCE-EQ", "NIFTY26DEC24000CE" */
  KOVO_SCRIP_SYMBOL = 3,       /* symbol text, "RELIANCE", "NIFTY" */
  KOVO_SCRIP_INSTRUMENT = 4,   /* instrument, "EQ", "INDEX", "OPTIDX", "FUTCOM" */
  KOVO_SCRIP_COMPANY = 5,      /* company symbol used in fundamentals addresses */
  KOVO_SCRIP_NAME = 6,         /* descriptive name */
  KOVO_SCRIP_SERIES = 7,       /* series, "EQ"; empty for derivatives */
  KOVO_SCRIP_EXPIRY = 8,       /* expiry date "%d%b%Y" for derivatives, else empty */
  KOVO_SCRIP_STRIKE = 9,       /* strike price in price units for options, else empty */
  KOVO_SCRIP_OPTION_TYPE = 10, /* "CE", "PE" or empty */
  KOVO_SCRIP_LOT_SIZE = 11,    /* lot size */
  KOVO_SCRIP_TICK_SIZE = 12,   /* tick size in price units */
  KOVO_SCRIP_UNDERLYING = 13   /* token of the underlying for derivatives, else empty */
};

/* A scrip as the host describes it. A new record has every text empty. */
typedef struct sScripDetails {
  char texts[KOVO_SCRIP_TEXTS][KOVO_SCRIP_TEXT_LEN];
  int32_t pricePrecision;     /* decimals shown, 2 for most scrips */
  double priceMultiplier;     /* price units per rupee, 100.0 for most scrips */
  int32_t quantityMultiplier; /* 1, or the lot size where quantities count lots */
} sScripDetails;

#define KOVO_ORDER_TEXT_LEN 64

/* An order as the host's order functions take it. Prices are in the scrip's
 * integer price units. */
typedef struct sOrderEntryInfo {
  char scripKey[KOVO_ORDER_TEXT_LEN];      /* "%s|%s" of exchange segment and token */
  char productType[KOVO_ORDER_TEXT_LEN];   /* passed through, e.g. "MIS", "NRML" */
  char strategy[KOVO_ORDER_TEXT_LEN];      /* the API script's name */
  char clientAccount[KOVO_ORDER_TEXT_LEN]; /* empty for a proprietary order */
  int32_t quantity;
  int32_t proprietary; /* non-zero for a "PRO" order */
  int32_t price;
  int32_t orderType; /* 1 LIMIT, 3 SL */
  int32_t validity;  /* 1 DAY, 5 IOC */
  int32_t triggerPrice;
  int32_t disclosedQuantity;
} sOrderEntryInfo;

/* Transaction types. */
enum { KOVO_TXN_BUY = 1, KOVO_TXN_SELL = 2 };

/* Privilege levels of pu_get_user_privilige. */
enum {
  KOVO_PRIV_SUPER_ADMIN = 0,
  KOVO_PRIV_ADMIN = 1,
  KOVO_PRIV_BRANCH_ADMIN = 2,
  KOVO_PRIV_INVESTOR_CLIENT = 3,
  KOVO_PRIV_DEALER = 4
};

/* ---- receiver controls -------------------------------------------------- */

/* Kinds of receiver control. */
enum {
  KOVO_RX_REQUESTS = 0,   /* requests and their replies */
  KOVO_RX_BROADCASTS = 1, /* broadcast watches */
  KOVO_RX_ORDER_UPDATES = 2
};

/* Where a control delivers: both called on the host's UI thread with a
 * message that is valid only during the call. */
typedef struct KovoRxNotifier {
  void (*onBroadcast)(void* self, const wmp_msg* message);
  /* context: the pointer given to send; status 0 for a reply, non-zero
   * when the request failed in the host (the connection broke). */
  void (*onReply)(void* self, void* context, const wmp_msg* message, int32_t status);
  void* self;
} KovoRxNotifier;

/* One (field id, value) pair of a watch or filter. A NULL value matches any
 * value of the field; otherwise the field must carry exactly those bytes. */
typedef struct KovoFieldMatch {
  int32_t fieldId;
  const char* value;
  int64_t length; /* of value; -1 means strlen(value) */
} KovoFieldMatch;

/* Error values of the control operations beside the message library's. */
enum {
  KOVO_RX_ERR_NOT_CONNECTED = 100, /* the host has no connection to the back end */
  KOVO_RX_ERR_STOPPED = 101        /* the control was stopped */
};

typedef struct KovoRxControl KovoRxControl;

/* The operations of a control, reached through its first member so that a
 * plug-in needs only GetQuellRxControl and DestoryQuellRxCOntrol by name. */
typedef struct KovoRxControlOps {
  /* Sends the message built in builder. Every reply message comes back
   * through the notifier's onReply with context. flags: 0. */
  int32_t (*send)(KovoRxControl* control, void* context, wmp_builder* builder, int32_t flags,
                  int32_t* error);
  /* Asks for broadcasts carrying every pair; returns a handle > 0, or 0. */
  int64_t (*addWatch)(KovoRxControl* control, const KovoFieldMatch* pairs, int32_t count,
                      int32_t* error);
  int32_t (*removeWatch)(KovoRxControl* control, int64_t handle, int32_t* error);
  /* Delivers order updates whose fields match every pair to onBroadcast. */
  int32_t (*addFilter)(KovoRxControl* control, const KovoFieldMatch* pairs, int32_t count,
                       int32_t* error);
  /* Removes every watch and filter; nothing is delivered afterwards. */
  int32_t (*stop)(KovoRxControl* control);
} KovoRxControlOps;

struct KovoRxControl {
  const KovoRxControlOps* ops;
};

/* ---- host functions ----------------------------------------------------- */

/* The host's application object (its main window parents plug-in windows). */
KOVO_HOST_API void* pu_get_exe_app(void);
/* First peer text, second peer text, user folder id. */
KOVO_HOST_API int32_t pu_get_peer_data(char* peerText, size_t peerCap, char* peerText2,
                                       size_t peer2Cap, char* userFolderId, size_t folderCap);
/* Privilege of the user named by the second peer text; *privilege is in/out. */
KOVO_HOST_API int32_t pu_get_user_privilige(const char* peerText2, int32_t* privilege);
/* "kovo_trader" or "kovo_trader_now", and a dotted version. */
KOVO_HOST_API int32_t pu_get_exe_version(char* appName, size_t nameCap, char* version,
                                         size_t versionCap);
/* Adds one line to the host's log. */
KOVO_HOST_API void pu_add_to_tabbed_log(const char* text);
/* Drops news items of the named products (newline-separated). */
KOVO_HOST_API int32_t pu_remove_news_for_products(const char* products);

/* A receiver control of a kind, delivering to notifier (copied). NULL on failure. */
KOVO_HOST_API KovoRxControl* GetQuellRxControl(int32_t kind, const KovoRxNotifier* notifier);
/* Stops and releases a control; NULL is accepted. */
KOVO_HOST_API void DestoryQuellRxCOntrol(KovoRxControl* control);

/* Scrip look-ups; each fills *details and returns non-zero when found. */
KOVO_HOST_API int32_t pu_get_scrip_details(const char* exchSeg, const char* token,
                                           sScripDetails* details);
KOVO_HOST_API int32_t pu_get_scrip_details_from_TradSymbol(const char* exchSeg,
                                                           const char* tradingSymbol,
                                                           sScripDetails* details);
/* "%s|%s" of exchange segment and token. */
KOVO_HOST_API int32_t pu_get_scrip_on_uniquekey(const char* key, sScripDetails* details);
/* Asynchronous forms: non-zero when accepted; the answer comes later, on the
 * UI thread, through the plug-in's pu_scrip_details_notify with context. A
 * scrip that is not found is answered with an empty record. */
KOVO_HOST_API int32_t pu_get_scrip_details_context(const char* exchSeg, const char* token,
                                                   const char* context);
KOVO_HOST_API int32_t pu_get_scrip_details_from_TradSymbol_context(const char* exchSeg,
                                                                   const char* tradingSymbol,
                                                                   const char* context);
/* Precision and price multiplier; both are left alone when the scrip is unknown. */
KOVO_HOST_API int32_t pu_get_precision_n_fraction(const char* exchSeg, const char* tradingSymbol,
                                                  int32_t* precision, double* multiplier);
/* Exchange name or code ("NSE", "nse_cm", "NFO", "MCX", ...) to segment; an
 * empty segment (and 0) when not recognised. */
KOVO_HOST_API int32_t pu_convert_exchange(const char* exchange, char* exchSeg, size_t cap);
/* Display name of an exchange code into a 16-byte buffer; empty when unknown. */
KOVO_HOST_API int32_t pu_get_required_data(const char* exchangeCode, char* out16, int32_t selector1,
                                           int32_t selector2);
/* Fills a combo box with the host's exchanges by calling addItem once per
 * exchange name; window and controlId come back unchanged. */
KOVO_HOST_API int32_t pu_load_exchange_combo(void* window, int32_t controlId,
                                             void (*addItem)(void* window, int32_t controlId,
                                                             const char* text));

/* Market watch: "%s|%s" of exchange segment and symbol or token. */
KOVO_HOST_API int32_t pu_add_scrip_to_MW(const char* scrip);
/* Writes the market watch's scrip keys, one per line; returns the count. */
KOVO_HOST_API int32_t pu_Get_MW_Scrips(char* out, size_t cap);

/* Opens a host dialog: 2 order book, 3 trade book, 4 order entry, 8 market picture. */
KOVO_HOST_API int32_t pu_InvokeDialog(int32_t kind, const char* scrip, const char* text1,
                                      const char* text2);
/* Registers a hot key; when pressed the host calls message(window, commandId + 1024). */
KOVO_HOST_API int32_t register_hotkey(void* window, void (*message)(void* window, int32_t id),
                                      const char* text, int32_t commandId, const char* group,
                                      const char* key, const char* description);
/* Shows a message box; returns the button pressed (1 OK, 2 Cancel, 6 Yes, 7 No). */
KOVO_HOST_API int32_t pu_show_message_box(const char* text, const char* caption, uint32_t style);
KOVO_HOST_API int32_t pu_is_valid_account(const char* clientId);
/* The logged-in host user's id and name. */
KOVO_HOST_API int32_t pu_get_UserDetails(char* userId, size_t idCap, char* userName,
                                         size_t nameCap);

/* Orders. A host order number is returned through the order's updates.
 * Strategy texts may be NULL (the plain binding); errorText receives the
 * reason when the result is 0. */
KOVO_HOST_API int32_t pu_zint_place_order(const sOrderEntryInfo* order, const char* tag,
                                          int32_t transactionType, char* errorText,
                                          size_t errorCap);
KOVO_HOST_API int32_t pu_zint_place_order_algo(const sOrderEntryInfo* order, const char* tag,
                                               int32_t transactionType, const char* algo,
                                               char* errorText, size_t errorCap);
KOVO_HOST_API int32_t pu_zint_place_order2(const sOrderEntryInfo* order, const char* tag,
                                           int32_t transactionType, const char* strategyText1,
                                           const char* strategyText2, const char* strategyText3,
                                           char* errorText, size_t errorCap);
KOVO_HOST_API int32_t pu_zint_place_order2_algo(const sOrderEntryInfo* order, const char* tag,
                                                int32_t transactionType, const char* algo,
                                                char* errorText, size_t errorCap);
KOVO_HOST_API int32_t pu_zint_modify_order(const char* orderNumber, const char* tag,
                                           int32_t orderType, int32_t validity, int32_t quantity,
                                           int32_t price, int32_t disclosedQuantity,
                                           int32_t triggerPrice, const char* strategyText,
                                           char* errorText, size_t errorCap);
KOVO_HOST_API int32_t pu_zint_cancel_order(const char* orderNumber, const char* tag,
                                           const char* strategyText, char* errorText,
                                           size_t errorCap);
/* Opens the host's order entry window prefilled; the order goes out only
 * when the user submits it there. */
KOVO_HOST_API int32_t pu_zint_invoke_order_entry(const sOrderEntryInfo* order, const char* source,
                                                 char* errorText, size_t errorCap);
KOVO_HOST_API int32_t pu_zint_invoke_order_entry2(const sOrderEntryInfo* order, const char* tag,
                                                  int32_t transactionType, char* errorText,
                                                  size_t errorCap);
KOVO_HOST_API int32_t pu_zint_invoke_spread_order_entry(const sOrderEntryInfo* first,
                                                        const sOrderEntryInfo* second,
                                                        char* errorText, size_t errorCap);

/* Options. Field 5 of an option scrip's underlying: its strike prices (price
 * units), up to capacity; returns how many there are. */
KOVO_HOST_API int32_t pu_get_intersted_scrip_field(const char* exchSeg, const char* token,
                                                   int32_t field, double* values, int32_t capacity);
/* Call and put tokens of the option series of token at strike (price units). */
KOVO_HOST_API int32_t pu_get_option_tokens(const char* exchSeg, const char* token, double strike,
                                           char* callToken, size_t callCap, char* putToken,
                                           size_t putCap);

/* ---- the host's window system --------------------------------------------
 * What a desktop's window manager gives a plug-in: the host's UI thread,
 * message names registered process-wide, and windows that receive them. */

/* The host's UI thread. post queues fn(arg) (non-zero when queued); send runs
 * it there and waits (inline on the UI thread); pump runs up to maxItems
 * queued items on the calling UI thread and returns how many ran; timers
 * repeat every intervalMs until stopped (id 0 means failure). */
typedef struct KovoUiThreadOps {
  int32_t (*isUiThread)(void* self);
  int32_t (*post)(void* self, void (*fn)(void* arg), void* arg);
  int32_t (*send)(void* self, void (*fn)(void* arg), void* arg);
  int32_t (*pump)(void* self, int32_t maxItems);
  uint64_t (*startTimer)(void* self, int32_t intervalMs, void (*fn)(void* arg), void* arg);
  void (*stopTimer)(void* self, uint64_t id);
  void* self;
} KovoUiThreadOps;

/* NULL when the host has no UI thread to lend. Valid while the host runs. */
KOVO_HOST_API const KovoUiThreadOps* kovo_host_ui_thread(void);

/* A window's message handler, called on the UI thread. */
typedef intptr_t (*KovoWndProc)(void* self, uint32_t message, uintptr_t wParam, intptr_t lParam);

/* The same name always gives the same id (0xC000 and up); 0 for an empty name. */
KOVO_HOST_API uint32_t kovo_register_window_message(const char* name);
/* A hidden window of a class and name that receives messages; 0 on failure. */
KOVO_HOST_API uint64_t kovo_create_window(const char* className, const char* windowName,
                                          KovoWndProc proc, void* self);
/* After this returns the window's handler is not called again. */
KOVO_HOST_API void kovo_destroy_window(uint64_t window);
/* The first window with that class (NULL or empty: any) and name; 0 when none. */
KOVO_HOST_API uint64_t kovo_find_window(const char* className, const char* windowName);
/* Runs the window's handler on the UI thread and returns its result (0
 * for an unknown window). */
KOVO_HOST_API intptr_t kovo_send_message(uint64_t window, uint32_t message, uintptr_t wParam,
                                         intptr_t lParam);
/* Sends to every window; returns how many received it. */
KOVO_HOST_API int32_t kovo_broadcast_message(uint32_t message, uintptr_t wParam, intptr_t lParam);

/* The host's own name-to-function table. A host that can switch functions
 * off answers NULL for those; a plug-in asks here first and falls back to
 * the process's symbol table when the host does not export this. */
KOVO_HOST_API void* kovo_host_lookup(const char* name);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KOVOZINT_HOST_API_H */
