#include "charts/master_chart_setting.h"

#include "base/format.h"

namespace kovo {
namespace {

uint32_t SwapRedBlue(uint32_t c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace

const std::vector<CMasterChartSetting::sColourItem>& CMasterChartSetting::ColourItems() {
  static const std::vector<sColourItem> items = {
      {"FORE_COLOR", "Foreground", &sChartSettings::foreColor},
      {"BACK_COLOR", "Background", &sChartSettings::backColor},
      {"GRID_COLOR", "Grid", &sChartSettings::gridColor},
      {"UP_TICK_COLOR", "Up Tick", &sChartSettings::upTickColor},
      {"DOWN_TICK_COLOR", "Down Tick", &sChartSettings::downTickColor},
      {"CUSTOM_ONE_COLOR", "Custom 1", &sChartSettings::customOneColor},
      {"CUSTOM_TWO_COLOR", "Custom 2", &sChartSettings::customTwoColor},
      {"CUSTOM_VOLUME_COLOR", "Volume", &sChartSettings::customVolumeColor},
      {"TREND_LINE_COLOR", "Study Lines", &sChartSettings::trendLineColor},
      {"OUTLINE_UP_COLOR", "Up Outline", &sChartSettings::outlineUpColor},
  };
  return items;
}

const std::vector<CMasterChartSetting::sFlagItem>& CMasterChartSetting::FlagItems() {
  static const std::vector<sFlagItem> items = {
      {"PANEL_BORDER_CHECK", "Legend follows the mouse", &sChartSettings::panelBorder},
      {"LEFT_ALGN_CHECK", "Left aligned", &sChartSettings::leftAlign},
      {"SEMI_LOG_CHECK", "Semi-log scale", &sChartSettings::semiLog},
      {"LINEARSCALE_CHECK", "Linear scale", &sChartSettings::linearScale},
      {"SHOW_XGRID", "Horizontal grid", &sChartSettings::showXGrid},
      {"SHOW_YGRID", "Vertical grid", &sChartSettings::showYGrid},
      {"SHOW_TOOLTIP_ALWAYS", "Tooltip always", &sChartSettings::tooltipAlways},
  };
  return items;
}

CMasterChartSetting::CMasterChartSetting(const CSettingsFiles& files, Dialogs& dialogs)
    : m_files(files), m_dialogs(dialogs) {
  m_edit = *m_current;
}

void CMasterChartSetting::Load() {
  *m_current = LoadChartSettings(m_files);
  m_edit = *m_current;
}

uint32_t CMasterChartSetting::Colour(size_t item) const {
  return item < ColourItems().size() ? m_edit.*(ColourItems()[item].field) : 0;
}

bool CMasterChartSetting::OnColourButton(size_t item) {
  if (item >= ColourItems().size()) return false;
  uint32_t& colour = m_edit.*(ColourItems()[item].field);
  uint32_t bgr = SwapRedBlue(colour);
  if (!m_dialogs.ChooseColor(bgr)) return false;
  colour = SwapRedBlue(bgr) & 0xFFFFFFu;
  return true;
}

bool CMasterChartSetting::Flag(size_t item) const {
  return item < FlagItems().size() && m_edit.*(FlagItems()[item].field);
}

void CMasterChartSetting::SetFlag(size_t item, bool on) {
  if (item >= FlagItems().size()) return;
  m_edit.*(FlagItems()[item].field) = on;
  // The two scales exclude each other.
  if (on && FlagItems()[item].field == &sChartSettings::semiLog) m_edit.linearScale = false;
  if (on && FlagItems()[item].field == &sChartSettings::linearScale) m_edit.semiLog = false;
}

bool CMasterChartSetting::OnOK() {
  const auto write = [&](const char* key, std::string value) {
    return m_files.Write(kChartSettingSection, key, std::move(value), kChartSettingsFile,
                         SettingsLocation::kUserFolder) == 1;
  };
  bool written = true;
  for (const sColourItem& c : ColourItems())
    written = write(c.key, Format("%lu", static_cast<unsigned long>(m_edit.*(c.field)))) && written;
  for (const sFlagItem& f : FlagItems())
    written = write(f.key, m_edit.*(f.field) ? "TRUE" : "FALSE") && written;
  written = write("NO_OF_DAYS", Format("%d", m_edit.noOfDays)) && written;
  if (!written) {
    m_dialogs.MessageBox("The chart settings could not be saved", "KovoZint", kMbOk);
    return false;
  }
  *m_current = m_edit;
  if (m_changed) m_changed();
  return true;
}

}  // namespace kovo
