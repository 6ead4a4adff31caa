// The list and frame views, offscreen: what the user does reaches the logic
// and what the logic holds is what the view shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <string>
#include <vector>

#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"
#include "gui/lists/qt_holder_frame.h"
#include "gui/lists/qt_list_view.h"
#include "platform/settings.h"

namespace kovo::test {
namespace {

using gui::QtHolderFrame;
using gui::QtListView;

class ListViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "gui_lists_tests";
    static char* argv[] = {name, nullptr};
    // Offscreen wherever the tests run, so no display is needed or disturbed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }

  ListViewTest() : m_settings(SettingsPaths{m_dir / "host", m_dir / "data", "user"}) {
    m_list.SetColumns({{"Symbol", 120, kFormatLeft, kSortTextNoCase},
                       {"Qty", 80, kFormatRight, kSortInt},
                       {"Price", 90, kFormatRight, kSortDouble}});
    m_list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
      cell.text = m_rows.at(data).at(static_cast<std::size_t>(column));
      return true;
    });
    m_list.EnableFilterHeader(true);
    for (std::size_t i = 0; i < m_rows.size(); ++i) m_list.InsertItem(m_list.RowCount(), i);
  }

  std::vector<std::string> ShownColumn(const QtListView& view, int column) {
    std::vector<std::string> texts;
    const auto* model = view.Model();
    for (int row = 0; row < model->rowCount(); ++row)
      texts.push_back(model->index(row, column).data().toString().toStdString());
    return texts;
  }

  void Show(QtListView& view) {
    view.resize(640, 300);
    view.show();
    QCoreApplication::processEvents();
  }

  TempDir m_dir;
  CSettingsFiles m_settings;
  RecordingDialogs m_dialogs;
  MemoryClipboard m_clipboard;
  std::vector<std::vector<std::string>> m_rows = {
      {"ABC", "150", "10.5"}, {"abd", "5", "7"}, {"cab", "50", "99"}, {"XYZ", "20", "1"}};
  CFilterListCtrl m_list{{m_dialogs, m_settings, &m_clipboard, {}, m_dir / "docs"}, "Gui List"};
};

TEST_F(ListViewTest, TypingInAHeaderFilterBoxFiltersTheRows) {
  QtListView view(m_list);
  Show(view);
  QLineEdit* box = view.FilterHeader()->FilterBox(0);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_GT(box->geometry().top(), 0);  // under the titles

  QTest::keyClicks(box, "ab");
  EXPECT_EQ(m_list.FilterText(0), "ab");
  EXPECT_EQ(ShownColumn(view, 0), (std::vector<std::string>{"ABC", "abd"}));
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(view.Model()->rowCount(), 4);

  // A filter set in code shows in the box; the button opens the values pop-up.
  m_list.SetFilter(2, ">5", false);
  EXPECT_EQ(view.FilterHeader()->FilterBox(2)->text(), ">5");
  EXPECT_EQ(ShownColumn(view, 0), (std::vector<std::string>{"ABC", "abd", "cab"}));
  QTest::mouseClick(view.FilterHeader()->FilterButton(0), Qt::LeftButton);
  ASSERT_NE(view.Popup(), nullptr);
  QListWidget* values = view.Popup()->Values();
  ASSERT_EQ(values->count(), 3);
  values->item(2)->setSelected(true);
  values->item(0)->setSelected(true);
  view.Popup()->accept();
  EXPECT_EQ(m_list.FilterText(0), "ABC~cab");
  EXPECT_EQ(view.FilterHeader()->FilterBox(0)->text(), "ABC~cab");
  EXPECT_EQ(ShownColumn(view, 0), (std::vector<std::string>{"ABC", "cab"}));
}

TEST_F(ListViewTest, HeadersAreAlignedLikeTheirColumns) {
  QtListView view(m_list);
  Show(view);
  const auto* model = view.Model();
  for (int column = 0; column < model->columnCount(); ++column) {
    const int header = model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
    const auto cell = model->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    EXPECT_EQ(header & Qt::AlignHorizontal_Mask, static_cast<int>(cell & Qt::AlignHorizontal_Mask))
        << column;
  }
  EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                Qt::AlignHorizontal_Mask,
            static_cast<int>(Qt::AlignLeft))
      << "a left column's title starts where its texts start";
  EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                Qt::AlignHorizontal_Mask,
            static_cast<int>(Qt::AlignRight));
}

