// Charts of the real libKovoZint.so in a test host against the simulated
// back end, observed through the host's session traffic and the back end.
#include <map>
#include <set>

#include <connectkovo/connectkovo.hpp>

#include "backend/protocol.h"
#include "integration/plugin_host.h"

namespace kovo::test {
namespace {

using namespace std::chrono_literals;

std::string Text(const wmp_msg* message, int32_t field, int32_t index = 0) {
  wmp_value v{};
  if (!wmp_get_data(message, field, index, &v, nullptr)) return {};
  return std::string(static_cast<const char*>(v.data), static_cast<size_t>(v.length));
}

bool Has(const wmp_msg* message, int32_t field) {
  return wmp_get_field(message, field, nullptr, nullptr) > 0;
}

// What went between the plug-in's controls and the back end.
struct Traffic {
  struct Reply {
    int rows = 0;       // rows carrying a bar
    int finals = 0;     // closing messages
    std::string error;  // of the closing message, when refused
    std::set<std::string> userMsgs;
  };
  struct Tick {
    double price;
    double cumulativeQty;
  };
  std::vector<std::string> requests;
  std::map<std::string, Reply> replies;
  std::map<std::string, std::vector<Tick>> ticks;  // by "segment|token"
  int barBroadcasts = 0;

  void Record(host::SessionTraffic kind, const wmp_msg* m) {
    switch (kind) {
      case host::SessionTraffic::kRequest:
        requests.push_back(Text(m, wire::kRequest));
        break;
      case host::SessionTraffic::kReply: {
        Reply& r = replies[Text(m, wire::kReplyRequest)];
        if (Has(m, wire::kUserMsg)) r.userMsgs.insert(Text(m, wire::kUserMsg));
        if (Has(m, wire::kBarTime)) ++r.rows;
        if (Text(m, wire::kFinal) == "1") {
          ++r.finals;
          r.error = Text(m, wire::kErrorText);
        }
        break;
      }
      case host::SessionTraffic::kBroadcast:
        if (Has(m, wire::kVwapTime)) {
          ++barBroadcasts;
        } else if (Has(m, wire::kLastPrice)) {
          ticks[Text(m, wire::kExchSeg) + "|" + Text(m, wire::kToken)].push_back(
              {std::stod(Text(m, wire::kLastPrice)),
               Has(m, wire::kCumulativeQuantity) ? std::stod(Text(m, wire::kCumulativeQuantity))
                                                 : -1.0});
        }
        break;
    }
  }
  long Sent(const std::string& name) const {
    return std::count(requests.begin(), requests.end(), name);
  }
  size_t TickCount(const std::string& key) const {
    const auto it = ticks.find(key);
    return it == ticks.end() ? 0 : it->second.size();
  }
};

constexpr const char* kTodayBars = "xr_get_series_vwap_data";
constexpr const char* kDailyBars = "xr_get_series_db_vwap_data";
constexpr const char* kQuote = "mrv_master";
constexpr const char* kKey = "nse_cm|2885";
const char* const kRow[] = {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"};

class ChartLibrary : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    if (HasFatalFailure()) return;
    StartHost();
    trafficHook = [this](host::SessionTraffic kind, const wmp_msg* m) { traffic.Record(kind, m); };
    backend::ServerOptions options;
    options.service.seed = 7;
    ASSERT_NO_FATAL_FAILURE(Connect(std::move(options)));
    ASSERT_NO_FATAL_FAILURE(LogIn());
  }

  // Charts open only for a launched user.
  void LogIn() {
    lib.init(nullptr, "", 0, "");
    ASSERT_EQ(lib.launch("trader7", "DEMO01"), 1);
    ASSERT_TRUE(PumpUntil([&] { return Count("xr_zint_launch request sent") == 1; })) << LogText();
    ASSERT_TRUE(PumpUntil([&] { return Count("peer data request sent") == 1; })) << LogText();
    // The calls feed's history ends in its subscriptions; tests count watches after that.
    ASSERT_TRUE(PumpUntil([&] { return Count("subscribed for Notices ") == 1; })) << LogText();
  }

  std::string Dump() {
    std::string text = LogText();
    for (const auto& r : traffic.requests) text += "request " + r + "\n";
    for (const auto& [n, r] : traffic.replies)
      text += "reply " + n + " rows " + std::to_string(r.rows) + " finals " +
              std::to_string(r.finals) + " error " + r.error + "\n";
    return text;
  }
  // The plug-in reports a failed chart request or watch in the host's log.
  long Failures() const {
    return Count("xr_get_series_vwap_data request") + Count("xr_get_series_db_vwap_data request") +
           Count("mrv_master request") + Count("watch is failed") + Count("vwap store");
  }

  // Ticks of the chart's scrip keep arriving: prices, and a volume that grows.
  void ExpectTicksFlow(size_t more) {
    const size_t before = traffic.TickCount(kKey);
    ASSERT_TRUE(PumpUntil([&] { return traffic.TickCount(kKey) >= before + more; }))
        << "ticks of the watched scrip reach the plug-in";
    const auto& ticks = traffic.ticks.at(kKey);
    for (size_t i = before; i < ticks.size(); ++i) {
      EXPECT_GT(ticks[i].price, 0.0);
      if (i > 0) {
        EXPECT_GE(ticks[i].cumulativeQty, ticks[i - 1].cumulativeQty);
      }
    }
  }

