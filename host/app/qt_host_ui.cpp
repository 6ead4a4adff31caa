#include "host/app/qt_host_ui.h"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "gui/qt_dialogs.h"
#include "host/app/order_dialogs.h"

namespace kovo::terminal {
namespace {

std::string Fixed(const char* text, size_t cap) {
  return std::string(text, strnlen(text, cap));
}

const char* DialogName(int32_t kind) {
  switch (kind) {
    case 2:
      return "Order Book";
    case 3:
      return "Trade Book";
    case 4:
      return "Order Entry";
    case 8:
      return "Market Picture";
    default:
      return "Unknown window";
  }
}

}  // namespace

CQtHostUi::CQtHostUi(LogFn log, bool autoAnswer)
    : m_log(std::move(log)), m_autoAnswer(autoAnswer) {}

bool CQtHostUi::CanShow() const {
  return !m_autoAnswer && !gui::DialogsCannotBeShown();
}

int CQtHostUi::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  if (m_log) m_log("Message box \"" + std::string(caption) + "\": " + std::string(text));
  if (!CanShow()) return gui::QtDialogs::DefaultAnswer(style);
  return gui::QtDialogs().MessageBox(text, caption, style);
}

void CQtHostUi::OrderEntryOpened(const sOrderEntryInfo& order, std::string tagOrSource,
                                 int32_t transactionType, std::string kind) {
  const std::string line =
      "Order entry (" + kind + ") " + (transactionType == KOVO_TXN_SELL ? "SELL " : "BUY ") +
      std::to_string(order.quantity) + " " + Fixed(order.scripKey, sizeof order.scripKey) + " at " +
      std::to_string(order.price) + " [" + tagOrSource + "]";
  if (m_log) m_log(line);
  if (!CanShow()) return;
  // Not modal: the plug-in's call returns while the user looks at it.
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Order Entry"),
                              QString::fromStdString(line), QMessageBox::Ok, m_parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void CQtHostUi::DialogInvoked(int32_t kind, std::string scrip, std::string text1,
                              std::string text2) {
  if (m_log)
    m_log(std::string(DialogName(kind)) + " requested for \"" + scrip + "\" (" + text1 + ", " +
          text2 + ")");
  // Only a program with widgets can show them; the windows never block.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  if (kind == 4) OpenOrderEntry(scrip, text1);
  if (kind == 8) OpenMarketPicture(scrip);
  if (kind == 2 || kind == 3) OpenBook(kind, scrip);
}

void CQtHostUi::OpenBook(int32_t kind, const std::string& scrip) {
  if (!m_services.scrips || !m_services.orders) return;
  auto book = std::make_unique<host::CBookWindow>(
      *m_services.orders, *m_services.scrips,
      kind == 2 ? host::CBookWindow::kOrderBook : host::CBookWindow::kTradeBook);
  std::string error;
  if (!book->Open(scrip, &error)) {
    if (m_log) m_log(std::string(DialogName(kind)) + " not opened: " + error);
    return;
  }
  Keep(new CBookDialog(std::move(book), m_services.orders, m_parent));
}

void CQtHostUi::OpenOrderEntry(const std::string& scrip, const std::string& side) {
  if (!m_services.scrips) return;
  host::COrderTicket ticket;
  std::string error;
  if (!ticket.Open(*m_services.scrips, scrip, side, &error)) {
    if (m_log) m_log("Order entry not opened: " + error);
    return;
  }
  std::unique_ptr<host::CMarketPicture> quote;
  if (m_services.getControl)
    quote = std::make_unique<host::CMarketPicture>(ticket.Scrip(), m_services.getControl,
                                                   m_services.destroyControl);
  auto* dialog =
      new COrderEntryDialog(std::move(ticket), m_services.place, std::move(quote), m_log, m_parent);
  Keep(dialog);
}

void CQtHostUi::OpenMarketPicture(const std::string& scrip) {
  if (!m_services.scrips) return;
  const std::optional<sScripDetails> found = host::ResolveScrip(*m_services.scrips, scrip);
  if (!found) {
    if (m_log) m_log("Market picture not opened: unknown scrip \"" + scrip + "\"");
    return;
  }
  auto picture = std::make_unique<host::CMarketPicture>(*found, m_services.getControl,
                                                        m_services.destroyControl);
  Keep(new CMarketPictureDialog(std::move(picture), m_parent));
}

void CQtHostUi::Keep(QDialog* dialog) {
  // A window of its own beside the main window, not a sheet over it.
  dialog->setWindowFlag(Qt::Window);
  dialog->setModal(false);
  dialog->show();
  dialog->raise();
  m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), nullptr), m_windows.end());
  m_windows.emplace_back(dialog);
}

std::vector<QDialog*> CQtHostUi::OpenWindows() const {
  std::vector<QDialog*> open;
  for (const QPointer<QDialog>& window : m_windows)
    if (window) open.push_back(window.data());
  return open;
}

void CQtHostUi::CloseWindows() {
  for (const QPointer<QDialog>& window : m_windows) delete window.data();
  m_windows.clear();
}

}  // namespace kovo::terminal
