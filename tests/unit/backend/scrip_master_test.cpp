#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "backend/market.h"

// Local days are those of Asia/Kolkata, the TZ the tests run in.
namespace kovo::backend {
namespace {

constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata

TEST(ScripMasterTest, KeysAreUniqueLookupsWorkAndTheSeedOnlyNudgesPrices) {
  const ScripMaster master(1, kNow), b(1, kNow), c(2, kNow);
  ASSERT_EQ(master.All().size(), b.All().size());
  ASSERT_EQ(master.All().size(), c.All().size());
  std::set<std::string> keys, symbols;
  int moved = 0;
  for (size_t i = 0; i < master.All().size(); ++i) {
    const Scrip &s = master.All()[i], &y = b.All()[i], &z = c.All()[i];
    EXPECT_TRUE(keys.insert(s.Key()).second) << s.Key();
    EXPECT_TRUE(symbols.insert(s.exchSeg + "|" + s.tradingSymbol).second) << s.tradingSymbol;
    EXPECT_GT(s.basePrice, 0) << s.tradingSymbol;
    EXPECT_EQ(s.basePrice % s.tickSize, 0) << s.tradingSymbol;
    const bool derivative = s.instrument == "OPTIDX" || s.instrument == "FUTCOM";
    EXPECT_EQ(s.baseOpenInterest > 0, derivative) << s.tradingSymbol;

    EXPECT_EQ(s.Key(), y.Key());
    EXPECT_EQ(s.basePrice, y.basePrice);
    EXPECT_EQ(s.Key(), z.Key());
    if (s.basePrice != z.basePrice) ++moved;
    // Each company is on both equity segments, at the same price.
    if (s.exchSeg == "nse_cm" && s.instrument == "EQ") {
      const Scrip* bse = master.FindByTradingSymbol("bse_cm", s.symbol);
      ASSERT_NE(bse, nullptr) << s.symbol;
      EXPECT_EQ(bse->basePrice, s.basePrice) << s.symbol;
      EXPECT_EQ(master.Find("bse_cm", bse->token), bse);
    }
    if (s.instrument == "EQ" || s.instrument == "FUTCOM") {
      EXPECT_NEAR(static_cast<double>(z.basePrice), static_cast<double>(s.basePrice),
                  0.07 * static_cast<double>(s.basePrice))
          << s.tradingSymbol;
    }
  }
  EXPECT_GT(moved, 40);

  const Scrip* reliance = master.Find("nse_cm", "2885");
  ASSERT_NE(reliance, nullptr);
  EXPECT_EQ(reliance->tradingSymbol, "RELIANCE-EQ");
  EXPECT_EQ(master.FindByTradingSymbol("nse_cm", "RELIANCE-EQ"), reliance);
  EXPECT_EQ(master.Find("bse_cm", "2885"), nullptr) << "tokens belong to their segment";
}

TEST(ScripMasterTest, OptionLaddersAreCentredOnTheIndexAndExpireOnTheNextTwoThursdays) {
  const ScripMaster master(1, kNow);
  using Chain = std::pair<const char*, int64_t>;  // index token, strike step
  for (const auto& [token, step] : {Chain{"26000", 5000}, Chain{"26009", 10000}}) {
    SCOPED_TRACE(token);
    const Scrip& index = *master.Find("nse_cm", token);
    const std::vector<const Scrip*> options = master.OptionsOf(token);
    ASSERT_EQ(options.size(), 164u);

    std::vector<std::string> expiries;
    for (size_t i = 0; i < options.size(); ++i) {
      const Scrip& o = *options[i];
      EXPECT_EQ(o.symbol, index.symbol);
      EXPECT_EQ(o.strike % step, 0);
      EXPECT_EQ(o.optionType, i % 2 == 0 ? "CE" : "PE") << "CE before PE";
      if (expiries.empty() || expiries.back() != o.expiry) expiries.push_back(o.expiry);
      // Symbol, ddMMMyy, strike in rupees, type.
      const std::string date = o.expiry.substr(0, 5) + o.expiry.substr(7, 2);
      EXPECT_EQ(o.tradingSymbol, o.symbol + date + std::to_string(o.strike / 100) + o.optionType);
      EXPECT_EQ(master.FindByTradingSymbol("nse_fo", o.tradingSymbol), &o);
      EXPECT_EQ(o.name, o.symbol + " " + o.expiry + " " + std::to_string(o.strike / 100) + " " +
                            o.optionType)
          << "an option is named for itself, not its index";
      if (i > 0 && options[i - 1]->expiry == o.expiry && i % 2 == 0) {
        EXPECT_EQ(o.strike, options[i - 1]->strike + step) << "sorted by strike";
      }
      if (i % 2 == 1) {
        EXPECT_EQ(o.strike, options[i - 1]->strike) << "a CE and a PE per strike";
      }
    }
    // Two weekly expiries: the Thursdays of the next two weeks after Saturday 5 December.
    ASSERT_EQ(expiries.size(), 2u);
    EXPECT_EQ(expiries[0], "10DEC2026");
    EXPECT_EQ(expiries[1], "17DEC2026");
    // 41 strikes per expiry, the middle one the nearest to the index.
    EXPECT_EQ(options[80]->strike - options.front()->strike, 40 * step);
    EXPECT_LE(std::abs(options[40]->strike - index.basePrice), step);
  }
}

TEST(ScripMasterTest, ExpiriesAreThursdaysAfterTheLocalDay) {
  // A Thursday is not its own weekly expiry, and 01:30 on Thursday in India,
  // still Wednesday in UTC, is Thursday: the local day counts.
  const int64_t thursday = kNow + 5 * 86400;  // 10 December, 09:03
  const int64_t thursdayNight = thursday - (9 * 3600 + 3 * 60 + 7) + 90 * 60;
  for (const auto& [today, first, second] :
       {std::tuple{kNow, "10DEC2026", "17DEC2026"}, std::tuple{thursday, "17DEC2026", "24DEC2026"},
        std::tuple{thursdayNight, "17DEC2026", "24DEC2026"}}) {
    const ScripMaster master(1, today);
    std::set<std::string> weekly, monthly;
    for (const Scrip& s : master.All()) {
      if (s.instrument == "OPTIDX") weekly.insert(s.expiry);
      if (s.instrument == "FUTCOM") monthly.insert(s.expiry);
    }
    EXPECT_EQ(weekly, (std::set<std::string>{first, second}));
    // Futures: the month's last Thursday.
    EXPECT_EQ(monthly, std::set<std::string>{"31DEC2026"});
  }
}

}  // namespace
}  // namespace kovo::backend
