#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "platform/ui_thread.h"
#include "platform/view.h"
#include "plugin/session_module.h"
#include "ui/filter_list_ctrl.h"

namespace kovo {

class CControlBlock;

// One row of the movers list; each row's item data points at one.
struct sMoverItem {
  int32_t rank = -1;
  std::string symbol;
  std::string exchange;
  // -1.0 until the reply gives one. A loser of exactly -1.00% also scales to
  // -1.0, so whether a value was read is kept apart.
  double value = -1.0;
  bool hasValue = false;
  // The scrip's symbol text, from the host's later answer to the window's
  // look-up of the row; empty until it comes.
  std::string detail;
};

enum MoverCategory : int32_t {
  kCategoryNone = -1,
  kVolumeLeaders = 0,
  kValueLeaders = 1,
  kGainers = 2,
  kLosers = 3,
};

// The control ids of one form of the window.
struct sScannerIds {
  int list;
  int categoryFirst;  // four buttons from here, in category order
  int autoRefresh;
  int recordCount;
};

// Context menu commands.
inline constexpr int kCmdAddToMarketWatch = 501;
inline constexpr int kCmdConfiguration = 502;
inline constexpr int kCmdMoversWriteToExcel = 503;

// The market movers window's behaviour, shared by the pane and the dialog:
// asks the back end for one exchange's leading scrips in one category and
// keeps them ranked in a filter list. Lives on the UI thread.
class CMarketScannerLogic {
 public:
  static constexpr int kRefreshTimer = 5000;
  static constexpr int kRefreshBaseMs = 60000;
  static constexpr int kDefaultRecordCount = 25;
  static constexpr int kMaxRecordCount = 500;
  static constexpr int kRefresh5Limit = 25;  // counts up to this refresh every 5 minutes
  static constexpr uint32_t kSelectedColor = 0xFF0000;
  static constexpr uint32_t kNormalColor = 0x646464;
  static constexpr uint32_t kButtonBackColor = 0xFFFFFF;
  static constexpr const char* kListTitle = "Zint Market Movers List";
  static constexpr const char* kNotCompatible = "Market Movers is not compatible with this exe";
  static constexpr const char* kLabelFont = "Verdana";
  static constexpr const char* kCategoryTexts[4] = {"Volume Leaders", "Value Leaders", "% Gainers",
                                                    "% Losers"};

  CMarketScannerLogic(CControlBlock& cb, sScannerIds ids, std::string name);
  virtual ~CMarketScannerLogic();
  CMarketScannerLogic(const CMarketScannerLogic&) = delete;
  CMarketScannerLogic& operator=(const CMarketScannerLogic&) = delete;

  const std::string& Name() const { return m_name; }
  const sScannerIds& Ids() const { return m_ids; }

  // ---- set-up; false when the host cannot serve the window
  bool InitDialog();
  bool IsInitialised() const { return m_initialised; }

  // ---- what the controls hold; the view writes them as the user edits
  const std::vector<std::string>& Exchanges() const { return m_exchanges; }
  int SelectedExchange() const { return m_selectedExchange; }
  void SelectExchange(int index);
  const std::string& RecordCountText() const { return m_recordCountText; }
  int32_t RecordCount() const { return m_recordCount; }
  const std::string& LowerPrice() const { return m_lowerPrice; }
  const std::string& UpperPrice() const { return m_upperPrice; }
  void SetLowerPrice(std::string text) { m_lowerPrice = std::move(text); }
  void SetUpperPrice(std::string text) { m_upperPrice = std::move(text); }
  bool AutoRefreshChecked() const { return m_autoRefresh; }

  // ---- user input
  // A category button by its control id; false for an id not of one.
  bool OnCategoryClick(int controlId);
  // The check box was clicked and now holds checked.
  void OnAutoRefreshClick(bool checked);
  // The record count edit now holds text.
  void OnRecordCountChange(std::string text);
  void OnTimer();
  std::vector<sMenuItem> ContextMenu() const;
  bool OnCommand(int id);
  void OnListDoubleClick() { OnCommand(kCmdConfiguration); }
  void SetListFocus(bool focus) { m_listFocus = focus; }
  void OnClose();

  // ---- replies, through this window's own receiver control
  void OnReply(const wmp_msg* message);

  // ---- the host's later answers to the rows' look-ups (its context look-up
  // by trading symbol, asked for every row of a reply)
  // The context the look-ups went out with; empty before any.
  const std::string& PendingContext() const { return m_pendingContext; }
  // False (nothing changes) for another context, a record missing the
  // exchange, trading symbol or symbol text, or a scrip not in the list.
  bool OnScripDetails(std::string_view context, const sScripDetails& details);

