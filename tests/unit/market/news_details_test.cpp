// The call record builder: kinds, body, prices, colours, icons, the filing
// for the other cash exchange and what live records announce.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "fakes/wmp_helpers.h"
#include "market/news_details.h"
#include "plugin/mnm_fields.h"

namespace kovo {
namespace {

using test::Field;

sScripDetails MakeScrip(const std::string& seg, const std::string& token, const std::string& trad,
                        int32_t precision = 2, double divisor = 100.0) {
  sScripDetails d{};
  std::strncpy(d.texts[KOVO_SCRIP_EXCH_SEG], seg.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(d.texts[KOVO_SCRIP_TOKEN], token.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(d.texts[KOVO_SCRIP_TRAD_SYMBOL], trad.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  d.pricePrecision = precision;
  d.priceMultiplier = divisor;
  return d;
}

struct Harness {
  std::map<std::string, sScripDetails> bySymbol;  // "seg|symbol" for both look-ups
  std::map<std::string, sScripDetails> byKey;
  std::vector<std::pair<std::string, std::vector<sRequestField>>> sent;
  std::vector<std::string> logs;
  std::vector<std::string> live;
  int beeps = 0;
  bool beepOn = true;
  bool sendOk = true;
  CNewsFeed feed{Ports()};

  sNewsFeedPorts Ports() {
    sNewsFeedPorts p;
    const auto find = [this](const std::string& s, const std::string& sym, sScripDetails& d) {
      const auto it = bySymbol.find(s + "|" + sym);
      if (it == bySymbol.end()) return false;
      d = it->second;
      return true;
    };
    p.scrip = find;
    p.scripFromTradSymbol = find;
    p.scripOnUniqueKey = [this](const std::string& key, sScripDetails& d) {
      const auto it = byKey.find(key);
      if (it == byKey.end()) return false;
      d = it->second;
      return true;
    };
    p.send = [this](std::string_view name, const std::vector<sRequestField>& f) {
      sent.emplace_back(std::string(name), f);
      return sendOk;
    };
    p.tabbedLog = [this](const std::string& t) { logs.push_back(t); };
    p.beepOn = [this](std::string_view) { return beepOn; };
    p.beep = [this] { ++beeps; };
    p.liveCall = [this](const sNewsDetails& d) { live.push_back(d.headline); };
    p.peerText = [] { return std::string("PEER"); };
    p.hostUserId = "HOSTID";
    return p;
  }
  int Build(const std::vector<Field>& fields, bool bulk = false) {
    const test::MsgPtr m = test::MakeMessage(fields);
    return feed.Build(m.get(), bulk);
  }
};

TEST(NewsDetailsBuild, KindsSourcesAndBodyFields) {
  Harness h;
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "trading calls"},
                        {MNM_REPORT_TYPE, "Desk"},
                        {MNM_USER, "Olrik"},
                        {MNM_HEADLINE, "H1"},
                        {MNM_BODY_TEXT, "second"},
                        {MNM_FIELD_49033, "third"},
                        {MNM_TRANSACTION, "B"},
                        {MNM_HOT, "H "},
                        {MNM_RESEARCH_ID, "77"}}));
  const sNewsDetails& t = h.feed.Calls().at(0);
  EXPECT_EQ("Trading calls", t.source);
  EXPECT_EQ("Technical Calls", t.reportType);
  EXPECT_EQ(std::vector<std::string>{"Technical"}, t.reportKinds);
  EXPECT_EQ("second", t.text);  // 63413 comes before 49033
  EXPECT_EQ("BUY", t.transactionType);
  EXPECT_TRUE(t.hot);
  EXPECT_EQ("77", t.researchId);

