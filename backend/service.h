#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <connectkovo/connectkovo.hpp>

#include "backend/market.h"

namespace kovo::backend {

// What the update check answers.
struct UpdateOffer {
  bool available = false;
  std::string message = "KovoZint is up to date";
  std::string downloadUrl;  // required when available
  std::string patchNumber = "1";
  std::string installerArguments = "/silent";
};

struct ServiceConfig {
  uint64_t seed = 1;
  UpdateOffer update;
  // Login ids the back end refuses, and users whose peer data request fails.
  std::vector<std::string> refusedLogins;
  std::vector<std::string> peerDataFailures;
  // Exchange segments a user may have orders placed on automatically.
  std::string autoPlacementExchanges = "<nse_cm><bse_cm><nse_fo><mcx_fo>";
  size_t maxBurst = 10'000'000;
};

// The instruments and prices every client sees.
struct Market {
  Market(uint64_t seed, int64_t today) : scrips(seed, today), prices(seed) {}
  ScripMaster scrips;
  PriceModel prices;
};

class CClientSession;

// Who is logged in on which connection, so that a second login of the same
// id tells the first one it has been replaced.
class LoginDirectory {
 public:
  // Records session as the holder of login, in place of any login it held
  // before; returns the earlier holder of login.
  CClientSession* Claim(const std::string& login, CClientSession* session);
  void Release(CClientSession* session);
  size_t Size() const { return m_holders.size(); }

 private:
  std::unordered_map<std::string, CClientSession*> m_holders;
  std::unordered_map<const CClientSession*, std::string> m_loginOf;
};

// One client's conversation: requests in, replies and broadcasts out as
// encoded frames through the sink. Knows nothing of sockets, so it is
// driven directly in tests. Not thread-safe; the server calls it from its
// one loop thread.
class CClientSession {
 public:
  using Sink = std::function<void(std::string_view frame)>;

  CClientSession(const Market& market, const ServiceConfig& config, std::string peerAddress,
                 Sink sink);
  ~CClientSession();

  // Handles one frame. Returns false when the frame is not a message at all,
  // after which the connection should be closed.
  bool OnFrame(std::string_view frame, int64_t now);
  // Publishes ticks, finished one-minute bars and open interest of the
  // watched scrips, and moves orders on.
  void OnClock(int64_t now);
  // Tick bursts asked for with "kovo_tick_burst": produce up to max of them.
  size_t BurstRemaining() const { return m_burstRemaining; }
  size_t ProduceBurst(size_t max, int64_t now);

  size_t WatchCount() const { return m_watches.size(); }
  // Watch shapes compared with broadcasts so far: what broadcasts cost.
  size_t WatchesExamined() const { return m_examined; }
  void SetLoginDirectory(LoginDirectory* logins) { m_logins = logins; }
  // This session's user logged in elsewhere: a notice for whoever watches
  // the user's id.
  void LoggedInElsewhere(const std::string& login, const std::string& where);
  // The client's latest log lines, each cut to kMaxLogLineBytes.
  const std::deque<std::string>& LoggedLines() const { return m_logLines; }
  static constexpr size_t kMaxLogLines = 256;
  static constexpr size_t kMaxLogLineBytes = 1024;

 private:
  struct Pair {
    int32_t field;
    std::string value;
    bool any;
  };
  // Watches alike but for their ids are compared once: a broadcast costs
  // the number of different shapes watching its scrip, not of watches.
  struct Shape {
    std::vector<Pair> pairs;
    size_t watches = 0;
    // The first second its calls were looked for, and whether its opening
    // call is behind it.
    int64_t firstSeen = -1;
    bool opened = false;
  };
  using Shapes = std::unordered_map<std::string, Shape>;
  struct Watch {
    std::string scripKey;  // "seg|token" when the watch fixes both, else empty
    std::string shape;     // key of its Shape
  };
  // The shapes watching one scrip key, and the scrip when it is known.
  struct ScripWatches {
    const Scrip* scrip = nullptr;
    Shapes shapes;
  };
  using Fields = std::vector<std::pair<int32_t, std::string>>;

  void Dispatch(const connectkovo::Message& request, std::string_view name, int64_t now);
  // Starts a reply message: request name and id.
  void StartReply(std::string_view name);
  void Finish(bool final);
  void ReplyError(std::string_view name, std::string_view text);
  void ReplyDone(std::string_view name, std::string_view userMsg = {}, bool withUserMsg = false);

  void ScripMasterReply(std::string_view name);
  void LaunchReply(const connectkovo::Message& request, std::string_view name);
  void PeerDataReply(const connectkovo::Message& request, std::string_view name);
  void ProductTreeReply(std::string_view name);
  void UpdateReply(std::string_view name);
  void TodayBarsReply(const connectkovo::Message& request, std::string_view name, int64_t now);
  void DailyBarsReply(const connectkovo::Message& request, std::string_view name, int64_t now);
  void QuoteReply(const connectkovo::Message& request, std::string_view name, int64_t now);
  void AddWatch(const connectkovo::Message& request, std::string_view name);
  void MoversReply(const connectkovo::Message& request, std::string_view name, int64_t now);
  void OrderRequestReply(const connectkovo::Message& request, std::string_view name, int64_t now);
  void BurstReply(const connectkovo::Message& request, std::string_view name);
  // Calls and notices (research_feed.cpp): the day's history, and the items
  // due this second for the watches naming a category.
  bool ResearchReply(const connectkovo::Message& request, std::string_view name, int64_t now);
  void PublishResearch(int64_t now);

  const Scrip* FindScrip(std::string_view seg, std::string_view tokenOrSymbol) const;
  void AddBarRow(std::string_view name, std::string_view userMsg, const Scrip& scrip,
                 const Bar& bar);
  void SendOrderUpdates(const std::vector<OrderUpdate>& updates);
  // Sends a broadcast when one of the watches matches it.
  void Publish(const Fields& fields);
  bool Matches(const std::vector<Pair>& pairs, const Fields& fields) const;
  bool AnyMatches(const Shapes& shapes, const Fields& fields);
  void RemoveWatch(std::unordered_map<std::string, Watch>::iterator it);

  const Market& m_market;
  const ServiceConfig& m_config;
  std::string m_peerAddress;
  Sink m_sink;
  connectkovo::Writer m_writer;
  std::string m_requestId;  // of the request being answered
  // Watches by id, and indexed by the scrip key that broadcasts carry, so
  // adding, removing and publishing do not walk every watch. Ordered keys
  // keep the order of a step's broadcasts stable.
  std::unordered_map<std::string, Watch> m_watches;
  std::map<std::string, ScripWatches, std::less<>> m_byScrip;
  Shapes m_unkeyed;
  size_t m_examined = 0;
  std::deque<std::string> m_logLines;
  std::unique_ptr<MatchingEngine> m_engine;
  int64_t m_lastMinute = 0;  // minute of the last clock step
  int64_t m_lastSecond = 0;
  LoginDirectory* m_logins = nullptr;
  size_t m_burstRemaining = 0;
  const Scrip* m_burstScrip = nullptr;
  int64_t m_burstSequence = 0;
};

}  // namespace kovo::backend
