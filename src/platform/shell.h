#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/process_starter.h"

namespace kovo {

// Hands a document or address to the desktop with a verb ("open", "print").
class Shell {
 public:
  virtual ~Shell() = default;
  virtual bool Execute(std::string_view verb, std::string_view target) = 0;
};

// The desktop's own programs, started without a shell: xdg-open opens,
// lp prints.
class ProcessShell final : public Shell {
 public:
  explicit ProcessShell(ProcessStarter& processes) : m_processes(processes) {}
  bool Execute(std::string_view verb, std::string_view target) override {
    const std::string program = verb == "print" ? "lp" : "xdg-open";
    int started = 0;
    return m_processes.Start(program, {std::string(target)}, &started) == 0;
  }

 private:
  ProcessStarter& m_processes;
};

}  // namespace kovo
