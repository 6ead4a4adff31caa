// The host's session against the simulated back end over loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <connectkovo/connectkovo.hpp>

#include "backend/protocol.h"
#include "backend/server.h"
#include "base/number.h"
#include "fakes/pump_until.h"
#include "fakes/recording_notifier.h"
#include "host/core/host_core.h"
#include "host/core/host_ui.h"
#include "host/core/session.h"
#include "platform/headless_ui_thread.h"

namespace kovo::test {
namespace {

using namespace std::chrono_literals;
using host::CHostSession;

class HostBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    backend::ServerOptions options;
    options.stepMilliseconds = 20;
    options.maxFramePayload = 64 * 1024;
    server = std::make_unique<backend::CBackendServer>(options);
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    session = std::make_unique<CHostSession>(
        ui, host::SessionHooks{[this](const std::string& line) { log.push_back(line); },
                               [this](std::vector<sScripDetails> s) { scrips = std::move(s); },
                               [this] { ++readyCount; }});
    ASSERT_TRUE(session->Connect("127.0.0.1", server->Port(), &error)) << error;
    ASSERT_TRUE(PumpUntil([&] { return readyCount == 1; }));
  }
  void TearDown() override {
    session.reset();
    server.reset();
  }

  // Runs UI-thread work until pred holds; false after 10 s without it.
  bool PumpUntil(const std::function<bool()>& pred) { return test::PumpUntil(ui, pred, 50ms); }

  // Sends a request built by fill through control with context.
  bool Send(KovoRxControl* control, void* context,
            const std::vector<std::pair<int32_t, std::string>>& fields) {
    connectkovo::Writer w;
    w.Start();
    for (const auto& [id, value] : fields) w.Add(id, value);
    int32_t error = 0;
    return control->ops->send(control, context, w.Builder(), 0, &error) == 1;
  }

  // Replies of one request, up to and including the closing message.
  static bool Closed(const RecordingNotifier& n) {
    return !n.replies.empty() && n.replies.back().Has(wire::kErrorText);
  }

  HeadlessUiThread ui;
  std::unique_ptr<backend::CBackendServer> server;
  std::unique_ptr<CHostSession> session;
  std::vector<std::string> log;
  std::vector<sScripDetails> scrips;
  int readyCount = 0;
};

TEST_F(HostBackend, LoginAndPeerDataRoundTrip) {
  ASSERT_GT(scrips.size(), 100u) << "the scrip master arrives before the ready notice";
  RecordingNotifier n;
  const KovoRxNotifier notifier = n.Notifier();
  KovoRxControl* control = session->CreateControl(KOVO_RX_REQUESTS, notifier);
  int context = 0;
  ASSERT_TRUE(
      Send(control, &context,
           {{0, "xr_zint_launch"}, {31003, "DEMO01"}, {20013, "trader7"}, {31803, "3.5.2.0"}}));
  ASSERT_TRUE(PumpUntil([&] { return n.replies.size() == 2; }));
  const SeenMessage& launch = n.replies[0];
  EXPECT_EQ(launch.context, &context);
  EXPECT_EQ(launch.status, 0);
  EXPECT_EQ(launch.Text(wire::kReplyRequest), "xr_zint_launch");
  EXPECT_EQ(launch.Text(63437), "trader7");
  EXPECT_FALSE(launch.Text(63259).empty()) << "a session id";
  EXPECT_FALSE(launch.Has(wire::kErrorText));
  EXPECT_EQ(n.replies[1].Text(wire::kReplyRequest), "mrv_zint_products_show_tree_all")
      << "the product tree follows a login";
  EXPECT_EQ(n.replies[1].context, &context);

  ASSERT_TRUE(Send(control, nullptr, {{0, "xr_get_user_peer_data"}, {31003, "trader7"}}));
  ASSERT_TRUE(PumpUntil([&] { return n.replies.size() == 3; }));
  const SeenMessage& peer = n.replies[2];
  EXPECT_EQ(peer.Text(64056), "PEER-trader7");
  const auto& products = peer.fields.at(63001);
  ASSERT_EQ(peer.Count(64013), products.size()) << "one exchange list per product record";
  size_t api = 0;
  while (api < products.size() && products[api] != "zint_api") ++api;
  ASSERT_LT(api, products.size());
  EXPECT_EQ(peer.Text(64013, api), "<nse_cm><bse_cm><nse_fo><mcx_fo>");

  // A failed login comes back as an error text.
  ASSERT_TRUE(Send(control, nullptr, {{0, "xr_zint_launch"}, {31003, "DEMO01"}, {20013, " "}}));
  ASSERT_TRUE(PumpUntil([&] { return n.replies.size() == 4; }));
  EXPECT_EQ(n.replies[3].Text(wire::kErrorText), "login id is missing");
  session->DestroyControl(control);
}

