#include "gui/lists/qt_list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace kovo::gui {
namespace {

constexpr const char* kIconFailedText = "Failed to draw icon";
constexpr int kButtonWidth = 16;

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QColor ListColor(ColorRef color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

void QtClipboard::SetText(std::string_view text) {
  QGuiApplication::clipboard()->setText(ToQString(text));
}

std::string QtClipboard::Text() const {
  return QGuiApplication::clipboard()->text().toStdString();
}

// ---------------------------------------------------------------- model

QtListModel::QtListModel(CCommonListCtrl& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

int QtListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_list.ItemCount();
}

int QtListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_list.HeaderCount();
}

QVariant QtListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::TextAlignmentRole) {
    const int d = m_list.HeaderDescriptor(index.column());
    const int format = d < 0 ? kFormatLeft : m_list.Columns()[static_cast<std::size_t>(d)].format;
    const Qt::Alignment horizontal = format == kFormatRight   ? Qt::AlignRight
                                     : format == kFormatImage ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
    return QVariant::fromValue(horizontal | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != Qt::BackgroundRole &&
      role != Qt::DecorationRole)
    return {};
  sCellInfo cell;
  m_list.GetCell(index.row(), index.column(), cell);
  const QIcon icon = cell.icon >= 0 && m_icons ? m_icons(cell.icon) : QIcon();
  switch (role) {
    case Qt::DisplayRole:
      if (cell.icon >= 0 && icon.isNull()) return QString::fromLatin1(kIconFailedText);
      return ToQString(cell.text);
    case Qt::ForegroundRole:
      return ListColor(cell.textColor);
    case Qt::BackgroundRole:
      return ListColor(cell.backColor);
    case Qt::DecorationRole:
      return icon.isNull() ? QVariant() : QVariant(icon);
    default:
      return {};
  }
}

QVariant QtListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  const int d = m_list.HeaderDescriptor(section);
  if (role == Qt::TextAlignmentRole) {
    // A header reads like its column: a centred title in a narrow column loses both ends.
    const int format = d < 0 ? kFormatLeft : m_list.Columns()[static_cast<std::size_t>(d)].format;
    const Qt::Alignment horizontal = format == kFormatRight   ? Qt::AlignRight
                                     : format == kFormatImage ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
    // The header reads the alignment back as a plain number.
    return static_cast<int>(horizontal | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  return d < 0 ? QVariant() : QVariant(ToQString(m_list.Columns()[static_cast<size_t>(d)].Name()));
}

void QtListModel::RowInserted(int row) {
  beginInsertRows({}, row, row);
  endInsertRows();
}

void QtListModel::RowRemoved(int row) {
  beginRemoveRows({}, row, row);
  endRemoveRows();
}

void QtListModel::Reset() {
  beginResetModel();
  endResetModel();
}

void QtListModel::CellsChanged() {
  if (rowCount() > 0 && columnCount() > 0)
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

// ---------------------------------------------------------------- filter header

QtFilterHeader::QtFilterHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setSectionsMovable(true);
  setSortIndicatorShown(true);
  setSortIndicator(-1, Qt::DescendingOrder);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QHeaderView::sectionResized, this, [this] { PlaceBoxes(); });
  connect(this, &QHeaderView::sectionMoved, this, [this] { PlaceBoxes(); });
  connect(this, &QHeaderView::geometriesChanged, this, [this] { PlaceBoxes(); });
}

void QtFilterHeader::SetFilterRow(bool on) {
  if (on == m_filterRow) return;
  m_filterRow = on;
  updateGeometries();
}

QSize QtFilterHeader::sizeHint() const {
  QSize size = QHeaderView::sizeHint();
  if (m_filterRow) size.setHeight(size.height() + QLineEdit().sizeHint().height());
  return size;
}

void QtFilterHeader::updateGeometries() {
  // The titles keep the top; the boxes sit in the margin below them.
  setViewportMargins(0, 0, 0, m_filterRow ? QLineEdit().sizeHint().height() : 0);
  QHeaderView::updateGeometries();
  PlaceBoxes();
}