  Traffic traffic;
};

TEST_F(ChartLibrary, IntradayChartGetsItsBarsAndTicksUntilThePlugInEnds) {
  const size_t watchesBefore = session->WatchCount();
  ASSERT_TRUE(PumpUntil([&] { return server->Watches() == watchesBefore; }));
  EXPECT_EQ(traffic.TickCount(kKey), 0u) << "nothing watches the scrip yet";

  lib.hotKey("Shift+P", 1, 0, kRow, 4);
  EXPECT_EQ(traffic.Sent(kTodayBars), 1) << "the chart asks for its one-minute bars";
  EXPECT_EQ(session->WatchCount(), watchesBefore + 2) << "a bar watch and a tick watch";

  ASSERT_TRUE(PumpUntil([&] { return traffic.replies[kTodayBars].finals == 1; }));
  const Traffic::Reply& bars = traffic.replies[kTodayBars];
  EXPECT_EQ(bars.error, "");
  EXPECT_GT(bars.rows, 0) << "the back end answered with bars";
  EXPECT_EQ(bars.userMsgs, std::set<std::string>{kKey}) << "the rows carry the chart's key";
  ASSERT_TRUE(PumpUntil([&] { return traffic.replies[kDailyBars].finals >= 1; }))
      << "the previous day's levels are asked for and answered";
  EXPECT_EQ(traffic.replies[kDailyBars].error, "");
  EXPECT_GT(traffic.replies[kDailyBars].rows, 0);
  EXPECT_EQ(Failures(), 0);

  ASSERT_TRUE(PumpUntil([&] { return server->Watches() == watchesBefore + 2; }))
      << "the back end holds the chart's watches";
  ASSERT_NO_FATAL_FAILURE(ExpectTicksFlow(3));

  lib.exit();
  EXPECT_EQ(session->WatchCount(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return server->Watches() == 0; }))
      << "the back end no longer publishes the scrip";
  const size_t ticksAtEnd = traffic.TickCount(kKey);
  ui.Pump(1000);
  EXPECT_EQ(traffic.TickCount(kKey), ticksAtEnd);
}

TEST_F(ChartLibrary, AnUnlockedChartMovesItsWatchesToTheNextScrip) {
  const size_t watchesBefore = session->WatchCount();
  lib.hotKey("Shift+P", 1, 0, kRow, 4);
  ASSERT_TRUE(PumpUntil([&] { return traffic.replies[kTodayBars].finals == 1; }));
  ASSERT_NO_FATAL_FAILURE(ExpectTicksFlow(1));

  const char* other[] = {"nse_cm", "INFY-EQ", "INFY", "1594"};
  lib.hotKey("Shift+P", 1, 0, other, 4);
  EXPECT_EQ(traffic.Sent(kTodayBars), 2);
  EXPECT_EQ(session->WatchCount(), watchesBefore + 2) << "the window is reused, not added";
  ASSERT_TRUE(PumpUntil([&] { return traffic.replies[kTodayBars].finals == 2; }));
  EXPECT_EQ(traffic.replies[kTodayBars].error, "");
  EXPECT_TRUE(traffic.replies[kTodayBars].userMsgs.count("nse_cm|1594"));
  ASSERT_TRUE(PumpUntil([&] { return server->Watches() == watchesBefore + 2; }));

  // From here on the back end publishes the new scrip only.
  ASSERT_TRUE(PumpUntil([&] { return traffic.TickCount("nse_cm|1594") >= 1; }));
  const size_t oldTicks = traffic.TickCount(kKey);
  const size_t newTicks = traffic.TickCount("nse_cm|1594");
  ASSERT_TRUE(PumpUntil([&] { return traffic.TickCount("nse_cm|1594") >= newTicks + 2; }));
  EXPECT_EQ(traffic.TickCount(kKey), oldTicks) << "the first scrip's watches were removed";
  EXPECT_EQ(Failures(), 0);
}

TEST_F(ChartLibrary, HistoricalChartGetsDailyBarsThenTodaysQuote) {
  const size_t watchesBefore = session->WatchCount();
  lib.hotKey("Shift+H", 1, 0, kRow, 4);
  EXPECT_EQ(traffic.Sent(kDailyBars), 1);
  EXPECT_EQ(traffic.Sent(kTodayBars), 0) << "no one-minute bars for a daily chart";
  ASSERT_TRUE(PumpUntil([&] { return traffic.replies[kQuote].finals >= 1; }))
      << "the daily bars' end brings the quote for today's bar" << Dump();
  const Traffic::Reply& daily = traffic.replies[kDailyBars];
  EXPECT_EQ(daily.finals, 1);
  EXPECT_EQ(daily.error, "");
  // About three months of weekdays.
  EXPECT_GT(daily.rows, 40);
  EXPECT_LT(daily.rows, 100);
  EXPECT_EQ(traffic.replies[kQuote].error, "");
  EXPECT_EQ(session->WatchCount(), watchesBefore + 1) << "a tick watch only";
  ASSERT_NO_FATAL_FAILURE(ExpectTicksFlow(2));
  EXPECT_EQ(Failures(), 0);
}

}  // namespace
}  // namespace kovo::test