TEST_F(HostBackend, BarRepliesComeAsRowsNewestFirstThenAClosingMessage) {
  RecordingNotifier n;
  const KovoRxNotifier notifier = n.Notifier();
  KovoRxControl* control = session->CreateControl(KOVO_RX_REQUESTS, notifier);
  const int64_t now = std::time(nullptr);
  ASSERT_TRUE(Send(control, nullptr,
                   {{0, "xr_get_series_vwap_data"},
                    {63001, "nse_cm"},
                    {63100, "2885"},
                    {10803, "60"},
                    {59352, std::to_string(now - 3600)},
                    {59353, std::to_string(now)},
                    {32760, "nse_cm|2885"}}));
  ASSERT_TRUE(PumpUntil([&] { return Closed(n); }));
  ASSERT_GE(n.replies.size(), 60u);
  EXPECT_EQ(n.replies.back().Text(wire::kErrorText), "") << "an empty status closes a good reply";
  EXPECT_EQ(n.replies.back().Text(wire::kUserMsg), "nse_cm|2885");
  int64_t previous = INT64_MAX;
  for (size_t i = 0; i + 1 < n.replies.size(); ++i) {
    const SeenMessage& row = n.replies[i];
    ASSERT_FALSE(row.Has(wire::kErrorText));
    EXPECT_EQ(row.Text(wire::kUserMsg), "nse_cm|2885");
    EXPECT_EQ(row.Text(wire::kRowStatus), "OK");
    const int64_t t = LeadingInt64(row.Text(wire::kBarTime));
    EXPECT_LT(t, previous) << "newest first";
    EXPECT_EQ(t % 60, 0);
    EXPECT_GE(t, now - 3600 - 60);
    EXPECT_LE(t, now);
    previous = t;
    const int64_t high = LeadingInt64(row.Text(wire::kBarHigh));
    const int64_t low = LeadingInt64(row.Text(wire::kBarLow));
    EXPECT_GE(high, LeadingInt64(row.Text(wire::kBarOpen)));
    EXPECT_LE(low, LeadingInt64(row.Text(wire::kBarClose)));
    EXPECT_GT(low, 0);
  }

  // Daily bars: oldest first, weekdays only.
  n.replies.clear();
  ASSERT_TRUE(Send(control, nullptr,
                   {{0, "xr_get_series_db_vwap_data"},
                    {63001, "nse_cm"},
                    {63100, "RELIANCE"},
                    {10100, "2885"},
                    {10615, "01/05/2026"},
                    {10615, "01/30/2026"},
                    {32760, "nse_cm|2885"}}));
  ASSERT_TRUE(PumpUntil([&] { return Closed(n); }));
  ASSERT_EQ(n.replies.size(), 20u + 1) << "the 20 weekdays of those four weeks, then the close";
  for (size_t i = 1; i + 1 < n.replies.size(); ++i) {
    EXPECT_LT(LeadingInt64(n.replies[i - 1].Text(wire::kBarTime)),
              LeadingInt64(n.replies[i].Text(wire::kBarTime)));
  }

  // An unknown scrip is one closing message with the reason.
  n.replies.clear();
  ASSERT_TRUE(Send(control, nullptr,
                   {{0, "mrv_master"}, {63001, "nse_cm"}, {10100, "999999"}, {32760, "k"}}));
  ASSERT_TRUE(PumpUntil([&] { return Closed(n); }));
  ASSERT_EQ(n.replies.size(), 1u);
  EXPECT_EQ(n.replies[0].Text(wire::kErrorText), "scrip not found nse_cm|999999");
}

