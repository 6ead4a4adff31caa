// The real libKovoZint.so loaded into a test host that talks to the
// simulated back end.
#include <connectkovo/connectkovo.hpp>

#include <fstream>
#include <string>

#include "integration/plugin_host.h"

namespace kovo::test {
namespace {

using namespace std::chrono_literals;

class PluginLibraryTest : public PluginHostTest {
 protected:
  std::vector<std::string> MenuNames(int32_t capacity, int32_t* count) {
    std::vector<char[KOVO_MENU_TEXT_LEN]> hot(capacity), names(capacity);
    std::vector<int32_t> kinds(capacity);
    KovoTextList hotKeys{hot.data(), capacity, 0};
    KovoTextList nameList{names.data(), capacity, 0};
    KovoIntList kindList{kinds.data(), capacity, 0};
    char text[8] = "x";
    KovoTextList first{nullptr, 0, 5};
    lib.menu(text, sizeof text, &first, &hotKeys, &nameList, &kindList);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(hotKeys.count, nameList.count);
    EXPECT_EQ(kindList.count, nameList.count);
    *count = nameList.count;
    std::vector<std::string> out;
    for (int32_t i = 0; i < std::min(capacity, nameList.count); ++i) out.push_back(names[i]);
    if (!out.empty()) {
      EXPECT_STREQ(hot[0], "Shift+P");
      EXPECT_EQ(kinds[0], 1);
    }
    return out;
  }
};

using PluginLibrary = PluginLibraryTest;

// Whether any Qt library is mapped into this process.
bool QtIsLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libQt6") != std::string::npos) return true;
  }
  return false;
}

TEST_F(PluginLibrary, AnnouncesItselfAndItsMenuForTheHostVersion) {
  StartHost();
  char name[32];
  char version[4];  // cut to fit
  int32_t id = 0;
  int32_t kind = 0;
  int reserved = 42;
  EXPECT_EQ(lib.info(name, sizeof name, version, sizeof version, &reserved, &id, &kind), 1);
  EXPECT_STREQ(name, "Kovo Zint");
  EXPECT_STREQ(version, "3.5");
  EXPECT_EQ(id, 29032010);
  EXPECT_EQ(kind, 63);
  EXPECT_EQ(reserved, 42);

  int32_t count = 0;
  std::vector<std::string> names = MenuNames(32, &count);
  ASSERT_EQ(count, 12);
  EXPECT_EQ(names[7], "Zint Running Scripts");
  EXPECT_EQ(names[11], "Zint Index Chart");
  names = MenuNames(4, &count);
  EXPECT_EQ(count, 12) << "rows past the capacity are counted";
  EXPECT_EQ(names.size(), 4u);

  host::HostConfig older;
  older.version = "3.10.57.97";
  StartHost(older);
  names = MenuNames(32, &count);
  ASSERT_EQ(count, 10);
  EXPECT_EQ(names[7], "Ondo Running Scripts");
  EXPECT_EQ(names[8], "Logout");

  std::vector<uint32_t> pixels(256);
  KovoBitmap bitmap{0, 0, pixels.data(), pixels.size()};
  lib.bitmap(&bitmap);
  EXPECT_EQ(bitmap.width * bitmap.height, 256);
  EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0xFFFFFFFFu), 0);
  EXPECT_NE(std::count(pixels.begin(), pixels.end(), pixels[0]), 256);
}

TEST_F(PluginLibrary, SessionRunsAgainstTheBackEndAndEndsInOrder) {
  StartHost();
  Connect();
  lib.init(nullptr, "", 0, "");
  EXPECT_EQ(session->ControlCount(), 6u) << "request and broadcast registrations, one for each "
                                            "market movers window and two for the market monitor";
  EXPECT_NE(core->Windows().FindWindow("", "CZintControlBlock"), 0u);
  EXPECT_EQ(Count("KovoZint Message : DEMO01 user logged in successfully"), 1)
      << "the host's user is logged in once the broker details went out";
  ASSERT_TRUE(PumpUntil([&] { return session->IsReady(); }));
  // The readiness message brings the login dialog and its own registration.
  ASSERT_TRUE(PumpUntil([&] { return session->ControlCount() == 7; }));

  const char* row[] = {"nse_cm", "RELIANCE-EQ", "RELIANCE", "2885"};
  lib.hotKey("Shift+P", 1, 0, row, 4);
  EXPECT_EQ(Count("is not available in this version"), 0) << "the chart key opens a chart";

  EXPECT_FALSE(QtIsLoaded()) << "a host without Qt never loads Qt, not even with a chart open";

  lib.exit();
  EXPECT_EQ(session->ControlCount(), 0u);
  EXPECT_EQ(core->Windows().WindowCount(), 0u);
  EXPECT_EQ(Count("KovoZint Message : Zint Exited Successfully"), 1);
  lib.exit();
  EXPECT_EQ(Count("Zint Exited Successfully"), 1) << "a second exit does nothing";

  // A chart key after the end starts a new control block.
  lib.hotKey("Shift+P", 1, 0, row, 4);
  EXPECT_EQ(session->ControlCount(), 6u);
}

