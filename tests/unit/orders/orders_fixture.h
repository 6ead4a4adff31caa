#pragma once

// The plug-in in a reference host core whose order functions and receiver
// controls record what the order API hands them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "fakes/pump_until.h"
#include "fakes/recording_dialogs.h"
#include "orders/order_api.h"
#include "plugin/beep_alerts.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {

// One call of a host order function.
struct HostOrderCall {
  std::string function;
  sOrderEntryInfo entry{};
  std::string tag;
  int32_t transactionType = 0;
  std::vector<std::string> texts;  // algo or strategy texts; "<null>" for NULL
  std::string orderNumber;
  int32_t orderType = 0, validity = 0, quantity = 0, price = 0, disclosed = 0, trigger = 0;
};

struct OrderControl {
  KovoRxControl base;
  KovoRxNotifier notifier;
  int32_t kind;
  std::vector<std::vector<std::pair<int32_t, std::string>>> filters;  // "*" for any value
};

struct OrderHost {
  static inline OrderHost* current = nullptr;
  mutable std::mutex mutex;
  std::vector<HostOrderCall> calls;
  std::vector<std::unique_ptr<OrderControl>> controls;
  int32_t result = 1;
  std::string error = "exchange closed";
  std::atomic<int> entered{0};

  static std::string T(const char* s) { return s ? std::string(s) : std::string("<null>"); }
  int32_t Record(HostOrderCall call, char* errorText, size_t cap) {
    entered.fetch_add(1);  // before the lock, so a test holding it sees the caller arrive
    std::lock_guard lock(mutex);
    calls.push_back(std::move(call));
    if (!result && errorText && cap) snprintf(errorText, cap, "%s", error.c_str());
    return result;
  }
  std::vector<HostOrderCall> Calls() const {
    std::lock_guard lock(mutex);
    return calls;
  }

  static int32_t Place2(const sOrderEntryInfo* o, const char* tag, int32_t txn, const char* s1,
                        const char* s2, const char* s3, char* err, size_t cap) {
    return current->Record({"place2", *o, tag, txn, {T(s1), T(s2), T(s3)}, {}}, err, cap);
  }
  static int32_t Place2Algo(const sOrderEntryInfo* o, const char* tag, int32_t txn,
                            const char* algo, char* err, size_t cap) {
    return current->Record({"place2_algo", *o, tag, txn, {T(algo)}, {}}, err, cap);
  }
  static int32_t Modify(const char* number, const char* tag, int32_t type, int32_t validity,
                        int32_t qty, int32_t price, int32_t disc, int32_t trigger, const char* s,
                        char* err, size_t cap) {
    HostOrderCall c{"modify", {}, tag, 0, {T(s)}, number};
    c.orderType = type, c.validity = validity, c.quantity = qty, c.price = price;
    c.disclosed = disc, c.trigger = trigger;
    return current->Record(std::move(c), err, cap);
  }
  static int32_t Cancel(const char* number, const char* tag, const char* s, char* err, size_t cap) {
    return current->Record({"cancel", {}, tag, 0, {T(s)}, number}, err, cap);
  }
  static int32_t Invoke2(const sOrderEntryInfo* o, const char* tag, int32_t txn, char* err,
                         size_t cap) {
    return current->Record({"invoke2", *o, tag, txn, {}, {}}, err, cap);
  }
  static int32_t AddFilter(KovoRxControl* c, const KovoFieldMatch* pairs, int32_t count, int32_t*) {
    std::vector<std::pair<int32_t, std::string>> filter;
    for (int32_t i = 0; i < count; ++i) {
      filter.emplace_back(pairs[i].fieldId,
                          pairs[i].value
                              ? std::string(pairs[i].value, static_cast<size_t>(pairs[i].length))
                              : std::string("*"));
    }
    std::lock_guard lock(current->mutex);
    reinterpret_cast<OrderControl*>(c)->filters.push_back(std::move(filter));
    return 1;
  }
  static int32_t Send(KovoRxControl*, void*, wmp_builder*, int32_t, int32_t*) { return 1; }
  static int64_t Watch(KovoRxControl*, const KovoFieldMatch*, int32_t, int32_t*) { return 1; }
  static int32_t Unwatch(KovoRxControl*, int64_t, int32_t*) { return 1; }
  static int32_t Stop(KovoRxControl*) { return 1; }
  static constexpr KovoRxControlOps kOps = {&Send, &Watch, &Unwatch, &AddFilter, &Stop};
  static KovoRxControl* Get(int32_t kind, const KovoRxNotifier* notifier) {
    std::lock_guard lock(current->mutex);
    current->controls.push_back(
        std::make_unique<OrderControl>(OrderControl{{&kOps}, *notifier, kind, {}}));
    return &current->controls.back()->base;
  }
  static void Destroy(KovoRxControl*) {}
};

class OrdersFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    api.reset();
    plugin.reset();
    // Work the plug-in posted runs (and frees what it holds) as a host's
    // event loop would run it.
    ui.Pump(1u << 20);
    OrderHost::current = nullptr;
  }

  // switchedOff: order functions the host lacks.
  void Load(host::HostConfig config = {}, std::set<std::string> switchedOff = {}) {
    config.hostFolder = dir / "host";
    std::filesystem::create_directories(dir / "host" / "kovo plugins");
    core = std::make_unique<host::CHostCore>(config, ui, hostUi);
    host::InstallHost(core.get());
    OrderHost::current = &orderHost;
    orderHost.calls.clear();
    orderHost.controls.clear();
    orderHost.result = 1;
    sPluginEnvironment env;
    env.resolve = [this, switchedOff](std::string_view name) -> void* {
      if (switchedOff.count(std::string(name))) return nullptr;
      if (name == "GetQuellRxControl") return reinterpret_cast<void*>(&OrderHost::Get);
      if (name == "DestoryQuellRxCOntrol") return reinterpret_cast<void*>(&OrderHost::Destroy);
      if (name == "pu_zint_place_order2") return reinterpret_cast<void*>(&OrderHost::Place2);
      if (name == "pu_zint_place_order2_algo")
        return reinterpret_cast<void*>(&OrderHost::Place2Algo);
      if (name == "pu_zint_modify_order") return reinterpret_cast<void*>(&OrderHost::Modify);
      if (name == "pu_zint_cancel_order") return reinterpret_cast<void*>(&OrderHost::Cancel);
      if (name == "pu_zint_invoke_order_entry2")
        return reinterpret_cast<void*>(&OrderHost::Invoke2);
      return core->Lookup(name);
    };
    env.hostFolder = dir / "host";
    env.makePorts = [this](const HostResolver& resolve) {
      PluginPorts ports = MakeHeadlessPorts(resolve);
      auto dialogs = std::make_unique<test::RecordingDialogs>();
      recordedDialogs = dialogs.get();
      ports.dialogs = std::move(dialogs);
      ports.net = std::make_unique<FakeNet>();
      ports.processes = std::make_unique<FakeProcesses>();
      return ports;
    };
    env.appDataFolder = dir / "data";
    plugin = std::make_unique<CZintPlugin>(env);
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
    cb->session.autoPlacementExchanges = "<nse_cm><bse_cm>";
    core->Scrips().Load({Scrip("nse_cm", "2885", "RELIANCE-EQ", 2, 100.0, 1),
                         Scrip("nse_fo", "35001", "NIFTY26DECFUT", 2, 100.0, 75),
                         Scrip("mcx_fo", "4411", "CRUDEOIL26DECFUT", 0, 1.0, 100),
                         Scrip("bse_cm", "500325", "RELIANCE", 4, 10000.0, 1)});
    api = OrderApiOf(*cb);
    ASSERT_NE(api, nullptr);
    logBase = core->LogLines().size();
  }

  static sScripDetails Scrip(const char* seg, const char* token, const char* symbol,
                             int32_t precision, double multiplier, int32_t lot) {
    sScripDetails d{};
    snprintf(d.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "%s", seg);
    snprintf(d.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "%s", token);
    snprintf(d.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "%s", symbol);
    d.pricePrecision = precision;
    d.priceMultiplier = multiplier;
    d.quantityMultiplier = lot;
    return d;
  }

  static sPlaceRequest Buy(std::string reference, std::string exchange = "NSE",
                           std::string symbol = "RELIANCE-EQ") {
    sPlaceRequest r;
    r.transactionType = "BUY";
    r.referenceNumber = std::move(reference);
    r.exchange = std::move(exchange);
    r.tradingSymbol = std::move(symbol);
    r.validity = "DAY";
    r.orderType = "LIMIT";
    r.quantity = 10;
    r.price = 2500.5;
    r.triggerPrice = 2490;
    r.disclosedQuantity = 0;
    r.productType = "MIS";
    r.clientId = "PRO";
    return r;
  }

  // The receiver control the order manager registered with.
  OrderControl* UpdatesControl() {
    std::lock_guard lock(orderHost.mutex);
    for (auto& c : orderHost.controls) {
      if (c->notifier.self == &api->Manager()) return c.get();
    }
    return nullptr;
  }

  // An order update as the host delivers it.
  void Update(const std::string& script, const std::string& number, int32_t tag,
              const std::string& status, const std::string& filled = "0",
              const std::string& average = "0") {
    const test::MsgPtr m = test::MakeMessage({{64016, script},
                                              {64001, number},
                                              {64005, TagText(tag)},
                                              {54001, "L1"},
                                              {63001, "nse_cm"},
                                              {10100, "2885"},
                                              {64655, status},
                                              {10076, filled},
                                              {10322, average}});
    OrderControl* control = UpdatesControl();
    ASSERT_NE(control, nullptr);
    control->notifier.onBroadcast(control->notifier.self, m.get());
  }

  // Lines the control block reported at a level, without their time stamp.
  std::vector<std::string> Reports(int level) const {
    const std::string prefix = level == kReportError ? "KovoZint Error : " : "KovoZint Message : ";
    std::vector<std::string> out;
    const std::vector<std::string> lines = core->LogLines();
    for (size_t i = logBase; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      const size_t at = line.find(prefix);
      if (at != std::string::npos) out.push_back(line.substr(at + prefix.size()));
    }
    return out;
  }
  std::vector<std::string> Messages() const { return Reports(kReportMessage); }
  std::vector<std::string> Errors() const { return Reports(kReportError); }

  // Lets the UI thread work until the condition holds or ten seconds pass.
  template <typename Condition>
  bool WaitFor(Condition condition) {
    return test::PumpUntil(ui, condition, std::chrono::milliseconds(2));
  }

  sApiScript* Open(const std::string& name) { return api->GetApiScript(nullptr, name); }
  std::vector<sApiOrderInfo*> Orders(sApiScript* script) {
    std::lock_guard lock(api->Manager().Mutex());
    return script->orders;
  }

  void BeepSwitch(bool on) {
    if (!cb->beepAlerts) cb->beepAlerts = std::make_unique<CBeepAlerts>(*cb);
    if (!cb->beepAlerts->HasWindow()) {
      ASSERT_TRUE(cb->beepAlerts->Create());
    }
    cb->beepAlerts->SetChecked(kBeepApiOrders, on);
  }
  // Beeps are sounded by the UI thread, after the call that asked for them.
  size_t Beeps() {
    ui.Pump(1000);
    return recordedDialogs->Count(test::RecordingDialogs::Kind::kBeep);
  }

  test::TempDir dir;
  HeadlessUiThread ui;
  host::RecordingHostUi hostUi;
  OrderHost orderHost;
  std::unique_ptr<host::CHostCore> core;
  std::unique_ptr<CZintPlugin> plugin;
  CControlBlock* cb = nullptr;
  std::shared_ptr<COrderApi> api;
  test::RecordingDialogs* recordedDialogs = nullptr;
  size_t logBase = 0;
};

}  // namespace kovo
