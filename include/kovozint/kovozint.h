/*
 * The KovoZint plug-in's exports: the entry points a host terminal calls.
 *
 * Plain C, default calling convention. Input texts are NUL-terminated 8-bit
 * strings, NULL read as empty. Output texts are (buffer, capacity) pairs,
 * always NUL-terminated and cut to fit. No export throws; every export may
 * be called before, during and after a session.
 *
 * The host calls, in this order: GetKovoPluginInfo, GetOptionalKovoPluginInfo,
 * optionally SetAutoLogin and GetToolbarBitmap, InitKovoPlugin, optionally
 * LaunchOnStart; then the others as its user works; ExitKovoPlugin last.
 */
#ifndef KOVOZINT_KOVOZINT_H
#define KOVOZINT_KOVOZINT_H

#include <stddef.h>
#include <stdint.h>

#include <kovozint/host_api.h>

#if defined(_WIN32)
#define KOVO_PLUGIN_API __declspec(dllexport)
#else
#define KOVO_PLUGIN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A list of texts the plug-in appends to. Rows past capacity are counted
 * but not written, so a caller can grow its array and ask again. */
#define KOVO_MENU_TEXT_LEN 64
typedef struct KovoTextList {
  char (*texts)[KOVO_MENU_TEXT_LEN];
  int32_t capacity;
  int32_t count;
} KovoTextList;

typedef struct KovoIntList {
  int32_t* values;
  int32_t capacity;
  int32_t count;
} KovoIntList;

/* A bitmap the plug-in fills: width and height always, the pixels (0xAARRGGBB,
 * rows top to bottom) when capacity holds width * height of them. */
typedef struct KovoBitmap {
  int32_t width;
  int32_t height;
  uint32_t* pixels;
  size_t capacity;
} KovoBitmap;

/* Name "Kovo Zint", version "3.5.2.0", id 29032010, kind 63; reserved is
 * not touched. Always 1. */
KOVO_PLUGIN_API int32_t GetKovoPluginInfo(char* name, size_t nameCap, char* version,
                                          size_t versionCap, void* reserved, int32_t* id,
                                          int32_t* kind);

/* Empties text and list, then appends one row per menu item to hotKeys,
 * names and kinds (the three grow in step). An empty hot key means the
 * item has none. The items depend on the host's name and version. */
KOVO_PLUGIN_API void GetOptionalKovoPluginInfo(char* text, size_t textCap, KovoTextList* list,
                                               KovoTextList* hotKeys, KovoTextList* names,
                                               KovoIntList* kinds);

/* Creates the plug-in's session state on first need and shows the login or
 * the banner. The arguments are kept for the host's sake only. */
KOVO_PLUGIN_API void InitKovoPlugin(void* hostValue, const char* text, int32_t value,
                                    const char* text2);

/* The plug-in handles no host message here; always 0. */
KOVO_PLUGIN_API int32_t ProcessKovoPluginMsg(void* message);

/* A menu item or hot key picked by the user. item: the item's name or hot
 * key text; kind: the item's kind; scripFields: the market watch row that
 * was selected (0 exchange segment, 1 trading symbol, 3 token), may be NULL
 * with count 0. */
KOVO_PLUGIN_API void PluginProcessHotKey(const char* item, int32_t kind, int32_t reserved,
                                         const char* const* scripFields, int32_t scripFieldCount);

/* The plug-in's toolbar picture. */
KOVO_PLUGIN_API void GetToolbarBitmap(KovoBitmap* bitmap);

/* Remembers the Zint login id and the host's user id. Always 1. */
KOVO_PLUGIN_API int32_t SetAutoLogin(const char* loginId, const char* hostUserId);

/* Automatic start and login: 0 when loginId is empty, else 1. */
KOVO_PLUGIN_API int32_t LaunchOnStart(const char* loginId, const char* hostUserId);

/* Opens an intraday chart (or, with dataTable non-zero, the data table) of
 * a scrip; 1 when handed to the bar store, else 0. */