void QtFilterHeader::SetFilterTexts(const std::vector<std::string>& texts) {
  const std::size_t count = texts.size();
  while (m_boxes.size() > count) {
    delete m_boxes.back();
    delete m_buttons.back();
    m_boxes.pop_back();
    m_buttons.pop_back();
  }
  while (m_boxes.size() < count) {
    const int section = static_cast<int>(m_boxes.size());
    auto* box = new QLineEdit(this);
    box->setPlaceholderText(QStringLiteral("Filter"));
    connect(box, &QLineEdit::textEdited, this, [this] {
      if (onFiltersEdited) onFiltersEdited();
    });
    auto* button = new QToolButton(this);
    button->setArrowType(Qt::DownArrow);
    connect(button, &QToolButton::clicked, this, [this, section] {
      if (onFilterButton) onFilterButton(section);
    });
    m_boxes.emplace_back(box);
    m_buttons.emplace_back(button);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const QString text = QString::fromStdString(texts[i]);
    if (m_boxes[i]->text() != text) m_boxes[i]->setText(text);
  }
  PlaceBoxes();
}

std::vector<std::string> QtFilterHeader::FilterTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : m_boxes) texts.push_back(box ? box->text().toStdString() : std::string());
  return texts;
}

QLineEdit* QtFilterHeader::FilterBox(int section) const {
  return section >= 0 && section < static_cast<int>(m_boxes.size())
             ? m_boxes[static_cast<std::size_t>(section)].data()
             : nullptr;
}

QToolButton* QtFilterHeader::FilterButton(int section) const {
  return section >= 0 && section < static_cast<int>(m_buttons.size())
             ? m_buttons[static_cast<std::size_t>(section)].data()
             : nullptr;
}

void QtFilterHeader::PlaceBoxes() {
  const int top = viewport()->height();
  const int height = QLineEdit().sizeHint().height();
  for (std::size_t i = 0; i < m_boxes.size(); ++i) {
    const int section = static_cast<int>(i);
    QLineEdit* box = m_boxes[i];
    QToolButton* button = m_buttons[i];
    if (!box || !button) continue;
    const bool shown = m_filterRow && section < count() && !isSectionHidden(section);
    box->setVisible(shown);
    button->setVisible(shown);
    if (!shown) continue;
    const int x = sectionViewportPosition(section);
    const int width = sectionSize(section);
    box->setGeometry(x, top, std::max(0, width - kButtonWidth), height);
    button->setGeometry(x + width - kButtonWidth, top, kButtonWidth, height);
  }
}

// ---------------------------------------------------------------- chooser

