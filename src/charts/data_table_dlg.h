#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charts/vwap_store.h"
#include "platform/view.h"
#include "ui/common_list_ctrl.h"

namespace kovo {

class CControlBlock;
class FChartCtrl;

// One row of a data table: its own copy of the bar and of the indicator
// values at the bar's time, so tables never write into bars the store shares.
struct sDataTableRow {
  int32_t time = 0;
  double open = 0, high = 0, low = 0, close = 0;
  uint32_t volume = 0;
  std::vector<std::string> values;  // one per indicator column
};

// A chart's bars as a table (newest on top) with a column per indicator
// series, and the crossover list the chart windows keep hidden.
class CDataTableDlg {
 public:
  static constexpr const char* kBarListName = "ZINT Data Table";
  static constexpr const char* kCrossListName = "ZINT CrossOver List";
  static constexpr int kCrossListId = 16015;
  static constexpr int kFixedColumns = 7;

  explicit CDataTableDlg(CControlBlock& cb);
  ~CDataTableDlg();
  CDataTableDlg(const CDataTableDlg&) = delete;
  CDataTableDlg& operator=(const CDataTableDlg&) = delete;

  // Makes the view; false when the window system cannot.
  bool Create();
  // Bars oldest first, prices as the store keeps them (already in rupees:
  // they are not divided again). With a chart, one column per series it
  // computed, each value taken at the bar of the same time.
  void Fill(std::string_view symbol, double divisor, const VwapSeries& oldestFirst,
            FChartCtrl* chart);
  void Close();

  CCommonListCtrl& Bars() { return m_bars; }
  CCommonListCtrl& CrossOver() { return m_cross; }
  const std::vector<sDataTableRow>& Rows() const { return m_rows; }
  const std::vector<std::string>& SeriesNames() const { return m_series; }
  const std::string& Title() const { return m_title; }
  const std::string& Symbol() const { return m_symbol; }
  double Divisor() const { return m_divisor; }
  bool CrossOverShown() const { return false; }
  View* GetView() const { return m_view.get(); }
  // The text of a bar-list cell by its column's name; empty when none.
  std::string Cell(size_t row, std::string_view column) const;

 private:
  bool CellOf(ItemData data, int column, sCellInfo& cell) const;

  CControlBlock& m_cb;
  CCommonListCtrl m_bars;
  CCommonListCtrl m_cross;
  std::unique_ptr<View> m_view;
  std::vector<sDataTableRow> m_rows;
  std::vector<std::string> m_series;
  std::string m_symbol;
  std::string m_title;
  double m_divisor = 1.0;
};

}  // namespace kovo
