#include "backend/server.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "backend/protocol.h"
#include "fakes/recording_notifier.h"

namespace kovo::test {
namespace {

using backend::CBackendServer;
using backend::ServerOptions;
using namespace std::chrono_literals;

constexpr int64_t kNow = 1796441587;

std::string Request(const std::vector<std::pair<int32_t, std::string>>& fields) {
  connectkovo::Writer w;
  w.Start();
  for (const auto& [id, value] : fields) w.Add(id, value);
  return std::string(w.Frame());
}

std::string Ask(const std::string& id) {
  return Request({{0, "get_io_device_remote_info"}, {wire::kRequestId, id}});
}

// A peer of the server, driven by hand: the server runs only when the test
// calls Poll, so every step is deterministic.
struct Peer {
  int fd = -1;
  connectkovo::Framer framer;
  std::vector<SeenMessage> got;
  std::string unsent;
  size_t sent = 0;

  ~Peer() {
    if (fd >= 0) ::close(fd);
  }
  // Queues bytes unless earlier ones are still waiting, and writes what the
  // socket takes without blocking, so frames are never cut apart; the bytes
  // written.
  size_t Write(std::string_view bytes) {
    if (unsent.empty()) unsent = bytes;
    size_t written = 0;
    while (!unsent.empty()) {
      const ssize_t n = ::send(fd, unsent.data(), unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n <= 0) break;
      written += static_cast<size_t>(n);
      unsent.erase(0, static_cast<size_t>(n));
    }
    sent += written;
    return written;
  }
  // Takes in what has arrived, up to limit bytes; false once the server has
  // closed the connection.
  bool Read(size_t limit = SIZE_MAX) {
    char buffer[65536];
    for (size_t taken = 0; taken < limit;) {
      const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, limit - taken), MSG_DONTWAIT);
      if (n == 0) return false;
      if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
      taken += static_cast<size_t>(n);
      framer.Push(buffer, static_cast<size_t>(n));
      std::string_view frame;
      int32_t error = 0;
      while (framer.Next(&frame, &error)) {
        connectkovo::Message m;
        if (m.Decode(frame) == WMP_OK) got.push_back(CopyMessage(m.Get()));
      }
    }
    return true;
  }
  size_t Answered(const std::string& id) const {
    size_t n = 0;
    for (const SeenMessage& m : got) n += m.Text(wire::kRequestId) == id;
    return n;
  }
};

