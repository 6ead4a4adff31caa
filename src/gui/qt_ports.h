#pragma once

#include "plugin/ports.h"

namespace kovo::gui {

// Fills ports with the Qt implementations when the process runs a Qt
// widgets application; false (ports untouched) otherwise. Never creates the
// application itself: that is the host's. Call on the application's thread.
bool MakeQtPorts(PluginPorts& ports);

}  // namespace kovo::gui
