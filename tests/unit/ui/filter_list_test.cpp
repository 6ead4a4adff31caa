#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "list_fixture.h"
#include "ui/filter_list_ctrl.h"
#include "ui/list_filter.h"

namespace kovo {
namespace {

using test::ListFixture;
using test::ThreeColumns;

TEST(ColumnFilterTest, EachFormOfTheFilterLanguage) {
  struct Case {
    const char* filter;
    bool exact;
    std::vector<std::string> pass;
    std::vector<std::string> fail;
  };
  const std::vector<Case> cases = {
      {"ab", false, {"ABC", "abd", "ab"}, {"cab", "a", ""}},
      {"*ab*", false, {"cab", "ab", "xaby"}, {"CAB", "a b"}},
      {"*ab", false, {"xab", "ab"}, {"xAB", "abx"}},
      {">100~<10", false, {"150", "5", "-2", "100.5"}, {"50", "100", "10"}},
      {"x~~y", false, {"X1", "y2"}, {"z"}},
      {"ab~*cd*", true, {"AB", "*CD*"}, {"abc", "xcdx"}},
  };
  for (const Case& c : cases) {
    const CColumnFilter filter(c.filter, c.exact);
    for (const auto& cell : c.pass) EXPECT_TRUE(filter.Matches(cell)) << c.filter << " " << cell;
    for (const auto& cell : c.fail) EXPECT_FALSE(filter.Matches(cell)) << c.filter << " " << cell;
  }
  EXPECT_TRUE(CColumnFilter("~", false).Empty());
}

class FilterListTest : public ListFixture {
 protected:
  // Symbol, Qty, Price; filter mode on.
  void Fill(CFilterListCtrl& list, const std::vector<std::vector<std::string>>& rows) {
    list.SetColumns(ThreeColumns());
    Attach(list);
    list.EnableFilterHeader(true);
    for (const auto& row : rows) list.InsertItem(list.RowCount(), Record(row));
  }
};

TEST_F(FilterListTest, FiltersFromCodeShowOnlyPassingRowsOnEveryColumn) {
  CFilterListCtrl list(Ports(), "Filter");
  Fill(list, {{"ABC", "150", "1"}, {"abd", "5", "2"}, {"cab", "50", "3"}, {"ABX", "50", "4"}});

  ASSERT_TRUE(list.SetFilter(0, "ab", false));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"ABC", "abd", "ABX"}));
  ASSERT_TRUE(list.SetFilter(1, ">100~<10", false));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"ABC", "abd"}));
  EXPECT_TRUE(list.FilterActive());
  ASSERT_TRUE(list.ClearFilter(0));
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"150", "5"}));

  list.ResetFilters();
  EXPECT_FALSE(list.FilterActive());
  EXPECT_EQ(list.ItemCount(), 4);
  ASSERT_TRUE(list.SetFilter(0, "*ab*", false));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"abd", "cab"}));

  // Filters follow their column when it moves, and a hidden column drops its filter.
  list.MoveColumn(0, 2);
  EXPECT_EQ(list.FilterText(2), "*ab*");
  ASSERT_TRUE(list.ApplyColumnLayout({1, 2, 0}, {true, true, false}));
  EXPECT_FALSE(list.FilterActive());
  EXPECT_EQ(list.ItemCount(), 4);
  EXPECT_FALSE(list.SetFilter(5, "x", false));

  // Texts longer than a filter box holds are cut.
  list.SetFilter(0, std::string(2000, '1'), false);
  EXPECT_EQ(list.FilterText(0).size(), CFilterListCtrl::kMaxFilterText);
}

TEST_F(FilterListTest, ExactMatchAppliesToOnePassOnly) {
  CFilterListCtrl list(Ports(), "Exact");
  Fill(list, {{"AB"}, {"ABC"}, {"ab"}});
  list.SetFilter(0, "ab", true);
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"AB", "ab"}));
  // The next pass (here, after an insert) reads the text as a prefix again.
  list.InsertItem(0, Record({"abz"}));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"abz", "AB", "ABC", "ab"}));
}

