#include "backend/service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "backend/market_messages.h"
#include "backend/protocol.h"
#include "base/number.h"
#include "unit/backend/session_fixture.h"

namespace kovo::test {
namespace {

using backend::CClientSession;

class Service : public BackendSessionTest {};

TEST_F(Service, RepliesEchoTheRequestIdAndMarkTheirLastMessage) {
  auto s = Session();
  ASSERT_TRUE(
      s->OnFrame(Request({{0, "get_io_device_remote_info"}, {wire::kRequestId, "17"}}), kNow));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Text(wire::kReplyRequest), "get_io_device_remote_info");
  EXPECT_EQ(out[0].Text(30105), "10.1.2.3");
  EXPECT_EQ(out[0].Text(wire::kRequestId), "17");
  EXPECT_EQ(out[0].Text(wire::kFinal), "1");

  // Quote: one row, then a closing message; only the closing one is final.
  out.clear();
  ASSERT_TRUE(s->OnFrame(Request({{0, "mrv_master"},
                                  {63001, "nse_cm"},
                                  {10100, "2885"},
                                  {32760, "mine"},
                                  {wire::kRequestId, "18"}}),
                         kNow));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_FALSE(out[0].Has(wire::kFinal));
  EXPECT_FALSE(out[0].Has(wire::kErrorText));
  EXPECT_EQ(out[0].Text(32760), "mine");
  const int64_t high = LeadingInt64(out[0].Text(12)), low = LeadingInt64(out[0].Text(13));
  const int64_t last = LeadingInt64(out[0].Text(6));
  EXPECT_LE(low, last);
  EXPECT_GE(high, last);
  EXPECT_EQ(out[1].Text(wire::kFinal), "1");
  EXPECT_EQ(out[1].Text(wire::kErrorText), "");
  EXPECT_EQ(out[1].Text(wire::kRequestId), "18");

  // Unknown and nameless requests get errors; bytes that are no message end the conversation.
  out.clear();
  ASSERT_TRUE(s->OnFrame(Request({{0, "drop_tables"}}), kNow));
  ASSERT_TRUE(s->OnFrame(Request({{31003, "x"}}), kNow));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].Text(wire::kErrorText), "unknown request drop_tables");
  EXPECT_EQ(out[1].Text(wire::kErrorText), "request name missing");
  EXPECT_FALSE(s->OnFrame("not a frame at all", kNow));
}

TEST_F(Service, UpdateReplyCarriesADownloadOnlyWhenOneIsOffered) {
  auto s = Session();
  s->OnFrame(Request({{0, "zint_check_updates"}, {56984, "2019"}}), kNow);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Count(20008), 1u);
  EXPECT_FALSE(out[0].Has(31804));

  config.update = {true, "Version 3.5.3 is ready", "http://127.0.0.1/zint/KovoZint-3.5.3.zip", "7",
                   "/quiet"};
  out.clear();
  s->OnFrame(Request({{0, "zint_check_updates"}}), kNow);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Text(20008, 0), "Version 3.5.3 is ready");
  EXPECT_EQ(out[0].Text(20008, 1), "http://127.0.0.1/zint/KovoZint-3.5.3.zip");
  EXPECT_EQ(out[0].Text(31804), "7");
  EXPECT_EQ(out[0].Text(49033), "/quiet");
  EXPECT_FALSE(out[0].Text(31003).empty());
  EXPECT_FALSE(out[0].Text(30004).empty());
}

