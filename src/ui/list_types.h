#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kovo {

class Dialogs;
class Clipboard;
class CSettingsFiles;

// What a row carries: the owner's record (usually a pointer to it).
using ItemData = std::uintptr_t;

// Colours are 0x00BBGGRR, as the settings files have always stored them.
using ColorRef = uint32_t;
constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return ColorRef{r} | (ColorRef{g} << 8) | (ColorRef{b} << 16);
}

// Column alignment.
inline constexpr int32_t kFormatLeft = 0;
inline constexpr int32_t kFormatRight = 1;
inline constexpr int32_t kFormatImage = 2048;

// How a column compares.
enum SortKind : int32_t {
  kSortInt = 1,
  kSortDouble = 2,
  kSortTextNoCase = 3,
  kSortInt64 = 4,
  kSortDouble5 = 5,
  kSortDateTime = 6,
  kSortDouble7 = 7,
  kSortText = 8,
};

inline constexpr std::size_t kColNameCapacity = 64;

// One column descriptor; the owner hands an array of them over once.
struct sKovoColInfo {
  char name[kColNameCapacity] = {};  // NUL-terminated; also ties a header item to its descriptor
  int32_t width = 100;
  int32_t format = kFormatLeft;
  int32_t sortKind = kSortTextNoCase;
  std::string text1;
  std::string text2;

  sKovoColInfo() = default;
  // Names longer than 63 characters are cut, as the record has always held them.
  sKovoColInfo(std::string_view columnName, int32_t w, int32_t fmt, int32_t kind,
               std::string t1 = {}, std::string t2 = {});
  std::string_view Name() const { return name; }
};

// One cell as the owner's callback fills it. The list presets the colours
// with its own, so a callback only sets what differs.
struct sCellInfo {
  std::string text;
  ColorRef textColor = 0;
  ColorRef backColor = 0;
  int icon = -1;  // -1: none
};

// The owner's cell formatter: (owner, item data, descriptor index, cell);
// returns false when it has nothing for the cell.
using ListTextCallback = std::function<bool(void* owner, ItemData data, int column, sCellInfo&)>;

// Where log lines go (the control block's report in the plug-in).
using ListLog = std::function<void(std::string_view text)>;

// The services a list uses; the owner (usually the control block) keeps them alive.
struct sListPorts {
  Dialogs& dialogs;
  const CSettingsFiles& settings;
  Clipboard* clipboard = nullptr;
  ListLog log;
  std::filesystem::path documentsFolder;  // spreadsheets; empty: the user's documents folder
};

// Command ids the lists answer.
inline constexpr int kCmdRepositionColumns = 1224;
inline constexpr int kCmdNotAvailable1225 = 1225;
inline constexpr int kCmdFitToData = 1226;
inline constexpr int kCmdFitToHeader = 1227;
inline constexpr int kCmdFitToWindow = 1228;
inline constexpr int kCmdWriteToExcel = 1229;
inline constexpr int kCmdNotAvailable1230 = 1230;
inline constexpr int kCmdGridLines = 2222;
inline constexpr int kCmdAddCustomColumns = 2000;
inline constexpr int kCmdResetFilters = 2001;
inline constexpr int kCmdDeleteCustomColumns = 2002;

inline constexpr const char* kTextReposition = "Reposition Columns";
inline constexpr const char* kTextFitToData = "Fit to Data";
inline constexpr const char* kTextFitToHeader = "Fit to Header Size";
inline constexpr const char* kTextFitToWindow = "Fit to Window";
inline constexpr const char* kTextWriteToExcel = "Write to Excel\tShift+E";
inline constexpr const char* kTextGridLines = "Draw Grid Lines\tShift+G";
inline constexpr const char* kTextResetFilters = "Reset Filters";
inline constexpr const char* kTextAddCustomColumns = "Add Custom Columns";
inline constexpr const char* kTextDeleteCustomColumns = "Delete Custom Columns";

// One entry of a menu the logic offers; id 0 is a separator.
struct sMenuItem {
  int id = 0;
  std::string text;
  bool checked = false;
  bool operator==(const sMenuItem&) const = default;
};

// Keys the lists handle: letters as their upper-case character, and the menu key.
inline constexpr int kKeyContextMenu = 0x5D;
struct sKeyState {
  bool ctrl = false;
  bool shift = false;
};

// The settings file the lists and frames keep their state in.
inline constexpr const char* kZintSettingsFile = "zintsettings.ini";

}  // namespace kovo
