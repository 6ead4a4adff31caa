#include "market/news_details.h"

#include <cstring>

#include "base/format.h"
#include "base/time_format.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"

namespace kovo {

const char* const kNewsColumnNames[kNewsColumnCount] = {
    "Time",        "Source",      "Headline",        "Isin Code",       "Symbol",
    "User",        "Research Id", "TransactionType", "InitiationPrice", "StopLossPrice",
    "TargetPrice", "PriceAtCall", "Report Type",     "Indicator"};

namespace {

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}
bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

void Join(std::string& list, std::string_view item) {
  if (!list.empty()) list += ',';
  list += item;
}

std::string Text(const wmp_msg* message, int32_t field, int32_t index = 0) {
  std::string value;
  int status = 0;
  ReadText(message, field, index, value, status);
  return value;
}

bool Has(const wmp_msg* message, int32_t field, int32_t index = 0) {
  wmp_value v{nullptr, 0};
  return wmp_get_data(message, field, index, &v, nullptr) != 0;
}

int32_t Ticks(const wmp_msg* message, int32_t field) {
  int32_t value = 0;
  int status = 0;
  ReadInteger(message, field, 0, value, status);
  return value;
}

std::string ScripText(const sScripDetails& d, int which) {
  return std::string(d.texts[which], strnlen(d.texts[which], KOVO_SCRIP_TEXT_LEN));
}

}  // namespace