TEST_F(FilterListTest, HeaderBoxesAndPopUpSetFilters) {
  CFilterListCtrl list(Ports(), "Boxes");
  Fill(list, {{"ABC"}, {""}, {"AB"}, {"XY"}, {"ABC"}, {"ABD"}});
  std::vector<int> buttons;
  list.SetNotify([&](ListNotice notice, int column) {
    if (notice == ListNotice::kFilterButton) buttons.push_back(column);
  });

  list.OnFilterBoxesChanged({"x", "", ""});
  EXPECT_EQ(Column(list, 0), std::vector<std::string>{"XY"});
  // Boxes out of step with the header: a message, and the rows stay.
  list.OnFilterBoxesChanged({"a"});
  EXPECT_EQ(Column(list, 0), std::vector<std::string>{"XY"});
  EXPECT_EQ(m_dialogs.MessageBoxTexts(), std::vector<std::string>{"Error occured while filtering"});

  list.OnCommand(kCmdResetFilters);
  list.OnFilterButton(0);
  EXPECT_EQ(buttons, std::vector<int>{0});
  CFilterText* popup = list.FilterPopup();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->Values(), (std::vector<std::string>{"ABC", "AB", "XY", "ABD"}));
  popup->Select(1, true);
  popup->Select(0, true);
  EXPECT_EQ(popup->FilterText(), "ABC~AB");
  list.AcceptFilterPopup();
  EXPECT_EQ(list.FilterPopup(), nullptr);
  EXPECT_EQ(list.FilterText(0), "ABC~AB");
  // Not exact: "AB" also lets ABD through.
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"ABC", "AB", "ABC", "ABD"}));
}

TEST_F(FilterListTest, InsertedRowsShowOnlyWhenTheyPassTheFilter) {
  CFilterListCtrl list(Ports(), "Insert");
  Fill(list, {{"ABC", "1"}, {"XYZ", "2"}, {"ABD", "3"}});
  list.SetFilter(0, "ab", false);

  EXPECT_EQ(list.InsertItem(0, Record({"ABE", "4"})), 0);
  EXPECT_EQ(list.InsertItem(0, Record({"QQQ", "5"})), 0);
  EXPECT_EQ(list.InsertItem(3, Record({"ABF", "6"})), 3);
  EXPECT_EQ(list.InsertItem(99, Record({"ABG", "7"})), 6);
  EXPECT_EQ(list.RowCount(), 7);
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"4", "1", "6", "3", "7"}));

  list.ResetFilters();
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"5", "4", "1", "6", "2", "3", "7"}));

  // Sorted rows: the insert filters again, which shows the rows in store order.
  list.SetFilter(0, "ab", false);
  list.OnHeaderClick(1);  // descending
  list.InsertItem(0, Record({"ABH", "0"}));
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"0", "4", "1", "6", "3", "7"}));

  // Without the owner's callback nothing is inserted.
  CFilterListCtrl bare(Ports(), "Bare");
  bare.SetColumns(ThreeColumns());
  bare.EnableFilterHeader(true);
  EXPECT_EQ(bare.InsertItem(0, 1), -1);
  EXPECT_EQ(bare.RowCount(), 0);
}

TEST_F(FilterListTest, DeletingRenumbersTheVisibleRows) {
  CFilterListCtrl list(Ports(), "Delete");
  Fill(list, {{"A1", "1"}, {"B", "2"}, {"A2", "3"}, {"A3", "4"}, {"B", "5"}, {"A4", "6"}});
  list.SetFilter(0, "a", false);
  ASSERT_EQ(Column(list, 1), (std::vector<std::string>{"1", "3", "4", "6"}));

  ASSERT_TRUE(list.DeleteItem(1));  // "3", in the lower half of the store
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"1", "4", "6"}));
  ASSERT_TRUE(list.DeleteItem(1));  // "4", in the upper half
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"1", "6"}));
  EXPECT_EQ(list.RowCount(), 4);
  list.ResetFilters();
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"1", "2", "5", "6"}));

  EXPECT_FALSE(list.DeleteItem(4));
  EXPECT_EQ(m_dialogs.MessageBoxTexts(), std::vector<std::string>{"Delete item: Item not found"});
  list.DeleteAllItems();
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_EQ(list.ItemCount(), 0);
}