  // 59486 replaces the source and names the tab of a plain news item.
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "markets"},
                        {MNM_REPORT_TYPE, "Desk"},
                        {MNM_CALL_SOURCE, "Wire"},
                        {MNM_STORY, "first"},
                        {MNM_BODY_TEXT, "second"},
                        {MNM_TRANSACTION, "X"},
                        {MNM_HOT, "H"}}));
  const sNewsDetails& n = h.feed.Calls().at(1);
  EXPECT_EQ("Wire", n.source);
  EXPECT_EQ("Wire", n.reportType);
  EXPECT_EQ("first", n.text);
  EXPECT_EQ("X", n.transactionType);
  EXPECT_FALSE(n.hot);
  EXPECT_TRUE(n.reportKinds.empty());

  ASSERT_EQ(
      1, h.Build({{MNM_CATEGORY, "Option Calls"}, {MNM_FIELD_49033, "b"}, {MNM_TRANSACTION, "S"}}));
  EXPECT_EQ("Option Calls", h.feed.Calls().at(2).reportType);
  EXPECT_EQ("SELL", h.feed.Calls().at(2).transactionType);

  // No body: nothing filed, nothing announced.
  EXPECT_EQ(0, h.Build({{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, "none"}}));
  EXPECT_EQ(3u, h.feed.Calls().size());
  EXPECT_EQ(3u, h.live.size());
}

TEST(NewsDetailsBuild, BodyCleaningAndPriceTexts) {
  EXPECT_EQ("a\n\nb\nc\nd u 5- off", CleanCallBody("a\x1d"
                                                   "b\x08"
                                                   "c\x1c"
                                                   "d \x1e 5% off"));
  EXPECT_EQ("", CallPriceText(0, 2, 100.0));
  EXPECT_EQ("123.45", CallPriceText(12345, 2, 100.0));
  EXPECT_EQ("1.2345", CallPriceText(12345, 4, 10000.0));
  EXPECT_EQ("-5.00", CallPriceText(-500, 2, 100.0));
}

TEST(NewsDetailsBuild, ScripsPricesAndCells) {
  Harness h;
  h.bySymbol["nse_cm|INFY"] = MakeScrip("nse_cm", "1594", "INFY-EQ", 2, 100.0);
  h.bySymbol["mcx_fo|GOLD"] = MakeScrip("mcx_fo", "99", "GOLDFUT", 4, 10000.0);
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "trading calls"},
                        {MNM_USER, "PPlay"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_EXCH_SEG, "nse_cm"},
                        {MNM_EXCH_SEG, "mcx_fo"},
                        {MNM_EXCH_SEG, "bse_cm"},
                        {MNM_TRADING_SYMBOL, "INFY"},
                        {MNM_TRADING_SYMBOL, "GOLD"},
                        {MNM_INITIATION_PRICE, "12345"},
                        {MNM_STOP_LOSS_PRICE, "0"},
                        {MNM_TARGET_PRICE, "20000"},
                        {MNM_PRICE_AT_CALL, "7x"},
                        {MNM_TRANSACTION, "S"},
                        {MNM_CALL_TIME, "0"}}));
  const sNewsDetails& d = h.feed.Calls().at(0);
  // The third exchange has no symbol and is skipped; the last found scrip's
  // precision wins.
  EXPECT_EQ("nse_cm|INFY-EQ,mcx_fo|GOLDFUT", d.scripPairs);
  EXPECT_EQ("INFY,GOLD", d.symbols);
  EXPECT_EQ("nse_cm|1594,mcx_fo|99", d.isinList);
  EXPECT_EQ(4, d.precision);
  EXPECT_EQ(12345, d.initiationPrice);
  EXPECT_EQ(7, d.priceAtCall);
  EXPECT_EQ("01-01-1970 05:30:00", d.time);  // tests run in India time
  EXPECT_EQ("1.2345", NewsCellText(d, NewsColumn::kInitiationPrice, false));
  EXPECT_EQ("", NewsCellText(d, NewsColumn::kStopLossPrice, false));
  EXPECT_EQ("2.0000", NewsCellText(d, NewsColumn::kTargetPrice, false));
  EXPECT_EQ("PPlay", NewsCellText(d, NewsColumn::kSource, false));
  // Technical calls show their scrip pairs in the news window, the segment
  // and token keys in the broker calls window.
  EXPECT_EQ(d.scripPairs, NewsCellText(d, NewsColumn::kIsinCode, false));
  EXPECT_EQ(d.isinList, NewsCellText(d, NewsColumn::kIsinCode, true));
  EXPECT_EQ("SELL", NewsCellText(d, NewsColumn::kTransactionType, true));
  EXPECT_EQ((sRgb{204, 51, 102}), NewsRowColour(d));
  EXPECT_EQ("Technical Calls - PPlay SELL INFY-EQ at Rs.1.2345, TRGT Rs.2.0000 : SL Rs.",
            h.logs.at(0));

  // An unknown scrip keeps the default precision and divisor.
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "x"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_EXCH_SEG, "nse_cm"},
                        {MNM_TRADING_SYMBOL, "NOPE"},
                        {MNM_INITIATION_PRICE, "12345"}}));
  const sNewsDetails& u = h.feed.Calls().at(1);
  EXPECT_EQ(2, u.precision);
  EXPECT_EQ("123.45", NewsCellText(u, NewsColumn::kInitiationPrice, false));
  EXPECT_EQ("nse_cm|NOPE", NewsCellText(u, NewsColumn::kIsinCode, false));
  EXPECT_EQ("Wire", NewsCellText(sNewsDetails{.source = "Wire"}, NewsColumn::kSource, false));
}

