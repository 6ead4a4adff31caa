// Feeds arbitrary bytes to the layout profile reader: a profile it accepts
// must write back to text that reads to the same panes, and a refused one
// leaves no panes behind.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "plugin/layout_profile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<kovo::sSavedPane> panes = {kovo::sSavedPane{}};
  if (!kovo::ReadLayoutProfile(text, panes)) {
    Check(panes.empty());
    return 0;
  }
  Check(panes.size() <= kovo::kMaxLayoutPanes);
  std::vector<kovo::sSavedPane> again;
  Check(kovo::ReadLayoutProfile(kovo::WriteLayoutProfile(panes), again));
  Check(again == panes);
  const kovo::sRect screen{0, 0, 1920, 1080};
  for (const kovo::sSavedPane& pane : panes) {
    Check(pane.barId > 0);
    const kovo::sRect r = kovo::ClampToScreen(pane.state.rect, screen);
    Check(r.left >= screen.left && r.top >= screen.top && r.right <= screen.right &&
          r.bottom <= screen.bottom && r.Width() >= 1 && r.Height() >= 1);
  }
  return 0;
}
