// The news window and the story window: tabs, colours and icons of rows,
// stepping through stories, mail and print handed to the desktop.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "market/news_window.h"
#include "market/research_module.h"
#include "platform/headless_views.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

struct RecordingShell final : Shell {
  bool Execute(std::string_view verb, std::string_view target) override {
    calls.emplace_back(std::string(verb), std::string(target));
    return true;
  }
  std::vector<std::pair<std::string, std::string>> calls;
};

sNewsDetails Item(std::string headline, std::string reportType, std::string category) {
  sNewsDetails d;
  d.headline = std::move(headline);
  d.reportType = std::move(reportType);
  d.category = std::move(category);
  d.text = "line one\n\tline & two";
  return d;
}

TEST(NewsStory, StepsMarksReadAndHidesTheButtonsAtTheEnds) {
  CallList items = {Item("A", "Technical Calls", "trading calls"),
                    Item("B", "Research Calls", "research reports"), Item("C", "Wire", "Economy")};
  RecordingShell shell;
  test::TempDir dir;
  CNewsStory story(items, shell, dir.Path());
  EXPECT_FALSE(story.Open(3));
  EXPECT_FALSE(story.Email());
  ASSERT_TRUE(story.Open(0));
  EXPECT_EQ("Story - A", story.Caption());
  EXPECT_EQ("A\n\nline one\n\tline & two", story.Content());
  EXPECT_EQ(26109, story.Icon());
  EXPECT_TRUE(items[0].read);
  EXPECT_FALSE(items[1].read);
  EXPECT_FALSE(story.PreviousVisible());
  EXPECT_TRUE(story.NextVisible());
  story.OnCommand(kIdPreviousStory);
  EXPECT_EQ(0u, story.Index());
  story.OnCommand(kIdNextStory);
  EXPECT_EQ("News Story - B", story.Caption());
  EXPECT_EQ(26108, story.Icon());
  EXPECT_TRUE(items[1].read);
  story.OnCommand(kIdNextStory);
  EXPECT_EQ(26105, story.Icon());
  EXPECT_FALSE(story.NextVisible());
  story.OnCommand(kIdNextStory);
  EXPECT_EQ(2u, story.Index());

  story.OnCommand(kIdEmailStory);
  ASSERT_EQ(1u, shell.calls.size());
  EXPECT_EQ("open", shell.calls[0].first);
  EXPECT_EQ("mailto:?subject=Kovo News : C&body=Kovo News :%0D%0Aline one%0A%20line %26 two",
            shell.calls[0].second);

  items[2].headline = "Q3 {up} \\ 5";
  story.OnCommand(kIdPrintStory);
  ASSERT_EQ(2u, shell.calls.size());
  EXPECT_EQ("print", shell.calls[1].first);
  EXPECT_EQ((dir.Path() / "temp.rtf").string(), shell.calls[1].second);
  std::ifstream in(dir.Path() / "temp.rtf");
  std::stringstream rtf;
  rtf << in.rdbuf();
  EXPECT_EQ(CNewsStory::RichText(items[2]), rtf.str());
  EXPECT_NE(std::string::npos, rtf.str().find("\\b\\fs30 Q3 \\{up\\} \\\\ 5\\b0\\fs18"));
}

class NewsWindow : public PluginFixture {};

TEST_F(NewsWindow, TabsFilterTheReportTypeAndEnterOpensTheStory) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  cb.session.loggedInUserId = "trader7";
  CNewsFeed& feed = static_cast<CResearchModule&>(*cb.researchFeed).Feed();
  feed.Calls() = {Item("T", "Technical Calls", "trading calls"),
                  Item("R", "Research Calls", "research reports"), Item("N", "Wire", "Economy")};
  feed.Calls()[0].transactionType = "BUY";
  RecordingShell shell;
  CNews news(cb, feed, shell, dir.Path());
  CFilterListCtrl& list = news.List();
  ASSERT_EQ(3, list.ItemCount());
  // The default columns: Time, Source, Headline, Isin Code, Symbol, Report Type, Indicator.
  ASSERT_EQ(7, list.HeaderCount());
  EXPECT_EQ(12, list.HeaderDescriptor(5));

  sCellInfo cell;
  ASSERT_TRUE(news.Cell(0, static_cast<int>(NewsColumn::kIndicator), cell));
  EXPECT_EQ(26103, cell.icon);
  EXPECT_EQ(Rgb(56, 142, 142), cell.textColor);
  ASSERT_TRUE(news.Cell(1, static_cast<int>(NewsColumn::kHeadline), cell));
  EXPECT_EQ(Rgb(100, 149, 237), cell.textColor);

  news.OnCommand(kCmdTechnicalCalls);
  EXPECT_EQ("Technical calls - trader7", news.Caption());
  ASSERT_EQ(1, list.ItemCount());
  list.SetSelection({0});
  ASSERT_TRUE(news.OnEnter());
  EXPECT_EQ("Story - T", news.Story().Caption());
  EXPECT_TRUE(feed.Calls()[0].read);

  news.OnCommand(kCmdResearchCalls);
  EXPECT_EQ("Research calls - trader7", news.Caption());
  ASSERT_EQ(1, list.ItemCount());
  news.OnCommand(kCmdNews);
  EXPECT_EQ(3, list.ItemCount());
  const auto menu = news.ContextMenu();
  ASSERT_EQ(6u, menu.size());
  EXPECT_EQ("Draw Grid Lines", menu[5].text);
}