TEST(NewsDetailsBuild, ColoursAndIcons) {
  sNewsDetails d;
  EXPECT_EQ((sRgb{0, 255, 0}), NewsRowColour(d));
  d.provider = "xHeckylOlrik";
  EXPECT_EQ((sRgb{113, 198, 113}), NewsRowColour(d));
  d.provider = "OlrikPPlay";
  EXPECT_EQ((sRgb{128, 128, 128}), NewsRowColour(d));
  d.provider = "INDIAN_X";
  EXPECT_EQ((sRgb{135, 99, 101}), NewsRowColour(d));
  d.category = "research reports";
  EXPECT_EQ((sRgb{100, 149, 237}), NewsRowColour(d));
  d.read = true;
  EXPECT_EQ((sRgb{255, 228, 225}), NewsRowColour(d));
  d.transactionType = "BUY";
  EXPECT_EQ((sRgb{56, 142, 142}), NewsRowColour(d));

  sNewsDetails r{.category = "research reports", .reportType = "Research Calls"};
  sNewsDetails t{.category = "trading calls", .reportType = "Technical Calls"};
  sNewsDetails o{.category = "Option Calls", .reportType = "Option Calls"};
  sNewsDetails n{.category = "Economy", .reportType = "Wire"};
  EXPECT_EQ(26102, NewsIcon(r));
  EXPECT_EQ(26103, NewsIcon(t));
  EXPECT_EQ(26103, NewsIcon(o));
  EXPECT_EQ(26101, NewsIcon(n));
  EXPECT_EQ(0, BrokerCallsIcon(n));
  EXPECT_EQ(26103, BrokerCallsIcon(o));
  for (sNewsDetails* x : {&r, &t, &o, &n}) x->read = true;
  EXPECT_EQ(26098, NewsIcon(r));
  EXPECT_EQ(26099, NewsIcon(t));
  EXPECT_EQ(26100, NewsIcon(n));
  EXPECT_EQ(26098, BrokerCallsIcon(r));
  EXPECT_EQ(26099, BrokerCallsIcon(t));
}

