#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/view.h"
#include "ui/filter_list_ctrl.h"

namespace kovo {

struct sApiOrderInfo;
class CControlBlock;
class COrderManager;

// Controls and commands of the orders window.
inline constexpr int kIdOrdersList = 16004;
inline constexpr int kIdPlaceButton = 16152;
inline constexpr int kIdIgnoreButton = 16153;
inline constexpr int kIdRefreshButton = 16026;
inline constexpr int kCmdPlaceHeldOrder = 1000;
inline constexpr int kCmdRefreshOrders = 1002;

// The orders window of one API script: every order action, newest first,
// and the held orders the user places or ignores. Lives on the UI thread.
class CApiOrderDetailsDlg {
 public:
  static constexpr const char* kProfileName = "ZintAPi Orders List";
  static constexpr const char* kHeldText = "--Triggered--Double click to reflect in Market";
  static constexpr const char* kIgnoredText = "Ignored by User";
  static constexpr ColorRef kBuyColor = Rgb(0, 0, 255);
  static constexpr ColorRef kSellColor = Rgb(255, 0, 0);
  static constexpr ColorRef kPlainColor = Rgb(0, 0, 0);
  static constexpr ColorRef kBackColor = Rgb(255, 255, 255);
  static constexpr const char* kFontFace = "Trebuchet MS";
  static constexpr int kFontHeight = 16;

  CApiOrderDetailsDlg();
  ~CApiOrderDetailsDlg();
  CApiOrderDetailsDlg(const CApiOrderDetailsDlg&) = delete;
  CApiOrderDetailsDlg& operator=(const CApiOrderDetailsDlg&) = delete;

  // The window exists (hidden) from here on, with its list and view; false
  // when it already did.
  bool Create(CControlBlock& cb, COrderManager& manager);
  bool IsCreated() const { return m_cb != nullptr; }
  void SetTitle(std::string title);
  const std::string& Title() const { return m_title; }

  // A new record becomes the newest row.
  void InsertRow(sApiOrderInfo* record);
  const std::deque<sApiOrderInfo*>& Rows() const { return m_rows; }
  // Null before Create.
  CFilterListCtrl* List() const { return m_list.get(); }
  // The cell of a column (by descriptor) of a record, as the list draws it.
  static bool Cell(const sApiOrderInfo& record, int column, sCellInfo& cell);

  // Shown for the user without taking the focus from the caller's window.
  void ShowWithoutActivating();
  // Shown and brought to the front.
  void Show();
  void Hide();
  bool IsVisible() const { return m_visible; }
  bool IsActive() const { return m_active; }

  void EnablePlaceAndIgnore(bool enable);
  bool IsPlaceEnabled() const { return m_placeEnabled; }
  bool IsIgnoreEnabled() const { return m_ignoreEnabled; }

  // ---- user input
  void OnDoubleClick();
  // The right-click menu for the current selection.
  std::vector<sMenuItem> ContextMenu() const;
  // Buttons and menu commands; false for an id the window does not know.
  bool OnCommand(int id);
  void OnPlace();
  void OnIgnore();
  void Refresh();

  // The view; the factory's, or one a test hands in.
  void SetView(std::unique_ptr<View> view) { m_view = std::move(view); }
  View* GetView() const { return m_view.get(); }

 private:
  std::vector<sApiOrderInfo*> SelectedRecords() const;
  // Opens the host's order-entry window with the held order.
  void PlaceByHand(sApiOrderInfo& record);
  void Redraw();

  CControlBlock* m_cb = nullptr;
  COrderManager* m_manager = nullptr;
  bool m_visible = false;
  bool m_active = false;
  bool m_placeEnabled = false;
  bool m_ignoreEnabled = false;
  std::string m_title;
  std::deque<sApiOrderInfo*> m_rows;
  std::unique_ptr<CFilterListCtrl> m_list;
  std::unique_ptr<View> m_view;
};

}  // namespace kovo
