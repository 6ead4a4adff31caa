#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "host/core/scrip_directory.h"

namespace kovo::host {

// The scrip a window is opened for: "seg|token" or "seg|trading symbol", as
// the plug-ins name it; blanks around either half are dropped.
std::optional<sScripDetails> ResolveScrip(const ScripDirectory& scrips, std::string_view text);

// A price in the scrip's units as the scrip shows it ("2885.35").
std::string PriceText(const sScripDetails& scrip, int64_t units);

// The terminal's order entry window for one scrip: what the user can change
// and the order it makes. Prices are typed in rupees and go out in units.
class COrderTicket {
 public:
  // Where the window hands a finished order: the host's order function.
  using PlaceFn = std::function<int32_t(const sOrderEntryInfo& order, std::string_view tag,
                                        int32_t transactionType, std::string* error)>;
  static constexpr const char* kTag = "ORDER_ENTRY";

  // Opened by dialog kind 4: scrip text and "1" (buy) or "2" (sell). False,
  // with the reason, for a scrip the master lacks or another side.
  bool Open(const ScripDirectory& scrips, std::string_view scripText, std::string_view sideText,
            std::string* error);

  const sScripDetails& Scrip() const { return m_scrip; }
  int32_t Side() const { return m_side; }
  bool IsBuy() const { return m_side == KOVO_TXN_BUY; }
  std::string Title() const;
  std::string ScripText() const;  // "RELIANCE-EQ  nse_cm|2885"

  // The fields the user edits.
  int32_t quantity = 1;
  std::string price;         // rupees; empty until a quote or the user fills it
  int32_t orderType = 1;     // 1 LIMIT, 3 SL
  std::string triggerPrice;  // rupees, stop loss only
  int32_t validity = 1;      // 1 DAY, 5 IOC
  std::string productType = "MIS";
  std::string clientAccount;  // empty: a proprietary order

  // A quote fills the price the user has not typed yet.
  void OfferMarketPrice(int64_t units);

  // The order the fields make; false with the reason when a field is wrong.
  bool Build(sOrderEntryInfo& order, std::string* error) const;
  // Builds and places; false with the reason of the form or of the host.
  bool Submit(const PlaceFn& place, std::string* error) const;

 private:
  bool Units(const std::string& rupees, int32_t& units) const;

  sScripDetails m_scrip{};
  int32_t m_side = KOVO_TXN_BUY;
};

// The terminal's market picture of one scrip: the back end's quote asked for
// once, then the last price of every tick. Runs on the UI thread, where the
// controls deliver.
class CMarketPicture {
 public:
  using GetControlFn = KovoRxControl* (*)(int32_t kind, const KovoRxNotifier* notifier);
  using DestroyControlFn = void (*)(KovoRxControl* control);
  static constexpr const char* kQuoteRequest = "mrv_master";

  struct sQuote {
    int64_t last = 0, open = 0, high = 0, low = 0, volume = 0, openInterest = 0;
    bool known = false;  // a quote or a tick has come
    int ticks = 0;
  };

  CMarketPicture(sScripDetails scrip, GetControlFn get, DestroyControlFn destroy);
  ~CMarketPicture();
  CMarketPicture(const CMarketPicture&) = delete;
  CMarketPicture& operator=(const CMarketPicture&) = delete;

  // Asks for the quote and watches the ticks; false with the reason.
  bool Start(std::string* error);
  // Called after each change, on the UI thread.
  void SetListener(std::function<void()> listener) { m_listener = std::move(listener); }

  const sScripDetails& Scrip() const { return m_scrip; }
  const sQuote& Quote() const { return m_quote; }
  // Caption and value of each line the window shows.
  std::vector<std::pair<std::string, std::string>> Lines() const;

  void OnReply(const wmp_msg* message);
  void OnTick(const wmp_msg* message);

 private:
  static void ReplyThunk(void* self, void* context, const wmp_msg* message, int32_t status);
  static void TickThunk(void* self, const wmp_msg* message);
  bool SendQuoteRequest(std::string* error);

  sScripDetails m_scrip;
  GetControlFn m_get;
  DestroyControlFn m_destroy;
  KovoRxControl* m_requests = nullptr;
  KovoRxControl* m_ticks = nullptr;
  sQuote m_quote;
  std::function<void()> m_listener;
};

}  // namespace kovo::host
