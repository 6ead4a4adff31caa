#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "host/core/host_ui.h"
#include "host/core/order_books.h"
#include "host/core/order_windows.h"

namespace kovo::terminal {

// The terminal's own message boxes and order-entry windows. Every box and
// request is written to the log too; with autoAnswer (or without a screen)
// a box answers its first button without showing.
class CQtHostUi final : public host::HostUi {
 public:
  using LogFn = std::function<void(const std::string& line)>;

  // What the order entry and market picture windows work with.
  struct OrderServices {
    const host::ScripDirectory* scrips = nullptr;
    host::COrderTicket::PlaceFn place;
    host::CMarketPicture::GetControlFn getControl = nullptr;
    host::CMarketPicture::DestroyControlFn destroyControl = nullptr;
    std::shared_ptr<host::COrderStore> orders;  // the order and trade books read it
  };

  CQtHostUi(LogFn log, bool autoAnswer);
  void SetParent(QWidget* parent) { m_parent = parent; }
  void SetOrderServices(OrderServices services) { m_services = std::move(services); }
  // The order entry and market picture windows open now (never modal).
  std::vector<QDialog*> OpenWindows() const;
  // Closes them, before the back-end session they watch goes.
  void CloseWindows();

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void OrderEntryOpened(const sOrderEntryInfo& order, std::string tagOrSource,
                        int32_t transactionType, std::string kind) override;
  void DialogInvoked(int32_t kind, std::string scrip, std::string text1,
                     std::string text2) override;

 private:
  bool CanShow() const;
  void OpenOrderEntry(const std::string& scrip, const std::string& side);
  void OpenMarketPicture(const std::string& scrip);
  void OpenBook(int32_t kind, const std::string& scrip);
  void Keep(QDialog* dialog);

  LogFn m_log;
  bool m_autoAnswer;
  QPointer<QWidget> m_parent;
  OrderServices m_services;
  std::vector<QPointer<QDialog>> m_windows;
};

}  // namespace kovo::terminal
