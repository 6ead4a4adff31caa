// The session's panes at login, the layout profile and its restore.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "charts/bar_chart_dlg.h"
#include "market/broker_calls.h"
#include "market/kovo_market_scanner.h"
#include "market/zint_mkt_monitor.h"
#include "orders/scripts_view_dlg.h"
#include "platform/headless_views.h"
#include "plugin/session_launch.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

TEST(LayoutProfile, InstallationNumberNamesTheProfileFolder) {
  EXPECT_EQ(InstallationNumber("/opt/kovo"), -375667);
  EXPECT_EQ(InstallationNumber("C:\\Kovo Trader"), 468376);
  EXPECT_EQ(InstallationNumber("/usr/local/kovo-terminal"), 739867);
  EXPECT_EQ(InstallationNumber(""), 0);
  // Bytes above 127 count as negative.
  EXPECT_EQ(InstallationNumber("\xC3\xA9t\xC3\xA9"), 986332);
  EXPECT_EQ(LayoutProfilePath("/home/u/.local/share", "/opt/kovo"),
            std::filesystem::path(
                "/home/u/.local/share/Tolvane/KovoTrader/-375667/KovoPlugins/ZintProfile.lyt"));
}

TEST(LayoutProfile, ReadsWhatItWritesAndRefusesEverythingElse) {
  const std::vector<sSavedPane> panes = {
      {230, {true, true, DockSide::kRight, {100, 120, 700, 520}}},
      {224, {false, false, DockSide::kLeft, {}}},
      {76, {true, false, DockSide::kBottom, {-5, 0, 0, 0}}},
      {2147483647, {true, false, DockSide::kTop, {}}},
  };
  std::vector<sSavedPane> read;
  ASSERT_TRUE(ReadLayoutProfile(WriteLayoutProfile(panes), read));
  EXPECT_EQ(read, panes);
  ASSERT_TRUE(ReadLayoutProfile("KovoZint layout 1\r\n230 1 0 R 0 0 0 0\r\n\r\n", read));
  EXPECT_EQ(read.size(), 1u);
  ASSERT_TRUE(ReadLayoutProfile("KovoZint layout 1\n", read));
  EXPECT_TRUE(read.empty());

  const std::string header = "KovoZint layout 1\n";
  const std::vector<std::string> bad = {
      "",
      "\n230 1 0 R 0 0 0 0\n",
      "KovoZint layout 2\n",
      header + "230 1 0 R 0 0 0\n",
      header + "230 1 0 R 0 0 0 0 0\n",
      header + "230 2 0 R 0 0 0 0\n",
      header + "230 1 0 X 0 0 0 0\n",
      header + "0 1 0 R 0 0 0 0\n",
      header + "-4 1 0 R 0 0 0 0\n",
      header + "2147483648 1 0 R 0 0 0 0\n",
      header + "230 1 0 R 0 0 0 1000001\n",
      header + "230 1 0 R 12a 0 0 0\n",
      header + "230 1 0 R 0x1 0 0 0\n",
      header + std::string("230 1 0 R 0\0 0 0 0\n", 19),
      header + std::string(kMaxLayoutProfileBytes, ' '),
  };
  for (const std::string& text : bad) {
    read = {panes.front()};
    EXPECT_FALSE(ReadLayoutProfile(text, read)) << text.substr(0, 60);
    EXPECT_TRUE(read.empty());
  }
  std::string many = header;
  for (size_t i = 0; i <= kMaxLayoutPanes; ++i) many += "230 1 0 R 0 0 0 0\n";
  EXPECT_FALSE(ReadLayoutProfile(many, read));
}

TEST(LayoutProfile, FloatingRectanglesAreClampedToTheScreen) {
  const sRect screen{0, 0, 1920, 1080};
  EXPECT_EQ(ClampToScreen({100, 100, 500, 400}, screen), (sRect{100, 100, 500, 400}));
  EXPECT_EQ(ClampToScreen({1800, 1000, 2200, 1300}, screen), (sRect{1520, 780, 1920, 1080}));
  EXPECT_EQ(ClampToScreen({-300, -50, 100, 250}, screen), (sRect{0, 0, 400, 300}));
  EXPECT_EQ(ClampToScreen({-10, -10, 5000, 3000}, screen), screen);
  EXPECT_EQ(ClampToScreen({10, 10, 10, 10}, screen), (sRect{10, 10, 11, 11}));
}

