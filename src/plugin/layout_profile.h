#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/view.h"

namespace kovo {

// One pane of a saved docking layout, named by its bar id.
struct sSavedPane {
  int32_t barId = 0;
  sPaneState state;
  bool operator==(const sSavedPane&) const = default;
};

// The hash that tells host installations apart: h = h * 37 ^ (c - 32) over
// the folder's bytes (signed), 32-bit wrap, signed remainder by 1048583.
int32_t InstallationNumber(std::string_view hostFolder);

// <application data>/Tolvane/KovoTrader/<installation number>/KovoPlugins/ZintProfile.lyt
std::filesystem::path LayoutProfilePath(const std::filesystem::path& appDataFolder,
                                        std::string_view hostFolder);

// The profile's text: a header line, then one line per pane:
// "<bar id> <visible 0|1> <floating 0|1> <L|R|T|B> <left> <top> <right> <bottom>".
inline constexpr const char* kLayoutProfileHeader = "KovoZint layout 1";
inline constexpr size_t kMaxLayoutProfileBytes = 64 * 1024;
inline constexpr size_t kMaxLayoutPanes = 256;

std::string WriteLayoutProfile(const std::vector<sSavedPane>& panes);
// False, with panes left empty, for anything but a well-formed profile:
// a wrong header, a short or long line, numbers out of range, too many panes
// or too many bytes.
bool ReadLayoutProfile(std::string_view text, std::vector<sSavedPane>& panes);

// A floating rectangle moved and shrunk so that it lies on the screen.
sRect ClampToScreen(const sRect& rect, const sRect& screen);

}  // namespace kovo