TEST(NewsDetailsBuild, ResearchIsFiledForTheOtherCashExchange) {
  Harness h;
  h.bySymbol["bse_cm|TCS"] = MakeScrip("bse_cm", "532540", "TCS");
  h.bySymbol["nse_cm|TCS-EQ"] = MakeScrip("nse_cm", "11536", "TCS-EQ");
  ASSERT_EQ(2, h.Build({{MNM_CATEGORY, "research reports"},
                        {MNM_USER, "Desk"},
                        {MNM_HEADLINE, "Buy TCS"},
                        {MNM_BODY_TEXT, "up 5%"},
                        {MNM_EXCH_SEG, "bse_cm"},
                        {MNM_TRADING_SYMBOL, "TCS"}}));
  ASSERT_EQ(1u, h.sent.size());
  EXPECT_EQ("add_research_reports", h.sent[0].first);
  const std::vector<sRequestField> want = {{MNM_USER, "Desk"},
                                           {MNM_PEER_TEXT, "PEER"},
                                           {MNM_EXCH_SEG, "nse_cm"},
                                           {MNM_TRADING_SYMBOL, "TCS-EQ"},
                                           {MNM_REPORT_TYPE, "Research Call"},
                                           {MNM_BODY_TEXT, "up 5-"},
                                           {MNM_PEER_USER, "HOSTID"},
                                           {MNM_HEADLINE, "Buy TCS"},
                                           {MNM_HEADLINE, "Buy TCS"},
                                           {MNM_CATEGORY, "research reports"}};
  ASSERT_EQ(want.size(), h.sent[0].second.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(want[i].id, h.sent[0].second[i].id) << i;
    EXPECT_EQ(want[i].value, h.sent[0].second[i].value) << i;
  }
  ASSERT_EQ(2u, h.feed.Calls().size());
  EXPECT_EQ("bse_cm|TCS", h.feed.Calls()[0].scripPairs);
  EXPECT_EQ("nse_cm|TCS-EQ", h.feed.Calls()[1].scripPairs);
  EXPECT_EQ("nse_cm|11536", h.feed.Calls()[1].isinList);
  EXPECT_EQ((std::vector<std::string>{"Research Calls - Desk BUY TCS at up 5- ",
                                      "Research Calls - Desk BUY TCS-EQ at up 5- "}),
            h.logs);
  EXPECT_EQ(2, h.beeps);

  // nse_cm drops "-EQ"; found only by its unique key. History: no
  // announcements. A failed send keeps the first record only.
  h.byKey["bse_cm|WIPRO"] = MakeScrip("bse_cm", "507685", "WIPRO");
  h.sendOk = false;
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "research"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_EXCH_SEG, "nse_cm"},
                        {MNM_TRADING_SYMBOL, "WIPRO-EQ"}},
                       true));
  ASSERT_EQ(2u, h.sent.size());
  EXPECT_EQ("bse_cm", h.sent[1].second[2].value);
  EXPECT_EQ("WIPRO", h.sent[1].second[3].value);
  h.sendOk = true;
  ASSERT_EQ(2, h.Build({{MNM_CATEGORY, "research"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_EXCH_SEG, "nse_cm"},
                        {MNM_TRADING_SYMBOL, "WIPRO-EQ"}},
                       true));
  EXPECT_EQ(5u, h.feed.Calls().size());
  EXPECT_EQ(2u, h.logs.size());
  EXPECT_EQ(2u, h.live.size());

  // Without "-EQ", and for technical calls, nothing is cross-filed.
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "research"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_EXCH_SEG, "nse_cm"},
                        {MNM_TRADING_SYMBOL, "WIPRO"}}));
  ASSERT_EQ(1, h.Build({{MNM_CATEGORY, "trading calls"},
                        {MNM_BODY_TEXT, "b"},
                        {MNM_EXCH_SEG, "bse_cm"},
                        {MNM_TRADING_SYMBOL, "TCS"}}));
  EXPECT_EQ(3u, h.sent.size());
}

TEST(NewsDetailsBuild, BeepFollowsTheSwitch) {
  Harness h;
  h.beepOn = false;
  h.Build({{MNM_CATEGORY, "trading calls"}, {MNM_BODY_TEXT, "b"}});
  EXPECT_EQ(0, h.beeps);
  EXPECT_EQ(1u, h.live.size());
  h.beepOn = true;
  h.Build({{MNM_CATEGORY, "trading calls"}, {MNM_BODY_TEXT, "b"}});
  EXPECT_EQ(1, h.beeps);
  // Plain news has no alert line.
  h.Build({{MNM_CATEGORY, "markets"}, {MNM_BODY_TEXT, "b"}});
  EXPECT_EQ(2u, h.logs.size());
}

}  // namespace
}  // namespace kovo
