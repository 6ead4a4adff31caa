#include "host/core/host_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/time_format.h"
#include "fakes/temp_dir.h"
#include "host/core/exchanges.h"
#include "platform/headless_ui_thread.h"

namespace kovo::host {
namespace {

using Texts = std::vector<std::pair<int, std::string>>;

sScripDetails Scrip(std::string seg, std::string token, std::string symbol, Texts texts = {},
                    int32_t precision = 2, double multiplier = 100.0) {
  texts.insert(
      texts.end(),
      {{KOVO_SCRIP_EXCH_SEG, seg}, {KOVO_SCRIP_TOKEN, token}, {KOVO_SCRIP_TRAD_SYMBOL, symbol}});
  sScripDetails s{};
  for (const auto& [position, text] : texts) {
    std::strncpy(s.texts[position], text.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  }
  s.pricePrecision = precision;
  s.priceMultiplier = multiplier;
  return s;
}

sScripDetails Option(std::string token, std::string expiry, std::string strike, std::string type) {
  return Scrip("nse_fo", token, "NIFTY" + expiry + strike + type,
               {{KOVO_SCRIP_EXPIRY, expiry},
                {KOVO_SCRIP_STRIKE, strike},
                {KOVO_SCRIP_OPTION_TYPE, type},
                {KOVO_SCRIP_UNDERLYING, "26000"}});
}

// NIFTY options of two expiries, deliberately out of strike order.
std::vector<sScripDetails> SampleScrips() {
  return {Scrip("nse_cm", "2885", "RELIANCE-EQ"),
          Scrip("nse_cm", "11536", "TCS-EQ"),
          Scrip("bse_cm", "500325", "RELIANCE"),
          Scrip("mcx_fo", "234230", "GOLD26DECFUT", {}, 0, 1.0),
          Option("40003", "26DEC2024", "2410000", "CE"),
          Option("40001", "26DEC2024", "2400000", "CE"),
          Option("40004", "26DEC2024", "2410000", "PE"),
          Option("40002", "26DEC2024", "2400000", "PE"),
          Option("40005", "26DEC2024", "2390000", "CE"),
          Option("40010", "30JAN2025", "2500000", "CE")};
}

std::string TextOf(const std::optional<sScripDetails>& scrip, int position) {
  return scrip ? std::string(ScripDirectory::Text(*scrip, position)) : "<none>";
}

TEST(ScripDirectory, FindsByTokenTradingSymbolAndUniqueKey) {
  ScripDirectory scrips;
  scrips.Load(SampleScrips());
  // Exchange names and any case reach the same segment; tokens are exact.
  EXPECT_EQ(TextOf(scrips.Find("NSE_CM", " 2885 "), KOVO_SCRIP_TOKEN), "2885");
  EXPECT_FALSE(scrips.Find("bse_cm", "2885"));
  EXPECT_EQ(TextOf(scrips.FindByTradingSymbol("nse_cm", "reliance-eq"), KOVO_SCRIP_TOKEN), "2885");
  EXPECT_EQ(TextOf(scrips.FindByUniqueKey("nse_cm|11536"), KOVO_SCRIP_TRAD_SYMBOL), "TCS-EQ");
  EXPECT_FALSE(scrips.FindByUniqueKey("nse_cm|11536|x")) << "split at the first bar only";

  // Precision by trading symbol, else by token.
  int32_t precision = -1;
  double multiplier = -1;
  EXPECT_TRUE(scrips.PrecisionAndMultiplier("mcx_fo", "gold26decfut", &precision, &multiplier));
  EXPECT_EQ(multiplier, 1.0);
  EXPECT_TRUE(scrips.PrecisionAndMultiplier("NSE", "2885", &precision, &multiplier));
  EXPECT_EQ(precision, 2);

  // A new load replaces everything; within one load the first duplicate wins.
  scrips.Load({Scrip("nse_cm", "1", "FIRST"), Scrip("nse_cm", "1", "SECOND")});
  EXPECT_FALSE(scrips.Find("nse_cm", "2885"));
  EXPECT_EQ(TextOf(scrips.Find("nse_cm", "1"), KOVO_SCRIP_TRAD_SYMBOL), "FIRST");
}

TEST(ScripDirectory, OptionStrikesAndSeriesTokens) {
  ScripDirectory scrips;
  scrips.Load(SampleScrips());
  const std::vector<double> december{2390000, 2400000, 2410000};
  EXPECT_EQ(scrips.Strikes("nse_fo", "40004"), december) << "a put sees the same series";
  EXPECT_EQ(scrips.Strikes("nse_fo", "40010"), std::vector<double>{2500000}) << "other expiry";

  std::string call = "stale";
  std::string put = "stale";
  // Rupees times the multiplier rarely comes out whole.
  EXPECT_TRUE(scrips.OptionTokens("NFO", "40001", 24100.00 * 100.0 + 1e-7, &call, &put));
  EXPECT_EQ(call, "40003");
  EXPECT_EQ(put, "40004");
  EXPECT_TRUE(scrips.OptionTokens("nse_fo", "40001", 2390000, &call, &put));
  EXPECT_EQ(call, "40005");
  EXPECT_EQ(put, "") << "no put listed at that strike";
  EXPECT_FALSE(scrips.OptionTokens("nse_fo", "40001", 2500000, &call, &put))
      << "that strike exists only in another expiry";
  EXPECT_EQ(call, "");
}

TEST(ScripDirectory, SearchFindsOptionsByEveryWordOfTheText) {
  ScripDirectory scrips;
  std::vector<sScripDetails> master = SampleScrips();
  master.push_back(Scrip("nse_cm", "26000", "NIFTY 50", {{KOVO_SCRIP_SYMBOL, "NIFTY"}}));
  scrips.Load(master);
  const auto tokens = [](const std::vector<sScripDetails>& found) {
    std::vector<std::string> out;
    for (const sScripDetails& s : found)
      out.emplace_back(ScripDirectory::Text(s, KOVO_SCRIP_TOKEN));
    return out;
  };
  EXPECT_EQ(tokens(scrips.Search("nifty 2410000", 10)),
            (std::vector<std::string>{"40003", "40004"}))
      << "both sides of the strike, in master order";
  EXPECT_EQ(tokens(scrips.Search("  NIFTY  ce 26dec ", 10)),
            (std::vector<std::string>{"40003", "40001", "40005"}))
      << "every word must match, blanks and case aside";
  EXPECT_EQ(tokens(scrips.Search("nifty", 2)), (std::vector<std::string>{"40003", "40001"}))
      << "at most the limit";
  EXPECT_EQ(tokens(scrips.Search("nifty 50", 1)), std::vector<std::string>{"26000"})
      << "an exact trading symbol comes first even past the limit";
  EXPECT_EQ(tokens(scrips.Search("reliance", 10)), (std::vector<std::string>{"500325", "2885"}))
      << "the exact trading symbol before the one it is part of";
  EXPECT_TRUE(scrips.Search("   ", 10).empty());
  EXPECT_TRUE(scrips.Search("nifty", 0).empty());
  EXPECT_TRUE(scrips.Search("nifty pe 2390000", 10).empty()) << "no put listed at that strike";
}

TEST(ScripDirectory, ReadersSeeOneWholeMasterWhileLoadsReplaceIt) {
  // Two masters that differ in every record and in size.
  std::vector<sScripDetails> a{Option("90001", "26DEC2024", "100", "CE")};
  std::vector<sScripDetails> b{Option("90001", "26DEC2024", "200", "CE")};
  for (int i = 0; i < 500; ++i) {
    if (i < 300) a.push_back(Scrip("nse_cm", std::to_string(i), "A" + std::to_string(i)));
    b.push_back(Scrip("nse_cm", std::to_string(i), "B" + std::to_string(i)));
  }
  ScripDirectory scrips;
  scrips.Load(a);

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const std::string symbol = TextOf(scrips.Find("nse_cm", "0"), KOVO_SCRIP_TRAD_SYMBOL);
        if (symbol != "A0" && symbol != "B0") ++bad;
        const size_t size = scrips.Size();
        if (size != 301 && size != 501) ++bad;
        const auto strikes = scrips.Strikes("nse_fo", "90001");
        if (strikes != std::vector<double>{100} && strikes != std::vector<double>{200}) ++bad;
      }
    });
  }
  for (int i = 0; i < 200; ++i) scrips.Load(i % 2 ? a : b);
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(Exchanges, NamesAndCodesToSegmentsAndBack) {
  EXPECT_EQ(ConvertExchange("NSE"), "nse_cm");
  EXPECT_EQ(ConvertExchange(" nfo\t"), "nse_fo");
  EXPECT_EQ(ConvertExchange("mcx_sx"), "mcx_sx");
  EXPECT_EQ(ConvertExchange("NYSE"), "");
  EXPECT_EQ(ConvertExchange("nse_c"), "");
  EXPECT_EQ(DisplayName(" MCX_SX "), "MCXSX");
  EXPECT_EQ(DisplayName("LSE"), "");
}

