#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace kovo::test {

// Records every dialog shown and answers from a script. Without a scripted
// answer a message box takes its first button (OK or Yes) and pickers cancel.
class RecordingDialogs final : public Dialogs {
 public:
  enum class Kind { kMessageBox, kBeep, kColor, kFont, kOpenFile, kSaveFile };
  struct Call {
    Kind kind;
    std::string text;     // message text or title
    std::string caption;  // caption or filter
    unsigned style = 0;   // message box style or beep type
  };

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void MessageBeep(unsigned type) override;
  bool ChooseColor(uint32_t& color) override;
  bool ChooseFont(FontChoice& font) override;
  bool ChooseOpenFile(std::string_view title, std::string_view filter, std::string& path) override;
  bool ChooseSaveFile(std::string_view title, std::string_view filter, std::string& path) override;

  // Scripted answers, used in order.
  void AnswerMessageBox(int answer);
  void AnswerColor(uint32_t color);
  void AnswerFont(FontChoice font);
  void AnswerFile(std::string path);

  std::vector<Call> Calls() const;
  // Texts of the message boxes shown, in order.
  std::vector<std::string> MessageBoxTexts() const;
  size_t Count(Kind kind) const;
  void Clear();

 private:
  mutable std::mutex m_mutex;
  std::vector<Call> m_calls;
  std::deque<int> m_boxAnswers;
  std::deque<uint32_t> m_colors;
  std::deque<FontChoice> m_fonts;
  std::deque<std::string> m_files;
};

}  // namespace kovo::test