QtColumnChooser::QtColumnChooser(CReposition& chooser, QWidget* parent)
    : QDialog(parent), m_chooser(chooser), m_columns(new QListWidget(this)) {
  setWindowTitle(QStringLiteral("Reposition Columns"));
  auto* up = new QPushButton(QStringLiteral("Up"), this);
  auto* down = new QPushButton(QStringLiteral("Down"), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* side = new QVBoxLayout;
  side->addWidget(up);
  side->addWidget(down);
  side->addStretch();
  auto* row = new QHBoxLayout;
  row->addWidget(m_columns);
  row->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  connect(up, &QPushButton::clicked, this, [this] { MoveCurrent(-1); });
  connect(down, &QPushButton::clicked, this, [this] { MoveCurrent(+1); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_columns, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (m_filling) return;
    const bool checked = item->checkState() == Qt::Checked;
    if (!m_chooser.SetVisible(m_columns->row(item), checked)) {
      // Refused: the box goes back as it was.
      m_filling = true;
      item->setCheckState(checked ? Qt::Unchecked : Qt::Checked);
      m_filling = false;
    }
  });
  Fill();
}

void QtColumnChooser::Fill() {
  m_filling = true;
  m_columns->clear();
  for (const auto& entry : m_chooser.Entries()) {
    auto* item = new QListWidgetItem(QString::fromStdString(entry.name), m_columns);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(entry.visible ? Qt::Checked : Qt::Unchecked);
  }
  m_filling = false;
}

void QtColumnChooser::MoveCurrent(int by) {
  const int from = m_columns->currentRow();
  if (!m_chooser.Move(from, from + by)) return;
  Fill();
  m_columns->setCurrentRow(from + by);
}

// ---------------------------------------------------------------- filter pop-up

QtFilterPopup::QtFilterPopup(CFilterText& popup, QWidget* parent)
    : QDialog(parent, Qt::Popup), m_popup(popup), m_values(new QListWidget(this)) {
  m_values->setSelectionMode(QAbstractItemView::MultiSelection);
  for (const std::string& value : popup.Values()) m_values->addItem(QString::fromStdString(value));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_values);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void QtFilterPopup::ApplySelection() {
  for (int i = 0; i < m_values->count(); ++i) m_popup.Select(i, m_values->item(i)->isSelected());
}

// ---------------------------------------------------------------- view

QtListView::QtListView(CCommonListCtrl& list, QWidget* parent)
    : QTableView(parent),
      m_list(list),
      m_filterList(dynamic_cast<CFilterListCtrl*>(&list)),
      m_model(new QtListModel(list, this)),
      m_header(new QtFilterHeader(this)) {
  setHorizontalHeader(m_header);
  setModel(m_model);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->hide();
  setWordWrap(false);

  const QFontMetrics metrics(font());
  m_list.SetTextMeasure(
      [metrics](std::string_view text) { return metrics.horizontalAdvance(ToQString(text)) + 12; });
  m_list.SetObserver(this);

  connect(m_header, &QHeaderView::sectionClicked, this, [this](int section) {
    if (!m_syncing) m_list.OnHeaderClick(section);
  });
  connect(m_header, &QHeaderView::sectionResized, this, [this](int section, int, int width) {
    if (!m_syncing) m_list.SetHeaderWidth(section, width);
  });
  connect(m_header, &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
    if (m_syncing) return;
    // The list owns the order: undo Qt's move and let the list tell us.
    m_syncing = true;
    m_header->moveSection(to, from);
    m_syncing = false;
    m_list.MoveColumn(from, to);
  });
  connect(m_header, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowMenu(m_list.HeaderMenu(), m_header->mapToGlobal(pos)); });
  m_header->onFiltersEdited = [this] {
    if (m_filterList) m_filterList->OnFilterBoxesChanged(m_header->FilterTexts());
  };
  m_header->onFilterButton = [this](int section) {
    if (m_filterList) m_filterList->OnFilterButton(section);
  };

  SyncColumns();
  SyncLook();
}

QtListView::~QtListView() {
  m_list.SetObserver(nullptr);
}

void QtListView::OnListChanged(Change what, int row) {
  switch (what) {
    case Change::kRows:
      m_model->Reset();
      break;
    case Change::kRowInserted:
      m_model->RowInserted(row);
      break;
    case Change::kRowRemoved:
      m_model->RowRemoved(row);
      break;
    case Change::kColumns:
      SyncColumns();
      break;
    case Change::kFilters:
      SyncFilters();
      break;
    case Change::kSort:
      SyncSortMark();
      break;
    case Change::kLook:
      SyncLook();
      break;
    case Change::kSelection:
      SyncSelection();
      break;
    case Change::kChooser:
      OpenChooser();
      break;
    case Change::kFilterPopup:
      OpenPopup();
      break;
  }
}

void QtListView::SyncColumns() {
  std::vector<int> shown;
  for (int pos = 0; pos < m_list.HeaderCount(); ++pos)
    shown.push_back(m_list.HeaderDescriptor(pos));
  m_syncing = true;
  if (shown.size() != m_shownColumns.size()) {
    m_model->Reset();
  } else if (shown != m_shownColumns) {
    emit m_model->headerDataChanged(Qt::Horizontal, 0, m_model->columnCount() - 1);
    m_model->CellsChanged();
  }
  m_shownColumns = std::move(shown);
  for (int pos = 0; pos < m_list.HeaderCount(); ++pos) {
    if (columnWidth(pos) != m_list.HeaderWidth(pos)) setColumnWidth(pos, m_list.HeaderWidth(pos));
  }
  m_syncing = false;
  SyncFilters();
  SyncSortMark();
}

