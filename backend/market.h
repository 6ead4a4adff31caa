#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kovo::backend {

// Prices are integers in a scrip's price units (paise for rupee prices:
// priceMultiplier 100). Times are seconds since 1970 UTC; "local" days are
// calendar days in the process's time zone.

struct Scrip {
  std::string exchSeg;        // "nse_cm", "bse_cm", "nse_fo", "mcx_fo"
  std::string token;          // unique within its segment, decimal text
  std::string tradingSymbol;  // "RELIANCE-EQ", "NIFTY 50", "NIFTY25DEC24000CE", "GOLD26FEBFUT"
  std::string symbol;         // "RELIANCE", "NIFTY", "GOLD"
  std::string instrument;     // "EQ", "INDEX", "OPTIDX", "FUTCOM"
  std::string company;        // company symbol for equities, else the symbol
  std::string name;           // "Reliance Industries Ltd"
  std::string series;         // "EQ" for equities, else empty
  std::string expiry;         // "%d%b%Y" upper case ("26DEC2026") for derivatives, else empty
  int64_t strike = 0;         // price units, options only
  std::string optionType;     // "CE", "PE" or empty
  int32_t lotSize = 1;
  int32_t tickSize = 5;    // price units (0.05 rupee)
  std::string underlying;  // token of the underlying (options: the index's token), else empty
  int32_t precision = 2;
  double priceMultiplier = 100.0;
  int32_t quantityMultiplier = 1;
  int64_t basePrice = 0;         // centre of the price model, price units
  int64_t baseOpenInterest = 0;  // derivatives only

  std::string Key() const { return exchSeg + "|" + token; }
};

// The instruments the simulated exchange lists. Deterministic for a seed.
class ScripMaster {
 public:
  // Derivative expiries are the next ones after `today` (seconds since 1970).
  ScripMaster(uint64_t seed, int64_t today);

  const std::vector<Scrip>& All() const { return m_scrips; }
  const Scrip* Find(std::string_view exchSeg, std::string_view token) const;
  const Scrip* FindByTradingSymbol(std::string_view exchSeg, std::string_view tradingSymbol) const;
  // Options of an underlying token, every expiry, sorted by expiry, strike, CE before PE.
  std::vector<const Scrip*> OptionsOf(std::string_view underlyingToken) const;

 private:
  std::vector<Scrip> m_scrips;
  std::unordered_map<std::string, size_t> m_byKey;     // "seg|token"
  std::unordered_map<std::string, size_t> m_bySymbol;  // "seg|tradingSymbol"
};

struct Bar {
  int64_t time = 0;  // start of the bar
  int64_t open = 0, high = 0, low = 0, close = 0;
  int64_t volume = 0;
};

struct Quote {
  int64_t lastPrice = 0;
  int64_t dayOpen = 0, dayHigh = 0, dayLow = 0;
  int64_t dayVolume = 0;           // traded quantity since local midnight
  int64_t openInterest = 0;        // derivatives, else 0
  int64_t openInterestAtOpen = 0;  // at local midnight
};

// Deterministic prices: the same seed, scrip and second give the same price
// whenever asked, so any minute of any day can be computed without history.
// The market trades around the clock.
class PriceModel {
 public:
  explicit PriceModel(uint64_t seed = 1);

  // Price at one second; always a positive multiple of the scrip's tick size.
  int64_t PriceAt(const Scrip& scrip, int64_t second) const;
  // Quantity traded in one second (>= 0).
  int64_t VolumeAt(const Scrip& scrip, int64_t second) const;
  // The one-minute bar starting at minuteStart (a multiple of 60).
  Bar MinuteBar(const Scrip& scrip, int64_t minuteStart) const;
  // One-minute bars covering [from, to), oldest first; both ends rounded down to minutes.
  std::vector<Bar> MinuteBars(const Scrip& scrip, int64_t from, int64_t to) const;
  // Daily bar of the local calendar day that contains `day`; time = local midnight.
  Bar DailyBar(const Scrip& scrip, int64_t day) const;
  // Daily bars of weekdays (Monday to Friday) between two local days, both included, oldest first.
  std::vector<Bar> DailyBars(const Scrip& scrip, int64_t fromDay, int64_t toDay) const;
  Quote QuoteAt(const Scrip& scrip, int64_t now) const;
  int64_t OpenInterestAt(const Scrip& scrip, int64_t second) const;
  int64_t CumulativeVolume(const Scrip& scrip, int64_t now) const;  // since local midnight

 private:
  uint64_t m_seed;
};

// One order as the host hands it over.
struct OrderRequest {
  std::string orderNumber;  // the host's order number, unique per client
  std::string tag;          // echoed in every update
  std::string strategy;     // script name, echoed in every update
  std::string exchSeg, token;
  int32_t side = 1;       // 1 buy, 2 sell
  int32_t orderType = 1;  // 1 LIMIT, 3 SL
  int32_t validity = 1;   // 1 DAY, 5 IOC
  int64_t quantity = 0;
  int64_t price = 0;         // price units
  int64_t triggerPrice = 0;  // price units, SL only
  int64_t disclosedQuantity = 0;
  std::string productType, clientAccount;
};

struct OrderChange {  // a modification; the order keeps its side and scrip
  int32_t orderType = 1;
  int32_t validity = 1;
  int64_t quantity = 0;
  int64_t price = 0;
  int64_t triggerPrice = 0;
  int64_t disclosedQuantity = 0;
};

struct OrderUpdate {
  std::string orderNumber, tag, strategy, exchSeg, token;
  std::string status;  // "open", "trigger pending", "complete", "cancelled", "rejected"
  std::string legCode = "1";
  std::string reason;  // why, for rejections; else empty
  int64_t filledQuantity = 0;
  int64_t averagePrice = 0;  // price units, 0 until something fills
  int64_t pendingQuantity = 0;
  int64_t lastFillQuantity = 0;  // of this update, 0 when it filled nothing
  int64_t lastFillPrice = 0;
  int64_t time = 0;
};

// Matches one client's orders against the model's prices. Not thread-safe.
class MatchingEngine {
 public:
  MatchingEngine(const ScripMaster& scrips, const PriceModel& prices);
  ~MatchingEngine();
  MatchingEngine(const MatchingEngine&) = delete;
  MatchingEngine& operator=(const MatchingEngine&) = delete;

  // Every call returns the updates it caused, in order.
  std::vector<OrderUpdate> Place(const OrderRequest& request, int64_t now);
  std::vector<OrderUpdate> Modify(std::string_view orderNumber, const OrderChange& change,
                                  int64_t now);
  std::vector<OrderUpdate> Cancel(std::string_view orderNumber, int64_t now);
  // Moves every live order on with the market at `now`.
  std::vector<OrderUpdate> OnClock(int64_t now);

  // The latest update of an order, if the engine knows it.
  std::optional<OrderUpdate> Find(std::string_view orderNumber) const;
  size_t LiveOrders() const;

 private:
  struct OrderState;  // defined in the .cpp; the private section is the implementation's
  // The order if it can still change; otherwise the refusal goes to `out`.
  OrderState* OpenOrder(std::string_view orderNumber, int64_t now, std::vector<OrderUpdate>* out);
  const ScripMaster& m_scrips;
  const PriceModel& m_prices;
  std::unordered_map<std::string, std::unique_ptr<OrderState>> m_orders;
};

}  // namespace kovo::backend
