// The broker calls pane offscreen: rows as the logic holds them, newest first.
#include <gtest/gtest.h>

#include <QApplication>

#include "gui/market/calls_views.h"
#include "market/news_window.h"
#include "market/research_module.h"
#include "plugin/mnm_fields.h"
#include "unit/plugin/plugin_fixture.h"

namespace kovo {
namespace {

class BrokerCallsView : public PluginFixture {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "market_gui_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
};

TEST_F(BrokerCallsView, ShowsNewestCallFirst) {
  Load();
  ASSERT_EQ(plugin->EnsureControlBlock(), 1);
  CControlBlock& cb = *plugin->ControlBlock();
  CBrokerCalls& logic = static_cast<CResearchModule&>(*cb.researchFeed).BrokerCalls();
  auto owned = std::make_unique<gui::QtBrokerCallsView>(logic);
  gui::QtBrokerCallsView* view = owned.get();
  logic.SetView(std::move(owned));

  sNewsDetails first;
  first.reportType = "Technical Calls";
  first.headline = "first";
  sNewsDetails second = first;
  second.headline = "second";
  second.scripPairs = "nse_cm|X-EQ";
  logic.AddCall(first);
  logic.AddCall(second);
  QAbstractItemModel* model = view->ListView()->model();
  ASSERT_EQ(2, model->rowCount());
  ASSERT_EQ(14, model->columnCount());
  EXPECT_EQ("Headline", model->headerData(2, Qt::Horizontal).toString());
  EXPECT_EQ("second", model->index(0, 2).data().toString());
  EXPECT_EQ("first", model->index(1, 2).data().toString());

  // The indicator is an image that tells a read call from an unread one.
  const QModelIndex indicator = model->index(0, static_cast<int>(NewsColumn::kIndicator));
  const auto image = [&] {
    return qvariant_cast<QIcon>(model->data(indicator, Qt::DecorationRole)).pixmap(14).toImage();
  };
  EXPECT_EQ("", model->data(indicator, Qt::DisplayRole).toString().toStdString());
  const QImage unread = image();
  ASSERT_FALSE(unread.isNull());
  second.read = true;
  EXPECT_NE(unread, image());

  // A news item is not a call and the view stays as it was.
  sNewsDetails news;
  news.reportType = "Wire";
  EXPECT_FALSE(logic.AddCall(news));
  EXPECT_EQ(2, model->rowCount());
}

TEST_F(BrokerCallsView, StoryViewShowsTheItemAndHidesButtonsAtTheEnds) {
  CallList items(2);
  items[0].headline = "Head";
  items[0].text = "Body";
  items[1].headline = "Second";
  struct NoShell final : Shell {
    bool Execute(std::string_view, std::string_view) override { return true; }
  } shell;
  CNewsStory story(items, shell, ".");
  auto owned = std::make_unique<gui::QtNewsStoryView>(story);
  gui::QtNewsStoryView* view = owned.get();
  story.SetView(std::move(owned));
  ASSERT_TRUE(story.Open(0));
  EXPECT_EQ("Head\n\nBody", view->Text()->toPlainText());
  EXPECT_TRUE(view->Widget()->isVisible());
  EXPECT_EQ("Story - Head", view->Widget()->windowTitle());
  EXPECT_FALSE(view->PreviousButton()->isVisible());
  EXPECT_TRUE(view->NextButton()->isVisible());
  view->NextButton()->click();
  EXPECT_EQ("News Story - Second", view->Widget()->windowTitle());
  EXPECT_TRUE(view->PreviousButton()->isVisible());
  EXPECT_FALSE(view->NextButton()->isVisible());
}

}  // namespace
}  // namespace kovo
