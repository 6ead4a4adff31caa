#include "gui/market/market_views.h"

#include <algorithm>

#include <QCursor>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "market/kovo_market_scanner.h"

namespace kovo::gui {
namespace {

QString CssColor(uint32_t colorRef) {
  // COLORREF is 0x00BBGGRR.
  return QStringLiteral("rgb(%1,%2,%3)")
      .arg(colorRef & 0xFF)
      .arg((colorRef >> 8) & 0xFF)
      .arg((colorRef >> 16) & 0xFF);
}

QLabel* BlueLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font(CMarketScannerLogic::kLabelFont);
  font.setPointSize(8);
  font.setBold(true);
  label->setFont(font);
  label->setStyleSheet(QStringLiteral("color: rgb(0,0,255);"));
  return label;
}

constexpr double kPriceStep = 0.05;

// Tells the logic when its window is closed, so the refresh timer stops.
class CloseWatcher final : public QObject {
 public:
  CloseWatcher(QWidget* window, CMarketScannerLogic& scanner)
      : QObject(window), m_scanner(scanner) {
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close && watched == parent()) m_scanner.OnClose();
    return false;
  }

 private:
  CMarketScannerLogic& m_scanner;
};

}  // namespace

QtPriceEdit::QtPriceEdit(QWidget* parent) : QLineEdit(parent) {
  setValidator(new QRegularExpressionValidator(QRegularExpression("^[0-9]*\\.?[0-9]{0,2}$"), this));
  setFixedWidth(70);
}

void QtPriceEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Up && event->key() != Qt::Key_Down) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  const double step = event->key() == Qt::Key_Up ? kPriceStep : -kPriceStep;
  const double value = std::max(0.0, text().toDouble() + step);
  setText(QString::number(value, 'f', 2));
  emit textEdited(text());
}

QtMarketScannerView::QtMarketScannerView(CMarketScannerLogic& scanner, bool pane)
    : QtView(new QWidget), m_scanner(scanner) {
  QWidget* window = Widget();
  if (!pane) window->setWindowFlag(Qt::Window);
  window->setAutoFillBackground(true);
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, Qt::white);
  window->setPalette(palette);
  window->setMinimumSize(360, 200);
  window->resize(460, 420);
  new CloseWatcher(window, scanner);

  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(4, 4, 4, 4);
  // Two rows, so the strip fits a pane of a third of the screen.
  m_strip = new QWidget(window);
  auto* rows = new QVBoxLayout(m_strip);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(2);
  auto* first = new QHBoxLayout;
  auto* second = new QHBoxLayout;
  rows->addLayout(first);
  rows->addLayout(second);
  m_exchange = new QComboBox(m_strip);
  first->addWidget(m_exchange);
  first->addWidget(BlueLabel(QStringLiteral("Scrips"), m_strip));
  m_count = new QLineEdit(m_strip);
  m_count->setValidator(
      new QRegularExpressionValidator(QRegularExpression("^[0-9]{0,4}$"), m_count));
  m_count->setFixedWidth(44);
  first->addWidget(m_count);
  m_autoRefresh = new QCheckBox(m_strip);
  m_autoRefresh->setStyleSheet(QStringLiteral("background: white;"));
  first->addWidget(m_autoRefresh);
  first->addStretch();
  second->addWidget(BlueLabel(QStringLiteral(">"), m_strip));
  m_lower = new QtPriceEdit(m_strip);
  second->addWidget(m_lower);
  second->addWidget(BlueLabel(QStringLiteral("<"), m_strip));
  m_upper = new QtPriceEdit(m_strip);
  second->addWidget(m_upper);
  second->addStretch();
  layout->addWidget(m_strip);

  m_list = new QtListView(scanner.List(), window);
  m_list->setStyleSheet(QStringLiteral("background: white;"));
  layout->addWidget(m_list, 1);

  auto* buttons = new QHBoxLayout;
  for (int i = 0; i < 4; ++i) {
    m_buttons[static_cast<size_t>(i)] =
        new QPushButton(QString::fromUtf8(CMarketScannerLogic::kCategoryTexts[i]), window);
    buttons->addWidget(m_buttons[static_cast<size_t>(i)]);
    const int id = scanner.Ids().categoryFirst + i;
    QObject::connect(m_buttons[static_cast<size_t>(i)], &QPushButton::clicked, window,
                     [this, id] { m_scanner.OnCategoryClick(id); });
  }
  layout->addLayout(buttons);

  QObject::connect(m_exchange, &QComboBox::currentIndexChanged, window, [this](int index) {
    if (!m_refreshing) m_scanner.SelectExchange(index);
  });
  QObject::connect(m_count, &QLineEdit::textEdited, window, [this](const QString& text) {
    m_scanner.OnRecordCountChange(text.toStdString());
  });
  QObject::connect(m_lower, &QLineEdit::textChanged, window, [this](const QString& text) {
    if (!m_refreshing) m_scanner.SetLowerPrice(text.toStdString());
  });
  QObject::connect(m_upper, &QLineEdit::textChanged, window, [this](const QString& text) {
    if (!m_refreshing) m_scanner.SetUpperPrice(text.toStdString());
  });
  QObject::connect(m_autoRefresh, &QCheckBox::clicked, window,
                   [this](bool checked) { m_scanner.OnAutoRefreshClick(checked); });
  QObject::connect(m_list, &QTableView::doubleClicked, window,
                   [this] { m_scanner.OnListDoubleClick(); });
  scanner.List().SetNotify([this](ListNotice notice, int) {
    if (notice != ListNotice::kRightClick || !m_list) return;
    TakeSelection();
    m_scanner.SetListFocus(m_list->hasFocus());
    const std::vector<sMenuItem> items = m_scanner.ContextMenu();
    if (items.empty()) return;
    PopupMenu(m_list, items, QCursor::pos(), [this](int id) {
      TakeSelection();
      m_scanner.OnCommand(id);
    });
  });
  Refresh();
}

