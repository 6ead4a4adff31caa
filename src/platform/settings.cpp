#include "platform/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

namespace kovo {
namespace {

// The text the settings have always been read with as the "missing" marker;
// a stored value equal to it counts as missing too.
constexpr std::string_view kKeyNotFound = "Key not found";
constexpr std::size_t kInitialReadBuffer = 4096;
constexpr std::size_t kReadBufferStep = 1024;  // the least a re-read grows by

// One path component that stays inside its folder.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool CanOpenForReading(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::filesystem::path PasswordDatabaseHome() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> storage(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, storage.data(), storage.size(), &result) != 0 ||
      result == nullptr || result->pw_dir == nullptr) {
    return {};
  }
  return result->pw_dir;
}

}  // namespace

std::filesystem::path SettingsPaths::HostProgramFolder() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && program.has_parent_path()) return program.parent_path();
  std::filesystem::path current = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : current;
}

std::filesystem::path SettingsPaths::DefaultAppDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && *dataHome != '\0') {
    std::filesystem::path folder(dataHome);
    if (folder.is_absolute()) return folder;
  }
  const char* home = std::getenv("HOME");
  std::filesystem::path homeFolder =
      (home != nullptr && *home != '\0') ? std::filesystem::path(home) : PasswordDatabaseHome();
  if (homeFolder.empty()) return {};
  return homeFolder / ".local" / "share";
}

CSettingsFiles::CSettingsFiles(SettingsPaths paths) : m_paths(std::move(paths)) {}

std::filesystem::path CSettingsFiles::PluginFolder() const {
  return m_paths.hostFolder / "kovo plugins";
}

std::filesystem::path CSettingsFiles::UserFolder() const {
  // Without a data folder the user's files would land relative to the
  // current folder, wherever that is.
  if (!IsPlainName(m_paths.userFolderId) || m_paths.appDataFolder.empty()) return {};
  return m_paths.appDataFolder / "Tolvane" / "KovoZint" / m_paths.userFolderId;
}

bool CSettingsFiles::EnsureUserFolder() const {
  try {
    const std::filesystem::path folder = UserFolder();
    if (folder.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
  } catch (const std::exception&) {
    return false;
  }
}

std::filesystem::path CSettingsFiles::PerUserPath(std::string_view fileName) const {
  return PathOf(fileName, SettingsLocation::kUserFolder);
}

std::filesystem::path CSettingsFiles::PathOf(std::string_view fileName,
                                             SettingsLocation location) const {
  if (!IsPlainName(fileName)) return {};
  switch (location) {
    case SettingsLocation::kHostFolder:
      return m_paths.hostFolder / fileName;
    case SettingsLocation::kPluginFolder:
      return PluginFolder() / fileName;
    case SettingsLocation::kUserFolder: {
      const std::filesystem::path folder = UserFolder();
      if (folder.empty()) return {};
      return folder / fileName;
    }
  }
  return {};
}

void CSettingsFiles::ReportError(const std::string& text) const {
  if (!m_errorSink) return;
  try {
    m_errorSink(text);
  } catch (...) {
    // A failing report must not turn a failed write into a crash.
  }
}

std::filesystem::path CSettingsFiles::WritablePath(std::string_view fileName,
                                                   SettingsLocation location) const {
  const std::filesystem::path file = PathOf(fileName, location);
  if (file.empty()) {
    ReportError("Settings not written to \"" + std::string(fileName) +
                "\": not a file name in a settings folder");
    return {};
  }
  if (location == SettingsLocation::kUserFolder && !EnsureUserFolder()) {
    ReportError("Settings not written to \"" + file.string() +
                "\": the per-user folder cannot be created");
    return {};
  }
  return file;
}

int CSettingsFiles::WriteBatch(std::span<const ini::sIniEntry> entries, std::string_view fileName,
                               SettingsLocation location) const {
  try {
    const std::filesystem::path file = WritablePath(fileName, location);
    if (file.empty()) return 0;
    std::string error;
    if (ini::WriteValues(file, entries, &error)) return 1;
    ReportError(error);
  } catch (const std::exception&) {
  }
  return 0;
}

int CSettingsFiles::Access(SettingsMode mode, std::string_view section, std::string_view key,
                           std::string& value, std::string_view fileName,
                           SettingsLocation location) const {
  try {
    if (mode == SettingsMode::kWrite) {
      const ini::sIniEntry entry{std::string(section), std::string(key), value};
      return WriteBatch(std::span<const ini::sIniEntry>(&entry, 1), fileName, location);
    }
    const std::filesystem::path file = PathOf(fileName, location);
    if (mode != SettingsMode::kRead) return 0;

    value.clear();
    if (file.empty() || !CanOpenForReading(file)) return 0;
    // Grow until the value clearly fits: a result that fills the buffer may
    // have been cut.
    std::vector<char> buffer(kInitialReadBuffer);
    std::size_t length = 0;
    for (;;) {
      length =
          ini::GetProfileString(file, section, key, kKeyNotFound, buffer.data(), buffer.size());
      if (length < buffer.size() - 2) break;
      // Doubling reaches the same whole value with few re-reads of the file.
      buffer.resize(buffer.size() + std::max(kReadBufferStep, buffer.size()));
    }
    const std::string_view text(buffer.data(), length);
    if (text == kKeyNotFound) return 0;
    value.assign(text);
    return 1;
  } catch (const std::exception&) {
    if (mode == SettingsMode::kRead) value.clear();
    return 0;
  }
}

}  // namespace kovo
