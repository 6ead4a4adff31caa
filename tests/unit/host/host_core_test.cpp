#include "host/core/host_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
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

sScripDetails Scrip(const Texts& texts, int32_t precision = 2, double multiplier = 100.0) {
  sScripDetails s{};
  for (const auto& [position, text] : texts) {
    std::strncpy(s.texts[position], text.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  }
  s.pricePrecision = precision;
  s.priceMultiplier = multiplier;
  s.quantityMultiplier = 1;
  return s;
}

sScripDetails Equity(std::string seg, std::string token, std::string symbol) {
  return Scrip({{KOVO_SCRIP_EXCH_SEG, seg},
                {KOVO_SCRIP_TOKEN, token},
                {KOVO_SCRIP_TRAD_SYMBOL, symbol},
                {KOVO_SCRIP_INSTRUMENT, "EQ"}});
}

sScripDetails Option(std::string token, std::string expiry, std::string strike, std::string type) {
  return Scrip({{KOVO_SCRIP_EXCH_SEG, "nse_fo"},
                {KOVO_SCRIP_TOKEN, token},
                {KOVO_SCRIP_TRAD_SYMBOL, "NIFTY" + expiry + strike + type},
                {KOVO_SCRIP_INSTRUMENT, "OPTIDX"},
                {KOVO_SCRIP_EXPIRY, expiry},
                {KOVO_SCRIP_STRIKE, strike},
                {KOVO_SCRIP_OPTION_TYPE, type},
                {KOVO_SCRIP_UNDERLYING, "26000"}});
}

// A few equities, an index, a commodity future and NIFTY options of two
// expiries, deliberately out of strike order.
std::vector<sScripDetails> SampleScrips() {
  return {
      Equity("nse_cm", "2885", "RELIANCE-EQ"),
      Equity("nse_cm", "11536", "TCS-EQ"),
      Equity("bse_cm", "500325", "RELIANCE"),
      Scrip({{KOVO_SCRIP_EXCH_SEG, "nse_cm"},
             {KOVO_SCRIP_TOKEN, "26000"},
             {KOVO_SCRIP_TRAD_SYMBOL, "NIFTY 50"},
             {KOVO_SCRIP_INSTRUMENT, "INDEX"}}),
      Scrip({{KOVO_SCRIP_EXCH_SEG, "mcx_fo"},
             {KOVO_SCRIP_TOKEN, "234230"},
             {KOVO_SCRIP_TRAD_SYMBOL, "GOLD26DECFUT"},
             {KOVO_SCRIP_INSTRUMENT, "FUTCOM"}},
            0, 1.0),
      Option("40003", "26DEC2024", "2410000", "CE"),
      Option("40001", "26DEC2024", "2400000", "CE"),
      Option("40004", "26DEC2024", "2410000", "PE"),
      Option("40002", "26DEC2024", "2400000", "PE"),
      Option("40005", "26DEC2024", "2390000", "CE"),
      Option("40010", "30JAN2025", "2500000", "CE"),
  };
}

std::string TextOf(const std::optional<sScripDetails>& scrip, int position) {
  return scrip ? std::string(ScripDirectory::Text(*scrip, position)) : "<none>";
}

TEST(ScripDirectory, FindsByTokenTradingSymbolAndUniqueKey) {
  ScripDirectory scrips;
  EXPECT_EQ(scrips.Size(), 0u);
  EXPECT_FALSE(scrips.Find("nse_cm", "2885"));

  scrips.Load(SampleScrips());
  EXPECT_EQ(scrips.Size(), 11u);
  EXPECT_EQ(TextOf(scrips.Find("nse_cm", "2885"), KOVO_SCRIP_TRAD_SYMBOL), "RELIANCE-EQ");
  EXPECT_EQ(TextOf(scrips.Find("bse_cm", "500325"), KOVO_SCRIP_TRAD_SYMBOL), "RELIANCE");
  // Exchange names and any case reach the same segment; tokens are exact.
  EXPECT_EQ(TextOf(scrips.Find("NSE", "2885"), KOVO_SCRIP_TOKEN), "2885");
  EXPECT_EQ(TextOf(scrips.Find("NSE_CM", " 2885 "), KOVO_SCRIP_TOKEN), "2885");
  EXPECT_FALSE(scrips.Find("bse_cm", "2885"));
  EXPECT_FALSE(scrips.Find("nse_cm", "288"));
  EXPECT_FALSE(scrips.Find("", "2885"));

  EXPECT_EQ(TextOf(scrips.FindByTradingSymbol("nse_cm", "reliance-eq"), KOVO_SCRIP_TOKEN), "2885");
  EXPECT_EQ(TextOf(scrips.FindByTradingSymbol("NFO", "NIFTY26DEC20242400000PE"), KOVO_SCRIP_TOKEN),
            "40002");
  EXPECT_FALSE(scrips.FindByTradingSymbol("bse_cm", "RELIANCE-EQ"));

  EXPECT_EQ(TextOf(scrips.FindByUniqueKey("nse_cm|11536"), KOVO_SCRIP_TRAD_SYMBOL), "TCS-EQ");
  EXPECT_FALSE(scrips.FindByUniqueKey("nse_cm11536"));
  EXPECT_FALSE(scrips.FindByUniqueKey("nse_cm|11536|x")) << "split at the first bar only";
  EXPECT_FALSE(scrips.FindByUniqueKey("|11536"));
  EXPECT_EQ(ScripDirectory::UniqueKey(*scrips.Find("nse_fo", "40001")), "nse_fo|40001");

  // A new load replaces everything; within one load the first duplicate wins.
  sScripDetails longName = Equity("nse_cm", "7", "X");
  std::memset(longName.texts[KOVO_SCRIP_NAME], 'n', KOVO_SCRIP_TEXT_LEN);  // no NUL
  scrips.Load({Equity("nse_cm", "1", "FIRST"), Equity("nse_cm", "1", "SECOND"), longName});
  EXPECT_EQ(scrips.Size(), 2u);
  EXPECT_FALSE(scrips.Find("nse_cm", "2885"));
  EXPECT_EQ(TextOf(scrips.Find("nse_cm", "1"), KOVO_SCRIP_TRAD_SYMBOL), "FIRST");
  const auto terminated = scrips.Find("nse_cm", "7");
  ASSERT_TRUE(terminated);
  EXPECT_EQ(std::strlen(terminated->texts[KOVO_SCRIP_NAME]), size_t{KOVO_SCRIP_TEXT_LEN - 1});
}

TEST(ScripDirectory, PrecisionAndMultiplierBySymbolOrToken) {
  ScripDirectory scrips;
  scrips.Load(SampleScrips());
  int32_t precision = -1;
  double multiplier = -1;
  EXPECT_TRUE(scrips.PrecisionAndMultiplier("mcx_fo", "gold26decfut", &precision, &multiplier));
  EXPECT_EQ(precision, 0);
  EXPECT_EQ(multiplier, 1.0);
  EXPECT_TRUE(scrips.PrecisionAndMultiplier("NSE", "2885", &precision, &multiplier));
  EXPECT_EQ(precision, 2);
  EXPECT_EQ(multiplier, 100.0);
  precision = -1;
  multiplier = -1;
  EXPECT_FALSE(scrips.PrecisionAndMultiplier("nse_cm", "NOSUCH", &precision, &multiplier));
  EXPECT_EQ(precision, -1);
  EXPECT_EQ(multiplier, -1);
  EXPECT_TRUE(scrips.PrecisionAndMultiplier("nse_cm", "TCS-EQ", nullptr, nullptr));
}

TEST(ScripDirectory, OptionStrikesAndSeriesTokens) {
  ScripDirectory scrips;
  scrips.Load(SampleScrips());
  const std::vector<double> december{2390000, 2400000, 2410000};
  EXPECT_EQ(scrips.Strikes("nse_fo", "40001"), december);
  EXPECT_EQ(scrips.Strikes("nse_fo", "40004"), december) << "a put sees the same series";
  EXPECT_EQ(scrips.Strikes("nse_fo", "40010"), std::vector<double>{2500000}) << "other expiry";
  EXPECT_TRUE(scrips.Strikes("nse_cm", "26000").empty()) << "the index is no option";
  EXPECT_TRUE(scrips.Strikes("nse_fo", "99999").empty());

  std::string call = "stale";
  std::string put = "stale";
  EXPECT_TRUE(scrips.OptionTokens("nse_fo", "40005", 2400000, &call, &put));
  EXPECT_EQ(call, "40001");
  EXPECT_EQ(put, "40002");
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
  EXPECT_FALSE(scrips.OptionTokens("nse_cm", "2885", 2400000, &call, &put));
}

TEST(ScripDirectory, ReadersSeeOneWholeMasterWhileLoadsReplaceIt) {
  // Two masters that differ in every record and in size.
  auto master = [](const std::string& prefix, int count) {
    std::vector<sScripDetails> list;
    for (int i = 0; i < count; ++i) {
      list.push_back(Equity("nse_cm", std::to_string(i), prefix + std::to_string(i)));
    }
    list.push_back(Option("90001", "26DEC2024", prefix == "A" ? "100" : "200", "CE"));
    return list;
  };
  const std::vector<sScripDetails> a = master("A", 300);
  const std::vector<sScripDetails> b = master("B", 500);
  ScripDirectory scrips;
  scrips.Load(a);

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const auto first = scrips.Find("nse_cm", "0");
        const std::string symbol = TextOf(first, KOVO_SCRIP_TRAD_SYMBOL);
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
  EXPECT_EQ(TextOf(scrips.Find("nse_cm", "0"), KOVO_SCRIP_TRAD_SYMBOL), "A0");
}

TEST(Exchanges, NamesAndCodesToSegmentsAndBack) {
  const std::vector<std::pair<std::string, std::string>> segments = {
      {"NSE", "nse_cm"},    {"nse_cm", "nse_cm"}, {"NSECM", "nse_cm"},  {"BSE", "bse_cm"},
      {"bse_cm", "bse_cm"}, {"NFO", "nse_fo"},    {"NSEFO", "nse_fo"},  {"nse_fo", "nse_fo"},
      {"BFO", "bse_fo"},    {"MCX", "mcx_fo"},    {"mcx_fo", "mcx_fo"}, {"MCXSX", "mcx_sx"},
      {"mcx_sx", "mcx_sx"}, {"NCDEX", "ncx_fo"},  {"ncx_fo", "ncx_fo"}, {"CDS", "cde_fo"},
      {"cde_fo", "cde_fo"}, {" nfo\t", "nse_fo"}, {"Mcx", "mcx_fo"},
  };
  for (const auto& [name, segment] : segments) EXPECT_EQ(ConvertExchange(name), segment) << name;
  for (const char* unknown : {"", "   ", "NYSE", "NSE CM", "nse_c", "mcxs", "nse_cm|"}) {
    EXPECT_EQ(ConvertExchange(unknown), "") << unknown;
  }

  const std::vector<std::pair<std::string, std::string>> names = {
      {"nse_cm", "NSE"}, {"bse_cm", "BSE"},   {"nse_fo", "NFO"},     {"bse_fo", "BFO"},
      {"mcx_fo", "MCX"}, {"mcx_sx", "MCXSX"}, {"ncx_fo", "NCDEX"},   {"cde_fo", "CDS"},
      {"NFO", "NFO"},    {"nsefo", "NFO"},    {" MCX_SX ", "MCXSX"},
  };
  for (const auto& [code, name] : names) EXPECT_EQ(DisplayName(code), name) << code;
  EXPECT_EQ(DisplayName(""), "");
  EXPECT_EQ(DisplayName("LSE"), "");
}

TEST(HostCore, MarketWatchKeepsUniqueWellFormedKeysInOrder) {
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  CHostCore core({}, ui, hostUi);
  EXPECT_TRUE(core.AddToMarketWatch("nse_cm|2885"));
  EXPECT_TRUE(core.AddToMarketWatch("nse_fo|NIFTY26DEC20242400000CE"));
  EXPECT_TRUE(core.AddToMarketWatch(" bse_cm | 500325 "));
  EXPECT_FALSE(core.AddToMarketWatch("nse_cm|2885")) << "duplicate";
  EXPECT_FALSE(core.AddToMarketWatch("nse_cm | 2885")) << "duplicate once blanks are dropped";
  for (const char* bad :
       {"", "|", "nse_cm", "nse_cm|", "|2885", " |2885", "nse_cm|2885|1", "nse_cm||2885"}) {
    EXPECT_FALSE(core.AddToMarketWatch(bad)) << bad;
  }
  EXPECT_EQ(
      core.MarketWatch(),
      (std::vector<std::string>{"nse_cm|2885", "nse_fo|NIFTY26DEC20242400000CE", "bse_cm|500325"}));
}

TEST(HostCore, LogStampsEveryLineAndAppendsItToTheFile) {
  test::TempDir dir;
  const auto file = dir / "host.log";
  test::TempDir::WriteFile(file, "earlier run\n");
  ManualClock clock(std::chrono::system_clock::from_time_t(1735000000));
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  HostConfig config;
  config.logFile = file;
  const std::string first = FormatLocalTime(clock.Now(), TimeForm::kTime);
  {
    CHostCore core(config, ui, hostUi, clock);
    core.Log("connected");
    clock.Advance(std::chrono::milliseconds(61000));
    core.Log("two\r\nlines");
    const std::string second = FormatLocalTime(clock.Now(), TimeForm::kTime);
    EXPECT_NE(first, second);
    EXPECT_EQ(core.LogLines(),
              (std::vector<std::string>{first + " connected", second + " two  lines"}));
    EXPECT_EQ(test::TempDir::ReadFile(file),
              "earlier run\n" + first + " connected\n" + second + " two  lines\n")
        << "each line reaches the file at once";
  }
  EXPECT_TRUE(std::regex_match(first, std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")));

  // A log file that cannot be opened leaves the in-memory log working.
  config.logFile = dir / "missing-folder" / "host.log";
  CHostCore core(config, ui, hostUi, clock);
  core.Log("still kept");
  ASSERT_EQ(core.LogLines().size(), 1u);
  EXPECT_NE(core.LogLines()[0].find("still kept"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(config.logFile));
}

struct Pressed {
  void* window;
  int32_t id;
};
std::vector<Pressed> g_pressed;
void OnHotKey(void* window, int32_t id) {
  g_pressed.push_back({window, id});
}

TEST(HostCore, HotKeysReachTheirWindowWithTheOffsetCommandId) {
  g_pressed.clear();
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  CHostCore core({}, ui, hostUi);
  int windowA = 0;
  int windowB = 0;
  EXPECT_TRUE(core.RegisterHotKey({&windowA, &OnHotKey, "Buy", 7, "Orders", "Ctrl+B", "buy"}));
  EXPECT_TRUE(core.RegisterHotKey({&windowB, &OnHotKey, "Sell", 8, "Orders", "Ctrl+S", "sell"}));
  EXPECT_FALSE(core.RegisterHotKey({&windowB, &OnHotKey, "Steal", 9, "", " ctrl+b ", ""}))
      << "another window holds the key";
  EXPECT_FALSE(core.RegisterHotKey({&windowB, nullptr, "", 10, "", "F5", ""}));
  EXPECT_FALSE(core.RegisterHotKey({&windowB, &OnHotKey, "", 10, "", "  ", ""}));
  EXPECT_FALSE(core.RegisterHotKey({&windowB, &OnHotKey, "", INT32_MAX, "", "F6", ""}))
      << "the id would overflow";

  EXPECT_TRUE(core.PressHotKey("ctrl+b"));
  EXPECT_TRUE(core.PressHotKey("Ctrl+S"));
  EXPECT_FALSE(core.PressHotKey("Ctrl+Q"));
  EXPECT_FALSE(core.PressHotKey(""));
  ASSERT_EQ(g_pressed.size(), 2u);
  EXPECT_EQ(g_pressed[0].window, &windowA);
  EXPECT_EQ(g_pressed[0].id, 7 + 1024);
  EXPECT_EQ(g_pressed[1].window, &windowB);
  EXPECT_EQ(g_pressed[1].id, 8 + 1024);

  // The owner registering again moves the key to its new command.
  EXPECT_TRUE(core.RegisterHotKey({&windowA, &OnHotKey, "Buy more", 70, "Orders", "CTRL+B", ""}));
  EXPECT_EQ(core.HotKeys().size(), 2u);
  EXPECT_TRUE(core.PressHotKey("Ctrl+B"));
  EXPECT_EQ(g_pressed.back().id, 70 + 1024);
}

// Names of the functions host_api.h declares.
std::vector<std::string> DeclaredHostFunctions() {
  const auto header = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / ".." /
                      "include" / "kovozint" / "host_api.h";
  std::ifstream in(header);
  std::stringstream text;
  text << in.rdbuf();
  const std::string source = text.str();
  std::vector<std::string> names;
  const std::regex declaration(R"(KOVO_HOST_API[^(;#]*?(\w+)\s*\()");
  for (auto it = std::sregex_iterator(source.begin(), source.end(), declaration);
       it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    if (name.rfind("__", 0) != 0) names.push_back(name);
  }
  return names;
}

TEST(HostCore, LookupKnowsEveryHostFunctionUnlessSwitchedOff) {
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  HostConfig config;
  config.switchedOff = {"pu_get_option_tokens", "pu_zint_place_order"};
  CHostCore core(config, ui, hostUi);

  const std::vector<std::string> declared = DeclaredHostFunctions();
  ASSERT_GT(declared.size(), 30u) << "host_api.h was not found or not understood";
  size_t known = 0;
  for (const std::string& name : declared) {
    if (name == "kovo_host_lookup") {
      EXPECT_EQ(core.Lookup(name), nullptr);
      continue;
    }
    ++known;
    if (config.switchedOff.count(name)) {
      EXPECT_EQ(core.Lookup(name), nullptr) << name;
    } else {
      EXPECT_NE(core.Lookup(name), nullptr) << name << " is missing from the table";
    }
  }
  EXPECT_EQ(CHostCore::FunctionNames().size(), known);

  EXPECT_EQ(core.Lookup("pu_get_scrip_details"), reinterpret_cast<void*>(&pu_get_scrip_details));
  EXPECT_EQ(core.Lookup("GetQuellRxControl"), reinterpret_cast<void*>(&GetQuellRxControl));
  EXPECT_EQ(core.Lookup("pu_zint_cancel_order"), reinterpret_cast<void*>(&pu_zint_cancel_order));
  EXPECT_EQ(core.Lookup("PU_GET_SCRIP_DETAILS"), nullptr) << "C names are exact";
  EXPECT_EQ(core.Lookup("pu_no_such_function"), nullptr);
  EXPECT_EQ(core.Lookup(""), nullptr);

  CHostCore plain({}, ui, hostUi);
  EXPECT_EQ(plain.Lookup("pu_get_option_tokens"), reinterpret_cast<void*>(&pu_get_option_tokens));
}

TEST(HostCore, TheCurrentHostIsUninstalledWhenItGoesAway) {
  HeadlessUiThread ui;
  RecordingHostUi hostUi;
  auto first = std::make_unique<CHostCore>(HostConfig{}, ui, hostUi);
  CHostCore second({}, ui, hostUi);
  InstallHost(first.get());
  EXPECT_EQ(CurrentHost(), first.get());
  InstallHost(&second);
  first.reset();
  EXPECT_EQ(CurrentHost(), &second) << "only the installed host uninstalls itself";
  InstallHost(nullptr);
  EXPECT_EQ(CurrentHost(), nullptr);
}

}  // namespace
}  // namespace kovo::host
