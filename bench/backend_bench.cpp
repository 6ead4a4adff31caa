// The back end under abuse: how long a well-behaved client waits for a reply
// while another client floods or piles up watches, and what many watches
// cost the back end itself.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <connectkovo/connectkovo.hpp>

#include "backend/protocol.h"
#include "backend/server.h"
#include "backend/service.h"

namespace {

using Clock = std::chrono::steady_clock;
using Fields = std::vector<std::pair<int32_t, std::string>>;
namespace wire = kovo::wire;

constexpr int64_t kNow = 1796441587;  // a Saturday morning in Asia/Kolkata
constexpr int kWatches = 100000;
// A reply slower than this counts as this long, so a starved client ends the run.
constexpr auto kReplyTimeout = std::chrono::seconds(2);

std::string Frame(const Fields& fields) {
  connectkovo::Writer w;
  w.Start();
  for (const auto& [id, value] : fields) w.Add(id, value);
  return std::string(w.Frame());
}

int Connect(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Writes everything unless the peer goes away or stop is raised.
bool SendAll(int fd, std::string_view bytes, const std::atomic<bool>& stop) {
  while (!bytes.empty() && !stop) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 10);
      continue;
    }
    return false;
  }
  return bytes.empty();
}

std::string WatchFrame(const std::vector<kovo::backend::Scrip>& scrips, int i) {
  const auto& s = scrips[static_cast<size_t>(i) % scrips.size()];
  // Ticks, one-minute bars or open interest of the scrip.
  const int kind = i % 3;
  const std::string field = kind == 0 ? "6" : kind == 1 ? "10803" : "64";
  return Frame({{0, "kovo_add_watch"},
                {wire::kWatchId, "w" + std::to_string(i)},
                {wire::kWatchField, "63001"},
                {wire::kWatchValue, s.exchSeg},
                {wire::kWatchAny, "0"},
                {wire::kWatchField, "10100"},
                {wire::kWatchValue, s.token},
                {wire::kWatchAny, "0"},
                {wire::kWatchField, field},
                {wire::kWatchValue, kind == 1 ? "60" : ""},
                {wire::kWatchAny, kind == 1 ? "0" : "1"}});
}

// Round trips of a cheap request until done() or the deadline; milliseconds each.
std::vector<double> GoodClient(uint16_t port, Clock::time_point deadline,
                               const std::function<bool()>& done) {
  std::vector<double> latencies;
  const int fd = Connect(port);
  if (fd < 0) return latencies;
  const std::string request = Frame({{0, "get_io_device_remote_info"}, {wire::kRequestId, "1"}});
  std::vector<char> buffer(64 * 1024);
  connectkovo::Framer framer;
  const std::atomic<bool> never{false};
  while (Clock::now() < deadline && !done()) {
    const auto start = Clock::now();
    if (!SendAll(fd, request, never)) break;
    bool answered = false;
    while (!answered) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          start + kReplyTimeout - Clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      framer.Push(buffer.data(), static_cast<size_t>(n));
      std::string_view frame;
      int32_t error = 0;
      while (framer.Next(&frame, &error)) answered = true;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!answered) break;
  }
  ::close(fd);
  return latencies;
}

void Report(benchmark::State& state, std::vector<double> latencies) {
  if (latencies.empty()) return state.SkipWithError("no round trip");
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) {
    return latencies[std::min(latencies.size() - 1, static_cast<size_t>(q * latencies.size()))];
  };
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = latencies.back();
  state.counters["round_trips"] = static_cast<double>(latencies.size());
}

// A client that sends quote requests as fast as it can; reading replies or not.
void Flood(uint16_t port, bool readReplies, const std::atomic<bool>& stop) {
  std::string batch;
  for (int i = 0; i < 512; ++i)
    batch += Frame({{0, "mrv_master"}, {63001, "nse_cm"}, {10100, "2885"}, {32760, "f"}});
  while (!stop) {
    const int fd = Connect(port);
    if (fd < 0) return;
    std::thread reader;
    if (readReplies) {
      reader = std::thread([fd] {
        std::vector<char> sink(256 * 1024);
        while (::recv(fd, sink.data(), sink.size(), 0) > 0) {
        }
      });
    }
    while (!stop && SendAll(fd, batch, stop)) {
    }
    ::shutdown(fd, SHUT_RDWR);
    if (reader.joinable()) reader.join();
    ::close(fd);
  }
}

