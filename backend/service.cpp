#include "backend/service.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <ctime>

#include "backend/market_messages.h"
#include "backend/market_movers.h"
#include "backend/protocol.h"
#include "base/number.h"
#include "base/text.h"
#include "base/time_format.h"

namespace kovo::backend {
namespace {

constexpr int64_t kDay = 86400;
// Daily bars reach back two years; one-minute bars 22 days.
constexpr int64_t kDailyReach = 2 * 366 * kDay;
constexpr int64_t kMinuteReach = 22 * kDay;

int64_t LocalMidnight(int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (!localtime_r(&tt, &tm)) return t - t % kDay;
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

struct Product {
  const char* name;
  int type;
  const char* parent;
};

// The products a demo user holds; the two API products carry the
// auto-placement exchange list.
constexpr Product kProducts[] = {
    {"zint", 1, ""},
    {"zint_api", 3, "zint"},
    {"zint_api_dealer", 3, "zint"},
    {"web_charts", 3, "zint"},
    {"market_movers", 3, "zint"},
    {"news", 3, "zint"},
    {"research_calls", 3, "zint"},
};

}  // namespace

CClientSession::CClientSession(const Market& market, const ServiceConfig& config,
                               std::string peerAddress, Sink sink)
    : m_market(market),
      m_config(config),
      m_peerAddress(std::move(peerAddress)),
      m_sink(std::move(sink)),
      m_engine(std::make_unique<MatchingEngine>(market.scrips, market.prices)) {}

CClientSession::~CClientSession() {
  if (m_logins) m_logins->Release(this);
}

CClientSession* LoginDirectory::Claim(const std::string& login, CClientSession* session) {
  // One login per session: logging in again as someone else gives up the
  // first id, so a client cannot fill the directory.
  if (auto held = m_loginOf.find(session); held != m_loginOf.end() && held->second != login) {
    m_holders.erase(held->second);
    m_loginOf.erase(held);
  }
  CClientSession*& holder = m_holders[login];
  CClientSession* earlier = holder == session ? nullptr : holder;
  if (earlier) m_loginOf.erase(earlier);
  holder = session;
  m_loginOf[session] = login;
  return earlier;
}

void LoginDirectory::Release(CClientSession* session) {
  const auto held = m_loginOf.find(session);
  if (held == m_loginOf.end()) return;
  m_holders.erase(held->second);
  m_loginOf.erase(held);
}

void CClientSession::LoggedInElsewhere(const std::string& login, const std::string& where) {
  Publish({{wire::kRequest, "kovo_login_elsewhere"},
           {31003, login},
           {20008, "logged in from " + where}});
}

bool CClientSession::OnFrame(std::string_view frame, int64_t now) {
  connectkovo::Message request;
  if (request.Decode(frame) != WMP_OK) return false;
  m_requestId = request.Text(wire::kRequestId);
  const std::string name = request.Text(wire::kRequest);
  if (name.empty()) {
    ReplyError("", "request name missing");
    return true;
  }
  Dispatch(request, name, now);
  return true;
}

void CClientSession::Dispatch(const connectkovo::Message& request, std::string_view name,
                              int64_t now) {
  if (name == "xr_get_scrip_master") return ScripMasterReply(name);
  if (name == "xr_zint_launch" || name == "xr_login") return LaunchReply(request, name);
  if (name == "xr_get_user_peer_data") return PeerDataReply(request, name);
  if (name == "mrv_zint_products_show_tree_all") return ProductTreeReply(name);
  if (name == "zint_check_updates") return UpdateReply(name);
  if (name == "xr_get_series_vwap_data") return TodayBarsReply(request, name, now);
  if (name == "xr_get_series_db_vwap_data") return DailyBarsReply(request, name, now);
  if (name == "mrv_master") return QuoteReply(request, name, now);
  if (name == "kovo_add_watch") return AddWatch(request, name);
  if (name == "kovo_place_order" || name == "kovo_modify_order" || name == "kovo_cancel_order")
    return OrderRequestReply(request, name, now);
  if (name == "kovo_tick_burst") return BurstReply(request, name);
  if (name.starts_with("kms_request_")) return MoversReply(request, name, now);
  if (name == "get_message_type") {
    // One message: the types, no closing error field.
    StartReply(name);
    for (const std::string& type : MarketMessageTypes()) m_writer.Add(kMessageTypeField, type);
    return Finish(true);
  }
  if (name == "get_io_device_remote_info") {
    StartReply(name);
    m_writer.Add(30105, m_peerAddress);
    return Finish(true);
  }
  if (name == "xr_log_nt_msg") {
    // A chatty client keeps only its latest lines, each cut short.
    for (int32_t i = 0; i < request.Count(20008); ++i) {
      const std::string_view line = request.View(20008, i);
      m_logLines.emplace_back(line.substr(0, kMaxLogLineBytes));
      if (m_logLines.size() > kMaxLogLines) m_logLines.pop_front();
    }
    StartReply(name);
    m_writer.Add(20008, "logged");
    return Finish(true);
  }
  if (name == "kovo_remove_watch") {
    const std::string id = request.Text(wire::kWatchId);
    const auto it = m_watches.find(id);
    if (it == m_watches.end()) return ReplyError(name, "unknown watch " + id);
    RemoveWatch(it);
    return ReplyDone(name);
  }
  if (ResearchReply(request, name, now)) return;
  ReplyError(name, "unknown request " + std::string(name));
}

void CClientSession::StartReply(std::string_view name) {
  m_writer.Start();
  m_writer.Add(wire::kReplyRequest, name);
  if (!m_requestId.empty()) m_writer.Add(wire::kRequestId, m_requestId);
}

void CClientSession::Finish(bool final) {
  if (final) m_writer.Add(wire::kFinal, "1");
  m_sink(m_writer.Frame());
}

void CClientSession::ReplyError(std::string_view name, std::string_view text) {
  StartReply(name);
  m_writer.Add(wire::kErrorText, text);
  Finish(true);
}

void CClientSession::ReplyDone(std::string_view name, std::string_view userMsg, bool withUserMsg) {
  StartReply(name);
  if (withUserMsg) m_writer.Add(wire::kUserMsg, userMsg);
  // An empty status text closes a reply that went well.
  m_writer.Add(wire::kErrorText, "");
  Finish(true);
}

void CClientSession::ScripMasterReply(std::string_view name) {
  StartReply(name);
  for (const Scrip& s : m_market.scrips.All()) {
    const std::string strike = s.optionType.empty() ? std::string() : std::to_string(s.strike);
    const std::string texts[14] = {s.exchSeg,
                                   s.token,
                                   s.tradingSymbol,
                                   s.symbol,
                                   s.instrument,
                                   s.company,
                                   s.name,
                                   s.series,
                                   s.expiry,
                                   strike,
                                   s.optionType,
                                   std::to_string(s.lotSize),
                                   std::to_string(s.tickSize),
                                   s.underlying};
    for (int i = 0; i < 14; ++i) m_writer.Add(wire::kScripText0 + i, texts[i]);
    m_writer.Add(wire::kScripPrecision, int64_t{s.precision});
    m_writer.Add(wire::kScripMultiplier, std::to_string(s.priceMultiplier));
    m_writer.Add(wire::kScripQuantityMultiplier, int64_t{s.quantityMultiplier});
  }
  Finish(true);
}

void CClientSession::LaunchReply(const connectkovo::Message& request, std::string_view name) {
  const std::string user = request.Text(31003);
  const std::string login = name == "xr_zint_launch" ? request.Text(20013) : user;
  if (Trim(login).empty()) return ReplyError(name, "login id is missing");
  const auto& refused = m_config.refusedLogins;
  if (std::find(refused.begin(), refused.end(), login) != refused.end()) {
    return ReplyError(name, "invalid login id " + login);
  }
  if (m_logins) {
    if (CClientSession* earlier = m_logins->Claim(login, this)) {
      earlier->LoggedInElsewhere(login, m_peerAddress);
    }
  }
  static std::atomic<int64_t> sessions{0};
  StartReply(name);
  m_writer.Add(63437, login);
  m_writer.Add(31003, login);
  m_writer.Add(63259, "S" + std::to_string(++sessions));
  Finish(false);
  // A login is followed by the user's product tree, as the session expects.
  ProductTreeReply("mrv_zint_products_show_tree_all");
}

void CClientSession::PeerDataReply(const connectkovo::Message& request, std::string_view name) {
  const std::string user = request.Text(31003);
  if (Trim(user).empty()) return ReplyError(name, "user id is missing");
  const auto& failing = m_config.peerDataFailures;
  if (std::find(failing.begin(), failing.end(), user) != failing.end()) {
    return ReplyError(name, "no peer data for " + user);
  }
  StartReply(name);
  m_writer.Add(64056, "PEER-" + user);
  for (const Product& p : kProducts) m_writer.Add(63001, p.name);
  for (const Product& p : kProducts) {
    const std::string_view n = p.name;
    m_writer.Add(64013, n == "zint_api" || n == "zint_api_dealer"
                            ? std::string_view(m_config.autoPlacementExchanges)
                            : std::string_view());
  }
  Finish(true);
}

void CClientSession::ProductTreeReply(std::string_view name) {
  StartReply(name);
  for (const Product& p : kProducts) {
    m_writer.Add(63001, p.name);
    m_writer.Add(63076, int64_t{p.type});
    m_writer.Add(48202, p.parent);
    m_writer.Add(63443, std::string(p.name) + ".zint");
    m_writer.Add(10121, "1");
  }
  Finish(true);
}

void CClientSession::UpdateReply(std::string_view name) {
  const UpdateOffer& offer = m_config.update;
  StartReply(name);
  m_writer.Add(20008, offer.message);
  if (offer.available && !offer.downloadUrl.empty()) {
    m_writer.Add(20008, offer.downloadUrl);
    m_writer.Add(31804, offer.patchNumber);
    m_writer.Add(31003, "KovoZint");
    m_writer.Add(30004, "2019");
    m_writer.Add(49033, offer.installerArguments);
  }
  Finish(true);
}

const Scrip* CClientSession::FindScrip(std::string_view seg, std::string_view tokenOrSymbol) const {
  if (const Scrip* s = m_market.scrips.Find(seg, tokenOrSymbol)) return s;
  return m_market.scrips.FindByTradingSymbol(seg, tokenOrSymbol);
}

void CClientSession::AddBarRow(std::string_view name, std::string_view userMsg, const Scrip& scrip,
                               const Bar& bar) {
  StartReply(name);
  m_writer.Add(wire::kUserMsg, userMsg);
  m_writer.Add(wire::kExchSeg, scrip.exchSeg);
  m_writer.Add(wire::kToken, scrip.token);
  m_writer.Add(wire::kRowStatus, "OK");
  m_writer.Add(wire::kBarTime, bar.time);
  m_writer.Add(wire::kBarVolume, bar.volume);
  m_writer.Add(wire::kBarOpen, bar.open);
  m_writer.Add(wire::kBarClose, bar.close);
  m_writer.Add(wire::kBarHigh, bar.high);
  m_writer.Add(wire::kBarLow, bar.low);
  Finish(false);
}

void CClientSession::TodayBarsReply(const connectkovo::Message& request, std::string_view name,
                                    int64_t now) {
  const std::string seg = request.Text(wire::kExchSeg);
  const std::string symbol =
      request.Has(wire::kSymbol) ? request.Text(wire::kSymbol) : request.Text(wire::kToken);
  const std::string userMsg = request.Text(wire::kUserMsg);
  const Scrip* scrip = FindScrip(seg, symbol);
  if (!scrip) return ReplyError(name, "scrip not found " + seg + "|" + symbol);
  if (LeadingInt64(request.View(wire::kVwapTime)) != 60)
    return ReplyError(name, "only one-minute bars are served");
  const int64_t start = std::max(LeadingInt64(request.View(wire::kStartTime)), now - kMinuteReach);
  const int64_t end = std::min(LeadingInt64(request.View(wire::kEndTime)), now);
  if (start >= end) return ReplyDone(name, userMsg, true);
  // Rows newest first, the order the chart's series keeps.
  const std::vector<Bar> bars = m_market.prices.MinuteBars(*scrip, start, end);
  for (auto it = bars.rbegin(); it != bars.rend(); ++it) AddBarRow(name, userMsg, *scrip, *it);
  ReplyDone(name, userMsg, true);
}

void CClientSession::DailyBarsReply(const connectkovo::Message& request, std::string_view name,
                                    int64_t now) {
  const std::string seg = request.Text(wire::kExchSeg);
  const std::string symbol =
      request.Has(wire::kToken) ? request.Text(wire::kToken) : request.Text(wire::kSymbol);
  const std::string userMsg = request.Text(wire::kUserMsg);
  const Scrip* scrip = FindScrip(seg, symbol);
  if (!scrip && request.Has(wire::kSymbol)) scrip = FindScrip(seg, request.View(wire::kSymbol));
  if (!scrip) return ReplyError(name, "scrip not found " + seg + "|" + symbol);
  std::time_t from = 0, to = 0;
  if (request.Count(wire::kDate) < 2 || !ParseLocalDate(request.View(wire::kDate, 0), &from) ||
      !ParseLocalDate(request.View(wire::kDate, 1), &to))
    return ReplyError(name, "dates must be two texts mm/dd/yyyy");
  const int64_t first = std::max<int64_t>(from, LocalMidnight(now - kDailyReach));
  // Completed days only: charts take today's bar from the quote, and an
  // intraday chart reads the last row as the previous day's levels.
  const int64_t last = std::min<int64_t>(to, LocalMidnight(now) - 1);
  if (first <= last) {
    for (const Bar& bar : m_market.prices.DailyBars(*scrip, first, last)) {
      AddBarRow(name, userMsg, *scrip, bar);
    }
  }
  ReplyDone(name, userMsg, true);
}

void CClientSession::QuoteReply(const connectkovo::Message& request, std::string_view name,
                                int64_t now) {
  const std::string seg = request.Text(wire::kExchSeg);
  const std::string token = request.Text(wire::kToken);
  const std::string userMsg = request.Text(wire::kUserMsg);
  const Scrip* scrip = FindScrip(seg, token);
  if (!scrip) return ReplyError(name, "scrip not found " + seg + "|" + token);
  const Quote q = m_market.prices.QuoteAt(*scrip, now);
  StartReply(name);
  m_writer.Add(wire::kUserMsg, userMsg);
  m_writer.Add(wire::kExchSeg, scrip->exchSeg);
  m_writer.Add(wire::kToken, scrip->token);
  m_writer.Add(wire::kLastPrice, q.lastPrice);
  m_writer.Add(wire::kDayHigh, q.dayHigh);
  m_writer.Add(wire::kDayLow, q.dayLow);
  m_writer.Add(wire::kDayOpen, q.dayOpen);
  m_writer.Add(wire::kDayVolume, q.dayVolume);
  m_writer.Add(wire::kOpenInterest, q.openInterest);
  m_writer.Add(wire::kOpenInterestAtOpen, q.openInterestAtOpen);
  Finish(false);
  ReplyDone(name, userMsg, true);
}

void CClientSession::MoversReply(const connectkovo::Message& request, std::string_view name,
                                 int64_t now) {
  MoverQuery query;
  query.segment = std::string(name.substr(std::string_view("kms_request_").size()));
  const int32_t keys = request.Count(20003);
  if (request.Count(53064) != keys || request.Count(53063) != keys)
    return ReplyError(name, "criteria need a key, an operator and a value each");
  for (int32_t i = 0; i < keys; ++i)
    query.criteria.push_back(
        {request.Text(20003, i), request.Text(53064, i), request.Text(53063, i)});
  if (request.Count(54099) > 0) query.count = LeadingInt32(request.View(54099));
  query.descending = request.Text(49033) == "DESC";
  std::vector<MoverRow> rows;
  std::string error;
  if (!RankMovers(m_market.scrips, m_market.prices, query, now, rows, error))
    return ReplyError(name, error);
  StartReply(name);
  m_writer.Add(59051, query.segment);
  char text[64];
  for (const MoverRow& row : rows) {
    m_writer.Add(59001, row.scrip->tradingSymbol);
    // Whatever the host's locale, the point is a point.
    const auto written =
        std::to_chars(text, text + sizeof text, row.value, std::chars_format::fixed, 6);
    m_writer.Add(59101, std::string_view(text, static_cast<size_t>(written.ptr - text)));
  }
  Finish(true);
}

void CClientSession::AddWatch(const connectkovo::Message& request, std::string_view name) {
  const std::string id = request.Text(wire::kWatchId);
  const int32_t count = request.Count(wire::kWatchField);
  if (id.empty() || count == 0 || request.Count(wire::kWatchValue) != count ||
      request.Count(wire::kWatchAny) != count)
    return ReplyError(name, "a watch needs an id and (field, value, any) triples");
  const auto existing = m_watches.find(id);
  if (existing == m_watches.end() && m_watches.size() >= 100000)
    return ReplyError(name, "too many watches");
  std::vector<Pair> pairs;
  std::string seg, token, shape;
  bool hasSeg = false, hasToken = false;
  for (int32_t i = 0; i < count; ++i) {
    Pair p{LeadingInt32(request.View(wire::kWatchField, i)), request.Text(wire::kWatchValue, i),
           request.View(wire::kWatchAny, i) == "1"};
    if (!p.any && p.field == wire::kExchSeg) seg = p.value, hasSeg = true;
    if (!p.any && p.field == wire::kToken) token = p.value, hasToken = true;
    shape += std::to_string(p.field) + (p.any ? "*" : "=") + std::to_string(p.value.size()) + ":" +
             p.value + ";";
    pairs.push_back(std::move(p));
  }
  // The same id again replaces the earlier watch.
  if (existing != m_watches.end()) RemoveWatch(existing);
  Watch& stored = m_watches[id];
  if (hasSeg && hasToken) stored.scripKey = seg + "|" + token;
  stored.shape = std::move(shape);
  Shapes* shapes = &m_unkeyed;
  if (!stored.scripKey.empty()) {
    auto [bucket, fresh] = m_byScrip.try_emplace(stored.scripKey);
    if (fresh) bucket->second.scrip = m_market.scrips.Find(seg, token);
    shapes = &bucket->second.shapes;
  }
  Shape& alike = (*shapes)[stored.shape];
  if (alike.watches++ == 0) alike.pairs = std::move(pairs);
  ReplyDone(name);
}

void CClientSession::RemoveWatch(std::unordered_map<std::string, Watch>::iterator it) {
  const Watch& watch = it->second;
  auto bucket = watch.scripKey.empty() ? m_byScrip.end() : m_byScrip.find(watch.scripKey);
  Shapes& shapes = bucket == m_byScrip.end() ? m_unkeyed : bucket->second.shapes;
  if (auto alike = shapes.find(watch.shape); alike != shapes.end() && --alike->second.watches == 0)
    shapes.erase(alike);
  if (bucket != m_byScrip.end() && bucket->second.shapes.empty()) m_byScrip.erase(bucket);
  m_watches.erase(it);
}

void CClientSession::OrderRequestReply(const connectkovo::Message& request, std::string_view name,
                                       int64_t now) {
  const std::string number = request.Text(wire::kOrderNumber);
  if (number.empty()) return ReplyError(name, "order number is missing");
  std::vector<OrderUpdate> updates;
  if (name == "kovo_place_order") {
    OrderRequest r;
    r.orderNumber = number;
    r.tag = request.Text(wire::kOrderTag);
    r.strategy = request.Text(wire::kScriptName);
    r.exchSeg = request.Text(wire::kExchSeg);
    r.token = request.Text(wire::kToken);
    r.side = LeadingInt32(request.View(wire::kSide));
    r.orderType = LeadingInt32(request.View(wire::kOrderType));
    r.validity = LeadingInt32(request.View(wire::kValidity));
    r.quantity = LeadingInt64(request.View(wire::kQuantity));
    r.price = LeadingInt64(request.View(wire::kPrice));
    r.triggerPrice = LeadingInt64(request.View(wire::kTriggerPrice));
    r.disclosedQuantity = LeadingInt64(request.View(wire::kDisclosedQuantity));
    r.productType = request.Text(wire::kProductType);
    r.clientAccount = request.Text(wire::kClientAccount);
    updates = m_engine->Place(r, now);
  } else if (name == "kovo_modify_order") {
    OrderChange c;
    c.orderType = LeadingInt32(request.View(wire::kOrderType));
    c.validity = LeadingInt32(request.View(wire::kValidity));
    c.quantity = LeadingInt64(request.View(wire::kQuantity));
    c.price = LeadingInt64(request.View(wire::kPrice));
    c.triggerPrice = LeadingInt64(request.View(wire::kTriggerPrice));
    c.disclosedQuantity = LeadingInt64(request.View(wire::kDisclosedQuantity));
    updates = m_engine->Modify(number, c, now);
  } else {
    updates = m_engine->Cancel(number, now);
  }
  ReplyDone(name);
  SendOrderUpdates(updates);
}

void CClientSession::SendOrderUpdates(const std::vector<OrderUpdate>& updates) {
  // Order updates go to the client that placed the orders; the host routes
  // them by script name.
  for (const OrderUpdate& u : updates) {
    m_writer.Start();
    m_writer.Add(wire::kScriptName, u.strategy);
    m_writer.Add(wire::kOrderNumber, u.orderNumber);
    m_writer.Add(wire::kOrderTag, u.tag);
    m_writer.Add(wire::kOrderStatus, u.status);
    m_writer.Add(wire::kLegCode, u.legCode);
    m_writer.Add(wire::kExchSeg, u.exchSeg);
    m_writer.Add(wire::kToken, u.token);
    m_writer.Add(wire::kFilledQuantity, u.filledQuantity);
    m_writer.Add(wire::kAveragePrice, u.averagePrice);
    m_writer.Add(wire::kPendingQuantity, u.pendingQuantity);
    m_writer.Add(wire::kLastFillQuantity, u.lastFillQuantity);
    m_writer.Add(wire::kLastFillPrice, u.lastFillPrice);
    if (!u.reason.empty()) m_writer.Add(wire::kReason, u.reason);
    m_sink(m_writer.Frame());
  }
}

void CClientSession::BurstReply(const connectkovo::Message& request, std::string_view name) {
  const Scrip* scrip = FindScrip(request.View(wire::kExchSeg), request.View(wire::kToken));
  if (!scrip) return ReplyError(name, "scrip not found");
  const int64_t count = LeadingInt64(request.View(wire::kBurstCount));
  if (count <= 0) return ReplyError(name, "burst count must be positive");
  m_burstScrip = scrip;
  m_burstRemaining =
      static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(m_config.maxBurst)));
  ReplyDone(name);
}

