#include "fakes/comma_locale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace kovo::test {

CommaDecimalLocale::CommaDecimalLocale() {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  m_previous = previous ? previous : "C";
  const std::string folder = m_dir.Path().string();
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    m_failure = "localedef could not build de_DE.UTF-8 (is the locales package installed?)";
    return;
  }
  ::setenv("LOCPATH", folder.c_str(), 1);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
    m_failure = "de_DE.UTF-8 was built but cannot be set";
    return;
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  if (std::string(probe) != "1,5") m_failure = std::string("the locale writes 1.5 as ") + probe;
}

CommaDecimalLocale::~CommaDecimalLocale() {
  std::setlocale(LC_ALL, m_previous.c_str());
  ::unsetenv("LOCPATH");
}

}  // namespace kovo::test
