// The host functions as a plug-in calls them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <kovozint/host_api.h>

#include "host/core/host_core.h"
#include "platform/dialogs.h"
#include "platform/headless_ui_thread.h"

namespace kovo::host {
namespace {

sScripDetails Scrip(std::initializer_list<std::pair<int, const char*>> texts) {
  sScripDetails s{};
  for (const auto& [position, text] : texts) {
    std::strncpy(s.texts[position], text, KOVO_SCRIP_TEXT_LEN - 1);
  }
  s.pricePrecision = 2;
  s.priceMultiplier = 100.0;
  s.quantityMultiplier = 1;
  return s;
}

sScripDetails Option(const char* token, const char* strike, const char* type) {
  return Scrip({{KOVO_SCRIP_EXCH_SEG, "nse_fo"},
                {KOVO_SCRIP_TOKEN, token},
                {KOVO_SCRIP_TRAD_SYMBOL, "NIFTY-OPT"},
                {KOVO_SCRIP_EXPIRY, "26DEC2024"},
                {KOVO_SCRIP_STRIKE, strike},
                {KOVO_SCRIP_OPTION_TYPE, type},
                {KOVO_SCRIP_UNDERLYING, "26000"}});
}

std::vector<sScripDetails> SampleScrips() {
  return {
      Scrip({{KOVO_SCRIP_EXCH_SEG, "nse_cm"},
             {KOVO_SCRIP_TOKEN, "2885"},
             {KOVO_SCRIP_TRAD_SYMBOL, "RELIANCE-EQ"},
             {KOVO_SCRIP_NAME, "Reliance Industries"}}),
      Scrip({{KOVO_SCRIP_EXCH_SEG, "nse_cm"},
             {KOVO_SCRIP_TOKEN, "11536"},
             {KOVO_SCRIP_TRAD_SYMBOL, "TCS-EQ"}}),
      Scrip({{KOVO_SCRIP_EXCH_SEG, "nse_cm"},
             {KOVO_SCRIP_TOKEN, "26000"},
             {KOVO_SCRIP_TRAD_SYMBOL, "NIFTY 50"},
             {KOVO_SCRIP_INSTRUMENT, "INDEX"}}),
      Option("40003", "2410000", "CE"),
      Option("40001", "2400000", "CE"),
      Option("40002", "2400000", "PE"),
      Option("40005", "2390000", "PE"),
  };
}

std::string Seg(const sScripDetails& s) {
  return s.texts[KOVO_SCRIP_EXCH_SEG];
}
std::string Token(const sScripDetails& s) {
  return s.texts[KOVO_SCRIP_TOKEN];
}

sOrderEntryInfo Order(const char* key, int32_t quantity = 10) {
  sOrderEntryInfo order{};
  std::strncpy(order.scripKey, key, KOVO_ORDER_TEXT_LEN - 1);
  std::strncpy(order.productType, "MIS", KOVO_ORDER_TEXT_LEN - 1);
  order.quantity = quantity;
  order.price = 250000;
  order.orderType = 1;
  order.validity = 1;
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

std::vector<std::string> g_comboItems;
void AddComboItem(void* window, int32_t controlId, const char* text) {
  g_comboItems.push_back(std::to_string(reinterpret_cast<uintptr_t>(window)) + "/" +
                         std::to_string(controlId) + "/" + text);
}

std::vector<int32_t> g_hotKeyIds;
void OnHotKey(void*, int32_t id) {
  g_hotKeyIds.push_back(id);
}

HostConfig TestConfig() {
  HostConfig config;
  config.appName = "kovo_trader_now";
  config.version = "3.12.0.7";
  config.peerText = "peer-one-long";
  config.peerText2 = "DEMO01";
  config.userFolderId = "folder-7";
  config.privilege = KOVO_PRIV_DEALER;
  config.userId = "U100";
  config.userName = "Asha Rao";
  config.exchanges = {"NSE", "NFO", "MCX"};
  return config;
}

class HostExports : public ::testing::Test {
 protected:
  explicit HostExports(HostConfig config = TestConfig()) : core(std::move(config), ui, hostUi) {}
  void SetUp() override {
    g_answers.clear();
    g_comboItems.clear();
    g_hotKeyIds.clear();
    core.Scrips().Load(SampleScrips());
    InstallHost(&core);
  }
  void TearDown() override { InstallHost(nullptr); }

  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  CHostCore core;
};

TEST_F(HostExports, IdentityTextsAreCutToTheCallersBuffers) {
  EXPECT_EQ(pu_get_exe_app(), static_cast<void*>(&core));

  char peer[32], peer2[32], folder[32];
  ASSERT_EQ(pu_get_peer_data(peer, sizeof peer, peer2, sizeof peer2, folder, sizeof folder), 1);
  EXPECT_STREQ(peer, "peer-one-long");
  EXPECT_STREQ(peer2, "DEMO01");
  EXPECT_STREQ(folder, "folder-7");
  char small[5];
  char untouched[4] = {'x', 'x', 'x', 'x'};
  ASSERT_EQ(pu_get_peer_data(small, sizeof small, nullptr, 64, untouched, 0), 1);
  EXPECT_STREQ(small, "peer");
  EXPECT_EQ(untouched[0], 'x') << "a zero capacity writes nothing";

  char name[8], version[32];
  ASSERT_EQ(pu_get_exe_version(name, sizeof name, version, sizeof version), 1);
  EXPECT_STREQ(name, "kovo_tr");
  EXPECT_STREQ(version, "3.12.0.7");

  char id[3], user[64];
  ASSERT_EQ(pu_get_UserDetails(id, sizeof id, user, sizeof user), 1);
  EXPECT_STREQ(id, "U1");
  EXPECT_STREQ(user, "Asha Rao");

  int32_t privilege = -5;
  EXPECT_EQ(pu_get_user_privilige("DEMO01", &privilege), 1);
  EXPECT_EQ(privilege, KOVO_PRIV_DEALER);
  privilege = -5;
  EXPECT_EQ(pu_get_user_privilige("SOMEONE", &privilege), 0);
  EXPECT_EQ(pu_get_user_privilige(nullptr, &privilege), 0);
  EXPECT_EQ(privilege, -5) << "an unknown user leaves the value alone";
  EXPECT_EQ(pu_get_user_privilige("DEMO01", nullptr), 0);
}

TEST_F(HostExports, WithoutAHostEveryFunctionFailsAndEmptiesItsOutputs) {
  InstallHost(nullptr);
  char a[16], b[16], c[16];
  auto dirty = [&] {
    std::memset(a, 'x', sizeof a);
    std::memset(b, 'x', sizeof b);
    std::memset(c, 'x', sizeof c);
  };
  EXPECT_EQ(pu_get_exe_app(), nullptr);
  dirty();
  EXPECT_EQ(pu_get_peer_data(a, sizeof a, b, sizeof b, c, sizeof c), 0);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "");
  EXPECT_STREQ(c, "");
  dirty();
  EXPECT_EQ(pu_get_exe_version(a, sizeof a, b, sizeof b), 0);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "");
  dirty();
  EXPECT_EQ(pu_get_UserDetails(a, sizeof a, b, sizeof b), 0);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "");
  dirty();
  EXPECT_EQ(pu_convert_exchange("NSE", a, sizeof a), 0);
  EXPECT_STREQ(a, "");
  dirty();
  EXPECT_EQ(pu_get_required_data("nse_cm", a, 0, 0), 0);
  EXPECT_STREQ(a, "");
  dirty();
  EXPECT_EQ(pu_Get_MW_Scrips(a, sizeof a), 0);
  EXPECT_STREQ(a, "");
  dirty();
  EXPECT_EQ(pu_get_option_tokens("nse_fo", "40001", 2400000, a, sizeof a, b, sizeof b), 0);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "");

  sScripDetails details = SampleScrips()[0];
  EXPECT_EQ(pu_get_scrip_details("nse_cm", "2885", &details), 0);
  EXPECT_STREQ(details.texts[KOVO_SCRIP_TOKEN], "") << "the record is emptied";
  int32_t privilege = 9;
  EXPECT_EQ(pu_get_user_privilige("DEMO01", &privilege), 0);
  EXPECT_EQ(privilege, 9);
  core.SetScripDetailsNotify(&OnScripDetails);
  EXPECT_EQ(pu_get_scrip_details_context("nse_cm", "2885", "c"), 0);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm|2885"), 0);
  EXPECT_EQ(pu_InvokeDialog(2, "", "", ""), 0);
  EXPECT_EQ(pu_show_message_box("text", "caption", kMbOk), 0);
  EXPECT_EQ(pu_is_valid_account("AB12"), 0);
  EXPECT_EQ(register_hotkey(nullptr, &OnHotKey, "t", 1, "g", "F2", "d"), 0);
  EXPECT_EQ(pu_load_exchange_combo(nullptr, 1, &AddComboItem), 0);
  EXPECT_EQ(pu_remove_news_for_products("A"), 0);
  double strikes[4];
  EXPECT_EQ(pu_get_intersted_scrip_field("nse_fo", "40001", 5, strikes, 4), 0);
  const sOrderEntryInfo order = Order("nse_cm|2885");
  dirty();
  EXPECT_EQ(pu_zint_invoke_order_entry(&order, "src", a, sizeof a), 0);
  EXPECT_STREQ(a, "the host is not");
  EXPECT_EQ(kovo_host_lookup("pu_get_scrip_details"), nullptr);
  pu_add_to_tabbed_log("lost");

  EXPECT_TRUE(core.LogLines().empty());
  EXPECT_TRUE(core.MarketWatch().empty());
  EXPECT_TRUE(hostUi.Boxes().empty());
  EXPECT_TRUE(hostUi.Entries().empty());
  EXPECT_EQ(ui.Pump(100), 0u);
  EXPECT_TRUE(g_answers.empty());
}