// Random inserts, deletes and filters against a plain model of the rules.
TEST_F(FilterListTest, AgreesWithASimpleModelOverManyChanges) {
  CFilterListCtrl list(Ports(), "Model");
  Fill(list, {});
  std::vector<ItemData> store;
  std::string filter;
  std::mt19937 random(7);
  const auto passes = [&](ItemData d) {
    return filter.empty() || m_table[d][0].rfind(filter, 0) == 0;
  };
  for (int step = 0; step < 3000; ++step) {
    const int op = static_cast<int>(random() % 10);
    if (op < 6) {
      const int pos = static_cast<int>(random() % (store.size() + 2));
      const ItemData d = Record({std::string(1, static_cast<char>('a' + random() % 3))});
      list.InsertItem(pos, d);
      store.insert(store.begin() + std::min<std::size_t>(pos, store.size()), d);
    } else if (op < 9) {
      if (list.ItemCount() == 0) continue;
      const int row = static_cast<int>(random() % list.ItemCount());
      const ItemData d = list.GetItemData(row);
      ASSERT_TRUE(list.DeleteItem(row));
      store.erase(std::find(store.begin(), store.end(), d));
    } else {
      filter = random() % 2 ? std::string(1, static_cast<char>('a' + random() % 3)) : "";
      list.SetFilter(0, filter, false);
    }
    std::vector<ItemData> expected;
    std::copy_if(store.begin(), store.end(), std::back_inserter(expected), passes);
    ASSERT_EQ(Data(list), expected) << "step " << step;
    ASSERT_EQ(list.RowCount(), static_cast<int>(store.size()));
  }
  EXPECT_TRUE(m_dialogs.MessageBoxTexts().empty());
}

TEST_F(FilterListTest, SortingReordersVisibleRowsUntilTheNextFilterPass) {
  CFilterListCtrl list(Ports(), "Sort");
  Fill(list, {{"b", "2", "1"}, {"a", "10", "3"}, {"c", "1", "2"}, {"x", "5", "4"}});
  list.SetFilter(0, "*", false);  // every row; keeps a filter active
  list.OnHeaderClick(1);
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"10", "5", "2", "1"}));
  list.OnHeaderClick(1);
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"1", "2", "5", "10"}));
  list.ApplyFilters();
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"2", "10", "1", "5"}));

  // Kinds above 6 leave the order as it is here.
  CFilterListCtrl text(Ports(), "Text");
  text.SetColumns({{"Name", 50, kFormatLeft, kSortText}});
  Attach(text);
  text.EnableFilterHeader(true);
  for (const char* name : {"b", "a", "c"}) text.InsertItem(text.RowCount(), Record({name}));
  text.OnHeaderClick(0);
  EXPECT_EQ(Column(text, 0), (std::vector<std::string>{"b", "a", "c"}));
}

