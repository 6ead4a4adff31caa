#pragma once

#include <memory>

#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/net_identity.h"
#include "platform/process_starter.h"
#include "platform/ui_thread.h"
#include "platform/view.h"
#include "plugin/host_functions.h"

namespace kovo {

// What the plug-in needs from the window system it runs in.
struct PluginPorts {
  std::unique_ptr<UiThread> ui;
  std::unique_ptr<Dialogs> dialogs;
  std::unique_ptr<ViewFactory> views;
  std::unique_ptr<HostFrame> frame;
  std::unique_ptr<Screens> screens;
  // Left empty, the system's own are used.
  std::unique_ptr<NetIdentity> net;
  std::unique_ptr<ProcessStarter> processes;
  std::unique_ptr<Clipboard> clipboard;
};

// Ports for a host without a screen: its lent UI thread when it has one,
// else one of our own.
PluginPorts MakeHeadlessPorts(const HostResolver& resolve);

}  // namespace kovo