TEST_F(HostExports, ScripLookupsFillOrEmptyTheRecord) {
  sScripDetails details{};
  ASSERT_EQ(pu_get_scrip_details("nse_cm", "2885", &details), 1);
  EXPECT_STREQ(details.texts[KOVO_SCRIP_NAME], "Reliance Industries");
  ASSERT_EQ(pu_get_scrip_details_from_TradSymbol("NSE", "tcs-eq", &details), 1);
  EXPECT_EQ(Token(details), "11536");
  ASSERT_EQ(pu_get_scrip_on_uniquekey("nse_fo|40002", &details), 1);
  EXPECT_STREQ(details.texts[KOVO_SCRIP_OPTION_TYPE], "PE");

  EXPECT_EQ(pu_get_scrip_details("nse_cm", "999", &details), 0);
  EXPECT_EQ(Seg(details), "") << "not found: an empty record";
  details = SampleScrips()[0];
  EXPECT_EQ(pu_get_scrip_on_uniquekey(nullptr, &details), 0);
  EXPECT_EQ(Token(details), "");
  EXPECT_EQ(pu_get_scrip_details(nullptr, nullptr, &details), 0);
  EXPECT_EQ(pu_get_scrip_details("nse_cm", "2885", nullptr), 0);

  int32_t precision = 7;
  double multiplier = 0;
  EXPECT_EQ(pu_get_precision_n_fraction("nse_cm", "NOPE", &precision, &multiplier), 0);
  EXPECT_EQ(precision, 7);
  EXPECT_EQ(pu_get_precision_n_fraction("nse_cm", "RELIANCE-EQ", &precision, &multiplier), 1);
  EXPECT_EQ(precision, 2);

  char seg[8];
  EXPECT_EQ(pu_convert_exchange(" nfo ", seg, sizeof seg), 1);
  EXPECT_STREQ(seg, "nse_fo");
  EXPECT_EQ(pu_convert_exchange("XYZ", seg, sizeof seg), 0);
  EXPECT_STREQ(seg, "");

  // Strikes of an option's series, counted in full even when they do not fit.
  double strikes[2] = {-1, -1};
  EXPECT_EQ(pu_get_intersted_scrip_field("nse_fo", "40002", 5, strikes, 2), 3);
  EXPECT_EQ(strikes[0], 2390000.0);
  EXPECT_EQ(strikes[1], 2400000.0);
  EXPECT_EQ(pu_get_intersted_scrip_field("nse_fo", "40002", 5, nullptr, 0), 3);
  EXPECT_EQ(pu_get_intersted_scrip_field("nse_fo", "40002", 4, strikes, 2), 0) << "only field 5";
  EXPECT_EQ(pu_get_intersted_scrip_field("nse_cm", "2885", 5, strikes, 2), 0) << "no option";

  char call[3], put[16];
  EXPECT_EQ(pu_get_option_tokens("nse_fo", "40003", 2400000, call, sizeof call, put, sizeof put),
            1);
  EXPECT_STREQ(call, "40");
  EXPECT_STREQ(put, "40002");
  EXPECT_EQ(pu_get_option_tokens("nse_fo", "40003", 2410000, call, sizeof call, put, sizeof put),
            1);
  EXPECT_STREQ(put, "") << "no put at that strike";
  EXPECT_EQ(pu_get_option_tokens("nse_fo", "40003", 123, call, sizeof call, put, sizeof put), 0);
  EXPECT_STREQ(call, "");
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
  EXPECT_EQ(Token(g_answers[0].details), "2885");
  EXPECT_EQ(g_answers[1].context, "");
  EXPECT_EQ(Token(g_answers[1].details), "11536");
  EXPECT_EQ(g_answers[2].context, "missing");
  EXPECT_EQ(Seg(g_answers[2].details), "");
  EXPECT_EQ(Token(g_answers[2].details), "");

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
  char shortError[8];
  EXPECT_EQ(pu_zint_invoke_order_entry2(&unknown, "t", KOVO_TXN_BUY, shortError, sizeof shortError),
            0);
  EXPECT_STREQ(shortError, "unknown");
  EXPECT_EQ(pu_zint_invoke_order_entry(nullptr, "scanner", error, sizeof error), 0);
  EXPECT_STRNE(error, "");
  const sOrderEntryInfo blank = Order("  ");
  EXPECT_EQ(pu_zint_invoke_order_entry(&blank, nullptr, nullptr, 0), 0);
  sOrderEntryInfo unterminated = Order("");
  std::memset(unterminated.scripKey, 'k', sizeof unterminated.scripKey);
  EXPECT_EQ(pu_zint_invoke_order_entry(&unterminated, "", error, sizeof error), 0);

  // A spread opens both legs or neither.
  const sOrderEntryInfo leg = Order("nse_fo|40001", 50);
  EXPECT_EQ(pu_zint_invoke_spread_order_entry(&leg, &unknown, error, sizeof error), 0);
  EXPECT_STREQ(error, "unknown scrip nse_cm|999");
  EXPECT_EQ(pu_zint_invoke_spread_order_entry(&leg, nullptr, error, sizeof error), 0);
  ASSERT_EQ(pu_zint_invoke_spread_order_entry(&leg, &buy, error, sizeof error), 1);

  const auto entries = hostUi.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_STREQ(entries[0].order.scripKey, "nse_cm|2885");
  EXPECT_EQ(entries[0].order.quantity, 25);
  EXPECT_EQ(entries[0].tagOrSource, "scanner");
  EXPECT_EQ(entries[0].kind, "entry");
  EXPECT_EQ(entries[1].tagOrSource, "tag-1");
  EXPECT_EQ(entries[1].transactionType, KOVO_TXN_SELL);
  EXPECT_EQ(entries[1].kind, "entry2");
  EXPECT_EQ(entries[2].kind, "spread-first");
  EXPECT_EQ(entries[2].order.quantity, 50);
  EXPECT_EQ(entries[3].kind, "spread-second");
  EXPECT_STREQ(entries[3].order.scripKey, "nse_cm|2885");

  const auto log = core.LogLines();
  ASSERT_EQ(log.size(), 4u) << "one line per window opened";
  EXPECT_NE(log[0].find("nse_cm|2885"), std::string::npos);
  EXPECT_NE(log[0].find("scanner"), std::string::npos);
}

