#pragma once

namespace kovo {

// A part of the session that lives in a library above the plug-in core (the
// bar data store with its chart windows, the order API). The control block
// owns it through this interface, so the core never links the part's code.
class CSessionModule {
 public:
  virtual ~CSessionModule() = default;
  // Shutdown has begun: wake worker threads so they end without waiting out
  // their timers.
  virtual void WakeWorkers() {}
  // Docks the module's windows back, takes them out of the frame and drops them.
  virtual void CloseWindows() {}
};

}  // namespace kovo