class BackendServer : public ::testing::Test {
 protected:
  BackendServer() : clock(std::chrono::system_clock::time_point(std::chrono::seconds(kNow))) {
    options.clock = &clock;
    options.timer = &clock;
    options.stepMilliseconds = 3'600'000;  // no market step unless a test wants one
  }
  void Open() {
    server = std::make_unique<CBackendServer>(options);
    std::string error;
    ASSERT_TRUE(server->Open(&error)) << error;
  }
  // A socket pair with one end served.
  std::unique_ptr<Peer> Connect() {
    int sv[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    auto peer = std::make_unique<Peer>();
    peer->fd = sv[0];
    EXPECT_TRUE(server->Adopt(sv[1], "10.0.0.9"));
    return peer;
  }
  int ConnectTcp() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(server->Port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
  }

  ManualClock clock;
  ServerOptions options;
  std::unique_ptr<CBackendServer> server;
};

TEST_F(BackendServer, AFloodingClientGetsOneTurnAPassAndLosesNothing) {
  options.turnRequests = 8;
  Open();
  auto flooder = Connect();
  auto good = Connect();
  std::string flood;
  for (int i = 0; i < 200; ++i) flood += Ask(std::to_string(i));
  ASSERT_EQ(flooder->Write(flood), flood.size());
  ASSERT_EQ(good->Write(Ask("good")), Ask("good").size());

  // One pass: the well-behaved client is answered; the flooder has had one
  // turn's worth of its 200 requests, not all of them.
  server->Poll(0);
  ASSERT_TRUE(good->Read());
  EXPECT_EQ(good->Answered("good"), 1u);
  ASSERT_TRUE(flooder->Read());
  EXPECT_GT(flooder->got.size(), 0u);
  EXPECT_LE(flooder->got.size(), options.turnRequests);

  // Later passes work the rest off in order, still answering the other
  // client in every pass, and drop none of the flooder's requests.
  for (int pass = 0; pass < 100 && flooder->got.size() < 200; ++pass) {
    const std::string id = "good" + std::to_string(pass);
    good->Write(Ask(id));
    server->Poll(0);
    ASSERT_TRUE(good->Read());
    ASSERT_EQ(good->Answered(id), 1u) << "pass " << pass;
    ASSERT_TRUE(flooder->Read());
  }
  ASSERT_EQ(flooder->got.size(), 200u);
  for (size_t i = 0; i < 200; ++i)
    EXPECT_EQ(flooder->got[i].Text(wire::kRequestId), std::to_string(i));
  EXPECT_EQ(server->Connections(), 2u);
}

TEST_F(BackendServer, AClientThatDoesNotReadIsHeldAtItsCapThenClosed) {
  options.outputCap = 64 * 1024;
  options.overCapMilliseconds = 5000;
  Open();
  auto flooder = Connect();
  auto slow = Connect();
  auto good = Connect();
  const std::string request =
      Request({{0, "mrv_master"}, {63001, "nse_cm"}, {10100, "2885"}, {32760, "f"}});
  std::string batch;
  for (int i = 0; i < 100; ++i) batch += request;

  // The slow client asks for two days of minute bars, far more than its
  // cap, and does not read for a while.
  slow->Write(Request({{0, "xr_get_series_vwap_data"},
                       {wire::kRequestId, "bars"},
                       {63001, "nse_cm"},
                       {10100, "2885"},
                       {10803, "60"},
                       {59352, std::to_string(kNow - 2 * 86400)},
                       {59353, std::to_string(kNow)},
                       {32760, "b"}}));
  server->Poll(0);
  const size_t slowPending = server->PendingOutput();
  ASSERT_GT(slowPending, 4 * options.outputCap);

  // The flooder never reads. Its output stops growing at the cap, its
  // requests then wait unread, so the socket pushes back on it, and the
  // good client is answered in every pass.
  size_t taken = 0;  // bytes of the flooder's the socket took in the last passes
  for (int pass = 0; pass < 400; ++pass) {
    const size_t written = flooder->Write(batch);
    if (pass >= 300) taken += written;
    const std::string id = "g" + std::to_string(pass);
    good->Write(Ask(id));
    server->Poll(0);
    ASSERT_TRUE(good->Read());
    ASSERT_EQ(good->Answered(id), 1u) << "pass " << pass;
    // Beyond the cap by no more than the last request's reply.
    ASSERT_LE(server->PendingOutput(), slowPending + options.outputCap + 4096) << "pass " << pass;
  }
  ASSERT_GT(server->PendingOutput(), slowPending + options.outputCap) << "the flooder is over";
  EXPECT_EQ(taken, 0u) << "the server kept reading a client over its cap";

  // Three seconds on, the slow client reads a little, still far over its
  // cap; that progress keeps it open when the flooder, which read nothing
  // all the while, is closed two seconds later.
  clock.Advance(3000ms);
  ASSERT_TRUE(slow->Read(65536));
  server->Poll(0);
  clock.Advance(1999ms);
  server->Poll(0);
  EXPECT_EQ(server->ClosedForSlowReading(), 0u);
  clock.Advance(1ms);
  server->Poll(0);
  EXPECT_EQ(server->ClosedForSlowReading(), 1u);
  EXPECT_EQ(server->Connections(), 2u);
  EXPECT_GT(server->PendingOutput(), options.outputCap) << "the slow client is still over";
  char byte;
  while (::recv(flooder->fd, &byte, 1, MSG_DONTWAIT) > 0) {
  }
  EXPECT_EQ(::recv(flooder->fd, &byte, 1, MSG_DONTWAIT), 0) << "the flooder's end is closed";

  // Reading on, the slow client gets its whole reply.
  for (int pass = 0; pass < 500 && (slow->got.empty() || !slow->got.back().Has(wire::kFinal));
       ++pass) {
    ASSERT_TRUE(slow->Read());
    server->Poll(0);
  }
  ASSERT_FALSE(slow->got.empty());
  EXPECT_GT(slow->got.size(), 2000u);
  EXPECT_EQ(slow->got.back().Text(wire::kRequestId), "bars");
  EXPECT_EQ(slow->got.back().Text(wire::kFinal), "1");
  good->Write(Ask("after"));
  server->Poll(0);
  ASSERT_TRUE(good->Read());
  EXPECT_EQ(good->Answered("after"), 1u);
  EXPECT_EQ(server->Connections(), 2u);
}

TEST_F(BackendServer, IdleAndHalfSentConnectionsAreClosedOnTheClock) {
  options.idleMilliseconds = 60'000;
  options.partialFrameMilliseconds = 10'000;
  Open();
  auto idle = Connect();
  auto chatty = Connect();
  auto trickle = Connect();
  const std::string frame = Ask("t");
  // Half a frame, then a byte every 2 s: never idle, never finished.
  size_t sent = trickle->Write(std::string_view(frame).substr(0, frame.size() / 2));
  server->Poll(0);
  for (int second = 2; second <= 60; second += 2) {
    clock.Advance(2000ms);
    if (sent < frame.size() - 1) sent += trickle->Write(std::string_view(frame).substr(sent, 1));
    chatty->Write(Ask(std::to_string(second)));
    server->Poll(0);
    ASSERT_TRUE(chatty->Read());
    EXPECT_EQ(chatty->Answered(std::to_string(second)), 1u);
    const bool trickleOpen = trickle->Read();
    const bool idleOpen = idle->Read();
    EXPECT_EQ(trickleOpen, second < 10) << second;
    EXPECT_EQ(idleOpen, second < 60) << second;
  }
  EXPECT_EQ(server->ClosedIdle(), 2u);
  EXPECT_EQ(server->Connections(), 1u);
}

TEST_F(BackendServer, ListenerRefusesBeyondTheCapAndBacksOffWhenOutOfDescriptors) {
  options.maxConnections = 2;
  options.acceptBackoffMilliseconds = 250;
  Open();

  // Out of descriptors: accepting fails, and the loop leaves the listener
  // alone until the back-off is over instead of failing on every pass.
  const int first = ConnectTcp();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowestFree = ::dup(0);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  for (int i = 0; i < 5; ++i) server->Poll(i == 0 ? 2000 : 0);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(server->AcceptFailures(), 1u);
  server->Poll(0);
  EXPECT_EQ(server->Connections(), 0u) << "taken again before the back-off ended";
  clock.Advance(250ms);
  server->Poll(0);
  EXPECT_EQ(server->Connections(), 1u);

  // Two more: the third connection is beyond the cap and is closed at once.
  const int second = ConnectTcp();
  const int third = ConnectTcp();
  for (int i = 0; i < 50 && server->Connections() + server->Refused() < 3; ++i) server->Poll(2000);
  EXPECT_EQ(server->Connections(), 2u);
  EXPECT_EQ(server->Refused(), 1u);
  pollfd p{third, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  char byte;
  EXPECT_EQ(::recv(third, &byte, 1, 0), 0) << "refused connections are closed";
  // The two within the cap are served.
  for (int fd : {first, second}) {
    const std::string ask = Ask("x");
    ASSERT_EQ(::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL), static_cast<ssize_t>(ask.size()));
    pollfd q{fd, POLLIN, 0};
    for (int i = 0; i < 50 && ::poll(&q, 1, 0) == 0; ++i) server->Poll(2000);
    EXPECT_EQ(::poll(&q, 1, 0), 1);
  }
  for (int fd : {first, second, third}) ::close(fd);
}

}  // namespace
}  // namespace kovo::test