// A sort by one column after another: rows equal in the second keep the
// order the first gave them, in both directions, with a filter hiding some.
TEST_F(FilterListTest, TiesKeepTheOrderOfThePreviousSort) {
  CFilterListCtrl list(Ports(), "Ties");
  list.SetColumns(ThreeColumns());
  Attach(list);
  list.EnableFilterHeader(true);
  std::mt19937 random(3);
  for (int i = 0; i < 400; ++i) {
    const std::string symbol = "S" + std::to_string(random() % 7);
    list.InsertItem(i % 3 == 0 ? 0 : list.RowCount(),
                    Record({i % 2 ? symbol : "x" + symbol, std::to_string(random() % 5),
                            std::to_string(static_cast<int>(random() % 9)) + ".5"}));
  }
  list.SetFilter(0, "s", false);  // hides the "x" rows
  const int shown = list.ItemCount();
  ASSERT_GT(shown, 100);
  ASSERT_LT(shown, list.RowCount());

  // The expected order: a stable sort of what is shown now.
  auto expect = [&](int pos, bool ascending, auto key) {
    std::vector<ItemData> rows = Data(list);
    std::stable_sort(rows.begin(), rows.end(), [&](ItemData a, ItemData b) {
      return ascending ? key(m_table[a][pos]) < key(m_table[b][pos])
                       : key(m_table[b][pos]) < key(m_table[a][pos]);
    });
    return rows;
  };
  auto number = [](const std::string& t) { return std::stod(t); };
  auto lower = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };

  std::vector<ItemData> expected = expect(2, false, number);
  list.OnHeaderClick(2);  // price, descending
  EXPECT_EQ(Data(list), expected);
  expected = expect(1, false, number);
  list.OnHeaderClick(1);  // quantity, descending: equal quantities stay by price
  EXPECT_EQ(Data(list), expected);
  expected = expect(1, true, number);
  list.OnHeaderClick(1);  // ascending
  EXPECT_EQ(Data(list), expected);
  expected = expect(0, false, lower);
  list.OnHeaderClick(0);
  EXPECT_EQ(Data(list), expected);
  EXPECT_EQ(list.ItemCount(), shown);
}

TEST_F(FilterListTest, HeaderMenuOffersFilterAndCustomColumnCommands) {
  CFilterListCtrl list(Ports(), "Menu");
  Fill(list, {{"a"}});
  std::vector<ListNotice> notices;
  list.SetNotify([&](ListNotice notice, int) { notices.push_back(notice); });
  std::vector<int> ids;
  for (const auto& item : list.HeaderMenu()) ids.push_back(item.id);
  EXPECT_EQ(ids, (std::vector<int>{1224, 1226, 1227, 1228, 2001}));
  EXPECT_FALSE(list.OnCommand(kCmdAddCustomColumns));

  list.SetCustomColumnsAllowed(true);
  const auto menu = list.HeaderMenu();
  ASSERT_EQ(menu.size(), 7u);
  EXPECT_EQ(menu[4].text, "Reset Filters");
  EXPECT_EQ(menu[5].text, "Add Custom Columns");
  EXPECT_EQ(menu[6].text, "Delete Custom Columns");
  EXPECT_TRUE(list.OnCommand(kCmdAddCustomColumns));
  EXPECT_TRUE(list.OnCommand(kCmdDeleteCustomColumns));
  EXPECT_EQ(notices, (std::vector<ListNotice>{ListNotice::kAddCustomColumns,
                                              ListNotice::kDeleteCustomColumns}));
}

TEST_F(FilterListTest, DraggedRowsMoveToTheirDropPlace) {
  CDragDropListCtrl list(Ports(), "Drag");
  list.SetColumns(ThreeColumns());
  Attach(list);
  for (const char* name : {"a", "b", "c", "d"}) list.InsertItem(list.ItemCount(), Record({name}));
  int moved = -1;
  list.SetNotify([&](ListNotice notice, int row) {
    if (notice == ListNotice::kRowMoved) moved = row;
  });

  list.OnDragBegin(0);
  list.OnDragMove(9);
  EXPECT_EQ(list.DropRow(), 3);
  ASSERT_TRUE(list.OnDragEnd(2));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"b", "c", "a", "d"}));
  EXPECT_EQ(moved, 2);
  EXPECT_FALSE(list.Dragging());
  list.OnDragBegin(3);
  ASSERT_TRUE(list.OnDragEnd(0));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"d", "b", "c", "a"}));
  EXPECT_FALSE(list.OnDragEnd(1));  // no drag under way
}

}  // namespace
}  // namespace kovo
