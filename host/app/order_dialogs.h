#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSpinBox>
#include <QTableWidget>

#include "host/core/order_books.h"
#include "host/core/order_windows.h"

namespace kovo::terminal {

// The terminal's order entry window over a ticket: the user's fields go into
// the ticket, OK places it and closes, a refusal stays open with its reason.
class COrderEntryDialog final : public QDialog {
 public:
  using LogFn = std::function<void(const std::string& line)>;
  static constexpr const char* kObjectName = "OrderEntryDialog";

  COrderEntryDialog(host::COrderTicket ticket, host::COrderTicket::PlaceFn place,
                    std::unique_ptr<host::CMarketPicture> quote, LogFn log, QWidget* parent);
  ~COrderEntryDialog() override;

  const host::COrderTicket& Ticket() const { return m_ticket; }

 protected:
  void accept() override;

 private:
  void ShowQuote();

  host::COrderTicket m_ticket;
  host::COrderTicket::PlaceFn m_place;
  std::unique_ptr<host::CMarketPicture> m_quote;
  LogFn m_log;
  QPointer<QSpinBox> m_quantity;
  QPointer<QLineEdit> m_price;
  QPointer<QComboBox> m_orderType;
  QPointer<QLineEdit> m_trigger;
  QPointer<QComboBox> m_validity;
  QPointer<QLineEdit> m_product;
  QPointer<QLineEdit> m_account;
  QPointer<QLabel> m_last;
  QPointer<QLabel> m_error;
};

// The terminal's market picture window: the quote and its live last price.
class CMarketPictureDialog final : public QDialog {
 public:
  static constexpr const char* kObjectName = "MarketPictureDialog";

  CMarketPictureDialog(std::unique_ptr<host::CMarketPicture> picture, QWidget* parent);
  ~CMarketPictureDialog() override;

  const host::CMarketPicture& Picture() const { return *m_picture; }

 private:
  void Refresh();

  std::unique_ptr<host::CMarketPicture> m_picture;
  QPointer<QTableWidget> m_table;
};

// The terminal's order book or trade book window for one scrip: redrawn on
// every order update; "All Scrips" shows every row with the scrip's selected.
class CBookDialog final : public QDialog {
 public:
  static constexpr const char* kOrderBookName = "OrderBookDialog";
  static constexpr const char* kTradeBookName = "TradeBookDialog";

  CBookDialog(std::unique_ptr<host::CBookWindow> book, std::shared_ptr<host::COrderStore> store,
              QWidget* parent);
  ~CBookDialog() override;

  const host::CBookWindow& Book() const { return *m_book; }
  QTableWidget* Table() const { return m_table; }

 private:
  void Refresh();

  std::unique_ptr<host::CBookWindow> m_book;
  std::shared_ptr<host::COrderStore> m_store;  // outlives the window's subscription
  int m_subscription = 0;
  QPointer<QTableWidget> m_table;
};

}  // namespace kovo::terminal
