#include "gui/qt_ports.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QThread>

#include "gui/qt_dialogs.h"
#include "gui/qt_session_views.h"
#include "gui/qt_ui_thread.h"
#include "gui/qt_views.h"

namespace kovo::gui {

namespace {

// The desktop's clipboard.
class QtSystemClipboard final : public Clipboard {
 public:
  void SetText(std::string_view text) override {
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  std::string Text() const override { return QGuiApplication::clipboard()->text().toStdString(); }
};

}  // namespace

bool MakeQtPorts(PluginPorts& ports) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return false;
  ports.ui = std::make_unique<QtUiThread>();
  ports.dialogs = std::make_unique<QtDialogs>();
  ports.views = std::make_unique<QtViewFactory>();
  ports.frame = std::make_unique<QtHostFrame>();
  ports.screens = std::make_unique<QtScreens>();
  ports.clipboard = std::make_unique<QtSystemClipboard>();
  return true;
}

}  // namespace kovo::gui
