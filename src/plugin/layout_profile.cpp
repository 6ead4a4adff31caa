#include "plugin/layout_profile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "base/format.h"

namespace kovo {
namespace {

constexpr int32_t kInstallationModulus = 1048583;  // 0x100007
constexpr int64_t kMaxCoordinate = 1'000'000;

char SideLetter(DockSide side) {
  switch (side) {
    case DockSide::kLeft:
      return 'L';
    case DockSide::kTop:
      return 'T';
    case DockSide::kBottom:
      return 'B';
    case DockSide::kRight:
      break;
  }
  return 'R';
}

bool SideOf(std::string_view letter, DockSide& side) {
  if (letter == "L") {
    side = DockSide::kLeft;
  } else if (letter == "R") {
    side = DockSide::kRight;
  } else if (letter == "T") {
    side = DockSide::kTop;
  } else if (letter == "B") {
    side = DockSide::kBottom;
  } else {
    return false;
  }
  return true;
}

bool Number(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

int32_t InstallationNumber(std::string_view hostFolder) {
  uint32_t h = 0;
  for (const char c : hostFolder) {
    const int32_t byte = static_cast<signed char>(c);
    h = (h * 37u) ^ static_cast<uint32_t>(byte - 32);
  }
  return static_cast<int32_t>(h) % kInstallationModulus;
}

std::filesystem::path LayoutProfilePath(const std::filesystem::path& appDataFolder,
                                        std::string_view hostFolder) {
  return appDataFolder / "Tolvane" / "KovoTrader" / Format("%d", InstallationNumber(hostFolder)) /
         "KovoPlugins" / "ZintProfile.lyt";
}

std::string WriteLayoutProfile(const std::vector<sSavedPane>& panes) {
  std::string text = kLayoutProfileHeader;
  text += '\n';
  for (const sSavedPane& pane : panes) {
    const sPaneState& s = pane.state;
    text += Format("%d %d %d %c %d %d %d %d\n", pane.barId, s.visible ? 1 : 0, s.floating ? 1 : 0,
                   SideLetter(s.side), s.rect.left, s.rect.top, s.rect.right, s.rect.bottom);
  }
  return text;
}

bool ReadLayoutProfile(std::string_view text, std::vector<sSavedPane>& panes) {
  panes.clear();
  if (text.size() > kMaxLayoutProfileBytes) return false;
  std::vector<sSavedPane> read;
  bool header = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!header) {
      if (line != kLayoutProfileHeader) return false;
      header = true;
      continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string_view> words = Words(line);
    if (words.size() != 8 || read.size() >= kMaxLayoutPanes) return false;
    int64_t id = 0, visible = 0, floating = 0, left = 0, top = 0, right = 0, bottom = 0;
    sSavedPane pane;
    if (!Number(words[0], 1, INT32_MAX, id) || !Number(words[1], 0, 1, visible) ||
        !Number(words[2], 0, 1, floating) || !SideOf(words[3], pane.state.side) ||
        !Number(words[4], -kMaxCoordinate, kMaxCoordinate, left) ||
        !Number(words[5], -kMaxCoordinate, kMaxCoordinate, top) ||
        !Number(words[6], -kMaxCoordinate, kMaxCoordinate, right) ||
        !Number(words[7], -kMaxCoordinate, kMaxCoordinate, bottom))
      return false;
    pane.barId = static_cast<int32_t>(id);
    pane.state.visible = visible == 1;
    pane.state.floating = floating == 1;
    pane.state.rect = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                       static_cast<int>(bottom)};
    read.push_back(pane);
  }
  if (!header) return false;
  panes = std::move(read);
  return true;
}

sRect ClampToScreen(const sRect& rect, const sRect& screen) {
  if (screen.Width() <= 0 || screen.Height() <= 0) return rect;
  const int width = std::clamp(rect.Width(), 1, std::max(1, screen.Width()));
  const int height = std::clamp(rect.Height(), 1, std::max(1, screen.Height()));
  const int left = std::clamp(rect.left, screen.left, screen.right - width);
  const int top = std::clamp(rect.top, screen.top, screen.bottom - height);
  return {left, top, left + width, top + height};
}

}  // namespace kovo
