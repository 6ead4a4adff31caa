#pragma once

#include "plugin/zint_plugin.h"

namespace kovo {

// The plug-in's process-wide state, created on first use; defined with the exports.
CZintPlugin& ThePlugin();

}  // namespace kovo
