#include "plugin/beep_alerts.h"

#include "plugin/control_block.h"

namespace kovo {
namespace {

constexpr const char* kSettingsFile = "zintsettings.ini";

}  // namespace

CBeepAlerts::~CBeepAlerts() {
  DestroyWindow();
}

bool CBeepAlerts::Create() {
  if (m_view) return true;
  m_view = m_cb.Views().CreateBeepAlerts(*this);
  if (!m_view) return false;
  m_view->SetTitle("Alerts");
  const auto read = [&](const char* section) {
    std::string value;
    m_cb.Settings().Read(section, "BEEP_ALERT", value, kSettingsFile,
                         SettingsLocation::kUserFolder);
    return value == "1";
  };
  m_tradingCalls = read("TRADING_CALLS");
  m_apiOrders = read("ZINT_API_ORDERS");
  m_hasWindow = true;
  m_view->Refresh();
  return true;
}

void CBeepAlerts::Show() {
  if (!m_view) return;
  m_view->Show(true, View::Centre::kHostWindow);
  m_view->BringToFront();
}

bool CBeepAlerts::IsChecked(int id) const {
  if (id == kBeepTradingCalls) return m_tradingCalls;
  if (id == kBeepApiOrders) return m_apiOrders;
  return false;
}

void CBeepAlerts::SetChecked(int id, bool checked) {
  if (id == kBeepTradingCalls) m_tradingCalls = checked;
  if (id == kBeepApiOrders) m_apiOrders = checked;
  if (m_view) m_view->Refresh();
}

void CBeepAlerts::Save() {
  // One rewrite of the file for both switches: this runs on every exit.
  const ini::sIniEntry entries[] = {
      {"TRADING_CALLS", "BEEP_ALERT", m_tradingCalls.load() ? "1" : "0"},
      {"ZINT_API_ORDERS", "BEEP_ALERT", m_apiOrders.load() ? "1" : "0"}};
  if (!m_cb.Settings().WriteBatch(entries, kSettingsFile, SettingsLocation::kUserFolder)) {
    m_cb.MessageBox("Error while writing Beep Alerts for Trading calls to file");
    m_cb.MessageBox("Error while writing Beep Alerts for Zint api orders to file");
  }
}

bool CBeepAlerts::IsBeepOn(std::string_view category) const {
  if (!m_hasWindow) return false;
  return category == "Zint Api Orders" ? m_apiOrders.load() : m_tradingCalls.load();
}

void CBeepAlerts::DestroyWindow() {
  if (!m_view) return;
  Save();
  m_hasWindow = false;
  m_view.reset();
}

}  // namespace kovo
