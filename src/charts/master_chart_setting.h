#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "charts/chart_settings.h"
#include "platform/dialogs.h"
#include "platform/settings.h"

namespace kovo {

// The chart settings every chart window draws with, and the "Preference
// Settings" dialog that edits them: one object for the whole plug-in.
class CMasterChartSetting {
 public:
  static constexpr int kTemplateId = 33543;
  static constexpr const char* kTitle = "Preference Settings";

  struct sColourItem {
    const char* key;
    const char* label;
    uint32_t sChartSettings::*field;
  };
  struct sFlagItem {
    const char* key;
    const char* label;
    bool sChartSettings::*field;
  };
  static const std::vector<sColourItem>& ColourItems();
  static const std::vector<sFlagItem>& FlagItems();

  CMasterChartSetting(const CSettingsFiles& files, Dialogs& dialogs);

  // Reads "CHART_SETTING"; a missing key keeps its default.
  void Load();
  // What the charts draw with; it changes in place when OK is pressed.
  std::shared_ptr<const sChartSettings> Shared() const { return m_current; }
  const sChartSettings& Current() const { return *m_current; }
  // After OK: every open chart redraws.
  void SetOnChanged(std::function<void()> changed) { m_changed = std::move(changed); }

  // ---- the dialog: edits a copy until OK
  void BeginEdit() { m_edit = *m_current; }
  const sChartSettings& Edited() const { return m_edit; }
  uint32_t Colour(size_t item) const;  // 0xRRGGBB
  // The system colour dialog speaks blue-green-red; false when cancelled.
  bool OnColourButton(size_t item);
  bool Flag(size_t item) const;
  void SetFlag(size_t item, bool on);
  // Writes every key and hands the edited settings to the charts; false
  // (the settings stay as they were) when the file cannot be written.
  bool OnOK();

 private:
  const CSettingsFiles& m_files;
  Dialogs& m_dialogs;
  std::shared_ptr<sChartSettings> m_current = std::make_shared<sChartSettings>();
  sChartSettings m_edit;
  std::function<void()> m_changed;
};

}  // namespace kovo
