#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

namespace kovo::ini {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }
  // Closes now so that a failing close (e.g. a delayed write error) is seen.
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int m_fd;
};

enum class LoadResult { kOk, kMissing, kUnusable };

// Reads the whole file. Anything that is not a regular text file of sane size
// is kUnusable: readers treat it as empty, writers must not overwrite it.
LoadResult LoadFile(const std::filesystem::path& file, std::string& content, mode_t* mode) {
  content.clear();
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return errno == ENOENT ? LoadResult::kMissing : LoadResult::kUnusable;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return LoadResult::kUnusable;
  if (static_cast<std::uintmax_t>(info.st_size) > kMaxIniFileBytes) return LoadResult::kUnusable;
  if (mode != nullptr) *mode = info.st_mode;

  // The size can change while reading, so the limit is enforced on what is read.
  content.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) {
      if (content.size() > kMaxIniFileBytes) break;
      content.resize(std::min(content.size() * 2, kMaxIniFileBytes + 1));
    }
    const ssize_t got = ::read(fd.Get(), content.data() + used, content.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      content.clear();
      return LoadResult::kUnusable;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  content.resize(used);
  if (used > kMaxIniFileBytes || content.find('\0') != std::string::npos) {
    content.clear();
    return LoadResult::kUnusable;
  }
  return LoadResult::kOk;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  std::size_t begin = 0;    // first byte (after a leading BOM)
  std::size_t textEnd = 0;  // end of the text, before "\r\n" or "\n"
  std::size_t end = 0;      // past the line terminator, if any
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, without quotes
  std::size_t keyEnd = 0;  // offset just past the key's last character
};

void ParseLine(std::string_view content, Line& line) {
  const std::string_view text = content.substr(line.begin, line.textEnd - line.begin);
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return;
  if (trimmed.front() == '[') {
    std::string_view name = trimmed.substr(1);
    name = name.substr(0, name.find(']'));
    line.kind = LineKind::kSection;
    line.name = Trim(name);
    return;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = Trim(text.substr(0, equals));
  if (key.empty()) return;
  std::string_view value = Trim(text.substr(equals + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  line.kind = LineKind::kKey;
  line.name = key;
  line.value = value;
  line.keyEnd = static_cast<std::size_t>(key.data() + key.size() - content.data());
}

std::vector<Line> ParseLines(std::string_view content) {
  std::vector<Line> lines;
  std::size_t pos = content.substr(0, kBom.size()) == kBom ? kBom.size() : 0;
  while (pos < content.size()) {
    Line line;
    line.begin = pos;
    const std::size_t newline = content.find('\n', pos);
    if (newline == std::string_view::npos) {
      line.textEnd = line.end = content.size();
    } else {
      line.end = newline + 1;
      line.textEnd = (newline > pos && content[newline - 1] == '\r') ? newline - 1 : newline;
    }
    ParseLine(content, line);
    lines.push_back(line);
    pos = line.end;
  }
  return lines;
}

struct Lookup {
  std::size_t section = std::string_view::npos;  // index of the section line
  std::size_t sectionLast = 0;                   // index of the last line belonging to it
  std::size_t key = std::string_view::npos;      // index of the key line
};

// Only the first section of a given name counts; so does the first key.
Lookup Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Lookup found;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kSection && EqualsNoCase(lines[i].name, section)) {
      found.section = i;
      break;
    }
  }
  if (found.section == std::string_view::npos) return found;
  found.sectionLast = found.section;
  for (std::size_t i = found.section + 1; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kSection) break;
    found.sectionLast = i;
    if (found.key == std::string_view::npos && lines[i].kind == LineKind::kKey &&
        EqualsNoCase(lines[i].name, key)) {
      found.key = i;
    }
  }
  return found;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Writes content next to the target and renames it over the target, so a
