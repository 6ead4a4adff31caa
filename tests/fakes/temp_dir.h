#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kovo::test {

// A fresh folder under the system temp folder, removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

  // Whole-file helpers for tests.
  static void WriteFile(const std::filesystem::path& file, std::string_view bytes);
  static std::string ReadFile(const std::filesystem::path& file);

 private:
  std::filesystem::path m_path;
};

}  // namespace kovo::test