class SessionLaunch : public PluginFixture {
 protected:
  HeadlessHostFrame& Frame() { return static_cast<HeadlessHostFrame&>(cb->Frame()); }
  std::filesystem::path Profile() const {
    return LayoutProfilePath(dir / "data", (dir / "host").string());
  }
  void WriteProfile(const std::string& text) {
    std::filesystem::create_directories(Profile().parent_path());
    std::ofstream(Profile(), std::ios::binary) << text;
  }
  void Start() {
    Load();
    ASSERT_EQ(plugin->EnsureControlBlock(), 1);
    cb = plugin->ControlBlock();
  }
  const HeadlessHostFrame::Pane& Pane(const std::string& id) { return Frame().Panes().at(id); }
  CControlBlock* cb = nullptr;
};

TEST_F(SessionLaunch, WithoutAProfileEveryPaneIsDockedHiddenAndTheCommandsShowThem) {
  Start();
  ASSERT_EQ(Frame().Panes().size(), 5u);
  EXPECT_EQ(Pane(CBrokerCalls::kPaneId).title, "Technical, Research Calls");
  EXPECT_EQ(Pane(CZintMktMonitor::kPaneId).title, "Zint market Monitor");
  EXPECT_EQ(Pane(CBarChartDlg::kPaneId).title, "Open Interest Distribution");
  EXPECT_EQ(Pane(CScriptsViewDlg::kPaneId).title, "Zint API Scripts");
  EXPECT_EQ(Pane(CKovoMarketScanner::kPaneId).title, "Zint Market Movers");
  for (const auto& [id, pane] : Frame().Panes()) {
    EXPECT_FALSE(pane.shown) << id;
    EXPECT_FALSE(pane.floating) << id;
  }
  ASSERT_NE(MarketOf(*cb).ScannerDlgIfAny(), nullptr);
  EXPECT_TRUE(MarketOf(*cb).ScannerDlgIfAny()->HasWindow());
  EXPECT_FALSE(MarketOf(*cb).ScannerDlgIfAny()->GetView()->IsVisible());
  EXPECT_FALSE(Logged("zint profile"));
  EXPECT_FALSE(Logged("Safe Mode"));

  // Each pane once: commands show the panes the launch made.
  plugin->ProcessHotKey("Market Movers", 0, {});
  plugin->ProcessHotKey("Zint Running Scripts", 0, {});
  plugin->ProcessHotKey("Technical,Research and Option Calls", 0, {});
  plugin->ProcessHotKey("Market Monitor", 0, {});
  EXPECT_EQ(Frame().Panes().size(), 5u);
  EXPECT_TRUE(Pane(CZintMktMonitor::kPaneId).shown);
  EXPECT_TRUE(Pane(CKovoMarketScanner::kPaneId).shown);
  EXPECT_TRUE(Pane(CScriptsViewDlg::kPaneId).shown);
  EXPECT_TRUE(Pane(CBrokerCalls::kPaneId).shown);
}

