#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "backend/market.h"

namespace kovo::backend {
namespace {

constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata
constexpr int64_t kMidnight = kNow - (9 * 3600 + 3 * 60 + 7);

class PriceModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("TZ", "Asia/Kolkata", 1), 0);
    tzset();
  }

  const Scrip& Get(const char* seg, const char* tradingSymbol) const {
    const Scrip* s = master.FindByTradingSymbol(seg, tradingSymbol);
    EXPECT_NE(s, nullptr) << tradingSymbol;
    return s ? *s : master.All().front();
  }
  // One scrip of each kind: equity on both segments, index, options, a future.
  std::vector<const Scrip*> Sample() const {
    return {&Get("nse_cm", "RELIANCE-EQ"),
            &Get("bse_cm", "TCS"),
            &Get("nse_cm", "NIFTY 50"),
            &Get("nse_fo", "NIFTY10DEC2624000CE"),
            &Get("nse_fo", "BANKNIFTY17DEC2650000PE"),
            &Get("mcx_fo", "GOLD26DECFUT")};
  }
  static int Weekday(int64_t when) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_wday;
  }

  ScripMaster master{1, kNow};
  PriceModel model{1};
};

TEST_F(PriceModelTest, PricesArePositiveOnTheTickAndRepeatable) {
  const PriceModel again(1), other(2);
  int differ = 0;
  for (const Scrip* s : Sample()) {
    SCOPED_TRACE(s->tradingSymbol);
    std::vector<int64_t> forwards;
    for (int64_t k = 0; k < 300; ++k) {
      const int64_t t = kNow - 86400 * 3 + k * 1009;
      const int64_t p = model.PriceAt(*s, t);
      ASSERT_GT(p, 0);
      ASSERT_EQ(p % s->tickSize, 0);
      forwards.push_back(p);
      if (other.PriceAt(*s, t) != p) ++differ;
    }
    // Asked again, backwards and from another instance: the same prices.
    for (int64_t k = 299; k >= 0; --k)
      ASSERT_EQ(again.PriceAt(*s, kNow - 86400 * 3 + k * 1009), forwards[k]);
    // The price wanders but stays near its base.
    const auto [low, high] = std::minmax_element(forwards.begin(), forwards.end());
    EXPECT_GT(*high, *low);
    if (s->instrument != "OPTIDX") {
      EXPECT_GT(*low, s->basePrice * 7 / 10);
      EXPECT_LT(*high, s->basePrice * 13 / 10);
    }
  }
  EXPECT_GT(differ, 1000) << "another seed gives other prices";

  // Nonsense never breaks it.
  const Scrip& reliance = Get("nse_cm", "RELIANCE-EQ");
  for (const int64_t t : {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                          int64_t{-1}, int64_t{0}}) {
    EXPECT_GT(model.PriceAt(reliance, t), 0);
    EXPECT_GE(model.VolumeAt(reliance, t), 0);
    const Bar bar = model.MinuteBar(reliance, t);
    EXPECT_LE(bar.low, bar.high);
    EXPECT_LE(model.DailyBars(reliance, t, t).size(), 1u);
    EXPECT_GE(model.QuoteAt(reliance, t).dayHigh, model.QuoteAt(reliance, t).dayLow);
  }
  Scrip odd;
  odd.instrument = "OPTIDX";
  odd.tickSize = 0;
  odd.lotSize = -3;
  odd.basePrice = -40;
  odd.strike = std::numeric_limits<int64_t>::max();
  odd.optionType = "CE";
  odd.underlying = "26000";
  odd.expiry = "99XYZ9999";
  odd.baseOpenInterest = 5;
  EXPECT_GT(model.PriceAt(odd, kNow), 0);
  EXPECT_GE(model.VolumeAt(odd, kNow), 0);
  EXPECT_GT(model.OpenInterestAt(odd, kNow), 0);
  EXPECT_EQ(model.MinuteBars(odd, kNow, kNow + 600).size(), 10u);
}

