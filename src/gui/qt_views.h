#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include "gui/qt_view.h"
#include "platform/view.h"

class QLineEdit;
class QPushButton;

namespace kovo {
class CBannerWnd;
class CLoginDlg;
}  // namespace kovo

namespace kovo::gui {

// The greeting window: the product's name over the user line.
class QtBannerView final : public QtView {
 public:
  explicit QtBannerView(CBannerWnd& banner);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;

  QString TitleText() const;
  QString UserText() const;

 private:
  CBannerWnd& m_banner;
  QPointer<QLabel> m_title;
  QPointer<QLabel> m_user;
};

// The login dialog: the Zint id and the second field, OK and Cancel. Edits
// and clicks go to the logic; Refresh shows its fields, focus and states.
class QtLoginView final : public QtView {
 public:
  explicit QtLoginView(CLoginDlg& dialog);
  void Refresh() override;
  void Show(bool show, Centre centre = Centre::kNone) override;

 private:
  CLoginDlg& m_dialog;
  QPointer<QLineEdit> m_user;
  QPointer<QLineEdit> m_second;
  QPointer<QPushButton> m_ok;
  QPointer<QPushButton> m_cancel;
  QPointer<QLabel> m_busy;
};

class QtViewFactory final : public ViewFactory {
 public:
  std::unique_ptr<View> CreateBanner(CBannerWnd& banner) override;
  std::unique_ptr<View> CreateLoginDialog(CLoginDlg& dialog) override;
  std::unique_ptr<View> CreateUpdatesDialog(CUpdatesDlg& dialog) override;
  std::unique_ptr<View> CreateBeepAlerts(CBeepAlerts& alerts) override;
  std::unique_ptr<View> CreatePopup(CTaskBarMsgWnd& popup) override;
  // Nothing when the picture cannot be loaded.
  std::unique_ptr<View> CreateSplash(CSplashScreen& splash) override;
  std::unique_ptr<View> CreateChartView(CFChartView& chart) override;
  std::unique_ptr<View> CreateApiOrdersWindow(CApiOrderDetailsDlg& dialog) override;
  std::unique_ptr<View> CreateScriptsView(CScriptsViewDlg& view) override;
  std::unique_ptr<View> CreateMarketMonitor(CZintMktMonitor& monitor) override;
  std::unique_ptr<View> CreateBrokerCalls(CBrokerCalls& calls) override;
  std::unique_ptr<View> CreateNewsWindow(CNews& news) override;
  std::unique_ptr<View> CreateNewsStory(CNewsStory& story) override;
  std::unique_ptr<View> CreateDataTable(CDataTableDlg& table) override;
  std::unique_ptr<View> CreateOiChart(CBarChartDlg& chart) override;
  int RunIndicatorSettings(CFIndicatorSettingDlg& dialog) override;
  int RunChartSettings(CMasterChartSetting& dialog) override;
  std::unique_ptr<View> CreateMarketScanner(CMarketScannerLogic& scanner, bool pane) override;
};

}  // namespace kovo::gui
