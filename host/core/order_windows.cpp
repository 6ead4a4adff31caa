#include "host/core/order_windows.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "backend/protocol.h"
#include "base/format.h"
#include "base/number.h"

namespace kovo::host {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Text(const sScripDetails& scrip, int position) {
  return std::string(ScripDirectory::Text(scrip, position));
}

void Put(char* slot, const std::string& text) {
  std::snprintf(slot, KOVO_ORDER_TEXT_LEN, "%s", text.c_str());
}

// The first value of a field as a whole number; nullopt when absent or not one.
std::optional<int64_t> FieldNumber(const wmp_msg* message, int32_t field) {
  wmp_value value{};
  if (!wmp_get_data(message, field, 0, &value, nullptr) || !value.data) return std::nullopt;
  const char* begin = static_cast<const char*>(value.data);
  const char* end = begin + value.length;
  int64_t number = 0;
  const auto [at, error] = std::from_chars(begin, end, number);
  if (error != std::errc() || at != end) return std::nullopt;
  return number;
}

std::string FieldText(const wmp_msg* message, int32_t field) {
  wmp_value value{};
  if (!wmp_get_data(message, field, 0, &value, nullptr) || !value.data) return {};
  return std::string(static_cast<const char*>(value.data), static_cast<size_t>(value.length));
}

// A typed price: digits with at most one point, nothing else.
bool ParseRupees(std::string_view text, double& rupees) {
  text = Trim(text);
  if (text.empty() || text.size() > 20) return false;
  bool point = false, digit = false;
  for (const char c : text) {
    if (c == '.') {
      if (point) return false;
      point = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  rupees = LeadingDouble(text);  // a dot in any locale
  return std::isfinite(rupees);
}

}  // namespace

std::optional<sScripDetails> ResolveScrip(const ScripDirectory& scrips, std::string_view text) {
  const size_t bar = text.find('|');
  if (bar == std::string_view::npos) return std::nullopt;
  const std::string_view segment = Trim(text.substr(0, bar));
  const std::string_view second = Trim(text.substr(bar + 1));
  if (segment.empty() || second.empty()) return std::nullopt;
  if (auto scrip = scrips.Find(segment, second)) return scrip;
  return scrips.FindByTradingSymbol(segment, second);
}

std::string PriceText(const sScripDetails& scrip, int64_t units) {
  const double multiplier = scrip.priceMultiplier > 0 ? scrip.priceMultiplier : 100.0;
  const int precision = std::clamp(scrip.pricePrecision, 0, 8);
  return Format("%.*f", precision, static_cast<double>(units) / multiplier);
}

// ---- order entry --------------------------------------------------------------------

bool COrderTicket::Open(const ScripDirectory& scrips, std::string_view scripText,
                        std::string_view sideText, std::string* error) {
  const std::string_view side = Trim(sideText);
  if (side != "1" && side != "2") {
    if (error) *error = "the order side must be 1 (buy) or 2 (sell)";
    return false;
  }
  const std::optional<sScripDetails> scrip = ResolveScrip(scrips, scripText);
  if (!scrip) {
    if (error) *error = "unknown scrip \"" + std::string(scripText) + "\"";
    return false;
  }
  m_scrip = *scrip;
  m_side = side == "1" ? KOVO_TXN_BUY : KOVO_TXN_SELL;
  // One lot is the smallest order the exchange takes.
  int lot = 0;
  const std::string lotText = Text(m_scrip, KOVO_SCRIP_LOT_SIZE);
  std::from_chars(lotText.data(), lotText.data() + lotText.size(), lot);
  quantity = lot > 0 ? lot : 1;
  price.clear();
  triggerPrice.clear();
  return true;
}

std::string COrderTicket::Title() const {
  return std::string(IsBuy() ? "Buy Order" : "Sell Order") + " - " +
         Text(m_scrip, KOVO_SCRIP_TRAD_SYMBOL);
}

std::string COrderTicket::ScripText() const {
  return Text(m_scrip, KOVO_SCRIP_TRAD_SYMBOL) + "  " + ScripDirectory::UniqueKey(m_scrip);
}

void COrderTicket::OfferMarketPrice(int64_t units) {
  if (price.empty() && units > 0) price = PriceText(m_scrip, units);
}

bool COrderTicket::Units(const std::string& rupees, int32_t& units) const {
  double value = 0;
  if (!ParseRupees(rupees, value)) return false;
  const double multiplier = m_scrip.priceMultiplier > 0 ? m_scrip.priceMultiplier : 100.0;
  const double scaled = std::round(value * multiplier);
  if (scaled <= 0 || scaled > 2147483647.0) return false;
  units = static_cast<int32_t>(scaled);
  return true;
}

bool COrderTicket::Build(sOrderEntryInfo& order, std::string* error) const {
  const auto fail = [error](const char* why) {
    if (error) *error = why;
    return false;
  };
  order = sOrderEntryInfo{};
  if (quantity <= 0) return fail("the quantity must be above 0");
  if (orderType != 1 && orderType != 3) return fail("the order type must be LIMIT or SL");
  if (validity != 1 && validity != 5) return fail("the validity must be DAY or IOC");
  int32_t units = 0;
  if (!Units(price, units)) return fail("the price must be a number above 0");
  int32_t trigger = 0;
  if (orderType == 3 && !Units(triggerPrice, trigger))
    return fail("a stop loss order needs a trigger price above 0");
  Put(order.scripKey, ScripDirectory::UniqueKey(m_scrip));
  Put(order.productType, productType);
  Put(order.clientAccount, clientAccount);
  order.proprietary = clientAccount.empty() ? 1 : 0;
  order.quantity = quantity;
  order.price = units;
  order.orderType = orderType;
  order.validity = validity;
  order.triggerPrice = trigger;
  return true;
}

bool COrderTicket::Submit(const PlaceFn& place, std::string* error) const {
  sOrderEntryInfo order{};
  if (!Build(order, error)) return false;
  if (!place) {
    if (error) *error = "the terminal cannot place orders";
    return false;
  }
  std::string why;
  if (place(order, kTag, m_side, &why)) return true;
  if (error) *error = why.empty() ? "the order was not placed" : why;
  return false;
}

// ---- market picture -----------------------------------------------------------------

CMarketPicture::CMarketPicture(sScripDetails scrip, GetControlFn get, DestroyControlFn destroy)
    : m_scrip(scrip), m_get(get), m_destroy(destroy) {}

CMarketPicture::~CMarketPicture() {
  if (!m_destroy) return;
  m_destroy(m_requests);
  m_destroy(m_ticks);
}

bool CMarketPicture::Start(std::string* error) {
  if (!m_get) {
    if (error) *error = "the terminal has no back-end connection";
    return false;
  }
  const KovoRxNotifier notifier{&CMarketPicture::TickThunk, &CMarketPicture::ReplyThunk, this};
  if (!m_requests) m_requests = m_get(KOVO_RX_REQUESTS, &notifier);
  if (!m_ticks) m_ticks = m_get(KOVO_RX_BROADCASTS, &notifier);
  if (!m_requests || !m_ticks) {
    if (error) *error = "no receiver control for the market picture";
    return false;
  }
  const std::string segment = Text(m_scrip, KOVO_SCRIP_EXCH_SEG);
  const std::string token = Text(m_scrip, KOVO_SCRIP_TOKEN);
  const KovoFieldMatch watch[] = {{wire::kExchSeg, segment.c_str(), -1},
                                  {wire::kToken, token.c_str(), -1},
                                  {wire::kLastPrice, nullptr, 0}};
  int32_t code = 0;
  if (m_ticks->ops->addWatch(m_ticks, watch, 3, &code) <= 0) {
    if (error) *error = "the ticks cannot be watched (error " + std::to_string(code) + ")";
    return false;
  }
  return SendQuoteRequest(error);
}

bool CMarketPicture::SendQuoteRequest(std::string* error) {
  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  int32_t code = 0;
  bool sent = wmp_ctor_primecb(&builder, &code) && wmp_open_scratch(&scratch, 4096, &code) &&
              wmp_start_msg(builder, scratch, &code);
  const auto add = [&](int32_t field, const std::string& text) {
    const wmp_value value{text.data(), static_cast<int64_t>(text.size())};
    sent = sent && wmp_add_data(builder, field, 1, &value, &code);
  };
  add(wire::kRequest, kQuoteRequest);
  add(wire::kExchSeg, Text(m_scrip, KOVO_SCRIP_EXCH_SEG));
  add(wire::kToken, Text(m_scrip, KOVO_SCRIP_TOKEN));
  sent = sent && m_requests->ops->send(m_requests, this, builder, 0, &code);
  wmp_dtor_primecb(builder, nullptr);
  wmp_close_scratch(scratch, nullptr);
  if (!sent && error) *error = "the quote request failed (error " + std::to_string(code) + ")";
  return sent;
}

void CMarketPicture::ReplyThunk(void* self, void*, const wmp_msg* message, int32_t status) {
  if (self && message && status == 0) static_cast<CMarketPicture*>(self)->OnReply(message);
}

void CMarketPicture::TickThunk(void* self, const wmp_msg* message) {
  if (self && message) static_cast<CMarketPicture*>(self)->OnTick(message);
}

void CMarketPicture::OnReply(const wmp_msg* message) {
  // The closing message of the reply carries no quote.
  if (FieldText(message, wire::kReplyRequest) != kQuoteRequest) return;
  const std::optional<int64_t> last = FieldNumber(message, wire::kLastPrice);
  if (!last) return;
  m_quote.last = *last;
  m_quote.open = FieldNumber(message, wire::kDayOpen).value_or(m_quote.open);
  m_quote.high = FieldNumber(message, wire::kDayHigh).value_or(m_quote.high);
  m_quote.low = FieldNumber(message, wire::kDayLow).value_or(m_quote.low);
  m_quote.volume = FieldNumber(message, wire::kDayVolume).value_or(m_quote.volume);
  m_quote.openInterest = FieldNumber(message, wire::kOpenInterest).value_or(m_quote.openInterest);
  m_quote.known = true;
  if (m_listener) m_listener();
}

void CMarketPicture::OnTick(const wmp_msg* message) {
  if (FieldText(message, wire::kExchSeg) != Text(m_scrip, KOVO_SCRIP_EXCH_SEG) ||
      FieldText(message, wire::kToken) != Text(m_scrip, KOVO_SCRIP_TOKEN))
    return;
  const std::optional<int64_t> last = FieldNumber(message, wire::kLastPrice);
  if (!last || *last <= 0) return;
  m_quote.last = *last;
  // Until the quote comes the day's range is what the ticks have shown.
  if (m_quote.high == 0 || *last > m_quote.high) m_quote.high = *last;
  if (m_quote.low == 0 || *last < m_quote.low) m_quote.low = *last;
  if (const auto volume = FieldNumber(message, wire::kCumulativeQuantity)) m_quote.volume = *volume;
  m_quote.known = true;
  ++m_quote.ticks;
  if (m_listener) m_listener();
}

std::vector<std::pair<std::string, std::string>> CMarketPicture::Lines() const {
  const auto price = [this](int64_t units) {
    return m_quote.known && units > 0 ? PriceText(m_scrip, units) : std::string("-");
  };
  std::vector<std::pair<std::string, std::string>> lines = {
      {"Trading Symbol", Text(m_scrip, KOVO_SCRIP_TRAD_SYMBOL)},
      {"Exchange", Text(m_scrip, KOVO_SCRIP_EXCH_SEG)},
      {"Token", Text(m_scrip, KOVO_SCRIP_TOKEN)},
      {"Last Price", price(m_quote.last)},
      {"Open", price(m_quote.open)},
      {"High", price(m_quote.high)},
      {"Low", price(m_quote.low)},
      {"Volume", m_quote.known ? std::to_string(m_quote.volume) : std::string("-")},
  };
  if (m_quote.openInterest > 0)
    lines.emplace_back("Open Interest", std::to_string(m_quote.openInterest));
  return lines;
}

}  // namespace kovo::host
