#pragma once

// A plug-in whose host lists fifteen strikes of NIFTY calls and puts (calls
// 40000.., puts 50000..) and one equity, with the chart's quote rows at hand.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "charts/bar_chart_dlg.h"
#include "platform/headless_views.h"
#include "plugin/mnm_fields.h"
#include "plugin/session_launch.h"
#include "ui/list_types.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {

inline sScripDetails Option(int strike, const char* type, int token) {
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
  void SetUp() override { Start(); }
  void Start() {
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    std::vector<sScripDetails> scrips;
    for (int i = 0; i < 15; ++i) {
      scrips.push_back(Option(20000 + 100 * i, "CE", 40000 + i));
      scrips.push_back(Option(20000 + 100 * i, "PE", 50000 + i));
    }
    sScripDetails equity{};
    std::snprintf(equity.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "nse_cm");
    std::snprintf(equity.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "2885");
    std::snprintf(equity.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "RELIANCE-EQ");
    std::snprintf(equity.texts[KOVO_SCRIP_INSTRUMENT], KOVO_SCRIP_TEXT_LEN, "EQ");
    scrips.push_back(equity);
    core->Scrips().Load(scrips);
  }
  HeadlessHostFrame& Frame() { return static_cast<HeadlessHostFrame&>(cb->Frame()); }
  bool PaneShown() {
    const auto it = Frame().Panes().find(CBarChartDlg::kPaneId);
    return it != Frame().Panes().end() && it->second.shown;
  }
  std::string Stored() {
    std::string key;
    cb->Settings().Read("OPEN_INTEREST_BAR", "SYMBOL", key, kZintSettingsFile,
                        SettingsLocation::kUserFolder);
    return key;
  }
  void Relaunch(const std::string& profile, const std::string& stored) {
    cb->Settings().Write("OPEN_INTEREST_BAR", "SYMBOL", stored, kZintSettingsFile,
                         SettingsLocation::kUserFolder);
    const auto path = LayoutProfilePath(dir / "data", (dir / "host").string());
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "KovoZint layout 1\n" << profile;
    CSessionLauncher(*cb, DefaultPaneRegistry()).Launch(false);
  }
  FakeControl& Requests() { return *rx.controls.at(rx.controls.size() - 2); }
  FakeControl& Broadcasts() { return *rx.controls.back(); }
  // The context of the newest request for token, as the host hands it back.
  void* ContextOf(const std::string& token) {
    for (size_t i = Requests().sent.size(); i-- > 0;)
      if (test::ValueText(Requests().Sent(i).get(), MNM_TRADING_SYMBOL) == token)
        return Requests().contexts.at(i);
    return nullptr;
  }
  void Row(const std::string& token, const std::string& oi, const std::string& open) {
    RowFor(ContextOf(token), token, oi, open);
  }
  void RowFor(void* context, const std::string& token, const std::string& oi,
              const std::string& open) {
    Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"},
                      {MNM_EXCH_SEG, "nse_fo"},
                      {MNM_TRADING_SYMBOL, token},
                      {64, oi},
                      {63083, open}},
                     context);
    // Each quote reply ends with its empty closing message.
    Requests().Reply({{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, ""}}, context);
  }
  CControlBlock* cb = nullptr;
};

}  // namespace kovo
