#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {
namespace {

constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata

class ScripMasterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("TZ", "Asia/Kolkata", 1), 0);
    tzset();
  }

  // Local midnight starting an expiry day ("10DEC2026"), or -1.
  static int64_t ExpiryDay(const std::string& text) {
    std::tm tm{};
    const char* end = strptime(text.c_str(), "%d%b%Y", &tm);
    if (!end || *end != '\0') return -1;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
  }
  static int Weekday(int64_t when) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_wday;
  }
  static int64_t DayStart(int64_t when) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
  }
};

TEST_F(ScripMasterTest, ListsEverySegmentWithUniqueKeysAndWorkingLookups) {
  const ScripMaster master(1, kNow);
  std::map<std::string, int> perKind;
  std::set<std::string> keys, symbols;
  for (const Scrip& s : master.All()) {
    ++perKind[s.exchSeg + "/" + s.instrument];
    EXPECT_TRUE(keys.insert(s.Key()).second) << s.Key();
    EXPECT_TRUE(symbols.insert(s.exchSeg + "|" + s.tradingSymbol).second) << s.tradingSymbol;
    EXPECT_GT(s.lotSize, 0) << s.tradingSymbol;
    EXPECT_GT(s.tickSize, 0) << s.tradingSymbol;
    EXPECT_GT(s.basePrice, 0) << s.tradingSymbol;
    EXPECT_EQ(s.basePrice % s.tickSize, 0) << s.tradingSymbol;
    const bool derivative = s.instrument == "OPTIDX" || s.instrument == "FUTCOM";
    EXPECT_EQ(s.baseOpenInterest > 0, derivative) << s.tradingSymbol;
    EXPECT_EQ(!s.expiry.empty(), derivative) << s.tradingSymbol;
  }
  EXPECT_GE(perKind["nse_cm/EQ"], 40);
  EXPECT_EQ(perKind["bse_cm/EQ"], perKind["nse_cm/EQ"]);
  EXPECT_EQ(perKind["nse_cm/INDEX"], 2);
  EXPECT_EQ(perKind["nse_fo/OPTIDX"], 2 * 2 * 41 * 2);
  EXPECT_EQ(perKind["mcx_fo/FUTCOM"], 5);
  EXPECT_EQ(perKind.size(), 5u) << "no other segment or instrument";

  const Scrip* reliance = master.Find("nse_cm", "2885");
  ASSERT_NE(reliance, nullptr);
  EXPECT_EQ(reliance->tradingSymbol, "RELIANCE-EQ");
  EXPECT_EQ(reliance->symbol, "RELIANCE");
  EXPECT_EQ(reliance->company, "RELIANCE");
  EXPECT_EQ(reliance->series, "EQ");
  EXPECT_EQ(reliance->lotSize, 1);
  EXPECT_EQ(reliance->tickSize, 5);
  EXPECT_FALSE(reliance->name.empty());
  EXPECT_NEAR(static_cast<double>(reliance->basePrice), 125000.0, 125000.0 * 0.05);
  EXPECT_EQ(master.FindByTradingSymbol("nse_cm", "RELIANCE-EQ"), reliance);
  EXPECT_EQ(master.Find("bse_cm", "2885"), nullptr) << "tokens belong to their segment";
  EXPECT_EQ(master.Find("nse_cm", ""), nullptr);
  EXPECT_EQ(master.FindByTradingSymbol("nse_cm", "RELIANCE"), nullptr);

  // Each company is on both equity segments under a six-digit code, at the same price.
  for (const Scrip& s : master.All()) {
    if (s.exchSeg != "nse_cm" || s.instrument != "EQ") continue;
    EXPECT_EQ(s.tradingSymbol, s.symbol + "-EQ");
    const Scrip* bse = master.FindByTradingSymbol("bse_cm", s.symbol);
    ASSERT_NE(bse, nullptr) << s.symbol;
    EXPECT_EQ(bse->token.size(), 6u) << s.symbol;
    EXPECT_EQ(bse->token.find_first_not_of("0123456789"), std::string::npos) << bse->token;
    EXPECT_EQ(bse->basePrice, s.basePrice) << s.symbol;
    EXPECT_EQ(master.Find("bse_cm", bse->token), bse);
  }

  const Scrip* nifty = master.FindByTradingSymbol("nse_cm", "NIFTY 50");
  const Scrip* bank = master.FindByTradingSymbol("nse_cm", "NIFTY BANK");
  ASSERT_NE(nifty, nullptr);
  ASSERT_NE(bank, nullptr);
  EXPECT_EQ(nifty->token, "26000");
  EXPECT_EQ(nifty->symbol, "NIFTY");
  EXPECT_EQ(nifty->instrument, "INDEX");
  EXPECT_EQ(bank->token, "26009");
  EXPECT_EQ(bank->symbol, "BANKNIFTY");
}

