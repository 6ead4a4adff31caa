// Feeds arbitrary bytes to the chart template reader: whatever it reads must
// write back into a template that reads the same, and a chart must take it
// (or the part read before a fault) and still draw.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "charts/chart_template.h"
#include "charts/fchart_ctrl.h"
#include "platform/headless_views.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameParams(const kovo::sIndicatorParams& a, const kovo::sIndicatorParams& b) {
  return a.param1 == b.param1 && a.param2 == b.param2 && a.param3 == b.param3 &&
         a.param4 == b.param4 && a.maKind == b.maKind && a.color == b.color && a.period == b.period;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovo;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  sChartTemplate tpl;
  std::string error;
  const bool whole = ReadChartTemplate(text, tpl, error);
  Check(whole || !error.empty());
  if (whole) {
    sChartTemplate again;
    std::string second;
    const std::string written = WriteChartTemplate(tpl);
    // Texts with a separator in them cannot come back; everything else must.
    bool plain = true;
    for (const auto& i : tpl.indicators) {
      for (const std::string* t :
           {&i.params.param1, &i.params.param2, &i.params.param3, &i.params.param4}) {
        plain = plain && t->find_first_of(",#") == std::string::npos;
      }
    }
    if (plain && written.size() <= kTemplateMaxBytes) {
      Check(ReadChartTemplate(written, again, second));
      Check(again.indicators.size() == tpl.indicators.size());
      for (size_t k = 0; k < tpl.indicators.size(); ++k) {
        Check(again.indicators[k].name == tpl.indicators[k].name);
        Check(SameParams(again.indicators[k].params, tpl.indicators[k].params));
      }
      Check(again.volumePanel == tpl.volumePanel && again.style == tpl.style);
    }
  }
  static CSettingsFiles files(
      SettingsPaths{"/nonexistent-kovo-fuzz", "/nonexistent-kovo-fuzz", "f"});
  static HeadlessDialogs dialogs;
  FChartCtrl chart(files, dialogs);
  std::vector<double> t, h, l, o, c, v;
  for (int i = 0; i < 40; ++i) {
    t.push_back(63'900'868'500.0 + 60.0 * i);
    o.push_back(100 + i % 5), h.push_back(102 + i % 5), l.push_back(98 + i % 5);
    c.push_back(101 + i % 3), v.push_back(1000 + i);
  }
  for (auto* a : {&t, &h, &l, &o, &c, &v}) a->push_back(0);
  chart.SetData(t, h, l, o, c, v);
  chart.ApplyTemplate(tpl);
  chart.BuildDisplayList();
  return 0;
}