TEST_F(SessionLaunch, PanesAreMadeInOrderAndAFailureEndsTheLaunch) {
  Start();
  std::vector<std::string> made;
  const auto row = [&](int32_t id, std::string name, bool ok, bool ends) {
    sLaunchPane pane;
    pane.barId = id;
    pane.paneId = name;
    pane.failure = "Failed to create " + name;
    pane.failureEndsLaunch = ends;
    pane.create = [&made, name, ok](CControlBlock&) {
      made.push_back(name);
      return ok;
    };
    return pane;
  };
  WriteProfile("KovoZint layout 1\n230 1 1 R 10 10 400 300\n");
  {
    CPaneRegistry registry;
    registry.Add(row(30015, "calls", true, true));
    registry.Add(row(33540, "help", false, false));  // only reported
    registry.Add(row(224, "scripts", false, true));
    registry.Add(row(230, "movers", true, true));
    CSessionLauncher launcher(*cb, std::move(registry));
    launcher.Launch(false);
    EXPECT_EQ(made, (std::vector<std::string>{"calls", "help", "scripts"}));
    EXPECT_TRUE(Logged("KovoZint Error : Failed to create help"));
    EXPECT_TRUE(Logged("KovoZint Error : Failed to create scripts"));
    EXPECT_FALSE(launcher.PanesCreated());
    EXPECT_FALSE(launcher.SaveLayout()) << "nothing is written for a launch that made no panes";
    // No layout was restored: the movers pane stays docked and hidden.
    EXPECT_FALSE(Pane(CKovoMarketScanner::kPaneId).floating);
  }
  made.clear();
  CPaneRegistry registry;
  registry.Add(row(33540, "help", false, false));
  registry.Add(row(1, "other", true, true));
  CSessionLauncher launcher(*cb, std::move(registry));
  launcher.Launch(false);
  EXPECT_EQ(made, (std::vector<std::string>{"help", "other"}));
  EXPECT_TRUE(launcher.PanesCreated());
}

TEST_F(SessionLaunch, ProfileRestoresSidesFloatingAndVisibilityAndDropsUnknownPanes) {
  Load();
  WriteProfile(
      "KovoZint layout 1\n"
      "9999 1 1 R 0 0 100 100\n"
      "230 1 1 R 1700 900 2300 1400\n"
      "224 0 0 L 0 0 0 0\n"
      "230 0 0 T 0 0 0 0\n");  // the earlier entry of a pane loses: walked last to first
  std::filesystem::create_directories(dir / "host" / "kovo plugins");
  std::ofstream(dir / "host" / "kovo plugins" / "kovozint.ini") << "[ZINT_DATA]\nSAFE MODE=1\n";
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  cb = plugin->ControlBlock();
  const auto& movers = Pane(CKovoMarketScanner::kPaneId);
  EXPECT_TRUE(movers.floating);
  EXPECT_TRUE(movers.shown);
  EXPECT_EQ(movers.rect, (sRect{1320, 580, 1920, 1080}));
  EXPECT_TRUE(MarketOf(*cb).Scanner().GetView()->IsVisible());
  const auto& scripts = Pane(CScriptsViewDlg::kPaneId);
  EXPECT_FALSE(scripts.floating);
  EXPECT_FALSE(scripts.shown);
  EXPECT_EQ(scripts.side, DockSide::kLeft);
  EXPECT_EQ(Frame().Panes().size(), 5u);
  EXPECT_FALSE(Logged("corrupted"));
  const std::vector<std::string> lines = Log();
  const auto safe = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("KovoZint Message : Kovo Zint is running in Safe Mode") != std::string::npos;
  });
  EXPECT_NE(safe, lines.end());
}

TEST_F(SessionLaunch, TheMarketMonitorIsSetUpWithItsPaneAndTheLayoutShowsOrHidesIt) {
  Load();
  WriteProfile("KovoZint layout 1\n229 1 0 B 0 0 0 0\n");
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  cb = plugin->ControlBlock();
  CZintMktMonitor* monitor = MarketMonitorOf(*cb);
  ASSERT_NE(monitor, nullptr);
  EXPECT_TRUE(monitor->Started()) << "the types are asked for when the pane is made";
  ASSERT_NE(monitor->PaneView(), nullptr);
  EXPECT_TRUE(Pane(CZintMktMonitor::kPaneId).shown);
  EXPECT_EQ(Pane(CZintMktMonitor::kPaneId).side, DockSide::kBottom);
  EXPECT_TRUE(monitor->PaneView()->IsVisible());
  // The command shows the monitor the launch made, not another one.
  plugin->ProcessHotKey("Market Monitor", 0, {});
  EXPECT_EQ(MarketMonitorOf(*cb), monitor);
  plugin->Exit();

  WriteProfile("KovoZint layout 1\n229 0 0 L 0 0 0 0\n");
  Start();
  EXPECT_FALSE(Pane(CZintMktMonitor::kPaneId).shown);
  EXPECT_EQ(Pane(CZintMktMonitor::kPaneId).side, DockSide::kLeft);
  EXPECT_FALSE(MarketMonitorOf(*cb)->PaneView()->IsVisible());
}

