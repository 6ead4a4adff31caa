#pragma once

#include <string>
#include <string_view>

namespace kovo {

// The system clipboard as a port, so copying is testable headless.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void SetText(std::string_view text) = 0;
  virtual std::string Text() const = 0;
};

// Keeps the text in memory: hosts without a screen and tests.
class MemoryClipboard final : public Clipboard {
 public:
  void SetText(std::string_view text) override {
    m_text = text;
    ++m_sets;
  }
  std::string Text() const override { return m_text; }
  int Sets() const { return m_sets; }

 private:
  std::string m_text;
  int m_sets = 0;
};

}  // namespace kovo
