// The simulated broker's calls: history replies, live broadcasts for the
// categories a client watches, echoing its user id, and the same calls for
// the same seed.
#include "backend/research_feed.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "backend/protocol.h"
#include "backend/service.h"
#include "unit/backend/session_fixture.h"

namespace kovo::test {
namespace {

using backend::CClientSession;

class ResearchService : public BackendSessionTest {
 protected:
  void Watch(CClientSession& s, const std::string& id, const std::string& category,
             const std::string& user) {
    std::vector<std::pair<int32_t, std::string>> f{{0, "kovo_add_watch"},
                                                   {wire::kWatchId, id},
                                                   {wire::kWatchField, "54211"},
                                                   {wire::kWatchValue, category},
                                                   {wire::kWatchAny, "0"}};
    if (!user.empty()) {
      f.insert(f.end(),
               {{wire::kWatchField, "64057"}, {wire::kWatchValue, user}, {wire::kWatchAny, "0"}});
    }
    s.OnFrame(Request(f), kNow);
  }
};

TEST_F(ResearchService, HistoryRepliesCarryTheDaysCallsAndClose) {
  auto s = Session();
  ASSERT_TRUE(s->OnFrame(Request({{0, "roth_ma"}, {64057, "HOST-7"}}), kNow));
  ASSERT_GE(out.size(), 3u);
  size_t research = 0, trading = 0;
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    const SeenMessage& m = out[i];
    EXPECT_EQ("roth_ma", m.Text(wire::kReplyRequest));
    EXPECT_FALSE(m.Has(wire::kErrorText));
    EXPECT_FALSE(m.Has(wire::kFinal));
    EXPECT_EQ("HOST-7", m.Text(64057));
    EXPECT_LE(std::stoll(m.Text(50100)), kNow);
    // Each call names a listed scrip by segment and trading symbol, as the
    // calls list shows it and the cross-filing between BSE and NSE reads it.
    EXPECT_NE(nullptr, market.scrips.FindByTradingSymbol(m.Text(63001), m.Text(10100)));
    EXPECT_FALSE(m.Text(59480).empty());
    research += m.Text(54211) == "research reports";
    trading += m.Text(54211) == "trading calls";
  }
  EXPECT_GT(research, 0u);
  EXPECT_GT(trading, 0u);
  EXPECT_LE(research, 40u);
  EXPECT_EQ("", out.back().Text(wire::kErrorText));
  EXPECT_EQ("1", out.back().Text(wire::kFinal));

  // The same seed answers the same history.
  std::vector<SeenMessage> first = out;
  out.clear();
  auto again = Session();
  again->OnFrame(Request({{0, "roth_ma"}, {64057, "HOST-7"}}), kNow);
  ASSERT_EQ(first.size(), out.size());
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(first[i].fields, out[i].fields) << i;

  // Option calls of the day carry legs and the category they are filed under.
  out.clear();
  s->OnFrame(Request({{0, "roth_option_calls"}}), kNow);
  ASSERT_GE(out.size(), 2u);
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    const std::string category = out[i].Text(54211);
    EXPECT_TRUE(category == "Option Calls" || category == "Indian Volatility") << category;
    EXPECT_GE(out[i].Count(63001), 1u);
    EXPECT_EQ(out[i].Count(63001), out[i].Count(10306));
    EXPECT_EQ(2u, out[i].Count(31003));
    EXPECT_NE(nullptr, market.scrips.FindByTradingSymbol("nse_fo", out[i].Text(10100)));
  }
}

TEST_F(ResearchService, AddResearchReportsIsAnsweredOrRefused) {
  auto s = Session();
  s->OnFrame(Request({{0, "add_research_reports"}, {63001, "nse_cm"}, {63413, "body"}}), kNow);
  s->OnFrame(Request({{0, "add_research_reports"}, {63001, "nse_cm"}}), kNow);
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ("", out[0].Text(wire::kErrorText));
  EXPECT_EQ("a research report needs a body and an exchange", out[1].Text(wire::kErrorText));
}

TEST_F(ResearchService, LiveCallsGoOnlyToWatchedCategoriesWithTheirUser) {
  auto s = Session();
  Watch(*s, "r", "research reports", "HOST-7");
  Watch(*s, "o", "option_calls", "");
  out.clear();
  const int64_t start = kNow - kNow % 86400 + 4 * 3600;
  for (int64_t t = start; t < start + 600; ++t) s->OnClock(t);
  size_t research = 0, options = 0;
  for (const SeenMessage& m : out) {
    if (m.Text(54211) == "research reports") {
      ++research;
      EXPECT_EQ("HOST-7", m.Text(64057));
    } else {
      EXPECT_EQ("option_calls", m.Text(54211));
      EXPECT_FALSE(m.Has(64057));
      ++options;
    }
  }
  // One research report every 90 s, one option call every 150 s after the
  // watch's opening one; no trading calls or notices nobody watches.
  EXPECT_GE(research, 6u);
  EXPECT_LE(research, 7u);
  EXPECT_EQ(5u, options);

  // Notices follow their watch's category.
  out.clear();
  Watch(*s, "n", "zint_msg.all", "HOST-7");
  for (int64_t t = start + 600; t < start + 1200; ++t) s->OnClock(t);
  size_t notices = 0;
  for (const SeenMessage& m : out) {
    if (m.Text(54211) != "zint_msg.all") continue;
    ++notices;
    EXPECT_FALSE(m.Text(20008).empty());
  }
  EXPECT_EQ(1u, notices);
}