TEST_F(Service, ClockPublishesOnlyWhatIsWatchedAndBarsWhenAMinuteEnds) {
  auto s = Session();
  // Ticks of one scrip; bars of another; open interest of an option.
  const backend::Scrip* option = nullptr;
  for (const auto& sc : market.scrips.All())
    if (sc.instrument == "OPTIDX") option = &sc;
  ASSERT_NE(option, nullptr);
  auto watch = [&](const std::string& id,
                   const std::vector<std::tuple<int, std::string, bool>>& p) {
    std::vector<std::pair<int32_t, std::string>> f{{0, "kovo_add_watch"}, {wire::kWatchId, id}};
    for (const auto& [field, value, any] : p) {
      f.push_back({wire::kWatchField, std::to_string(field)});
      f.push_back({wire::kWatchValue, value});
      f.push_back({wire::kWatchAny, any ? "1" : "0"});
    }
    s->OnFrame(Request(f), kNow);
  };
  watch("1", {{63001, "nse_cm", false}, {10100, "2885", false}, {6, "", true}});
  watch("2", {{63001, "nse_cm", false}, {10100, "11536", false}, {10803, "60", false}});
  watch("3", {{63001, option->exchSeg, false}, {10100, option->token, false}, {64, "", true}});
  EXPECT_EQ(s->WatchCount(), 3u);
  out.clear();

  const int64_t minuteStart = kNow / 60 * 60;
  s->OnClock(minuteStart + 10);
  // Watch 1: a tick of 2885. Watch 2 names 11536 but wants bars, so its
  // ticks are not sent. Watch 3: open interest of the option.
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].Text(10100), "2885");
  EXPECT_TRUE(out[0].Has(6) && out[0].Has(178));
  EXPECT_EQ(out[1].Text(10100), option->token);
  EXPECT_TRUE(out[1].Has(64));
  EXPECT_EQ(out[0].Text(6), std::to_string(market.prices.PriceAt(
                                *market.scrips.Find("nse_cm", "2885"), minuteStart + 10)));

  out.clear();
  s->OnClock(minuteStart + 61);  // the minute ended
  std::vector<SeenMessage> bars;
  for (const auto& m : out)
    if (m.Has(10803)) bars.push_back(m);
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].Text(10100), "11536");
  const backend::Bar expected =
      market.prices.MinuteBar(*market.scrips.Find("nse_cm", "11536"), minuteStart);
  EXPECT_EQ(bars[0].Text(59353), std::to_string(expected.time));
  EXPECT_EQ(bars[0].Text(59355), std::to_string(expected.open));
  EXPECT_EQ(bars[0].Text(59356), std::to_string(expected.close));

  // Removing watches stops their broadcasts; removing an unknown one is an error.
  s->OnFrame(Request({{0, "kovo_remove_watch"}, {wire::kWatchId, "1"}}), kNow);
  s->OnFrame(Request({{0, "kovo_remove_watch"}, {wire::kWatchId, "3"}}), kNow);
  s->OnFrame(Request({{0, "kovo_remove_watch"}, {wire::kWatchId, "3"}}), kNow);
  EXPECT_EQ(out.back().Text(wire::kErrorText), "unknown watch 3");
  out.clear();
  s->OnClock(minuteStart + 62);
  EXPECT_TRUE(out.empty());
}

TEST_F(Service, OrdersAnswerWithAnAckAndUpdatesForTheirOwner) {
  auto s = Session();
  const backend::Scrip& tcs = *market.scrips.Find("nse_cm", "11536");
  const int64_t price = market.prices.PriceAt(tcs, kNow);
  // A sell far below the market fills at once; the fill is at the market or better.
  s->OnFrame(Request({{0, "kovo_place_order"},
                      {wire::kRequestId, "3"},
                      {64001, "1000001"},
                      {64005, "77"},
                      {64016, "Momentum"},
                      {63001, "nse_cm"},
                      {10100, "11536"},
                      {wire::kSide, "2"},
                      {wire::kOrderType, "1"},
                      {wire::kValidity, "1"},
                      {wire::kQuantity, "1"},
                      {wire::kPrice, "5"}}),
             kNow);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[0].Text(wire::kRequestId), "3") << "the ack comes first";
  EXPECT_EQ(out[0].Text(wire::kErrorText), "");
  EXPECT_EQ(out[1].Text(64655), "open");
  const SeenMessage& done = out.back();
  EXPECT_EQ(done.Text(64655), "complete");
  EXPECT_EQ(done.Text(64005), "77");
  EXPECT_EQ(done.Text(64016), "Momentum");
  EXPECT_EQ(done.Text(10322), std::to_string(price));
  EXPECT_FALSE(done.Has(wire::kRequestId)) << "updates are broadcasts";

  out.clear();
  s->OnFrame(Request({{0, "kovo_cancel_order"}, {wire::kRequestId, "4"}}), kNow);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Text(wire::kErrorText), "order number is missing");
}

