#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/list_types.h"

namespace kovo {

struct FontChoice;

// One pane of a holder frame, as the owner describes it.
struct sHolderPane {
  bool captionShown = true;
  int id = 0;              // the pane window's control identifier
  void* window = nullptr;  // the window the pane carries (the view's widget)
  std::string title;       // caption text; may be empty
  unsigned style = 0;      // kPaneStyleCaptionMenu enables the caption menu
};
inline constexpr unsigned kPaneStyleCaptionMenu = 8;

struct sCaptionFont {
  std::string face = "Times New Roman";
  int height = 13;
  int weight = 600;
  bool italic = false;
  bool operator==(const sCaptionFont&) const = default;
};

// Caption menu commands.
inline constexpr int kCmdCaptionColor = 1111;
inline constexpr int kCmdCaptionFont = 1112;
inline constexpr int kCmdCaptionColorAll = 16008;
inline constexpr int kCmdCollapsePane = 16009;
inline constexpr int kCmdHolderFitToWindow = 16010;
inline constexpr int kCmdCaptionFontAll = 16011;
inline constexpr int kCmdCaptionDefaults = 16012;

// One splitter cell: the pane's window under its caption strip.
class CHolderView {
 public:
  static constexpr ColorRef kDefaultCaptionColor = Rgb(0, 0, 128);
  static constexpr int kInitialSize = 100;

  CHolderView(sHolderPane pane, std::string name);
  const sHolderPane& Pane() const { return m_pane; }
  // "<owner class><identifier>"; names the pane's section in the settings file.
  const std::string& Name() const { return m_name; }
  ColorRef CaptionColor() const { return m_color; }
  void SetCaptionColor(ColorRef color) { m_color = color; }
  const sCaptionFont& CaptionFont() const { return m_font; }
  void SetCaptionFont(sCaptionFont font) { m_font = std::move(font); }

 private:
  sHolderPane m_pane;
  std::string m_name;
  ColorRef m_color = kDefaultCaptionColor;
  sCaptionFont m_font;
};

// A static splitter of rows by columns; sizes are the rows' heights and
// the columns' widths in pixels.
class CFlatSplitterWnd {
 public:
  CFlatSplitterWnd(int rows, int columns);
  int Rows() const { return static_cast<int>(m_heights.size()); }
  int Columns() const { return static_cast<int>(m_widths.size()); }
  int RowHeight(int row) const;
  int ColumnWidth(int column) const;
  void SetRowHeight(int row, int height);
  void SetColumnWidth(int column, int width);
  void SetClientSize(int width, int height);
  int ClientWidth() const { return m_clientWidth; }
  int ClientHeight() const { return m_clientHeight; }
  // Every column gets an equal share of the client width.
  void FitColumnsToWindow();

 private:
  std::vector<int> m_heights;
  std::vector<int> m_widths;
  int m_clientWidth = 0;
  int m_clientHeight = 0;
};

// The on-screen half of a frame, which may fail to appear.
class CHolderFrameWindows {
 public:
  virtual ~CHolderFrameWindows() = default;
  virtual bool CreateFrame() = 0;
  virtual bool CreateSplitter(int rows, int columns) = 0;
};

enum class HolderNotice {
  kRightClick,   // on a pane without the caption menu: the parent's turn
  kFitToWindow,  // the command goes on to the pane's window
};

// A frame that shows several panes divided by splitter bars and remembers
// the pane sizes.
class CNTHolderFrame {
 public:
  enum class Kind { kHorizontal, kVertical };  // panes above one another, or side by side

  CNTHolderFrame(Dialogs& dialogs, const CSettingsFiles& settings, ListLog log = {});
  ~CNTHolderFrame();
  CNTHolderFrame(const CNTHolderFrame&) = delete;
  CNTHolderFrame& operator=(const CNTHolderFrame&) = delete;

  // ownerClass and each pane's identifier name the panes. windows may be
  // null (nothing on screen).
  bool CreateHorizontal(std::string_view ownerClass, int width, int height,
                        std::vector<sHolderPane> panes, CHolderFrameWindows* windows = nullptr);
  bool CreateVertical(std::string_view ownerClass, int width, int height,
                      std::vector<sHolderPane> panes, CHolderFrameWindows* windows = nullptr);

  bool Created() const { return m_splitter != nullptr; }
  Kind Orientation() const { return m_kind; }
  int PaneCount() const { return static_cast<int>(m_views.size()); }
  CHolderView& Pane(int index) { return *m_views[static_cast<std::size_t>(index)]; }
  const CHolderView& Pane(int index) const { return *m_views[static_cast<std::size_t>(index)]; }
  CFlatSplitterWnd& Splitter() { return *m_splitter; }
  // The pane's row height (horizontal) or column width (vertical).
  int PaneSize(int index) const;
  void SetPaneSize(int index, int size);
  void Resize(int width, int height);

  void SaveSizes() const;
  void RestoreSizes();

  void SetNotify(std::function<void(HolderNotice, int pane)> notify) {
    m_notify = std::move(notify);
  }
  void SetChanged(std::function<void()> changed) { m_changed = std::move(changed); }
  std::vector<sMenuItem> CaptionMenu() const;
  // A right click on a pane: true when the view shows CaptionMenu().
  bool OnRightClick(int pane);
  bool OnCommand(int pane, int id);

 private:
  bool Create(Kind kind, std::string_view ownerClass, int width, int height,
              std::vector<sHolderPane> panes, CHolderFrameWindows* windows);
  bool ChooseFont(sCaptionFont& font);
  void Changed() const {
    if (m_changed) m_changed();
  }

  Dialogs& m_dialogs;
  const CSettingsFiles& m_settings;
  ListLog m_log;
  Kind m_kind = Kind::kHorizontal;
  std::vector<std::unique_ptr<CHolderView>> m_views;
  std::unique_ptr<CFlatSplitterWnd> m_splitter;
  std::function<void(HolderNotice, int)> m_notify;
  std::function<void()> m_changed;
};

}  // namespace kovo