TEST_F(HostBackend, TicksFlowWhileWatchedAndStopAfterTheWatchGoes) {
  RecordingNotifier watched, heartbeat;
  const KovoRxNotifier n1 = watched.Notifier(), n2 = heartbeat.Notifier();
  KovoRxControl* ticks = session->CreateControl(KOVO_RX_BROADCASTS, n1);
  KovoRxControl* other = session->CreateControl(KOVO_RX_BROADCASTS, n2);
  const KovoFieldMatch reliance[] = {{63001, "nse_cm", -1}, {10100, "2885", -1}, {6, nullptr, 0}};
  const KovoFieldMatch tcs[] = {{63001, "nse_cm", -1}, {10100, "11536", -1}, {6, nullptr, 0}};
  int32_t error = 0;
  const int64_t handle = ticks->ops->addWatch(ticks, reliance, 3, &error);
  ASSERT_GT(handle, 0);
  ASSERT_GT(other->ops->addWatch(other, tcs, 3, &error), 0);
  ASSERT_TRUE(PumpUntil([&] { return watched.broadcasts.size() >= 3; }));
  for (const SeenMessage& tick : watched.broadcasts) {
    EXPECT_EQ(tick.Text(10100), "2885") << "only the watched scrip";
    EXPECT_GT(LeadingInt64(tick.Text(6)), 0);
    EXPECT_TRUE(tick.Has(178));
  }

  ASSERT_EQ(ticks->ops->removeWatch(ticks, handle, &error), 1);
  EXPECT_EQ(ticks->ops->removeWatch(ticks, handle, &error), 0) << "a handle is removed once";
  // Everything published before the removal arrives before this reply.
  RecordingNotifier sync;
  const KovoRxNotifier n3 = sync.Notifier();
  KovoRxControl* requests = session->CreateControl(KOVO_RX_REQUESTS, n3);
  ASSERT_TRUE(Send(requests, nullptr, {{0, "mrv_master"}, {63001, "nse_cm"}, {10100, "2885"}}));
  ASSERT_TRUE(PumpUntil([&] { return Closed(sync); }));
  const size_t after = watched.broadcasts.size();
  const size_t beats = heartbeat.broadcasts.size();
  // Several more market steps, seen through the other watch.
  ASSERT_TRUE(PumpUntil([&] { return heartbeat.broadcasts.size() >= beats + 5; }));
  EXPECT_EQ(watched.broadcasts.size(), after);
  session->DestroyControl(ticks);
  session->DestroyControl(other);
  session->DestroyControl(requests);
  EXPECT_EQ(session->ControlCount(), 0u);
}