TEST_F(HostExports, ExchangeComboRequiredDataAndMarketWatch) {
  int window = 0;
  ASSERT_EQ(pu_load_exchange_combo(&window, 1001, &AddComboItem), 1);
  const std::string prefix = std::to_string(reinterpret_cast<uintptr_t>(&window)) + "/1001/";
  EXPECT_EQ(g_comboItems,
            (std::vector<std::string>{prefix + "NSE", prefix + "NFO", prefix + "MCX"}));
  EXPECT_EQ(pu_load_exchange_combo(&window, 1001, nullptr), 0);

  // The buffer is 16 bytes by contract: nothing past it may change.
  char out[24];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(pu_get_required_data("mcx_sx", out, 1, 2), 1);
  EXPECT_STREQ(out, "MCXSX");
  EXPECT_EQ(out[16], 'x');
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(pu_get_required_data("nowhere-at-all-exchange", out, 0, 0), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(out[16], 'x');
  EXPECT_EQ(pu_get_required_data("NFO", nullptr, 0, 0), 0);
  EXPECT_EQ(pu_get_required_data(nullptr, out, 0, 0), 0);

  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm|2885"), 1);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm|2885"), 0);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm"), 0);
  EXPECT_EQ(pu_add_scrip_to_MW(nullptr), 0);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_fo|40001"), 1);
  EXPECT_EQ(pu_add_scrip_to_MW("nse_cm|TCS-EQ"), 1);
  char all[64];
  EXPECT_EQ(pu_Get_MW_Scrips(all, sizeof all), 3);
  EXPECT_STREQ(all, "nse_cm|2885\nnse_fo|40001\nnse_cm|TCS-EQ");
  char some[28];
  EXPECT_EQ(pu_Get_MW_Scrips(some, sizeof some), 3) << "the count says what did not fit";
  EXPECT_STREQ(some, "nse_cm|2885\nnse_fo|40001") << "only whole keys";
  char tiny[4] = "abc";
  EXPECT_EQ(pu_Get_MW_Scrips(tiny, sizeof tiny), 3);
  EXPECT_STREQ(tiny, "");
  EXPECT_EQ(pu_Get_MW_Scrips(nullptr, 0), 3);
}

