#include "charts/bar_chart_dlg.h"

#include <algorithm>

#include "base/format.h"
#include "base/number.h"
#include "plugin/control_block.h"
#include "plugin/field_reader.h"
#include "plugin/mnm_fields.h"
#include "ui/list_types.h"

namespace kovo {
namespace {

constexpr int32_t kOpenInterest = 64;
constexpr int32_t kOpenInterestAtOpen = 63083;
constexpr int32_t kStrikesField = 5;
constexpr const char* kQuoteRequest = "mrv_master";

std::string TextOf(const wmp_msg* message, int32_t field) {
  std::string value;
  int status = 0;
  ReadText(message, field, 0, value, status);
  return value;
}

int64_t LongOf(const wmp_msg* message, int32_t field) {
  int64_t value = 0;
  int status = 0;
  ReadLong(message, field, 0, value, status);
  return value;
}

std::string Change(int64_t now, int64_t open) {
  // Without a start-of-day value there is no change to speak of.
  const double percent = open == 0 ? 0.0 : static_cast<double>(now - open) / open * 100.0;
  return Format("(%0.02f%%)", percent);
}

}  // namespace

std::vector<size_t> ChooseStrikeWindow(size_t count, size_t own) {
  const size_t n = std::min<size_t>(count, CBarChartDlg::kStrikes);
  size_t first = 0;
  const size_t above = own < count ? count - 1 - own : 0;
  if (above < 5) {
    first = count - n;
  } else if (own < 5) {
    first = 0;  // s = own - 4 is below 1
  } else {
    first = std::min(own - 5, count - n);
  }
  std::vector<size_t> window;
  for (size_t i = 0; i < n; ++i) window.push_back(first + i);
  return window;
}

CBarChartReceiver::CBarChartReceiver(CBarChartDlg* chart) : m_chart(chart) {
  m_notifier.onBroadcast = &CBarChartReceiver::OnBroadcast;
  m_notifier.onReply = &CBarChartReceiver::OnReply;
  m_notifier.self = this;
}

void CBarChartReceiver::OnBroadcast(void* self, const wmp_msg* message) {
  try {
    static_cast<CBarChartReceiver*>(self)->m_chart->OnBroadcast(message);
  } catch (...) {
  }
}

void CBarChartReceiver::OnReply(void* self, void* context, const wmp_msg* message, int32_t) {
  try {
    static_cast<CBarChartReceiver*>(self)->m_chart->OnReply(message, context);
  } catch (...) {
  }
}

CBarChartDlg::CBarChartDlg(CControlBlock& cb) : m_cb(cb), m_rx(this) {}

CBarChartDlg::~CBarChartDlg() {
  CloseWindows();
  Unwatch();
  if (m_cb.Host().destroyRxControl) {
    if (m_requests) m_cb.Host().destroyRxControl(m_requests);
    if (m_broadcasts) m_cb.Host().destroyRxControl(m_broadcasts);
  }
}

void* CBarChartDlg::BuildContext() const {
  return reinterpret_cast<void*>(m_build);
}

bool CBarChartDlg::Build(const std::string& exchSeg, const std::string& token) {
  m_strikes.clear();
  m_bars.clear();
  m_replies = 0;
  // Replies still on their way for the previous option must not count here.
  ++m_build;
  const CHostFunctions& host = m_cb.Host();
  sScripDetails scrip{};
  if (!host.getScripDetails || !host.getScripDetails(exchSeg.c_str(), token.c_str(), &scrip))
    return false;
  if (!EnsureView()) {
    m_cb.MessageBox(kNoControl);
    return false;
  }
  // The receiver controls come with the first scrip: a pane nobody loads
  // costs the host none.
  if (!m_requests && !m_broadcasts && host.getRxControl) {
    m_requests = host.getRxControl(KOVO_RX_REQUESTS, m_rx.Notifier());
    m_broadcasts = host.getRxControl(KOVO_RX_BROADCASTS, m_rx.Notifier());
  }
  m_exchSeg = exchSeg;
  m_title = Format("%s           Open Interest Distribution", scrip.texts[KOVO_SCRIP_NAME]);
  m_view->SetTitle(m_title);
  // The bars of an earlier build go at once; the new ones wait for their rows.
  Changed();
  if (!host.getInterestedScripField || !host.getOptionTokens) return false;
  const int32_t count =
      host.getInterestedScripField(exchSeg.c_str(), token.c_str(), kStrikesField, nullptr, 0);
  if (count <= 0) return false;
  std::vector<double> strikes(static_cast<size_t>(count));
  host.getInterestedScripField(exchSeg.c_str(), token.c_str(), kStrikesField, strikes.data(),
                               count);
  std::sort(strikes.begin(), strikes.end());
  const double own = LeadingDouble(scrip.texts[KOVO_SCRIP_STRIKE]);
  const auto at = std::lower_bound(strikes.begin(), strikes.end(), own);
  const size_t k = static_cast<size_t>(at - strikes.begin());
  const double divisor = scrip.priceMultiplier > 0 ? scrip.priceMultiplier : 100.0;
  for (const size_t i : ChooseStrikeWindow(strikes.size(), k)) {
    sOiStrike s;
    s.strike = strikes[i];
    s.label = Format("%.*lf", scrip.pricePrecision, strikes[i] / divisor);
    char call[64] = {}, put[64] = {};
    if (!host.getOptionTokens(exchSeg.c_str(), token.c_str(), strikes[i], call, sizeof call, put,
                              sizeof put))
      return false;
    s.callToken = call;
    s.putToken = put;
    m_strikes.push_back(std::move(s));
  }
  for (const char* side : {"Call", "Put"}) {
    const bool isCall = side[0] == 'C';
    for (const sOiStrike& s : m_strikes) {
      m_cb.SendRequest(
          m_requests, BuildContext(), kQuoteRequest,
          {{MNM_EXCH_SEG, exchSeg}, {MNM_TRADING_SYMBOL, isCall ? s.callToken : s.putToken}},
          Format("request for Today's %s is failed", side));
    }
  }
  Unwatch();
  for (const char* side : {"Call", "Put"}) {
    const bool isCall = side[0] == 'C';
    for (const sOiStrike& s : m_strikes) {
      const std::string& t = isCall ? s.callToken : s.putToken;
      const KovoFieldMatch pairs[3] = {{MNM_EXCH_SEG, exchSeg.c_str(), -1},
                                       {MNM_TRADING_SYMBOL, t.c_str(), -1},
                                       {kOpenInterest, nullptr, -1}};
      int32_t error = 0;
      const int64_t handle = m_broadcasts && m_broadcasts->ops && m_broadcasts->ops->addWatch
                                 ? m_broadcasts->ops->addWatch(m_broadcasts, pairs, 3, &error)
                                 : 0;
      if (handle > 0)
        m_watches.push_back(handle);
      else
        m_cb.Report(Format("adding watch failed for Tdy's %s", side), kReportError);
    }
  }
  return true;
}

bool CBarChartDlg::EnsureView() {
  if (!m_view) m_view = m_cb.Views().CreateOiChart(*this);
  return m_view != nullptr;
}

void CBarChartDlg::Changed() {
  if (m_view) m_view->Refresh();
}

bool CBarChartDlg::CreatePane() {
  if (m_paneAdded) return true;
  if (!EnsureView()) return false;
  m_paneAdded = m_cb.Frame().AddPane(kPaneId, kPaneTitle, *m_view);
  if (!m_paneAdded) return false;
  m_cb.Frame().ShowPane(kPaneId, false);
  m_view->Show(false);
  return true;
}

bool CBarChartDlg::ShowPane(bool show) {
  if (!CreatePane()) return false;
  m_cb.Frame().ShowPane(kPaneId, show);
  m_view->Show(show);
  m_cb.Frame().RecalcLayout();
  return true;
}

void CBarChartDlg::CloseWindows() {
  if (m_paneAdded) {
    m_paneAdded = false;
    HostFrame& frame = m_cb.Frame();
    if (frame.IsFloating(kPaneId)) frame.DockPane(kPaneId);
    frame.RemovePane(kPaneId);
  }
  m_view.reset();
}

void CBarChartDlg::Unwatch() {
  if (m_broadcasts && m_broadcasts->ops && m_broadcasts->ops->removeWatch) {
    for (const int64_t h : m_watches) {
      int32_t error = 0;
      m_broadcasts->ops->removeWatch(m_broadcasts, h, &error);
    }
  }
  m_watches.clear();
}

sOiStrike* CBarChartDlg::FindToken(const std::string& token, bool& call) {
  for (sOiStrike& s : m_strikes) {
    if (s.callToken == token) return call = true, &s;
    if (s.putToken == token) return call = false, &s;
  }
  return nullptr;
}

void CBarChartDlg::OnReply(const wmp_msg* message, void* context) {
  if (context != BuildContext()) return;
  std::string error;
  if (ReplyFailed(message, &error)) {
    m_cb.MessageBox(error);
    return;
  }
  // The empty closing message of each quote reply carries no row.
  if (ClosesReply(message) || TextOf(message, MNM_REPLY_REQUEST) != kQuoteRequest) return;
  bool call = false;
  sOiStrike* s = FindToken(TextOf(message, MNM_TRADING_SYMBOL), call);
  if (!s) return;
  (call ? s->callOi : s->putOi) = LongOf(message, kOpenInterest);
  (call ? s->callOiOpen : s->putOiOpen) = LongOf(message, kOpenInterestAtOpen);
  // A row repeated for the same side refreshes it but is not another row.
  bool& in = call ? s->callIn : s->putIn;
  if (!in) {
    in = true;
    if (++m_replies == 2 * static_cast<int>(m_strikes.size())) Redraw();
  } else if (AllRowsIn()) {
    Redraw();
  }
}

void CBarChartDlg::OnBroadcast(const wmp_msg* message) {
  if (FieldCount(message, kOpenInterest) <= 0) return;
  bool call = false;
  sOiStrike* s = FindToken(TextOf(message, MNM_TRADING_SYMBOL), call);
  if (!s) return;
  (call ? s->callOi : s->putOi) = LongOf(message, kOpenInterest);
  if (m_replies >= 2 * static_cast<int>(m_strikes.size())) Redraw();
}

void CBarChartDlg::Redraw() {
  m_bars.clear();
  for (const sOiStrike& s : m_strikes) {
    m_bars.push_back({static_cast<double>(s.callOi), kCallColour});
    m_bars.push_back({static_cast<double>(s.callOi - s.callOiOpen), kCallColour});
    m_bars.push_back({static_cast<double>(s.putOi), kPutColour});
    m_bars.push_back({static_cast<double>(s.putOi - s.putOiOpen), kPutColour});
  }
  Changed();
}

std::string CBarChartDlg::Tooltip(size_t strike) const {
  if (strike >= m_strikes.size()) return {};
  const sOiStrike& s = m_strikes[strike];
  return Format("%s\nCall: %0.04f %s\nPut: %0.04f %s\n", s.label.c_str(),
                static_cast<double>(s.callOi), Change(s.callOi, s.callOiOpen).c_str(),
                static_cast<double>(s.putOi), Change(s.putOi, s.putOiOpen).c_str());
}

namespace {

// The scrip of an exchange segment and token, when it is an option.
bool ResolveOption(const CControlBlock& cb, const std::string& exchSeg, const std::string& token) {
  sScripDetails scrip{};
  if (!cb.Host().getScripDetails ||
      !cb.Host().getScripDetails(exchSeg.c_str(), token.c_str(), &scrip))
    return false;
  return std::string(scrip.texts[KOVO_SCRIP_INSTRUMENT]).find("OPT") != std::string::npos;
}

}  // namespace

CBarChartDlg& OiChartOf(CControlBlock& cb) {
  // Only this library puts a module in this slot.
  if (!cb.oiChart) cb.oiChart = std::make_unique<CBarChartDlg>(cb);
  return static_cast<CBarChartDlg&>(*cb.oiChart);
}

void OpenInterestBar(CControlBlock& cb, const std::string& exchSeg, const std::string& token) {
  if (!ResolveOption(cb, exchSeg, token)) {
    cb.MessageBox(CBarChartDlg::kNotOption);
    return;
  }
  CBarChartDlg& chart = OiChartOf(cb);
  if (!chart.ShowPane(true)) {
    cb.MessageBox(CBarChartDlg::kNoControl);
    return;
  }
  chart.Build(exchSeg, token);
  cb.Settings().Write(CBarChartDlg::kSection, CBarChartDlg::kKey, exchSeg + "|" + token,
                      kZintSettingsFile, SettingsLocation::kUserFolder);
}

void RestoreOpenInterestBar(CControlBlock& cb) {
  std::string key;
  if (!cb.Settings().Read(CBarChartDlg::kSection, CBarChartDlg::kKey, key, kZintSettingsFile,
                          SettingsLocation::kUserFolder))
    return;
  const size_t bar = key.find('|');
  if (bar == std::string::npos) return;
  const std::string exchSeg = key.substr(0, bar), token = key.substr(bar + 1);
  // A scrip that is no longer an option leaves the chart empty.
  if (ResolveOption(cb, exchSeg, token)) OiChartOf(cb).Build(exchSeg, token);
}

}  // namespace kovo
