#pragma once

// The plug-in's control block with a store on a set clock, and the fake
// receiver controls to read requests from and feed replies into.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/clock.h"
#include "charts/fchart_view.h"
#include "charts/vwap_store.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {

class ChartStoreFixture : public PluginFixture {
 protected:
  void SetUp() override {
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    cb->session.launched = true;
    core->Scrips().Load(
        {Scrip("2885", "RELIANCE-EQ", "RELIANCE"), Scrip("666", "EVIL-EQ", "../../../evil")});
    clock.Set(std::chrono::system_clock::from_time_t(At(2026, 12, 8, 11, 30)));
    // Handlers are registered by name: the old store must go first.
    cb->chartStore.reset();
    cb->chartStore = std::make_unique<CVWapStore>(*cb, clock);
    store = StoreOf(*cb);
    for (const auto& c : rx.controls) {
      if (c->kind == KOVO_RX_REQUESTS && !requests) requests = c.get();
      if (c->kind == KOVO_RX_BROADCASTS && !broadcasts) broadcasts = c.get();
    }
    ASSERT_NE(requests, nullptr);
    ASSERT_NE(broadcasts, nullptr);
  }

  static sScripDetails Scrip(const char* token, const char* trading, const char* symbol) {
    sScripDetails d{};
    std::snprintf(d.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "%s", "nse_cm");
    std::snprintf(d.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "%s", token);
    std::snprintf(d.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", trading);
    std::snprintf(d.texts[KOVO_SCRIP_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", symbol);
    d.pricePrecision = 2;
    d.priceMultiplier = 100.0;
    d.quantityMultiplier = 1;
    return d;
  }
  static std::time_t At(int y, int mo, int d, int h, int mi, int s = 0) {
    std::tm tm{};
    tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d;
    tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
  }
  std::time_t Now() const { return std::chrono::system_clock::to_time_t(clock.Now()); }

  // The requests of one name sent since the start, decoded.
  std::vector<test::MsgPtr> Sent(const std::string& name) const {
    std::vector<test::MsgPtr> out;
    for (size_t i = 0; i < requests->sent.size(); ++i) {
      test::MsgPtr m = requests->Sent(i);
      if (test::ValueText(m.get(), MNM_REQUEST) == name) out.push_back(std::move(m));
    }
    return out;
  }
  void* LastContext() const { return requests->contexts.back(); }

  static test::Field F(int32_t id, const std::string& v) { return {id, v}; }
  static std::vector<test::Field> BarRow(const std::string& name, const std::string& key,
                                         std::time_t t, int64_t open, int64_t high, int64_t low,
                                         int64_t close, int64_t volume) {
    return {F(MNM_REPLY_REQUEST, name),
            F(MNM_USER_MSG, key),
            F(10303, "OK"),
            F(59353, std::to_string(t)),
            F(59354, std::to_string(volume)),
            F(59355, std::to_string(open)),
            F(59356, std::to_string(close)),
            F(59357, std::to_string(high)),
            F(59358, std::to_string(low))};
  }
  void Close(const std::string& name, const std::string& rowKey, void* context = nullptr,
             const std::string& error = "") {
    requests->Reply({F(MNM_REPLY_REQUEST, name), F(MNM_USER_MSG, rowKey), F(MNM_ERROR_TEXT, error)},
                    context);
  }
  // One-minute rows of today, newest first, as the back end sends them.
  void TodayBars(const std::string& rowKey, std::time_t first, int count, int64_t price = 10000) {
    for (int i = count - 1; i >= 0; --i) {
      const int64_t p = price + i * 10;
      requests->Reply(
          BarRow(kTodayBarsRequest, rowKey, first + i * 60, p, p + 20, p - 20, p + 5, 100 + i));
    }
    Close(kTodayBarsRequest, rowKey);
  }
  CFChartView& View(size_t i) { return *store->chartViews.at(i); }

  ManualClock clock;
  CControlBlock* cb = nullptr;
  CVWapStore* store = nullptr;
  FakeControl* requests = nullptr;
  FakeControl* broadcasts = nullptr;
  const std::string key = "nse_cm|2885";
};

}  // namespace kovo