KOVO_PLUGIN_API int32_t InvokeIntradayChart(const char* symbol, const char* scripKey,
                                            int32_t precision, double multiplier, int32_t interval,
                                            uint8_t dataTable);

/* The host added a scrip to its market watch. */
KOVO_PLUGIN_API void On_MW_Scrip_Added(int32_t count, const char* const* scripFields,
                                       int32_t scripFieldCount);

/* The host's late answer to pu_get_scrip_details_context and
 * pu_get_scrip_details_from_TradSymbol_context. */
KOVO_PLUGIN_API void pu_scrip_details_notify(const char* context, const sScripDetails* details);

/* Runs the update check; non-zero when its request went out. */
KOVO_PLUGIN_API int32_t check_for_updates(void);

/* Ends the session; a second call does nothing. */
KOVO_PLUGIN_API void ExitKovoPlugin(void);

/* ---- order API -------------------------------------------------------------
 * For strategy programs in the host's process, on any thread. A program
 * opens an API script, then places, modifies, cancels and queries orders by
 * its own unique reference numbers. Refusals and failures are written to the
 * host's log; none of these functions returns a status. */

/* An open API script; opaque. */
typedef struct sApiScript sApiScript;

/* Opens a script under scriptName (existing NULL), or renames an open one
 * and registers the name again. NULL before login. */
KOVO_PLUGIN_API sApiScript* zint_GetApiScript(sApiScript* existing, const char* scriptName);
/* Closes a script; always returns NULL so a caller can clear its handle. */
KOVO_PLUGIN_API sApiScript* zint_deleteApiScript(sApiScript* script);
/* transactionType "BUY"/"SELL", orderType "LIMIT"/"SL", validity "DAY"/"IOC",
 * clientId "PRO" for a proprietary order. */
KOVO_PLUGIN_API void zint_Placeorder(sApiScript* script, const char* transactionType,
                                     const char* referenceNumber, const char* exchange,
                                     const char* tradingSymbol, const char* validity,
                                     const char* orderType, int32_t quantity, double price,
                                     double triggerPrice, int32_t disclosedQuantity,
                                     const char* productType, const char* clientId);
KOVO_PLUGIN_API void zint_Modifyorder(sApiScript* script, const char* referenceNumber,
                                      const char* validity, const char* orderType, int32_t quantity,
                                      double price, double triggerPrice, int32_t disclosedQuantity);
KOVO_PLUGIN_API void zint_CancelOrder(sApiScript* script, const char* referenceNumber);
/* status is "Order Not found" unless the order is known; the numeric
 * outputs are set only then (NULL ones are skipped). */
KOVO_PLUGIN_API void zint_GetOrderStatus(sApiScript* script, const char* referenceNumber,
                                         char* status, size_t statusCapacity,
                                         int32_t* filledQuantity, double* averagePrice);
/* "3.5.2.0". */
KOVO_PLUGIN_API void zint_GetVersion(char* version, size_t versionCapacity);
/* As above, with strategy texts handed to the host unchanged. */
KOVO_PLUGIN_API void zint_Placeorder_Stg(sApiScript* script, const char* transactionType,
                                         const char* referenceNumber, const char* exchange,
                                         const char* tradingSymbol, const char* validity,
                                         const char* orderType, int32_t quantity, double price,
                                         double triggerPrice, int32_t disclosedQuantity,
                                         const char* productType, const char* clientId,
                                         const char* strategyText1, const char* strategyText2,
                                         const char* strategyText3);
KOVO_PLUGIN_API void zint_Modifyorder_Stg(sApiScript* script, const char* referenceNumber,
                                          const char* validity, const char* orderType,
                                          int32_t quantity, double price, double triggerPrice,
                                          int32_t disclosedQuantity, const char* strategyText);
KOVO_PLUGIN_API void zint_CancelOrder_Stg(sApiScript* script, const char* referenceNumber,
                                          const char* strategyText);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KOVOZINT_KOVOZINT_H */
