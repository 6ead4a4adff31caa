#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/view.h"

namespace kovo {

class CControlBlock;

inline constexpr int kUpdatesRunNow = 16143;
inline constexpr int kUpdatesRunOnExit = 16141;
inline constexpr int kUpdatesClose = 2;
inline constexpr int kUpdatesMessage = 16060;

// Offers a downloaded update's installer now or when the host exits.
class CUpdatesDlg {
 public:
  explicit CUpdatesDlg(CControlBlock& cb) : m_cb(cb) {}
  CUpdatesDlg(const CUpdatesDlg&) = delete;
  CUpdatesDlg& operator=(const CUpdatesDlg&) = delete;

  // The window, kept once created (also after it was closed).
  bool Create();
  bool HasWindow() const { return m_view != nullptr; }

  std::string message;
  bool buttonsDisabled = false;
  std::string installerPath;
  std::string commandLine;
  std::vector<std::string> arguments;  // what the command line quotes, one by one

  const std::string& Title() const { return m_title; }
  bool IsButtonEnabled(int id) const;
  void Show();
  bool IsVisible() const { return m_view && m_view->IsVisible(); }

  void OnRunNow();
  void OnRunOnExit();
  void OnClose();

 private:
  CControlBlock& m_cb;
  std::unique_ptr<View> m_view;
  std::string m_title = "KovoZint Updates";
};

}  // namespace kovo
