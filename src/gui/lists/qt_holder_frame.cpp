#include "gui/lists/qt_holder_frame.h"

#include <QMenu>
#include <QVBoxLayout>

#include "gui/lists/qt_list_view.h"

namespace kovo::gui {

QtHolderFrame::QtHolderFrame(CNTHolderFrame& frame, QWidget* parent)
    : QWidget(parent), m_frame(frame) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

QtHolderFrame::~QtHolderFrame() {
  m_frame.SetChanged({});
}

bool QtHolderFrame::CreateSplitter(int rows, int columns) {
  delete m_splitter;
  m_splitter = new QSplitter(rows > 1 || columns == 1 ? Qt::Vertical : Qt::Horizontal, this);
  // Flat bars: a thin handle without relief.
  m_splitter->setHandleWidth(3);
  m_splitter->setChildrenCollapsible(true);
  layout()->addWidget(m_splitter);
  connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
    if (m_syncing) return;
    const QList<int> sizes = m_splitter->sizes();
    m_syncing = true;
    for (int i = 0; i < sizes.size() && i < m_frame.PaneCount(); ++i)
      m_frame.SetPaneSize(i, sizes[i]);
    m_syncing = false;
  });
  return true;
}

void QtHolderFrame::Build() {
  if (!m_splitter || !m_frame.Created()) return;
  m_captions.clear();
  for (int i = 0; i < m_frame.PaneCount(); ++i) {
    const sHolderPane& pane = m_frame.Pane(i).Pane();
    auto* cell = new QWidget(m_splitter);
    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* caption = new QLabel(QString::fromStdString(pane.title), cell);
    caption->setAutoFillBackground(true);
    caption->setVisible(pane.captionShown);
    caption->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(caption, &QWidget::customContextMenuRequested, this,
            [this, i, caption](QPoint pos) { ShowCaptionMenu(i, caption->mapToGlobal(pos)); });
    column->addWidget(caption);
    if (auto* widget = static_cast<QWidget*>(pane.window)) column->addWidget(widget, 1);
    m_splitter->addWidget(cell);
    m_captions.emplace_back(caption);
  }
  m_frame.SetChanged([this] { Refresh(); });
  Refresh();
}

QLabel* QtHolderFrame::Caption(int pane) const {
  return pane >= 0 && pane < static_cast<int>(m_captions.size())
             ? m_captions[static_cast<std::size_t>(pane)].data()
             : nullptr;
}

void QtHolderFrame::Refresh() {
  for (int i = 0; i < static_cast<int>(m_captions.size()) && i < m_frame.PaneCount(); ++i) {
    QLabel* caption = m_captions[static_cast<std::size_t>(i)];
    if (!caption) continue;
    const CHolderView& view = m_frame.Pane(i);
    QPalette colours = caption->palette();
    colours.setColor(QPalette::Window, ListColor(view.CaptionColor()));
    colours.setColor(QPalette::WindowText, Qt::white);
    caption->setPalette(colours);
    QFont font(QString::fromStdString(view.CaptionFont().face));
    font.setPixelSize(std::max(1, view.CaptionFont().height));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(view.CaptionFont().weight, 100, 900)));
    font.setItalic(view.CaptionFont().italic);
    caption->setFont(font);
  }
  if (m_splitter && !m_syncing) {
    QList<int> sizes;
    for (int i = 0; i < m_frame.PaneCount(); ++i) sizes.append(m_frame.PaneSize(i));
    m_syncing = true;
    m_splitter->setSizes(sizes);
    m_syncing = false;
  }
}

void QtHolderFrame::ShowCaptionMenu(int pane, const QPoint& globalPos) {
  if (!m_frame.OnRightClick(pane)) return;
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (const sMenuItem& item : m_frame.CaptionMenu()) {
    if (item.id == 0) {
      menu->addSeparator();
      continue;
    }
    const int id = item.id;
    connect(menu->addAction(QString::fromStdString(item.text)), &QAction::triggered, this,
            [this, pane, id] { m_frame.OnCommand(pane, id); });
  }
  menu->popup(globalPos);
}

void QtHolderFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_frame.Resize(width(), height());
}

}  // namespace kovo::gui
