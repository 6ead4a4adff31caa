#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "market/mkt_monitor_settings.h"
#include "platform/view.h"
#include "plugin/session_module.h"
#include "ui/filter_list_ctrl.h"

namespace kovo {

class CControlBlock;
class CZintMktMonitor;

// One message type of the tree.
struct sMktMonitorNode {
  bool checked = false;
  std::vector<int64_t> handles;  // one registration per exchange
  ColorRef colour = 0;
};

// One list row, built from one broadcast.
struct sMktMonitorMsg {
  std::string exchange;
  std::string scripKey;
  std::string tradingSymbol;
  std::string time;
  std::string text;
  std::string messageType;
};

// Receives the message-type reply and the broadcasts for the window.
class CZintMktMonitorReqRx {
 public:
  explicit CZintMktMonitorReqRx(CZintMktMonitor* window);
  const KovoRxNotifier* Notifier() const { return &m_notifier; }

 private:
  static void OnBroadcast(void* self, const wmp_msg* message);
  static void OnReply(void* self, void* context, const wmp_msg* message, int32_t status);
  CZintMktMonitor* m_window;
  KovoRxNotifier m_notifier;
};

// What the monitor tells its view; the view reads the state back.
class CMktMonitorObserver {
 public:
  enum class Change { kTree, kTopRowShown, kLook, kListMenu };
  virtual ~CMktMonitorObserver() = default;
  virtual void OnMonitorChanged(Change what) = 0;
};

// The market monitor's behaviour: the check-box tree of message types, the
// subscriptions that follow it per type and exchange, and the newest-first
// list of market messages coloured by type. Lives on the UI thread.
class CZintMktMonitor final : public CSessionModule {
 public:
  static constexpr const char* kTitle = "Zint market Monitor";
  static constexpr const char* kListTitle = "Zint Mkt Monitor List";
  static constexpr const char* kAll = "--ALL--";
  static constexpr const char* kConfiguration = "Configuration";
  static constexpr const char* kHotKeyGroup = "Zint Market Monitor";
  static constexpr const char* kNotCompatible = "Market Monitor is not compatible with this exe";
  static constexpr const char* kRequestName = "get_message_type";
  static constexpr const char* kPaneId = "ZintMarketMonitor";
  static constexpr const char* kAddToMarketWatchContext = "ADD_TO_MW";
  static constexpr int kListId = 150;
  static constexpr int kTreeId = 151;
  static constexpr int kExchangeBoxId = 16064;
  static constexpr int kLeftWidth = 150;
  static constexpr int32_t kHotKeyBase = 1024;
  static constexpr ColorRef kBackColor = Rgb(255, 255, 255);
  // Column descriptors.
  enum Column { kColTime, kColExchange, kColSymbol, kColIndicator, kColText };
  // Commands.
  enum Command : int {
    kCmdBuy = 102,
    kCmdSell = 103,
    kCmdOrderBook = 104,
    kCmdTradeBook = 105,
    kCmdMarketPicture = 106,
    kCmdGrid = 107,
    kCmdExcel = 108,
    kCmdChangeColour = 110,
    kCmdFactoryReset = 111,
    kCmdFilter = 112,
    kCmdClickFilter = 113,
    kCmdScrollLock = 114,
    kCmdAddRowsToMarketWatch = 501,
  };
  // Hot key command ids.
  enum HotKeyCommand : int32_t {
    kHotBuy = 500,
    kHotSell = 501,
    kHotOrderBook = 502,
    kHotTradeBook = 503,
    kHotMarketPicture = 504,
  };

  explicit CZintMktMonitor(CControlBlock& cb);
  ~CZintMktMonitor() override;
  CZintMktMonitor(const CZintMktMonitor&) = delete;
  CZintMktMonitor& operator=(const CZintMktMonitor&) = delete;

  // Takes the receiver controls, prepares the list, registers the hot keys,
  // loads the settings, fills the exchanges, asks for the message types and
  // subscribes. False (after the message box) when the host cannot serve it.
  bool SetUp();
  // Writes the settings, drops rows, types and registrations.
  void Close();
  // Makes the docking pane, docked and hidden; true when it exists.
  bool CreatePane();
  // The docking pane: made and docked on first show.
  bool ShowPane(bool show);
  void CloseWindows() override;
  View* PaneView() const { return m_view.get(); }

