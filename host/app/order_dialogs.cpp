#include "host/app/order_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace kovo::terminal {
namespace {

QString ToQt(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
  return text.toUtf8().toStdString();
}

}  // namespace

// ---- order entry -----------------------------------------------------------------

COrderEntryDialog::COrderEntryDialog(host::COrderTicket ticket, host::COrderTicket::PlaceFn place,
                                     std::unique_ptr<host::CMarketPicture> quote, LogFn log,
                                     QWidget* parent)
    : QDialog(parent),
      m_ticket(std::move(ticket)),
      m_place(std::move(place)),
      m_quote(std::move(quote)),
      m_log(std::move(log)) {
  setObjectName(QLatin1String(kObjectName));
  setWindowTitle(ToQt(m_ticket.Title()));
  setAttribute(Qt::WA_DeleteOnClose);
  // Buy and sell windows look apart at a glance, as traders expect.
  setAutoFillBackground(true);
  QPalette look = palette();
  look.setColor(QPalette::Window, m_ticket.IsBuy() ? QColor(206, 224, 255) : QColor(255, 214, 214));
  setPalette(look);

  auto* form = new QFormLayout;
  auto* scrip = new QLabel(ToQt(m_ticket.ScripText()), this);
  scrip->setObjectName(QStringLiteral("Scrip"));
  form->addRow(QStringLiteral("Scrip"), scrip);
  m_last = new QLabel(QStringLiteral("-"), this);
  m_last->setObjectName(QStringLiteral("LastPrice"));
  form->addRow(QStringLiteral("Last Price"), m_last);
  m_quantity = new QSpinBox(this);
  m_quantity->setObjectName(QStringLiteral("Quantity"));
  m_quantity->setRange(1, 10000000);
  m_quantity->setValue(m_ticket.quantity);
  form->addRow(QStringLiteral("Quantity"), m_quantity);
  m_price = new QLineEdit(ToQt(m_ticket.price), this);
  m_price->setObjectName(QStringLiteral("Price"));
  form->addRow(QStringLiteral("Price"), m_price);
  m_orderType = new QComboBox(this);
  m_orderType->setObjectName(QStringLiteral("OrderType"));
  m_orderType->addItem(QStringLiteral("LIMIT"), 1);
  m_orderType->addItem(QStringLiteral("SL"), 3);
  form->addRow(QStringLiteral("Order Type"), m_orderType);
  m_trigger = new QLineEdit(this);
  m_trigger->setObjectName(QStringLiteral("TriggerPrice"));
  m_trigger->setEnabled(false);
  form->addRow(QStringLiteral("Trigger Price"), m_trigger);
  connect(m_orderType, &QComboBox::currentIndexChanged, this,
          [this] { m_trigger->setEnabled(m_orderType->currentData().toInt() == 3); });
  m_validity = new QComboBox(this);
  m_validity->setObjectName(QStringLiteral("Validity"));
  m_validity->addItem(QStringLiteral("DAY"), 1);
  m_validity->addItem(QStringLiteral("IOC"), 5);
  form->addRow(QStringLiteral("Validity"), m_validity);
  m_product = new QLineEdit(ToQt(m_ticket.productType), this);
  m_product->setObjectName(QStringLiteral("Product"));
  form->addRow(QStringLiteral("Product"), m_product);
  m_account = new QLineEdit(this);
  m_account->setObjectName(QStringLiteral("ClientAccount"));
  m_account->setPlaceholderText(QStringLiteral("PRO"));
  form->addRow(QStringLiteral("Client Account"), m_account);

  m_error = new QLabel(this);
  m_error->setObjectName(QStringLiteral("OrderError"));
  m_error->setStyleSheet(QStringLiteral("color: #b00000"));
  m_error->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)
      ->setText(m_ticket.IsBuy() ? QStringLiteral("Buy") : QStringLiteral("Sell"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setMinimumWidth(380);

  // The caption again inside: a side nobody can miss, with or without a window frame.
  auto* heading = new QLabel(ToQt(m_ticket.Title()), this);
  heading->setObjectName(QStringLiteral("OrderHeading"));
  heading->setStyleSheet(m_ticket.IsBuy() ? QStringLiteral("font-weight: bold; color: #0b3d91")
                                          : QStringLiteral("font-weight: bold; color: #9b0000"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addLayout(form);
  layout->addWidget(m_error);
  layout->addWidget(buttons);

  if (m_quote) {
    m_quote->SetListener([this] { ShowQuote(); });
    std::string error;
    if (!m_quote->Start(&error)) m_error->setText(ToQt("No quote: " + error));
  }
}

COrderEntryDialog::~COrderEntryDialog() {
  // The quote's controls go before the widgets its listener writes to.
  if (m_quote) m_quote->SetListener(nullptr);
  m_quote.reset();
}

void COrderEntryDialog::ShowQuote() {
  const host::CMarketPicture::sQuote& quote = m_quote->Quote();
  if (!quote.known || !m_last) return;
  m_last->setText(ToQt(host::PriceText(m_ticket.Scrip(), quote.last)));
  // The first quote fills a price box the user has left empty.
  if (m_price->text().trimmed().isEmpty()) {
    m_ticket.price.clear();
    m_ticket.OfferMarketPrice(quote.last);
    m_price->setText(ToQt(m_ticket.price));
  }
}

void COrderEntryDialog::accept() {
  m_ticket.quantity = m_quantity->value();
  m_ticket.price = FromQt(m_price->text());
  m_ticket.orderType = m_orderType->currentData().toInt();
  m_ticket.triggerPrice = FromQt(m_trigger->text());
  m_ticket.validity = m_validity->currentData().toInt();
  m_ticket.productType = FromQt(m_product->text().trimmed());
  m_ticket.clientAccount = FromQt(m_account->text().trimmed());
  std::string error;
  if (!m_ticket.Submit(m_place, &error)) {
    m_error->setText(ToQt(error));
    if (m_log) m_log("Order entry refused: " + error);
    return;
  }
  if (m_log)
    m_log(std::string(m_ticket.IsBuy() ? "Order entry: BUY " : "Order entry: SELL ") +
          std::to_string(m_ticket.quantity) + " " + m_ticket.ScripText() + " at " + m_ticket.price);
  QDialog::accept();
}

// ---- market picture --------------------------------------------------------------

CMarketPictureDialog::CMarketPictureDialog(std::unique_ptr<host::CMarketPicture> picture,
                                           QWidget* parent)
    : QDialog(parent), m_picture(std::move(picture)) {
  setObjectName(QLatin1String(kObjectName));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(
      QStringLiteral("Market Picture - ") +
      ToQt(std::string(host::ScripDirectory::Text(m_picture->Scrip(), KOVO_SCRIP_TRAD_SYMBOL))));
  m_table = new QTableWidget(0, 2, this);
  m_table->setObjectName(QStringLiteral("MarketPictureTable"));
  m_table->horizontalHeader()->setVisible(false);
  m_table->verticalHeader()->setVisible(false);
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  layout->addWidget(buttons);
  resize(320, 330);
  m_picture->SetListener([this] { Refresh(); });
  std::string error;
  if (!m_picture->Start(&error)) setWindowTitle(windowTitle() + ToQt(" (" + error + ")"));
  Refresh();
}

CMarketPictureDialog::~CMarketPictureDialog() {
  m_picture->SetListener(nullptr);
  m_picture.reset();
}

void CMarketPictureDialog::Refresh() {
  if (!m_table) return;
  const auto lines = m_picture->Lines();
  m_table->setRowCount(static_cast<int>(lines.size()));
  for (size_t i = 0; i < lines.size(); ++i) {
    const int row = static_cast<int>(i);
    for (int column = 0; column < 2; ++column) {
      const QString text = ToQt(column == 0 ? lines[i].first : lines[i].second);
      if (QTableWidgetItem* item = m_table->item(row, column))
        item->setText(text);
      else
        m_table->setItem(row, column, new QTableWidgetItem(text));
    }
  }
}

// ---- order book and trade book --------------------------------------------------

CBookDialog::CBookDialog(std::unique_ptr<host::CBookWindow> book,
                         std::shared_ptr<host::COrderStore> store, QWidget* parent)
    : QDialog(parent), m_book(std::move(book)), m_store(std::move(store)) {
  const bool orders = m_book->WindowKind() == host::CBookWindow::kOrderBook;
  setObjectName(QLatin1String(orders ? kOrderBookName : kTradeBookName));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(ToQt(m_book->Title()));
  QStringList headers;
  for (const std::string& header : m_book->Headers()) headers << ToQt(header);
  m_table = new QTableWidget(0, static_cast<int>(headers.size()), this);
  m_table->setObjectName(QLatin1String(orders ? "OrderBookTable" : "TradeBookTable"));
  m_table->setHorizontalHeaderLabels(headers);
  m_table->verticalHeader()->setVisible(false);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::MultiSelection);
  auto* all = new QCheckBox(QStringLiteral("All Scrips"), this);
  all->setObjectName(QStringLiteral("AllScrips"));
  connect(all, &QCheckBox::toggled, this, [this](bool checked) {
    m_book->SetFiltered(!checked);
    Refresh();
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(all);
  layout->addWidget(m_table);
  layout->addWidget(buttons);
  resize(720, 320);
  m_subscription = m_store->Subscribe([this] { Refresh(); });
  Refresh();
}

CBookDialog::~CBookDialog() {
  m_store->Unsubscribe(m_subscription);
}

void CBookDialog::Refresh() {
  if (!m_table) return;
  const std::vector<host::CBookWindow::sRow> rows = m_book->Rows();
  m_table->clearSelection();
  m_table->setRowCount(static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    const int row = static_cast<int>(i);
    for (size_t c = 0; c < rows[i].cells.size(); ++c) {
      const int column = static_cast<int>(c);
      const QString text = ToQt(rows[i].cells[c]);
      if (QTableWidgetItem* item = m_table->item(row, column))
        item->setText(text);
      else
        m_table->setItem(row, column, new QTableWidgetItem(text));
    }
    // Unfiltered, the scrip's own rows stand out as the selection.
    if (!m_book->Filtered() && rows[i].ofScrip) m_table->selectRow(row);
  }
}

}  // namespace kovo::terminal