TEST_F(PluginLibrary, AutomaticLoginAndTheLogoutWhenTheIdLogsInElsewhere) {
  StartHost();
  Connect();
  lib.init(nullptr, "", 0, "");
  EXPECT_EQ(lib.launch("trader7", "DEMO01"), 1);
  ASSERT_TRUE(PumpUntil([&] { return Count("xr_zint_launch request sent") == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return Count("peer data request sent") == 1; }))
      << "the login's product tree leads to the peer data";

  // The same id logs in from another terminal.
  host::CHostSession other(ui, {});
  std::string error;
  ASSERT_TRUE(other.Connect("127.0.0.1", server->Port(), &error)) << error;
  KovoRxNotifier quiet{[](void*, const wmp_msg*) {}, [](void*, void*, const wmp_msg*, int32_t) {},
                       nullptr};
  KovoRxControl* control = other.CreateControl(KOVO_RX_REQUESTS, quiet);
  connectkovo::Writer w;
  w.Start();
  w.Add(0, "xr_zint_launch");
  w.Add(31003, "OTHER");
  w.Add(20013, "trader7");
  int32_t sendError = 0;
  ASSERT_EQ(control->ops->send(control, nullptr, w.Builder(), 0, &sendError), 1);

  ASSERT_TRUE(PumpUntil([&] { return Count("Zint Exited Successfully") == 1; }));
  ASSERT_FALSE(hostUi.Boxes().empty());
  EXPECT_EQ(hostUi.Boxes().back().text,
            "Zint user trader7 logged in different location , logging out from zint ..");
  other.DestroyControl(control);
}

TEST_F(PluginLibrary, AStrategysOrderGoesToTheBackEndAndFills) {
  ASSERT_TRUE(lib.getScript && lib.place && lib.status);
  StartHost();
  // Replies are handed to the plug-in on the UI thread right after this hook,
  // so once it has seen the peer data the plug-in holds the auto-placement list.
  bool peerData = false;
  trafficHook = [&](host::SessionTraffic kind, const wmp_msg* m) {
    wmp_value name{};
    if (kind == host::SessionTraffic::kReply && wmp_get_data(m, 32767, 0, &name, nullptr) &&
        std::string_view(static_cast<const char*>(name.data), name.length) ==
            "xr_get_user_peer_data")
      peerData = true;
  };
  Connect();
  lib.init(nullptr, "", 0, "");
  // The login's product tree leads to the peer data with the auto-placement
  // list, which the login dialog (its own registration) takes.
  ASSERT_EQ(lib.launch("trader7", "DEMO01"), 1);
  sApiScript* script = lib.getScript(nullptr, "IntegrationScript");
  ASSERT_NE(script, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return peerData; })) << LogText();
  lib.place(script, "BUY", "R1", "NSE", "RELIANCE-EQ", "DAY", "LIMIT", 3, 5000.0, 0.0, 0, "MIS",
            "PRO");
  char status[32] = "";
  int32_t filled = -1;
  double average = 0.0;
  ASSERT_TRUE(PumpUntil([&] {
    lib.status(script, "R1", status, sizeof status, &filled, &average);
    return std::string(status) == "complete";
  })) << "last status "
      << status;
  EXPECT_EQ(filled, 3);
  EXPECT_GT(average, 0.0);
  EXPECT_LT(average, 5000.0) << "a buy above the market fills at the market";
}

TEST_F(PluginLibrary, HostWithoutIdentityFunctionsGetsTheStartUpMessage) {
  host::HostConfig config;
  config.switchedOff = {"pu_get_peer_data"};
  StartHost(config);
  lib.init(nullptr, "", 0, "");
  ASSERT_EQ(hostUi.Boxes().size(), 1u);
  EXPECT_EQ(hostUi.Boxes()[0].text, "Exe is not compatible with KAP");
  EXPECT_EQ(core->Windows().WindowCount(), 0u);
  EXPECT_EQ(lib.launch("", ""), 0);
  EXPECT_EQ(lib.launch("trader7", "DEMO01"), 1);
  EXPECT_EQ(hostUi.Boxes().size(), 2u) << "each start-up attempt says why it failed";
}

}  // namespace
}  // namespace kovo::test
