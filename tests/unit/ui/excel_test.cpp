#include "ui/zint_excel_interface.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "list_fixture.h"
#include "zip_reader.h"

namespace kovo {
namespace {

using test::ListFixture;
using test::ThreeColumns;

// The <c> element of one cell in a sheet, empty when there is none.
std::string CellXml(const std::string& sheet, const std::string& ref) {
  const std::size_t start = sheet.find("<c r=\"" + ref + "\"");
  if (start == std::string::npos) return {};
  const std::size_t end = sheet.find("</c>", start);
  if (end == std::string::npos) return {};
  return sheet.substr(start, end + 4 - start);
}

class ExcelTest : public ListFixture {};

TEST_F(ExcelTest, ListWritesHeaderInBoldNumbersAsNumbersAndTextsAsTexts) {
  CCommonListCtrl list(Ports(), "Zint Orders/List");
  list.SetColumns(ThreeColumns());
  list.MoveColumn(2, 0);  // Price, Symbol, Qty
  Attach(list);
  list.InsertItem(0, Record({"INFY", "150", "1,520.5"}));
  list.InsertItem(1, Record({"TCS & Co <x>", "-", "3412.75"}));

  ASSERT_TRUE(list.WriteToExcel());
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir / "docs"))
    files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(m_dialogs.MessageBoxTexts(),
            std::vector<std::string>{"File is generated\n" + files[0].string()})
      << "the message says where the file went";
  const std::string name = files[0].filename().string();
  EXPECT_EQ(name.rfind("Zint Orders_List ", 0), 0u) << name;
  EXPECT_EQ(files[0].extension(), ".xlsx");
  ASSERT_EQ(m_log.size(), 1u);
  EXPECT_NE(m_log[0].find(files[0].string()), std::string::npos);

  const auto zip = test::ReadZip(files[0]);
  ASSERT_TRUE(zip.count("xl/worksheets/sheet1.xml")) << "not an xlsx";
  const std::string& sheet = zip.at("xl/worksheets/sheet1.xml");
  const std::string& styles = zip.at("xl/styles.xml");

  // Header: texts with the bold style.
  const std::string a1 = CellXml(sheet, "A1");
  EXPECT_NE(a1.find("<t>Price</t>"), std::string::npos) << a1;
  EXPECT_NE(a1.find("s=\"1\""), std::string::npos) << a1;
  EXPECT_NE(CellXml(sheet, "C1").find("<t>Qty</t>"), std::string::npos);
  EXPECT_NE(styles.find("<b/>"), std::string::npos);

  // Numeric columns hold numbers where the text is one.
  EXPECT_EQ(CellXml(sheet, "C2"), "<c r=\"C2\"><v>150</v></c>");
  EXPECT_EQ(CellXml(sheet, "A3"), "<c r=\"A3\"><v>3412.75</v></c>");
  EXPECT_NE(CellXml(sheet, "A2").find("t=\"inlineStr\""), std::string::npos);  // "1,520.5"
  EXPECT_NE(CellXml(sheet, "C3").find("<t>-</t>"), std::string::npos);
  // A numeric-looking text column stays text, escaped.
  EXPECT_NE(CellXml(sheet, "B3").find("<t>TCS &amp; Co &lt;x&gt;</t>"), std::string::npos);
  EXPECT_NE(CellXml(sheet, "B2").find("<t>INFY</t>"), std::string::npos);
}

TEST_F(ExcelTest, FailuresAreReportedAndLeaveNoFile) {
  CCommonListCtrl list(Ports(), "Orders");
  list.SetColumns(ThreeColumns());
  Attach(list);
  EXPECT_FALSE(list.WriteToExcel());
  list.InsertItem(0, Record({"a", "1", "2"}));
  std::filesystem::remove(m_dir / "docs");
  EXPECT_FALSE(list.WriteToExcel());
  EXPECT_EQ(m_dialogs.MessageBoxTexts(),
            (std::vector<std::string>{"No Items in the List", "File generation Failed"}));
  EXPECT_EQ(m_log.size(), 1u);

  // A bridge without a provider writes nothing.
  CZintExcelInterface bare(2, 2);
  bare.folder = m_dir.Path();
  EXPECT_EQ(bare.WriteToExcel(), 0);
  CZintExcelInterface tooMany(1'048'577, 1);
  tooMany.folder = m_dir.Path();
  tooMany.cellProvider = [](void*, int, int, std::string*, int*) { return 1; };
  EXPECT_EQ(tooMany.WriteToExcel(), 0);
  EXPECT_TRUE(tooMany.FilePath().empty());
}

TEST_F(ExcelTest, FileNamesCarryTitleAndTimeAndNeverOverwrite) {
  const std::time_t when = 1796466600;  // 2026-12-05 16:00:00 in the tests' zone
  EXPECT_EQ(CZintExcelInterface::FileNameFor("Zint Market Movers List", when),
            "Zint Market Movers List 20261205_160000.xlsx");
  EXPECT_EQ(CZintExcelInterface::FileNameFor("a/b:c", when), "a_b_c 20261205_160000.xlsx");
  EXPECT_EQ(CZintExcelInterface::FileNameFor("..", when), "List 20261205_160000.xlsx");

  std::vector<std::string> paths;
  for (int i = 0; i < 2; ++i) {
    CZintExcelInterface excel(1, 1);
    excel.cellProvider = [](void*, int, int, std::string* text, int* kind) {
      *text = "H";
      *kind = 3;
      return 1;
    };
    excel.folder = m_dir / "docs";
    excel.title = "Same";
    excel.when = when;
    ASSERT_EQ(excel.WriteToExcel(), 1);
    paths.push_back(excel.FilePath().filename().string());
  }
  EXPECT_EQ(paths, (std::vector<std::string>{"Same 20261205_160000.xlsx",
                                             "Same 20261205_160000 (2).xlsx"}));
}

}  // namespace
}  // namespace kovo
