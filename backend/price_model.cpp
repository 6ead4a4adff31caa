#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "backend/market.h"
#include "backend/market_detail.h"

namespace kovo::backend {

namespace {

// Seconds outside this range (about 1200 BC to 5100 AD) are clamped: the calendar
// functions and the arithmetic below stay well inside their limits.
constexpr int64_t kEarliest = -100'000'000'000;
constexpr int64_t kLatest = 100'000'000'000;
constexpr int64_t kDay = 86400;
constexpr int64_t kMinuteCap = 40 * 1440;  // about 40 days of one-minute bars
constexpr int64_t kDayCap = 1100;          // calendar days, about three years
// Prices are linear between these boundaries, so within one block a price path is
// monotone and its extremes over a span of seconds are at the span's ends.
constexpr int64_t kBlock = 10;
constexpr double kIndexVolatility = 0.14;  // annual, for option time value
constexpr double kYear = 365.0 * 86400.0;
constexpr int64_t kExpiryTimeOfDay = 10 * 3600;  // 15:30 in India, as UTC

int64_t Clamp(int64_t t) {
  return std::clamp(t, kEarliest, kLatest);
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if (a % b != 0 && (a < 0) != (b < 0)) --q;
  return q;
}

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// In [-1, 1).
double Signed(uint64_t h) {
  return static_cast<double>(h >> 11) * 0x1p-52 - 1.0;
}
// In [0, 1).
double Unsigned(uint64_t h) {
  return static_cast<double>(h >> 11) * 0x1p-53;
}

uint64_t HashText(uint64_t h, std::string_view text) {
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return h;
}

// What a price series is keyed by. Equities use the company symbol, so the same
// company moves alike on both equity segments.
uint64_t SeriesKey(uint64_t seed, const Scrip& scrip) {
  uint64_t h = 0xcbf29ce484222325ULL;
  if (scrip.instrument == "EQ") {
    h = HashText(h, "EQ|");
    h = HashText(h, scrip.symbol);
  } else {
    h = HashText(h, scrip.exchSeg);
    h = HashText(h, "|");
    h = HashText(h, scrip.token);
  }
  return Mix(Mix(seed) ^ h);
}

struct Level {
  int64_t span;
  double amplitude;
  double inverse = 1.0 / static_cast<double>(span);
};
// Value noise: larger knot spacings carry larger swings. Every span is a multiple
// of kBlock. The amplitudes sum to under 0.19, so the factor stays in (0.8, 1.2).
constexpr Level kLevels[] = {{365 * kDay, 0.10}, {30 * kDay, 0.05}, {kDay, 0.015}, {3600, 0.006},
                             {300, 0.003},       {60, 0.0015},      {10, 0.0006}};
constexpr int kLevelCount = static_cast<int>(std::size(kLevels));
// Windows over which the levels before kFirstFastLevel are linear; scans of long
// spans skip windows that cannot hold a new extreme.
constexpr int64_t kWindow = 300;
constexpr int kFirstFastLevel = 5;
static_assert(kLevels[kFirstFastLevel - 1].span == kWindow);

// The noise curve of one series. Caches knot values, so walking forwards through
// time is cheap; results never depend on what was asked before.
class Curve {
 public:
  Curve(uint64_t key, double scale) {
    for (int l = 0; l < kLevelCount; ++l) {
      m_levelKey[l] = key + static_cast<uint64_t>(l + 1) * 0x632be59bd9b4e019ULL;
      m_amplitude[l] = kLevels[l].amplitude * scale;
    }
  }

  // Relative deviation from the base price at second t.
  double At(int64_t t) {
    const int64_t b = FloorDiv(t, kBlock) * kBlock;
    if (b != m_block) {
      m_start = b == m_block + kBlock ? m_end : Boundary(b);
      m_end = Boundary(b + kBlock);
      m_block = b;
    }
    return m_start + (m_end - m_start) * (static_cast<double>(t - b) / kBlock);
  }