TEST_F(HostExports, DialogsAndMessageBoxesGoToTheHostUi) {
  for (int32_t kind : {2, 3, 4, 8}) {
    EXPECT_EQ(pu_InvokeDialog(kind, "nse_cm|2885", "a", nullptr), 1) << kind;
  }
  for (int32_t kind : {0, 1, 5, 7, 9, -2}) EXPECT_EQ(pu_InvokeDialog(kind, "", "", ""), 0) << kind;
  const auto dialogs = hostUi.InvokedDialogs();
  ASSERT_EQ(dialogs.size(), 4u);
  EXPECT_EQ(dialogs[3].kind, 8);
  EXPECT_EQ(dialogs[3].scrip, "nse_cm|2885");
  EXPECT_EQ(dialogs[3].text1, "a");
  EXPECT_EQ(dialogs[3].text2, "");

  hostUi.AnswerMessageBox(kIdNo);
  EXPECT_EQ(pu_show_message_box("Close all?", "KovoZint", kMbYesNo | kMbIconQuestion), kIdNo);
  EXPECT_EQ(pu_show_message_box("Again?", nullptr, kMbYesNoCancel), kIdYes) << "first button";
  EXPECT_EQ(pu_show_message_box(nullptr, "c", kMbOkCancel), kIdOk);

  // From another thread the box waits for the UI thread.
  std::atomic<int32_t> answer{-1};
  std::thread worker([&] { answer = pu_show_message_box("from a worker", "w", kMbOk); });
  while (answer.load() == -1) {
    ui.WaitForTasks(std::chrono::milliseconds(10));
    ui.Pump(10);
  }
  worker.join();
  EXPECT_EQ(answer.load(), kIdOk);

  const auto boxes = hostUi.Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, "Close all?");
  EXPECT_EQ(boxes[0].style, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(boxes[1].caption, "");
  EXPECT_EQ(boxes[2].text, "");
  EXPECT_EQ(boxes[3].text, "from a worker");
}