TEST_F(HostBackend, OrderUpdatesEchoTheTagAndReachOnlyTheirScriptsFilter) {
  host::InstallSession(session.get());
  RecordingNotifier a, b;
  const KovoRxNotifier na = a.Notifier(), nb = b.Notifier();
  KovoRxControl* stratA = GetQuellRxControl(KOVO_RX_REQUESTS, &na);
  KovoRxControl* stratB = GetQuellRxControl(KOVO_RX_REQUESTS, &nb);
  ASSERT_NE(stratA, nullptr);
  int32_t error = 0;
  const KovoFieldMatch filterA[] = {
      {64016, "StratA", -1}, {64001, nullptr, 0}, {64005, nullptr, 0}};
  const KovoFieldMatch filterB[] = {
      {64016, "StratB", -1}, {64001, nullptr, 0}, {64005, nullptr, 0}};
  ASSERT_EQ(stratA->ops->addFilter(stratA, filterA, 3, &error), 1);
  ASSERT_EQ(stratB->ops->addFilter(stratB, filterB, 3, &error), 1);

  // A buy limited far above the market fills at once.
  ASSERT_TRUE(Send(stratA, nullptr, {{0, "mrv_master"}, {63001, "nse_cm"}, {10100, "2885"}}));
  ASSERT_TRUE(PumpUntil([&] { return Closed(a); }));
  const int64_t last = LeadingInt64(a.replies.front().Text(6));
  ASSERT_GT(last, 0);
  sOrderEntryInfo order{};
  std::snprintf(order.scripKey, sizeof order.scripKey, "%s", "nse_cm|2885");
  std::snprintf(order.strategy, sizeof order.strategy, "%s", "StratA");
  std::snprintf(order.productType, sizeof order.productType, "%s", "MIS");
  order.quantity = 2;
  order.price = static_cast<int32_t>((last * 2 / 5) * 5);
  order.orderType = 1;
  order.validity = 1;
  char errorText[128] = "unchanged";
  ASSERT_EQ(pu_zint_place_order2(&order, "4711", KOVO_TXN_BUY, nullptr, nullptr, nullptr, errorText,
                                 sizeof errorText),
            1)
      << errorText;
  EXPECT_STREQ(errorText, "");
  ASSERT_TRUE(PumpUntil(
      [&] { return !a.broadcasts.empty() && a.broadcasts.back().Text(64655) == "complete"; }));
  for (const SeenMessage& u : a.broadcasts) {
    EXPECT_EQ(u.Text(64005), "4711");
    EXPECT_EQ(u.Text(64016), "StratA");
    EXPECT_EQ(u.Text(63001), "nse_cm");
    EXPECT_EQ(u.Text(10100), "2885");
    EXPECT_FALSE(u.Text(64001).empty());
    EXPECT_TRUE(u.Has(54001) && u.Has(10076) && u.Has(10322));
  }
  EXPECT_EQ(a.broadcasts.back().Text(10076), "2");

  // A bad order is rejected through an update too, and B still saw nothing of A's.
  order.quantity = 0;
  std::snprintf(order.strategy, sizeof order.strategy, "%s", "StratB");
  ASSERT_EQ(pu_zint_place_order2(&order, "99", KOVO_TXN_SELL, nullptr, nullptr, nullptr, errorText,
                                 sizeof errorText),
            1);
  ASSERT_TRUE(PumpUntil([&] { return !b.broadcasts.empty(); }));
  EXPECT_EQ(b.broadcasts.back().Text(64655), "rejected");
  EXPECT_EQ(b.broadcasts.back().Text(64005), "99");
  for (const SeenMessage& u : b.broadcasts) EXPECT_EQ(u.Text(64016), "StratB");

  // Without a session the host says so instead of crashing.
  DestoryQuellRxCOntrol(stratA);
  DestoryQuellRxCOntrol(stratB);
  host::InstallSession(nullptr);
  EXPECT_EQ(pu_zint_place_order2(&order, "1", KOVO_TXN_BUY, nullptr, nullptr, nullptr, errorText,
                                 sizeof errorText),
            0);
  EXPECT_STREQ(errorText, "the host has no back-end session");
  EXPECT_EQ(GetQuellRxControl(KOVO_RX_REQUESTS, &na), nullptr);
}