TEST_F(PriceModelTest, MinuteBarsAgreeWithSecondPrices) {
  for (const Scrip* s : Sample()) {
    SCOPED_TRACE(s->tradingSymbol);
    for (const int64_t minute :
         {kNow / 60 * 60, kMidnight, kMidnight - 60, kNow / 60 * 60 + 7200}) {
      const Bar bar = model.MinuteBar(*s, minute);
      int64_t high = 0, low = std::numeric_limits<int64_t>::max(), volume = 0;
      for (int64_t t = minute; t < minute + 60; ++t) {
        const int64_t p = model.PriceAt(*s, t);
        high = std::max(high, p);
        low = std::min(low, p);
        const int64_t v = model.VolumeAt(*s, t);
        ASSERT_GE(v, 0);
        ASSERT_EQ(v % s->lotSize, 0);
        volume += v;
      }
      EXPECT_EQ(bar.time, minute);
      EXPECT_EQ(bar.open, model.PriceAt(*s, minute));
      EXPECT_EQ(bar.close, model.PriceAt(*s, minute + 59));
      EXPECT_EQ(bar.high, high);
      EXPECT_EQ(bar.low, low);
      EXPECT_EQ(bar.volume, volume);
      if (s->instrument == "INDEX") {
        EXPECT_EQ(volume, 0) << "an index does not trade";
      }
      // Any second of the minute names the same bar.
      const Bar again = model.MinuteBar(*s, minute + 37);
      EXPECT_EQ(again.time, bar.time);
      EXPECT_EQ(again.volume, bar.volume);
    }
  }
  // A traded scrip trades over a quarter of an hour.
  const Scrip& reliance = Get("nse_cm", "RELIANCE-EQ");
  int64_t traded = 0;
  for (const Bar& bar : model.MinuteBars(reliance, kNow - 900, kNow)) traded += bar.volume;
  EXPECT_GT(traded, 0);
}

TEST_F(PriceModelTest, MinuteBarRangesCoverTheirMinutesOldestFirst) {
  const Scrip& tcs = Get("nse_cm", "TCS-EQ");
  const int64_t from = kNow - 3 * 3600 - 13;
  const std::vector<Bar> bars = model.MinuteBars(tcs, from, kNow);
  ASSERT_EQ(bars.size(), static_cast<size_t>(kNow / 60 - from / 60));
  EXPECT_EQ(bars.front().time, from / 60 * 60);
  EXPECT_EQ(bars.back().time, kNow / 60 * 60 - 60) << "the minute still running is left out";
  for (size_t i = 0; i < bars.size(); i += 17) {
    if (i > 0) {
      EXPECT_EQ(bars[i].time, bars[i - 1].time + 60);
    }
    const Bar single = model.MinuteBar(tcs, bars[i].time);
    EXPECT_EQ(bars[i].open, single.open);
    EXPECT_EQ(bars[i].high, single.high);
    EXPECT_EQ(bars[i].low, single.low);
    EXPECT_EQ(bars[i].volume, single.volume);
  }
  EXPECT_TRUE(model.MinuteBars(tcs, kNow, kNow).empty());
  EXPECT_TRUE(model.MinuteBars(tcs, kNow, kNow - 600).empty());
  EXPECT_TRUE(model.MinuteBars(tcs, kNow / 60 * 60, kNow / 60 * 60 + 59).empty());
  EXPECT_EQ(model.MinuteBars(tcs, kNow / 60 * 60 + 59, kNow / 60 * 60 + 60).size(), 1u);

  // Absurd ranges are cut to their most recent part instead of exhausting memory.
  const std::vector<Bar> huge = model.MinuteBars(tcs, std::numeric_limits<int64_t>::min(), kNow);
  ASSERT_FALSE(huge.empty());
  EXPECT_LE(huge.size(), 41u * 1440);
  EXPECT_GE(huge.size(), 22u * 1440);
  EXPECT_EQ(huge.back().time, kNow / 60 * 60 - 60);
}

TEST_F(PriceModelTest, DailyBarsFoldTheLocalDaysMinutesAndQuotesAgree) {
  for (const Scrip* s : Sample()) {
    SCOPED_TRACE(s->tradingSymbol);
    const Bar day = model.DailyBar(*s, kNow);
    EXPECT_EQ(day.time, kMidnight);
    const std::vector<Bar> minutes = model.MinuteBars(*s, kMidnight, kMidnight + 86400);
    ASSERT_EQ(minutes.size(), 1440u);
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
    const Bar sameDay = model.DailyBar(*s, kMidnight + 86399);
    EXPECT_EQ(sameDay.time, day.time);
    EXPECT_EQ(sameDay.high, day.high);
    EXPECT_EQ(model.DailyBar(*s, kMidnight - 1).time, kMidnight - 86400);

    // The quote covers the day so far: completed minutes plus the running one.
    const Quote q = model.QuoteAt(*s, kNow);
    const size_t done = static_cast<size_t>((kNow - kMidnight) / 60);
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
    EXPECT_EQ(q.dayVolume, model.CumulativeVolume(*s, kNow));
    const Quote atClose = model.QuoteAt(*s, kMidnight + 86399);
    EXPECT_EQ(atClose.dayHigh, day.high);
    EXPECT_EQ(atClose.dayLow, day.low);
    EXPECT_EQ(atClose.dayVolume, day.volume);
    EXPECT_EQ(model.CumulativeVolume(*s, kMidnight + 86400), model.VolumeAt(*s, kMidnight + 86400))
        << "the count restarts at midnight";

    // Open interest: derivatives only, in lots, drifting slowly.
    if (s->baseOpenInterest == 0) {
      EXPECT_EQ(q.openInterest, 0);
      EXPECT_EQ(q.openInterestAtOpen, 0);
      continue;
    }
    EXPECT_EQ(q.openInterest, model.OpenInterestAt(*s, kNow));
    EXPECT_EQ(q.openInterestAtOpen, model.OpenInterestAt(*s, kMidnight));
    for (int64_t t = kMidnight; t < kMidnight + 86400; t += 3607) {
      const int64_t oi = model.OpenInterestAt(*s, t), later = model.OpenInterestAt(*s, t + 60);
      EXPECT_GT(oi, 0);
      EXPECT_EQ(oi % s->lotSize, 0);
      EXPECT_LE(std::abs(later - oi), oi / 100 + s->lotSize);
    }
  }
}