TEST_F(ScripMasterTest, OptionLaddersAreCentredOnTheIndexAndExpireOnTheNextTwoThursdays) {
  const ScripMaster master(1, kNow);
  EXPECT_TRUE(master.OptionsOf("").empty());
  EXPECT_TRUE(master.OptionsOf("2885").empty());

  struct Chain {
    const char* token;
    int64_t step;
    int32_t lot;
  };
  for (const Chain& chain : {Chain{"26000", 5000, 75}, Chain{"26009", 10000, 35}}) {
    SCOPED_TRACE(chain.token);
    const Scrip& index = *master.Find("nse_cm", chain.token);
    const std::vector<const Scrip*> options = master.OptionsOf(chain.token);
    ASSERT_EQ(options.size(), 164u);

    std::vector<std::string> expiries;
    for (size_t i = 0; i < options.size(); ++i) {
      const Scrip& o = *options[i];
      EXPECT_EQ(o.exchSeg, "nse_fo");
      EXPECT_EQ(o.instrument, "OPTIDX");
      EXPECT_EQ(o.underlying, chain.token);
      EXPECT_EQ(o.symbol, index.symbol);
      EXPECT_EQ(o.lotSize, chain.lot);
      EXPECT_EQ(o.strike % chain.step, 0);
      EXPECT_EQ(o.optionType, i % 2 == 0 ? "CE" : "PE") << "CE before PE";
      EXPECT_EQ(o.baseOpenInterest % o.lotSize, 0);
      if (expiries.empty() || expiries.back() != o.expiry) expiries.push_back(o.expiry);
      // Symbol, ddMMMyy, strike in rupees, type.
      const std::string date = o.expiry.substr(0, 5) + o.expiry.substr(7, 2);
      EXPECT_EQ(o.tradingSymbol, o.symbol + date + std::to_string(o.strike / 100) + o.optionType);
      EXPECT_EQ(master.FindByTradingSymbol("nse_fo", o.tradingSymbol), &o);
      if (i > 0 && options[i - 1]->expiry == o.expiry && i % 2 == 0) {
        EXPECT_EQ(o.strike, options[i - 1]->strike + chain.step) << "sorted by strike";
      }
      if (i % 2 == 1) {
        EXPECT_EQ(o.strike, options[i - 1]->strike) << "a CE and a PE per strike";
      }

      // A premium is worth at least its exercise value, and less than the
      // index. Calls cheapen and puts dearen as the strike rises.
      const int64_t intrinsic =
          o.optionType == "CE" ? index.basePrice - o.strike : o.strike - index.basePrice;
      EXPECT_GE(o.basePrice, std::max<int64_t>(intrinsic, o.tickSize)) << o.tradingSymbol;
      EXPECT_LT(o.basePrice, index.basePrice / 5) << o.tradingSymbol;
      if (i >= 2 && options[i - 2]->expiry == o.expiry) {
        if (o.optionType == "CE") {
          EXPECT_LE(o.basePrice, options[i - 2]->basePrice) << o.tradingSymbol;
        } else {
          EXPECT_GE(o.basePrice, options[i - 2]->basePrice) << o.tradingSymbol;
        }
      }
    }

    // Two weekly expiries: the Thursdays of the next two weeks after Saturday 5 December.
    ASSERT_EQ(expiries.size(), 2u);
    EXPECT_EQ(expiries[0], "10DEC2026");
    EXPECT_EQ(expiries[1], "17DEC2026");

    // 41 strikes per expiry, the middle one the nearest to the index.
    const int64_t lowest = options.front()->strike, highest = options[80]->strike;
    EXPECT_EQ(highest - lowest, 40 * chain.step);
    const int64_t middle = options[40]->strike;
    EXPECT_LE(std::abs(middle - index.basePrice), chain.step);
    // Open interest gathers at the money.
    EXPECT_GT(options[40]->baseOpenInterest, options.front()->baseOpenInterest);
    EXPECT_GT(options[40]->baseOpenInterest, options[80]->baseOpenInterest);
  }
  EXPECT_NE(master.FindByTradingSymbol("nse_fo", "NIFTY10DEC2624000CE"), nullptr);
}

