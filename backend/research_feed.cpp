#include "backend/research_feed.h"

#include <algorithm>
#include <cstdio>

#include "backend/protocol.h"
#include "backend/service.h"

namespace kovo::backend {
namespace {

constexpr const char* kProviders[] = {"Kovo Research", "Heckyl Desk", "Olrik", "PPlay",
                                      "INDIAN_EQUITY"};
constexpr const char* kStrategies[] = {"Bull Call Spread", "Long Straddle", "Bear Put Spread",
                                       "Short Strangle"};

uint64_t SplitMix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

std::string Rupees(int64_t ticks) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(ticks / 100),
                static_cast<long long>((ticks < 0 ? -ticks : ticks) % 100));
  return text;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

}  // namespace

int64_t ResearchFeed::Period(std::string_view category) {
  if (category == "research reports") return 90;
  if (category == "trading calls") return 45;
  if (category == "option_calls" || category == "Option Calls") return 150;
  if (StartsWith(category, "zint_msg.")) return 600;
  return 0;
}

int64_t ResearchFeed::OpeningDelay(std::string_view category) {
  return category == "option_calls" ? 3 : 0;
}

bool ResearchFeed::OpeningItem(std::string_view category, int64_t now, const std::string& peerUser,
                               Fields& item) const {
  if (OpeningDelay(category) == 0 || m_market.scrips.All().empty() || now < 0) return false;
  // Regular slots count up from 0; an opening call's slot is below them.
  item = Make(category, -1 - now, now, peerUser, false);
  return true;
}

uint64_t ResearchFeed::Mix(std::string_view category, int64_t slot) const {
  uint64_t h = SplitMix(m_seed);
  for (const char c : category) h = SplitMix(h ^ static_cast<unsigned char>(c));
  return SplitMix(h ^ static_cast<uint64_t>(slot));
}

const Scrip& ResearchFeed::Equity(uint64_t pick) const {
  const auto& all = m_market.scrips.All();
  std::vector<const Scrip*> cash;
  for (const Scrip& s : all)
    if (s.instrument == "EQ") cash.push_back(&s);
  return cash.empty() ? all.front() : *cash[pick % cash.size()];
}

int64_t ResearchFeed::Offset(int64_t period) const {
  return static_cast<int64_t>(SplitMix(m_seed) % static_cast<uint64_t>(period));
}

ResearchFeed::Fields ResearchFeed::Make(std::string_view category, int64_t slot, int64_t at,
                                        const std::string& peerUser, bool history) const {
  if (category == "research reports") return Research(slot, at, peerUser);
  if (category == "trading calls") return Trading(slot, at, peerUser);
  if (StartsWith(category, "zint_msg."))
    return {{54211, std::string(category)},
            {64057, peerUser},
            {20008, "Market notice " + std::to_string(slot) + ": trading hours unchanged"}};
  // A live option call is told by its category; history carries the
  // category the call is filed under.
  Fields item = Option(slot, at,
                       !history                     ? "option_calls"
                       : Mix("kind", slot) % 3 == 0 ? "Indian Volatility"
                                                    : "Option Calls");
  if (!peerUser.empty()) item.emplace_back(64057, peerUser);
  return item;
}

bool ResearchFeed::ItemAt(std::string_view category, int64_t now, const std::string& peerUser,
                          Fields& item) const {
  const int64_t period = Period(category);
  if (period == 0 || m_market.scrips.All().empty() || now < 0) return false;
  const int64_t offset = Offset(period);
  if ((now + offset) % period != 0) return false;
  item = Make(category, (now + offset) / period, now, peerUser, false);
  return true;
}

std::vector<ResearchFeed::Fields> ResearchFeed::Today(std::string_view category, int64_t now,
                                                      const std::string& peerUser,
                                                      size_t most) const {
  std::vector<Fields> items;
  const int64_t period = Period(category);
  if (period == 0 || m_market.scrips.All().empty() || now < 0 || most == 0) return items;
  const int64_t offset = Offset(period);
  // The desks publish around the clock, so "the day" is the last 24 hours: a
  // session opened just after midnight still gets the day's calls.
  int64_t first = std::max<int64_t>(0, now - 86400 + 1);
  if (const int64_t rest = (first + offset) % period) first += period - rest;
  const int64_t count = first > now ? 0 : (now - first) / period + 1;
  for (int64_t k = std::max<int64_t>(0, count - static_cast<int64_t>(most)); k < count; ++k) {
    const int64_t at = first + k * period;
    items.push_back(Make(category, (at + offset) / period, at, peerUser, true));
  }
  return items;
}

ResearchFeed::Fields ResearchFeed::Research(int64_t slot, int64_t at,
                                            const std::string& peerUser) const {
  const uint64_t h = Mix("research reports", slot);
  const Scrip& s = Equity(h);
  const int64_t price = m_market.prices.PriceAt(s, at);
  const int64_t target = price + price * static_cast<int64_t>(5 + h % 20) / 100;
  return {{54211, "research reports"},
          {64057, peerUser},
          {31003, kProviders[(h >> 8) % 5]},
          {50100, std::to_string(at)},
          {64819, "R" + std::to_string(slot)},
          {59480, "Buy " + s.tradingSymbol + " for a target of Rs." + Rupees(target)},
          {63413, s.name + ": earnings ahead of estimates; upside of " +
                      std::to_string(5 + h % 20) + "% over twelve months."},
          {63001, s.exchSeg},
          {10100, s.tradingSymbol},
          {12003, "B"},
          {10307, std::to_string(price)},
          {64767, std::to_string(target)},
          {63046, std::to_string(price)}};
}

