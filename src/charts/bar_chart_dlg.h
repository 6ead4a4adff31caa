#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

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
class CBarChartDlg {
 public:
  static constexpr int kStrikes = 11;
  static constexpr ColorRef kCallColour = 13145700;
  static constexpr ColorRef kPutColour = 255;
  static constexpr ColorRef kBackColour = 0xF0FFFF;

  explicit CBarChartDlg(CControlBlock& cb);
  ~CBarChartDlg();
  CBarChartDlg(const CBarChartDlg&) = delete;
  CBarChartDlg& operator=(const CBarChartDlg&) = delete;

  // Picks the strikes, asks for their quotes and watches their open interest.
  bool Build(const std::string& exchSeg, const std::string& token);
  void OnReply(const wmp_msg* message);
  void OnBroadcast(const wmp_msg* message);

  const std::string& Title() const { return m_title; }
  const std::vector<sOiStrike>& Strikes() const { return m_strikes; }
  int Replies() const { return m_replies; }
  // Per strike: call, call change, put, put change; empty until every reply is in.
  const std::vector<sOiBar>& Bars() const { return m_bars; }
  std::string Tooltip(size_t strike) const;

 private:
  void Redraw();
  void Unwatch();
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
};

}  // namespace kovo
