#include "market/news_window.h"

#include <fstream>

#include "base/format.h"
#include "base/text.h"
#include "market/broker_calls.h"
#include "plugin/control_block.h"
#include "plugin/list_ports.h"

namespace kovo {

// ---- story window

bool CNewsStory::Open(size_t index) {
  m_source = {};
  if (index >= Count()) return false;
  Show(index, "Story - ");
  return true;
}

bool CNewsStory::Open(sStorySource source, size_t index) {
  if (!source.size || !source.at) return false;
  m_source = std::move(source);
  if (index >= Count()) return false;
  Show(index, "Story - ");
  return true;
}

size_t CNewsStory::Count() const {
  return m_source.size ? m_source.size() : m_items.size();
}

sNewsDetails* CNewsStory::At(size_t index) const {
  if (index >= Count()) return nullptr;
  return m_source.at ? m_source.at(index) : &m_items[index];
}

void CNewsStory::Show(size_t index, const char* captionHead) {
  sNewsDetails* item = At(index);
  if (!item) return;
  m_index = index;
  m_open = true;
  m_caption = captionHead + item->headline;
  item->read = true;
  if (m_view) {
    m_view->SetTitle(m_caption);
    m_view->Refresh();
    m_view->Show(true);
  }
  if (onShown) onShown();
}

void CNewsStory::Previous() {
  if (PreviousVisible()) Show(m_index - 1, "News Story - ");
}

void CNewsStory::Next() {
  if (NextVisible()) Show(m_index + 1, "News Story - ");
}

bool CNewsStory::OnCommand(int id) {
  switch (id) {
    case kIdPreviousStory:
      Previous();
      return true;
    case kIdNextStory:
      Next();
      return true;
    case kIdEmailStory:
      Email();
      return true;
    case kIdPrintStory:
      Print();
      return true;
    default:
      return false;
  }
}

std::string CNewsStory::Content() const {
  const sNewsDetails* item = Item();
  if (!item) return {};
  return item->headline + "\n\n" + item->text;
}

int CNewsStory::Icon() const {
  const sNewsDetails* item = Item();
  if (!item) return 26105;
  const std::string& kind = item->reportType;
  if (kind == "Technical Calls") return 26109;
  if (kind == "Research Calls") return 26108;
  return 26105;
}

std::string CNewsStory::MailTarget(const sNewsDetails& item) {
  std::string body = "Kovo News :%0D%0A";
  for (const char c : item.text) {
    if (c == '\n')
      body += "%0A";
    else if (c == '\t')
      body += "%20";
    else if (c == '&')
      body += "%26";
    else
      body += c;
  }
  const std::string subject = "Kovo News : " + item.headline;
  return Format("mailto:?subject=%s&body=%s", subject.c_str(), body.c_str());
}

bool CNewsStory::Email() {
  const sNewsDetails* item = Item();
  if (!item) return false;
  return m_shell.Execute("open", MailTarget(*item));
}

std::string CNewsStory::RichText(const sNewsDetails& item) {
  const auto escape = [](const std::string& text) {
    std::string out;
    for (const char c : text) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '\\' || c == '{' || c == '}') {
        out += '\\';
        out += c;
      } else if (c == '\n') {
        out += "\\par\n";
      } else if (u >= 0x80 || (u < 0x20 && c != '\t')) {
        out += Format("\\'%02x", u);
      } else {
        out += c;
      }
    }
    return out;
  };
  return "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\b\\fs30 " + escape(item.headline) +
         "\\b0\\fs18\\par\n\\par\n" + escape(item.text) + "}";
}

bool CNewsStory::Print() {
  const sNewsDetails* item = Item();
  if (!item) return false;
  const std::filesystem::path file = m_workingDir / "temp.rtf";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << RichText(*item);
    if (!out) return false;
  }
  return m_shell.Execute("print", file.string());
}

// ---- news window

namespace {

constexpr int kReportTypeDescriptor = static_cast<int>(NewsColumn::kReportType);

}  // namespace

CNews::CNews(CControlBlock& cb, CNewsFeed& feed, Shell& shell, std::filesystem::path workingDir)
    : m_cb(cb),
      m_feed(feed),
      m_list(ListPortsOf(cb), kProfileName),
      m_story(feed.Calls(), shell, std::move(workingDir)) {
  // Items are kept by position in the global list, which only grows.
  m_list.SetTextCallback([this](void*, ItemData data, int column, sCellInfo& cell) {
    return data != 0 && Cell(static_cast<size_t>(data - 1), column, cell);
  });
  m_story.onShown = [this] {
    if (m_view) m_view->Refresh();
    if (onStoryShown) onStoryShown();
  };
  m_list.SetOwner(this);
  m_list.SetDefaultVisible({0, 1, 2, 3, 4, 12, 13});
  m_list.SetColumns(NewsColumns());
  m_list.EnableFilterHeader(true);
  Reload();
}

