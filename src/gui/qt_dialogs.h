#pragma once

#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace kovo::gui {

// "Text files|*.txt;*.log|All|*.*" as Qt writes it:
// "Text files (*.txt *.log);;All (*.*)". A trailing description without a
// pattern is dropped.
std::string QtFileFilter(std::string_view filter);

// True when nobody can answer a modal dialog: no widgets application, or
// Qt draws to an offscreen surface.
bool DialogsCannotBeShown();

// The Dialogs port with Qt's standard dialogs. Without a screen (see
// DialogsCannotBeShown) a message box answers its first button at once and
// writes its text to stderr; the pickers answer "cancelled".
class QtDialogs final : public Dialogs {
 public:
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void MessageBeep(unsigned type) override;
  bool ChooseColor(uint32_t& color) override;
  bool ChooseFont(FontChoice& font) override;
  bool ChooseOpenFile(std::string_view title, std::string_view filter, std::string& path) override;
  bool ChooseSaveFile(std::string_view title, std::string_view filter, std::string& path) override;

  // The answer a box of that style gives when nobody can press a button.
  static int DefaultAnswer(unsigned style);
};

}  // namespace kovo::gui