std::string CleanCallBody(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  for (const char c : body) {
    switch (c) {
      case '\x1d':
        out += "\n\n";
        break;
      case '\x08':
      case '\x1c':
        out += '\n';
        break;
      case '\x1e':
        out += 'u';
        break;
      case '%':
        out += '-';
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string CallPriceText(int32_t ticks, int32_t precision, double divisor) {
  if (ticks == 0) return {};
  if (precision < 0 || precision > 10) precision = 2;
  if (!(divisor > 0.0)) divisor = 100.0;
  return Format("%.*lf", static_cast<int>(precision), static_cast<double>(ticks) / divisor);
}

std::string NewsCellText(const sNewsDetails& item, NewsColumn column, bool brokerCalls) {
  const auto price = [&](int32_t ticks) {
    return CallPriceText(ticks, item.precision, item.divisor);
  };
  switch (column) {
    case NewsColumn::kTime:
      return item.time;
    case NewsColumn::kSource:
      return item.provider.empty() ? item.source : item.provider;
    case NewsColumn::kHeadline:
      return item.headline;
    case NewsColumn::kIsinCode:
      if (!brokerCalls && StartsWith(item.category, "trading calls")) return item.scripPairs;
      return item.isinList.empty() ? item.scripPairs : item.isinList;
    case NewsColumn::kSymbol:
      return item.symbols;
    case NewsColumn::kUser:
      return item.provider;
    case NewsColumn::kResearchId:
      return item.researchId;
    case NewsColumn::kTransactionType:
      return item.transactionType;
    case NewsColumn::kInitiationPrice:
      return price(item.initiationPrice);
    case NewsColumn::kStopLossPrice:
      return price(item.stopLossPrice);
    case NewsColumn::kTargetPrice:
      return price(item.targetPrice);
    case NewsColumn::kPriceAtCall:
      return price(item.priceAtCall);
    case NewsColumn::kReportType:
      return item.reportType;
    case NewsColumn::kIndicator:
      return {};
  }
  return {};
}

sRgb NewsRowColour(const sNewsDetails& item) {
  sRgb colour{0, 255, 0};
  if (Contains(item.provider, "Heckyl"))
    colour = {113, 198, 113};
  else if (Contains(item.provider, "Olrik"))
    colour = {128, 128, 128};
  else if (Contains(item.provider, "PPlay"))
    colour = {102, 51, 153};
  else if (Contains(item.provider, "INDIAN_"))
    colour = {135, 99, 101};
  if (!item.transactionType.empty()) {
    colour = item.transactionType == "BUY" ? sRgb{56, 142, 142} : sRgb{204, 51, 102};
  } else if (StartsWith(item.category, "research")) {
    colour = item.read ? sRgb{255, 228, 225} : sRgb{100, 149, 237};
  }
  return colour;
}

int NewsIcon(const sNewsDetails& item) {
  if (StartsWith(item.category, "research")) return item.read ? 26098 : 26102;
  if (StartsWith(item.category, "trading calls") || StartsWith(item.category, "Option Calls"))
    return item.read ? 26099 : 26103;
  return item.read ? 26100 : 26101;
}

int BrokerCallsIcon(const sNewsDetails& item) {
  if (item.reportType == "Research Calls") return item.read ? 26098 : 26102;
  if (item.reportType == "Technical Calls" || item.reportType == "Option Calls")
    return item.read ? 26099 : 26103;
  return 0;
}

std::string CallAlertText(const sNewsDetails& item, std::string_view tradingSymbol) {
  const std::string symbol(tradingSymbol);
  const auto price = [&](int32_t ticks) {
    return CallPriceText(ticks, item.precision, item.divisor);
  };
  if (item.reportType == "Technical Calls") {
    return Format("%s - %s %s %s at Rs.%s, TRGT Rs.%s : SL Rs.%s", item.reportType.c_str(),
                  item.provider.c_str(), item.transactionType.c_str(), symbol.c_str(),
                  price(item.initiationPrice).c_str(), price(item.targetPrice).c_str(),
                  price(item.stopLossPrice).c_str());
  }
  if (item.reportType == "Research Calls") {
    return Format("%s - %s BUY %s at %s ", item.reportType.c_str(), item.provider.c_str(),
                  symbol.c_str(), item.text.c_str());
  }
  return {};
}

int CNewsFeed::Build(const wmp_msg* message, bool bulk, std::string_view reportType) {
  if (!message) return 0;
  sNewsDetails record;
  record.category = Text(message, MNM_CATEGORY);
  record.hot = Text(message, MNM_HOT) == "H ";
  if (Has(message, MNM_CALL_TIME)) {
    int64_t seconds = 0;
    int status = 0;
    ReadLong(message, MNM_CALL_TIME, 0, seconds, status);
    record.time = FormatLocalTime(static_cast<std::time_t>(seconds), TimeForm::kDateTime);
  }
  record.researchId = Text(message, MNM_RESEARCH_ID);
  record.provider = Text(message, MNM_USER);
  record.source = Text(message, MNM_REPORT_TYPE);
  if (Has(message, MNM_CALL_SOURCE)) {
    record.source = Text(message, MNM_CALL_SOURCE);
    record.reportType = record.source;
  }
  if (Contains(record.category, "trading calls")) {
    record.source = "Trading calls";
    record.reportKinds.push_back("Technical");
    record.reportType = "Technical Calls";
  } else if (Contains(record.category, "research")) {
    record.reportKinds.push_back("Research");
    record.reportType = "Research Calls";
  } else if (Contains(record.category, "Option Calls")) {
    record.reportKinds.push_back("Option");
    record.reportType = "Option Calls";
  }
  if (!reportType.empty()) record.reportType = reportType;

  int32_t bodyField = 0;
  for (const int32_t f : {MNM_STORY, MNM_BODY_TEXT, MNM_FIELD_49033}) {
    if (Has(message, f)) {
      bodyField = f;
      break;
    }
  }
  if (!bodyField) return 0;
  record.text = CleanCallBody(Text(message, bodyField));
  record.headline = Text(message, MNM_HEADLINE);
  record.transactionType = Text(message, MNM_TRANSACTION);
  if (record.transactionType == "B")
    record.transactionType = "BUY";
  else if (record.transactionType == "S")
    record.transactionType = "SELL";

  // Scrips: the first found one names the call in the alert and is the one
  // filed again for the other cash exchange.
  std::string firstExchange, firstTradingSymbol;
  const int32_t exchanges = FieldCount(message, MNM_EXCH_SEG);
  for (int32_t i = 0; i < exchanges; ++i) {
    if (!Has(message, MNM_TRADING_SYMBOL, i)) continue;
    const std::string exchange = Text(message, MNM_EXCH_SEG, i);
    const std::string symbol = Text(message, MNM_TRADING_SYMBOL, i);
    sScripDetails scrip{};
    std::string tradingSymbol = symbol;
    // The field names a scrip by token or by trading symbol; option-call
    // legs come by trading symbol.
    bool known = m_ports.scrip && m_ports.scrip(exchange, symbol, scrip);
    if (!known && m_ports.scripFromTradSymbol) {
      scrip = sScripDetails{};
      known = m_ports.scripFromTradSymbol(exchange, symbol, scrip);
    }
    if (known) {
      record.precision = scrip.pricePrecision;
      record.divisor = scrip.priceMultiplier;
      if (const std::string t = ScripText(scrip, KOVO_SCRIP_TRAD_SYMBOL); !t.empty())
        tradingSymbol = t;
      Join(record.isinList,
           ScripText(scrip, KOVO_SCRIP_EXCH_SEG) + "|" + ScripText(scrip, KOVO_SCRIP_TOKEN));
    }
    Join(record.scripPairs, exchange + "|" + tradingSymbol);
    Join(record.symbols, symbol);
    if (firstExchange.empty()) {
      firstExchange = exchange;
      firstTradingSymbol = tradingSymbol;
    }
  }
  record.initiationPrice = Ticks(message, MNM_INITIATION_PRICE);
  record.stopLossPrice = Ticks(message, MNM_STOP_LOSS_PRICE);
  record.targetPrice = Ticks(message, MNM_TARGET_PRICE);
  record.priceAtCall = Ticks(message, MNM_PRICE_AT_CALL);

  std::vector<sNewsDetails> copies;
  if (record.reportType == "Research Calls" && !firstExchange.empty())
    CrossFile(record, firstExchange, firstTradingSymbol, copies);

  const std::string copySymbol = copies.empty() ? std::string() : copies.front().symbols;
  File(std::move(record), firstTradingSymbol, bulk);
  for (sNewsDetails& copy : copies) File(std::move(copy), copySymbol, bulk);
  return 1 + static_cast<int>(copies.size());
}

void CNewsFeed::CrossFile(const sNewsDetails& record, const std::string& exchange,
                          const std::string& tradingSymbol, std::vector<sNewsDetails>& out) {
  std::string otherExchange, otherSymbol = tradingSymbol;
  if (exchange == "bse_cm") {
    otherExchange = "nse_cm";
    otherSymbol += "-EQ";
  } else if (exchange == "nse_cm" && Contains(otherSymbol, "-EQ")) {
    otherExchange = "bse_cm";
    otherSymbol.erase(otherSymbol.find("-EQ"), 3);
  } else {
    return;
  }
  sScripDetails scrip{};
  bool found =
      m_ports.scripFromTradSymbol && m_ports.scripFromTradSymbol(otherExchange, otherSymbol, scrip);
  if (!found && m_ports.scripOnUniqueKey) {
    scrip = sScripDetails{};
    found = m_ports.scripOnUniqueKey(otherExchange + "|" + otherSymbol, scrip);
  }
  if (!found) return;
  sNewsDetails copy = record;
  const std::string trad = ScripText(scrip, KOVO_SCRIP_TRAD_SYMBOL).empty()
                               ? otherSymbol
                               : ScripText(scrip, KOVO_SCRIP_TRAD_SYMBOL);
  copy.scripPairs = otherExchange + "|" + trad;
  copy.symbols = trad;
  copy.isinList = otherExchange + "|" + ScripText(scrip, KOVO_SCRIP_TOKEN);
  copy.precision = scrip.pricePrecision;
  copy.divisor = scrip.priceMultiplier;
  const std::vector<sRequestField> fields = {
      {MNM_USER, record.provider},
      {MNM_PEER_TEXT, m_ports.peerText ? m_ports.peerText() : std::string()},
      {MNM_EXCH_SEG, otherExchange},
      {MNM_TRADING_SYMBOL, trad},
      {MNM_REPORT_TYPE, "Research Call"},
      {MNM_BODY_TEXT, record.text},
      {MNM_PEER_USER, m_ports.hostUserId},
      {MNM_HEADLINE, record.headline},
      {MNM_HEADLINE, record.headline},
      {MNM_CATEGORY, "research reports"}};
  if (!m_ports.send || !m_ports.send("add_research_reports", fields)) return;
  out.push_back(std::move(copy));
}

void CNewsFeed::File(sNewsDetails record, const std::string& tradingSymbol, bool bulk) {
  const std::string alert = CallAlertText(record, tradingSymbol);
  m_calls.push_back(record);
  if (bulk) return;
  if (m_ports.liveCall) m_ports.liveCall(m_calls.back());
  if (m_ports.beepOn && m_ports.beep && m_ports.beepOn(record.category)) m_ports.beep();
  if (!alert.empty() && m_ports.tabbedLog) m_ports.tabbedLog(alert);
}

}  // namespace kovo
