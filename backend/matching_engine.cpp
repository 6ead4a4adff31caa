#include <algorithm>

#include "backend/market.h"
#include "base/format.h"

namespace kovo::backend {

namespace {

constexpr int32_t kBuy = 1, kSell = 2;
constexpr int32_t kLimit = 1, kStopLoss = 3;
constexpr int32_t kDay = 1, kImmediateOrCancel = 5;
// A clock that jumps far ahead replays at most this many seconds per order.
constexpr int64_t kCatchUpSeconds = 600;
// Times are held inside this range (about 1200 BC to 5100 AD) so that stepping
// through seconds cannot overflow.
constexpr int64_t kEarliest = -100'000'000'000;
constexpr int64_t kLatest = 100'000'000'000;

constexpr const char* kOpen = "open";
constexpr const char* kTriggerPending = "trigger pending";
constexpr const char* kComplete = "complete";
constexpr const char* kCancelled = "cancelled";
constexpr const char* kRejected = "rejected";

// The terms an order can be placed with or changed to.
struct Terms {
  int32_t orderType = kLimit;
  int32_t validity = kDay;
  int64_t quantity = 0;
  int64_t price = 0;
  int64_t triggerPrice = 0;
  int64_t disclosedQuantity = 0;
};

Terms TermsOf(const OrderRequest& r) {
  return {r.orderType, r.validity, r.quantity, r.price, r.triggerPrice, r.disclosedQuantity};
}

Terms TermsOf(const OrderChange& c) {
  return {c.orderType, c.validity, c.quantity, c.price, c.triggerPrice, c.disclosedQuantity};
}

// Why terms are unacceptable for a side of a scrip; empty when they are fine.
std::string Check(const Scrip& scrip, int32_t side, const Terms& t) {
  const int64_t lot = scrip.lotSize > 0 ? scrip.lotSize : 1;
  const int64_t tick = scrip.tickSize > 0 ? scrip.tickSize : 1;
  if (scrip.instrument == "INDEX") return "an index cannot be traded";
  if (side != kBuy && side != kSell) return Format("side %d is neither 1 (buy) nor 2 (sell)", side);
  if (t.orderType != kLimit && t.orderType != kStopLoss)
    return Format("order type %d is neither 1 (limit) nor 3 (stop loss)", t.orderType);
  if (t.validity != kDay && t.validity != kImmediateOrCancel)
    return Format("validity %d is neither 1 (day) nor 5 (immediate or cancel)", t.validity);
  if (t.quantity <= 0 || t.quantity % lot != 0)
    return Format("quantity %lld is not a positive multiple of the lot size %lld",
                  static_cast<long long>(t.quantity), static_cast<long long>(lot));
  if (t.price <= 0 || t.price % tick != 0)
    return Format("price %lld is not a positive multiple of the tick size %lld",
                  static_cast<long long>(t.price), static_cast<long long>(tick));
  if (t.orderType == kStopLoss) {
    if (t.triggerPrice <= 0 || t.triggerPrice % tick != 0)
      return Format("trigger price %lld is not a positive multiple of the tick size %lld",
                    static_cast<long long>(t.triggerPrice), static_cast<long long>(tick));
    if (side == kBuy && t.triggerPrice > t.price)
      return "the trigger price of a buy stop loss is above its price";
    if (side == kSell && t.triggerPrice < t.price)
      return "the trigger price of a sell stop loss is below its price";
  }
  if (t.disclosedQuantity < 0 || t.disclosedQuantity > t.quantity)
    return "disclosed quantity is not between 0 and the quantity";
  return std::string();
}

bool Live(const std::string& status) {
  return status == kOpen || status == kTriggerPending;
}

int64_t Sane(int64_t now) {
  return std::clamp(now, kEarliest, kLatest);
}

}  // namespace

struct MatchingEngine::OrderState {
  OrderRequest request;  // terms as last accepted
  const Scrip* scrip = nullptr;
  uint64_t sequence = 0;
  std::string status;
  bool triggered = false;  // a stop loss that has turned into a limit order
  int64_t filled = 0;
  __int128 filledValue = 0;  // sum of quantity * price over the fills
  int64_t evaluatedUpTo = 0;
  OrderUpdate last;