// A raw client speaking bytes to the server.
class RawClient {
 public:
  explicit RawClient(uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    timeval tv{10, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~RawClient() { Close(); }
  bool Connected() const { return m_connected; }
  void Write(std::string_view bytes) {
    ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // True when the server closed the connection (end of stream).
  bool ClosedByPeer() {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (n == 0) return true;
      if (n < 0) return false;  // timed out: still open
    }
  }
  // Reads one whole frame.
  std::string ReadFrame() {
    std::string_view frame;
    int32_t error = 0;
    char buffer[4096];
    while (!m_framer.Next(&frame, &error)) {
      const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (n <= 0) return {};
      m_framer.Push(buffer, static_cast<size_t>(n));
    }
    return std::string(frame);
  }
  void Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
  bool m_connected = false;
  connectkovo::Framer m_framer;
};

TEST_F(HostBackend, BadInputClosesOnlyItsOwnConnection) {
  RecordingNotifier n;
  const KovoRxNotifier notifier = n.Notifier();
  KovoRxControl* control = session->CreateControl(KOVO_RX_REQUESTS, notifier);
  auto stillServes = [&] {
    const size_t before = n.replies.size();
    return Send(control, nullptr, {{0, "get_io_device_remote_info"}}) &&
           PumpUntil([&] { return n.replies.size() == before + 1; }) &&
           n.replies.back().Text(30105) == "127.0.0.1";
  };

  {
    RawClient garbage(server->Port());
    ASSERT_TRUE(garbage.Connected());
    garbage.Write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(garbage.ClosedByPeer());
  }
  EXPECT_TRUE(stillServes());
  {
    // A header announcing a frame over the server's limit.
    RawClient big(server->Port());
    std::string header(12, '\0');
    const uint32_t magic = WMP_FRAME_MAGIC, length = 10u << 20;
    std::memcpy(header.data(), &magic, 4);
    header[4] = 1;
    std::memcpy(header.data() + 8, &length, 4);
    big.Write(header);
    EXPECT_TRUE(big.ClosedByPeer());
  }
  {
    // A well-framed payload whose entry runs past its end.
    RawClient bad(server->Port());
    std::string frame(12, '\0');
    const uint32_t magic = WMP_FRAME_MAGIC, length = 8, field = 0, valueLength = 100;
    std::memcpy(frame.data(), &magic, 4);
    frame[4] = 1;
    std::memcpy(frame.data() + 8, &length, 4);
    frame.append(reinterpret_cast<const char*>(&field), 4);
    frame.append(reinterpret_cast<const char*>(&valueLength), 4);
    bad.Write(frame);
    EXPECT_TRUE(bad.ClosedByPeer());
  }
  {
    // Unknown requests get an error reply and the connection stays open.
    RawClient polite(server->Port());
    connectkovo::Writer w;
    w.Start().Add(0, "make_me_rich");
    w.Add(wire::kRequestId, "5");
    polite.Write(w.Frame());
    connectkovo::Message reply;
    ASSERT_EQ(reply.Decode(polite.ReadFrame()), WMP_OK);
    EXPECT_EQ(reply.Text(wire::kReplyRequest), "make_me_rich");
    EXPECT_EQ(reply.Text(wire::kErrorText), "unknown request make_me_rich");
    EXPECT_EQ(reply.Text(wire::kRequestId), "5");
    // Then half a frame and an abrupt close.
    w.Start().Add(0, "mrv_master");
    polite.Write(w.Frame().substr(0, 10));
  }
  EXPECT_EQ(server->ClosedForBadInput(), 3u);
  EXPECT_TRUE(stillServes());
  session->DestroyControl(control);
}

TEST_F(HostBackend, ALostConnectionFailsRequestsInFlightAndCanBeReestablished) {
  RecordingNotifier requests, ticks;
  const KovoRxNotifier nr = requests.Notifier(), nt = ticks.Notifier();
  KovoRxControl* rq = session->CreateControl(KOVO_RX_REQUESTS, nr);
  KovoRxControl* br = session->CreateControl(KOVO_RX_BROADCASTS, nt);
  const KovoFieldMatch infy[] = {{63001, "nse_cm", -1}, {10100, "1594", -1}, {6, nullptr, 0}};
  int32_t error = 0;
  ASSERT_GT(br->ops->addWatch(br, infy, 3, &error), 0);
  ASSERT_TRUE(PumpUntil([&] { return !ticks.broadcasts.empty(); }));

  // A request the server will never answer: a year of one-minute bars takes
  // long enough that the stop lands first, or else it completes; either way
  // the request ends exactly once.
  int context = 0;
  ASSERT_TRUE(Send(rq, &context,
                   {{0, "xr_get_series_vwap_data"},
                    {63001, "nse_cm"},
                    {63100, "1594"},
                    {10803, "60"},
                    {59352, "0"},
                    {59353, std::to_string(std::time(nullptr))},
                    {32760, "k"}}));
  server->Stop();
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::string& line : log)
      if (line.rfind("Connection to the back end lost", 0) == 0) return true;
    return false;
  }));
  ASSERT_FALSE(requests.replies.empty());
  const SeenMessage& last = requests.replies.back();
  EXPECT_TRUE(last.Has(wire::kErrorText));
  if (last.status != 0) {
    EXPECT_EQ(last.context, &context);
    EXPECT_EQ(last.Text(wire::kReplyRequest), "xr_get_series_vwap_data");
    EXPECT_EQ(last.Text(wire::kErrorText), "connection to the back end lost");
  }
  EXPECT_FALSE(session->IsConnected());
  EXPECT_FALSE(Send(rq, nullptr, {{0, "get_io_device_remote_info"}}));

  // A new back end; the watch is registered again on connecting.
  std::string reason;
  ASSERT_TRUE(server->Start(&reason)) << reason;
  ASSERT_TRUE(session->Connect("127.0.0.1", server->Port(), &reason)) << reason;
  ASSERT_TRUE(PumpUntil([&] { return readyCount == 2; }));
  const size_t before = ticks.broadcasts.size();
  ASSERT_TRUE(PumpUntil([&] { return ticks.broadcasts.size() > before; }));
  session->DestroyControl(rq);
  session->DestroyControl(br);
}