TEST_F(Service, ABroadcastLooksOnlyAtTheWatchesOfItsScrip) {
  auto s = Session();
  auto watch = [&](const std::string& id, const std::string& seg, const std::string& token,
                   int32_t field, bool any) {
    s->OnFrame(Request({{0, "kovo_add_watch"},
                        {wire::kWatchId, id},
                        {wire::kWatchField, "63001"},
                        {wire::kWatchValue, seg},
                        {wire::kWatchAny, "0"},
                        {wire::kWatchField, "10100"},
                        {wire::kWatchValue, token},
                        {wire::kWatchAny, "0"},
                        {wire::kWatchField, std::to_string(field)},
                        {wire::kWatchValue, any ? "" : "60"},
                        {wire::kWatchAny, any ? "1" : "0"}}),
               kNow);
  };
  // Many watches of scrips the market does not have, then one of a real scrip.
  constexpr int kMany = 20000;
  for (int i = 0; i < kMany; ++i)
    watch("w" + std::to_string(i), "nse_cm", std::to_string(900000 + i), 6, true);
  // And a thousand alike watches of its bars, as many chart windows would hold.
  for (int i = 0; i < 1000; ++i) watch("b" + std::to_string(i), "nse_cm", "2885", 10803, false);
  watch("tick", "nse_cm", "2885", 6, true);
  ASSERT_EQ(s->WatchCount(), kMany + 1001u);
  out.clear();

  // A step publishes the one watched scrip after looking at its own two
  // kinds of watch only, not at the twenty-one thousand others.
  const size_t examined = s->WatchesExamined();
  s->OnClock(kNow + 1);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Text(10100), "2885");
  EXPECT_LE(s->WatchesExamined() - examined, 2u);

  // The same id again moves the watch: the old scrip falls silent, the new
  // one is published; removal by id leaves the rest alone.
  watch("tick", "nse_cm", "11536", 6, true);
  EXPECT_EQ(s->WatchCount(), kMany + 1001u);
  for (int i = 0; i < kMany; i += 2)
    s->OnFrame(Request({{0, "kovo_remove_watch"}, {wire::kWatchId, "w" + std::to_string(i)}}),
               kNow);
  EXPECT_EQ(s->WatchCount(), kMany / 2 + 1001u);
  out.clear();
  s->OnClock(kNow + 2);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Text(10100), "11536");
  s->OnFrame(Request({{0, "kovo_remove_watch"}, {wire::kWatchId, "tick"}}), kNow);
  out.clear();
  s->OnClock(kNow + 3);
  EXPECT_TRUE(out.empty());

  // A watch that names no scrip still sees the broadcasts it matches.
  s->OnFrame(Request({{0, "kovo_add_watch"},
                      {wire::kWatchId, "login"},
                      {wire::kWatchField, "0"},
                      {wire::kWatchValue, "kovo_login_elsewhere"},
                      {wire::kWatchAny, "0"}}),
             kNow);
  out.clear();
  s->LoggedInElsewhere("ANITA", "10.9.9.9");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Text(31003), "ANITA");
}

