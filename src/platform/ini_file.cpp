#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
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
  // Empty, but still inside the text: offsets are taken from it.
  if (first == std::string_view::npos) return text.substr(text.size());
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
  void Release() { m_fd = -1; }
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
LoadResult LoadFile(const std::filesystem::path& file, std::string& content, struct stat* status) {
  content.clear();
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return errno == ENOENT ? LoadResult::kMissing : LoadResult::kUnusable;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return LoadResult::kUnusable;
  if (static_cast<std::uintmax_t>(info.st_size) > kMaxIniFileBytes) return LoadResult::kUnusable;
  if (status != nullptr) *status = info;

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
  std::size_t textEnd = 0;  // end of the text, before "\r\n", "\n" or "\r"
  std::size_t end = 0;      // past the line terminator, if any
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, without quotes
  std::size_t keyEnd = 0;  // offset just past the key's last character
};

void ParseLine(std::string_view content, Line& line) {
  const std::string_view text = content.substr(line.begin, line.textEnd - line.begin);
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == ';') return;
  if (trimmed.front() == '[') {
    std::string_view name = trimmed.substr(1);
    name = name.substr(0, name.rfind(']'));
    line.kind = LineKind::kSection;
    line.name = Trim(name);
    return;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = Trim(text.substr(0, equals));
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
    const std::size_t lineBreak = content.find_first_of("\r\n", pos);
    if (lineBreak == std::string_view::npos) {
      line.textEnd = line.end = content.size();
    } else {
      line.textEnd = lineBreak;
      const bool crlf = content[lineBreak] == '\r' && lineBreak + 1 < content.size() &&
                        content[lineBreak + 1] == '\n';
      line.end = lineBreak + (crlf ? 2 : 1);
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

std::string ErrorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Names and values go into log lines: control characters are shown, not sent.
std::string Shown(std::string_view text) {
  std::string shown = "\"";
  for (const char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\0') {
      shown += "\\0";
    } else {
      shown += c;
    }
  }
  shown += '"';
  return shown;
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Why the entry cannot be stored so that it reads back, or empty.
std::string Refusal(const sIniEntry& entry) {
  const std::string where = "the key " + Shown(entry.key) + " of section " + Shown(entry.section);
  if (HasLineBreakOrNul(entry.section)) return where + ": the section name has a line break";
  if (HasLineBreakOrNul(entry.key)) return where + ": the key name has a line break";
  if (entry.key.find('=') != std::string::npos) return where + ": the key name contains \"=\"";
  const std::string_view trimmedKey = Trim(entry.key);
  if (trimmedKey.empty()) return where + ": the key has no name";
  // A key that starts like a section or a comment would not read back as a key.
  if (trimmedKey.front() == '[' || trimmedKey.front() == ';') {
    return where + ": a key name cannot start with \"" + trimmedKey.front() + "\"";
  }
  if (HasLineBreakOrNul(entry.value)) return where + ": the value has a line break";
  return {};
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

// Lines this code adds end the way the profile-string functions end them;
// lines already in the file keep their own ends.
constexpr std::string_view kEol = "\r\n";

// The content with the key set; the same content when the key already reads
// as the value.
std::string Edit(const std::string& content, std::string_view section, std::string_view key,
                 std::string_view rawValue) {
  const std::vector<Line> lines = ParseLines(content);
  const std::string_view trimmedKey = Trim(key);
  const Lookup found = Find(lines, Trim(section), trimmedKey);
  if (found.key != std::string_view::npos && lines[found.key].value == rawValue) return content;

  const std::string value = StoredForm(rawValue);
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
  if (!result.empty() && result.back() != '\n' && result.back() != '\r') result += kEol;
  if (found.section == std::string_view::npos) {
    result += '[';
    result += Trim(section);
    result += ']';
    result += kEol;
  }
  result += trimmedKey;
  result += '=';
  result += value;
  result += kEol;
  result.append(content, insertAt, std::string::npos);
  return result;
}

// The process's umask, which cannot be read without setting it except here.
mode_t CurrentUmask() {
  FileDescriptor fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (fd.Get() >= 0) {
    char text[4096];
    const ssize_t got = ::read(fd.Get(), text, sizeof text - 1);
    if (got > 0) {
      text[got] = '\0';
      if (const char* field = std::strstr(text, "Umask:")) {
        return static_cast<mode_t>(std::strtoul(field + 6, nullptr, 8) & 0777);
      }
    }
  }
  return 022;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens and locks "<file>.tmp". A writer that held it may have renamed it
// over the file or removed it meanwhile, so the lock only counts when the name
// still leads to the locked file.
int LockTemp(const std::string& tempName, std::string& why) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    // Not through a link, and without hanging on a FIFO planted there.
    FileDescriptor fd(
        ::open(tempName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (fd.Get() < 0) {
      why = "its temporary copy cannot be opened (" + ErrorText(errno) + ")";
      return -1;
    }
    int locked = 0;
    do {
      locked = ::flock(fd.Get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    // File systems without flock still get the in-process serialisation.
    if (locked != 0 && errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL) {
      why = "its lock cannot be taken (" + ErrorText(errno) + ")";
      return -1;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd.Get(), &held) != 0 || !S_ISREG(held.st_mode)) {
      why = "its temporary copy is not a plain file";
      return -1;
    }
    if (::lstat(tempName.c_str(), &named) == 0 && SameFile(held, named)) {
      const int result = fd.Get();
      fd.Release();
      return result;
    }
  }
  why = "its lock keeps changing hands";
  return -1;
}

void EditAll(std::string& content, std::span<const sIniEntry> entries) {
  for (const sIniEntry& entry : entries) {
    content = Edit(content, entry.section, entry.key, entry.value);
  }
}

bool Replace(const std::filesystem::path& target, std::span<const sIniEntry> entries,
             std::string& why) {
  std::string content;
  struct stat info {};
  const LoadResult loaded = LoadFile(target, content, &info);
  // Nothing to change: no lock, no temporary file, no rewrite.
  std::string edited = content;
  if (loaded == LoadResult::kOk) {
    EditAll(edited, entries);
    if (edited == content) return true;
  }

  const std::string tempName = target.string() + std::string(kTempSuffix);
  FileDescriptor fd(LockTemp(tempName, why));
  if (fd.Get() < 0) return false;
  // Removed while still locked; a writer waiting for it then opens a new one.
  const auto cleanUp = [&] { ::unlink(tempName.c_str()); };

  // Read again under the lock: another writer may have got there first.
  const LoadResult current = LoadFile(target, content, &info);
  switch (current) {
    case LoadResult::kUnusable:
      why = "the file cannot be read or is not a text file of at most 8 MB";
      cleanUp();
      return false;
    case LoadResult::kMissing:
      content.clear();
      info.st_mode = S_IFREG | (0666 & ~CurrentUmask());
      info.st_uid = ::geteuid();
      info.st_gid = ::getegid();
      break;
    case LoadResult::kOk:
      // The read-only attribute is honoured even where the folder would let
      // the file be replaced, and for a user who may write anything.
      if ((info.st_mode & 0222) == 0) {
        why = "the file is read-only";
        cleanUp();
        return false;
      }
      if (::access(target.c_str(), W_OK) != 0) {
        why = "the file is not writable (" + ErrorText(errno) + ")";
        cleanUp();
        return false;
      }
      break;
  }
  edited = content;
  EditAll(edited, entries);
  if (current == LoadResult::kOk && edited == content) {
    cleanUp();
    return true;
  }
  if (edited.size() > kMaxIniFileBytes) {
    why = "the file would grow past 8 MB";
    cleanUp();
    return false;
  }

  if (::ftruncate(fd.Get(), 0) != 0 || !WriteAll(fd.Get(), edited) ||
      ::fchmod(fd.Get(), info.st_mode & 07777) != 0) {
    why = "its temporary copy cannot be written (" + ErrorText(errno) + ")";
    cleanUp();
    return false;
  }
  // Another owner's file stays theirs where we may give it back.
  struct stat tempInfo {};
  if (::fstat(fd.Get(), &tempInfo) == 0 &&
      (tempInfo.st_uid != info.st_uid || tempInfo.st_gid != info.st_gid)) {
    if (::fchown(fd.Get(), info.st_uid, info.st_gid) == 0) {
      ::fchmod(fd.Get(), info.st_mode & 07777);
    }
  }
  if (::fsync(fd.Get()) != 0) {
    why = "its temporary copy cannot be written (" + ErrorText(errno) + ")";
    cleanUp();
    return false;
  }
  // Renamed while still locked: the next writer then reads the new content.
  if (::rename(tempName.c_str(), target.c_str()) != 0) {
    why = "its temporary copy cannot replace it (" + ErrorText(errno) + ")";
    cleanUp();
    return false;
  }
  // Make the rename itself durable; the data is already safe if this fails.
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
  return true;
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
  std::string_view text = defaultValue;
  if (value) {
    text = *value;
  } else {
    text = text.substr(0, text.find_last_not_of(' ') + 1);
  }
  const std::size_t count = std::min(text.size(), size - 1);
  if (count > 0) std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return count;
}

bool WriteValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value, std::string* error) {
  try {
    const sIniEntry entry{std::string(section), std::string(key), std::string(value)};
    return WriteValues(file, std::span<const sIniEntry>(&entry, 1), error);
  } catch (const std::exception&) {
    if (error != nullptr) *error = "Settings not written: out of memory";
    return false;
  }
}

bool WriteValues(const std::filesystem::path& file, std::span<const sIniEntry> entries,
                 std::string* error) {
  std::string why;
  bool written = false;
  try {
    for (const sIniEntry& entry : entries) {
      why = Refusal(entry);
      if (!why.empty()) break;
    }
    if (why.empty()) {
      // Where flock is missing, this process's writers are still serialised.
      static std::mutex writers;
      const std::lock_guard<std::mutex> lock(writers);
      std::filesystem::path target = file;
      std::error_code ec;
      // Replace the file a link points to, not the link.
      if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec))) {
        target = std::filesystem::canonical(file, ec);
        if (ec) why = "the link does not lead to a file (" + ec.message() + ")";
      }
      if (why.empty()) written = Replace(target, entries, why);
    }
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (!written && error != nullptr) {
    try {
      *error = "Settings not written to " + Shown(file.string()) + ": " + why;
    } catch (const std::exception&) {
    }
  }
  return written;
}

}  // namespace kovo::ini
