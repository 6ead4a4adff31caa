#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovo {

// Message box styles and answers, with the values users' settings and
// the host have always used.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbYesNoCancel = 0x03;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbButtonsMask = 0x0F;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct FontChoice {
  std::string face;
  int pointSize = 0;
  bool bold = false;
  bool italic = false;
  uint32_t color = 0;  // 0x00BBGGRR
};

// Modal dialogs and beeps as a port, so behaviour is testable headless.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Returns kIdOk, kIdCancel, kIdYes or kIdNo.
  virtual int MessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
  virtual void MessageBeep(unsigned type) = 0;
  // Each returns false when the user cancels; the in/out value is the start and the pick.
  virtual bool ChooseColor(uint32_t& color) = 0;
  virtual bool ChooseFont(FontChoice& font) = 0;
  // filter: "Description|*.ext" pairs separated by "|".
  virtual bool ChooseOpenFile(std::string_view title, std::string_view filter,
                              std::string& path) = 0;
  virtual bool ChooseSaveFile(std::string_view title, std::string_view filter,
                              std::string& path) = 0;
};

}  // namespace kovo
