#include "charts/bar_chart_dlg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

std::vector<size_t> Range(size_t first, size_t n) {
  std::vector<size_t> v;
  for (size_t i = 0; i < n; ++i) v.push_back(first + i);
  return v;
}

TEST(OiStrikeWindow, ElevenStrikesAroundTheOwnOneKeptInsideTheList) {
  EXPECT_EQ(ChooseStrikeWindow(20, 18), Range(9, 11)) << "second highest: the highest eleven";
  EXPECT_EQ(ChooseStrikeWindow(20, 2), Range(0, 11)) << "third: the lowest eleven";
  EXPECT_EQ(ChooseStrikeWindow(20, 4), Range(0, 11));
  EXPECT_EQ(ChooseStrikeWindow(20, 5), Range(0, 11)) << "from s - 1 = own - 5";
  EXPECT_EQ(ChooseStrikeWindow(20, 10), Range(5, 11));
  EXPECT_EQ(ChooseStrikeWindow(20, 14), Range(9, 11)) << "five above is enough";
  EXPECT_EQ(ChooseStrikeWindow(20, 15), Range(9, 11)) << "four above: the highest eleven";
  EXPECT_EQ(ChooseStrikeWindow(6, 3), Range(0, 6)) << "a short list is shown whole";
}

sScripDetails Option(int strike, const char* type, int token) {
  sScripDetails s{};
  const auto put = [&](int at, const std::string& text) {
    std::snprintf(s.texts[at], KOVO_SCRIP_TEXT_LEN, "%s", text.c_str());
  };
  put(KOVO_SCRIP_EXCH_SEG, "nse_fo");
  put(KOVO_SCRIP_TOKEN, std::to_string(token));
  put(KOVO_SCRIP_TRAD_SYMBOL, "NIFTY26DEC" + std::to_string(strike) + type);
  put(KOVO_SCRIP_INSTRUMENT, "OPTIDX");
  put(KOVO_SCRIP_NAME, "NIFTY " + std::to_string(strike) + " " + type);
  put(KOVO_SCRIP_EXPIRY, "26DEC2026");
  put(KOVO_SCRIP_STRIKE, std::to_string(strike * 100));
  put(KOVO_SCRIP_OPTION_TYPE, type);
  put(KOVO_SCRIP_UNDERLYING, "26000");
  s.pricePrecision = 2;
  s.priceMultiplier = 100.0;
  return s;
}

class OiChart : public PluginFixture {
 protected:
  void SetUp() override {
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    std::vector<sScripDetails> scrips;
    for (int i = 0; i < 15; ++i) {
      scrips.push_back(Option(20000 + 100 * i, "CE", 40000 + i));
      scrips.push_back(Option(20000 + 100 * i, "PE", 50000 + i));
    }
    core->Scrips().Load(scrips);
  }
  FakeControl& Requests() { return *rx.controls.at(rx.controls.size() - 2); }
  FakeControl& Broadcasts() { return *rx.controls.back(); }
  void Row(const std::string& token, const std::string& oi, const std::string& open) {
    Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"},
                      {MNM_EXCH_SEG, "nse_fo"},
                      {MNM_TRADING_SYMBOL, token},
                      {64, oi},
                      {63083, open}});
    // Each quote reply ends with its empty closing message.
    Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, ""}});
  }
  CControlBlock* cb = nullptr;
};

TEST_F(OiChart, AsksForElevenStrikesBothSidesAndDrawsOnlyWhenAllRepliesAreIn) {
  CBarChartDlg chart(*cb);
  ASSERT_TRUE(chart.Build("nse_fo", "40008"));  // the 20800 call
  EXPECT_EQ(chart.Title(), "NIFTY 20800 CE           Open Interest Distribution");
  ASSERT_EQ(chart.Strikes().size(), 11u);
  EXPECT_EQ(chart.Strikes().front().label, "20300.00");
  EXPECT_EQ(chart.Strikes().back().label, "21300.00");
  EXPECT_EQ(chart.Strikes()[0].callToken, "40003");
  EXPECT_EQ(chart.Strikes()[0].putToken, "50003");
  ASSERT_EQ(Requests().sent.size(), 22u);
  EXPECT_EQ(test::ValueText(Requests().Sent(0).get(), MNM_TRADING_SYMBOL), "40003");
  EXPECT_EQ(test::ValueText(Requests().Sent(11).get(), MNM_TRADING_SYMBOL), "50003")
      << "every call first, then every put";
  EXPECT_EQ(test::ValueText(Requests().Sent(21).get(), MNM_REQUEST), "mrv_master");
  EXPECT_EQ(Broadcasts().watched.size(), 22u * 3);

  for (int i = 0; i < 11; ++i) Row(std::to_string(40003 + i), "1000", "800");
  for (int i = 0; i < 10; ++i) Row(std::to_string(50003 + i), "500", "1000");
  EXPECT_TRUE(chart.Bars().empty()) << "21 of 22 replies";
  EXPECT_TRUE(Boxes().empty()) << "closing messages are no failures";
  Row("50013", "0", "0");
  ASSERT_EQ(chart.Bars().size(), 44u);
  EXPECT_EQ(chart.Bars()[0].value, 1000);
  EXPECT_EQ(chart.Bars()[1].value, 200);
  EXPECT_EQ(chart.Bars()[1].colour, 13145700u);
  EXPECT_EQ(chart.Bars()[3].value, -500);
  EXPECT_EQ(chart.Bars()[3].colour, 255u);
  EXPECT_EQ(chart.Tooltip(0), "20300.00\nCall: 1000.0000 (25.00%)\nPut: 500.0000 (-50.00%)\n");
  EXPECT_EQ(chart.Tooltip(10), "21300.00\nCall: 1000.0000 (25.00%)\nPut: 0.0000 (0.00%)\n");

  // Broadcast open interest replaces that strike's value.
  Broadcasts().Broadcast({{MNM_EXCH_SEG, "nse_fo"}, {MNM_TRADING_SYMBOL, "40003"}, {64, "1200"}});
  EXPECT_EQ(chart.Bars()[0].value, 1200);
  EXPECT_EQ(chart.Bars()[1].value, 400);

  Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, "scrip not found"}});
  EXPECT_EQ(Boxes(), std::vector<std::string>{"scrip not found"});

  // A new build takes the earlier watches back.
  ASSERT_TRUE(chart.Build("nse_fo", "40013"));
  EXPECT_EQ(Broadcasts().removed.size(), 22u);
  EXPECT_EQ(chart.Strikes().front().label, "20400.00") << "the highest eleven";
}

}  // namespace
}  // namespace kovo
