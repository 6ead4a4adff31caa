// The host functions as a plug-in calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <kovozint/host_api.h>

#include "host/core/host_core.h"
#include "platform/headless_ui_thread.h"

namespace kovo::host {
namespace {

sScripDetails Scrip(const char* seg, const char* token, const char* symbol) {
  sScripDetails s{};
  std::strncpy(s.texts[KOVO_SCRIP_EXCH_SEG], seg, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_TOKEN], token, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_TRAD_SYMBOL], symbol, KOVO_SCRIP_TEXT_LEN - 1);
  return s;
}

sOrderEntryInfo Order(const char* key, int32_t quantity = 10) {
  sOrderEntryInfo order{};
  std::strncpy(order.scripKey, key, KOVO_ORDER_TEXT_LEN - 1);
  order.quantity = quantity;
  return order;
}

// The plug-in side of the asynchronous scrip answers.
struct Answer {
  std::string context;
  sScripDetails details;
};
std::vector<Answer> g_answers;
void OnScripDetails(const char* context, const sScripDetails* details) {
  g_answers.push_back({context ? context : "<null>", details ? *details : sScripDetails{}});
}

class HostExports : public ::testing::Test {
 protected:
  void SetUp() override {
    g_answers.clear();
    core.Scrips().Load({Scrip("nse_cm", "2885", "RELIANCE-EQ"), Scrip("nse_cm", "11536", "TCS-EQ"),
                        Scrip("nse_fo", "40001", "NIFTY-OPT")});
    InstallHost(&core);
  }

  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  CHostCore core{HostConfig{}, ui, hostUi};
};

TEST_F(HostExports, WithoutAHostEveryFunctionFailsAndEmptiesItsOutputs) {
  InstallHost(nullptr);
  char a[16], b[16], c[16];
  auto dirty = [&] {
    for (char* p : {a, b, c}) std::memset(p, 'x', sizeof a);
  };
  EXPECT_EQ(pu_get_exe_app(), nullptr);
  dirty();
  EXPECT_EQ(pu_get_peer_data(a, sizeof a, b, sizeof b, c, sizeof c), 0);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "");
  EXPECT_STREQ(c, "");

  sScripDetails details = Scrip("nse_cm", "2885", "RELIANCE-EQ");
  EXPECT_EQ(pu_get_scrip_details("nse_cm", "2885", &details), 0);
  EXPECT_STREQ(details.texts[KOVO_SCRIP_TOKEN], "") << "the record is emptied";
  core.SetScripDetailsNotify(&OnScripDetails);
  EXPECT_EQ(pu_get_scrip_details_context("nse_cm", "2885", "c"), 0);
  const sOrderEntryInfo order = Order("nse_cm|2885");
  dirty();
  EXPECT_EQ(pu_zint_invoke_order_entry(&order, "src", a, sizeof a), 0);
  EXPECT_STREQ(a, "the host is not");
  EXPECT_EQ(kovo_host_lookup("pu_get_scrip_details"), nullptr);
  pu_add_to_tabbed_log("lost");

  EXPECT_TRUE(core.LogLines().empty());
  EXPECT_TRUE(hostUi.Entries().empty());
  EXPECT_EQ(ui.Pump(100), 0u);
  EXPECT_TRUE(g_answers.empty());
}

TEST_F(HostExports, MarketWatchListsOnlyWholeKeys) {
  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm|2885"), 1);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_fo|40001"), 1);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm|TCS-EQ"), 1);
  char some[28];
  EXPECT_EQ(pu_Get_MW_Scrips(some, sizeof some), 3) << "the count says what did not fit";
  EXPECT_STREQ(some, "nse_cm|2885\nnse_fo|40001") << "only whole keys";
}