TEST_F(HostExports, HotKeyRoundTripAndLookup) {
  int window = 0;
  ASSERT_EQ(register_hotkey(&window, &OnHotKey, "Square off", 12, "Orders", "Alt+F9", "all"), 1);
  EXPECT_EQ(register_hotkey(&window, nullptr, "x", 13, "g", "F3", "d"), 0);
  EXPECT_EQ(register_hotkey(&window, &OnHotKey, nullptr, 14, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(core.HotKeys().size(), 1u);
  EXPECT_EQ(core.HotKeys()[0].text, "Square off");
  EXPECT_EQ(core.HotKeys()[0].group, "Orders");
  EXPECT_TRUE(core.PressHotKey("alt+f9"));
  EXPECT_EQ(g_hotKeyIds, std::vector<int32_t>{12 + 1024});

  // The plug-in finds register_hotkey through the host's own table.
  using RegisterFn = decltype(&register_hotkey);
  void* found = kovo_host_lookup("register_hotkey");
  ASSERT_EQ(found, reinterpret_cast<void*>(&register_hotkey));
  const auto viaTable = reinterpret_cast<RegisterFn>(found);
  EXPECT_EQ(viaTable(&window, &OnHotKey, "Flip", 20, "", "F8", ""), 1);
  EXPECT_TRUE(core.PressHotKey("F8"));
  EXPECT_EQ(g_hotKeyIds.back(), 20 + 1024);
  EXPECT_EQ(kovo_host_lookup(nullptr), nullptr);
  EXPECT_EQ(kovo_host_lookup("kovo_host_lookup"), nullptr);
}

TEST_F(HostExports, LogAndNews) {
  pu_add_to_tabbed_log("plug-in started");
  pu_add_to_tabbed_log(nullptr);
  EXPECT_EQ(pu_remove_news_for_products("ZINT\n\nALERTS\r\n"), 1);
  const auto log = core.LogLines();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].substr(8), " plug-in started");
  EXPECT_EQ(log[1].substr(8), " ");
  EXPECT_NE(log[2].find("ZINT, ALERTS"), std::string::npos);
}

