#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string_view>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {
namespace {

constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata
constexpr int64_t kMidnight = kNow - (9 * 3600 + 3 * 60 + 7);  // tests run with TZ=Asia/Kolkata

const ScripMaster master(1, kNow);
const PriceModel model(1);

const Scrip& Get(std::string_view tradingSymbol) {
  for (const Scrip& s : master.All())
    if (s.tradingSymbol == tradingSymbol) return s;
  ADD_FAILURE() << tradingSymbol;
  return master.All().front();
}

TEST(PriceModelTest, BarsAndQuotesAgreeWithSecondPrices) {
  // One scrip of each kind: equity on both segments, index, options, a future.
  for (const char* name : {"RELIANCE-EQ", "TCS", "NIFTY 50", "NIFTY10DEC2624000CE",
                           "BANKNIFTY17DEC2650000PE", "GOLD26DECFUT"}) {
    SCOPED_TRACE(name);
    const Scrip* s = &Get(name);
    const std::vector<Bar> minutes = model.MinuteBars(*s, kMidnight, kMidnight + 86400);
    ASSERT_EQ(minutes.size(), 1440u);
    const size_t done = static_cast<size_t>((kNow - kMidnight) / 60);
    for (const size_t i : {size_t{0}, done, size_t{1439}}) {
      const int64_t minute = kMidnight + static_cast<int64_t>(i) * 60;
      int64_t high = 0, low = std::numeric_limits<int64_t>::max(), volume = 0;
      for (int64_t t = minute; t < minute + 60; ++t) {
        const int64_t p = model.PriceAt(*s, t);
        ASSERT_GT(p, 0);
        ASSERT_EQ(p % s->tickSize, 0);
        high = std::max(high, p);
        low = std::min(low, p);
        const int64_t v = model.VolumeAt(*s, t);
        ASSERT_GE(v, 0);
        ASSERT_EQ(v % s->lotSize, 0);
        volume += v;
      }
      if (s->instrument == "INDEX") {
        EXPECT_EQ(volume, 0) << "an index does not trade";
      }
      // The single minute and the day's range of minutes agree.
      for (const Bar& bar : {model.MinuteBar(*s, minute), minutes[i]}) {
        EXPECT_EQ(bar.time, minute);
        EXPECT_EQ(bar.open, model.PriceAt(*s, minute));
        EXPECT_EQ(bar.close, model.PriceAt(*s, minute + 59));
        EXPECT_EQ(bar.high, high);
        EXPECT_EQ(bar.low, low);
        EXPECT_EQ(bar.volume, volume);
      }
    }
    // The local day folds its minutes together.
    const Bar day = model.DailyBar(*s, kNow);
    EXPECT_EQ(day.time, kMidnight);
    int64_t high = 0, low = std::numeric_limits<int64_t>::max(), volume = 0;
    for (const Bar& m : minutes) {
      high = std::max(high, m.high);
      low = std::min(low, m.low);
      volume += m.volume;
    }
    EXPECT_EQ(day.open, minutes.front().open);
    EXPECT_EQ(day.close, minutes.back().close);
    EXPECT_EQ(day.high, high);
    EXPECT_EQ(day.low, low);
    EXPECT_EQ(day.volume, volume);
    // The quote covers the day so far: completed minutes plus the running one.
    const Quote q = model.QuoteAt(*s, kNow);
    int64_t soFarHigh = 0, soFarLow = std::numeric_limits<int64_t>::max(), soFarVolume = 0;
    for (size_t i = 0; i < done; ++i) {
      soFarHigh = std::max(soFarHigh, minutes[i].high);
      soFarLow = std::min(soFarLow, minutes[i].low);
      soFarVolume += minutes[i].volume;
    }
    for (int64_t t = kNow / 60 * 60; t <= kNow; ++t) {
      soFarHigh = std::max(soFarHigh, model.PriceAt(*s, t));
      soFarLow = std::min(soFarLow, model.PriceAt(*s, t));
      soFarVolume += model.VolumeAt(*s, t);
    }
    EXPECT_EQ(q.lastPrice, model.PriceAt(*s, kNow));
    EXPECT_EQ(q.dayOpen, day.open);
    EXPECT_EQ(q.dayHigh, soFarHigh);
    EXPECT_EQ(q.dayLow, soFarLow);
    EXPECT_EQ(q.dayVolume, soFarVolume);
    EXPECT_EQ(q.openInterestAtOpen, model.OpenInterestAt(*s, kMidnight));
    EXPECT_EQ(q.openInterest > 0, s->baseOpenInterest > 0) << "derivatives only";
  }
  // Monday 30 November to Sunday 13 December: two trading weeks, weekends left out.
  const Scrip& gold = Get("GOLD26DECFUT");
  const std::vector<Bar> days = model.DailyBars(gold, kNow - 5 * 86400, kNow + 8 * 86400);
  ASSERT_EQ(days.size(), 10u);
  for (int64_t n = 0; n < 10; ++n) {
    EXPECT_EQ(days[n].time, kMidnight + (n + n / 5 * 2 - 5) * 86400) << "oldest first";
    EXPECT_EQ(days[n].close, model.DailyBar(gold, days[n].time).close);
  }
  EXPECT_TRUE(model.DailyBars(gold, kNow, kNow + 86400).empty()) << "Saturday and Sunday";
  // Absurd ranges are cut to their recent end instead of exhausting memory.
  const std::vector<Bar> huge = model.MinuteBars(gold, std::numeric_limits<int64_t>::min(), kNow);
  ASSERT_FALSE(huge.empty());
  EXPECT_LE(huge.size(), 41u * 1440);
  EXPECT_EQ(huge.back().time, kNow / 60 * 60 - 60);
}

TEST(PriceModelTest, OptionPricesFollowTheIndex) {
  const Scrip& nifty = Get("NIFTY 50");
  const std::vector<const Scrip*> options = master.OptionsOf(nifty.token);
  ASSERT_EQ(options.size(), 164u);
  const Scrip& call = *options[40];  // ATM CE of the first expiry
  const int64_t expiryClose = kNow + 5 * 86400 + (15 * 3600 + 30 * 60) - (9 * 3600 + 3 * 60 + 7);
  // Put-call parity: a call less a put of the same strike tracks the index less
  // the strike, whatever the index does.
  for (int64_t t = kNow - 86400; t < expiryClose; t += 4001) {
    const int64_t index = model.PriceAt(nifty, t);
    for (size_t i = 0; i < 82; i += 2) {
      const Scrip &ce = *options[i], &pe = *options[i + 1];
      const int64_t c = model.PriceAt(ce, t), p = model.PriceAt(pe, t);
      ASSERT_GE(c, std::max<int64_t>(index - ce.strike, ce.tickSize)) << ce.tradingSymbol;
      ASSERT_GE(p, std::max<int64_t>(pe.strike - index, pe.tickSize)) << pe.tradingSymbol;
      ASSERT_LE(std::abs((c - p) - (index - ce.strike)), 2 * ce.tickSize) << ce.tradingSymbol;
    }
  }
  // Before expiry an option is worth more than its exercise value; after it, only that.
  EXPECT_GT(model.PriceAt(call, kNow),
            std::max<int64_t>(model.PriceAt(nifty, kNow) - call.strike, call.tickSize));
  for (int64_t t = expiryClose; t < expiryClose + 86400; t += 3001) {
    const int64_t index = model.PriceAt(nifty, t);
    EXPECT_EQ(model.PriceAt(call, t), std::max<int64_t>(index - call.strike, call.tickSize));
  }
}

}  // namespace
}  // namespace kovo::backend
