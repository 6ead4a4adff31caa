#pragma once

#include <memory>

#include "platform/dialogs.h"
#include "platform/ui_thread.h"
#include "platform/view.h"

namespace kovo {

// What the plug-in needs from the window system it runs in.
struct PluginPorts {
  std::unique_ptr<UiThread> ui;
  std::unique_ptr<Dialogs> dialogs;
  std::unique_ptr<ViewFactory> views;
  std::unique_ptr<HostFrame> frame;
};

}  // namespace kovo
