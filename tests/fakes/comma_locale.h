#pragma once

#include <string>

#include "fakes/temp_dir.h"

namespace kovo::test {

// Switches the process to de_DE.UTF-8, a locale that writes 1234,5 (built
// with localedef into a temp folder, as few machines have it installed), and
// back to the previous locale when it goes. Hosts do this: a Qt host takes
// the user's locale at start.
class CommaDecimalLocale {
 public:
  CommaDecimalLocale();
  ~CommaDecimalLocale();
  CommaDecimalLocale(const CommaDecimalLocale&) = delete;
  CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

  // Empty when the locale is in force, else why not.
  const std::string& Failure() const { return m_failure; }

 private:
  TempDir m_dir;
  std::string m_previous;
  std::string m_failure;
};

}  // namespace kovo::test
