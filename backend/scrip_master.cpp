#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <tuple>

#include "backend/market.h"
#include "backend/market_detail.h"
#include "base/format.h"

namespace kovo::backend {

namespace {

constexpr int64_t kDay = 86400;

struct Company {
  const char* symbol;
  const char* name;
  int nseToken;
  int bseCode;
  int64_t rupees;  // typical price
};

constexpr Company kCompanies[] = {
    {"RELIANCE", "Reliance Industries Ltd", 2885, 500325, 1250},
    {"TCS", "Tata Consultancy Services Ltd", 11536, 532540, 3100},
    {"HDFCBANK", "HDFC Bank Ltd", 1333, 500180, 990},
    {"INFY", "Infosys Ltd", 1594, 500209, 1550},
    {"ICICIBANK", "ICICI Bank Ltd", 4963, 532174, 1380},
    {"SBIN", "State Bank of India", 3045, 500112, 860},
    {"ITC", "ITC Ltd", 1660, 500875, 410},
    {"HINDUNILVR", "Hindustan Unilever Ltd", 1394, 500696, 2450},
    {"BHARTIARTL", "Bharti Airtel Ltd", 10604, 532454, 2050},
    {"KOTAKBANK", "Kotak Mahindra Bank Ltd", 1922, 500247, 2100},
    {"LT", "Larsen & Toubro Ltd", 11483, 500510, 3900},
    {"AXISBANK", "Axis Bank Ltd", 5900, 532215, 1230},
    {"BAJFINANCE", "Bajaj Finance Ltd", 317, 500034, 1000},
    {"ASIANPAINT", "Asian Paints Ltd", 236, 500820, 2900},
    {"MARUTI", "Maruti Suzuki India Ltd", 10999, 532500, 16000},
    {"HCLTECH", "HCL Technologies Ltd", 7229, 532281, 1600},
    {"SUNPHARMA", "Sun Pharmaceutical Industries Ltd", 3351, 524715, 1750},
    {"TITAN", "Titan Company Ltd", 3506, 500114, 3800},
    {"ULTRACEMCO", "UltraTech Cement Ltd", 11532, 532538, 11800},
    {"WIPRO", "Wipro Ltd", 3787, 507685, 250},
    {"NESTLEIND", "Nestle India Ltd", 17963, 500790, 1250},
    {"ONGC", "Oil & Natural Gas Corporation Ltd", 2475, 500312, 245},
    {"NTPC", "NTPC Ltd", 11630, 532555, 330},
    {"POWERGRID", "Power Grid Corporation of India Ltd", 14977, 532898, 285},
    {"TATAMOTORS", "Tata Motors Ltd", 3456, 500570, 680},
    {"TATASTEEL", "Tata Steel Ltd", 3499, 500470, 170},
    {"JSWSTEEL", "JSW Steel Ltd", 11723, 500228, 1150},
    {"M&M", "Mahindra & Mahindra Ltd", 2031, 500520, 3600},
    {"ADANIENT", "Adani Enterprises Ltd", 25, 512599, 2400},
    {"ADANIPORTS", "Adani Ports and Special Economic Zone Ltd", 15083, 532921, 1450},
    {"COALINDIA", "Coal India Ltd", 20374, 533278, 385},
    {"BAJAJFINSV", "Bajaj Finserv Ltd", 16675, 532978, 2000},
    {"TECHM", "Tech Mahindra Ltd", 13538, 532755, 1450},
    {"HDFCLIFE", "HDFC Life Insurance Company Ltd", 467, 540777, 760},
    {"SBILIFE", "SBI Life Insurance Company Ltd", 21808, 540719, 1900},
    {"GRASIM", "Grasim Industries Ltd", 1232, 500300, 2800},
    {"DRREDDY", "Dr. Reddy's Laboratories Ltd", 881, 500124, 1250},
    {"CIPLA", "Cipla Ltd", 694, 500087, 1500},
    {"EICHERMOT", "Eicher Motors Ltd", 910, 505200, 6900},
    {"BRITANNIA", "Britannia Industries Ltd", 547, 500825, 5900},
    {"HEROMOTOCO", "Hero MotoCorp Ltd", 1348, 500182, 5500},
    {"BAJAJ-AUTO", "Bajaj Auto Ltd", 16669, 532977, 8800},
    {"HINDALCO", "Hindalco Industries Ltd", 1363, 500440, 800},
    {"APOLLOHOSP", "Apollo Hospitals Enterprise Ltd", 157, 508869, 7200},
};

struct OptionChain {
  const char* indexToken;
  int64_t strikeStep;  // price units
  int32_t lotSize;
  int64_t peakLots;  // open interest at the money, in lots
};

constexpr OptionChain kChains[] = {
    {"26000", 5000, 75, 60000},
    {"26009", 10000, 35, 40000},
};
constexpr int kStrikesEachSide = 20;
constexpr int kOptionTokenStart = 40000;

struct Commodity {
  const char* symbol;
  const char* name;
  const char* token;
  int32_t lotSize;
  int32_t tickSize;   // price units
  int64_t basePrice;  // price units
  int64_t openLots;
};

constexpr Commodity kCommodities[] = {
    {"GOLD", "Gold (per 10 grams)", "454818", 1, 100, 13000000, 14000},
    {"SILVER", "Silver (per kg)", "451666", 1, 100, 16000000, 22000},
    {"CRUDEOIL", "Crude Oil (per barrel)", "453376", 100, 100, 550000, 9000},
    {"NATURALGAS", "Natural Gas (per mmBtu)", "455040", 1250, 10, 30000, 16000},
    {"COPPER", "Copper (per kg)", "452898", 2500, 5, 100000, 7000},
};

constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

uint64_t HashText(std::string_view text) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return h;
}

// The seed moves a base price by up to 3 %, keyed by symbol so a company gets
// the same price on both equity segments.
int64_t SeededPrice(uint64_t seed, std::string_view symbol, int64_t base, int32_t tick) {
  const double u = static_cast<double>(Mix(Mix(seed) ^ HashText(symbol)) >> 11) * 0x1p-53;
  const double moved = static_cast<double>(base) * (0.97 + 0.06 * u) / tick;
  return std::max<int64_t>(1, std::llround(moved)) * tick;
}

// Civil dates as days since 1970-01-01 and back.
struct Date {
  int64_t year;
  unsigned month, day;
};

int64_t DaysFromCivil(Date date) {
  const int64_t y = date.year - (date.month <= 2);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned m = date.month;
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + date.day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

Date CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

// 0 Sunday .. 6 Saturday; 1970-01-01 was a Thursday.
int Weekday(int64_t days) {
  return static_cast<int>(((days % 7) + 11) % 7);
}

// The local calendar day containing `today`, as days since 1970.
int64_t LocalDayNumber(int64_t today) {
  // Far-off instants are pulled into a range the C library handles everywhere.
  const std::time_t t = static_cast<std::time_t>(std::clamp<int64_t>(today, 0, 253402300799));
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return static_cast<int64_t>(t) / kDay;
  return DaysFromCivil({tm.tm_year + 1900LL, static_cast<unsigned>(tm.tm_mon + 1),
                        static_cast<unsigned>(tm.tm_mday)});
}

int64_t LastThursdayOfMonth(int64_t year, unsigned month) {
  const Date next = month == 12 ? Date{year + 1, 1, 1} : Date{year, month + 1, 1};
  const int64_t last = DaysFromCivil(next) - 1;
  return last - (Weekday(last) - 4 + 7) % 7;
}

std::string ExpiryText(int64_t days) {
  const Date d = CivilFromDays(days);
  return Format("%02u%s%04lld", d.day, kMonths[d.month - 1], static_cast<long long>(d.year));
}

Scrip Equity(const Company& c, uint64_t seed, bool bse) {
  Scrip s;
  s.exchSeg = bse ? "bse_cm" : "nse_cm";
  s.token = std::to_string(bse ? c.bseCode : c.nseToken);
  s.symbol = c.symbol;
  s.tradingSymbol = bse ? s.symbol : s.symbol + "-EQ";
  s.instrument = "EQ";
  s.company = c.symbol;
  s.name = c.name;
  s.series = "EQ";
  s.lotSize = 1;
  s.tickSize = 5;
  s.basePrice = SeededPrice(seed, c.symbol, c.rupees * 100, s.tickSize);
  return s;
}

Scrip Index(const char* token, const char* tradingSymbol, const char* symbol, const char* name,
            int64_t basePrice) {
  Scrip s;
  s.exchSeg = "nse_cm";
  s.token = token;
  s.tradingSymbol = tradingSymbol;
  s.symbol = symbol;
  s.instrument = "INDEX";
  s.company = symbol;
  s.name = name;
  s.basePrice = basePrice;
  return s;
}

const std::vector<Scrip>& Indices() {
  // Index levels do not move with the seed: option ladders and option prices
  // are centred on them, and the price model has no scrip master to ask.
  static const std::vector<Scrip> indices = {
      Index("26000", "NIFTY 50", "NIFTY", "Nifty 50 Index", 2400000),
      Index("26009", "NIFTY BANK", "BANKNIFTY", "Nifty Bank Index", 5200000),
  };
  return indices;
}

void AddOptions(const OptionChain& chain, const Scrip& index, int64_t today, int64_t expiryDay,
                int* nextToken, std::vector<Scrip>* out) {
  const Date date = CivilFromDays(expiryDay);
  const std::string expiry = ExpiryText(expiryDay);
  const std::string shortDate = Format("%02u%s%02lld", date.day, kMonths[date.month - 1],
                                       static_cast<long long>(date.year % 100));
  const int64_t expiryInstant = expiryDay * kDay + 10 * 3600;  // 15:30 in India
  const int64_t centre = index.basePrice / chain.strikeStep * chain.strikeStep;
  for (int i = -kStrikesEachSide; i <= kStrikesEachSide; ++i) {
    const int64_t strike = centre + i * chain.strikeStep;
    for (const char* type : {"CE", "PE"}) {
      const bool call = type[0] == 'C';
      Scrip s;
      s.exchSeg = "nse_fo";
      s.token = std::to_string((*nextToken)++);
      s.symbol = index.symbol;
      s.tradingSymbol = Format("%s%s%lld%s", index.symbol.c_str(), shortDate.c_str(),
                               static_cast<long long>(strike / 100), type);
      s.instrument = "OPTIDX";
      s.company = index.symbol;
      // The option's own name, as windows that show one option title it.
      s.name = Format("%s %s %lld %s", index.symbol.c_str(), expiry.c_str(),
                      static_cast<long long>(strike / 100), type);
      s.expiry = expiry;
      s.strike = strike;
      s.optionType = type;
      s.lotSize = chain.lotSize;
      s.tickSize = 5;
      s.underlying = index.token;
      s.basePrice =
          detail::OptionPremium(index.basePrice, strike, call, expiryInstant - today, s.tickSize);
      // Open interest peaks at the money; calls gather above it, puts below.
      const double away = static_cast<double>(call ? i : -i);
      const double shape = std::exp(-0.5 * (i / 7.0) * (i / 7.0)) * (away >= 0 ? 1.0 : 0.6);
      const int64_t jitter = static_cast<int64_t>(Mix(HashText(s.tradingSymbol)) % 400);
      s.baseOpenInterest =
          (static_cast<int64_t>(static_cast<double>(chain.peakLots) * shape) + 200 + jitter) *
          chain.lotSize;
      out->push_back(std::move(s));
    }
  }
}

Scrip Future(const Commodity& c, uint64_t seed, int64_t expiryDay) {
  const Date date = CivilFromDays(expiryDay);
  Scrip s;
  s.exchSeg = "mcx_fo";
  s.token = c.token;
  s.symbol = c.symbol;
  s.tradingSymbol = Format("%s%02lld%sFUT", c.symbol, static_cast<long long>(date.year % 100),
                           kMonths[date.month - 1]);
  s.instrument = "FUTCOM";
  s.company = c.symbol;
  s.name = c.name;
  s.expiry = ExpiryText(expiryDay);
  s.lotSize = c.lotSize;
  s.tickSize = c.tickSize;
  s.basePrice = SeededPrice(seed, c.symbol, c.basePrice, c.tickSize);
  s.baseOpenInterest = c.openLots * c.lotSize;
  return s;
}

std::string Key(std::string_view a, std::string_view b) {
  std::string key;
  key.reserve(a.size() + b.size() + 1);
  key.append(a).append("|").append(b);
  return key;
}

}  // namespace

namespace detail {

const Scrip* ListedIndex(std::string_view token) {
  for (const Scrip& s : Indices())
    if (s.token == token) return &s;
  return nullptr;
}

}  // namespace detail

ScripMaster::ScripMaster(uint64_t seed, int64_t today) {
  const int64_t day = LocalDayNumber(today);
  for (const Company& c : kCompanies) m_scrips.push_back(Equity(c, seed, false));
  for (const Scrip& index : Indices()) m_scrips.push_back(index);
  for (const Company& c : kCompanies) m_scrips.push_back(Equity(c, seed, true));

  // Weekly options expire on the next two Thursdays after today.
  int ahead = (4 - Weekday(day) + 7) % 7;
  if (ahead == 0) ahead = 7;
  int nextToken = kOptionTokenStart;
  for (const OptionChain& chain : kChains) {
    const Scrip* index = detail::ListedIndex(chain.indexToken);
    for (int week = 0; week < 2; ++week)
      AddOptions(chain, *index, today, day + ahead + 7 * week, &nextToken, &m_scrips);
  }

  // Commodity futures expire on the month's last Thursday, or next month's once that has passed.
  const Date date = CivilFromDays(day);
  int64_t expiry = LastThursdayOfMonth(date.year, date.month);
  if (expiry <= day)
    expiry = date.month == 12 ? LastThursdayOfMonth(date.year + 1, 1)
                              : LastThursdayOfMonth(date.year, date.month + 1);
  for (const Commodity& c : kCommodities) m_scrips.push_back(Future(c, seed, expiry));

  for (size_t i = 0; i < m_scrips.size(); ++i) {
    m_byKey.emplace(m_scrips[i].Key(), i);
    m_bySymbol.emplace(Key(m_scrips[i].exchSeg, m_scrips[i].tradingSymbol), i);
  }
}

const Scrip* ScripMaster::Find(std::string_view exchSeg, std::string_view token) const {
  const auto it = m_byKey.find(Key(exchSeg, token));
  return it == m_byKey.end() ? nullptr : &m_scrips[it->second];
}

const Scrip* ScripMaster::FindByTradingSymbol(std::string_view exchSeg,
                                              std::string_view tradingSymbol) const {
  const auto it = m_bySymbol.find(Key(exchSeg, tradingSymbol));
  return it == m_bySymbol.end() ? nullptr : &m_scrips[it->second];
}

std::vector<const Scrip*> ScripMaster::OptionsOf(std::string_view underlyingToken) const {
  std::vector<const Scrip*> options;
  if (underlyingToken.empty()) return options;
  for (const Scrip& s : m_scrips)
    if (s.instrument == "OPTIDX" && s.underlying == underlyingToken) options.push_back(&s);
  // Expiry texts do not sort as dates, so sort on the dates they name.
  auto order = [](const Scrip* s) {
    const auto month = std::find_if(std::begin(kMonths), std::end(kMonths), [&](const char* m) {
      return s->expiry.size() == 9 && s->expiry.compare(2, 3, m) == 0;
    });
    const int64_t year = s->expiry.size() == 9 ? std::atoll(s->expiry.c_str() + 5) : 0;
    const int64_t day = std::atoll(s->expiry.substr(0, 2).c_str());
    return std::make_tuple(year, month - std::begin(kMonths), day, s->strike,
                           s->optionType != "CE");
  };
  std::stable_sort(options.begin(), options.end(),
                   [&](const Scrip* a, const Scrip* b) { return order(a) < order(b); });
  return options;
}

}  // namespace kovo::backend