size_t CClientSession::ProduceBurst(size_t max, int64_t now) {
  const size_t n = std::min(max, m_burstRemaining);
  if (n == 0 || !m_burstScrip) return 0;
  const int64_t price = m_market.prices.PriceAt(*m_burstScrip, now);
  const int64_t volume = m_market.prices.CumulativeVolume(*m_burstScrip, now);
  for (size_t i = 0; i < n; ++i) {
    m_writer.Start();
    m_writer.Add(wire::kExchSeg, m_burstScrip->exchSeg);
    m_writer.Add(wire::kToken, m_burstScrip->token);
    m_writer.Add(wire::kLastPrice, price);
    m_writer.Add(wire::kCumulativeQuantity, volume + ++m_burstSequence);
    m_sink(m_writer.Frame());
  }
  m_burstRemaining -= n;
  return n;
}

bool CClientSession::Matches(const std::vector<Pair>& pairs, const Fields& fields) const {
  for (const Pair& p : pairs) {
    bool found = false;
    for (const auto& [field, value] : fields) {
      if (field == p.field && (p.any || value == p.value)) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool CClientSession::AnyMatches(const Shapes& shapes, const Fields& fields) {
  for (const auto& [key, shape] : shapes) {
    ++m_examined;
    if (Matches(shape.pairs, fields)) return true;
  }
  return false;
}

void CClientSession::Publish(const Fields& fields) {
  // Only the watches of the broadcast's scrip, and those naming no scrip,
  // can match it.
  const std::string* seg = nullptr;
  const std::string* token = nullptr;
  for (const auto& [field, value] : fields) {
    if (field == wire::kExchSeg && !seg) seg = &value;
    if (field == wire::kToken && !token) token = &value;
  }
  bool wanted = false;
  if (seg && token) {
    const auto bucket = m_byScrip.find(*seg + "|" + *token);
    wanted = bucket != m_byScrip.end() && AnyMatches(bucket->second.shapes, fields);
  }
  if (!wanted) wanted = AnyMatches(m_unkeyed, fields);
  if (!wanted) return;
  m_writer.Start();
  for (const auto& [field, value] : fields) m_writer.Add(field, value);
  m_sink(m_writer.Frame());
}

void CClientSession::OnClock(int64_t now) {
  const int64_t minute = now / 60;
  const bool newMinute = m_lastMinute != 0 && minute > m_lastMinute;
  if (now != m_lastSecond) {
    // Each watched scrip once, however many watches name it.
    for (const auto& [key, bucket] : m_byScrip) {
      const Scrip* s = bucket.scrip;
      if (!s) continue;
      const std::string seg = s->exchSeg, token = s->token;
      Publish(
          {{wire::kExchSeg, seg},
           {wire::kToken, token},
           {wire::kLastPrice, std::to_string(m_market.prices.PriceAt(*s, now))},
           {wire::kCumulativeQuantity, std::to_string(m_market.prices.CumulativeVolume(*s, now))}});
      if (newMinute) {
        // The minute that just ended.
        const Bar bar = m_market.prices.MinuteBar(*s, (minute - 1) * 60);
        Publish({{wire::kExchSeg, seg},
                 {wire::kToken, token},
                 {wire::kVwapTime, "60"},
                 {wire::kBarTime, std::to_string(bar.time)},
                 {wire::kBarVolume, std::to_string(bar.volume)},
                 {wire::kBarOpen, std::to_string(bar.open)},
                 {wire::kBarClose, std::to_string(bar.close)},
                 {wire::kBarHigh, std::to_string(bar.high)},
                 {wire::kBarLow, std::to_string(bar.low)}});
      }
      if (s->baseOpenInterest > 0) {
        Publish({{wire::kExchSeg, seg},
                 {wire::kToken, token},
                 {wire::kOpenInterest, std::to_string(m_market.prices.OpenInterestAt(*s, now))}});
      }
    }
    // Market messages only ever match watches naming no scrip.
    if (!m_unkeyed.empty())
      for (const MessageFields& message :
           MarketMessagesAt(m_market.scrips, m_market.prices, m_config.seed, now))
        Publish(message);
    PublishResearch(now);
    m_lastSecond = now;
  }
  m_lastMinute = minute;
  SendOrderUpdates(m_engine->OnClock(now));
}

}  // namespace kovo::backend
