#include "host/core/scrip_directory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "base/number.h"
#include "base/text.h"
#include "host/core/exchanges.h"

namespace kovo::host {

struct ScripDirectory::Snapshot {
  std::vector<sScripDetails> scrips;
  std::unordered_map<std::string, size_t> byToken;   // "seg|token"
  std::unordered_map<std::string, size_t> bySymbol;  // "seg|SYMBOL"
  // "seg|underlying|expiry" to its options, ordered by strike.
  std::map<std::string, std::vector<size_t>> series;
};

namespace {

std::string Key(std::string_view segment, std::string_view second) {
  std::string key;
  key.reserve(segment.size() + 1 + second.size());
  key.append(segment).append(1, '|').append(second);
  return key;
}

bool IsOption(const sScripDetails& scrip) {
  return !ScripDirectory::Text(scrip, KOVO_SCRIP_OPTION_TYPE).empty() &&
         !ScripDirectory::Text(scrip, KOVO_SCRIP_UNDERLYING).empty();
}

std::string SeriesKey(std::string_view segment, const sScripDetails& option) {
  return Key(Key(segment, ScripDirectory::Text(option, KOVO_SCRIP_UNDERLYING)),
             ToUpper(ScripDirectory::Text(option, KOVO_SCRIP_EXPIRY)));
}

// Strikes are whole price units; rounding absorbs what a caller's
// rupees-times-multiplier arithmetic leaves behind.
int64_t StrikeUnits(double strike) {
  if (!std::isfinite(strike) || std::fabs(strike) > 9e15) return INT64_MIN;
  return std::llround(strike);
}

int64_t StrikeUnits(const sScripDetails& option) {
  return StrikeUnits(LeadingDouble(ScripDirectory::Text(option, KOVO_SCRIP_STRIKE)));
}

}  // namespace

ScripDirectory::ScripDirectory() : m_snapshot(std::make_shared<const Snapshot>()) {}
ScripDirectory::~ScripDirectory() = default;

std::string_view ScripDirectory::Text(const sScripDetails& scrip, int position) {
  if (position < 0 || position >= KOVO_SCRIP_TEXTS) return {};
  const char* text = scrip.texts[position];
  return std::string_view(text, strnlen(text, KOVO_SCRIP_TEXT_LEN));
}

std::string ScripDirectory::UniqueKey(const sScripDetails& scrip) {
  return Key(Text(scrip, KOVO_SCRIP_EXCH_SEG), Text(scrip, KOVO_SCRIP_TOKEN));
}

std::string ScripDirectory::NormalSegment(std::string_view exchSeg) {
  std::string segment = ConvertExchange(exchSeg);
  return segment.empty() ? ToLower(TrimView(exchSeg)) : segment;
}

void ScripDirectory::Load(std::vector<sScripDetails> scrips) {
  auto next = std::make_shared<Snapshot>();
  next->scrips = std::move(scrips);
  std::map<std::string, std::vector<std::pair<int64_t, size_t>>> series;
  for (size_t i = 0; i < next->scrips.size(); ++i) {
    sScripDetails& scrip = next->scrips[i];
    // Plug-ins read these texts as C strings.
    for (auto& text : scrip.texts) text[KOVO_SCRIP_TEXT_LEN - 1] = '\0';
    const std::string segment = NormalSegment(Text(scrip, KOVO_SCRIP_EXCH_SEG));
    const std::string_view token = TrimView(Text(scrip, KOVO_SCRIP_TOKEN));
    if (segment.empty() || token.empty()) continue;
    if (!next->byToken.emplace(Key(segment, token), i).second) continue;
    const std::string symbol = ToUpper(TrimView(Text(scrip, KOVO_SCRIP_TRAD_SYMBOL)));
    if (!symbol.empty()) next->bySymbol.emplace(Key(segment, symbol), i);
    if (IsOption(scrip)) series[SeriesKey(segment, scrip)].emplace_back(StrikeUnits(scrip), i);
  }
  for (auto& [key, members] : series) {
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    auto& indices = next->series[key];
    indices.reserve(members.size());
    for (const auto& member : members) indices.push_back(member.second);
  }
  std::shared_ptr<const Snapshot> old;
  {
    std::unique_lock lock(m_mutex);
    old = std::exchange(m_snapshot, std::move(next));
  }
  // The old content goes away here, outside the lock, unless a reader still holds it.
}

std::shared_ptr<const ScripDirectory::Snapshot> ScripDirectory::Current() const {
  std::shared_lock lock(m_mutex);
  return m_snapshot;
}

size_t ScripDirectory::Size() const {
  return Current()->byToken.size();
}

const sScripDetails* ScripDirectory::FindIn(const Snapshot& snapshot, std::string_view exchSeg,
                                            std::string_view token) const {
  const auto it = snapshot.byToken.find(Key(NormalSegment(exchSeg), TrimView(token)));
  return it == snapshot.byToken.end() ? nullptr : &snapshot.scrips[it->second];
}

std::optional<sScripDetails> ScripDirectory::Find(std::string_view exchSeg,
                                                  std::string_view token) const {
  const auto snapshot = Current();
  const sScripDetails* scrip = FindIn(*snapshot, exchSeg, token);
  return scrip ? std::optional(*scrip) : std::nullopt;
}

std::optional<sScripDetails> ScripDirectory::FindByTradingSymbol(
    std::string_view exchSeg, std::string_view tradingSymbol) const {
  const auto snapshot = Current();
  const auto it =
      snapshot->bySymbol.find(Key(NormalSegment(exchSeg), ToUpper(TrimView(tradingSymbol))));
  if (it == snapshot->bySymbol.end()) return std::nullopt;
  return snapshot->scrips[it->second];
}

std::optional<sScripDetails> ScripDirectory::FindByUniqueKey(std::string_view key) const {
  const size_t bar = key.find('|');
  if (bar == std::string_view::npos) return std::nullopt;
  return Find(key.substr(0, bar), key.substr(bar + 1));
}

bool ScripDirectory::PrecisionAndMultiplier(std::string_view exchSeg,
                                            std::string_view tradingSymbolOrToken,
                                            int32_t* precision, double* multiplier) const {
  std::optional<sScripDetails> scrip = FindByTradingSymbol(exchSeg, tradingSymbolOrToken);
  if (!scrip) scrip = Find(exchSeg, tradingSymbolOrToken);
  if (!scrip) return false;
  if (precision) *precision = scrip->pricePrecision;
  if (multiplier) *multiplier = scrip->priceMultiplier;
  return true;
}

std::vector<double> ScripDirectory::Strikes(std::string_view exchSeg,
                                            std::string_view optionToken) const {
  const auto snapshot = Current();
  const sScripDetails* option = FindIn(*snapshot, exchSeg, optionToken);
  std::vector<double> strikes;
  if (!option || !IsOption(*option)) return strikes;
  const auto it = snapshot->series.find(SeriesKey(NormalSegment(exchSeg), *option));
  if (it == snapshot->series.end()) return strikes;
  int64_t last = 0;
  for (size_t index : it->second) {
    const int64_t strike = StrikeUnits(snapshot->scrips[index]);
    if (strike == INT64_MIN || (!strikes.empty() && strike == last)) continue;
    strikes.push_back(static_cast<double>(strike));
    last = strike;
  }
  return strikes;
}

bool ScripDirectory::OptionTokens(std::string_view exchSeg, std::string_view optionToken,
                                  double strike, std::string* callToken,
                                  std::string* putToken) const {
  if (callToken) callToken->clear();
  if (putToken) putToken->clear();
  const auto snapshot = Current();
  const sScripDetails* option = FindIn(*snapshot, exchSeg, optionToken);
  const int64_t wanted = StrikeUnits(strike);
  if (!option || !IsOption(*option) || wanted == INT64_MIN) return false;
  const auto it = snapshot->series.find(SeriesKey(NormalSegment(exchSeg), *option));
  if (it == snapshot->series.end()) return false;
  std::string call;
  std::string put;
  for (size_t index : it->second) {
    const sScripDetails& member = snapshot->scrips[index];
    if (StrikeUnits(member) != wanted) continue;
    const std::string type = ToUpper(TrimView(Text(member, KOVO_SCRIP_OPTION_TYPE)));
    std::string* slot = type == "CE" ? &call : type == "PE" ? &put : nullptr;
    if (slot && slot->empty()) *slot = std::string(TrimView(Text(member, KOVO_SCRIP_TOKEN)));
  }
  if (call.empty() && put.empty()) return false;
  if (callToken) *callToken = std::move(call);
  if (putToken) *putToken = std::move(put);
  return true;
}

std::vector<sScripDetails> ScripDirectory::Search(std::string_view text, size_t limit) const {
  std::vector<std::string> words;
  for (std::string_view rest = text; !rest.empty();) {
    const size_t start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) break;
    rest = rest.substr(start);
    const size_t end = rest.find_first_of(" \t");
    words.push_back(ToUpper(rest.substr(0, end)));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  std::vector<sScripDetails> found;
  if (words.empty() || limit == 0) return found;
  const auto snapshot = Current();
  const std::string whole = ToUpper(TrimView(text));
  for (const sScripDetails& scrip : snapshot->scrips) {
    const std::string symbol = ToUpper(Text(scrip, KOVO_SCRIP_TRAD_SYMBOL));
    const std::string name = ToUpper(Text(scrip, KOVO_SCRIP_SYMBOL));
    const bool all = std::all_of(words.begin(), words.end(), [&](const std::string& word) {
      return symbol.find(word) != std::string::npos || name.find(word) != std::string::npos;
    });
    if (!all) continue;
    if (symbol == whole) {
      found.insert(found.begin(), scrip);
      if (found.size() > limit) found.pop_back();
    } else if (found.size() < limit) {
      found.push_back(scrip);
    }
  }
  return found;
}

}  // namespace kovo::host