  // Bounds of the curve over [a, a + kWindow], a a multiple of kWindow: the
  // slower levels are linear there, the faster ones add at most their amplitude.
  void Envelope(int64_t a, double* low, double* high) {
    const double first = Slow(a), last = Slow(a + kWindow);
    double fast = 1e-9;  // room for rounding
    for (int l = kFirstFastLevel; l < kLevelCount; ++l) fast += m_amplitude[l];
    *low = std::min(first, last) - fast;
    *high = std::max(first, last) + fast;
  }

 private:
  double Knot(int l, int64_t k) const {
    return Signed(Mix(m_levelKey[l] + static_cast<uint64_t>(k) * 0x9e3779b97f4a7c15ULL));
  }

  double Boundary(int64_t x) { return Sum(x, 0, kLevelCount); }
  double Slow(int64_t x) { return Sum(x, 0, kFirstFastLevel); }

  double Sum(int64_t x, int fromLevel, int toLevel) {
    double sum = 0.0;
    for (int l = fromLevel; l < toLevel; ++l) {
      const int64_t span = kLevels[l].span;
      if (!m_known[l] || x < m_from[l] || x >= m_from[l] + span) {
        const int64_t k = FloorDiv(x, span);
        const bool next = m_known[l] && k * span == m_from[l] + span;
        m_low[l] = next ? m_high[l] : Knot(l, k);
        m_high[l] = Knot(l, k + 1);
        m_from[l] = k * span;
        m_known[l] = true;
      }
      const double u = static_cast<double>(x - m_from[l]) * kLevels[l].inverse;
      sum += m_amplitude[l] * (m_low[l] + (m_high[l] - m_low[l]) * u);
    }
    return sum;
  }