TEST_F(ListViewTest, ClickingAHeaderSortsAndMarksTheColumn) {
  QtListView view(m_list);
  Show(view);
  QHeaderView* header = view.horizontalHeader();
  const QPoint onQty(header->sectionViewportPosition(1) + 10, 5);

  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onQty);
  EXPECT_EQ(ShownColumn(view, 1), (std::vector<std::string>{"150", "50", "20", "5"}));
  EXPECT_EQ(header->sortIndicatorSection(), 1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onQty);
  EXPECT_EQ(ShownColumn(view, 1), (std::vector<std::string>{"5", "20", "50", "150"}));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

  // Keys reach the list: Ctrl+A then Ctrl+C copies what is shown.
  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(m_clipboard.Text(), "abd\t5\t7\t\nXYZ\t20\t1\t\ncab\t50\t99\t\nABC\t150\t10.5\t\n");
}

TEST_F(ListViewTest, ColumnChooserRefusesToHideAFixedColumn) {
  m_list.AddFixedColumn("Symbol");
  QtListView view(m_list);
  Show(view);
  ASSERT_TRUE(m_list.OnCommand(kCmdRepositionColumns));
  ASSERT_NE(view.Chooser(), nullptr);
  QListWidget* columns = view.Chooser()->Columns();
  ASSERT_EQ(columns->count(), 3);

  columns->item(0)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(columns->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(m_dialogs.MessageBoxTexts(), std::vector<std::string>{"Can not hide Symbol"});
  columns->item(1)->setCheckState(Qt::Unchecked);
  columns->setCurrentRow(2);
  view.Chooser()->MoveCurrent(-2);
  view.Chooser()->accept();

  EXPECT_EQ(view.Model()->columnCount(), 2);
  EXPECT_EQ(view.Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Price");
  EXPECT_EQ(view.Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Symbol");
  EXPECT_EQ(ShownColumn(view, 1), (std::vector<std::string>{"ABC", "abd", "cab", "XYZ"}));
  QCoreApplication::processEvents();  // the closed dialog goes away
  EXPECT_EQ(view.Chooser(), nullptr);
}

TEST_F(ListViewTest, HolderFrameShowsCaptionsAndFollowsTheFrame) {
  CNTHolderFrame frame(m_dialogs, m_settings);
  QtHolderFrame widget(frame);
  std::vector<sHolderPane> panes;
  for (int i = 0; i < 3; ++i)
    panes.push_back(
        {true, 150 + i, new QLabel("pane"), i == 0 ? "Configuration" : "", kPaneStyleCaptionMenu});
  ASSERT_TRUE(frame.CreateVertical("CMonitor", 600, 200, panes, &widget));
  widget.Build();
  widget.resize(600, 200);
  widget.show();
  QCoreApplication::processEvents();

  ASSERT_EQ(widget.Splitter()->count(), 3);
  EXPECT_EQ(widget.Splitter()->orientation(), Qt::Horizontal);
  EXPECT_EQ(widget.Caption(0)->text(), "Configuration");
  EXPECT_EQ(widget.Caption(0)->font().family(), "Times New Roman");

  m_dialogs.AnswerColor(Rgb(200, 0, 0));
  frame.OnCommand(1, kCmdCaptionColorAll);
  EXPECT_EQ(widget.Caption(2)->palette().color(QPalette::Window), QColor(200, 0, 0));
  frame.OnCommand(0, kCmdHolderFitToWindow);
  const QList<int> sizes = widget.Splitter()->sizes();
  EXPECT_EQ(sizes[0], sizes[1]);
  EXPECT_EQ(sizes[1], sizes[2]);
  frame.OnCommand(1, kCmdCollapsePane);
  EXPECT_EQ(widget.Splitter()->sizes()[1], 0);
}

}  // namespace
}  // namespace kovo::test
