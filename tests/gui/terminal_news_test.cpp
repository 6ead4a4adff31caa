// The real plug-in in the reference terminal, offscreen, against the embedded
// back end: the news window over the day's calls takes Enter and a right
// click as a user gives them.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>

#include <string>
#include <vector>

#include "gui/real_terminal.h"

namespace kovo::test {
namespace {

using terminal::CTerminalWindow;

constexpr int kHeadline = 2;
constexpr int kReportType = 5;  // among the columns shown by default

class TerminalNews : public RealTerminalTest {
 protected:
  void StartTerminal() {
    // Logged in at once: the peer data starts the day's calls.
    StartTerminalWith(KOVOZINT_LIBRARY,
                      [](terminal::TerminalOptions& options) { options.autoLogin = "trader7"; });
  }
  bool Logged(const std::string& text) const {
    for (const std::string& line : window->Core().LogLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  static QWidget* TopLevel(const std::function<bool(QWidget*)>& wanted) {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->isVisible() && wanted(widget)) return widget;
    return nullptr;
  }
  static QMenu* OpenMenu() {
    return qobject_cast<QMenu*>(
        TopLevel([](QWidget* w) { return qobject_cast<QMenu*>(w) != nullptr; }));
  }
  static std::string Cell(QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString().toStdString();
  }
};

TEST_F(TerminalNews, EnterOpensTheStoryAndTheRightClickMenuFiltersTheTab) {
  StartTerminal();
  ASSERT_TRUE(WaitFor([&] { return Logged("Research/Technical calls Retrieved"); }));
  ASSERT_NE(nullptr, window->Plugin().processHotKey);
  window->Plugin().processHotKey("Shift+N", 0, 0, nullptr, 0);
  QWidget* news = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    news = TopLevel([](QWidget* w) { return w->windowTitle() == QLatin1String("News"); });
    return news != nullptr;
  }));
  auto* table = news->findChild<QTableView*>();
  ASSERT_NE(nullptr, table);
  // The day's calls, or just after midnight the first live ones: a
  // research call and a technical call at least.
  int research = -1;
  ASSERT_TRUE(WaitFor(
      [&] {
        research = -1;
        bool technical = false;
        for (int row = 0; row < table->model()->rowCount(); ++row) {
          const std::string kind = Cell(table, row, kReportType);
          if (kind == "Research Calls" && research < 0) research = row;
          technical = technical || kind == "Technical Calls";
        }
        return research >= 0 && technical;
      },
      120));
  const int rows = table->model()->rowCount();

  // Enter on a row: the story window opens on that row's item.
  table->setFocus();
  table->setCurrentIndex(table->model()->index(research, 0));
  table->selectRow(research);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(table, &enter);
  QWidget* story = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    story = TopLevel([](QWidget* w) { return w->windowTitle().startsWith("Story - "); });
    return story != nullptr;
  }));
  const std::string headline = Cell(table, research, kHeadline);
  EXPECT_EQ("Story - " + headline, story->windowTitle().toStdString());
  auto* text = story->findChild<QTextEdit*>();
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(0, text->toPlainText().toStdString().rfind(headline + "\n\n", 0));
  story->hide();

  // A right click brings the window's own menu; "Technical Calls" leaves
  // the technical calls and names the tab in the caption.
  const QRect cell = table->visualRect(table->model()->index(0, kHeadline));
  QContextMenuEvent click(QContextMenuEvent::Mouse, cell.center(),
                          table->viewport()->mapToGlobal(cell.center()));
  QApplication::sendEvent(table->viewport(), &click);
  QMenu* menu = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (menu = OpenMenu()) != nullptr; }, 5));
  std::vector<std::string> items;
  QAction* technical = nullptr;
  for (QAction* action : menu->actions()) {
    items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    if (action->text() == QLatin1String("Technical Calls")) technical = action;
  }
  EXPECT_EQ((std::vector<std::string>{"News", "Technical Calls", "Research Calls", "-",
                                      "Write To Excel", "Draw Grid Lines"}),
            items);
  ASSERT_NE(nullptr, technical);
  technical->trigger();
  menu->close();
  EXPECT_EQ(0, news->windowTitle().toStdString().rfind("Technical calls - ", 0))
      << news->windowTitle().toStdString();
  const int technicalRows = table->model()->rowCount();
  EXPECT_GT(technicalRows, 0);
  EXPECT_LT(technicalRows, rows);
  for (int row = 0; row < technicalRows; ++row)
    EXPECT_EQ("Technical Calls", Cell(table, row, kReportType)) << row;

  // Enter on a filtered row opens that row's item, not the one the row
  // held before the filter.
  table->setCurrentIndex(table->model()->index(0, 0));
  table->selectRow(0);
  QApplication::sendEvent(table, &enter);
  ASSERT_TRUE(WaitFor([&] { return story->isVisible(); }));
  EXPECT_EQ("Story - " + Cell(table, 0, kHeadline), story->windowTitle().toStdString());
}

}  // namespace
}  // namespace kovo::test