  uint64_t m_levelKey[kLevelCount];
  double m_amplitude[kLevelCount];
  bool m_known[kLevelCount] = {};
  int64_t m_from[kLevelCount] = {};  // the knot at or before the last boundary asked for
  double m_low[kLevelCount] = {};
  double m_high[kLevelCount] = {};
  int64_t m_block = std::numeric_limits<int64_t>::min();
  double m_start = 0.0, m_end = 0.0;
};

// Indices swing less than single companies.
double Swing(const Scrip& scrip) {
  return scrip.instrument == "INDEX" ? 0.6 : 1.0;
}

int64_t SafeTick(int32_t tick) {
  return tick > 0 ? tick : 1;
}

// Rounds to the tick, at least one tick, far from overflow.
int64_t ToTicks(double value, int64_t tick) {
  // Positive, so truncating after adding a half rounds to nearest.
  const double ticks = std::clamp(value / static_cast<double>(tick), 1.0, 1e15);
  return static_cast<int64_t>(ticks + 0.5) * tick;
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// "10DEC2026" -> the expiry instant; false when the text is not such a date.
bool ParseExpiry(std::string_view text, int64_t* when) {
  static constexpr std::string_view kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (text.size() != 9) return false;
  auto digits = [&](size_t from, size_t count, int* value) {
    *value = 0;
    for (size_t i = from; i < from + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      *value = *value * 10 + (text[i] - '0');
    }
    return true;
  };
  int day = 0, year = 0;
  if (!digits(0, 2, &day) || !digits(5, 4, &year) || day < 1 || day > 31) return false;
  const auto month = std::find(std::begin(kMonths), std::end(kMonths), text.substr(2, 3));
  if (month == std::end(kMonths)) return false;
  const unsigned m = static_cast<unsigned>(month - std::begin(kMonths)) + 1;
  *when = DaysFromCivil(year, m, static_cast<unsigned>(day)) * kDay + kExpiryTimeOfDay;
  return true;
}

// The listed index an option is priced from, or null when it has none.
const Scrip* OptionUnderlying(const Scrip& scrip) {
  if (scrip.instrument != "OPTIDX" || scrip.strike <= 0) return nullptr;
  if (scrip.optionType != "CE" && scrip.optionType != "PE") return nullptr;
  return detail::ListedIndex(scrip.underlying);
}

// Prices of one scrip through time, the way PriceAt defines them. An option
// follows its underlying's curve; without a known underlying it is priced on
// its own like any other scrip.
class Pricer {
 public:
  Pricer(uint64_t seed, const Scrip& scrip) : Pricer(seed, scrip, OptionUnderlying(scrip)) {}

  int64_t At(int64_t t) {
    const int64_t price = PriceFor(m_curve.At(t));
    if (!m_option) return price;
    // Time to expiry is held for the whole block, so the premium follows the
    // underlying monotonically within it.
    return Premium(price, FloorDiv(t, kBlock) * kBlock);
  }

  // Highest and lowest price over the seconds [from, to], from <= to.
  void Extremes(int64_t from, int64_t to, int64_t* high, int64_t* low) {
    *high = std::numeric_limits<int64_t>::min();
    *low = std::numeric_limits<int64_t>::max();
    if (to - from < 4 * kWindow) return Scan(from, to, high, low);
    // Prices at the window starts give a first range; then only windows whose
    // bounds reach outside it are looked at second by second.
    const int64_t first = FloorDiv(from, kWindow) * kWindow;
    for (int64_t a = first; a <= to; a += kWindow) {
      const int64_t price = At(std::max(a, from));
      *high = std::max(*high, price);
      *low = std::min(*low, price);
    }
    for (int64_t a = first; a <= to; a += kWindow) {
      int64_t most = 0, least = 0;
      Bounds(a, &most, &least);
      if (most > *high || least < *low)
        Scan(std::max(a, from), std::min(a + kWindow - 1, to), high, low);
    }
  }

 private:
  Pricer(uint64_t seed, const Scrip& scrip, const Scrip* underlying)
      : m_curve(SeriesKey(seed, underlying ? *underlying : scrip),
                Swing(underlying ? *underlying : scrip)),
        m_base(underlying ? underlying->basePrice : scrip.basePrice),
        m_tick(SafeTick(underlying ? underlying->tickSize : scrip.tickSize)),
        m_option(underlying != nullptr),
        m_call(scrip.optionType == "CE"),
        m_strike(scrip.strike),
        m_optionTick(SafeTick(scrip.tickSize)) {
    // An unreadable expiry leaves the option no time value.
    if (m_option && !ParseExpiry(scrip.expiry, &m_expiry)) m_expiry = kEarliest;
  }

  int64_t PriceFor(double deviation) const {
    return ToTicks(static_cast<double>(std::max(m_base, m_tick)) * (1.0 + deviation), m_tick);
  }

  int64_t Premium(int64_t spot, int64_t block) const {
    return detail::OptionPremium(spot, m_strike, m_call, m_expiry - block,
                                 static_cast<int32_t>(m_optionTick));
  }

  // Within a block the price is monotone, so its ends hold the extremes.
  void Scan(int64_t from, int64_t to, int64_t* high, int64_t* low) {
    for (int64_t b = FloorDiv(from, kBlock) * kBlock; b <= to; b += kBlock) {
      const int64_t first = At(std::max(b, from));
      const int64_t last = At(std::min(b + kBlock - 1, to));
      *high = std::max({*high, first, last});
      *low = std::min({*low, first, last});
    }
  }

  // No price in the window starting at a is above most or below least.
  void Bounds(int64_t a, int64_t* most, int64_t* least) {
    double low = 0.0, high = 0.0;
    m_curve.Envelope(a, &low, &high);
    const int64_t top = PriceFor(high), bottom = PriceFor(low);
    if (!m_option) {
      *most = top;
      *least = bottom;
      return;
    }
    // The premium is monotone in the spot and shrinks as expiry nears; a tick
    // either side allows for rounding.
    const int64_t longest = a, shortest = a + kWindow - kBlock;
    *most = std::max(Premium(top, longest), Premium(bottom, longest)) + m_optionTick;
    *least = std::min(Premium(top, shortest), Premium(bottom, shortest)) - m_optionTick;
  }

  Curve m_curve;
  int64_t m_base;
  int64_t m_tick;
  bool m_option;
  bool m_call;
  int64_t m_strike;
  int64_t m_optionTick;
  int64_t m_expiry = 0;
};

// Volume is decided per minute, in lots, then spread over the minute's seconds.
class Volume {
 public:
  Volume(uint64_t seed, const Scrip& scrip)
      : m_key(Mix(SeriesKey(seed, scrip) ^ 0x5be0cd19137e2179ULL)),
        m_lot(std::clamp<int64_t>(scrip.lotSize, 1, 1'000'000)) {
    const double base = static_cast<double>(std::max<int64_t>(scrip.basePrice, 1));
    if (scrip.instrument == "INDEX") {
      m_meanLots = 0.0;  // an index is computed, not traded
    } else if (scrip.instrument == "EQ") {
      // About 50 lakh rupees a minute on the main segment.
      m_meanLots = std::clamp(5e8 / base, 1.0, 1e6) * (scrip.exchSeg == "bse_cm" ? 0.12 : 1.0);
    } else if (scrip.instrument == "OPTIDX") {
      // Busier where more contracts are open.
      m_meanLots = std::clamp(
          static_cast<double>(scrip.baseOpenInterest) / static_cast<double>(m_lot) / 300.0, 1.0,
          1e5);
    } else {
      m_meanLots = 25.0;
    }
  }

  int64_t LotSize() const { return m_lot; }

  int64_t MinuteLots(int64_t minute) const {
    if (m_meanLots <= 0.0) return 0;
    const double hour =
        0.6 + 0.8 * Unsigned(Mix(m_key ^ static_cast<uint64_t>(FloorDiv(minute, 60))));
    const double spread =
        0.25 + 1.5 * Unsigned(Mix(m_key + static_cast<uint64_t>(minute) * 0x9e3779b97f4a7c15ULL));
    return static_cast<int64_t>(m_meanLots * hour * spread);
  }

  // Lots traded in the minute's seconds 0..second.
  int64_t LotsThrough(int64_t minute, int64_t second) const {
    const int64_t lots = MinuteLots(minute);
    if (second >= 59 || lots == 0) return lots;
    if (second < 0) return 0;
    // Uneven weights: some seconds see nothing, a few see a lot.
    uint64_t done = 0, total = 0;
    const uint64_t salt = Mix(m_key ^ (static_cast<uint64_t>(minute) * 0xd6e8feb86659fd93ULL));
    for (int64_t s = 0; s < 60; ++s) {
      const uint64_t x = Mix(salt + static_cast<uint64_t>(s)) >> 44;  // 20 bits
      const uint64_t w = (x * x * x) >> 40;
      total += w;
      if (s <= second) done += w;
    }
    if (total == 0) return lots * (second + 1) / 60;
    return static_cast<int64_t>(static_cast<uint64_t>(lots) * done / total);
  }

 private:
  uint64_t m_key;
  int64_t m_lot;
  double m_meanLots = 0.0;
};

bool LocalDay(int64_t t, std::tm* tm) {
  const std::time_t tt = static_cast<std::time_t>(t);
  return localtime_r(&tt, tm) != nullptr;
}

// Local midnight starting the day that contains t.
int64_t DayStart(int64_t t) {
  std::tm tm{};
  if (LocalDay(t, &tm)) {
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    const int64_t midnight = static_cast<int64_t>(std::mktime(&tm));
    if (midnight <= t && t - midnight < 2 * kDay) return midnight;
  }
  return FloorDiv(t, kDay) * kDay;
}

// Local midnight ending the day that starts at midnight.
int64_t DayEnd(int64_t midnight) {
  std::tm tm{};
  if (LocalDay(midnight, &tm)) {
    tm.tm_mday += 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    const int64_t next = static_cast<int64_t>(std::mktime(&tm));
    if (next > midnight && next - midnight < 2 * kDay) return next;
  }
  return midnight + kDay;
}

Bar MakeMinuteBar(Pricer& pricer, const Volume& volume, int64_t minute) {
  Bar bar;
  bar.time = minute * 60;
  bar.open = pricer.At(bar.time);
  bar.close = pricer.At(bar.time + 59);
  pricer.Extremes(bar.time, bar.time + 59, &bar.high, &bar.low);
  bar.volume = volume.MinuteLots(minute) * volume.LotSize();
  return bar;
}

// The bar of the local day starting at midnight: its minutes folded together.
Bar MakeDailyBar(Pricer& pricer, const Volume& volume, int64_t midnight) {
  const int64_t first = FloorDiv(midnight, 60);
  const int64_t last = FloorDiv(DayEnd(midnight) - 1, 60);
  Bar day;
  day.time = midnight;
  day.open = pricer.At(first * 60);
  day.close = pricer.At(last * 60 + 59);
  pricer.Extremes(first * 60, last * 60 + 59, &day.high, &day.low);
  int64_t lots = 0;
  for (int64_t m = first; m <= last; ++m) lots += volume.MinuteLots(m);
  day.volume = lots * volume.LotSize();
  return day;
}

}  // namespace

namespace detail {

int64_t OptionPremium(int64_t spot, int64_t strike, bool call, int64_t secondsToExpiry,
                      int32_t tickSize) {
  const int64_t tick = SafeTick(tickSize);
  const double s = static_cast<double>(spot), k = static_cast<double>(strike);
  const double intrinsic = std::max(0.0, call ? s - k : k - s);
  double timeValue = 0.0;
  if (secondsToExpiry > 0 && strike > 0) {
    // A normal model's time value. Its width scales with the strike rather than
    // the spot, which keeps the premium strictly monotone in the spot.
    const double width =
        k * kIndexVolatility * std::sqrt(static_cast<double>(secondsToExpiry) / kYear);
    const double x = std::abs(s - k) / width;
    constexpr double kInvSqrt2Pi = 0.3989422804014327;
    timeValue = width * (kInvSqrt2Pi * std::exp(-0.5 * x * x) -
                         x * 0.5 * std::erfc(x * 0.7071067811865476));
  }
  return ToTicks(intrinsic + timeValue, tick);
}

}  // namespace detail

PriceModel::PriceModel(uint64_t seed) : m_seed(seed) {}

int64_t PriceModel::PriceAt(const Scrip& scrip, int64_t second) const {
  return Pricer(m_seed, scrip).At(Clamp(second));
}

int64_t PriceModel::VolumeAt(const Scrip& scrip, int64_t second) const {
  const Volume volume(m_seed, scrip);
  const int64_t t = Clamp(second);
  const int64_t minute = FloorDiv(t, 60), s = t - minute * 60;
  return (volume.LotsThrough(minute, s) - volume.LotsThrough(minute, s - 1)) * volume.LotSize();
}

Bar PriceModel::MinuteBar(const Scrip& scrip, int64_t minuteStart) const {
  Pricer pricer(m_seed, scrip);
  return MakeMinuteBar(pricer, Volume(m_seed, scrip), FloorDiv(Clamp(minuteStart), 60));
}

std::vector<Bar> PriceModel::MinuteBars(const Scrip& scrip, int64_t from, int64_t to) const {
  const int64_t first = FloorDiv(Clamp(from), 60), end = FloorDiv(Clamp(to), 60);
  std::vector<Bar> bars;
  if (end <= first) return bars;
  // An over-long range keeps its most recent minutes, the ones a chart shows.
  const int64_t start = std::max(first, end - kMinuteCap);
  Pricer pricer(m_seed, scrip);
  const Volume volume(m_seed, scrip);
  bars.reserve(static_cast<size_t>(end - start));
  for (int64_t m = start; m < end; ++m) bars.push_back(MakeMinuteBar(pricer, volume, m));
  return bars;
}

Bar PriceModel::DailyBar(const Scrip& scrip, int64_t day) const {
  Pricer pricer(m_seed, scrip);
  return MakeDailyBar(pricer, Volume(m_seed, scrip), DayStart(Clamp(day)));
}

std::vector<Bar> PriceModel::DailyBars(const Scrip& scrip, int64_t fromDay, int64_t toDay) const {
  std::vector<Bar> bars;
  const int64_t first = DayStart(Clamp(fromDay));
  int64_t midnight = DayStart(Clamp(toDay));
  if (midnight < first) return bars;
  Pricer pricer(m_seed, scrip);
  const Volume volume(m_seed, scrip);
  // Newest first, so an over-long range keeps its recent end.
  for (int64_t n = 0; n < kDayCap && midnight >= first; ++n) {
    std::tm tm{};
    const bool known = LocalDay(midnight, &tm);
    if (!known || (tm.tm_wday >= 1 && tm.tm_wday <= 5))
      bars.push_back(MakeDailyBar(pricer, volume, midnight));
    const int64_t previous = DayStart(midnight - 1);
    if (previous >= midnight) break;
    midnight = previous;
  }
  std::reverse(bars.begin(), bars.end());
  return bars;
}

Quote PriceModel::QuoteAt(const Scrip& scrip, int64_t now) const {
  const int64_t t = Clamp(now);
  const int64_t midnight = DayStart(t);
  const int64_t firstSecond = FloorDiv(midnight, 60) * 60;
  Pricer pricer(m_seed, scrip);
  Quote q;
  q.lastPrice = pricer.At(t);
  q.dayOpen = pricer.At(firstSecond);
  pricer.Extremes(firstSecond, t, &q.dayHigh, &q.dayLow);
  q.dayVolume = CumulativeVolume(scrip, t);
  q.openInterest = OpenInterestAt(scrip, t);
  q.openInterestAtOpen = OpenInterestAt(scrip, midnight);
  return q;
}

int64_t PriceModel::OpenInterestAt(const Scrip& scrip, int64_t second) const {
  if (scrip.baseOpenInterest <= 0) return 0;
  const int64_t t = Clamp(second);
  const int64_t lot = std::clamp<int64_t>(scrip.lotSize, 1, 1'000'000);
  const uint64_t key = Mix(SeriesKey(m_seed, scrip) ^ 0x1f83d9abfb41bd6bULL);
  // Two slow linear noises: the day's drift and hourly wander.
  auto noise = [&](int64_t span, uint64_t salt) {
    const int64_t k = FloorDiv(t, span);
    const double a = Signed(Mix(key + salt + static_cast<uint64_t>(k) * 0x9e3779b97f4a7c15ULL));
    const double b = Signed(Mix(key + salt + static_cast<uint64_t>(k + 1) * 0x9e3779b97f4a7c15ULL));
    return a + (b - a) * (static_cast<double>(t - k * span) / static_cast<double>(span));
  };
  const double factor = 1.0 + 0.12 * noise(kDay, 1) + 0.03 * noise(3600, 2);
  const double lots =
      std::clamp(static_cast<double>(scrip.baseOpenInterest / lot) * factor, 1.0, 1e12);
  return std::llround(lots) * lot;
}

int64_t PriceModel::CumulativeVolume(const Scrip& scrip, int64_t now) const {
  const int64_t t = Clamp(now);
  const Volume volume(m_seed, scrip);
  const int64_t first = FloorDiv(DayStart(t), 60), current = FloorDiv(t, 60);
  int64_t lots = 0;
  for (int64_t m = first; m < current; ++m) lots += volume.MinuteLots(m);
  lots += volume.LotsThrough(current, t - current * 60);
  return lots * volume.LotSize();
}

}  // namespace kovo::backend