  void SetObserver(CMktMonitorObserver* observer) { m_observer = observer; }

  // ---- state
  CFilterListCtrl& List() { return m_list; }
  const CFilterListCtrl& List() const { return m_list; }
  bool AllChecked() const { return m_allChecked; }
  bool ScrollLock() const { return m_scrollLock; }
  bool ClickFilter() const { return m_clickFilter; }
  bool Started() const { return m_started; }
  const std::map<std::string, sMktMonitorNode>& Types() const { return m_types; }
  // The tree: the root and its type items, alphabetical.
  std::vector<std::string> TypeItems() const;
  bool ItemChecked(const std::string& item) const;
  ColorRef ItemColour(const std::string& item) const;
  const std::vector<std::string>& Exchanges() const { return m_exchanges; }
  const std::vector<int64_t>& AllTypeHandles() const { return m_allHandles; }
  const std::string& SelectedItem() const { return m_selectedItem; }
  ColorRef RowColour(const sMktMonitorMsg& row) const;
  // The row behind a visible list row, or null.
  const sMktMonitorMsg* Row(int row) const;

  // ---- events
  void OnTypesReply(const wmp_msg* message);
  void OnBroadcast(const wmp_msg* message);
  // The host's later answer to a look-up made with a context; the market
  // watch gets the scrip an "Add To MarketWatch" asked for.
  void OnScripDetails(std::string_view context, const sScripDetails& details);
  // A click on an item's check box, before the tree toggles it.
  void OnCheckClick(const std::string& item);
  // A click on an item beside its box.
  void OnItemClick(const std::string& item);
  void OnItemDoubleClick(const std::string& item);
  void SelectItem(const std::string& item) { m_selectedItem = item; }
  void SetListFocus(bool focus) { m_listFocus = focus; }
  bool ListFocus() const { return m_listFocus; }
  std::vector<sMenuItem> ListMenu() const;
  std::vector<sMenuItem> TreeMenu() const;
  bool OnCommand(int id);
  // The window message the host's hot key sends: command id + 1024.
  void OnHotKeyMessage(int32_t message);

 private:
  static void AddExchange(void* window, int32_t controlId, const char* text);
  static void HotKeyThunk(void* window, int32_t message);
  void PrepareList();
  void RegisterHotKeys();
  void LoadSettings();
  bool ReadKey(const char* key, std::string& value) const;
  void SendTypesRequest();
  void InsertType(const std::string& type, sMktMonitorNode node);
  // Registrations.
  std::vector<int64_t> Register(const char* type);
  void Unregister(std::vector<int64_t>& handles);
  void SubscribeAll();
  void RemoveAll();
  void SubscribeType(const std::string& type);
  void RemoveType(const std::string& type);
  void FilterBy(const std::string& item);
  void ChangeColour(const std::string& item);
  void FactoryReset();
  void RowAction(int command);
  void AddToMarketWatch();
  bool CanInvoke() const;
  void Changed(CMktMonitorObserver::Change what) const;
  bool Cell(ItemData data, int column, sCellInfo& cell) const;

  CControlBlock& m_cb;
  CZintMktMonitorReqRx m_rx;
  CFilterListCtrl m_list;
  std::map<std::string, sMktMonitorNode> m_types;
  std::map<std::string, bool> m_itemChecked;
  std::vector<int64_t> m_allHandles;
  KovoRxControl* m_requestControl = nullptr;
  KovoRxControl* m_broadcastControl = nullptr;
  std::vector<std::string> m_exchanges;
  std::deque<std::unique_ptr<sMktMonitorMsg>> m_rows;
  std::string m_selectedItem;
  bool m_allChecked = true;
  bool m_scrollLock = false;
  bool m_clickFilter = false;
  bool m_started = false;
  bool m_listFocus = false;
  bool m_closed = false;
  CMktMonitorObserver* m_observer = nullptr;
  std::unique_ptr<View> m_view;
  bool m_paneAdded = false;
};

// The control block's monitor, or null before its first show.
CZintMktMonitor* MarketMonitorOf(const CControlBlock& cb);
// Sets the monitor up on first use; null (after the set-up's own message) when it cannot start.
CZintMktMonitor* EnsureMarketMonitor(CControlBlock& cb);
// The "Market Monitor" command: sets the monitor up on first use and shows its pane.
void ShowMarketMonitor(CControlBlock& cb);

}  // namespace kovo
