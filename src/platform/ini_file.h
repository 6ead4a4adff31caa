#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kovo {

// Ini files with the semantics of the Windows profile-string functions that
// settings have always been read with: section and key names compare without
// regard to case, blanks around names and values are ignored, a value wrapped
// in matching quotes loses them, the first of duplicate sections and keys
// wins, comment lines (";" or "#") and lines without "=" are ignored.
// A file that is missing, unreadable, larger than kMaxIniFileBytes or not text
// (contains NUL bytes) reads as empty.
namespace ini {

inline constexpr std::size_t kMaxIniFileBytes = 8u << 20;

// The value, or nullopt when the file or key is missing.
std::optional<std::string> ReadValue(const std::filesystem::path& file, std::string_view section,
                                     std::string_view key);

// Profile-string buffer rules: copies the value (or defaultValue when the key
// is missing) into buffer, always NUL-terminated, and returns the number of
// characters copied. A value that does not fit is cut to size - 1 characters
// and size - 1 is returned. A size of 0 copies nothing and returns 0.
std::size_t GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue, char* buffer,
                             std::size_t size);

// Sets one key, keeping every other line, comment and their order. Creates
// the file and the section when missing. Atomic: the new content goes to a
// temporary file in the same folder, which then replaces the old one, so a
// crash or a full disk never leaves a truncated file. Writers in this process
// are serialised. Fails (false) for names or values that would break the
// file's structure (line breaks, "=" in a key, "]" in a section name) and
// when the folder is missing or not writable.
bool WriteValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value);

}  // namespace ini
}  // namespace kovo
