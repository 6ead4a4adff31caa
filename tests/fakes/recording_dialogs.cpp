#include "fakes/recording_dialogs.h"

namespace kovo::test {

int RecordingDialogs::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  std::lock_guard lock(m_mutex);
  m_calls.push_back({Kind::kMessageBox, std::string(text), std::string(caption), style});
  if (!m_boxAnswers.empty()) {
    const int answer = m_boxAnswers.front();
    m_boxAnswers.pop_front();
    return answer;
  }
  const unsigned buttons = style & kMbButtonsMask;
  return buttons == kMbYesNo || buttons == kMbYesNoCancel ? kIdYes : kIdOk;
}

void RecordingDialogs::MessageBeep(unsigned type) {
  std::lock_guard lock(m_mutex);
  m_calls.push_back({Kind::kBeep, {}, {}, type});
}

bool RecordingDialogs::ChooseColor(uint32_t& color) {
  std::lock_guard lock(m_mutex);
  m_calls.push_back({Kind::kColor, {}, {}, 0});
  if (m_colors.empty()) return false;
  color = m_colors.front();
  m_colors.pop_front();
  return true;
}

bool RecordingDialogs::ChooseFont(FontChoice& font) {
  std::lock_guard lock(m_mutex);
  m_calls.push_back({Kind::kFont, font.face, {}, 0});
  if (m_fonts.empty()) return false;
  font = m_fonts.front();
  m_fonts.pop_front();
  return true;
}

bool RecordingDialogs::ChooseOpenFile(std::string_view title, std::string_view filter,
                                      std::string& path) {
  std::lock_guard lock(m_mutex);
  m_calls.push_back({Kind::kOpenFile, std::string(title), std::string(filter), 0});
  if (m_files.empty()) return false;
  path = m_files.front();
  m_files.pop_front();
  return true;
}

bool RecordingDialogs::ChooseSaveFile(std::string_view title, std::string_view filter,
                                      std::string& path) {
  std::lock_guard lock(m_mutex);
  m_calls.push_back({Kind::kSaveFile, std::string(title), std::string(filter), 0});
  if (m_files.empty()) return false;
  path = m_files.front();
  m_files.pop_front();
  return true;
}

void RecordingDialogs::AnswerMessageBox(int answer) {
  std::lock_guard lock(m_mutex);
  m_boxAnswers.push_back(answer);
}

void RecordingDialogs::AnswerColor(uint32_t color) {
  std::lock_guard lock(m_mutex);
  m_colors.push_back(color);
}

void RecordingDialogs::AnswerFont(FontChoice font) {
  std::lock_guard lock(m_mutex);
  m_fonts.push_back(std::move(font));
}

void RecordingDialogs::AnswerFile(std::string path) {
  std::lock_guard lock(m_mutex);
  m_files.push_back(std::move(path));
}

std::vector<RecordingDialogs::Call> RecordingDialogs::Calls() const {
  std::lock_guard lock(m_mutex);
  return m_calls;
}

std::vector<std::string> RecordingDialogs::MessageBoxTexts() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::string> texts;
  for (const Call& c : m_calls)
    if (c.kind == Kind::kMessageBox) texts.push_back(c.text);
  return texts;
}

size_t RecordingDialogs::Count(Kind kind) const {
  std::lock_guard lock(m_mutex);
  size_t n = 0;
  for (const Call& c : m_calls) n += c.kind == kind;
  return n;
}

void RecordingDialogs::Clear() {
  std::lock_guard lock(m_mutex);
  m_calls.clear();
}

}  // namespace kovo::test