// reader sees either the old or the new file, never a partial one.
bool ReplaceFile(const std::filesystem::path& file, std::string_view content, mode_t mode) {
  std::string tempName = file.string() + ".XXXXXX";
  FileDescriptor fd(::mkstemp(tempName.data()));
  if (fd.Get() < 0) return false;
  const bool ok = ::fchmod(fd.Get(), mode) == 0 && WriteAll(fd.Get(), content) &&
                  ::fsync(fd.Get()) == 0 && fd.Close() &&
                  ::rename(tempName.c_str(), file.c_str()) == 0;
  if (!ok) {
    fd.Close();
    ::unlink(tempName.c_str());
    return false;
  }
  // Make the rename itself durable; the data is already safe if this fails.
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
  return true;
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool ValidNames(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreakOrNul(section) || section.find(']') != std::string_view::npos) return false;
  if (HasLineBreakOrNul(key) || key.find('=') != std::string_view::npos) return false;
  const std::string_view trimmedKey = Trim(key);
  // A key that starts like a section or a comment would not read back as a key.
  if (trimmedKey.empty() || trimmedKey.front() == '[' || trimmedKey.front() == ';' ||
      trimmedKey.front() == '#') {
    return false;
  }
  return !HasLineBreakOrNul(value);
}

// Readers trim values and drop one pair of matching quotes, so a value that
// would lose something that way is stored quoted and comes back as written.
std::string StoredForm(std::string_view value) {
  const bool padded = !value.empty() && (Trim(value).size() != value.size());
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (!padded && !quoted) return std::string(value);
  std::string stored;
  stored.reserve(value.size() + 2);
  stored += '"';
  stored += value;
  stored += '"';
  return stored;
}

std::string Edit(const std::string& content, std::string_view section, std::string_view key,
                 std::string_view rawValue) {
  const std::string value = StoredForm(rawValue);
  const std::vector<Line> lines = ParseLines(content);
  const std::size_t firstNewline = content.find('\n');
  const std::string_view eol =
      (firstNewline != std::string::npos && firstNewline > 0 && content[firstNewline - 1] == '\r')
          ? "\r\n"
          : "\n";
  const std::string_view trimmedKey = Trim(key);
  const Lookup found = Find(lines, Trim(section), trimmedKey);

  std::string result;
  result.reserve(content.size() + section.size() + key.size() + value.size() + 8);
  if (found.key != std::string_view::npos) {
    const Line& line = lines[found.key];
    result.append(content, 0, line.keyEnd);
    result += '=';
    result += value;
    result.append(content, line.textEnd, std::string::npos);
    return result;
  }

  std::size_t insertAt = content.size();
  if (found.section != std::string_view::npos) {
    std::size_t last = found.sectionLast;
    while (last > found.section && lines[last].kind == LineKind::kOther &&
           Trim(std::string_view(content).substr(lines[last].begin,
                                                 lines[last].textEnd - lines[last].begin))
               .empty()) {
      --last;
    }
    insertAt = lines[last].end;
  }
  result.append(content, 0, insertAt);
  if (!result.empty() && result.back() != '\n') result += eol;
  if (found.section == std::string_view::npos) {
    result += '[';
    result += Trim(section);
    result += ']';
    result += eol;
  }
  result += trimmedKey;
  result += '=';
  result += value;
  result += eol;
  result.append(content, insertAt, std::string::npos);
  return result;
}

}  // namespace

std::optional<std::string> ReadValue(const std::filesystem::path& file, std::string_view section,
                                     std::string_view key) {
  try {
    std::string content;
    if (LoadFile(file, content, nullptr) != LoadResult::kOk) return std::nullopt;
    const std::vector<Line> lines = ParseLines(content);
    const Lookup found = Find(lines, Trim(section), Trim(key));
    if (found.key == std::string_view::npos) return std::nullopt;
    return std::string(lines[found.key].value);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::size_t GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue, char* buffer,
                             std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::optional<std::string> value = ReadValue(file, section, key);
  const std::string_view text = value ? std::string_view(*value) : defaultValue;
  const std::size_t count = std::min(text.size(), size - 1);
  if (count > 0) std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return count;
}

bool WriteValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value) {
  if (!ValidNames(section, key, value)) return false;
  static std::mutex writers;
  try {
    const std::lock_guard<std::mutex> lock(writers);
    std::filesystem::path target = file;
    std::error_code ec;
    // Replace the file a link points to, not the link.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec))) {
      target = std::filesystem::canonical(file, ec);
      if (ec) return false;
    }
    std::string content;
    mode_t mode = 0644;
    const LoadResult loaded = LoadFile(target, content, &mode);
    if (loaded == LoadResult::kUnusable) return false;
    mode &= 0777;
    return ReplaceFile(target, Edit(content, section, key, value), mode);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kovo::ini