  OrderUpdate Snapshot(int64_t time) const {
    OrderUpdate u;
    u.orderNumber = request.orderNumber;
    u.tag = request.tag;
    u.strategy = request.strategy;
    u.exchSeg = request.exchSeg;
    u.token = request.token;
    u.status = status;
    u.filledQuantity = filled;
    if (filled > 0) u.averagePrice = static_cast<int64_t>((filledValue + filled / 2) / filled);
    u.pendingQuantity = Live(status) ? request.quantity - filled : 0;
    u.time = time;
    return u;
  }

  // Records and hands out the order's current state.
  void Emit(int64_t time, std::vector<OrderUpdate>* out) {
    last = Snapshot(time);
    out->push_back(last);
  }

  void Apply(const Terms& t) {
    // A stop loss waits for its trigger unless it has been triggered already.
    if (t.orderType == kStopLoss && request.orderType != kStopLoss) triggered = false;
    request.orderType = t.orderType;
    request.validity = t.validity;
    request.quantity = t.quantity;
    request.price = t.price;
    request.triggerPrice = t.triggerPrice;
    request.disclosedQuantity = t.disclosedQuantity;
    status = request.orderType == kStopLoss && !triggered ? kTriggerPending : kOpen;
  }

  // The most one marketable second fills: a third of the order, in whole lots.
  int64_t Chunk() const {
    const int64_t lot = scrip->lotSize > 0 ? scrip->lotSize : 1;
    const int64_t q = request.quantity;
    const int64_t third = q / 3 + (q % 3 != 0);
    const int64_t lots = third / lot + (third % lot != 0);
    return std::max<int64_t>(lot, lots * lot);
  }

