#pragma once

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ini_file.h"

namespace kovo {

// Where settings files live.
enum class SettingsLocation : int {
  kHostFolder = 0,    // the host program's folder
  kPluginFolder = 1,  // "kovo plugins" below it
  kUserFolder = 2,    // <application data>/Tolvane/KovoZint/<user folder id>
};

enum class SettingsMode : int { kWrite = 1, kRead = 2 };

struct SettingsPaths {
  std::filesystem::path hostFolder;
  std::filesystem::path appDataFolder;
  std::string userFolderId;

  // The folder that holds the host program (from /proc/self/exe).
  static std::filesystem::path HostProgramFolder();
  // $XDG_DATA_HOME, else ~/.local/share.
  static std::filesystem::path DefaultAppDataFolder();
};

// One-key access to the three settings locations.
class CSettingsFiles {
 public:
  // Receives one line per write that failed, saying which file and why.
  using ErrorSink = std::function<void(const std::string&)>;

  explicit CSettingsFiles(SettingsPaths paths);

  void SetErrorSink(ErrorSink sink) { m_errorSink = std::move(sink); }

  const std::filesystem::path& HostFolder() const { return m_paths.hostFolder; }
  const std::filesystem::path& AppDataFolder() const { return m_paths.appDataFolder; }
  std::filesystem::path PluginFolder() const;  // hostFolder / "kovo plugins"
  // appDataFolder / "Tolvane" / "KovoZint" / userFolderId. Empty when the
  // user folder id is not a plain folder name (empty, ".", "..", a "/").
  std::filesystem::path UserFolder() const;
  // Creates the per-user folder and its parents when missing; true when it exists afterwards.
  bool EnsureUserFolder() const;
  // UserFolder() / fileName.
  std::filesystem::path PerUserPath(std::string_view fileName) const;
  std::filesystem::path PathOf(std::string_view fileName, SettingsLocation location) const;

  // Read: 1 and the value when the key is present; 0 (value emptied) when
  // the file cannot be read or the key is missing. Values of any length come
  // back whole. Write: 1 when written; 0 when the file cannot be created or
  // written (the reason goes to the error sink). The per-user folder is
  // created on demand for writes.
  int Access(SettingsMode mode, std::string_view section, std::string_view key, std::string& value,
             std::string_view fileName, SettingsLocation location) const;

  int Read(std::string_view section, std::string_view key, std::string& value,
           std::string_view fileName, SettingsLocation location) const {
    return Access(SettingsMode::kRead, section, key, value, fileName, location);
  }
  int Write(std::string_view section, std::string_view key, std::string value,
            std::string_view fileName, SettingsLocation location) const {
    return Access(SettingsMode::kWrite, section, key, value, fileName, location);
  }
  // Several keys of one file in one locked rewrite: 1 when all are written,
  // 0 (and none is) otherwise.
  int WriteBatch(std::span<const ini::sIniEntry> entries, std::string_view fileName,
                 SettingsLocation location) const;

 private:
  // The file to write, or empty after reporting why there is none.
  std::filesystem::path WritablePath(std::string_view fileName, SettingsLocation location) const;
  void ReportError(const std::string& text) const;

  SettingsPaths m_paths;
  ErrorSink m_errorSink;
};

}  // namespace kovo
