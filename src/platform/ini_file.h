#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kovo {

// Ini files with the semantics of the Windows profile-string functions that
// settings have always been read with: section and key names compare without
// regard to case, blanks around names and values are ignored, a value wrapped
// in matching quotes loses them, the first of duplicate sections and keys
// wins. A line ends at LF, CRLF or a lone CR; a section name runs to the last
// "]" of its line; only ";" starts a comment; a line without "=" is ignored
// and a line "=value" is a key with an empty name.
// A file that is missing, unreadable, larger than kMaxIniFileBytes or not text
// (contains NUL bytes) reads as empty.
//
// Writes: every write of a file holds an exclusive flock on "<file>.tmp",
// which is also the copy the new content is written to (and fsynced) before
// it is renamed over the file. Writers in any process are serialised, readers
// see the old or the new file and never a part, and a writer that dies leaves
// at most that one temporary file, which the next writer takes over.
namespace ini {

inline constexpr std::size_t kMaxIniFileBytes = 8u << 20;
inline constexpr std::string_view kTempSuffix = ".tmp";

struct sIniEntry {
  std::string section;
  std::string key;
  std::string value;
};

// The value, or nullopt when the file or key is missing.
std::optional<std::string> ReadValue(const std::filesystem::path& file, std::string_view section,
                                     std::string_view key);

// Profile-string buffer rules: copies the value (or defaultValue without its
// trailing spaces when the key is missing) into buffer, always NUL-terminated,
// and returns the number of characters copied. A value that does not fit is
// cut to size - 1 characters and size - 1 is returned. A size of 0 copies
// nothing and returns 0.
std::size_t GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue, char* buffer,
                             std::size_t size);

// Sets one key, keeping every other line, comment and their order; added
// lines end with CRLF. Creates the file (mode 0666 less the umask) and the
// section when missing; a rewrite keeps the file's mode. Writing the value a
// key already reads as leaves the file untouched. Fails (false, with the
// reason in *error) for names or values that would break the file's structure
// (line breaks, "=" in a key, a key without a name), for a read-only file,
// and when the folder is missing or not writable.
bool WriteValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value, std::string* error = nullptr);

// Several keys of one file in one locked rewrite: all are written or none.
bool WriteValues(const std::filesystem::path& file, std::span<const sIniEntry> entries,
                 std::string* error = nullptr);

}  // namespace ini
}  // namespace kovo
