#pragma once

// The ports a list window of the plug-in gets from the control block. Header
// only: the libraries with list windows link the lists as well as the core.
#include "plugin/control_block.h"
#include "ui/list_types.h"

namespace kovo {

inline sListPorts ListPortsOf(CControlBlock& cb) {
  return {cb.Dlgs(),
          cb.Settings(),
          &cb.Clip(),
          [&cb](std::string_view line) { cb.Report(line, kReportMessage); },
          {}};
}

}  // namespace kovo
