#include "ui/zint_excel_interface.h"

#include <xlsxwriter.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/format.h"
#include "base/text.h"

namespace kovo {
namespace {

// The sheet's limits.
constexpr int kMaxSheetRows = 1'048'576;
constexpr int kMaxSheetColumns = 16'384;
constexpr std::size_t kMaxCellText = 32'767;

// The whole text as a number, or false (texts such as "-" or "12 Lots" stay texts).
bool WholeNumber(std::string_view text, double* value) {
  text = TrimView(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(*value);
}

std::string CellText(std::string text) {
  if (text.size() > kMaxCellText) text.resize(kMaxCellText);
  return text;
}

struct WorkbookCloser {
  void operator()(lxw_workbook* workbook) const {
    if (workbook) workbook_close(workbook);
  }
};

}  // namespace

CZintExcelInterface::CZintExcelInterface(int rows, int columns)
    : m_rows(rows), m_columns(columns) {}

bool CZintExcelInterface::IsNumericKind(int kind) {
  return kind == kSortInt || kind == kSortDouble || kind == kSortInt64 || kind == kSortDouble5 ||
         kind == kSortDouble7;
}

std::filesystem::path CZintExcelInterface::DocumentsFolder() {
  const char* documents = std::getenv("XDG_DOCUMENTS_DIR");
  if (documents != nullptr && *documents == '/') return documents;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  std::error_code ec;
  const std::filesystem::path mine = std::filesystem::path(home) / "Documents";
  return std::filesystem::is_directory(mine, ec) ? mine : std::filesystem::path(home);
}

std::string CZintExcelInterface::FileNameFor(std::string_view title, std::time_t when) {
  std::string name;
  for (char c : title) {
    const bool bad = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                     c == '<' || c == '>' || c == '|' || static_cast<unsigned char>(c) < 0x20;
    name += bad ? '_' : c;
  }
  if (name.empty() || name == "." || name == "..") name = "List";
  std::tm local{};
  localtime_r(&when, &local);
  return name + Format(" %04d%02d%02d_%02d%02d%02d.xlsx", local.tm_year + 1900, local.tm_mon + 1,
                       local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

int CZintExcelInterface::WriteToExcel() {
  m_path.clear();
  if (cellProvider == nullptr || m_rows < 1 || m_columns < 1) {
    Log("Excel file not written: nothing to write");
    return 0;
  }
  if (m_rows > kMaxSheetRows || m_columns > kMaxSheetColumns) {
    Log(Format("Excel file not written: %d rows and %d columns do not fit a sheet", m_rows,
               m_columns));
    return 0;
  }
  const std::filesystem::path where = folder.empty() ? DocumentsFolder() : folder;
  std::error_code ec;
  if (where.empty() || !std::filesystem::is_directory(where, ec)) {
    Log(Format("Excel file not written: no folder \"%s\"", where.c_str()));
    return 0;
  }
  const std::time_t stamp = when != 0 ? when : std::time(nullptr);
  const std::string name = FileNameFor(title, stamp);
  const std::string stem = name.substr(0, name.size() - std::string_view(".xlsx").size());
  std::filesystem::path path = where / name;
  // Two exports in one second keep both files.
  for (int n = 2; std::filesystem::exists(path, ec) && n < 1000; ++n)
    path = where / (stem + Format(" (%d).xlsx", n));

  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;  // rows go to disk as they are written
  std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(workbook_new_opt(path.c_str(), &options));
  lxw_worksheet* sheet = workbook ? workbook_add_worksheet(workbook.get(), nullptr) : nullptr;
  if (sheet == nullptr) {
    Log(Format("Excel file not written: cannot create \"%s\"", path.c_str()));
    return 0;
  }
  lxw_format* bold = workbook_add_format(workbook.get());
  format_set_bold(bold);

  std::vector<int> kinds(static_cast<std::size_t>(m_columns), -1);
  std::string text;
  lxw_error error = LXW_NO_ERROR;
  for (int row = 0; row < m_rows && error == LXW_NO_ERROR; ++row) {
    for (int col = 0; col < m_columns && error == LXW_NO_ERROR; ++col) {
      text.clear();
      int kind = -1;
      cellProvider(context, row, col, &text, &kind);
      const auto r = static_cast<lxw_row_t>(row);
      const auto c = static_cast<lxw_col_t>(col);
      if (row == 0) {
        kinds[static_cast<std::size_t>(col)] = kind;
        error = worksheet_write_string(sheet, r, c, CellText(text).c_str(), bold);
        continue;
      }
      double number = 0;
      if (IsNumericKind(kinds[static_cast<std::size_t>(col)]) && WholeNumber(text, &number)) {
        error = worksheet_write_number(sheet, r, c, number, nullptr);
      } else if (!text.empty()) {
        error = worksheet_write_string(sheet, r, c, CellText(text).c_str(), nullptr);
      }
    }
  }
  if (error == LXW_NO_ERROR) error = workbook_close(workbook.release());
  if (error != LXW_NO_ERROR) {
    Log(Format("Excel file \"%s\" not written: %s", path.c_str(), lxw_strerror(error)));
    std::filesystem::remove(path, ec);
    return 0;
  }
  m_path = path;
  Log(Format("Excel file written: %s", path.c_str()));
  return 1;
}

}  // namespace kovo
