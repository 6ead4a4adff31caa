#include "platform/headless_views.h"

#include <cstdio>

namespace kovo {

int HeadlessDialogs::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  const unsigned buttons = style & kMbButtonsMask;
  return buttons == kMbYesNo || buttons == kMbYesNoCancel ? kIdYes : kIdOk;
}

}  // namespace kovo
