#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "plugin/control_block.h"

namespace kovo {

// Field ids the call records use beyond the shared catalogue.
inline constexpr int32_t MNM_CALL_TIME = 50100;  // seconds since 1970
inline constexpr int32_t MNM_RESEARCH_ID = 64819;
inline constexpr int32_t MNM_CALL_SOURCE = 59486;  // replaces 20001, names the tab
inline constexpr int32_t MNM_HOT = 59488;          // "H " marks a hot item
inline constexpr int32_t MNM_STORY = 59481;        // preferred body field
inline constexpr int32_t MNM_TRANSACTION = 12003;  // "B", "S" or text
inline constexpr int32_t MNM_INITIATION_PRICE = 10307;
inline constexpr int32_t MNM_STOP_LOSS_PRICE = 49247;
inline constexpr int32_t MNM_TARGET_PRICE = 64767;
inline constexpr int32_t MNM_PRICE_AT_CALL = 63046;

// One call or news item.
struct sNewsDetails {
  std::string category{};
  std::string source{};
  std::string headline{};
  std::string text{};
  std::string scripPairs{};  // "%s|%s" of exchange and trading symbol, joined by ","
  std::string symbols{};
  std::string time{};
  std::string provider{};
  std::string researchId{};
  std::vector<std::string> reportKinds{};  // "Technical", "Research", "Option"
  std::string transactionType{};
  int32_t initiationPrice = 0;
  int32_t stopLossPrice = 0;
  int32_t targetPrice = 0;
  int32_t priceAtCall = 0;
  std::string reportType{};
  // The host's scrip record carries no ISIN, so each scrip is named by its
  // "segment|token" key instead: unique, and what order entry takes.
  std::string isinList{};
  bool hot = false;
  bool read = false;
  int32_t precision = 2;
  double divisor = 100.0;
};

// The global list of calls. Records never move once filed, so the panes
// that show them hold references and see their read state change.
using CallList = std::deque<sNewsDetails>;

// A list the story window steps through, oldest first, when it is not the
// global list of calls itself.
struct sStorySource {
  std::function<size_t()> size;
  std::function<sNewsDetails*(size_t)> at;
};

// RGB as the list takes it.
struct sRgb {
  int r, g, b;
  bool operator==(const sRgb&) const = default;
};

// The fourteen columns of both call lists.
enum class NewsColumn {
  kTime,
  kSource,
  kHeadline,
  kIsinCode,
  kSymbol,
  kUser,
  kResearchId,
  kTransactionType,
  kInitiationPrice,
  kStopLossPrice,
  kTargetPrice,
  kPriceAtCall,
  kReportType,
  kIndicator,
};
inline constexpr int kNewsColumnCount = 14;
extern const char* const kNewsColumnNames[kNewsColumnCount];

// The body with the feed's control characters turned into line breaks.
std::string CleanCallBody(std::string_view body);
// A price in ticks as the list shows it; zero shows as nothing.
std::string CallPriceText(int32_t ticks, int32_t precision, double divisor);
// Cell text of the news window (broker calls: brokerCalls = true).
std::string NewsCellText(const sNewsDetails& item, NewsColumn column, bool brokerCalls);
// Row text colour of the news window.
sRgb NewsRowColour(const sNewsDetails& item);
// Indicator icon of the news window; the broker calls window gives one only
// for the three call kinds (0 otherwise).
int NewsIcon(const sNewsDetails& item);
int BrokerCallsIcon(const sNewsDetails& item);
// The tabbed-log line of a live call; empty for kinds that have none.
std::string CallAlertText(const sNewsDetails& item, std::string_view tradingSymbol);

// What the record builder reaches outside itself.
struct sNewsFeedPorts {
  std::function<bool(const std::string& seg, const std::string& symbol, sScripDetails&)> scrip;
  std::function<bool(const std::string& seg, const std::string& symbol, sScripDetails&)>
      scripFromTradSymbol;
  std::function<bool(const std::string& key, sScripDetails&)> scripOnUniqueKey;
  // Sends a request (field 0 = name, then fields); reports its own failures.
  std::function<bool(std::string_view name, const std::vector<sRequestField>& fields)> send;
  std::function<void(const std::string&)> tabbedLog;
  std::function<bool(std::string_view category)> beepOn;
  std::function<void()> beep;
  // A live record for the broker calls window; it stays in the global list.
  std::function<void(sNewsDetails&)> liveCall;
  std::function<std::string()> peerText;  // the control block's first peer text, as it is now
  std::string hostUserId;                 // the identifier the host gave at initialisation
};

// The global list of calls and the builder that files into it.
class CNewsFeed {
 public:
  explicit CNewsFeed(sNewsFeedPorts ports) : m_ports(std::move(ports)) {}

  // Builds and files one record (and its copy for the other cash exchange);
  // bulk marks history, which is neither announced nor shown live. Returns
  // the number of records filed.
  // reportType, when given, names the tab in place of the kind's.
  int Build(const wmp_msg* message, bool bulk, std::string_view reportType = {});

  const CallList& Calls() const { return m_calls; }
  CallList& Calls() { return m_calls; }
  sNewsFeedPorts& Ports() { return m_ports; }

 private:
  void CrossFile(const sNewsDetails& record, const std::string& exchange,
                 const std::string& tradingSymbol, std::vector<sNewsDetails>& out);
  void File(sNewsDetails record, const std::string& tradingSymbol, bool bulk);

  sNewsFeedPorts m_ports;
  CallList m_calls;
};

}  // namespace kovo