TEST(HostTerminalCore, ScripMasterFromTheBackEndAnswersHostLookUpsAndSwitchesHideFunctions) {
  backend::CBackendServer server({});
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  HeadlessUiThread ui;
  host::RecordingHostUi hostUi;
  host::HostConfig config;
  config.appName = "kovo_trader_now";
  config.switchedOff = {"pu_get_option_tokens", "pu_zint_place_order2"};
  host::CHostCore core(config, ui, hostUi);
  host::InstallHost(&core);
  bool ready = false;
  CHostSession session(ui, {[&](const std::string& line) { core.Log(line); },
                            [&](std::vector<sScripDetails> s) { core.Scrips().Load(std::move(s)); },
                            [&] { ready = true; }});
  host::InstallSession(&session);
  ASSERT_TRUE(session.Connect("127.0.0.1", server.Port(), &error)) << error;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!ready && std::chrono::steady_clock::now() < deadline) {
    ui.WaitForTasks(50ms);
    ui.Pump(100);
  }
  ASSERT_TRUE(ready);

  sScripDetails d{};
  ASSERT_EQ(pu_get_scrip_details("nse_cm", "2885", &d), 1);
  EXPECT_STREQ(d.texts[KOVO_SCRIP_TRAD_SYMBOL], "RELIANCE-EQ");
  EXPECT_EQ(d.pricePrecision, 2);
  EXPECT_DOUBLE_EQ(d.priceMultiplier, 100.0);
  ASSERT_EQ(pu_get_scrip_details_from_TradSymbol("nse_cm", "TCS-EQ", &d), 1);
  EXPECT_STREQ(d.texts[KOVO_SCRIP_TOKEN], "11536");
  char name[32] = "", version[32] = "";
  pu_get_exe_version(name, sizeof name, version, sizeof version);
  EXPECT_STREQ(name, "kovo_trader_now");

  // Hidden functions are absent from the table; the rest resolve to themselves.
  EXPECT_EQ(kovo_host_lookup("pu_get_option_tokens"), nullptr);
  EXPECT_EQ(kovo_host_lookup("pu_zint_place_order2"), nullptr);
  EXPECT_EQ(kovo_host_lookup("GetQuellRxControl"), reinterpret_cast<void*>(&GetQuellRxControl));
  EXPECT_EQ(kovo_host_lookup("pu_get_scrip_details"),
            reinterpret_cast<void*>(&pu_get_scrip_details));

  bool connectedLogged = false;
  for (const std::string& line : core.LogLines())
    connectedLogged |= line.find("Scrip master loaded") != std::string::npos;
  EXPECT_TRUE(connectedLogged);
  host::InstallSession(nullptr);
  host::InstallHost(nullptr);
}

}  // namespace
}  // namespace kovo::test