TEST_F(Service, WhatAClientLeavesBehindIsBounded) {
  // Logging in again and again under new ids holds one id, not all of them.
  backend::LoginDirectory logins;
  auto a = Session();
  a->SetLoginDirectory(&logins);
  a->OnFrame(Request({{0, "kovo_add_watch"},
                      {wire::kWatchId, "elsewhere"},
                      {wire::kWatchField, "0"},
                      {wire::kWatchValue, "kovo_login_elsewhere"},
                      {wire::kWatchAny, "0"}}),
             kNow);
  for (int i = 0; i < 1000; ++i)
    a->OnFrame(Request({{0, "xr_login"}, {31003, "user" + std::to_string(i)}}), kNow);
  EXPECT_EQ(logins.Size(), 1u);
  auto notices = [&] {
    std::vector<std::string> who;
    for (const auto& m : out)
      if (m.Text(0) == "kovo_login_elsewhere") who.push_back(m.Text(31003));
    return who;
  };
  auto b = Session();
  b->SetLoginDirectory(&logins);
  out.clear();
  b->OnFrame(Request({{0, "xr_login"}, {31003, "user0"}}), kNow);
  EXPECT_TRUE(notices().empty()) << "the first id was given up";
  b->OnFrame(Request({{0, "xr_login"}, {31003, "user999"}}), kNow);
  EXPECT_EQ(notices(), std::vector<std::string>{"user999"});
  EXPECT_EQ(logins.Size(), 1u);
  b.reset();
  EXPECT_EQ(logins.Size(), 0u);

  // A chatty client's log keeps only its latest lines, cut short.
  auto s = Session();
  std::vector<std::pair<int32_t, std::string>> fields{{0, "xr_log_nt_msg"}};
  const size_t lines = CClientSession::kMaxLogLines + 44;
  for (size_t i = 0; i < lines; ++i) fields.push_back({20008, "line " + std::to_string(i)});
  fields.push_back({20008, std::string(100000, 'x')});
  ASSERT_TRUE(s->OnFrame(Request(fields), kNow));
  EXPECT_EQ(out.back().Text(20008), "logged");
  const auto& kept = s->LoggedLines();
  ASSERT_EQ(kept.size(), CClientSession::kMaxLogLines);
  EXPECT_EQ(kept.front(), "line 45");
  EXPECT_EQ(kept[kept.size() - 2], "line " + std::to_string(lines - 1));
  EXPECT_EQ(kept.back(), std::string(CClientSession::kMaxLogLineBytes, 'x'));
}