TEST_F(ScripMasterTest, ExpiriesFollowTheLocalDay) {
  // A Thursday is not its own weekly expiry.
  const int64_t thursday = kNow + 5 * 86400;  // 10 December, 09:03
  ASSERT_EQ(Weekday(thursday), 4);
  // 01:30 on Thursday in India is still Wednesday in UTC: the local day counts.
  const int64_t thursdayNight = DayStart(thursday) + 90 * 60;
  for (const int64_t today : {kNow, thursday, thursdayNight}) {
    const ScripMaster master(1, today);
    std::set<std::string> weekly, monthly;
    for (const Scrip& s : master.All()) {
      if (s.instrument == "OPTIDX") weekly.insert(s.expiry);
      if (s.instrument == "FUTCOM") monthly.insert(s.expiry);
    }
    ASSERT_EQ(weekly.size(), 2u);
    std::vector<int64_t> days;
    for (const std::string& e : weekly) days.push_back(ExpiryDay(e));
    std::sort(days.begin(), days.end());
    for (const int64_t day : days) EXPECT_EQ(Weekday(day), 4);
    EXPECT_GT(days[0], DayStart(today));
    EXPECT_LE(days[0], DayStart(today) + 7 * 86400 + 3600);
    EXPECT_NEAR(static_cast<double>(days[1] - days[0]), 7.0 * 86400, 3600.0);

    ASSERT_EQ(monthly.size(), 1u);
    const int64_t futureExpiry = ExpiryDay(*monthly.begin());
    EXPECT_EQ(Weekday(futureExpiry), 4);
    EXPECT_GT(futureExpiry, DayStart(today));
  }
  const ScripMaster onThursday(1, thursday);
  EXPECT_NE(onThursday.FindByTradingSymbol("nse_fo", "NIFTY17DEC2624000CE"), nullptr);
  EXPECT_NE(onThursday.FindByTradingSymbol("nse_fo", "NIFTY24DEC2624000PE"), nullptr);
  EXPECT_EQ(onThursday.FindByTradingSymbol("nse_fo", "NIFTY10DEC2624000CE"), nullptr);

  // Futures: the symbol names the expiry's year and month.
  const ScripMaster master(1, kNow);
  std::set<std::string> commodities;
  for (const Scrip& s : master.All()) {
    if (s.exchSeg != "mcx_fo") continue;
    commodities.insert(s.symbol);
    EXPECT_EQ(s.tradingSymbol, s.symbol + s.expiry.substr(7, 2) + s.expiry.substr(2, 3) + "FUT");
    EXPECT_TRUE(s.optionType.empty());
    EXPECT_EQ(s.strike, 0);
  }
  EXPECT_EQ(commodities,
            (std::set<std::string>{"GOLD", "SILVER", "CRUDEOIL", "NATURALGAS", "COPPER"}));
}

TEST_F(ScripMasterTest, TheSeedNudgesPricesButNotTheList) {
  const ScripMaster a(1, kNow), b(1, kNow), c(2, kNow);
  ASSERT_EQ(a.All().size(), b.All().size());
  ASSERT_EQ(a.All().size(), c.All().size());
  int moved = 0;
  for (size_t i = 0; i < a.All().size(); ++i) {
    const Scrip &x = a.All()[i], &y = b.All()[i], &z = c.All()[i];
    EXPECT_EQ(x.Key(), y.Key());
    EXPECT_EQ(x.tradingSymbol, y.tradingSymbol);
    EXPECT_EQ(x.basePrice, y.basePrice);
    EXPECT_EQ(x.baseOpenInterest, y.baseOpenInterest);

    EXPECT_EQ(x.Key(), z.Key());
    EXPECT_EQ(x.tradingSymbol, z.tradingSymbol);
    EXPECT_EQ(x.lotSize, z.lotSize);
    if (x.basePrice != z.basePrice) ++moved;
    if (x.instrument == "EQ" || x.instrument == "FUTCOM") {
      EXPECT_NEAR(static_cast<double>(z.basePrice), static_cast<double>(x.basePrice),
                  0.07 * static_cast<double>(x.basePrice))
          << x.tradingSymbol;
    }
  }
  EXPECT_GT(moved, 40);
}

}  // namespace
}  // namespace kovo::backend
