#include "gui/qt_view.h"

#include <QApplication>
#include <QDockWidget>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>

namespace kovo::gui {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// An id without its trailing number; empty for an id that ends in none.
QString TabGroup(const QString& id) {
  qsizetype end = id.size();
  while (end > 0 && id[end - 1].isDigit()) --end;
  return end == id.size() ? QString() : id.left(end);
}

Qt::DockWidgetArea AreaOf(DockSide side) {
  switch (side) {
    case DockSide::kLeft:
      return Qt::LeftDockWidgetArea;
    case DockSide::kTop:
      return Qt::TopDockWidgetArea;
    case DockSide::kBottom:
      return Qt::BottomDockWidgetArea;
    case DockSide::kRight:
      break;
  }
  return Qt::RightDockWidgetArea;
}

DockSide SideOf(Qt::DockWidgetArea area) {
  switch (area) {
    case Qt::LeftDockWidgetArea:
      return DockSide::kLeft;
    case Qt::TopDockWidgetArea:
      return DockSide::kTop;
    case Qt::BottomDockWidgetArea:
      return DockSide::kBottom;
    default:
      return DockSide::kRight;
  }
}

}  // namespace

QMainWindow* FindHostMainWindow() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  QMainWindow* first = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<QMainWindow*>(widget);
    if (!window) continue;
    if (window->objectName() == QLatin1String(kHostMainWindowName)) return window;
    if (!first) first = window;
  }
  return first;
}

void CentreWidget(QWidget& widget, View::Centre centre) {
  if (centre == View::Centre::kNone) return;
  widget.adjustSize();
  QRect area;
  if (centre == View::Centre::kHostWindow) {
    if (QMainWindow* main = FindHostMainWindow(); main && main->isVisible())
      area = main->frameGeometry();
  }
  if (area.isEmpty()) {
    QScreen* screen = widget.screen() ? widget.screen() : QGuiApplication::primaryScreen();
    if (screen) area = screen->availableGeometry();
  }
  if (area.isEmpty()) return;
  QRect frame = widget.frameGeometry();
  frame.moveCenter(area.center());
  widget.move(frame.topLeft());
}

QtView::QtView(QWidget* widget) : m_widget(widget) {}

QtView::~QtView() {
  // A frame may still hold the widget; deleting it takes it out of there too.
  delete m_widget.data();
}

void QtView::Show(bool show, Centre centre) {
  if (!m_widget) return;
  if (show && m_widget->isWindow()) CentreWidget(*m_widget, centre);
  m_widget->setVisible(show);
}

bool QtView::IsVisible() const {
  return m_widget && m_widget->isVisible();
}

void QtView::BringToFront() {
  if (!m_widget) return;
  QWidget* window = m_widget->window();
  window->raise();
  window->activateWindow();
}

void QtView::SetTitle(std::string_view title) {
  if (m_widget) m_widget->setWindowTitle(ToQt(title));
}

QtHostFrame::QtHostFrame(QMainWindow* mainWindow) : m_mainWindow(mainWindow) {}

QtHostFrame::~QtHostFrame() {
  for (auto& [id, dock] : m_docks) {
    if (!dock) continue;
    // The views belong to their owners: hand the widgets back before the dock goes.
    if (QWidget* widget = dock->widget()) {
      widget->hide();
      widget->setParent(nullptr);
    }
    delete dock.data();
  }
}

QMainWindow* QtHostFrame::MainWindow() {
  if (!m_mainWindow) m_mainWindow = FindHostMainWindow();
  return m_mainWindow;
}

QDockWidget* QtHostFrame::Dock(std::string_view id) const {
  auto it = m_docks.find(id);
  return it == m_docks.end() ? nullptr : it->second.data();
}

bool QtHostFrame::AddPane(std::string_view id, std::string_view title, View& view) {
  auto* qtView = dynamic_cast<QtView*>(&view);
  QMainWindow* main = MainWindow();
  if (!qtView || !qtView->Widget() || !main || id.empty() || Dock(id)) return false;
  auto* dock = new QDockWidget(ToQt(title), main);
  dock->setObjectName(ToQt(id));
  dock->setWidget(qtView->Widget());
  // The pane's caption follows the titles its window sets later.
  QObject::connect(qtView->Widget(), &QWidget::windowTitleChanged, dock,
                   [dock](const QString& text) { dock->setWindowTitle(text); });
  dock->setAllowedAreas(Qt::AllDockWidgetAreas);
  main->addDockWidget(Qt::RightDockWidgetArea, dock);
  // Panes named alike but for a trailing number (the charts) share one tab
  // stack rather than each taking a slice of the side.
  if (const QString group = TabGroup(ToQt(id)); !group.isEmpty()) {
    for (const auto& [otherId, other] : m_docks) {
      if (other && other != dock && !other->isFloating() && !other->isHidden() &&
          TabGroup(other->objectName()) == group &&
          main->dockWidgetArea(other) == Qt::RightDockWidgetArea) {
        main->tabifyDockWidget(other, dock);
        break;
      }
    }
  }
  m_docks[std::string(id)] = dock;
  return true;
}

void QtHostFrame::ShowPane(std::string_view id, bool show) {
  QDockWidget* dock = Dock(id);
  if (!dock) return;
  dock->setVisible(show);
  if (show) dock->raise();
}

bool QtHostFrame::IsFloating(std::string_view id) const {
  const QDockWidget* dock = Dock(id);
  return dock && dock->isFloating();
}

void QtHostFrame::DockPane(std::string_view id) {
  if (QDockWidget* dock = Dock(id)) dock->setFloating(false);
}

void QtHostFrame::RemovePane(std::string_view id) {
  auto it = m_docks.find(id);
  if (it == m_docks.end()) return;
  QPointer<QDockWidget> dock = it->second;
  m_docks.erase(it);
  if (!dock) return;
  if (QWidget* widget = dock->widget()) {
    widget->hide();
    widget->setParent(nullptr);
  }
  if (m_mainWindow) m_mainWindow->removeDockWidget(dock);
  delete dock.data();
}

bool QtHostFrame::GetPaneState(std::string_view id, sPaneState& state) const {
  const QDockWidget* dock = Dock(id);
  if (!dock) return false;
  state.visible = !dock->isHidden();
  state.floating = dock->isFloating();
  state.side = m_mainWindow ? SideOf(m_mainWindow->dockWidgetArea(const_cast<QDockWidget*>(dock)))
                            : DockSide::kRight;
  const QRect frame = dock->isFloating() ? dock->geometry() : QRect();
  state.rect = {frame.left(), frame.top(), frame.left() + frame.width(),
                frame.top() + frame.height()};
  return true;
}

void QtHostFrame::SetPaneState(std::string_view id, const sPaneState& state) {
  QDockWidget* dock = Dock(id);
  QMainWindow* main = MainWindow();
  if (!dock || !main) return;
  if (state.floating) {
    dock->setFloating(true);
    dock->setGeometry(state.rect.left, state.rect.top, state.rect.Width(), state.rect.Height());
  } else {
    dock->setFloating(false);
    // Adding a docked pane again moves it to the side.
    main->addDockWidget(AreaOf(state.side), dock);
  }
  dock->setVisible(state.visible);
}

void QtHostFrame::RecalcLayout() {
  QMainWindow* main = MainWindow();
  if (main && main->layout()) main->layout()->activate();
}

}  // namespace kovo::gui