TEST_F(SessionLaunch, AMarketMonitorThatCannotStartEndsTheLaunch) {
  HostConfig config;
  // The market movers start without it; the monitor cannot.
  config.switchedOff = {"pu_convert_exchange"};
  Load(config);
  WriteProfile("KovoZint layout 1\n230 1 1 R 10 10 400 300\n");
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  cb = plugin->ControlBlock();
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Market Monitor is not compatible with this exe"});
  EXPECT_TRUE(Logged("KovoZint Error : Failed to create controlbar"));
  EXPECT_EQ(MarketMonitorOf(*cb), nullptr);
  EXPECT_EQ(Frame().Panes().count(CZintMktMonitor::kPaneId), 0u);
  // The panes before it stand; no layout was restored over them.
  EXPECT_FALSE(Pane(CKovoMarketScanner::kPaneId).floating);
  EXPECT_FALSE(Pane(CKovoMarketScanner::kPaneId).shown);
}

TEST_F(SessionLaunch, CorruptProfileIsReportedAndLeavesThePanesAsMade) {
  Load();
  WriteProfile("KovoZint layout 1\n230 1 1 R 0 0 100\n");
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  cb = plugin->ControlBlock();
  EXPECT_TRUE(Logged("KovoZint Error : zint profile is corrupted,can not restore zint profile"));
  EXPECT_FALSE(Pane(CKovoMarketScanner::kPaneId).floating);
  EXPECT_FALSE(Pane(CKovoMarketScanner::kPaneId).shown);
}

TEST_F(SessionLaunch, AFloatedPaneComesBackWhereItWasAfterARestart) {
  Start();
  Frame().SetPaneState(CKovoMarketScanner::kPaneId,
                       {true, true, DockSide::kRight, {300, 200, 900, 650}});
  Frame().SetPaneState(CScriptsViewDlg::kPaneId, {false, false, DockSide::kBottom, {}});
  plugin->Exit();
  std::vector<sSavedPane> saved;
  std::ifstream in(Profile(), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(ReadLayoutProfile(text, saved)) << text;
  ASSERT_EQ(saved.size(), 5u);

  Start();
  const auto& movers = Pane(CKovoMarketScanner::kPaneId);
  EXPECT_TRUE(movers.floating);
  EXPECT_TRUE(movers.shown);
  EXPECT_EQ(movers.rect, (sRect{300, 200, 900, 650}));
  EXPECT_EQ(Pane(CScriptsViewDlg::kPaneId).side, DockSide::kBottom);
  EXPECT_FALSE(Pane(CScriptsViewDlg::kPaneId).shown);

  // Closed and opened again, it is still floating where it was.
  MarketOf(*cb).Scanner().ShowPane(false);
  plugin->ProcessHotKey("Market Movers", 0, {});
  EXPECT_TRUE(movers.floating);
  EXPECT_EQ(movers.rect, (sRect{300, 200, 900, 650}));
}

TEST_F(SessionLaunch, ChartLikePanesShareATabStack) {
  Start();
  HeadlessView a, b, c;
  ASSERT_TRUE(Frame().AddPane("ZintChart1950", "A", a));
  ASSERT_TRUE(Frame().AddPane("ZintChart1951", "B", b));
  ASSERT_TRUE(Frame().AddPane("Other", "C", c));
  EXPECT_EQ(Pane("ZintChart1950").tabbedWith, "");
  EXPECT_EQ(Pane("ZintChart1951").tabbedWith, "ZintChart1950");
  EXPECT_EQ(Pane("Other").tabbedWith, "");
  EXPECT_EQ(Pane(CKovoMarketScanner::kPaneId).tabbedWith, "");
}

}  // namespace
}  // namespace kovo
