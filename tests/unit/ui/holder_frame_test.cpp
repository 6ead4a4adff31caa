#include "ui/holder_frame.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"
#include "platform/settings.h"

namespace kovo {
namespace {

using test::RecordingDialogs;
using test::TempDir;

class HolderFrameTest : public ::testing::Test {
 protected:
  HolderFrameTest() : m_settings(SettingsPaths{m_dir / "host", m_dir / "data", "user"}) {}

  static std::vector<sHolderPane> Panes(int count, unsigned style = kPaneStyleCaptionMenu) {
    std::vector<sHolderPane> panes;
    for (int i = 0; i < count; ++i) panes.push_back({true, 150 + i, nullptr, "Pane", style});
    return panes;
  }
  void Store(const std::string& section, std::string value) {
    ASSERT_EQ(m_settings.Write(section, "HOLDER_FRAME_SPLITTER_SIZE", std::move(value),
                               kZintSettingsFile, SettingsLocation::kUserFolder),
              1);
  }
  std::string Stored(const std::string& section) {
    std::string value;
    m_settings.Read(section, "HOLDER_FRAME_SPLITTER_SIZE", value, kZintSettingsFile,
                    SettingsLocation::kUserFolder);
    return value;
  }

  TempDir m_dir;
  CSettingsFiles m_settings;
  RecordingDialogs m_dialogs;
  std::vector<std::string> m_log;
};

TEST_F(HolderFrameTest, SizesAreRestoredAndSavedPerNamedPaneOnlyWithSeveralPanes) {
  Store("CMonitor150", "180");
  Store("CMonitor151", "oops");

  CNTHolderFrame one(m_dialogs, m_settings);
  ASSERT_TRUE(one.CreateHorizontal("CMonitor", 300, 600, Panes(1)));
  EXPECT_EQ(one.PaneSize(0), CHolderView::kInitialSize);
  one.SetPaneSize(0, 250);
  one.SaveSizes();
  EXPECT_EQ(Stored("CMonitor150"), "180");

  CNTHolderFrame two(m_dialogs, m_settings, [this](std::string_view l) { m_log.emplace_back(l); });
  ASSERT_TRUE(two.CreateHorizontal("CMonitor", 300, 600, Panes(2)));
  EXPECT_EQ(two.Pane(0).Name(), "CMonitor150");
  EXPECT_EQ(two.Splitter().Rows(), 2);
  EXPECT_EQ(two.Splitter().Columns(), 1);
  EXPECT_EQ(two.PaneSize(0), 180);
  EXPECT_EQ(two.PaneSize(1), CHolderView::kInitialSize);  // "oops" is no size
  EXPECT_EQ(m_log.size(), 1u);
  two.SetPaneSize(1, 420);
  two.SaveSizes();
  EXPECT_EQ(Stored("CMonitor150"), "180");
  EXPECT_EQ(Stored("CMonitor151"), "420");

  // A file that takes no size names every pane it lost.
  const auto file = m_settings.PerUserPath(kZintSettingsFile);
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  two.SetPaneSize(0, 200);
  two.SetPaneSize(1, 400);
  two.SaveSizes();
  std::filesystem::permissions(
      file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(Stored("CMonitor150"), "180");
  EXPECT_EQ(Stored("CMonitor151"), "420");
  EXPECT_EQ(m_log,
            (std::vector<std::string>{m_log.front(), "Splitter size of CMonitor150 not saved",
                                      "Splitter size of CMonitor151 not saved"}));

  // A vertical frame keeps column widths under the same key.
  CNTHolderFrame side(m_dialogs, m_settings);
  ASSERT_TRUE(side.CreateVertical("CMonitor", 600, 300, Panes(2)));
  EXPECT_EQ(side.Splitter().Columns(), 2);
  EXPECT_EQ(side.Splitter().ColumnWidth(1), 420);
  EXPECT_TRUE(m_dialogs.MessageBoxTexts().empty());
}

TEST_F(HolderFrameTest, CreationFailuresShowTheirMessages) {
  struct Windows : CHolderFrameWindows {
    bool frame = true, splitter = true;
    bool CreateFrame() override { return frame; }
    bool CreateSplitter(int, int) override { return splitter; }
  } windows;
  CNTHolderFrame frame(m_dialogs, m_settings);
  EXPECT_FALSE(frame.CreateVertical("C", 10, 10, {}));
  windows.frame = false;
  EXPECT_FALSE(frame.CreateHorizontal("C", 10, 10, Panes(2), &windows));
  EXPECT_FALSE(frame.CreateVertical("C", 10, 10, Panes(2), &windows));
  windows.frame = true;
  windows.splitter = false;
  EXPECT_FALSE(frame.CreateHorizontal("C", 10, 10, Panes(2), &windows));
  EXPECT_FALSE(frame.CreateVertical("C", 10, 10, Panes(2), &windows));
  EXPECT_FALSE(frame.Created());
  EXPECT_EQ(
      m_dialogs.MessageBoxTexts(),
      (std::vector<std::string>{
          "Number of Pane should be Greater Than One", "Failed To Create Horizontal Holder Frame",
          "Failed To Create Vertical Holder Frame", "Failed To Create Horizontal Splitter",
          "Failed To Create Vertical Splitter"}));
}

TEST_F(HolderFrameTest, CaptionMenuCommands) {
  CNTHolderFrame frame(m_dialogs, m_settings);
  auto panes = Panes(3);
  panes[2].style = 0;
  ASSERT_TRUE(frame.CreateVertical("CView", 600, 400, panes));
  std::vector<std::pair<HolderNotice, int>> notices;
  frame.SetNotify([&](HolderNotice n, int pane) { notices.emplace_back(n, pane); });

  EXPECT_TRUE(frame.OnRightClick(0));
  EXPECT_FALSE(frame.OnRightClick(2));  // no caption menu: the parent's turn
  const auto menu = frame.CaptionMenu();
  ASSERT_EQ(menu.size(), 8u);
  EXPECT_EQ(menu[3], (sMenuItem{16008, "Set Color to All Bricks"}));
  EXPECT_EQ(menu[6], (sMenuItem{16010, "Fit To Window"}));

  ASSERT_TRUE(frame.OnCommand(0, kCmdHolderFitToWindow));
  for (int c = 0; c < 3; ++c) EXPECT_EQ(frame.Splitter().ColumnWidth(c), 200);
  EXPECT_EQ(notices, (std::vector<std::pair<HolderNotice, int>>{{HolderNotice::kRightClick, 2},
                                                                {HolderNotice::kFitToWindow, 0}}));

  ASSERT_TRUE(frame.OnCommand(1, kCmdCollapsePane));
  EXPECT_EQ(frame.PaneSize(1), 0);

  // Colours: cancelled, one pane, then all.
  frame.OnCommand(0, kCmdCaptionColor);
  EXPECT_EQ(frame.Pane(0).CaptionColor(), CHolderView::kDefaultCaptionColor);
  m_dialogs.AnswerColor(0x112233);
  frame.OnCommand(1, kCmdCaptionColor);
  EXPECT_EQ(frame.Pane(1).CaptionColor(), 0x112233u);
  EXPECT_EQ(frame.Pane(0).CaptionColor(), CHolderView::kDefaultCaptionColor);
  m_dialogs.AnswerColor(0x445566);
  frame.OnCommand(2, kCmdCaptionColorAll);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(frame.Pane(p).CaptionColor(), 0x445566u);

  // Fonts: one pane, all panes, back to the default.
  m_dialogs.AnswerFont({"Arial", 10, false, true, 0});
  frame.OnCommand(0, kCmdCaptionFont);
  EXPECT_EQ(frame.Pane(0).CaptionFont(), (sCaptionFont{"Arial", 10, 400, true}));
  EXPECT_EQ(frame.Pane(1).CaptionFont(), sCaptionFont{});
  // Bold picked on a caption that was bold already keeps its weight.
  m_dialogs.AnswerFont({"Verdana", 11, true, false, 0});
  frame.OnCommand(1, kCmdCaptionFont);
  EXPECT_EQ(frame.Pane(1).CaptionFont(), (sCaptionFont{"Verdana", 11, 600, false}));
  m_dialogs.AnswerFont({"Courier", 13, true, false, 0});
  frame.OnCommand(0, kCmdCaptionFontAll);
  for (int p = 0; p < 3; ++p)
    EXPECT_EQ(frame.Pane(p).CaptionFont(), (sCaptionFont{"Courier", 13, 700, false}));
  frame.OnCommand(2, kCmdCaptionDefaults);
  for (int p = 0; p < 3; ++p)
    EXPECT_EQ(frame.Pane(p).CaptionFont(), (sCaptionFont{"Times New Roman", 13, 600, false}));
  EXPECT_FALSE(frame.OnCommand(0, 4242));
}

}  // namespace
}  // namespace kovo
