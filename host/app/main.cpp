// kovo-terminal: the reference trading terminal that hosts the plug-in.
#include <QApplication>
#include <QDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/app/terminal_demo.h"
#include "host/app/terminal_options.h"
#include "host/app/terminal_window.h"

namespace {

namespace fs = std::filesystem;

// $XDG_STATE_HOME/kovo-terminal/terminal.log, else ~/.local/state/...
fs::path DefaultLogFile() {
  fs::path base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".local" / "state";
  } else {
    return {};
  }
  std::error_code ec;
  fs::create_directories(base / "kovo-terminal", ec);
  return ec ? fs::path() : base / "kovo-terminal" / "terminal.log";
}

// Next to the program first; then where this build put it.
fs::path DefaultPlugin(const fs::path& programDir) {
  const fs::path beside = programDir / "libKovoZint.so";
  std::error_code ec;
  if (fs::exists(beside, ec)) return beside;
#ifdef KOVO_BUILT_PLUGIN
  if (fs::exists(KOVO_BUILT_PLUGIN, ec)) return KOVO_BUILT_PLUGIN;
#endif
  return beside;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Qt took the user's locale for the C library too; the terminal's and the
  // embedded back end's own number texts are written with a dot (the plug-in
  // does so itself in any host).
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("kovo-terminal"));

  std::vector<std::string> args;
  for (const QString& arg : QApplication::arguments().mid(1)) args.push_back(arg.toStdString());
  kovo::terminal::CommandLine line;
  std::string error;
  if (!kovo::terminal::ParseCommandLine(args, &line, &error)) {
    std::fprintf(stderr, "kovo-terminal: %s\n%s", error.c_str(), kovo::terminal::kUsage);
    return 2;
  }
  if (line.help) {
    std::fputs(kovo::terminal::kUsage, stdout);
    return 0;
  }
  kovo::terminal::TerminalOptions& options = line.options;
  if (!line.pluginGiven)
    options.pluginPath = DefaultPlugin(QCoreApplication::applicationDirPath().toStdString());
  if (!line.demoDir.empty()) {
    std::error_code ec;
    fs::create_directories(line.demoDir, ec);
    options.logFile = line.demoDir / "terminal.log";
    options.autoAnswer = true;
  } else {
    options.logFile = DefaultLogFile();
  }

  int code = 0;
  {
    kovo::terminal::CTerminalWindow window(options);
    window.show();
    window.Start();
    if (!line.demoDir.empty()) {
      auto* demo = new kovo::terminal::CTerminalDemo(window, line.demoDir);
      demo->Start();
    }
    code = app.exec();
  }
  // The demo shows that a second start finds the layout the first one left.
  if (!line.demoDir.empty() && code == kovo::terminal::CTerminalDemo::kRestartCode) {
    kovo::terminal::CTerminalWindow window(options);
    window.show();
    window.Start();
    auto* demo = new kovo::terminal::CTerminalDemo(window, line.demoDir);
    demo->StartAfterRestart();
    code = app.exec();
  }
  return code;
}