  // Moves the order on by one second at the market price.
  void Step(int64_t second, int64_t market, std::vector<OrderUpdate>* out) {
    const bool buy = request.side == kBuy;
    if (status == kTriggerPending) {
      if (buy ? market < request.triggerPrice : market > request.triggerPrice) return;
      triggered = true;
      status = kOpen;
      Emit(second, out);
    }
    if (status == kOpen && (buy ? market <= request.price : market >= request.price)) {
      const int64_t quantity = std::min(Chunk(), request.quantity - filled);
      // Buy at the lower of limit and market, sell at the higher.
      const int64_t price = buy ? std::min(market, request.price) : std::max(market, request.price);
      filled += quantity;
      filledValue += static_cast<__int128>(quantity) * price;
      if (filled >= request.quantity) status = kComplete;
      last = Snapshot(second);
      last.lastFillQuantity = quantity;
      last.lastFillPrice = price;
      out->push_back(last);
    }
    // Immediate-or-cancel gets one chance once it is working.
    if (status == kOpen && request.validity == kImmediateOrCancel) {
      status = kCancelled;
      Emit(second, out);
    }
  }
};

MatchingEngine::MatchingEngine(const ScripMaster& scrips, const PriceModel& prices)
    : m_scrips(scrips), m_prices(prices) {}

MatchingEngine::~MatchingEngine() = default;

std::vector<OrderUpdate> MatchingEngine::Place(const OrderRequest& request, int64_t clock) {
  const int64_t now = Sane(clock);
  std::vector<OrderUpdate> out;
  auto reject = [&](std::string reason) {
    OrderUpdate u;
    u.orderNumber = request.orderNumber;
    u.tag = request.tag;
    u.strategy = request.strategy;
    u.exchSeg = request.exchSeg;
    u.token = request.token;
    u.status = kRejected;
    u.reason = std::move(reason);
    u.time = now;
    out.push_back(u);
  };
  if (request.orderNumber.empty()) {
    reject("order number is missing");
    return out;
  }
  if (m_orders.count(request.orderNumber)) {
    reject("order number " + request.orderNumber + " is in use");
    return out;
  }

  auto order = std::make_unique<OrderState>();
  order->request = request;
  order->scrip = m_scrips.Find(request.exchSeg, request.token);
  order->sequence = m_orders.size();
  order->evaluatedUpTo = now;
  const std::string problem = order->scrip
                                  ? Check(*order->scrip, request.side, TermsOf(request))
                                  : "unknown scrip " + request.exchSeg + "|" + request.token;
  if (!problem.empty()) {
    // Kept, so later requests about the order get its status.
    reject(problem);
    order->status = kRejected;
    order->last = out.back();
  } else {
    order->Apply(TermsOf(request));
    order->Emit(now, &out);
    order->Step(now, m_prices.PriceAt(*order->scrip, now), &out);
  }
  m_orders.emplace(request.orderNumber, std::move(order));
  return out;
}

MatchingEngine::OrderState* MatchingEngine::OpenOrder(std::string_view orderNumber, int64_t now,
                                                      std::vector<OrderUpdate>* out) {
  const auto it = m_orders.find(std::string(orderNumber));
  if (it == m_orders.end()) {
    OrderUpdate u;
    u.orderNumber = std::string(orderNumber);
    u.status = kRejected;
    u.reason = "unknown order";
    u.time = now;
    out->push_back(u);
    return nullptr;
  }
  OrderState& order = *it->second;
  if (!Live(order.status)) {
    OrderUpdate u = order.Snapshot(now);
    u.reason = "order is not open";
    out->push_back(u);
    return nullptr;
  }
  return &order;
}

std::vector<OrderUpdate> MatchingEngine::Modify(std::string_view orderNumber,
                                                const OrderChange& change, int64_t clock) {
  const int64_t now = Sane(clock);
  std::vector<OrderUpdate> out;
  OrderState* open = OpenOrder(orderNumber, now, &out);
  if (!open) return out;
  OrderState& order = *open;
  const Terms terms = TermsOf(change);
  std::string problem = Check(*order.scrip, order.request.side, terms);
  if (problem.empty() && terms.quantity <= order.filled)
    problem = Format("quantity %lld does not exceed the %lld already filled",
                     static_cast<long long>(terms.quantity), static_cast<long long>(order.filled));
  if (!problem.empty()) {
    OrderUpdate u = order.Snapshot(now);
    u.reason = std::move(problem);
    out.push_back(u);
    return out;
  }
  order.Apply(terms);
  order.Emit(now, &out);
  order.Step(now, m_prices.PriceAt(*order.scrip, now), &out);
  order.evaluatedUpTo = std::max(order.evaluatedUpTo, now);
  return out;
}

std::vector<OrderUpdate> MatchingEngine::Cancel(std::string_view orderNumber, int64_t clock) {
  const int64_t now = Sane(clock);
  std::vector<OrderUpdate> out;
  OrderState* order = OpenOrder(orderNumber, now, &out);
  if (!order) return out;
  order->status = kCancelled;
  order->Emit(now, &out);
  return out;
}

std::vector<OrderUpdate> MatchingEngine::OnClock(int64_t clock) {
  const int64_t now = Sane(clock);
  std::vector<OrderState*> live;
  for (const auto& [number, order] : m_orders)
    if (Live(order->status)) live.push_back(order.get());
  // Placement order, so simultaneous updates come out the same way every run.
  std::sort(live.begin(), live.end(),
            [](const OrderState* a, const OrderState* b) { return a->sequence < b->sequence; });
  std::vector<OrderUpdate> out;
  for (OrderState* order : live) {
    if (now <= order->evaluatedUpTo) continue;
    const int64_t from = std::max(order->evaluatedUpTo + 1, now - (kCatchUpSeconds - 1));
    for (int64_t s = from; s <= now && Live(order->status); ++s)
      order->Step(s, m_prices.PriceAt(*order->scrip, s), &out);
    order->evaluatedUpTo = now;
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const OrderUpdate& a, const OrderUpdate& b) { return a.time < b.time; });
  return out;
}

std::optional<OrderUpdate> MatchingEngine::Find(std::string_view orderNumber) const {
  const auto it = m_orders.find(std::string(orderNumber));
  if (it == m_orders.end()) return std::nullopt;
  return it->second->last;
}

size_t MatchingEngine::LiveOrders() const {
  return static_cast<size_t>(std::count_if(m_orders.begin(), m_orders.end(), [](const auto& entry) {
    return Live(entry.second->status);
  }));
}

}  // namespace kovo::backend