TEST_F(Service, MoversRankTheSegmentByEachMeasureWithinThePriceRange) {
  auto s = Session();
  const auto ask = [&](std::vector<std::pair<int32_t, std::string>> fields) {
    out.clear();
    EXPECT_TRUE(s->OnFrame(Request(fields), kNow));
    EXPECT_EQ(out.size(), 1u);
    return out.empty() ? SeenMessage{} : out[0];
  };
  const auto values = [](const SeenMessage& m) {
    std::vector<double> v;
    for (size_t i = 0; i < m.Count(59101); ++i) v.push_back(LeadingDouble(m.Text(59101, i)));
    return v;
  };
  const auto lastPrice = [&](const std::string& symbol) {
    const backend::Scrip* scrip = market.scrips.FindByTradingSymbol("nse_cm", symbol);
    EXPECT_NE(scrip, nullptr);
    return scrip ? market.prices.PriceAt(*scrip, kNow) : 0;
  };

  // Volume leaders: descending, the count honoured, equities only.
  const SeenMessage volume = ask({{0, "kms_request_nse_cm"},
                                  {20003, "32"},
                                  {53064, ">"},
                                  {53063, "0"},
                                  {54099, "5"},
                                  {49033, "DESC"}});
  EXPECT_EQ(volume.Text(wire::kReplyRequest), "kms_request_nse_cm");
  EXPECT_EQ(volume.Text(59051), "nse_cm");
  ASSERT_EQ(volume.Count(59001), 5u);
  const std::vector<double> v = values(volume);
  EXPECT_TRUE(std::is_sorted(v.rbegin(), v.rend()));
  EXPECT_GT(v.back(), 0.0);
  const backend::Scrip* top = market.scrips.FindByTradingSymbol("nse_cm", volume.Text(59001));
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(v.front(), static_cast<double>(market.prices.CumulativeVolume(*top, kNow)));
  // The same seed gives the same answer.
  EXPECT_EQ(values(ask({{0, "kms_request_nse_cm"},
                        {20003, "32"},
                        {53064, ">"},
                        {53063, "0"},
                        {54099, "5"},
                        {49033, "DESC"}})),
            v);

  // Value leaders in rupees: quantity times last price.
  const SeenMessage value = ask({{0, "kms_request_nse_cm"},
                                 {20003, "TrdValueFOI"},
                                 {53064, ">"},
                                 {53063, "0"},
                                 {54099, "3"},
                                 {49033, "DESC"}});
  ASSERT_EQ(value.Count(59001), 3u);
  const backend::Scrip* first = market.scrips.FindByTradingSymbol("nse_cm", value.Text(59001));
  ASSERT_NE(first, nullptr);
  EXPECT_NEAR(values(value).front(),
              static_cast<double>(market.prices.CumulativeVolume(*first, kNow)) *
                  static_cast<double>(market.prices.PriceAt(*first, kNow)) / 100.0,
              1e-3);

  // Gainers are all up, losers all down and the worst first; none in both.
  const SeenMessage gainers = ask({{0, "kms_request_nse_cm"},
                                   {20003, "PrevCloseFOI"},
                                   {53064, ">"},
                                   {53063, "0"},
                                   {54099, "500"},
                                   {49033, "DESC"}});
  const SeenMessage losers = ask({{0, "kms_request_nse_cm"},
                                  {20003, "PrevCloseFOI"},
                                  {53064, "<"},
                                  {53063, "0"},
                                  {54099, "500"}});
  ASSERT_GT(gainers.Count(59001) + losers.Count(59001), 0u);
  for (double g : values(gainers)) EXPECT_GT(g, 0.0);
  const std::vector<double> l = values(losers);
  for (double x : l) EXPECT_LT(x, 0.0);
  EXPECT_TRUE(std::is_sorted(l.begin(), l.end()));
  for (size_t i = 0; i < gainers.Count(59001); ++i)
    for (size_t k = 0; k < losers.Count(59001); ++k)
      EXPECT_NE(gainers.Text(59001, i), losers.Text(59001, k));

  // A price range keeps only scrips whose last price lies inside it.
  const SeenMessage all = ask({{0, "kms_request_nse_cm"},
                               {20003, "32"},
                               {53064, ">"},
                               {53063, "0"},
                               {54099, "500"},
                               {49033, "DESC"}});
  std::vector<int64_t> prices;
  for (size_t i = 0; i < all.Count(59001); ++i) prices.push_back(lastPrice(all.Text(59001, i)));
  std::sort(prices.begin(), prices.end());
  ASSERT_GE(prices.size(), 4u);
  const int64_t low = prices[prices.size() / 4], high = prices[prices.size() * 3 / 4];
  const SeenMessage ranged = ask({{0, "kms_request_nse_cm"},
                                  {20003, "32"},
                                  {53064, ">"},
                                  {53063, std::to_string(low)},
                                  {20003, "6"},
                                  {53064, "<"},
                                  {53063, std::to_string(high)},
                                  {54099, "500"}});
  ASSERT_GT(ranged.Count(59001), 0u);
  EXPECT_LT(ranged.Count(59001), all.Count(59001));
  for (size_t i = 0; i < ranged.Count(59001); ++i) {
    const int64_t price = lastPrice(ranged.Text(59001, i));
    EXPECT_GT(price, low);
    EXPECT_LT(price, high);
  }

  // Malformed requests are refused with a reason.
  EXPECT_EQ(ask({{0, "kms_request_xyz_cm"}, {20003, "32"}, {53064, ">"}, {53063, "0"}})
                .Text(wire::kErrorText),
            "no instruments in segment xyz_cm");
  EXPECT_FALSE(
      ask({{0, "kms_request_nse_cm"}, {20003, "32"}, {53064, ">"}}).Text(wire::kErrorText).empty());
  EXPECT_FALSE(ask({{0, "kms_request_nse_cm"}, {20003, "Q"}, {53064, ">"}, {53063, "0"}})
                   .Text(wire::kErrorText)
                   .empty());
  EXPECT_FALSE(ask({{0, "kms_request_nse_cm"}, {20003, "32"}, {53064, "=="}, {53063, "0"}})
                   .Text(wire::kErrorText)
                   .empty());
}

}  // namespace
}  // namespace kovo::test

