#include "gui/qt_views.h"

#include "gui/charts/chart_pane_view.h"
#include "gui/charts/chart_setting_view.h"
#include "gui/charts/data_table_view.h"
#include "gui/charts/indicator_setting_view.h"
#include "gui/charts/oi_chart_view.h"
#include "gui/market/calls_views.h"
#include "gui/market/market_monitor_view.h"
#include "gui/market/market_views.h"
#include "gui/orders/orders_views.h"
#include "gui/qt_session_views.h"

#include <QApplication>
#include <QDockWidget>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/dialogs.h"
#include "plugin/banner_wnd.h"
#include "plugin/login_dlg.h"

namespace kovo::gui {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtBannerView::QtBannerView(CBannerWnd& banner)
    : QtView(new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)), m_banner(banner) {
  QWidget* widget = Widget();
  widget->setObjectName(QStringLiteral("KovoZintBanner"));
  auto* layout = new QVBoxLayout(widget);
  layout->setContentsMargins(24, 16, 24, 16);
  m_title = new QLabel(widget);
  QFont big = m_title->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  m_title->setFont(big);
  m_title->setAlignment(Qt::AlignCenter);
  m_user = new QLabel(widget);
  m_user->setAlignment(Qt::AlignCenter);
  layout->addWidget(m_title);
  layout->addWidget(m_user);
  Refresh();
}

void QtBannerView::Refresh() {
  if (m_title) m_title->setText(ToQt(m_banner.Title()));
  if (m_user) m_user->setText(ToQt(m_banner.UserLine()));
}

void QtBannerView::Show(bool show, Centre centre) {
  if (show) Refresh();
  QtView::Show(show, centre);
}

QString QtBannerView::TitleText() const {
  return m_title ? m_title->text() : QString();
}

QString QtBannerView::UserText() const {
  return m_user ? m_user->text() : QString();
}

QtLoginView::QtLoginView(CLoginDlg& dialog)
    : QtView(new QWidget(nullptr, Qt::Dialog)), m_dialog(dialog) {
  QWidget* widget = Widget();
  widget->setObjectName(QStringLiteral("KovoZintLogin"));
  widget->setWindowTitle(QStringLiteral("Kovo Zint Login"));
  auto* layout = new QVBoxLayout(widget);
  auto* form = new QFormLayout();
  m_user = new QLineEdit(widget);
  m_second = new QLineEdit(widget);
  form->addRow(QStringLiteral("Zint ID"), m_user);
  form->addRow(QStringLiteral("Password"), m_second);
  m_second->setEchoMode(QLineEdit::Password);
  layout->addLayout(form);
  m_busy = new QLabel(QStringLiteral("Logging in..."), widget);
  layout->addWidget(m_busy);
  auto* buttons = new QHBoxLayout();
  m_ok = new QPushButton(QStringLiteral("OK"), widget);
  m_ok->setDefault(true);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), widget);
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancel);
  layout->addLayout(buttons);

  // Only the user's own edits go to the logic; Refresh writing the fields back must not echo.
  QObject::connect(m_user, &QLineEdit::textEdited, widget, [this](const QString& text) {
    m_dialog.SetField(kLoginUserField, text.toStdString());
  });
  QObject::connect(m_second, &QLineEdit::textEdited, widget, [this](const QString& text) {
    m_dialog.SetField(kLoginSecondField, text.toStdString());
  });
  QObject::connect(m_ok, &QPushButton::clicked, widget, [this] { m_dialog.OnOk(); });
  QObject::connect(m_cancel, &QPushButton::clicked, widget, [this] { m_dialog.OnCancel(); });
  Refresh();
}

void QtLoginView::Refresh() {
  const auto sync = [this](QLineEdit* edit, int id, const std::string& text) {
    if (!edit) return;
    if (edit->text() != ToQt(text)) edit->setText(ToQt(text));
    edit->setVisible(m_dialog.IsControlVisible(id));
    edit->setEnabled(m_dialog.IsControlEnabled(id));
  };
  sync(m_user, kLoginUserField, m_dialog.UserField());
  sync(m_second, kLoginSecondField, m_dialog.SecondField());
  if (m_ok) m_ok->setEnabled(m_dialog.IsControlEnabled(kLoginOk));
  if (m_cancel) m_cancel->setEnabled(m_dialog.IsControlEnabled(kLoginCancel));
  if (m_busy) m_busy->setVisible(m_dialog.Busy());
  QLineEdit* focus = m_dialog.FocusedControl() == kLoginSecondField ? m_second : m_user;
  if (focus && Widget() && Widget()->isVisible()) focus->setFocus();
}

void QtLoginView::Show(bool show, Centre centre) {
  if (show) Refresh();
  QtView::Show(show, centre);
}

std::unique_ptr<View> QtViewFactory::CreateLoginDialog(CLoginDlg& dialog) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtLoginView>(dialog);
}

std::unique_ptr<View> QtViewFactory::CreateBanner(CBannerWnd& banner) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtBannerView>(banner);
}

std::unique_ptr<View> QtViewFactory::CreateUpdatesDialog(CUpdatesDlg& dialog) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtUpdatesView>(dialog);
}

std::unique_ptr<View> QtViewFactory::CreateBeepAlerts(CBeepAlerts& alerts) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtBeepAlertsView>(alerts);
}

std::unique_ptr<View> QtViewFactory::CreatePopup(CTaskBarMsgWnd& popup) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtPopupView>(popup);
}

std::unique_ptr<View> QtViewFactory::CreateChartView(CFChartView& chart) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtChartPaneView>(chart);
}

int QtViewFactory::RunIndicatorSettings(CFIndicatorSettingDlg& dialog) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
  CFIndicatorSettingView view(dialog, QApplication::activeWindow());
  return view.exec() == QDialog::Accepted ? kIdOk : kIdCancel;
}

std::unique_ptr<View> QtViewFactory::CreateDataTable(CDataTableDlg& table) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtDataTableView>(table);
}

std::unique_ptr<View> QtViewFactory::CreateOiChart(CBarChartDlg& chart) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtOiChartView>(chart);
}

int QtViewFactory::RunChartSettings(CMasterChartSetting& dialog) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
  CMasterChartSettingView view(dialog, QApplication::activeWindow());
  return view.exec() == QDialog::Accepted ? kIdOk : kIdCancel;
}

std::unique_ptr<View> QtViewFactory::CreateApiOrdersWindow(CApiOrderDetailsDlg& dialog) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtApiOrdersView>(dialog);
}

std::unique_ptr<View> QtViewFactory::CreateScriptsView(CScriptsViewDlg& view) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtScriptsView>(view);
}

std::unique_ptr<View> QtViewFactory::CreateMarketScanner(CMarketScannerLogic& scanner, bool pane) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtMarketScannerView>(scanner, pane);
}

std::unique_ptr<View> QtViewFactory::CreateMarketMonitor(CZintMktMonitor& monitor) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtMarketMonitorView>(monitor);
}

std::unique_ptr<View> QtViewFactory::CreateBrokerCalls(CBrokerCalls& calls) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtBrokerCallsView>(calls);
}

std::unique_ptr<View> QtViewFactory::CreateNewsWindow(CNews& news) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtNewsView>(news);
}

std::unique_ptr<View> QtViewFactory::CreateNewsStory(CNewsStory& story) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<QtNewsStoryView>(story);
}

std::unique_ptr<View> QtViewFactory::CreateSplash(CSplashScreen& splash) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  auto view = std::make_unique<QtSplashView>(splash);
  if (!view->HasPicture()) return nullptr;
  return view;
}
}  // namespace kovo::gui
