#include "gui/market/calls_views.h"

#include <algorithm>

#include <QCursor>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWidget>

#include "market/broker_calls.h"
#include "market/news_window.h"

namespace kovo::gui {
namespace {

// The indicator images of the call lists: a colour per kind (research,
// trading and option calls, other news), a filled dot while unread and a
// ring once read.
QIcon CallIcon(int id) {
  QColor colour;
  bool read = false;
  switch (id) {
    case 26098:
      read = true;
      [[fallthrough]];
    case 26102:
      colour = QColor(100, 149, 237);
      break;
    case 26099:
      read = true;
      [[fallthrough]];
    case 26103:
      colour = QColor(56, 142, 142);
      break;
    case 26100:
      read = true;
      [[fallthrough]];
    case 26101:
      colour = QColor(150, 150, 150);
      break;
    default:
      return {};
  }
  QPixmap image(14, 14);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(colour, 2));
  painter.setBrush(read ? QBrush(Qt::NoBrush) : QBrush(colour));
  painter.drawEllipse(QRectF(2, 2, 10, 10));
  painter.end();
  return QIcon(image);
}

}  // namespace

QtBrokerCallsView::QtBrokerCallsView(CBrokerCalls& calls) : QtView(new QWidget), m_calls(calls) {
  QWidget* frame = Widget();
  frame->setMinimumSize(300, 120);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(2, 2, 2, 2);
  m_list = new QtListView(calls.List(), frame);
  m_list->Model()->SetIconProvider(CallIcon);
  layout->addWidget(m_list);
  // Enter or a double click: the story of the row.
  const auto openStory = [this] {
    TakeSelection();
    m_calls.OnEnter();
  };
  QObject::connect(m_list, &QTableView::activated, frame, openStory);
  QObject::connect(m_list, &QTableView::doubleClicked, frame, openStory);
  calls.List().SetNotify([this](ListNotice notice, int) {
    if (notice != ListNotice::kRightClick || !m_list) return;
    TakeSelection();
    PopupMenu(m_list, m_calls.ContextMenu(), QCursor::pos(),
              [this](int id) { m_calls.OnCommand(id); });
  });
  Refresh();
}

void QtBrokerCallsView::TakeSelection() {
  if (m_list) CopySelection(*m_list, m_calls.List());
}

void QtBrokerCallsView::Refresh() {
  if (m_list) m_list->Model()->CellsChanged();
}

QtNewsView::QtNewsView(CNews& news) : QtView(new QWidget), m_news(news) {
  QWidget* window = Widget();
  window->resize(800, 400);
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(2, 2, 2, 2);
  m_list = new QtListView(news.List(), window);
  m_list->Model()->SetIconProvider(CallIcon);
  layout->addWidget(m_list);
  QObject::connect(m_list, &QTableView::activated, window, [this] { OpenSelected(); });
  QObject::connect(m_list, &QTableView::doubleClicked, window, [this] { OpenSelected(); });
  news.List().SetNotify([this](ListNotice notice, int) {
    if (notice != ListNotice::kRightClick || !m_list) return;
    PopupMenu(m_list, m_news.ContextMenu(), QCursor::pos(), [this](int id) {
      m_news.OnCommand(id);
      Refresh();
    });
  });
}

void QtNewsView::OpenSelected() {
  if (!m_list) return;
  std::vector<int> rows;
  for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
    if (std::find(rows.begin(), rows.end(), index.row()) == rows.end()) rows.push_back(index.row());
  m_news.List().SetSelection(std::move(rows));
  m_news.OnEnter();
}

void QtNewsView::Refresh() {
  if (m_list) m_list->Model()->CellsChanged();
}

QtNewsStoryView::QtNewsStoryView(CNewsStory& story) : QtView(new QWidget), m_story(story) {
  QWidget* window = Widget();
  window->resize(600, 420);
  auto* layout = new QVBoxLayout(window);
  m_text = new QTextEdit(window);
  m_text->setReadOnly(true);
  layout->addWidget(m_text);
  auto* buttons = new QHBoxLayout;
  m_previous = new QPushButton("Previous Story", window);
  m_next = new QPushButton("Next Story", window);
  auto* mail = new QPushButton("Email this Story", window);
  auto* print = new QPushButton("Print this Story", window);
  for (QPushButton* b : {m_previous.data(), m_next.data(), mail, print}) buttons->addWidget(b);
  layout->addLayout(buttons);
  const auto command = [this](QPushButton* button, int id) {
    QObject::connect(button, &QPushButton::clicked, button, [this, id] { m_story.OnCommand(id); });
  };
  command(m_previous, kIdPreviousStory);
  command(m_next, kIdNextStory);
  command(mail, kIdEmailStory);
  command(print, kIdPrintStory);
}

void QtNewsStoryView::Refresh() {
  const sNewsDetails* item = m_story.Item();
  if (!m_text || !item) return;
  m_text->clear();
  QTextCursor cursor(m_text->document());
  QTextCharFormat headline;
  headline.setFontWeight(QFont::Bold);
  headline.setFontPointSize(15);
  cursor.insertText(QString::fromStdString(item->headline), headline);
  QTextCharFormat body;
  body.setFontWeight(QFont::Normal);
  body.setFontPointSize(9);
  cursor.insertText(QString::fromStdString("\n\n" + item->text), body);
  if (m_previous) m_previous->setVisible(m_story.PreviousVisible());
  if (m_next) m_next->setVisible(m_story.NextVisible());
}

}  // namespace kovo::gui
