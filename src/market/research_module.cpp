#include "market/research_module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "base/format.h"
#include "platform/dialogs.h"
#include "platform/settings.h"
#include "plugin/beep_alerts.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"
#include "plugin/notification.h"

namespace kovo {
namespace {

constexpr const char* kStrategyLoadError = "Error while loading Kovo Plugins\\Option Stratgey.dll";
constexpr int32_t kLegPrice = 10306;

std::string Text(const wmp_msg* message, int32_t field, int32_t index = 0) {
  std::string value;
  int status = 0;
  ReadText(message, field, index, value, status);
  return value;
}

template <size_t N>
void Put(char (&out)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Calls use with a copy of message in which each of fields replaces the
// field of its id; the copy is not made when the message cannot be read.
void WithFields(const wmp_msg* message, const std::vector<sRequestField>& fields,
                const std::function<void(const wmp_msg*)>& use) {
  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  wmp_msg* copy = nullptr;
  const auto replaced = [&](int32_t id) {
    return std::any_of(fields.begin(), fields.end(),
                       [id](const sRequestField& f) { return f.id == id; });
  };
  bool ok = wmp_ctor_primecb(&builder, nullptr) && wmp_open_scratch(&scratch, 1 << 20, nullptr) &&
            wmp_start_msg(builder, scratch, nullptr);
  for (int32_t i = 0; ok && i < wmp_field_count(message); ++i) {
    int32_t id = 0;
    if (!wmp_field_id_at(message, i, &id, nullptr) || replaced(id)) continue;
    const int32_t count = wmp_get_field(message, id, nullptr, nullptr);
    for (int32_t k = 0; ok && k < count; ++k) {
      wmp_value v{nullptr, 0};
      ok = wmp_get_data(message, id, k, &v, nullptr) && wmp_add_data(builder, id, 1, &v, nullptr);
    }
  }
  for (const sRequestField& f : fields) {
    const wmp_value v{f.value.data(), static_cast<int64_t>(f.value.size())};
    ok = ok && wmp_add_data(builder, f.id, 1, &v, nullptr);
  }
  const void* frame = nullptr;
  size_t length = 0;
  ok = ok && wmp_built_frame(builder, &frame, &length, nullptr) && wmp_msg_create(&copy, nullptr) &&
       wmp_decode(copy, frame, length, nullptr);
  if (ok) use(copy);
  wmp_msg_free(copy, nullptr);
  if (scratch) wmp_close_scratch(scratch, nullptr);
  if (builder) wmp_dtor_primecb(builder, nullptr);
}

}  // namespace

std::filesystem::path OptionStrategyPath(const std::filesystem::path& hostFolder) {
  return hostFolder / "kovo plugins" / "optionstrategy.so";
}

OptionStrategyCall LibraryOptionStrategy(std::filesystem::path library) {
  return [library = std::move(library)](const sOptionCall& call) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    if (auto* fn = reinterpret_cast<KovoOnOptionCallFn>(dlsym(handle, "OnOptionCall"))) fn(&call);
    dlclose(handle);
    return true;
  };
}

// ---- option calls

sOptionCall COptionCallRx::ReadCall(const wmp_msg* message, int32_t& legCount) {
  sOptionCall call{};
  legCount = FieldCount(message, MNM_EXCH_SEG);
  call.legs = std::min<int32_t>(legCount, KOVO_OPTION_MAX_LEGS);
  Put(call.provider, Text(message, MNM_USER, 1));
  Put(call.strategy, Text(message, MNM_SCRIPT_NAME));
  Put(call.validity, Text(message, MNM_VALIDITY));
  Put(call.comments, Text(message, MNM_MESSAGE_TEXT));
  // A live call is told by its broadcast category; it is filed as an option call.
  const std::string category = Text(message, MNM_CATEGORY);
  Put(call.category, category == "option_calls" ? std::string("Option Calls") : category);
  for (int32_t i = 0; i < call.legs; ++i) {
    Put(call.exchange[i], Text(message, MNM_EXCH_SEG, i));
    Put(call.symbol[i], Text(message, MNM_TRADING_SYMBOL, i));
    Put(call.side[i], Text(message, MNM_TRANSACTION, i));
    Put(call.price[i], Text(message, kLegPrice, i));
  }
  return call;
}

std::string COptionCallRx::CallKey(const wmp_msg* message) {
  std::string key;
  const auto add = [&](int32_t field, int32_t index) {
    key += Text(message, field, index);
    key += '\x1f';
  };
  add(MNM_CALL_TIME, 0);
  add(MNM_USER, 1);
  add(MNM_SCRIPT_NAME, 0);
  add(MNM_VALIDITY, 0);
  add(MNM_MESSAGE_TEXT, 0);
  for (int32_t i = 0; i < FieldCount(message, MNM_EXCH_SEG); ++i) {
    for (const int32_t field : {MNM_EXCH_SEG, MNM_TRADING_SYMBOL, MNM_TRANSACTION, kLegPrice})
      add(field, i);
  }
  return key;
}

void COptionCallRx::OnOptionCall(const wmp_msg* message, bool bulk) {
  if (!message || FieldCount(message, MNM_ERROR_TEXT) > 0) return;
  int32_t legCount = 0;
  const sOptionCall call = ReadCall(message, legCount);
  if (call.legs < 1) return;
  // A call already filed, or waiting to be filed live, is not filed again.
  if (!m_seen.insert(CallKey(message)).second) return;
  const std::string requestName = Text(message, MNM_REPLY_REQUEST);
  if (!bulk && m_historyPending) {
    m_held.push_back({call, legCount, requestName});
    return;
  }
  FileAndHand(call, legCount, requestName, bulk);
  if (bulk) ++m_retrieved;
}

COptionCallRx::~COptionCallRx() {
  StopWait();
}

void COptionCallRx::StopWait() {
  if (m_waitTimer) m_cb.Ui().StopTimer(m_waitTimer);
  m_waitTimer = 0;
}

void COptionCallRx::HistoryRequested() {
  m_historyPending = true;
  StopWait();
  m_waitTimer = m_cb.Ui().StartTimer(kHistoryWait, [this] {
    StopWait();
    if (!m_historyPending) return;
    m_historyPending = false;
    m_cb.Report(
        Format("Option calls history not completed in %ld seconds; showing the %ld "
               "option calls that came meanwhile",
               static_cast<long>(kHistoryWait.count() / 1000), static_cast<long>(m_held.size())),
        kReportError);
    ReleaseHeld();
  });
}

void COptionCallRx::HistoryDone() {
  StopWait();
  m_historyPending = false;
  // Said before the calls that waited, which came live after the history.
  m_cb.Report(Format("%ld Option calls Retrieved", m_retrieved), kReportMessage);
  m_retrieved = 0;
  ReleaseHeld();
}

void COptionCallRx::ReleaseHeld() {
  std::vector<sHeldCall> held;
  held.swap(m_held);
  for (const sHeldCall& h : held) FileAndHand(h.call, h.legCount, h.requestName, false);
}

void COptionCallRx::FileAndHand(const sOptionCall& call, int32_t legCount,
                                const std::string& requestName, bool bulk) {
  FileCall(call, legCount, requestName, bulk);
  if (!m_strategy || !m_strategy(call)) m_cb.MessageBox(kStrategyLoadError);
}

bool COptionCallRx::FileCall(const sOptionCall& call, int32_t legCount,
                             const std::string& requestName, bool bulk) {
  const std::string phrase = "Sending OptionCall to Trader is failed,";
  if (!m_cb.HasMessaging()) return false;
  wmp_builder* builder = m_cb.Builder();
  int32_t error = 0;
  m_cb.Scratch()->fill_length = 0;
  if (!wmp_start_msg(builder, m_cb.Scratch(), &error)) {
    m_cb.Report(phrase + "while starting message", kReportError);
    return false;
  }
  const auto add = [&](int32_t id, const std::string& value) {
    const wmp_value data{value.data(), static_cast<int64_t>(value.size())};
    if (wmp_add_data(builder, id, 1, &data, &error)) return true;
    m_cb.Report(phrase + Format("while adding %ld", static_cast<long>(id)), kReportError);
    return false;
  };
  const std::string category = call.category;
  std::string body = Format(
      "%s OptionCall Update--\r\n  Strategy : %s\r\n  Validity : %s\r\n  Comments : %s\r\n  Legs "
      ": %d\r\n",
      call.category, call.strategy, call.validity, call.comments, static_cast<int>(legCount));
  std::string oneLine = Format("%s update : %s", call.category, call.strategy);
  if (!add(MNM_CATEGORY, "Option Calls") || !add(MNM_USER, call.provider) ||
      !add(MNM_PEER_TEXT, m_cb.peerText))
    return false;
  const CHostFunctions& host = m_cb.Host();
  for (int32_t i = 0; i < call.legs; ++i) {
    std::string exchange = call.exchange[i];
    char segment[64] = {};
    if (host.convertExchange && host.convertExchange(exchange.c_str(), segment, sizeof segment) &&
        segment[0])
      exchange = segment;
    // A leg goes by its trading symbol, the host's spelling when it knows
    // the scrip: that is what the Symbol column shows for the call.
    std::string symbol = call.symbol[i];
    sScripDetails scrip{};
    if (host.getScripDetailsFromTradSymbol &&
        host.getScripDetailsFromTradSymbol(exchange.c_str(), symbol.c_str(), &scrip) &&
        scrip.texts[KOVO_SCRIP_TRAD_SYMBOL][0])
      symbol = std::string(scrip.texts[KOVO_SCRIP_TRAD_SYMBOL],
                           strnlen(scrip.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN));
    if (!add(MNM_EXCH_SEG, exchange) || !add(MNM_TRADING_SYMBOL, symbol)) return false;
    body += Format("\r\n\r\n\r\n  %s   %s   @ %s\r\n", call.side[i], call.symbol[i], call.price[i]);
    oneLine += Format("\r\n %s %s @ %s\r\n", call.side[i], call.symbol[i], call.price[i]);
  }
  if (!add(MNM_VALIDITY, call.validity) ||
      !add(MNM_HEADLINE, Format("%s update : %s", call.category, call.strategy)) ||
      !add(MNM_FIELD_49033, body) || !add(MNM_REPLY_REQUEST, requestName))
    return false;
  const void* frame = nullptr;
  size_t length = 0;
  wmp_msg* built = nullptr;
  if (!wmp_built_frame(builder, &frame, &length, &error) || !wmp_msg_create(&built, &error) ||
      !wmp_decode(built, frame, length, &error)) {
    wmp_msg_free(built, nullptr);
    m_cb.Report(phrase + "while starting message", kReportError);
    return false;
  }
  m_feed.Build(built, bulk,
               category == "Indian Volatility" ? "Indian Volatility Calls" : std::string_view());
  wmp_msg_free(built, nullptr);
  m_cb.Report(oneLine, kReportMessage);
  return true;
}

void COptionCallRx::OnNotice(const wmp_msg* message) {
  const std::string text = Text(message, MNM_MESSAGE_TEXT);
  if (text.empty()) return;
  m_cb.Notifications().ShowNotification(text, 0);
  m_cb.Report(text, kReportMessage);
}

// ---- the module

CResearchModule::CResearchModule(CControlBlock& cb, std::string hostUserId,
                                 OptionStrategyCall strategy)
    : m_cb(cb),
      m_hostUserId(std::move(hostUserId)),
      m_feed([&] {
        sNewsFeedPorts p;
        const CHostFunctions& host = cb.Host();
        p.scrip = [&host](const std::string& seg, const std::string& symbol, sScripDetails& d) {
          return host.getScripDetails && host.getScripDetails(seg.c_str(), symbol.c_str(), &d);
        };
        p.scripFromTradSymbol = [&host](const std::string& seg, const std::string& symbol,
                                        sScripDetails& d) {
          return host.getScripDetailsFromTradSymbol &&
                 host.getScripDetailsFromTradSymbol(seg.c_str(), symbol.c_str(), &d);
        };
        p.scripOnUniqueKey = [&host](const std::string& key, sScripDetails& d) {
          return host.getScripOnUniqueKey && host.getScripOnUniqueKey(key.c_str(), &d);
        };
        p.send = [&cb](std::string_view name, const std::vector<sRequestField>& fields) {
          return cb.SendRequest(cb.RequestControl(), nullptr, name, fields, "");
        };
        p.tabbedLog = [&host](const std::string& text) {
          if (host.addToTabbedLog) host.addToTabbedLog(text.c_str());
        };
        p.beepOn = [&cb](std::string_view category) {
          return cb.beepAlerts && cb.beepAlerts->IsBeepOn(category);
        };
        p.beep = [&cb] { cb.Dlgs().MessageBeep(kMbIconWarning); };
        p.liveCall = [this](sNewsDetails& d) {
          m_brokerCalls.AddCall(d);
          if (m_news) m_news->AddNewest();
          if (onLiveCall) onLiveCall(d);
        };
        p.peerText = [&cb] { return cb.peerText; };
        p.hostUserId = m_hostUserId;
        return p;
      }()),
      m_brokerCalls(cb),
      m_optionRx(cb, m_feed, std::move(strategy)) {
  // One story window serves the news window and the pane.
  m_brokerCalls.onStory = [this](sStorySource source, size_t index) {
    CNews& news = NewsObject();
    news.EnsureStoryView();
    return news.Story().Open(std::move(source), index);
  };
  for (const char* name : {"roth_ma", "roth_option_calls"}) {
    cb.OnReplyNamed(name,
                    [this](void*, const wmp_msg* message, int32_t) { OnHistoryReply(message); });
  }
  // A failed filing for the other exchange says so; a good one needs nothing.
  cb.OnReplyNamed("add_research_reports", [&cb](void*, const wmp_msg* message, int32_t) {
    cb.ReportFailedReply("add_research_reports", message);
  });
  m_listener = cb.AddBroadcastListener([this](const wmp_msg* message) { OnBroadcast(message); });
  // The history starts with the peer data, whoever asked for it.
  m_peerObserver = cb.ObserveReply(
      "xr_get_user_peer_data", [this](void*, const wmp_msg* message, int32_t status) {
        if (status == 0 && Text(message, MNM_ERROR_TEXT).empty() && m_cb.IsLoggedIn())
          StartHistory();
      });
}

CResearchModule::~CResearchModule() {
  for (const char* name : {"roth_ma", "roth_option_calls", "add_research_reports"})
    m_cb.OnReplyNamed(name, nullptr);
  m_cb.RemoveBroadcastListener(m_listener);
  m_cb.RemoveReplyObserver(m_peerObserver);
  KovoRxControl* control = m_cb.BroadcastControl();
  if (control && control->ops && control->ops->removeWatch) {
    int32_t error = 0;
    for (const int64_t handle : m_watches) control->ops->removeWatch(control, handle, &error);
  }
}

CNews& CResearchModule::NewsObject() {
  if (!m_news) {
    m_shell = std::make_unique<ProcessShell>(m_cb.Processes());
    std::error_code ec;
    m_news = std::make_unique<CNews>(m_cb, m_feed, *m_shell, std::filesystem::current_path(ec));
    // A story read from either list is read in the pane too.
    m_news->onStoryShown = [this] {
      if (View* view = m_brokerCalls.GetView()) view->Refresh();
    };
  }
  return *m_news;
}

bool CResearchModule::ShowNews(const std::string& tradingSymbol, const std::string& token) {
  NewsObject().ShowScrip(tradingSymbol, token);
  return NewsObject().Show();
}

void CResearchModule::ShowBrokerCalls() {
  // History is filed in bulk and not shown live: an empty pane would
  // otherwise hide the day's calls until the next live one.
  m_brokerCalls.FillIfEmpty(m_feed.Calls());
  m_brokerCalls.ShowPane(true);
}

void CResearchModule::StartHistory() {
  if (m_index >= 0) return;
  m_queue = {
      {"Research Reports ",
       true,
       {{MNM_REQUEST, "roth_ma"}, {MNM_PEER_USER, m_hostUserId}},
       {{MNM_CATEGORY, "research reports"}, {MNM_PEER_USER, m_hostUserId}}},
      {"Technical Calls ",
       false,
       {},
       {{MNM_CATEGORY, "trading calls"}, {MNM_PEER_USER, m_hostUserId}}},
  };
  m_index = 0;
  m_retrieved = 0;
  SendEntry(m_queue[0]);
}

void CResearchModule::SendEntry(const sHistoryRequest& entry) {
  if (!entry.sendRequest || entry.requestFields.empty()) return;
  const std::vector<sRequestField> rest(entry.requestFields.begin() + 1, entry.requestFields.end());
  if (m_cb.SendRequest(m_cb.RequestControl(), nullptr, entry.requestFields.front().value, rest,
                       entry.title + " request is failed "))
    m_cb.Report(entry.title + " request sent", kReportMessage);
}

void CResearchModule::Subscribe(const sHistoryRequest& entry) {
  KovoRxControl* control = m_cb.BroadcastControl();
  std::vector<KovoFieldMatch> pairs;
  for (const sRequestField& f : entry.interestFields)
    pairs.push_back({f.id, f.value.c_str(), static_cast<int64_t>(f.value.size())});
  int32_t error = 0;
  const int64_t handle = control && control->ops && control->ops->addWatch
                             ? control->ops->addWatch(control, pairs.data(),
                                                      static_cast<int32_t>(pairs.size()), &error)
                             : 0;
  if (handle > 0) {
    m_watches.push_back(handle);
    m_cb.Report("subscribed for " + entry.title, kReportMessage);
  } else {
    m_cb.Report(entry.title + " subscription is failed", kReportError);
  }
}

void CResearchModule::OnHistoryReply(const wmp_msg* message) {
  if (!message) return;
  const std::string name = Text(message, MNM_REPLY_REQUEST);
  if (name == "roth_option_calls") {
    if (FieldCount(message, MNM_ERROR_TEXT) == 0) return m_optionRx.OnOptionCall(message, true);
    // The closing message: the calls that came live meanwhile follow.
    if (!Text(message, MNM_ERROR_TEXT).empty()) m_cb.ReportFailedReply(name, message);
    return m_optionRx.HistoryDone();
  }
  if (FieldCount(message, MNM_ERROR_TEXT) == 0) {
    const std::string feed = Text(message, MNM_FEED_NAME);
    if (feed == "NSE-IPFT") {
      // The exchange's own items come without category and provider.
      WithFields(message, {{MNM_CATEGORY, feed}, {MNM_USER, "NSE"}, {MNM_PEER_TEXT, m_cb.peerText}},
                 [&](const wmp_msg* completed) {
                   m_retrieved += m_feed.Build(completed, true) > 0 ? 1 : 0;
                 });
      return;
    }
    m_retrieved += m_feed.Build(message, true) > 0 ? 1 : 0;
    return;
  }
  // The closing message: a failure says why; either way the queue moves on.
  const std::string error = Text(message, MNM_ERROR_TEXT);
  if (!error.empty()) m_cb.ReportFailedReply(name, message);
  m_cb.Report(
      Format(name == "roth_ma" ? "%ld Research/Technical calls Retrieved" : "%ld News retrieved",
             m_retrieved),
      kReportMessage);
  Advance();
}

void CResearchModule::Advance() {
  if (m_index < 0) return;
  m_retrieved = 0;
  for (size_t next = static_cast<size_t>(m_index) + 1; next < m_queue.size(); ++next) {
    if (m_queue[next].sendRequest) {
      m_index = static_cast<int>(next);
      SendEntry(m_queue[next]);
      return;
    }
  }
  for (const sHistoryRequest& entry : m_queue) Subscribe(entry);
  // Option calls and notices come on broadcasts of their own.
  Subscribe({"Option Calls ",
             false,
             {},
             {{MNM_CATEGORY, "option_calls"}, {MNM_PEER_USER, m_hostUserId}}});
  Subscribe(
      {"Notices ", false, {}, {{MNM_CATEGORY, "zint_msg.all"}, {MNM_PEER_USER, m_hostUserId}}});
  if (m_cb.SendRequest(m_cb.RequestControl(), nullptr, "roth_option_calls",
                       {{MNM_PEER_USER, m_hostUserId}}, "Option Calls  request is failed "))
    m_optionRx.HistoryRequested();
  m_queue.clear();
  m_index = -1;
}

void CResearchModule::OnBroadcast(const wmp_msg* message) {
  if (!message) return;
  const std::string category = Text(message, MNM_CATEGORY);
  if (category.empty()) return;
  if (category == "option_calls") return m_optionRx.OnOptionCall(message, false);
  if (Contains(category, "zint_msg.")) return m_optionRx.OnNotice(message);
  if (Contains(category, "trading calls") || Contains(category, "research"))
    m_feed.Build(message, false);
}

}  // namespace kovo
