#pragma once

#include <functional>
#include <string>

#include <QPointer>
#include <QWidget>

#include "host/core/host_ui.h"

namespace kovo::terminal {

// The terminal's own message boxes and order-entry windows. Every box and
// request is written to the log too; with autoAnswer (or without a screen)
// a box answers its first button without showing.
class CQtHostUi final : public host::HostUi {
 public:
  using LogFn = std::function<void(const std::string& line)>;

  CQtHostUi(LogFn log, bool autoAnswer);
  void SetParent(QWidget* parent) { m_parent = parent; }

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void OrderEntryOpened(const sOrderEntryInfo& order, std::string tagOrSource,
                        int32_t transactionType, std::string kind) override;
  void DialogInvoked(int32_t kind, std::string scrip, std::string text1,
                     std::string text2) override;

 private:
  bool CanShow() const;

  LogFn m_log;
  bool m_autoAnswer;
  QPointer<QWidget> m_parent;
};

}  // namespace kovo::terminal
