// libKovoZintQt.so: the plug-in's Qt views, loaded by libKovoZint.so only in
// a host that runs a Qt application, so hosts without Qt never load it.
#include "gui/qt_ports.h"

extern "C" __attribute__((visibility("default"))) int32_t kovo_zint_qt_make_ports(void* ports) {
  try {
    return kovo::gui::MakeQtPorts(*static_cast<kovo::PluginPorts*>(ports)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