class HostCore : public ::testing::Test {
 protected:
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
};

TEST_F(HostCore, MarketWatchKeepsUniqueWellFormedKeysInOrder) {
  CHostCore core({}, ui, hostUi);
  EXPECT_TRUE(core.AddToMarketWatch("nse_cm|2885"));
  EXPECT_TRUE(core.AddToMarketWatch(" bse_cm | 500325 "));
  EXPECT_FALSE(core.AddToMarketWatch("nse_cm | 2885")) << "duplicate once blanks are dropped";
  for (const char* bad : {"", "nse_cm", "nse_cm|", " |2885", "nse_cm|2885|1"}) {
    EXPECT_FALSE(core.AddToMarketWatch(bad)) << bad;
  }
  EXPECT_EQ(core.MarketWatch(), (std::vector<std::string>{"nse_cm|2885", "bse_cm|500325"}));
}

TEST_F(HostCore, LogStampsEveryLineAndAppendsItToTheFile) {
  test::TempDir dir;
  HostConfig config;
  config.logFile = dir / "host.log";
  test::TempDir::WriteFile(config.logFile, "earlier run\n");
  ManualClock clock(std::chrono::system_clock::from_time_t(1735000000));
  const std::string first = FormatLocalTime(clock.Now(), TimeForm::kTime);
  CHostCore core(config, ui, hostUi, clock);
  core.Log("connected");
  clock.Advance(std::chrono::milliseconds(61000));
  core.Log("two\r\nlines");
  const std::string second = FormatLocalTime(clock.Now(), TimeForm::kTime);
  EXPECT_EQ(core.LogLines(),
            (std::vector<std::string>{first + " connected", second + " two  lines"}));
  EXPECT_EQ(test::TempDir::ReadFile(config.logFile),
            "earlier run\n" + first + " connected\n" + second + " two  lines\n")
      << "each line reaches the file at once";
}

