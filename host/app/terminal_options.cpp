#include "host/app/terminal_options.h"

#include <charconv>

namespace kovo::terminal {

const char* const kUsage =
    "usage: kovo-terminal [--backend HOST:PORT] [--seed N] [--host-name "
    "kovo_trader|kovo_trader_now]\n"
    "                     [--host-version V] [--switch-off NAME]... [--plugin PATH]\n"
    "                     [--auto-login ID] [--strategy PATH] [--demo DIR]\n";

namespace {

template <typename T>
bool ReadNumber(const std::string& text, T* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error) {
  TerminalOptions& o = out->options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      out->help = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument " + arg;
      return false;
    }
    const std::string& value = args[++i];
    if (arg == "--backend") {
      const size_t colon = value.rfind(':');
      uint16_t port = 0;
      if (colon == std::string::npos || colon == 0 || !ReadNumber(value.substr(colon + 1), &port) ||
          port == 0) {
        *error = "--backend wants HOST:PORT, not " + value;
        return false;
      }
      o.backendHost = value.substr(0, colon);
      o.backendPort = port;
    } else if (arg == "--seed") {
      if (!ReadNumber(value, &o.seed)) {
        *error = "--seed wants a number, not " + value;
        return false;
      }
    } else if (arg == "--host-name") {
      if (value != "kovo_trader" && value != "kovo_trader_now") {
        *error = "--host-name is kovo_trader or kovo_trader_now";
        return false;
      }
      o.hostName = value;
    } else if (arg == "--host-version") {
      o.hostVersion = value;
    } else if (arg == "--switch-off") {
      o.switchedOff.insert(value);
    } else if (arg == "--plugin") {
      o.pluginPath = value;
      out->pluginGiven = true;
    } else if (arg == "--auto-login") {
      o.autoLogin = value;
    } else if (arg == "--strategy") {
      o.strategyPath = value;
    } else if (arg == "--demo") {
      out->demoDir = value;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

}  // namespace kovo::terminal
