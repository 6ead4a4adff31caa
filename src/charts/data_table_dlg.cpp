#include "charts/data_table_dlg.h"

#include <ctime>
#include <unordered_map>

#include "base/format.h"
#include "charts/chart_time.h"
#include "charts/fchart_ctrl.h"
#include "charts/finance/array_math.h"
#include "plugin/control_block.h"
#include "plugin/list_ports.h"

namespace kovo {
namespace {

std::string LocalTime(int32_t t) {
  const std::time_t when = t;
  std::tm tm{};
  localtime_r(&when, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%d-%m-%Y %H:%M:%S", &tm);
  return text;
}

}  // namespace

CDataTableDlg::CDataTableDlg(CControlBlock& cb)
    : m_cb(cb),
      m_bars(ListPortsOf(cb), kBarListName),
      m_cross(ListPortsOf(cb), kCrossListName, kCrossListId) {
  m_bars.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
    return CellOf(data, column, cell);
  });
  m_cross.SetColumns({{"Record Number", 55, kFormatLeft, kSortTextNoCase},
                      {"Time", 100, kFormatLeft, kSortDateTime},
                      {"Series1", 50, kFormatRight, kSortDouble},
                      {"Series2", 50, kFormatRight, kSortDouble}});
}

CDataTableDlg::~CDataTableDlg() {
  // The view reads the lists while it goes.
  m_view.reset();
}

bool CDataTableDlg::Create() {
  if (!m_view) m_view = m_cb.Views().CreateDataTable(*this);
  return m_view != nullptr;
}

void CDataTableDlg::Fill(std::string_view symbol, double divisor, const VwapSeries& oldestFirst,
                         FChartCtrl* chart) {
  m_symbol = symbol;
  m_divisor = divisor > 0 ? divisor : 1.0;
  m_series.clear();
  std::vector<const std::vector<double>*> values;
  std::unordered_map<int64_t, size_t> barAt;  // chart time in seconds -> chart position
  if (chart) {
    const ZintFinanceChart& full = chart->FullChart();
    for (size_t i = 0; i < full.Count(); ++i) {
      m_series.push_back(full.NameAt(i));
      values.push_back(full.Find(full.NameAt(i)));
    }
    for (size_t i = 0; i < chart->BarCount(); ++i)
      barAt[static_cast<int64_t>(chart->Bar(i).time)] = i;
  }
  m_rows.clear();
  m_rows.reserve(oldestFirst.size());
  for (const VwapBar& bar : oldestFirst) {
    if (!bar) continue;
    sDataTableRow row{bar->time, bar->open, bar->high, bar->low, bar->close, bar->volume, {}};
    // Aligned by time: the chart may hold bars the table does not, or fewer.
    const auto at = barAt.find(static_cast<int64_t>(ChartTimeFromUnix(bar->time)));
    for (const std::vector<double>* series : values) {
      std::string text;
      if (at != barAt.end() && series && at->second < series->size() &&
          finance::HasValue((*series)[at->second])) {
        text = Format("%.4lf", (*series)[at->second]);
      }
      row.values.push_back(std::move(text));
    }
    m_rows.push_back(std::move(row));
  }

  std::vector<sKovoColInfo> columns = {
      {"Trading Symbol", 150, kFormatLeft, kSortTextNoCase},
      {"Time", 150, kFormatLeft, kSortDateTime},
      {"Open", 100, kFormatRight, kSortDouble},
      {"High", 100, kFormatRight, kSortDouble},
      {"Low", 100, kFormatRight, kSortDouble},
      {"Close/Price", 100, kFormatRight, kSortDouble},
      {"Volume", 100, kFormatRight, kSortInt64},
  };
  for (const std::string& name : m_series)
    columns.emplace_back(name, 100, kFormatRight, kSortDouble);
  m_bars.DeleteAllItems();
  m_bars.SetColumns(std::move(columns));
  // Newest on top.
  for (size_t i = m_rows.size(); i-- > 0;)
    m_bars.InsertItem(m_bars.ItemCount(), static_cast<ItemData>(i));
  m_title = Format("DataTable : %s", m_symbol.c_str());
  if (m_view) {
    m_view->SetTitle(m_title);
    m_view->Refresh();
    m_view->Show(true, View::Centre::kHostWindow);
    m_view->BringToFront();
  }
}

void CDataTableDlg::Close() {
  if (m_view) m_view->Show(false);
}

bool CDataTableDlg::CellOf(ItemData data, int column, sCellInfo& cell) const {
  if (data >= m_rows.size() || column < 0) return false;
  const sDataTableRow& row = m_rows[data];
  switch (column) {
    case 0:
      cell.text = m_symbol;
      return true;
    case 1:
      cell.text = LocalTime(row.time);
      return true;
    case 2:
      cell.text = Format("%.4lf", row.open);
      return true;
    case 3:
      cell.text = Format("%.4lf", row.high);
      return true;
    case 4:
      cell.text = Format("%.4lf", row.low);
      return true;
    case 5:
      cell.text = Format("%.4lf", row.close);
      return true;
    case 6:
      cell.text = Format("%lu", static_cast<unsigned long>(row.volume));
      return true;
    default: {
      const size_t k = static_cast<size_t>(column - kFixedColumns);
      if (k >= row.values.size()) return false;
      cell.text = row.values[k];
      return true;
    }
  }
}

std::string CDataTableDlg::Cell(size_t row, std::string_view column) const {
  const int descriptor = m_bars.DescriptorOf(column);
  if (descriptor < 0 || row >= static_cast<size_t>(m_bars.ItemCount())) return {};
  sCellInfo cell;
  return CellOf(m_bars.GetItemData(static_cast<int>(row)), descriptor, cell) ? cell.text
                                                                             : std::string();
}

}  // namespace kovo