  // ---- state the view draws
  int32_t Category() const { return m_category; }
  uint32_t ButtonColor(int category) const;
  bool RequestPending() const { return m_pending; }
  bool ConfigurationShown() const { return m_configShown; }
  bool AutoRefreshEnabled() const { return m_autoRefreshEnabled; }
  const std::string& AutoRefreshLabel() const { return m_autoRefreshLabel; }
  // The refresh period armed now; 0 when the timer is off.
  int RefreshPeriodMs() const { return m_timerPeriod; }
  CFilterListCtrl& List() { return m_list; }
  size_t ItemTotal() const { return m_items.size(); }
  const CFilterListCtrl& List() const { return m_list; }
  // The cell text of an item in a column (by descriptor).
  bool Cell(const sMoverItem& item, int column, sCellInfo& cell) const;
  KovoRxControl* Control() const { return m_control; }

  // ---- the window
  View* GetView() const { return m_view.get(); }
  void SetView(std::unique_ptr<View> view) { m_view = std::move(view); }

 protected:
  CControlBlock& m_cb;
  std::unique_ptr<View> m_view;
  void Changed();

 private:
  static void ReplyThunk(void* self, void* context, const wmp_msg* message, int32_t status);
  static void BroadcastThunk(void*, const wmp_msg*) {}
  void SendRequest(const std::string& exchangeCode);
  bool ConvertExchange(std::string& code) const;
  void ClearRows();
  void RearmTimer();
  void StopTimer();
  void SetValueColumn();
  void LookUpRows();

  sScannerIds m_ids;
  std::string m_name;
  // Rows hidden by a filter are still the list's, so the items live here.
  std::vector<std::unique_ptr<sMoverItem>> m_items;
  CFilterListCtrl m_list;
  KovoRxNotifier m_notifier{};
  KovoRxControl* m_control = nullptr;
  bool m_initialised = false;

  std::vector<std::string> m_exchanges;
  int m_selectedExchange = -1;
  std::string m_recordCountText = "25";
  int32_t m_recordCount = kDefaultRecordCount;
  std::string m_lowerPrice;
  std::string m_upperPrice;
  bool m_autoRefresh = false;
  bool m_autoRefreshEnabled = true;
  std::string m_autoRefreshLabel = "Auto Refresh(5 min)";
  int32_t m_category = kCategoryNone;
  bool m_pending = false;
  bool m_configShown = true;
  bool m_listFocus = false;
  UiThread::TimerId m_timer = 0;
  int m_timerPeriod = 0;
  std::string m_pendingContext;
};

// The dockable pane, created once by the session launch and shown by the
// "Market Movers" command.
class CKovoMarketScanner final : public CMarketScannerLogic {
 public:
  static constexpr int kBarId = 230;
  static constexpr const char* kPaneId = "ZintMarketMovers";
  static constexpr const char* kTitle = "Zint Market Movers";
  static constexpr sScannerIds kIds{1963, 16100, 16052, 1965};

  explicit CKovoMarketScanner(CControlBlock& cb);
  ~CKovoMarketScanner() override;
  // Makes the view, runs the set-up and docks it hidden; false when any step fails.
  bool CreatePane();
  bool HasPane() const { return m_docked; }
  void ShowPane(bool show);

 private:
  bool m_docked = false;
};

// The same window as a plain dialog.
class CKovoMarketScannerDlg final : public CMarketScannerLogic {
 public:
  static constexpr int kTemplateId = 231;
  static constexpr const char* kCaption = "Zint Market Movers";
  static constexpr sScannerIds kIds{2963, 17100, 17052, 2965};

  explicit CKovoMarketScannerDlg(CControlBlock& cb);
  // Makes the hidden dialog; false when it cannot.
  bool Create();
  bool HasWindow() const { return m_view != nullptr && IsInitialised(); }
  void Show(bool show);
};

// The market windows as a part of the session the control block owns.
class CMarketModule final : public CSessionModule {
 public:
  explicit CMarketModule(CControlBlock& cb) : m_cb(cb) {}
  ~CMarketModule() override;
  CKovoMarketScanner& Scanner();
  CKovoMarketScannerDlg& ScannerDlg();
  CKovoMarketScanner* ScannerIfAny() const { return m_scanner.get(); }
  CKovoMarketScannerDlg* ScannerDlgIfAny() const { return m_dialog.get(); }
  void CloseWindows() override;
  // The host's answer to a look-up with a context: the pane takes its own
  // context's answers, else the dialog takes its own. False when neither.
  bool OnScripDetails(std::string_view context, const sScripDetails& details);

 private:
  CControlBlock& m_cb;
  std::unique_ptr<CKovoMarketScanner> m_scanner;
  std::unique_ptr<CKovoMarketScannerDlg> m_dialog;
};

// The control block's market module, made on first use.
CMarketModule& MarketOf(CControlBlock& cb);

}  // namespace kovo