void GoodClientBesideFlooder(benchmark::State& state, bool readingFlooder) {
  for (auto _ : state) {
    kovo::backend::CBackendServer server{kovo::backend::ServerOptions{}};
    std::string error;
    if (!server.Start(&error)) return state.SkipWithError(error.c_str());
    std::atomic<bool> stop{false};
    std::thread flooder([&] { Flood(server.Port(), readingFlooder, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the flood build up
    auto latencies =
        GoodClient(server.Port(), Clock::now() + std::chrono::seconds(3), [] { return false; });
    stop = true;
    flooder.join();
    server.Stop();
    Report(state, std::move(latencies));
  }
}

void BM_GoodClientP99_NonReadingFlooder(benchmark::State& state) {
  GoodClientBesideFlooder(state, false);
}
BENCHMARK(BM_GoodClientP99_NonReadingFlooder)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_GoodClientP99_ReadingFlooder(benchmark::State& state) {
  GoodClientBesideFlooder(state, true);
}
BENCHMARK(BM_GoodClientP99_ReadingFlooder)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// CPU time of one session taking 100k watches, spread over every scrip.
void BM_WatchAdds100k(benchmark::State& state) {
  kovo::backend::Market market(1, kNow);
  kovo::backend::ServiceConfig config;
  std::vector<std::string> frames;
  for (int i = 0; i < kWatches; ++i) frames.push_back(WatchFrame(market.scrips.All(), i));
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<kovo::backend::CClientSession>(market, config, "127.0.0.1",
                                                                   [](std::string_view) {});
    state.ResumeTiming();
    for (const std::string& f : frames) session->OnFrame(f, kNow);
    benchmark::DoNotOptimize(session->WatchCount());
    state.PauseTiming();
    session.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kWatches);
}
BENCHMARK(BM_WatchAdds100k)->Unit(benchmark::kMillisecond);

// One market step of a session that holds 100k watches.
void BM_MarketStep100kWatches(benchmark::State& state) {
  kovo::backend::Market market(1, kNow);
  kovo::backend::ServiceConfig config;
  size_t bytes = 0;
  kovo::backend::CClientSession session(market, config, "127.0.0.1",
                                        [&](std::string_view f) { bytes += f.size(); });
  for (int i = 0; i < kWatches; ++i) session.OnFrame(WatchFrame(market.scrips.All(), i), kNow);
  bytes = 0;  // the adds' replies
  int64_t now = kNow;
  for (auto _ : state) session.OnClock(++now);
  state.counters["bytes_per_step"] =
      benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MarketStep100kWatches)->Unit(benchmark::kMicrosecond);

// The good client's round trips while another client adds 100k watches
// (pipelined, replies read).
void BM_GoodClientP99_WhileAnotherAdds100kWatches(benchmark::State& state) {
  kovo::backend::Market market(1, kNow);
  std::string adds;
  for (int i = 0; i < kWatches; ++i) adds += WatchFrame(market.scrips.All(), i);
  for (auto _ : state) {
    kovo::backend::CBackendServer server{kovo::backend::ServerOptions{}};
    std::string error;
    if (!server.Start(&error)) return state.SkipWithError(error.c_str());
    std::atomic<bool> stop{false}, added{false};
    const int fd = Connect(server.Port());
    if (fd < 0) return state.SkipWithError("connect");
    std::thread reader([&] {
      // Every add is answered with one final message.
      connectkovo::Framer framer;
      std::vector<char> buffer(256 * 1024);
      int replies = 0;
      ssize_t n = 0;
      while (replies < kWatches && (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0) {
        framer.Push(buffer.data(), static_cast<size_t>(n));
        std::string_view frame;
        int32_t e = 0;
        while (framer.Next(&frame, &e)) ++replies;
      }
      added = true;
    });
    std::thread writer([&] { SendAll(fd, adds, stop); });
    const auto started = Clock::now();
    auto latencies = GoodClient(server.Port(), Clock::now() + std::chrono::seconds(120),
                                [&] { return added.load(); });
    const double addSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    stop = true;
    ::shutdown(fd, SHUT_RDWR);
    writer.join();
    reader.join();
    ::close(fd);
    server.Stop();
    state.counters["adds_wall_s"] = addSeconds;
    Report(state, std::move(latencies));
  }
}
BENCHMARK(BM_GoodClientP99_WhileAnotherAdds100kWatches)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