TEST_F(ResearchService, AWatcherOfOptionCallsGetsItsFirstWithinSecondsThenThePeriod) {
  // Start just after a regular option call: the next is a whole period away.
  const backend::ResearchFeed feed(market, config.seed);
  int64_t start = kNow - kNow % 86400 + 4 * 3600;
  backend::ResearchFeed::Fields item;
  while (!feed.ItemAt("option_calls", start, "", item)) ++start;
  ++start;
  const auto optionCalls = [&] {
    std::vector<SeenMessage> calls;
    for (const SeenMessage& m : out)
      if (m.Text(54211) == "option_calls") calls.push_back(m);
    return calls;
  };
  auto s = Session();
  s->OnClock(start - 1);
  Watch(*s, "o", "option_calls", "HOST-7");
  out.clear();
  for (int64_t t = start; t <= start + 10; ++t) s->OnClock(t);
  std::vector<SeenMessage> first = optionCalls();
  ASSERT_EQ(1u, first.size());
  EXPECT_EQ(std::to_string(start + 3), first[0].Text(50100));
  EXPECT_GE(first[0].Count(63001), 1u);
  EXPECT_EQ("HOST-7", first[0].Text(64057));

  // Then one a period, the opening call not again.
  for (int64_t t = start + 11; t < start + backend::ResearchFeed::Period("option_calls"); ++t)
    s->OnClock(t);
  EXPECT_EQ(2u, optionCalls().size());

  // Another session watching from the same second gets the same call.
  out.clear();
  auto again = Session();
  again->OnClock(start - 1);
  Watch(*again, "o", "option_calls", "HOST-7");
  out.clear();
  for (int64_t t = start; t <= start + 10; ++t) again->OnClock(t);
  ASSERT_EQ(1u, optionCalls().size());
  EXPECT_EQ(first[0].fields, optionCalls()[0].fields);
}

TEST(ResearchFeedItems, SameSeedSameCallsOtherSeedOther) {
  const backend::Market market(1, kNow), other(2, kNow);
  const backend::ResearchFeed a(market, 1), b(market, 1), c(other, 2);
  std::vector<backend::ResearchFeed::Fields> fromA, fromB, fromC;
  for (int64_t t = kNow; t < kNow + 900; ++t) {
    backend::ResearchFeed::Fields item;
    if (a.ItemAt("trading calls", t, "U", item)) fromA.push_back(item);
    if (b.ItemAt("trading calls", t, "U", item)) fromB.push_back(item);
    if (c.ItemAt("trading calls", t, "U", item)) fromC.push_back(item);
  }
  EXPECT_EQ(20u, fromA.size());
  EXPECT_EQ(fromA, fromB);
  EXPECT_NE(fromA, fromC);
  backend::ResearchFeed::Fields none;
  EXPECT_FALSE(a.ItemAt("gossip", kNow, "U", none));
  EXPECT_TRUE(a.Today("trading calls", -5, "U", 10).empty());
  EXPECT_EQ(3u, a.Today("trading calls", kNow, "U", 3).size());
  // A minute after midnight the history still holds a day of calls, the
  // newest last and none from the future.
  const int64_t justAfterMidnight = kNow - kNow % 86400 + 60;
  const auto lastDay = a.Today("research reports", justAfterMidnight, "U", 40);
  ASSERT_EQ(40u, lastDay.size());
  int64_t previous = 0;
  for (const auto& fields : lastDay) {
    for (const auto& [id, text] : fields) {
      if (id != 50100) continue;
      const int64_t at = std::stoll(text);
      EXPECT_GT(at, previous);
      EXPECT_LE(at, justAfterMidnight);
      EXPECT_GT(at, justAfterMidnight - 86400);
      previous = at;
    }
  }
}

TEST(ResearchFeedItems, OptionCallLegsAreOptionsOfOneUnderlyingAndExpiry) {
  const backend::Market market(1, kNow);
  const backend::ResearchFeed feed(market, 1);
  // Live calls over a day and the history the day ends with.
  std::vector<backend::ResearchFeed::Fields> calls = feed.Today("option_calls", kNow, "U", 20);
  for (int64_t t = kNow; t < kNow + 86400; ++t) {
    backend::ResearchFeed::Fields item;
    if (feed.ItemAt("option_calls", t, "U", item)) calls.push_back(item);
  }
  ASSERT_GT(calls.size(), 500u);
  size_t spreads = 0;
  std::set<std::string> underlyings;
  for (const auto& call : calls) {
    std::vector<const backend::Scrip*> legs;
    for (const auto& [field, value] : call) {
      if (field != 10100) continue;
      const backend::Scrip* leg = market.scrips.FindByTradingSymbol("nse_fo", value);
      ASSERT_NE(nullptr, leg) << value;
      legs.push_back(leg);
    }
    ASSERT_FALSE(legs.empty());
    underlyings.insert(legs[0]->underlying);
    spreads += legs.size() > 1;
    for (const backend::Scrip* leg : legs) {
      EXPECT_EQ("OPTIDX", leg->instrument);
      EXPECT_EQ(legs[0]->underlying, leg->underlying)
          << legs[0]->tradingSymbol << " with " << leg->tradingSymbol;
      EXPECT_EQ(legs[0]->expiry, leg->expiry);
    }
  }
  // Both kinds of call, on every index that has options.
  EXPECT_GT(spreads, calls.size() / 4);
  EXPECT_EQ(2u, underlyings.size());
}

}  // namespace
}  // namespace kovo::test