void QtMarketScannerView::TakeSelection() {
  if (!m_list) return;
  std::vector<int> rows;
  for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
    rows.push_back(index.row());
  if (rows.empty()) {
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes()) {
      if (std::find(rows.begin(), rows.end(), index.row()) == rows.end())
        rows.push_back(index.row());
    }
  }
  m_scanner.List().SetSelection(std::move(rows));
}

void QtMarketScannerView::Refresh() {
  m_refreshing = true;
  if (m_exchange) {
    QStringList names;
    for (const std::string& name : m_scanner.Exchanges()) names << QString::fromStdString(name);
    QStringList shown;
    for (int i = 0; i < m_exchange->count(); ++i) shown << m_exchange->itemText(i);
    if (names != shown) {
      m_exchange->clear();
      m_exchange->addItems(names);
    }
    m_exchange->setCurrentIndex(m_scanner.SelectedExchange());
  }
  if (m_count && !m_count->hasFocus())
    m_count->setText(QString::fromStdString(m_scanner.RecordCountText()));
  if (m_lower && m_lower->text().toStdString() != m_scanner.LowerPrice())
    m_lower->setText(QString::fromStdString(m_scanner.LowerPrice()));
  if (m_upper && m_upper->text().toStdString() != m_scanner.UpperPrice())
    m_upper->setText(QString::fromStdString(m_scanner.UpperPrice()));
  if (m_autoRefresh) {
    m_autoRefresh->setText(QString::fromStdString(m_scanner.AutoRefreshLabel()));
    m_autoRefresh->setEnabled(m_scanner.AutoRefreshEnabled());
    m_autoRefresh->setChecked(m_scanner.AutoRefreshChecked());
  }
  if (m_strip) m_strip->setVisible(m_scanner.ConfigurationShown());
  for (int i = 0; i < 4; ++i) {
    if (QPushButton* button = m_buttons[static_cast<size_t>(i)]) {
      button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; }")
                                .arg(CssColor(m_scanner.ButtonColor(i)),
                                     CssColor(CMarketScannerLogic::kButtonBackColor)));
    }
  }
  if (m_list) m_list->Model()->Reset();
  m_refreshing = false;
}

}  // namespace kovo::gui