TEST_F(HostExports, AsyncScripAnswersArriveOnTheUiThreadOnlyWhenPumped) {
  EXPECT_EQ(pu_get_scrip_details_context("nse_cm", "2885", "ctx"), 0) << "no receiver yet";
  core.SetScripDetailsNotify(&OnScripDetails);

  char context[16] = "first";
  ASSERT_EQ(pu_get_scrip_details_context("nse_cm", "2885", context), 1);
  std::strcpy(context, "reused");  // the caller's buffer is free once the call returns
  ASSERT_EQ(pu_get_scrip_details_from_TradSymbol_context("nse_cm", "TCS-EQ", nullptr), 1);
  ASSERT_EQ(pu_get_scrip_details_context("nse_cm", "999", "missing"), 1);
  EXPECT_TRUE(g_answers.empty()) << "nothing is answered inside the call";

  EXPECT_EQ(ui.Pump(100), 3u);
  ASSERT_EQ(g_answers.size(), 3u);
  EXPECT_EQ(g_answers[0].context, "first");
  EXPECT_STREQ(g_answers[0].details.texts[KOVO_SCRIP_TOKEN], "2885");
  EXPECT_EQ(g_answers[1].context, "");
  EXPECT_STREQ(g_answers[1].details.texts[KOVO_SCRIP_TOKEN], "11536");
  EXPECT_EQ(g_answers[2].context, "missing");
  EXPECT_STREQ(g_answers[2].details.texts[KOVO_SCRIP_EXCH_SEG], "");
  EXPECT_STREQ(g_answers[2].details.texts[KOVO_SCRIP_TOKEN], "");

  // A receiver taken away before the answer runs is not called.
  ASSERT_EQ(pu_get_scrip_details_context("nse_cm", "2885", "late"), 1);
  core.SetScripDetailsNotify(nullptr);
  EXPECT_EQ(ui.Pump(100), 1u);
  EXPECT_EQ(g_answers.size(), 3u);
}

TEST_F(HostExports, OrderEntryOpensOnlyForKnownScrips) {
  const sOrderEntryInfo buy = Order("nse_cm|2885", 25);
  char error[64] = "stale";
  ASSERT_EQ(pu_zint_invoke_order_entry(&buy, "scanner", error, sizeof error), 1);
  EXPECT_STREQ(error, "");
  ASSERT_EQ(pu_zint_invoke_order_entry2(&buy, "tag-1", KOVO_TXN_SELL, error, sizeof error), 1);

  const sOrderEntryInfo unknown = Order("nse_cm|999");
  EXPECT_EQ(pu_zint_invoke_order_entry(&unknown, "scanner", error, sizeof error), 0);
  EXPECT_STREQ(error, "unknown scrip nse_cm|999");
  EXPECT_EQ(pu_zint_invoke_order_entry(nullptr, "scanner", error, sizeof error), 0);
  EXPECT_STRNE(error, "");

  // A spread opens both legs or neither.
  const sOrderEntryInfo leg = Order("nse_fo|40001", 50);
  EXPECT_EQ(pu_zint_invoke_spread_order_entry(&leg, &unknown, error, sizeof error), 0);
  EXPECT_STREQ(error, "unknown scrip nse_cm|999");
  ASSERT_EQ(pu_zint_invoke_spread_order_entry(&leg, &buy, error, sizeof error), 1);

  const auto entries = hostUi.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_STREQ(entries[0].order.scripKey, "nse_cm|2885");
  EXPECT_EQ(entries[0].order.quantity, 25);
  EXPECT_EQ(entries[0].tagOrSource, "scanner");
  EXPECT_EQ(entries[1].transactionType, KOVO_TXN_SELL);
  EXPECT_EQ(entries[1].kind, "entry2");
  EXPECT_EQ(entries[2].kind, "spread-first");
  EXPECT_EQ(entries[2].order.quantity, 50);
  EXPECT_EQ(entries[3].kind, "spread-second");
  EXPECT_STREQ(entries[3].order.scripKey, "nse_cm|2885");

  const auto log = core.LogLines();
  ASSERT_EQ(log.size(), 4u) << "one line per window opened";
}

}  // namespace
}  // namespace kovo::host
