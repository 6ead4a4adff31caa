#include "host/app/qt_host_ui.h"

#include <QMessageBox>

#include <cstring>

#include "gui/qt_dialogs.h"

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
}

}  // namespace kovo::terminal