ResearchFeed::Fields ResearchFeed::Trading(int64_t slot, int64_t at,
                                           const std::string& peerUser) const {
  const uint64_t h = Mix("trading calls", slot);
  const Scrip& s = Equity(h);
  const int64_t price = m_market.prices.PriceAt(s, at);
  const bool buy = (h >> 4) & 1;
  const int64_t step = price / 50 + 5;
  const int64_t target = buy ? price + 2 * step : price - 2 * step;
  const int64_t stop = buy ? price - step : price + step;
  return {
      {54211, "trading calls"},
      {64057, peerUser},
      {31003, kProviders[(h >> 8) % 5]},
      {50100, std::to_string(at)},
      {64819, "T" + std::to_string(slot)},
      {59480, std::string(buy ? "Buy " : "Sell ") + s.tradingSymbol},
      {59481, std::string(buy ? "Buy " : "Sell ") + s.tradingSymbol + " at Rs." + Rupees(price) +
                  ", target Rs." + Rupees(target) + ", stop loss Rs." + Rupees(stop)},
      {63001, s.exchSeg},
      {10100, s.tradingSymbol},
      {12003, buy ? "B" : "S"},
      {10307, std::to_string(price)},
      {64767, std::to_string(target)},
      {49247, std::to_string(stop)},
      {63046, std::to_string(price)}};
}

ResearchFeed::Fields ResearchFeed::Option(int64_t slot, int64_t at,
                                          std::string_view category) const {
  const uint64_t h = Mix("option_calls", slot);
  Fields item = {
      {54211, std::string(category)}, {31003, "KOVO"},     {31003, kProviders[(h >> 8) % 5]},
      {64016, kStrategies[h % 4]},    {49248, "Intraday"}, {20008, "Enter near the quoted prices"},
      {50100, std::to_string(at)}};
  // A strategy is built on one underlying and one expiry: its legs are
  // drawn from that chain only.
  std::vector<std::string> underlyings;
  for (const Scrip& s : m_market.scrips.All())
    if (s.instrument == "OPTIDX" &&
        std::find(underlyings.begin(), underlyings.end(), s.underlying) == underlyings.end())
      underlyings.push_back(s.underlying);
  std::vector<const Scrip*> options;
  if (!underlyings.empty()) {
    const auto chain = m_market.scrips.OptionsOf(underlyings[(h >> 40) % underlyings.size()]);
    for (const Scrip* s : chain)
      if (s->expiry == chain.front()->expiry) options.push_back(s);
  }
  const int legs = options.empty() ? 0 : static_cast<int>(1 + (h >> 12) % 2);
  for (int leg = 0; leg < legs; ++leg) {
    const Scrip& s = *options[(h >> (16 + leg * 8)) % options.size()];
    item.emplace_back(63001, "NFO");
    item.emplace_back(10100, s.tradingSymbol);
    item.emplace_back(12003, leg == 0 ? "B" : "S");
    item.emplace_back(10306, Rupees(m_market.prices.PriceAt(s, at)));
  }
  return item;
}

// ---- the session's side

bool CClientSession::ResearchReply(const connectkovo::Message& request, std::string_view name,
                                   int64_t now) {
  if (name != "roth_ma" && name != "roth_option_calls" && name != "add_research_reports")
    return false;
  if (name == "add_research_reports") {
    if (request.Text(63413).empty() || request.Text(63001).empty())
      ReplyError(name, "a research report needs a body and an exchange");
    else
      ReplyDone(name);
    return true;
  }
  const ResearchFeed feed(m_market, m_config.seed);
  const std::string peerUser = request.Text(64057);
  std::vector<ResearchFeed::Fields> items;
  if (name == "roth_ma") {
    items = feed.Today("research reports", now, peerUser, 40);
    for (auto& i : feed.Today("trading calls", now, peerUser, 40)) items.push_back(std::move(i));
  } else {
    items = feed.Today("option_calls", now, peerUser, 20);
  }
  for (const auto& item : items) {
    StartReply(name);
    for (const auto& [field, value] : item) m_writer.Add(field, value);
    Finish(false);
  }
  ReplyDone(name);
  return true;
}

void CClientSession::PublishResearch(int64_t now) {
  const ResearchFeed feed(m_market, m_config.seed);
  for (auto& [key, shape] : m_unkeyed) {
    const std::string* category = nullptr;
    std::string peerUser;
    for (const Pair& p : shape.pairs) {
      if (p.any) continue;
      if (p.field == 54211) category = &p.value;
      if (p.field == 64057) peerUser = p.value;
    }
    if (!category) continue;
    if (shape.firstSeen < 0) shape.firstSeen = now;
    ResearchFeed::Fields item;
    if (feed.ItemAt(*category, now, peerUser, item)) {
      Publish(item);
      // A regular call came first: no opening call is needed.
      shape.opened = true;
    } else if (!shape.opened && ResearchFeed::OpeningDelay(*category) > 0 &&
               now >= shape.firstSeen + ResearchFeed::OpeningDelay(*category)) {
      shape.opened = true;
      if (feed.OpeningItem(*category, now, peerUser, item)) Publish(item);
    }
  }
}

}  // namespace kovo::backend
