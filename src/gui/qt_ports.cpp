#include "gui/qt_ports.h"

#include <QApplication>
#include <QThread>

#include "gui/qt_dialogs.h"
#include "gui/qt_session_views.h"
#include "gui/qt_ui_thread.h"
#include "gui/qt_views.h"

namespace kovo::gui {

bool MakeQtPorts(PluginPorts& ports) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return false;
  ports.ui = std::make_unique<QtUiThread>();
  ports.dialogs = std::make_unique<QtDialogs>();
  ports.views = std::make_unique<QtViewFactory>();
  ports.frame = std::make_unique<QtHostFrame>();
  ports.screens = std::make_unique<QtScreens>();
  return true;
}

}  // namespace kovo::gui
