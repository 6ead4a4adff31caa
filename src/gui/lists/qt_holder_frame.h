#pragma once

#include <vector>

#include <QLabel>
#include <QPointer>
#include <QSplitter>
#include <QWidget>

#include "ui/holder_frame.h"

namespace kovo::gui {

// The frame on screen: a flat splitter whose cells show a coloured caption
// over the pane's widget (sHolderPane::window is a QWidget*). Pass it to the
// frame's Create call, then call Build().
class QtHolderFrame final : public QWidget, public CHolderFrameWindows {
 public:
  QtHolderFrame(CNTHolderFrame& frame, QWidget* parent = nullptr);
  ~QtHolderFrame() override;

  bool CreateFrame() override { return true; }
  bool CreateSplitter(int rows, int columns) override;
  // Adopts the panes' widgets once the frame exists.
  void Build();
  // Captions and sizes from the frame.
  void Refresh();

  QSplitter* Splitter() const { return m_splitter; }
  QLabel* Caption(int pane) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowCaptionMenu(int pane, const QPoint& globalPos);

  CNTHolderFrame& m_frame;
  QPointer<QSplitter> m_splitter;
  std::vector<QPointer<QLabel>> m_captions;
  bool m_syncing = false;
};

}  // namespace kovo::gui
