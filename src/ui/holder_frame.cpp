#include "ui/holder_frame.h"

#include <charconv>
#include <vector>

#include "base/format.h"
#include "base/text.h"
#include "platform/dialogs.h"
#include "platform/settings.h"

namespace kovo {
namespace {

constexpr const char* kSizeKey = "HOLDER_FRAME_SPLITTER_SIZE";
constexpr const char* kMessageCaption = "KovoZint";
constexpr int kBoldWeight = 600;

int At(const std::vector<int>& sizes, int index) {
  return index >= 0 && index < static_cast<int>(sizes.size())
             ? sizes[static_cast<std::size_t>(index)]
             : 0;
}

}  // namespace

CHolderView::CHolderView(sHolderPane pane, std::string name)
    : m_pane(std::move(pane)), m_name(std::move(name)) {}

CFlatSplitterWnd::CFlatSplitterWnd(int rows, int columns)
    : m_heights(static_cast<std::size_t>(rows), CHolderView::kInitialSize),
      m_widths(static_cast<std::size_t>(columns), CHolderView::kInitialSize) {}

int CFlatSplitterWnd::RowHeight(int row) const {
  return At(m_heights, row);
}
int CFlatSplitterWnd::ColumnWidth(int column) const {
  return At(m_widths, column);
}
void CFlatSplitterWnd::SetRowHeight(int row, int height) {
  if (row >= 0 && row < Rows()) m_heights[static_cast<std::size_t>(row)] = std::max(0, height);
}
void CFlatSplitterWnd::SetColumnWidth(int column, int width) {
  if (column >= 0 && column < Columns())
    m_widths[static_cast<std::size_t>(column)] = std::max(0, width);
}
void CFlatSplitterWnd::SetClientSize(int width, int height) {
  m_clientWidth = std::max(0, width);
  m_clientHeight = std::max(0, height);
}
void CFlatSplitterWnd::FitColumnsToWindow() {
  const int share = m_clientWidth / Columns();
  for (int& w : m_widths) w = share;
}

CNTHolderFrame::CNTHolderFrame(Dialogs& dialogs, const CSettingsFiles& settings, ListLog log)
    : m_dialogs(dialogs), m_settings(settings), m_log(std::move(log)) {}

CNTHolderFrame::~CNTHolderFrame() = default;

bool CNTHolderFrame::CreateHorizontal(std::string_view ownerClass, int width, int height,
                                      std::vector<sHolderPane> panes,
                                      CHolderFrameWindows* windows) {
  return Create(Kind::kHorizontal, ownerClass, width, height, std::move(panes), windows);
}

bool CNTHolderFrame::CreateVertical(std::string_view ownerClass, int width, int height,
                                    std::vector<sHolderPane> panes, CHolderFrameWindows* windows) {
  return Create(Kind::kVertical, ownerClass, width, height, std::move(panes), windows);
}

bool CNTHolderFrame::Create(Kind kind, std::string_view ownerClass, int width, int height,
                            std::vector<sHolderPane> panes, CHolderFrameWindows* windows) {
  const bool horizontal = kind == Kind::kHorizontal;
  if (panes.empty()) {
    m_dialogs.MessageBox("Number of Pane should be Greater Than One", kMessageCaption, kMbOk);
    return false;
  }
  m_kind = kind;
  m_views.clear();
  m_splitter.reset();
  if (windows && !windows->CreateFrame()) {
    m_dialogs.MessageBox(horizontal ? "Failed To Create Horizontal Holder Frame"
                                    : "Failed To Create Vertical Holder Frame",
                         kMessageCaption, kMbOk);
    return false;
  }
  const int count = static_cast<int>(panes.size());
  const int rows = horizontal ? count : 1;
  const int columns = horizontal ? 1 : count;
  if (windows && !windows->CreateSplitter(rows, columns)) {
    m_dialogs.MessageBox(
        horizontal ? "Failed To Create Horizontal Splitter" : "Failed To Create Vertical Splitter",
        kMessageCaption, kMbOk);
    return false;
  }
  const std::string owner(ownerClass);
  for (sHolderPane& pane : panes) {
    std::string name = Format("%s%d", owner.c_str(), pane.id);
    m_views.push_back(std::make_unique<CHolderView>(std::move(pane), std::move(name)));
  }
  m_splitter = std::make_unique<CFlatSplitterWnd>(rows, columns);
  m_splitter->SetClientSize(width, height);
  RestoreSizes();
  Changed();
  return true;
}

int CNTHolderFrame::PaneSize(int index) const {
  if (!m_splitter) return 0;
  return m_kind == Kind::kHorizontal ? m_splitter->RowHeight(index)
                                     : m_splitter->ColumnWidth(index);
}

void CNTHolderFrame::SetPaneSize(int index, int size) {
  if (!m_splitter) return;
  if (m_kind == Kind::kHorizontal)
    m_splitter->SetRowHeight(index, size);
  else
    m_splitter->SetColumnWidth(index, size);
  Changed();
}

void CNTHolderFrame::Resize(int width, int height) {
  if (m_splitter) m_splitter->SetClientSize(width, height);
}

void CNTHolderFrame::SaveSizes() const {
  // A single pane fills the frame; there is no size to keep.
  if (PaneCount() < 2) return;
  // Every pane's size in one rewrite of the file, not one (and one fsync) each.
  std::vector<ini::sIniEntry> entries;
  for (int i = 0; i < PaneCount(); ++i) {
    const std::string& name = Pane(i).Name();
    if (!name.empty()) entries.push_back({name, kSizeKey, Format("%d", PaneSize(i))});
  }
  if (entries.empty() ||
      m_settings.WriteBatch(entries, kZintSettingsFile, SettingsLocation::kUserFolder) != 0)
    return;
  if (!m_log) return;
  for (const ini::sIniEntry& entry : entries)
    m_log(Format("Splitter size of %s not saved", entry.section.c_str()));
}

void CNTHolderFrame::RestoreSizes() {
  if (PaneCount() < 2) return;
  for (int i = 0; i < PaneCount(); ++i) {
    const std::string& name = Pane(i).Name();
    std::string value;
    if (name.empty() || m_settings.Read(name, kSizeKey, value, kZintSettingsFile,
                                        SettingsLocation::kUserFolder) == 0)
      continue;
    const std::string_view text = TrimView(value);
    int size = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (ec != std::errc() || end != text.data() + text.size() || size < 0) {
      if (m_log) m_log(Format("Splitter size \"%s\" of %s ignored", value.c_str(), name.c_str()));
      continue;
    }
    if (m_kind == Kind::kHorizontal)
      m_splitter->SetRowHeight(i, size);
    else
      m_splitter->SetColumnWidth(i, size);
  }
}

std::vector<sMenuItem> CNTHolderFrame::CaptionMenu() const {
  return {{kCmdCaptionColor, "Set Color"},
          {kCmdCaptionFont, "Set Font"},
          {0, ""},
          {kCmdCaptionColorAll, "Set Color to All Bricks"},
          {kCmdCaptionFontAll, "Set Font to All Bricks"},
          {0, ""},
          {kCmdHolderFitToWindow, "Fit To Window"},
          {kCmdCaptionDefaults, "Set Default Values"}};
}

bool CNTHolderFrame::OnRightClick(int pane) {
  if (pane < 0 || pane >= PaneCount()) return false;
  if (Pane(pane).Pane().style & kPaneStyleCaptionMenu) return true;
  if (m_notify) m_notify(HolderNotice::kRightClick, pane);
  return false;
}

bool CNTHolderFrame::ChooseFont(sCaptionFont& font) {
  FontChoice choice;
  choice.face = font.face;
  choice.pointSize = font.height;
  choice.bold = font.weight >= kBoldWeight;
  choice.italic = font.italic;
  if (!m_dialogs.ChooseFont(choice)) return false;
  sCaptionFont picked;
  picked.face = choice.face;
  picked.height = choice.pointSize > 0 ? choice.pointSize : font.height;
  // Keep the weight the user did not change.
  picked.weight = choice.bold == (font.weight >= kBoldWeight) ? font.weight
                  : choice.bold                               ? 700
                                                              : 400;
  picked.italic = choice.italic;
  font = std::move(picked);
  return true;
}

bool CNTHolderFrame::OnCommand(int pane, int id) {
  if (pane < 0 || pane >= PaneCount()) return false;
  CHolderView& view = Pane(pane);
  switch (id) {
    case kCmdCaptionColor:
    case kCmdCaptionColorAll: {
      ColorRef color = view.CaptionColor();
      if (!m_dialogs.ChooseColor(color)) return true;
      if (id == kCmdCaptionColor) {
        view.SetCaptionColor(color);
      } else {
        for (auto& v : m_views) v->SetCaptionColor(color);
      }
      break;
    }
    case kCmdCaptionFont:
    case kCmdCaptionFontAll: {
      sCaptionFont font = view.CaptionFont();
      if (!ChooseFont(font)) return true;
      if (id == kCmdCaptionFont) {
        view.SetCaptionFont(font);
      } else {
        for (auto& v : m_views) v->SetCaptionFont(font);
      }
      break;
    }
    case kCmdHolderFitToWindow:
      m_splitter->FitColumnsToWindow();
      Changed();
      if (m_notify) m_notify(HolderNotice::kFitToWindow, pane);
      return true;
    case kCmdCaptionDefaults:
      for (auto& v : m_views) v->SetCaptionFont(sCaptionFont{});
      break;
    case kCmdCollapsePane:
      SetPaneSize(pane, 0);
      return true;
    default:
      return false;
  }
  Changed();
  return true;
}

}  // namespace kovo
