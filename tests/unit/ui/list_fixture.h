#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "fakes/recording_dialogs.h"
#include "fakes/temp_dir.h"
#include "platform/clipboard.h"
#include "platform/settings.h"
#include "ui/common_list_ctrl.h"

namespace kovo::test {

// Settings, dialogs and a clipboard in a temp folder, and a table of
// records the lists show: item data is the record's index.
class ListFixture : public ::testing::Test {
 protected:
  ListFixture() : m_settings(SettingsPaths{m_dir / "host", m_dir / "data", "user"}) {
    std::filesystem::create_directories(m_dir / "docs");
  }

  sListPorts Ports() {
    return {m_dialogs, m_settings, &m_clipboard,
            [this](std::string_view line) { m_log.emplace_back(line); }, m_dir / "docs"};
  }

  ItemData Record(std::vector<std::string> cells) {
    m_table.push_back(std::move(cells));
    return m_table.size() - 1;
  }

  void Attach(CCommonListCtrl& list) {
    list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
      const auto& row = m_table.at(data);
      if (column < 0 || static_cast<std::size_t>(column) >= row.size()) return false;
      cell.text = row[static_cast<std::size_t>(column)];
      return true;
    });
  }

  // Texts of one header position, top to bottom.
  static std::vector<std::string> Column(const CCommonListCtrl& list, int pos) {
    std::vector<std::string> texts;
    for (int row = 0; row < list.ItemCount(); ++row) texts.push_back(list.CellText(row, pos));
    return texts;
  }

  static std::vector<ItemData> Data(const CCommonListCtrl& list) {
    std::vector<ItemData> data;
    for (int row = 0; row < list.ItemCount(); ++row) data.push_back(list.GetItemData(row));
    return data;
  }

  void WriteSetting(std::string_view section, std::string_view key, std::string value) {
    ASSERT_EQ(m_settings.Write(section, key, std::move(value), kZintSettingsFile,
                               SettingsLocation::kUserFolder),
              1);
  }
  std::string ReadSetting(std::string_view section, std::string_view key) {
    std::string value;
    m_settings.Read(section, key, value, kZintSettingsFile, SettingsLocation::kUserFolder);
    return value;
  }

  TempDir m_dir;
  CSettingsFiles m_settings;
  RecordingDialogs m_dialogs;
  MemoryClipboard m_clipboard;
  std::vector<std::string> m_log;
  std::vector<std::vector<std::string>> m_table;
};

inline std::vector<sKovoColInfo> ThreeColumns() {
  return {{"Symbol", 80, kFormatLeft, kSortTextNoCase},
          {"Qty", 60, kFormatRight, kSortInt},
          {"Price", 70, kFormatRight, kSortDouble}};
}

}  // namespace kovo::test
