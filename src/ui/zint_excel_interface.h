#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "ui/list_types.h"

namespace kovo {

// The spreadsheet bridge: a list hands over its size and a cell provider,
// and WriteToExcel() writes an .xlsx with the header in bold and the cells
// of numeric columns as numbers.
class CZintExcelInterface {
 public:
  // Fills text and kind of a cell; returns 1. Row 0 is the header, whose kind
  // is the column's sort kind; later rows give kind -1.
  using CellProvider = int (*)(void* context, int row, int column, std::string* text, int* kind);

  CZintExcelInterface(int rows, int columns);

  CellProvider cellProvider = nullptr;
  void* context = nullptr;

  // Where the file goes and what it is called: "<title> <date>_<time>.xlsx"
  // in folder (the user's documents folder when empty), stamped with when
  // (now when 0). The written path goes to log.
  std::string title;
  std::filesystem::path folder;
  std::time_t when = 0;
  ListLog log;

  // Non-zero on success.
  int WriteToExcel();
  const std::filesystem::path& FilePath() const { return m_path; }

  // $XDG_DOCUMENTS_DIR, else ~/Documents when it exists, else the home folder.
  static std::filesystem::path DocumentsFolder();
  // A file name from a list title: characters a file name cannot hold become "_".
  static std::string FileNameFor(std::string_view title, std::time_t when);
  // Sort kinds whose cells are written as numbers.
  static bool IsNumericKind(int kind);

 private:
  void Log(std::string_view text) const {
    if (log) log(text);
  }

  int m_rows;
  int m_columns;
  std::filesystem::path m_path;
};

}  // namespace kovo