TEST_F(HostExports, AnyPlainAccountIdIsValidWithoutAConfiguredList) {
  EXPECT_EQ(pu_is_valid_account("AB1234"), 1);
  EXPECT_EQ(pu_is_valid_account(" AB1234 "), 1);
  EXPECT_EQ(pu_is_valid_account("A2345678901234567890"), 1) << "20 characters";
  EXPECT_EQ(pu_is_valid_account("A23456789012345678901"), 0) << "21 characters";
  EXPECT_EQ(pu_is_valid_account("AB-12"), 0);
  EXPECT_EQ(pu_is_valid_account("AB 12"), 0);
  EXPECT_EQ(pu_is_valid_account("   "), 0);
  EXPECT_EQ(pu_is_valid_account(nullptr), 0);
}

HostConfig SwitchedOffConfig() {
  HostConfig config = TestConfig();
  config.switchedOff = {"pu_get_peer_data", "pu_InvokeDialog"};
  config.validAccounts = {"CL01", "CL02"};
  return config;
}

class RestrictedHostExports : public HostExports {
 protected:
  RestrictedHostExports() : HostExports(SwitchedOffConfig()) {}
};

TEST_F(RestrictedHostExports, SwitchedOffFunctionsAreHiddenButStillWork) {
  EXPECT_EQ(kovo_host_lookup("pu_get_peer_data"), nullptr);
  EXPECT_EQ(kovo_host_lookup("pu_InvokeDialog"), nullptr);
  EXPECT_EQ(kovo_host_lookup("pu_get_exe_version"), reinterpret_cast<void*>(&pu_get_exe_version));
  char peer[16];
  EXPECT_EQ(pu_get_peer_data(peer, sizeof peer, nullptr, 0, nullptr, 0), 1);
  EXPECT_STREQ(peer, "peer-one-long");
  EXPECT_EQ(pu_InvokeDialog(2, "", "", ""), 1);

  EXPECT_EQ(pu_is_valid_account("CL02"), 1);
  EXPECT_EQ(pu_is_valid_account(" CL01"), 1);
  EXPECT_EQ(pu_is_valid_account("AB1234"), 0) << "only the listed accounts";
}

}  // namespace
}  // namespace kovo::host