std::vector<std::pair<void*, int32_t>> g_pressed;
void OnHotKey(void* window, int32_t id) {
  g_pressed.emplace_back(window, id);
}

TEST_F(HostCore, HotKeysReachTheirWindowWithTheOffsetCommandId) {
  g_pressed.clear();
  CHostCore core({}, ui, hostUi);
  int windowA = 0, windowB = 0;
  EXPECT_TRUE(core.RegisterHotKey({&windowA, &OnHotKey, "Buy", 7, "Orders", "Ctrl+B", "buy"}));
  EXPECT_FALSE(core.RegisterHotKey({&windowB, &OnHotKey, "Steal", 9, "", " ctrl+b ", ""}))
      << "another window holds the key";
  EXPECT_FALSE(core.RegisterHotKey({&windowB, &OnHotKey, "", INT32_MAX, "", "F6", ""}))
      << "the id would overflow";
  EXPECT_TRUE(core.PressHotKey("ctrl+b"));
  EXPECT_FALSE(core.PressHotKey("Ctrl+Q"));
  // The owner registering again moves the key to its new command.
  EXPECT_TRUE(core.RegisterHotKey({&windowA, &OnHotKey, "Buy more", 70, "Orders", "CTRL+B", ""}));
  EXPECT_TRUE(core.PressHotKey("Ctrl+B"));
  EXPECT_EQ(g_pressed,
            (std::vector<std::pair<void*, int32_t>>{{&windowA, 7 + 1024}, {&windowA, 70 + 1024}}));
}

TEST_F(HostCore, LookupKnowsEveryHostFunctionUnlessSwitchedOff) {
  HostConfig config;
  config.switchedOff = {"pu_get_option_tokens", "pu_zint_place_order"};
  CHostCore core(config, ui, hostUi);

  // Every function host_api.h declares, apart from the look-up itself.
  std::ifstream in(KOVO_HOST_API_HEADER);
  ASSERT_TRUE(in) << KOVO_HOST_API_HEADER;
  const std::string source{std::istreambuf_iterator<char>(in), {}};
  const std::regex declaration(R"(KOVO_HOST_API[^(;#]*?(\w+)\s*\()");
  std::vector<std::string> declared;
  for (auto it = std::sregex_iterator(source.begin(), source.end(), declaration);
       it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    if (name.rfind("__", 0) != 0 && name != "kovo_host_lookup") declared.push_back(name);
  }
  ASSERT_GT(declared.size(), 30u) << "host_api.h was not found or not understood";
  for (const std::string& name : declared) {
    if (config.switchedOff.count(name)) {
      EXPECT_EQ(core.Lookup(name), nullptr) << name;
    } else {
      EXPECT_NE(core.Lookup(name), nullptr) << name << " is missing from the table";
    }
  }
  EXPECT_EQ(CHostCore::FunctionNames().size(), declared.size());
  EXPECT_EQ(core.Lookup("pu_get_scrip_details"), reinterpret_cast<void*>(&pu_get_scrip_details));
}

}  // namespace
}  // namespace kovo::host