namespace kovo::test {
namespace {

TEST_F(Service, MarketMessagesAreTypedNamedAndSentToTheirWatchesOnly) {
  auto s = Session();
  ASSERT_TRUE(s->OnFrame(Request({{0, "get_message_type"}, {54247, "U1"}}), kNow));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_FALSE(out[0].Has(wire::kErrorText)) << "a single-message reply carries no error field";
  std::vector<std::string> types;
  for (size_t i = 0; i < out[0].Count(53065); ++i) types.push_back(out[0].Text(53065, i));
  EXPECT_EQ(types, backend::MarketMessageTypes());
  ASSERT_GE(types.size(), 4u);
  // Clients filter by prefix: no type may begin another.
  for (const auto& a : types) {
    for (const auto& b : types) {
      if (a != b) {
        EXPECT_NE(b.rfind(a, 0), 0u) << a << " begins " << b;
      }
    }
  }

  // The same seed and second give the same messages; over a few minutes
  // every type turns up and the rate stays modest.
  std::map<std::string, int> seen;
  size_t total = 0, spikes = 0;
  for (int64_t t = kNow; t < kNow + 600; ++t) {
    const auto now = backend::MarketMessagesAt(market.scrips, market.prices, 1, t);
    EXPECT_EQ(now, backend::MarketMessagesAt(market.scrips, market.prices, 1, t));
    total += now.size();
    for (const auto& fields : now) {
      std::map<int32_t, std::string> f(fields.begin(), fields.end());
      ++seen[f[53065]];
      const backend::Scrip* scrip = market.scrips.Find(f[63001], f[10100]);
      ASSERT_NE(scrip, nullptr);
      EXPECT_EQ(f[63100], scrip->tradingSymbol);
      EXPECT_NE(f[63080].find(' '), std::string::npos) << "date, blank, time";
      EXPECT_NE(f[20008].find(scrip->tradingSymbol), std::string::npos);
      // A spike is a second in which something traded.
      if (f[53065] == "Volume Spike") {
        EXPECT_EQ(f[20008].find(" traded 0 "), std::string::npos) << f[20008];
        ++spikes;
      }
    }
  }
  EXPECT_GT(spikes, 0u);
  EXPECT_EQ(seen.size(), types.size());
  EXPECT_GT(total, 60u);
  EXPECT_LT(total, 400u);
  size_t differs = 0;
  for (int64_t t = kNow; t < kNow + 60; ++t)
    differs += backend::MarketMessagesAt(market.scrips, market.prices, 1, t) !=
               backend::MarketMessagesAt(market.scrips, market.prices, 2, t);
  EXPECT_GT(differs, 0u) << "another seed, another stream";

  // A watch of one type on one exchange, and an any-type watch on another.
  auto watch = [&](const std::string& id, const std::string& type, const std::string& seg) {
    s->OnFrame(Request({{0, "kovo_add_watch"},
                        {wire::kWatchId, id},
                        {wire::kWatchField, "53065"},
                        {wire::kWatchValue, type},
                        {wire::kWatchAny, type.empty() ? "1" : "0"},
                        {wire::kWatchField, "63001"},
                        {wire::kWatchValue, seg},
                        {wire::kWatchAny, "0"}}),
               kNow);
  };
  watch("one", "Volume Spike", "nse_cm");
  watch("all", "", "nse_fo");
  size_t expected = 0;
  out.clear();
  for (int64_t t = kNow + 1; t < kNow + 600; ++t) {
    for (const auto& fields : backend::MarketMessagesAt(market.scrips, market.prices, 1, t)) {
      std::map<int32_t, std::string> f(fields.begin(), fields.end());
      expected += (f[53065] == "Volume Spike" && f[63001] == "nse_cm") || f[63001] == "nse_fo";
    }
    s->OnClock(t);
  }
  ASSERT_GT(expected, 0u);
  ASSERT_EQ(out.size(), expected);
  for (const auto& m : out) {
    EXPECT_TRUE(m.Text(63001) == "nse_fo" ||
                (m.Text(63001) == "nse_cm" && m.Text(53065) == "Volume Spike"));
  }
}

}  // namespace
}  // namespace kovo::test
