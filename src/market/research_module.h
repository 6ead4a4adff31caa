#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <kovozint/option_call.h>

#include "market/broker_calls.h"
#include "market/news_details.h"
#include "market/news_window.h"
#include "platform/ui_thread.h"
#include "plugin/control_block.h"
#include "plugin/session_module.h"

namespace kovo {

// One feed of the history queue.
struct sHistoryRequest {
  std::string title;
  bool sendRequest = false;
  std::vector<sRequestField> requestFields;
  std::vector<sRequestField> interestFields;
};

// Calls the option strategy library; false when it cannot be loaded.
using OptionStrategyCall = std::function<bool(const sOptionCall& call)>;
// The library in the host program's "kovo plugins" folder, loaded per call.
OptionStrategyCall LibraryOptionStrategy(std::filesystem::path library);
std::filesystem::path OptionStrategyPath(const std::filesystem::path& hostFolder);

// Option-call broadcasts and the option-call history: each call becomes a
// news message filed through the record builder, and goes to the library.
class COptionCallRx {
 public:
  // How long live calls wait for the history's closing message; a back
  // end that never sends it must not hide them for the session.
  static constexpr std::chrono::milliseconds kHistoryWait{30000};

  COptionCallRx(CControlBlock& cb, CNewsFeed& feed, OptionStrategyCall strategy)
      : m_cb(cb), m_feed(feed), m_strategy(std::move(strategy)) {}
  ~COptionCallRx();
  COptionCallRx(const COptionCallRx&) = delete;
  COptionCallRx& operator=(const COptionCallRx&) = delete;
  // Reads the call; nothing happens for one without legs.
  static sOptionCall ReadCall(const wmp_msg* message, int32_t& legCount);
  // What tells one call from another: its time and everything but the
  // category, which a live call and its history copy name differently.
  static std::string CallKey(const wmp_msg* message);
  // Each call is filed and handed over once, whether it comes live, in the
  // history or both.
  void OnOptionCall(const wmp_msg* message, bool bulk);
  void OnNotice(const wmp_msg* message);
  // Between the history request and its closing message live calls wait,
  // so the history (older calls) is filed first and a call it also carries
  // is filed once, as the live call it was.
  // The wait is bounded by kHistoryWait; a reply after it files only the
  // calls not seen yet.
  void HistoryRequested();
  void HistoryDone();
  bool HistoryPending() const { return m_historyPending; }

 private:
  struct sHeldCall {
    sOptionCall call;
    int32_t legCount;
    std::string requestName;
  };
  void StopWait();
  void ReleaseHeld();
  void FileAndHand(const sOptionCall& call, int32_t legCount, const std::string& requestName,
                   bool bulk);
  bool FileCall(const sOptionCall& call, int32_t legCount, const std::string& requestName,
                bool bulk);

  CControlBlock& m_cb;
  CNewsFeed& m_feed;
  OptionStrategyCall m_strategy;
  bool m_historyPending = false;
  long m_retrieved = 0;
  std::vector<sHeldCall> m_held;
  std::set<std::string> m_seen;
  UiThread::TimerId m_waitTimer = 0;
};

// The research and calls feed of a session: the global list of calls, the
// history queue, live calls and option calls.
class CResearchModule : public CSessionModule {
 public:
  CResearchModule(CControlBlock& cb, std::string hostUserId, OptionStrategyCall strategy);
  ~CResearchModule() override;

  CNewsFeed& Feed() { return m_feed; }
  COptionCallRx& OptionCalls() { return m_optionRx; }
  CBrokerCalls& BrokerCalls() { return m_brokerCalls; }
  // The menu item: an empty pane takes the calls filed so far; then shown.
  void ShowBrokerCalls();
  // Shift+N: the news window over the global list of calls, showing the
  // calls of the scrip given (all calls without one).
  bool ShowNews(const std::string& tradingSymbol = {}, const std::string& token = {});
  // The news window's logic (and its story window), made once, not shown.
  CNews& NewsObject();
  CNews* News() const { return m_news.get(); }
  const std::vector<sHistoryRequest>& Queue() const { return m_queue; }
  int QueueIndex() const { return m_index; }
  // Live calls for the broker calls window, newest last.
  std::function<void(const sNewsDetails&)> onLiveCall;

  // Builds the queue and sends its first entry; a history under way is
  // not started again.
  void StartHistory();
  void OnHistoryReply(const wmp_msg* message);
  void OnBroadcast(const wmp_msg* message);

 private:
  void SendEntry(const sHistoryRequest& entry);
  void Subscribe(const sHistoryRequest& entry);
  void Advance();

  CControlBlock& m_cb;
  std::string m_hostUserId;
  // The feed's records outlive the pane that points at them.
  CNewsFeed m_feed;
  CBrokerCalls m_brokerCalls;
  COptionCallRx m_optionRx;
  std::vector<sHistoryRequest> m_queue;
  int m_index = -1;
  long m_retrieved = 0;
  std::vector<int64_t> m_watches;
  int m_listener = 0;
  int m_peerObserver = 0;
  std::unique_ptr<ProcessShell> m_shell;
  std::unique_ptr<CNews> m_news;
};

}  // namespace kovo