TEST_F(NewsWindow, ShiftNOpensTheWindowAndLiveItemsGoOnTop) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  auto& module = static_cast<CResearchModule&>(*cb.researchFeed);
  cb.session.loggedInUserId.clear();
  plugin->ProcessHotKey("Shift+N", 0, {});
  EXPECT_EQ(nullptr, module.News());
  cb.session.loggedInUserId = "trader7";
  module.Feed().Calls() = {Item("old", "Wire", "Economy")};
  plugin->ProcessHotKey("Shift+N", 0, {});
  ASSERT_NE(nullptr, module.News());
  ASSERT_NE(nullptr, module.News()->GetView());
  EXPECT_TRUE(module.News()->GetView()->IsVisible());
  ASSERT_EQ(1, module.News()->List().ItemCount());

  // The control block's broadcasts come through the first such control.
  FakeControl* broadcasts = nullptr;
  for (auto& c : rx.controls)
    if (!broadcasts && c->kind == KOVO_RX_BROADCASTS) broadcasts = c.get();
  ASSERT_NE(nullptr, broadcasts);
  broadcasts->Broadcast(
      {{MNM_CATEGORY, "trading calls"}, {MNM_HEADLINE, "new"}, {MNM_BODY_TEXT, "b"}});
  ASSERT_EQ(2, module.News()->List().ItemCount());
  sCellInfo cell;
  const auto top = module.News()->List().GetItemData(0);
  ASSERT_TRUE(module.News()->Cell(static_cast<size_t>(top - 1), 2, cell));
  EXPECT_EQ("new", cell.text);
}

TEST_F(NewsWindow, ShiftNShowsTheSelectedScripsCallsByWhatTheSymbolColumnHolds) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  cb.session.loggedInUserId = "trader7";
  auto& module = static_cast<CResearchModule&>(*cb.researchFeed);
  const auto item = [](std::string headline, std::string symbols) {
    sNewsDetails d = Item(std::move(headline), "Research Calls", "research reports");
    d.symbols = std::move(symbols);
    return d;
  };
  // Calls name a scrip as they came: by token, or by trading symbol.
  module.Feed().Calls() = {item("by token", "11536"), item("by trading symbol", "tcs-eq"),
                           item("another token", "115360"),
                           item("legs", "NIFTY26DEC24000CE,NIFTY26DEC24100PE"),
                           item("no scrip", "")};
  const auto shown = [&] {
    std::vector<std::string> headlines;
    CFilterListCtrl& list = module.News()->List();
    for (int row = 0; row < list.ItemCount(); ++row) {
      sCellInfo cell;
      const auto data = list.GetItemData(row);
      if (data && module.News()->Cell(static_cast<size_t>(data - 1), 2, cell))
        headlines.push_back(cell.text);
    }
    std::sort(headlines.begin(), headlines.end());
    return headlines;
  };

  plugin->ProcessHotKey("Shift+N", 0, {"nse_cm", "TCS-EQ", "TCS", "11536"});
  ASSERT_NE(nullptr, module.News());
  EXPECT_EQ((std::vector<std::string>{"by token", "by trading symbol"}), shown());
  EXPECT_EQ("News - TCS-EQ", module.News()->Caption());
  const auto* view = dynamic_cast<const HeadlessView*>(module.News()->GetView());
  ASSERT_NE(nullptr, view);
  EXPECT_EQ("News - TCS-EQ", view->Title());

  // Live calls join only when they name the scrip.
  FakeControl* broadcasts = nullptr;
  for (auto& c : rx.controls)
    if (!broadcasts && c->kind == KOVO_RX_BROADCASTS) broadcasts = c.get();
  ASSERT_NE(nullptr, broadcasts);
  for (const char* token : {"2885", "11536"}) {
    broadcasts->Broadcast({{MNM_CATEGORY, "trading calls"},
                           {MNM_HEADLINE, std::string("live ") + token},
                           {MNM_BODY_TEXT, "b"},
                           {MNM_EXCH_SEG, "nse_cm"},
                           {MNM_TRADING_SYMBOL, token}});
  }
  EXPECT_EQ((std::vector<std::string>{"by token", "by trading symbol", "live 11536"}), shown());

  // A leg of a call with several.
  plugin->ProcessHotKey("Shift+N", 0, {"nse_fo", "NIFTY26DEC24100PE", "NIFTY", "50002"});
  EXPECT_EQ(std::vector<std::string>{"legs"}, shown());

  // The News command, or Shift+N without a scrip, shows every call again.
  module.News()->OnCommand(kCmdNews);
  EXPECT_EQ(7u, shown().size());
  EXPECT_EQ("News", module.News()->Caption());
  plugin->ProcessHotKey("Shift+N", 0, {"nse_fo", "NIFTY26DEC24100PE", "NIFTY", "50002"});
  plugin->ProcessHotKey("Shift+N", 0, {});
  EXPECT_EQ(7u, shown().size());
}

TEST(ProcessShellVerbs, OpenAndPrintStartTheDesktopProgramsWithOneArgument) {
  struct Starter final : ProcessStarter {
    int Start(const std::string& program, const std::vector<std::string>& arguments,
              int*) override {
      runs.emplace_back(program, arguments);
      return 0;
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> runs;
  } starter;
  ProcessShell shell(starter);
  EXPECT_TRUE(shell.Execute("open", "mailto:?subject=a b;rm -rf"));
  EXPECT_TRUE(shell.Execute("print", "/tmp/temp.rtf"));
  ASSERT_EQ(2u, starter.runs.size());
  EXPECT_EQ("xdg-open", starter.runs[0].first);
  EXPECT_EQ(std::vector<std::string>{"mailto:?subject=a b;rm -rf"}, starter.runs[0].second);
  EXPECT_EQ("lp", starter.runs[1].first);
}

}  // namespace
}  // namespace kovo
