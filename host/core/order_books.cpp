#include "host/core/order_books.h"

#include <charconv>

#include "backend/protocol.h"
#include "host/core/order_windows.h"

namespace kovo::host {
namespace {

std::string FieldText(const wmp_msg* message, int32_t field) {
  wmp_value value{};
  if (!wmp_get_data(message, field, 0, &value, nullptr) || !value.data) return {};
  return std::string(static_cast<const char*>(value.data), static_cast<size_t>(value.length));
}

// A whole-number field; nullopt when absent or not a number, so a bad field
// leaves what the order showed.
std::optional<int64_t> FieldNumber(const wmp_msg* message, int32_t field) {
  const std::string text = FieldText(message, field);
  int64_t number = 0;
  const auto [at, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || at != text.data() + text.size()) return std::nullopt;
  return number;
}

void Keep(std::string& slot, std::string text) {
  if (!text.empty()) slot = std::move(text);
}

}  // namespace

bool COrderStore::OnOrderUpdate(const wmp_msg* message) {
  if (!message) return false;
  std::string number = FieldText(message, wire::kOrderNumber);
  if (number.empty()) return false;
  auto [it, added] = m_indexOf.emplace(number, m_orders.size());
  if (added) {
    m_orders.emplace_back();
    m_orders.back().orderNumber = number;
  }
  sBookOrder& order = m_orders[it->second];
  // A later update that lacks a field keeps what the order had.
  Keep(order.script, FieldText(message, wire::kScriptName));
  Keep(order.tag, FieldText(message, wire::kOrderTag));
  Keep(order.exchSeg, FieldText(message, wire::kExchSeg));
  Keep(order.token, FieldText(message, wire::kToken));
  Keep(order.status, FieldText(message, wire::kOrderStatus));
  Keep(order.reason, FieldText(message, wire::kReason));
  if (auto n = FieldNumber(message, wire::kFilledQuantity)) order.filledQuantity = *n;
  if (auto n = FieldNumber(message, wire::kPendingQuantity)) order.pendingQuantity = *n;
  if (auto n = FieldNumber(message, wire::kAveragePrice)) order.averagePrice = *n;
  const std::optional<int64_t> fillQuantity = FieldNumber(message, wire::kLastFillQuantity);
  if (fillQuantity && *fillQuantity > 0) {
    sBookFill fill;
    fill.orderNumber = order.orderNumber;
    fill.script = order.script;
    fill.tag = order.tag;
    fill.exchSeg = order.exchSeg;
    fill.token = order.token;
    fill.quantity = *fillQuantity;
    fill.price = FieldNumber(message, wire::kLastFillPrice).value_or(0);
    m_fills.push_back(std::move(fill));
  }
  // A listener may unsubscribe itself (its window closed).
  const auto listeners = m_listeners;
  for (const auto& [id, listener] : listeners)
    if (listener) listener();
  return true;
}

int COrderStore::Subscribe(Listener listener) {
  const int id = m_nextListener++;
  m_listeners.emplace(id, std::move(listener));
  return id;
}

void COrderStore::Unsubscribe(int id) {
  m_listeners.erase(id);
}

// ---- order book and trade book windows ---------------------------------------------

CBookWindow::CBookWindow(const COrderStore& store, const ScripDirectory& scrips, Kind kind)
    : m_store(store), m_scrips(scrips), m_kind(kind) {}

bool CBookWindow::Open(std::string_view scripText, std::string* error) {
  const std::optional<sScripDetails> scrip = ResolveScrip(m_scrips, scripText);
  if (!scrip) {
    if (error) *error = "unknown scrip \"" + std::string(scripText) + "\"";
    return false;
  }
  m_scrip = *scrip;
  m_segment = ScripDirectory::NormalSegment(ScripDirectory::Text(m_scrip, KOVO_SCRIP_EXCH_SEG));
  m_token = std::string(ScripDirectory::Text(m_scrip, KOVO_SCRIP_TOKEN));
  return true;
}

std::string CBookWindow::Title() const {
  return std::string(m_kind == kOrderBook ? "Order Book" : "Trade Book") + " - " +
         std::string(ScripDirectory::Text(m_scrip, KOVO_SCRIP_TRAD_SYMBOL));
}

std::vector<std::string> CBookWindow::Headers() const {
  if (m_kind == kOrderBook)
    return {"Order No",    "Trading Symbol", "Exchange", "Status", "Filled Qty",
            "Pending Qty", "Avg Price",      "Tag",      "Script", "Reason"};
  return {"Order No", "Trading Symbol", "Exchange", "Fill Qty", "Fill Price", "Tag", "Script"};
}

bool CBookWindow::OfScrip(const std::string& exchSeg, const std::string& token) const {
  return token == m_token && ScripDirectory::NormalSegment(exchSeg) == m_segment;
}

std::string CBookWindow::Symbol(const std::string& exchSeg, const std::string& token) const {
  const std::optional<sScripDetails> scrip = m_scrips.Find(exchSeg, token);
  return scrip ? std::string(ScripDirectory::Text(*scrip, KOVO_SCRIP_TRAD_SYMBOL)) : token;
}

std::string CBookWindow::Price(const std::string& exchSeg, const std::string& token,
                               int64_t units) const {
  if (units == 0) return {};  // nothing filled yet
  const std::optional<sScripDetails> scrip = m_scrips.Find(exchSeg, token);
  sScripDetails defaults{};
  defaults.pricePrecision = 2;
  defaults.priceMultiplier = 100.0;
  return PriceText(scrip ? *scrip : defaults, units);
}

std::vector<CBookWindow::sRow> CBookWindow::Rows() const {
  std::vector<sRow> rows;
  if (m_kind == kOrderBook) {
    const auto& orders = m_store.Orders();
    for (auto it = orders.rbegin(); it != orders.rend(); ++it) {
      const bool ofScrip = OfScrip(it->exchSeg, it->token);
      if (m_filtered && !ofScrip) continue;
      rows.push_back(
          {{it->orderNumber, Symbol(it->exchSeg, it->token), it->exchSeg, it->status,
            std::to_string(it->filledQuantity), std::to_string(it->pendingQuantity),
            Price(it->exchSeg, it->token, it->averagePrice), it->tag, it->script, it->reason},
           ofScrip});
    }
  } else {
    const auto& fills = m_store.Fills();
    for (auto it = fills.rbegin(); it != fills.rend(); ++it) {
      const bool ofScrip = OfScrip(it->exchSeg, it->token);
      if (m_filtered && !ofScrip) continue;
      rows.push_back({{it->orderNumber, Symbol(it->exchSeg, it->token), it->exchSeg,
                       std::to_string(it->quantity), Price(it->exchSeg, it->token, it->price),
                       it->tag, it->script},
                      ofScrip});
    }
  }
  return rows;
}

}  // namespace kovo::host
