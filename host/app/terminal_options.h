#pragma once

#include <string>
#include <vector>

#include "host/app/terminal_window.h"

namespace kovo::terminal {

struct CommandLine {
  TerminalOptions options;
  std::filesystem::path demoDir;  // non-empty: run the demo script there
  bool pluginGiven = false;
  bool help = false;
};

// Reads the terminal's arguments (without the program name). False with a
// reason for an unknown option, a missing value or a malformed one.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error);

extern const char* const kUsage;

}  // namespace kovo::terminal
