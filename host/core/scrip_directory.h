#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

namespace kovo::host {

// The host's scrip master. It is replaced as a whole by Load; readers on any
// thread see either the old or the new content, never a mix, and never wait
// for a Load to finish building.
//
// Segments may be given as codes or exchange names ("nse_cm", "NSE"); tokens
// match exactly, trading symbols without regard to case. When a segment holds
// the same token or trading symbol twice, the first record wins.
class ScripDirectory {
 public:
  ScripDirectory();
  ~ScripDirectory();
  ScripDirectory(const ScripDirectory&) = delete;
  ScripDirectory& operator=(const ScripDirectory&) = delete;

  void Load(std::vector<sScripDetails> scrips);
  size_t Size() const;

  std::optional<sScripDetails> Find(std::string_view exchSeg, std::string_view token) const;
  std::optional<sScripDetails> FindByTradingSymbol(std::string_view exchSeg,
                                                   std::string_view tradingSymbol) const;
  // "seg|token", split at the first "|".
  std::optional<sScripDetails> FindByUniqueKey(std::string_view key) const;

  // By trading symbol, else by token. False (outputs untouched) when unknown.
  bool PrecisionAndMultiplier(std::string_view exchSeg, std::string_view tradingSymbolOrToken,
                              int32_t* precision, double* multiplier) const;

  // For an option: the distinct strikes (price units, ascending) of every
  // option on the same underlying and expiry in its segment. Empty for a
  // scrip that is not an option.
  std::vector<double> Strikes(std::string_view exchSeg, std::string_view optionToken) const;
  // For an option: the call and put tokens of its series at strike (price
  // units). True when either exists; the missing one comes back empty.
  bool OptionTokens(std::string_view exchSeg, std::string_view optionToken, double strike,
                    std::string* callToken, std::string* putToken) const;

  // Scrips for a user's search text, in master order, at most `limit`: every
  // blank-separated word of the text must appear in the trading symbol or the
  // symbol, without regard to case ("nifty 24000 ce" finds that call). An
  // exact trading symbol comes first.
  std::vector<sScripDetails> Search(std::string_view text, size_t limit) const;

  // A text of a record, up to its NUL or the end of its slot.
  static std::string_view Text(const sScripDetails& scrip, int position);
  // "seg|token" of a record.
  static std::string UniqueKey(const sScripDetails& scrip);
  // The segment code lookups are keyed by.
  static std::string NormalSegment(std::string_view exchSeg);

 private:
  struct Snapshot;
  std::shared_ptr<const Snapshot> Current() const;
  const sScripDetails* FindIn(const Snapshot& snapshot, std::string_view exchSeg,
                              std::string_view token) const;

  mutable std::shared_mutex m_mutex;  // guards the pointer only
  std::shared_ptr<const Snapshot> m_snapshot;
};

}  // namespace kovo::host
