#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "platform/view.h"
#include "plugin/session_module.h"
#include "ui/list_types.h"

namespace kovo {

class CControlBlock;
class CBarChartDlg;

// One strike of the open interest distribution.
struct sOiStrike {
  double strike = 0;  // price units
  std::string label;
  std::string callToken, putToken;
  int64_t callOi = 0, callOiOpen = 0, putOi = 0, putOiOpen = 0;
  bool callIn = false, putIn = false;  // its quote row counted
};

// One drawn bar: a value and its colour.
struct sOiBar {
  double value = 0;
  ColorRef colour = 0;
};

// The eleven strikes shown around an option's own: indexes into the sorted list.
std::vector<size_t> ChooseStrikeWindow(size_t count, size_t own);

// Receives the quote replies and open interest broadcasts for the chart.
class CBarChartReceiver {
 public:
  explicit CBarChartReceiver(CBarChartDlg* chart);
  const KovoRxNotifier* Notifier() const { return &m_notifier; }

 private:
  static void OnBroadcast(void* self, const wmp_msg* message);
  static void OnReply(void* self, void* context, const wmp_msg* message, int32_t status);
  CBarChartDlg* m_chart;
  KovoRxNotifier m_notifier;
};

// The open interest distribution chart of one option: calls' and puts' open
// interest and today's change at eleven strikes around the option's own.
// The control block holds the one chart of a session (OiChartOf); its window
// is a docked pane.
class CBarChartDlg final : public CSessionModule {
 public:
  static constexpr int32_t kBarId = 10053;
  static constexpr const char* kPaneId = "ZintOpenInterest";
  static constexpr const char* kPaneTitle = "Open Interest Distribution";
  static constexpr const char* kNoControl = "Unable to create the chart control";
  static constexpr const char* kNotOption = "Please Select an option scrip";
  static constexpr const char* kSection = "OPEN_INTEREST_BAR";
  static constexpr const char* kKey = "SYMBOL";
  static constexpr int kStrikes = 11;
  static constexpr ColorRef kCallColour = 13145700;
  static constexpr ColorRef kPutColour = 255;
  static constexpr ColorRef kBackColour = 0xF0FFFF;

  explicit CBarChartDlg(CControlBlock& cb);
  ~CBarChartDlg() override;
  CBarChartDlg(const CBarChartDlg&) = delete;
  CBarChartDlg& operator=(const CBarChartDlg&) = delete;

  // Picks the strikes, asks for their quotes and watches their open interest.
  // Without a window to draw in it says so and does nothing.
  bool Build(const std::string& exchSeg, const std::string& token);
  // The window docked in the host's frame, hidden; false when none can be made.
  bool CreatePane();
  bool ShowPane(bool show);
  void CloseWindows() override;
  View* GetView() const { return m_view.get(); }
  // context is the one the request went with: replies to an earlier
  // build's requests are not this build's rows.
  void OnReply(const wmp_msg* message, void* context);
  // What the current build's requests carry as their context.
  void* BuildContext() const;
  void OnBroadcast(const wmp_msg* message);

  const std::string& Title() const { return m_title; }
  const std::vector<sOiStrike>& Strikes() const { return m_strikes; }
  int Replies() const { return m_replies; }
  // Every quote row of the current build is in, so the bars stand.
  bool AllRowsIn() const {
    return !m_strikes.empty() && m_replies >= 2 * static_cast<int>(m_strikes.size());
  }
  // Per strike: call, call change, put, put change; empty until every reply is in.
  const std::vector<sOiBar>& Bars() const { return m_bars; }
  std::string Tooltip(size_t strike) const;

 private:
  void Redraw();
  void Unwatch();
  bool EnsureView();
  void Changed();
  sOiStrike* FindToken(const std::string& token, bool& call);

  CControlBlock& m_cb;
  CBarChartReceiver m_rx;
  KovoRxControl* m_requests = nullptr;
  KovoRxControl* m_broadcasts = nullptr;
  std::string m_exchSeg;
  std::string m_title;
  std::vector<sOiStrike> m_strikes;
  std::vector<int64_t> m_watches;
  std::vector<sOiBar> m_bars;
  int m_replies = 0;
  uintptr_t m_build = 0;  // counts builds; never 0 once one began
  std::unique_ptr<View> m_view;
  bool m_paneAdded = false;
};

// The session's chart, made on first need.
CBarChartDlg& OiChartOf(CControlBlock& cb);
// The "Open Interest Bar" command for the scrip selected in the host: an
// option is loaded into the shown pane and remembered for the next session.
void OpenInterestBar(CControlBlock& cb, const std::string& exchSeg, const std::string& token);
// At a session's launch: the remembered scrip, when it is still an option.
void RestoreOpenInterestBar(CControlBlock& cb);

}  // namespace kovo
