// The shipped option strategy library, loaded the way the plug-in loads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "market/research_module.h"

// The host's log as this program offers it to the libraries it loads.
std::vector<std::string> hostLog;
extern "C" __attribute__((visibility("default"))) void pu_add_to_tabbed_log(const char* text) {
  hostLog.emplace_back(text);
}

namespace kovo {
namespace {

TEST(OptionStrategyLibrary, ExampleWritesEveryLegAndAMissingLibraryIsToldApart) {
  test::TempDir dir;
  const std::filesystem::path log = dir / "calls.log";
  ASSERT_EQ(0, setenv("KOVO_OPTION_LOG", log.c_str(), 1));
  sOptionCall call{};
  call.legs = 2;
  std::strcpy(call.category, "Option Calls");
  std::strcpy(call.provider, "Vol Desk");
  std::strcpy(call.strategy, "Bull Call Spread");
  std::strcpy(call.validity, "Intraday");
  std::strcpy(call.comments, "100% sure %s");
  std::strcpy(call.side[0], "B");
  std::strcpy(call.exchange[0], "NFO");
  std::strcpy(call.symbol[0], "NIFTY26DEC24000CE");
  std::strcpy(call.price[0], "101.50");
  std::strcpy(call.side[1], "S");
  std::strcpy(call.exchange[1], "NFO");
  std::strcpy(call.symbol[1], "NIFTY26DEC24500CE");
  std::strcpy(call.price[1], "40.05");
  ASSERT_TRUE(LibraryOptionStrategy(KOVO_OPTION_STRATEGY)(call));
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(
      "Option strategy got: Option Calls | Vol Desk | Bull Call Spread | Intraday | 100% sure %s | "
      "legs 2\n"
      "  B NFO NIFTY26DEC24000CE @ 101.50\n"
      "  S NFO NIFTY26DEC24500CE @ 40.05\n",
      text.str());
  EXPECT_FALSE(LibraryOptionStrategy(dir / "kovo plugins" / "optionstrategy.so")(call));
  EXPECT_TRUE(hostLog.empty());

  // Without a file the lines go to the log of the host it runs in.
  unsetenv("KOVO_OPTION_LOG");
  call.legs = 1;
  ASSERT_TRUE(LibraryOptionStrategy(KOVO_OPTION_STRATEGY)(call));
  EXPECT_EQ((std::vector<std::string>{
                "Option strategy got: Option Calls | Vol Desk | Bull Call Spread | Intraday | "
                "100% sure %s | legs 1",
                "  B NFO NIFTY26DEC24000CE @ 101.50"}),
            hostLog);
}

}  // namespace
}  // namespace kovo