TEST_F(PriceModelTest, DailyBarsAreWeekdaysOldestFirst) {
  const Scrip& gold = Get("mcx_fo", "GOLD26DECFUT");
  // Monday 30 November to Sunday 13 December: two trading weeks.
  const int64_t monday = kNow - 5 * 86400, sunday = kNow + 8 * 86400;
  ASSERT_EQ(Weekday(monday), 1);
  ASSERT_EQ(Weekday(sunday), 0);
  const std::vector<Bar> bars = model.DailyBars(gold, monday, sunday);
  ASSERT_EQ(bars.size(), 10u);
  EXPECT_EQ(bars.front().time, kMidnight - 5 * 86400);
  for (size_t i = 0; i < bars.size(); ++i) {
    const int weekday = Weekday(bars[i].time);
    EXPECT_TRUE(weekday >= 1 && weekday <= 5) << bars[i].time;
    if (i > 0) {
      EXPECT_GT(bars[i].time, bars[i - 1].time);
    }
    const Bar single = model.DailyBar(gold, bars[i].time);
    EXPECT_EQ(bars[i].time, single.time);
    EXPECT_EQ(bars[i].high, single.high);
    EXPECT_EQ(bars[i].low, single.low);
    EXPECT_EQ(bars[i].close, single.close);
  }
  EXPECT_TRUE(model.DailyBars(gold, kNow, kNow + 86400).empty()) << "Saturday and Sunday";
  const std::vector<Bar> friday = model.DailyBars(gold, kNow - 86400, kNow + 86400);
  ASSERT_EQ(friday.size(), 1u);
  EXPECT_EQ(friday[0].time, kMidnight - 86400);
  EXPECT_TRUE(model.DailyBars(gold, sunday, monday).empty());

  // Ten years are cut to about the last three.
  const std::vector<Bar> decade = model.DailyBars(gold, kNow - 3653 * 86400, monday);
  EXPECT_GE(decade.size(), 700u);
  EXPECT_LE(decade.size(), 800u);
  EXPECT_EQ(decade.back().time, kMidnight - 5 * 86400);
}

TEST_F(PriceModelTest, OptionPricesFollowTheIndex) {
  const Scrip& nifty = Get("nse_cm", "NIFTY 50");
  const std::vector<const Scrip*> options = master.OptionsOf(nifty.token);
  ASSERT_EQ(options.size(), 164u);
  const Scrip& call = *options[40];  // ATM CE of the first expiry
  ASSERT_EQ(call.optionType, "CE");
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

  // Time value fades towards expiry, and after it only the exercise value is left.
  auto timeValueNearTheMoney = [&](int64_t t) {
    const int64_t index = model.PriceAt(nifty, t);
    const Scrip* nearest = options[0];
    for (size_t i = 0; i < 82; i += 2)
      if (std::abs(options[i]->strike - index) < std::abs(nearest->strike - index))
        nearest = options[i];
    return model.PriceAt(*nearest, t) - std::max<int64_t>(0, index - nearest->strike);
  };
  EXPECT_GT(timeValueNearTheMoney(kNow), 4 * timeValueNearTheMoney(expiryClose - 3600));
  for (int64_t t = expiryClose; t < expiryClose + 86400; t += 3001) {
    const int64_t index = model.PriceAt(nifty, t);
    EXPECT_EQ(model.PriceAt(call, t), std::max<int64_t>(index - call.strike, call.tickSize));
  }
}

}  // namespace
}  // namespace kovo::backend
