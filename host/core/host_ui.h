#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <kovozint/host_api.h>

#include "platform/dialogs.h"

namespace kovo::host {

// What the host shows its user. The host core calls these on the UI thread.
class HostUi {
 public:
  virtual ~HostUi() = default;

  // Returns the button pressed: kIdOk, kIdCancel, kIdYes or kIdNo.
  virtual int MessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
  // The order entry window, prefilled; the user submits or discards it.
  // kind: "entry", "entry2", "spread-first" or "spread-second".
  virtual void OrderEntryOpened(const sOrderEntryInfo& order, std::string tagOrSource,
                                int32_t transactionType, std::string kind) = 0;
  // One of the host's own windows: 2 order book, 3 trade book, 4 order
  // entry, 8 market picture.
  virtual void DialogInvoked(int32_t kind, std::string scrip, std::string text1,
                             std::string text2) = 0;
};

// Shows nothing and remembers everything, for hosts without a screen and
// for tests. Message boxes take the scripted answers in order, else their
// first button. Thread-safe.
class RecordingHostUi final : public HostUi {
 public:
  struct Box {
    std::string text;
    std::string caption;
    unsigned style = 0;
  };
  struct Entry {
    sOrderEntryInfo order{};
    std::string tagOrSource;
    int32_t transactionType = 0;
    std::string kind;
  };
  struct Dialog {
    int32_t kind = 0;
    std::string scrip;
    std::string text1;
    std::string text2;
  };

  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
    std::lock_guard lock(m_mutex);
    m_boxes.push_back({std::string(text), std::string(caption), style});
    if (!m_answers.empty()) {
      const int answer = m_answers.front();
      m_answers.pop_front();
      return answer;
    }
    const unsigned buttons = style & kMbButtonsMask;
    return buttons == kMbYesNo || buttons == kMbYesNoCancel ? kIdYes : kIdOk;
  }

  void OrderEntryOpened(const sOrderEntryInfo& order, std::string tagOrSource,
                        int32_t transactionType, std::string kind) override {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({order, std::move(tagOrSource), transactionType, std::move(kind)});
  }

  void DialogInvoked(int32_t kind, std::string scrip, std::string text1,
                     std::string text2) override {
    std::lock_guard lock(m_mutex);
    m_dialogs.push_back({kind, std::move(scrip), std::move(text1), std::move(text2)});
  }

  void AnswerMessageBox(int answer) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
  }

  std::vector<Box> Boxes() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
  }
  std::vector<Entry> Entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
  }
  std::vector<Dialog> InvokedDialogs() const {
    std::lock_guard lock(m_mutex);
    return m_dialogs;
  }
  void Clear() {
    std::lock_guard lock(m_mutex);
    m_boxes.clear();
    m_entries.clear();
    m_dialogs.clear();
    m_answers.clear();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<Box> m_boxes;
  std::vector<Entry> m_entries;
  std::vector<Dialog> m_dialogs;
  std::deque<int> m_answers;
};

}  // namespace kovo::host
