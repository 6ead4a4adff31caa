#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "list_fixture.h"
#include "ui/common_list_ctrl.h"

namespace kovo {
namespace {

using test::ListFixture;
using test::ThreeColumns;

class CommonListTest : public ListFixture {
 protected:
  std::vector<int> Header(const CCommonListCtrl& list) {
    std::vector<int> header;
    for (int pos = 0; pos < list.HeaderCount(); ++pos) header.push_back(list.HeaderDescriptor(pos));
    return header;
  }
};

TEST_F(CommonListTest, ProfileFromBeforeANewColumnKeepsItsLayoutAndHidesTheNewColumn) {
  // Saved with three columns: Qty first, Symbol second, Price hidden; an
  // entry for a descriptor that no longer exists and a malformed one.
  WriteSetting("Orders", "COLUMNPROFILE", "0,1,90,1,0,120,2,-1,-1,7,2,55,x,1,2");
  CCommonListCtrl list(Ports(), "Orders");
  auto columns = ThreeColumns();
  columns.push_back({"Exchange", 65, kFormatLeft, kSortText});
  list.SetColumns(columns);

  EXPECT_EQ(Header(list), (std::vector<int>{1, 0}));
  EXPECT_EQ(list.Width(0), 90);
  EXPECT_EQ(list.Width(1), 120);
  EXPECT_EQ(list.Position(2), -1);
  EXPECT_EQ(list.Position(3), -1);
  EXPECT_EQ(list.Width(3), CCommonListCtrl::kHiddenWidth);
  EXPECT_EQ(m_log.size(), 1u);  // the malformed entry

  // Saving writes every descriptor; hidden ones repeat their position.
  ASSERT_TRUE(list.SaveProfile());
  EXPECT_EQ(ReadSetting("Orders", "COLUMNPROFILE"), "0,1,90,1,0,120,2,-1,-1,3,-1,-1");
  EXPECT_TRUE(m_dialogs.MessageBoxTexts().empty());
}

TEST_F(CommonListTest, WithoutAUsableProfileTheDefaultColumnsShow) {
  CCommonListCtrl all(Ports(), "All");
  all.SetColumns(ThreeColumns());
  EXPECT_EQ(Header(all), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(all.Width(2), 70);

  CCommonListCtrl chosen(Ports(), "Chosen");
  chosen.SetDefaultVisible({2, 0, 9, 2});
  chosen.SetColumns(ThreeColumns());
  EXPECT_EQ(Header(chosen), (std::vector<int>{2, 0}));

  // A profile that shows nothing, or is the missing marker, counts as none.
  WriteSetting("Nothing", "COLUMNPROFILE", "0,-1,-1,1,-1,-1");
  WriteSetting("Marker", "COLUMNPROFILE", "Settings not found");
  for (const char* title : {"Nothing", "Marker"}) {
    CCommonListCtrl list(Ports(), title);
    list.SetDefaultVisible({1});
    list.SetColumns(ThreeColumns());
    EXPECT_EQ(Header(list), (std::vector<int>{1})) << title;
  }
}

TEST_F(CommonListTest, SavingReportsFilesThatCannotBeOpenedOrWritten) {
  // The settings file is a folder: it cannot be opened.
  std::filesystem::create_directories(m_settings.PerUserPath(kZintSettingsFile));
  CCommonListCtrl blocked(Ports(), "Orders");
  blocked.SetColumns(ThreeColumns());
  EXPECT_FALSE(blocked.SaveProfile());
  std::filesystem::remove(m_settings.PerUserPath(kZintSettingsFile));

  // A title the file cannot hold as a section: opened, but not written.
  CCommonListCtrl badTitle(Ports(), "Bad\nTitle");
  badTitle.SetColumns(ThreeColumns());
  EXPECT_FALSE(badTitle.SaveProfile());
  EXPECT_EQ(m_dialogs.MessageBoxTexts(),
            (std::vector<std::string>{"File Open Failed", "Error while saving column profile"}));
}

TEST_F(CommonListTest, ChooserReordersShowsAndHidesButRefusesFixedColumns) {
  CCommonListCtrl list(Ports(), "News");
  list.AddFixedColumn("Price");
  list.SetColumns(ThreeColumns());
  ASSERT_TRUE(list.OnCommand(kCmdRepositionColumns));
  CReposition* chooser = list.Chooser();
  ASSERT_NE(chooser, nullptr);

  EXPECT_FALSE(chooser->SetVisible(2, false));
  EXPECT_EQ(m_dialogs.MessageBoxTexts(), std::vector<std::string>{"Can not hide Price"});
  EXPECT_TRUE(chooser->SetVisible(0, false));
  EXPECT_TRUE(chooser->Move(2, 0));
  ASSERT_TRUE(chooser->OnOK());
  list.CloseChooser();

  EXPECT_EQ(Header(list), (std::vector<int>{2, 1}));
  EXPECT_EQ(ReadSetting("News", "COLUMNPROFILE"), "0,-1,-1,1,1,60,2,0,70");
  // The same refusal holds for a layout handed over directly.
  EXPECT_FALSE(list.ApplyColumnLayout({0, 1, 2}, {true, true, false}));
  EXPECT_EQ(Header(list), (std::vector<int>{2, 1}));
}

TEST_F(CommonListTest, FittingSharesTheWindowOrFitsTextWithAFloorOf50) {
  CCommonListCtrl list(Ports(), "Fit");
  std::vector<sKovoColInfo> five;
  for (const char* name : {"A", "B", "C", "D", "Long column title"})
    five.push_back({name, 30, kFormatLeft, kSortText});
  list.SetColumns(five);
  Attach(list);
  list.InsertItem(0, Record({"x", "yy", "a rather long cell text", "", "z"}));

  list.SetClientWidth(400);
  list.FitColumns(kCmdFitToWindow);
  for (int d = 0; d < 5; ++d) EXPECT_EQ(list.Width(d), 80);

  list.SetTextMeasure([](std::string_view text) { return static_cast<int>(text.size()) * 10; });
  list.FitColumns(kCmdFitToData);
  EXPECT_EQ(list.Width(0), 50);   // narrow content
  EXPECT_EQ(list.Width(2), 230);  // wide content
  EXPECT_EQ(list.Width(4), 50);   // the header does not count here
  list.FitColumns(kCmdFitToHeader);
  EXPECT_EQ(list.Width(2), 50);
  EXPECT_EQ(list.Width(4), 170);
  list.FitColumns(0);  // the larger of both
  EXPECT_EQ(list.Width(2), 230);
  EXPECT_EQ(list.Width(4), 170);

  list.SetClientWidth(3);
  list.FitColumns(kCmdFitToWindow);
  EXPECT_EQ(list.Width(0), 50);
}

TEST_F(CommonListTest, CtrlCCopiesSelectedRowsCellByCellAndCtrlASelectsAll) {
  CCommonListCtrl list(Ports(), "Copy");
  list.SetColumns(ThreeColumns());
  Attach(list);
  list.InsertItem(0, Record({"a", "b", "c"}));
  list.InsertItem(1, Record({"d", "e", "f"}));
  list.InsertItem(2, Record({"g", "h", "i"}));

  list.SetSelection({2, 0});
  ASSERT_TRUE(list.OnKey('C', {.ctrl = true}));
  EXPECT_EQ(m_clipboard.Text(), "a\tb\tc\t\ng\th\ti\t\n");

  // Columns copy in their shown order.
  list.MoveColumn(2, 0);
  EXPECT_TRUE(list.OnKey('A', {.ctrl = true}));
  EXPECT_EQ(list.Selection(), (std::vector<int>{0, 1, 2}));
  list.OnKey('C', {.ctrl = true});
  EXPECT_EQ(m_clipboard.Text(), "c\ta\tb\t\nf\td\te\t\ni\tg\th\t\n");

  // Nothing selected: the clipboard keeps what it had.
  list.SetSelection({});
  EXPECT_FALSE(list.OnKey('C', {.ctrl = true}));
  EXPECT_EQ(m_clipboard.Sets(), 2);
}

TEST_F(CommonListTest, MenusKeysAndCommandsReachTheirTargets) {
  CCommonListCtrl list(Ports(), "Menus");
  list.SetColumns(ThreeColumns());
  std::vector<ListNotice> notices;
  list.SetNotify([&](ListNotice notice, int) { notices.push_back(notice); });

  const auto ids = [](const std::vector<sMenuItem>& menu) {
    std::vector<int> out;
    for (const auto& item : menu) out.push_back(item.id);
    return out;
  };
  EXPECT_EQ(ids(list.HeaderMenu()), (std::vector<int>{1224, 1226, 1227, 1228}));
  EXPECT_EQ(list.HeaderMenu()[0].text, "Reposition Columns");
  list.SetProfileEnabled(false);
  EXPECT_EQ(ids(list.HeaderMenu()), (std::vector<int>{1226, 1227, 1228}));
  EXPECT_EQ(list.OwnMenu()[0].text, "Write to Excel\tShift+E");
  EXPECT_EQ(list.OwnMenu()[1].text, "Draw Grid Lines\tShift+G");

  // A right click goes to the owner unless the list has its own menu.
  EXPECT_FALSE(list.OnRightClick());
  list.SetOwnMenu(true);
  EXPECT_TRUE(list.OnRightClick());
  EXPECT_TRUE(list.OnKey(kKeyContextMenu, {}));
  EXPECT_EQ(notices, (std::vector<ListNotice>{ListNotice::kRightClick, ListNotice::kRightClick}));

  EXPECT_TRUE(list.OnKey('G', {.shift = true}));
  EXPECT_TRUE(list.GridLines());
  EXPECT_FALSE(list.OnKey('G', {.ctrl = true, .shift = true}));
  EXPECT_TRUE(list.GridLines());
  EXPECT_TRUE(list.OnKey('E', {.shift = true}));  // empty list
  EXPECT_TRUE(list.OnCommand(1225));
  EXPECT_TRUE(list.OnCommand(1230));
  EXPECT_FALSE(list.OnCommand(4242));
  EXPECT_EQ(m_dialogs.MessageBoxTexts(),
            (std::vector<std::string>{"No Items in the List", "currently this is not available",
                                      "not available"}));
}

TEST_F(CommonListTest, EachListReadsItsOwnCustomizedColours) {
  CCommonListCtrl first(Ports(), "Movers", 1001);
  CCommonListCtrl second(Ports(), "Movers", 1002);
  CCommonListCtrl broken(Ports(), "Movers", 1003);
  EXPECT_NE(first.CustomizeKey(), second.CustomizeKey());
  WriteSetting("CUSTOMIZE_LISTS", first.CustomizeKey(), "FF8000,C0C0C0");
  WriteSetting("CUSTOMIZE_LISTS", broken.CustomizeKey(), "FF8000,grey");

  EXPECT_TRUE(first.ApplyCustomizedColors());
  EXPECT_EQ(first.BackColor(), 0xFF8000u);
  EXPECT_EQ(first.TextBackColor(), 0xFF8000u);
  EXPECT_EQ(first.TextColor(), 0xC0C0C0u);

  for (CCommonListCtrl* list : {&second, &broken}) {
    EXPECT_FALSE(list->ApplyCustomizedColors());
    EXPECT_EQ(list->TextColor(), Rgb(0, 255, 0));
    EXPECT_EQ(list->BackColor(), Rgb(0, 0, 0));
  }
  EXPECT_EQ(m_log.size(), 1u);

  // The callback starts from the list's colours.
  first.SetColumns(ThreeColumns());
  first.SetTextCallback([](void*, ItemData, int, sCellInfo& cell) {
    cell.text = "x";
    return true;
  });
  first.InsertItem(0, 1);
  sCellInfo cell;
  ASSERT_TRUE(first.GetCell(0, 0, cell));
  EXPECT_EQ(cell.textColor, 0xC0C0C0u);
  EXPECT_EQ(cell.backColor, 0xFF8000u);
}

// One column of each sort kind; every row's cells are given per kind.
TEST_F(CommonListTest, SortsByEveryKindFirstDescendingThenAlternating) {
  struct Case {
    int32_t kind;
    std::vector<std::string> cells;  // in insertion order
    std::vector<std::string> ascending;
  };
  const std::vector<Case> cases = {
      {kSortInt, {"10", "9", "-3", "abc"}, {"-3", "abc", "9", "10"}},
      {kSortDouble, {"2.5", "10", "-0.5", "2.25"}, {"-0.5", "2.25", "2.5", "10"}},
      {kSortTextNoCase, {"beta", "Alpha", "alpha2", "Gamma"}, {"Alpha", "alpha2", "beta", "Gamma"}},
      {kSortInt64,
       {"5000000000", "4999999999", "-1", "0"},
       {"-1", "0", "4999999999", "5000000000"}},
      {kSortDouble5, {"1e3", "999.5", "1000.25", "0"}, {"0", "999.5", "1e3", "1000.25"}},
      {kSortDateTime,
       {"12/05/2026", "05-12-2026 2:30:00 PM", "05-12-2026 09:15:00", "11/30/2026 11:59 PM"},
       {"11/30/2026 11:59 PM", "12/05/2026", "05-12-2026 09:15:00", "05-12-2026 2:30:00 PM"}},
      {kSortDouble7, {"3", "-7.5", "3.5", "1"}, {"-7.5", "1", "3", "3.5"}},
      {kSortText, {"beta", "Alpha", "alpha", "Beta"}, {"Alpha", "Beta", "alpha", "beta"}},
  };
  for (const Case& c : cases) {
    CCommonListCtrl list(Ports(), "Sort");
    list.SetColumns({{"Other", 50, kFormatLeft, kSortText}, {"Col", 50, kFormatLeft, c.kind}});
    Attach(list);
    for (std::size_t i = 0; i < c.cells.size(); ++i)
      list.InsertItem(static_cast<int>(i), Record({"o" + std::to_string(i), c.cells[i]}));
    std::vector<std::string> descending(c.ascending.rbegin(), c.ascending.rend());

    list.OnHeaderClick(1);
    EXPECT_EQ(Column(list, 1), descending) << "kind " << c.kind;
    EXPECT_EQ(list.SortColumn(), 1);
    EXPECT_FALSE(list.SortAscending());
    list.OnHeaderClick(1);
    EXPECT_EQ(Column(list, 1), c.ascending) << "kind " << c.kind;
    EXPECT_TRUE(list.SortAscending());
  }

  // Another column starts descending again; the mark moves with the column.
  CCommonListCtrl list(Ports(), "Sort");
  list.SetColumns(ThreeColumns());
  Attach(list);
  list.InsertItem(0, Record({"a", "2", "1"}));
  list.InsertItem(1, Record({"b", "1", "2"}));
  list.OnHeaderClick(1);
  list.OnHeaderClick(1);
  list.OnHeaderClick(2);
  EXPECT_FALSE(list.SortAscending());
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"2", "1"}));
  list.MoveColumn(2, 0);
  EXPECT_EQ(list.SortColumn(), 0);
}

TEST_F(CommonListTest, RowsInsertAtTheirPlaceAndDeleteByRow) {
  CCommonListCtrl list(Ports(), "Rows");
  list.SetColumns(ThreeColumns());
  Attach(list);
  const ItemData a = Record({"a"}), b = Record({"b"}), c = Record({"c"}), d = Record({"d"});
  EXPECT_EQ(list.InsertItem(0, a), 0);
  EXPECT_EQ(list.InsertItem(0, b), 0);
  EXPECT_EQ(list.InsertItem(99, c), 2);
  EXPECT_EQ(list.InsertItem(1, d), 1);
  EXPECT_EQ(Data(list), (std::vector<ItemData>{b, d, a, c}));
  EXPECT_TRUE(list.DeleteItem(2));
  EXPECT_FALSE(list.DeleteItem(3));
  EXPECT_EQ(Data(list), (std::vector<ItemData>{b, d, c}));
  EXPECT_TRUE(list.SetItemData(1, a));
  EXPECT_EQ(list.CellText(1, 0), "a");
  list.DeleteAllItems();
  EXPECT_EQ(list.ItemCount(), 0);
}

}  // namespace
}  // namespace kovo