void QtListView::SyncFilters() {
  const bool on = m_filterList && m_filterList->FilterMode();
  m_header->SetFilterRow(on);
  std::vector<std::string> texts;
  if (on)
    for (int pos = 0; pos < m_list.HeaderCount(); ++pos)
      texts.push_back(m_filterList->FilterText(pos));
  m_header->SetFilterTexts(texts);
}

void QtListView::SyncSortMark() {
  m_header->setSortIndicator(m_list.SortColumn(),
                             m_list.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void QtListView::SyncLook() {
  setShowGrid(m_list.GridLines());
  QPalette colours = palette();
  colours.setColor(QPalette::Base, ListColor(m_list.BackColor()));
  colours.setColor(QPalette::Text, ListColor(m_list.TextColor()));
  setPalette(colours);
  viewport()->update();
}

void QtListView::SyncSelection() {
  const auto& rows = m_list.Selection();
  if (static_cast<int>(rows.size()) == m_list.ItemCount()) {
    selectAll();
    return;
  }
  clearSelection();
  for (int row : rows)
    selectionModel()->select(m_model->index(row, 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void QtListView::OpenChooser() {
  CReposition* chooser = m_list.Chooser();
  if (!chooser) {
    if (m_chooser) m_chooser->deleteLater();
    m_chooser = nullptr;
    return;
  }
  if (m_chooser) return;
  m_chooser = new QtColumnChooser(*chooser, this);
  connect(m_chooser, &QDialog::finished, this, [this](int result) {
    if (result == QDialog::Accepted && m_list.Chooser()) m_list.Chooser()->OnOK();
    m_list.CloseChooser();
  });
  m_chooser->open();
}

void QtListView::OpenPopup() {
  CFilterText* popup = m_filterList ? m_filterList->FilterPopup() : nullptr;
  if (!popup) {
    if (m_popup) m_popup->deleteLater();
    m_popup = nullptr;
    return;
  }
  if (m_popup) return;
  m_popup = new QtFilterPopup(*popup, this);
  connect(m_popup, &QDialog::finished, this, [this](int result) {
    if (result == QDialog::Accepted) {
      m_popup->ApplySelection();
      m_filterList->AcceptFilterPopup();
    } else {
      m_filterList->CloseFilterPopup();
    }
  });
  m_popup->move(QCursor::pos());
  m_popup->open();
}

void PopupMenu(QWidget* parent, const std::vector<sMenuItem>& items, const QPoint& globalPos,
               std::function<void(int)> onPick) {
  auto* menu = new QMenu(parent);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (const sMenuItem& item : items) {
    if (item.id == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromStdString(item.text));
    action->setCheckable(item.checked);
    action->setChecked(item.checked);
    const int id = item.id;
    QObject::connect(action, &QAction::triggered, parent, [onPick, id] { onPick(id); });
  }
  menu->popup(globalPos);
}

void CopySelection(const QTableView& view, CCommonListCtrl& list) {
  std::vector<int> rows;
  for (const QModelIndex& index : view.selectionModel()->selectedIndexes()) {
    if (std::find(rows.begin(), rows.end(), index.row()) == rows.end()) rows.push_back(index.row());
  }
  list.SetSelection(std::move(rows));
}

void QtListView::ShowMenu(const std::vector<sMenuItem>& items, const QPoint& globalPos) {
  PopupMenu(this, items, globalPos, [this](int id) { m_list.OnCommand(id); });
}

void QtListView::keyPressEvent(QKeyEvent* event) {
  sKeyState state;
  state.ctrl = event->modifiers() & Qt::ControlModifier;
  state.shift = event->modifiers() & Qt::ShiftModifier;
  const int key = event->key();
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    if (state.ctrl && key == Qt::Key_C) {
      std::vector<int> rows;
      for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
      m_list.SetSelection(std::move(rows));
    }
    if (m_list.OnKey(key, state)) {
      event->accept();
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

void QtListView::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Keyboard) {
    m_list.OnKey(kKeyContextMenu, {});
  } else if (m_list.OnRightClick()) {
    ShowMenu(m_list.OwnMenu(), event->globalPos());
  }
  event->accept();
}

void QtListView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  m_list.SetClientWidth(viewport()->width());
}

}  // namespace kovo::gui
