#include "gui/qt_session_views.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QEnterEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include <algorithm>

#include "plugin/beep_alerts.h"
#include "plugin/notification.h"
#include "plugin/updates_dlg.h"

namespace kovo::gui {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The pop-up's colours, 0x00BBGGRR like the logic's.
constexpr uint32_t kFrameDark = 0x7E7E7E;
constexpr uint32_t kFrameLight = 0xFFFFFF;
constexpr uint32_t kTitleFrom = 0x000000;
constexpr uint32_t kTitleTo = 0x646464;
constexpr uint32_t kTitleText = 0xC4E4FF;
constexpr uint32_t kBodyFrom = 0xECB977;
constexpr uint32_t kBodyTo = 0xAB4C24;
QFont PopupFont() {
  // Without Verdana, Qt picks the closest family it has.
  QFont font(QStringLiteral("Verdana"));
  font.setPointSize(7);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

class PopupWidget final : public QWidget {
 public:
  explicit PopupWidget(CTaskBarMsgWnd& popup)
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                             Qt::WindowDoesNotAcceptFocus),
        m_popup(popup) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    // Laid out for the full size and anchored at the top, so a window that is
    // still growing shows its title band first instead of a squeezed picture.
    const int w = width();
    const int h = std::max(height(), m_popup.FullHeight());
    const QRect inner(1, 1, std::max(0, w - 2), std::max(0, h - 2));
    const QRect band(inner.left(), inner.top(), inner.width(), QtPopupView::kTitleBandHeight);
    const QRect body(inner.left(), band.bottom() + 1, inner.width(),
                     std::max(0, inner.bottom() - band.bottom()));

    QLinearGradient title(band.topLeft(), band.topRight());
    title.setColorAt(0, FromColorRef(kTitleFrom));
    title.setColorAt(1, FromColorRef(kTitleTo));
    painter.fillRect(band, title);
    QLinearGradient back(body.topLeft(), body.bottomLeft());
    back.setColorAt(0, FromColorRef(kBodyFrom));
    back.setColorAt(1, FromColorRef(kBodyTo));
    painter.fillRect(body, back);

    // Raised edge: dark on the top and left, light on the bottom and right.
    painter.setPen(FromColorRef(kFrameDark));
    painter.drawLine(0, 0, w - 1, 0);
    painter.drawLine(0, 0, 0, h - 1);
    painter.setPen(FromColorRef(kFrameLight));
    painter.drawLine(w - 1, 0, w - 1, h - 1);
    painter.drawLine(0, h - 1, w - 1, h - 1);

    painter.setFont(PopupFont());
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(FromColorRef(kTitleText));
    painter.drawText(band.adjusted(4, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromLatin1(CTaskBarMsgWnd::kTitle));
    painter.setPen(FromColorRef(CTaskBarMsgWnd::kTextColour));
    // "\r\n" from the logic is one line break here.
    QString text = ToQt(m_popup.Text());
    text.remove(QLatin1Char('\r'));
    painter.drawText(QtPopupView::TextArea(m_popup),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
  }

 private:
  CTaskBarMsgWnd& m_popup;
};

class SplashWidget final : public QWidget {
 public:
  explicit SplashWidget(CSplashScreen& splash)
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
        m_splash(splash) {
    m_picture.load(QString::fromStdString(splash.Picture().string()));
    if (!m_picture.isNull()) setFixedSize(m_picture.size());
    setCursor(Qt::ArrowCursor);
  }
  bool HasPicture() const { return !m_picture.isNull(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (!m_picture.isNull()) painter.drawPixmap(0, 0, m_picture);
  }
  void enterEvent(QEnterEvent* event) override {
    m_splash.pointerOver = true;
    QWidget::enterEvent(event);
  }
  void leaveEvent(QEvent* event) override {
    m_splash.pointerOver = false;
    QWidget::leaveEvent(event);
  }
  void showEvent(QShowEvent* event) override {
    // The pointer may already be there, and then no enter event comes.
    m_splash.pointerOver = frameGeometry().contains(QCursor::pos());
    QWidget::showEvent(event);
  }

 private:
  CSplashScreen& m_splash;
  QPixmap m_picture;
};

}  // namespace

QColor FromColorRef(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

QRect ToQRect(const sRect& rect) {
  return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

sRect FromQRect(const QRect& rect) {
  return sRect{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

sRect QtScreens::ScreenRect() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? FromQRect(screen->geometry()) : sRect{};
}

sRect QtScreens::WorkArea() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? FromQRect(screen->availableGeometry()) : sRect{};
}

QtUpdatesView::QtUpdatesView(CUpdatesDlg& dialog)
    : QtView(new QWidget(nullptr, Qt::Dialog)), m_dialog(dialog) {
  QWidget* widget = Widget();
  widget->setObjectName(QLatin1String(kUpdatesObjectName));
  auto* layout = new QVBoxLayout(widget);
  m_message = new QLabel(widget);
  m_message->setWordWrap(true);
  m_message->setMinimumWidth(320);
  layout->addWidget(m_message);
  auto* buttons = new QHBoxLayout();
  m_runNow = new QPushButton(QStringLiteral("Run Now"), widget);
  m_runOnExit = new QPushButton(QStringLiteral("Run on Exit"), widget);
  m_close = new QPushButton(QStringLiteral("Close"), widget);
  buttons->addStretch();
  for (QPushButton* button : {m_runNow.data(), m_runOnExit.data(), m_close.data()})
    buttons->addWidget(button);
  layout->addLayout(buttons);
  QObject::connect(m_runNow, &QPushButton::clicked, widget, [this] { m_dialog.OnRunNow(); });
  QObject::connect(m_runOnExit, &QPushButton::clicked, widget, [this] { m_dialog.OnRunOnExit(); });
  QObject::connect(m_close, &QPushButton::clicked, widget, [this] { m_dialog.OnClose(); });
  widget->setWindowTitle(ToQt(dialog.Title()));
  Refresh();
}

QPushButton* QtUpdatesView::Button(int id) const {
  if (id == kUpdatesRunNow) return m_runNow;
  if (id == kUpdatesRunOnExit) return m_runOnExit;
  if (id == kUpdatesClose) return m_close;
  return nullptr;
}

void QtUpdatesView::Refresh() {
  if (m_message) m_message->setText(ToQt(m_dialog.message));
  for (int id : {kUpdatesRunNow, kUpdatesRunOnExit, kUpdatesClose}) {
    if (QPushButton* button = Button(id)) button->setEnabled(m_dialog.IsButtonEnabled(id));
  }
}

void QtUpdatesView::Show(bool show, Centre centre) {
  if (show) Refresh();
  QtView::Show(show, centre);
  // The wrapped message settles its height only once shown: centre again.
  if (show && Widget()) CentreWidget(*Widget(), centre);
}

QtBeepAlertsView::QtBeepAlertsView(CBeepAlerts& alerts)
    : QtView(new QWidget(nullptr, Qt::Dialog)), m_alerts(alerts) {
  QWidget* widget = Widget();
  widget->setObjectName(QLatin1String(kBeepAlertsObjectName));
  widget->setWindowTitle(QStringLiteral("Alerts"));
  auto* layout = new QVBoxLayout(widget);
  m_tradingCalls = new QCheckBox(QStringLiteral("Beep for Trading Calls"), widget);
  m_apiOrders = new QCheckBox(QStringLiteral("Zint Api Orders"), widget);
  m_save = new QPushButton(QStringLiteral("Save"), widget);
  layout->addWidget(m_tradingCalls);
  layout->addWidget(m_apiOrders);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(m_save);
  layout->addLayout(buttons);
  // clicked, not toggled: Refresh setting the boxes must not echo back.
  QObject::connect(m_tradingCalls, &QCheckBox::clicked, widget,
                   [this](bool on) { m_alerts.SetChecked(kBeepTradingCalls, on); });
  QObject::connect(m_apiOrders, &QCheckBox::clicked, widget,
                   [this](bool on) { m_alerts.SetChecked(kBeepApiOrders, on); });
  QObject::connect(m_save, &QPushButton::clicked, widget, [this] { m_alerts.Save(); });
  Refresh();
}

QCheckBox* QtBeepAlertsView::CheckBox(int id) const {
  if (id == kBeepTradingCalls) return m_tradingCalls;
  if (id == kBeepApiOrders) return m_apiOrders;
  return nullptr;
}

void QtBeepAlertsView::Refresh() {
  for (int id : {kBeepTradingCalls, kBeepApiOrders}) {
    if (QCheckBox* box = CheckBox(id)) box->setChecked(m_alerts.IsChecked(id));
  }
}

QRect QtPopupView::TextArea(const CTaskBarMsgWnd& popup) {
  return ToQRect(popup.TextRect());
}

QtPopupView::QtPopupView(CTaskBarMsgWnd& popup) : QtView(new PopupWidget(popup)) {
  QWidget* widget = Widget();
  widget->setObjectName(QLatin1String(kPopupObjectName));
  widget->setWindowTitle(QString::fromLatin1(CTaskBarMsgWnd::kTitle));
  widget->setAttribute(Qt::WA_ShowWithoutActivating);
  widget->setFocusPolicy(Qt::NoFocus);
  widget->setCursor(Qt::BusyCursor);
  widget->setProperty(kPopupFullHeightProperty, popup.FullHeight());
  widget->setFont(PopupFont());
  widget->resize(popup.FullWidth(), 0);
}

void QtPopupView::Refresh() {
  if (QWidget* widget = Widget()) widget->update();
}

void QtPopupView::Show(bool show, Centre centre) {
  QWidget* widget = Widget();
  if (!widget) return;
  (void)centre;  // the logic places the pop-up itself
  if (show) {
    widget->show();
    widget->raise();  // on top, but never the active window
  } else {
    widget->hide();
  }
}

void QtPopupView::BringToFront() {
  if (QWidget* widget = Widget()) widget->raise();
}

void QtPopupView::SetGeometry(const sRect& rect) {
  if (QWidget* widget = Widget()) widget->setGeometry(ToQRect(rect));
}

QtSplashView::QtSplashView(CSplashScreen& splash)
    : QtView(new SplashWidget(splash)), m_splash(splash) {
  Widget()->setObjectName(QLatin1String(kSplashObjectName));
}

bool QtSplashView::HasPicture() const {
  auto* widget = static_cast<SplashWidget*>(Widget());
  return widget && widget->HasPicture();
}

void QtSplashView::Refresh() {
  if (QWidget* widget = Widget()) widget->update();
}

void QtSplashView::Show(bool show, Centre centre) {
  (void)centre;  // always the screen's middle
  QtView::Show(show, show ? Centre::kScreen : Centre::kNone);
  if (!show) m_splash.pointerOver = false;
}

class QtTrayIcon::Watcher final : public QObject {
 public:
  explicit Watcher(QtTrayIcon& owner) : m_owner(owner) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    QSystemTrayIcon* icon = m_owner.m_icon;
    if (icon && watched == m_owner.m_dialog) {
      switch (event->type()) {
        case QEvent::Show:
          icon->show();
          break;
        case QEvent::WindowStateChange: {
          auto* widget = static_cast<QWidget*>(watched);
          if (widget->isMinimized() && m_owner.m_minimizeToTray && m_owner.IconShown())
            widget->hide();  // the icon brings it back
          break;
        }
        default:
          break;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QtTrayIcon& m_owner;
};

QtTrayIcon::QtTrayIcon(QtView& dialog, const QIcon& icon, const QString& tip, Handlers handlers)
    : m_dialog(dialog.Widget()) {
  if (!m_dialog) return;
  // Parented to the dialog, the icon goes when the dialog's window does.
  m_icon = new QSystemTrayIcon(icon, m_dialog);
  m_icon->setToolTip(tip);
  QObject::connect(m_icon, &QSystemTrayIcon::activated, m_icon,
                   [handlers = std::move(handlers)](QSystemTrayIcon::ActivationReason reason) {
                     const QPoint at = QCursor::pos();
                     const auto call = [&at](const std::function<void(const QPoint&)>& fn) {
                       if (fn) fn(at);
                     };
                     if (reason == QSystemTrayIcon::Trigger) call(handlers.leftClick);
                     if (reason == QSystemTrayIcon::DoubleClick) call(handlers.doubleClick);
                     if (reason == QSystemTrayIcon::Context) call(handlers.rightClick);
                   });
  m_watcher = new Watcher(*this);
  m_dialog->installEventFilter(m_watcher);
  if (m_dialog->isVisible()) m_icon->show();
}

QtTrayIcon::~QtTrayIcon() {
  if (m_dialog && m_watcher) m_dialog->removeEventFilter(m_watcher);
  delete m_watcher;
  delete m_icon.data();
}

void QtTrayIcon::SetMinimizeToTray(bool on) {
  m_minimizeToTray = on;
}

bool QtTrayIcon::IconShown() const {
  return m_icon && m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace kovo::gui