void CNews::Reload() {
  m_list.DeleteAllItems();
  for (size_t i = 0; i < m_feed.Calls().size(); ++i)
    if (ShowsItem(i)) m_list.InsertItem(0, static_cast<ItemData>(i + 1));
}

void CNews::ShowScrip(const std::string& tradingSymbol, const std::string& token) {
  m_scripNames.clear();
  for (const std::string& name : {Trim(tradingSymbol), Trim(token)})
    if (!name.empty()) m_scripNames.push_back(name);
  SetCaption(m_scripNames.empty() ? std::string("News") : "News - " + m_scripNames.front());
  Reload();
}

bool CNews::ShowsItem(size_t index) const {
  if (m_scripNames.empty()) return true;
  if (index >= m_feed.Calls().size()) return false;
  const std::string cell = NewsCellText(m_feed.Calls()[index], NewsColumn::kSymbol, false);
  for (const std::string& entry : Tokenize(cell, ",", TokenTrim::kYes)) {
    for (const std::string& name : m_scripNames)
      if (EqualsNoCase(entry, name)) return true;
  }
  return false;
}

void CNews::AddNewest() {
  if (m_feed.Calls().empty() || !ShowsItem(m_feed.Calls().size() - 1)) return;
  m_list.InsertItem(0, static_cast<ItemData>(m_feed.Calls().size()));
  if (m_view) m_view->Refresh();
}

bool CNews::Cell(size_t index, int column, sCellInfo& cell) const {
  if (index >= m_feed.Calls().size() || column < 0 || column >= kNewsColumnCount) return false;
  const sNewsDetails& item = m_feed.Calls()[index];
  const auto which = static_cast<NewsColumn>(column);
  cell.text = NewsCellText(item, which, false);
  const sRgb colour = NewsRowColour(item);
  cell.textColor = Rgb(static_cast<uint8_t>(colour.r), static_cast<uint8_t>(colour.g),
                       static_cast<uint8_t>(colour.b));
  if (which == NewsColumn::kIndicator) cell.icon = NewsIcon(item);
  return true;
}

std::vector<sMenuItem> CNews::ContextMenu() const {
  return {{kCmdNews, "News"},
          {kCmdTechnicalCalls, "Technical Calls"},
          {kCmdResearchCalls, "Research Calls"},
          {0, ""},
          {kCmdWriteToExcel, "Write To Excel"},
          {kCmdNewsGridLines, "Draw Grid Lines", m_list.GridLines()}};
}

void CNews::FilterTab(const char* tab, std::string caption) {
  const int pos = m_list.Position(kReportTypeDescriptor);
  if (pos >= 0) m_list.SetFilter(pos, tab, false);
  SetCaption(std::move(caption));
}

void CNews::SetCaption(std::string caption) {
  m_caption = std::move(caption);
  if (m_view) m_view->SetTitle(m_caption);
}

bool CNews::OnCommand(int id) {
  switch (id) {
    case kCmdNews: {
      // All items again: the tab filter and the scrip go.
      const int pos = m_list.Position(kReportTypeDescriptor);
      if (pos >= 0) m_list.ClearFilter(pos);
      if (!m_scripNames.empty()) {
        m_scripNames.clear();
        Reload();
      }
      SetCaption("News");
      return true;
    }
    case kCmdTechnicalCalls:
      FilterTab("Technical calls",
                Format("Technical calls - %s", m_cb.session.loggedInUserId.c_str()));
      return true;
    case kCmdResearchCalls:
      FilterTab("Research calls",
                Format("Research calls - %s", m_cb.session.loggedInUserId.c_str()));
      return true;
    case kCmdNewsWriteToExcel:
      m_list.WriteToExcel();
      return true;
    case kCmdNewsGridLines:
      m_list.ToggleGridLines();
      return true;
    default:
      return m_list.OnCommand(id);
  }
}

bool CNews::Show() {
  if (!m_view) m_view = m_cb.Views().CreateNewsWindow(*this);
  if (!m_view) return false;
  EnsureStoryView();
  Reload();
  m_view->SetTitle(m_caption);
  m_view->Refresh();
  m_view->Show(true);
  return true;
}

void CNews::EnsureStoryView() {
  if (!m_story.GetView()) m_story.SetView(m_cb.Views().CreateNewsStory(m_story));
}

bool CNews::OnEnter() {
  for (const int row : m_list.Selection()) {
    const ItemData data = m_list.GetItemData(row);
    if (data) return m_story.Open(static_cast<size_t>(data - 1));
  }
  return false;
}

}  // namespace kovo
