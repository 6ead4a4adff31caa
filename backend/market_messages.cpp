#include "backend/market_messages.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "backend/protocol.h"
#include "base/format.h"

namespace kovo::backend {
namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

std::string PriceText(const Scrip& s, int64_t units) {
  return Format("%.*f", s.precision, static_cast<double>(units) / s.priceMultiplier);
}

std::string LocalTime(int64_t second) {
  const std::time_t t = static_cast<std::time_t>(second);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &tm);
  return buf;
}

// One in this many seconds carries a message.
constexpr uint64_t kSecondsPerMessage = 3;

}  // namespace

const std::vector<std::string>& MarketMessageTypes() {
  static const std::vector<std::string> types = {"Upper Circuit", "Lower Circuit",
                                                 "52 Week High",  "52 Week Low",
                                                 "Volume Spike",  "Exchange Notice"};
  return types;
}

std::vector<MessageFields> MarketMessagesAt(const ScripMaster& scrips, const PriceModel& prices,
                                            uint64_t seed, int64_t second) {
  const uint64_t h = Mix(Mix(seed ^ 0x6d6b746d7367ULL) ^ static_cast<uint64_t>(second));
  if (h % kSecondsPerMessage != 0) return {};
  // Indices do not trade, so they hit no circuit.
  std::vector<const Scrip*> tradable;
  for (const Scrip& s : scrips.All())
    if (s.instrument != "INDEX") tradable.push_back(&s);
  if (tradable.empty()) return {};
  const Scrip& s = *tradable[(h >> 8) % tradable.size()];
  const Quote q = prices.QuoteAt(s, second);
  const int64_t price = q.lastPrice;
  const int64_t minuteAgo = prices.PriceAt(s, second - 60);
  int64_t volume = 0;
  if ((h >> 40) % 4 == 2)
    for (int64_t t = second - 59; t <= second; ++t)
      volume = std::max(volume, prices.VolumeAt(s, t));

  // The model's move over the last minute chooses between the rising and
  // the falling kind of a message.
  const bool rising = price >= minuteAgo;
  std::string type, text;
  switch ((h >> 40) % 4) {
    case 0:
      type = rising ? "Upper Circuit" : "Lower Circuit";
      text = s.tradingSymbol +
             (rising ? " hit its upper circuit at " : " hit its lower circuit at ") +
             PriceText(s, price);
      break;
    case 1:
      type = rising ? "52 Week High" : "52 Week Low";
      text = s.tradingSymbol +
             (rising ? " made a new 52 week high of " : " made a new 52 week low of ") +
             PriceText(s, rising ? q.dayHigh : q.dayLow);
      break;
    case 2:
      // The busiest second of the last minute; a scrip that did not trade
      // in it has no spike to report, so it gets a notice instead.
      if (volume > 0) {
        type = "Volume Spike";
        text = s.tradingSymbol + " traded " + std::to_string(volume) + " in one second, " +
               std::to_string(q.dayVolume) + " today";
        break;
      }
      [[fallthrough]];
    default:
      type = "Exchange Notice";
      text = "Price band of " + s.tradingSymbol + " revised around " + PriceText(s, price);
      break;
  }
  return {{{kMessageTypeField, type},
           {wire::kExchSeg, s.exchSeg},
           {wire::kToken, s.token},
           {kMessageSymbolField, s.tradingSymbol},
           {kMessageTimeField, LocalTime(second)},
           {kMessageTextField, text}}};
}

}  // namespace kovo::backend
