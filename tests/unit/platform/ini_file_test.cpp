#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fakes/temp_dir.h"

namespace kovo::ini {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Get(const fs::path& file, std::string_view section, std::string_view key) {
  return ReadValue(file, section, key).value_or("<missing>");
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(IniReadTest, NamesIgnoreCaseAndBlanks) {
  TempDir dir;
  const fs::path file = dir / "a.ini";
  TempDir::WriteFile(file,
                     "[General]\n"
                     "Colour=red\n"
                     "  \tLOCAL STORE \t=  \t c:\\data  \t\n"
                     "[  Other Section\t]\n"
                     "key = 1 2 3 \n");
  EXPECT_EQ(Get(file, "general", "COLOUR"), "red");
  EXPECT_EQ(Get(file, " GENERAL ", "\tcolour "), "red");
  EXPECT_EQ(Get(file, "General", "local store"), "c:\\data");
  EXPECT_EQ(Get(file, "other section", "KEY"), "1 2 3");
  // Blanks inside names matter.
  EXPECT_EQ(Get(file, "General", "localstore"), "<missing>");
  EXPECT_EQ(Get(file, "OtherSection", "key"), "<missing>");
  // Keys belong to their own section only.
  EXPECT_EQ(Get(file, "Other Section", "Colour"), "<missing>");
  EXPECT_EQ(Get(file, "General", "key"), "<missing>");
}

TEST(IniReadTest, MatchingQuotesAreStripped) {
  TempDir dir;
  const fs::path file = dir / "q.ini";
  TempDir::WriteFile(file,
                     "[s]\n"
                     "double=\"  padded  \"\n"
                     "single= 'x=y' \n"
                     "mixed=\"abc'\n"
                     "lone=\"\n"
                     "empty=\"\"\n"
                     "inner=a\"b\"\n"
                     "twice=\"\"x\"\"\n");
  EXPECT_EQ(Get(file, "s", "double"), "  padded  ");
  EXPECT_EQ(Get(file, "s", "single"), "x=y");
  EXPECT_EQ(Get(file, "s", "mixed"), "\"abc'");
  EXPECT_EQ(Get(file, "s", "lone"), "\"");
  EXPECT_EQ(Get(file, "s", "empty"), "");
  EXPECT_EQ(Get(file, "s", "inner"), "a\"b\"");
  // Only one pair comes off.
  EXPECT_EQ(Get(file, "s", "twice"), "\"x\"");
}

TEST(IniReadTest, FirstDuplicateSectionAndKeyWin) {
  TempDir dir;
  const fs::path file = dir / "d.ini";
  TempDir::WriteFile(file,
                     "[S]\n"
                     "k=first\n"
                     "K=second\n"
                     "[other]\n"
                     "k=elsewhere\n"
                     "[s]\n"
                     "k=third\n"
                     "onlyLater=yes\n");
  EXPECT_EQ(Get(file, "s", "k"), "first");
  // A later section of the same name is not read at all.
  EXPECT_EQ(Get(file, "s", "onlyLater"), "<missing>");
  EXPECT_EQ(Get(file, "other", "k"), "elsewhere");
}

TEST(IniReadTest, CommentsOddLinesAndLineEndings) {
  TempDir dir;
  const fs::path file = dir / "c.ini";
  TempDir::WriteFile(file,
                     "\xEF\xBB\xBF[s]\r\n"
                     "; a=comment\r\n"
                     "  # b=comment\r\n"
                     "no equals here\r\n"
                     "=orphan\r\n"
                     "c=crlf\r\n"
                     "d=lf\n"
                     "e=x;not a comment\n"
                     "f=last line without newline");
  EXPECT_EQ(Get(file, "s", "a"), "<missing>");
  EXPECT_EQ(Get(file, "s", "; a"), "<missing>");
  EXPECT_EQ(Get(file, "s", "b"), "<missing>");
  EXPECT_EQ(Get(file, "s", "no equals here"), "<missing>");
  EXPECT_EQ(Get(file, "s", ""), "<missing>");
  EXPECT_EQ(Get(file, "s", "c"), "crlf");
  EXPECT_EQ(Get(file, "s", "d"), "lf");
  EXPECT_EQ(Get(file, "s", "e"), "x;not a comment");
  EXPECT_EQ(Get(file, "s", "f"), "last line without newline");

  // Keys before any section belong to none.
  const fs::path loose = dir / "loose.ini";
  TempDir::WriteFile(loose, "k=v\n[s]\nj=w\n");
  EXPECT_EQ(Get(loose, "", "k"), "<missing>");
  EXPECT_EQ(Get(loose, "s", "k"), "<missing>");
  EXPECT_EQ(Get(loose, "s", "j"), "w");
}

TEST(IniReadTest, GetProfileStringDefaultAndTruncation) {
  TempDir dir;
  const fs::path file = dir / "t.ini";
  TempDir::WriteFile(file, "[s]\nk=abcdef\n");
  char buffer[16];

  EXPECT_EQ(GetProfileString(file, "s", "k", "dflt", buffer, sizeof buffer), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetProfileString(file, "s", "missing", "dflt", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "dflt");
  EXPECT_EQ(GetProfileString(dir / "nofile.ini", "s", "k", "dflt", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "dflt");

  // Exactly fitting, one short, and far too small.
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 7), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 6), 5u);
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 1), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetProfileString(file, "s", "missing", "long default", buffer, 5), 4u);
  EXPECT_STREQ(buffer, "long");

  // Size 0 must not touch the buffer.
  buffer[0] = 'Z';
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 0), 0u);
  EXPECT_EQ(buffer[0], 'Z');
}

TEST(IniReadTest, MalformedFilesReadAsEmpty) {
  TempDir dir;
  const fs::path file = dir / "bad.ini";

  // A readable key followed by NUL bytes: the whole file counts as not text.
  TempDir::WriteFile(file, std::string("[s]\nk=v\n\0\0\x01\xff", 12));
  EXPECT_EQ(Get(file, "s", "k"), "<missing>");

  std::mt19937 random(12345);
  for (int round = 0; round < 20; ++round) {
    std::string bytes(4096, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    bytes.replace(0, 8, "[s]\nk=v\n");
    bytes[100 + round] = '\0';
    TempDir::WriteFile(file, bytes);
    EXPECT_FALSE(ReadValue(file, "s", "k").has_value()) << "round " << round;
  }
  // Random bytes without NULs parse without trouble.
  for (int round = 0; round < 20; ++round) {
    std::string bytes(4096, 'x');
    for (char& c : bytes) c = static_cast<char>(1 + random() % 255);
    TempDir::WriteFile(file, "[s]\nk=v\n" + bytes);
    EXPECT_EQ(Get(file, "s", "k"), "v") << "round " << round;
  }

  TempDir::WriteFile(file, "[[[[\n[[[[\n[[[[");
  EXPECT_EQ(Get(file, "s", "k"), "<missing>");
  EXPECT_EQ(Get(file, "[[[", "k"), "<missing>");
  TempDir::WriteFile(file, "[s]\n=\n=\n==\n");
  EXPECT_EQ(Get(file, "s", "k"), "<missing>");
  EXPECT_EQ(Get(file, "s", ""), "<missing>");

  // Too large: even a key at the very start is not read.
  std::string huge = "[s]\nk=v\n";
  huge.append(9u << 20, 'a');
  TempDir::WriteFile(file, huge);
  EXPECT_EQ(Get(file, "s", "k"), "<missing>");

  // Right at the limit is still read.
  std::string atLimit = "[s]\nk=v\n";
  atLimit.resize(kMaxIniFileBytes, ';');
  TempDir::WriteFile(file, atLimit);
  EXPECT_EQ(Get(file, "s", "k"), "v");

  // A folder where the file should be.
  EXPECT_EQ(Get(dir.Path(), "s", "k"), "<missing>");
}

TEST(IniWriteTest, ReplacingAValueChangesOnlyThatLine) {
  TempDir dir;
  const fs::path file = dir / "w.ini";
  const std::string before =
      "; settings\n"
      "\n"
      "[Main]\n"
      "  Alpha = 1\n"
      "beta=\"two\"\n"
      "\n"
      "[Other]\n"
      "alpha=x\n";
  TempDir::WriteFile(file, before);

  ASSERT_TRUE(WriteValue(file, "MAIN", "ALPHA", "new value"));
  std::string expected = before;
  expected.replace(expected.find("  Alpha = 1"), 11, "  Alpha=new value");
  EXPECT_EQ(TempDir::ReadFile(file), expected);

  ASSERT_TRUE(WriteValue(file, "main", "beta", ""));
  expected.replace(expected.find("beta=\"two\""), 10, "beta=");
  EXPECT_EQ(TempDir::ReadFile(file), expected);
  EXPECT_EQ(Get(file, "main", "beta"), "");
  EXPECT_EQ(Get(file, "other", "alpha"), "x");

  // CRLF, a BOM and a last line without a newline survive a change.
  const std::string crlf = "\xEF\xBB\xBF[s]\r\nk=old\r\n; note\r\n[t]\r\nk=keep";
  TempDir::WriteFile(file, crlf);
  ASSERT_TRUE(WriteValue(file, "s", "k", "new"));
  EXPECT_EQ(TempDir::ReadFile(file), "\xEF\xBB\xBF[s]\r\nk=new\r\n; note\r\n[t]\r\nk=keep");
  ASSERT_TRUE(WriteValue(file, "t", "k", "changed"));
  EXPECT_EQ(TempDir::ReadFile(file), "\xEF\xBB\xBF[s]\r\nk=new\r\n; note\r\n[t]\r\nk=changed");

  // Only the first of duplicate keys and sections is written.
  TempDir::WriteFile(file, "[s]\nk=1\nk=2\n[s]\nk=3\n");
  ASSERT_TRUE(WriteValue(file, "s", "k", "9"));
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\nk=9\nk=2\n[s]\nk=3\n");
}

TEST(IniWriteTest, AddsKeysSectionsAndFiles) {
  TempDir dir;
  const fs::path file = dir / "new.ini";

  ASSERT_TRUE(WriteValue(file, "First", "a", "1"));
  EXPECT_EQ(TempDir::ReadFile(file), "[First]\na=1\n");
  ASSERT_TRUE(WriteValue(file, "first", "b", "2"));
  EXPECT_EQ(TempDir::ReadFile(file), "[First]\na=1\nb=2\n");
  ASSERT_TRUE(WriteValue(file, " Second ", " LOCAL STORE ", "x y"));
  EXPECT_EQ(TempDir::ReadFile(file), "[First]\na=1\nb=2\n[Second]\nLOCAL STORE=x y\n");
  EXPECT_EQ(Get(file, "second", "local store"), "x y");

  // A new key goes after the section's last non-blank line, before the
  // blank lines that separate it from the next section.
  TempDir::WriteFile(file, "[a]\nx=1\n; about x\n\n\n[b]\ny=2\n");
  ASSERT_TRUE(WriteValue(file, "a", "z", "3"));
  EXPECT_EQ(TempDir::ReadFile(file), "[a]\nx=1\n; about x\nz=3\n\n\n[b]\ny=2\n");
  TempDir::WriteFile(file, "[a]\n\n[b]\n");
  ASSERT_TRUE(WriteValue(file, "a", "z", "3"));
  EXPECT_EQ(TempDir::ReadFile(file), "[a]\nz=3\n\n[b]\n");

  // New lines follow the file's CRLF style, also when the last line is unterminated.
  TempDir::WriteFile(file, "[a]\r\nx=1");
  ASSERT_TRUE(WriteValue(file, "a", "y", "2"));
  EXPECT_EQ(TempDir::ReadFile(file), "[a]\r\nx=1\r\ny=2\r\n");
  ASSERT_TRUE(WriteValue(file, "b", "z", "3"));
  EXPECT_EQ(TempDir::ReadFile(file), "[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n");
  TempDir::WriteFile(file, "; only a comment");
  ASSERT_TRUE(WriteValue(file, "s", "k", "v"));
  EXPECT_EQ(TempDir::ReadFile(file), "; only a comment\n[s]\nk=v\n");

  // A new file gets 0644 whatever the umask; an existing one keeps its bits.
  const fs::path fresh = dir / "fresh.ini";
  const mode_t oldMask = ::umask(077);
  const bool written = WriteValue(fresh, "s", "k", "v");
  ::umask(oldMask);
  ASSERT_TRUE(written);
  struct stat info {};
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  ASSERT_EQ(::chmod(fresh.c_str(), 0600), 0);
  ASSERT_TRUE(WriteValue(fresh, "s", "k", "w"));
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // No temporary files are left behind.
  auto entries = FolderEntries(dir.Path());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"fresh.ini", "new.ini"}));
}

TEST(IniWriteTest, LongValuesRoundTrip) {
  TempDir dir;
  const fs::path file = dir / "long.ini";
  std::string value;
  for (int i = 0; value.size() < 20000; ++i) value += std::to_string(i) + ",";
  ASSERT_TRUE(WriteValue(file, "s", "before", "b"));
  ASSERT_TRUE(WriteValue(file, "s", "long", value));
  ASSERT_TRUE(WriteValue(file, "s", "after", "a"));
  EXPECT_EQ(Get(file, "s", "long"), value);
  EXPECT_EQ(Get(file, "s", "before"), "b");
  EXPECT_EQ(Get(file, "s", "after"), "a");
  // Replacing a long value with a short one leaves nothing of it behind.
  ASSERT_TRUE(WriteValue(file, "s", "long", "short"));
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\nbefore=b\nlong=short\nafter=a\n");
}

TEST(IniWriteTest, ValuesThatReadingWouldAlterAreStoredQuoted) {
  TempDir dir;
  const fs::path file = dir / "quoted.ini";
  for (const std::string value : {"  padded  ", "\"quoted\"", "'single'", "tab\t", "\"", "a\"b"}) {
    ASSERT_TRUE(WriteValue(file, "q", "k", value));
    EXPECT_EQ(Get(file, "q", "k"), value);
  }
  // Plain values stay plain on disk.
  ASSERT_TRUE(WriteValue(file, "q", "k", "plain value"));
  EXPECT_EQ(TempDir::ReadFile(file), "[q]\nk=plain value\n");
}

TEST(IniWriteTest, RejectedNamesAndValuesLeaveTheFileAlone) {
  TempDir dir;
  const fs::path file = dir / "r.ini";
  const std::string before = "[s]\r\nk=v\r\n";
  TempDir::WriteFile(file, before);

  const std::string nul("a\0b", 3);
  struct Case {
    std::string section, key, value;
  };
  const std::vector<Case> cases = {
      {"s]x", "k", "v"},  {"s\n", "k", "v"},  {"s\rt", "k", "v"}, {nul, "k", "v"},
      {"s", "k=j", "v"},  {"s", "k\n", "v"},  {"s", "\rk", "v"},  {"s", "", "v"},
      {"s", " \t ", "v"}, {"s", nul, "v"},    {"s", "[k", "v"},   {"s", ";k", "v"},
      {"s", "#k", "v"},   {"s", "k", "a\nb"}, {"s", "k", "a\r"},  {"s", "k", nul},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(WriteValue(file, c.section, c.key, c.value))
        << "section '" << c.section << "' key '" << c.key << "'";
    EXPECT_EQ(TempDir::ReadFile(file), before);
  }
  EXPECT_FALSE(WriteValue(dir / "created.ini", "s", "k=", "v"));
  EXPECT_FALSE(fs::exists(dir / "created.ini"));
  // The same names are fine once the breaking character is gone.
  EXPECT_TRUE(WriteValue(file, "s", "k", "a b"));
}

TEST(IniWriteTest, FailuresKeepTheOldFile) {
  TempDir dir;

  // Missing folder.
  EXPECT_FALSE(WriteValue(dir / "nowhere" / "x.ini", "s", "k", "v"));
  EXPECT_FALSE(fs::exists(dir / "nowhere"));

  // Not-text and too-large files are not replaced by a write.
  const fs::path binary = dir / "binary.ini";
  const std::string binaryBytes("[s]\nk=v\n\0\xff\0", 11);
  TempDir::WriteFile(binary, binaryBytes);
  EXPECT_FALSE(WriteValue(binary, "s", "k", "w"));
  EXPECT_EQ(TempDir::ReadFile(binary), binaryBytes);
  const fs::path huge = dir / "huge.ini";
  TempDir::WriteFile(huge, std::string(kMaxIniFileBytes + 1, '#'));
  EXPECT_FALSE(WriteValue(huge, "s", "k", "w"));
  EXPECT_EQ(fs::file_size(huge), kMaxIniFileBytes + 1);
  // A folder in the file's place.
  fs::create_directory(dir / "folder.ini");
  EXPECT_FALSE(WriteValue(dir / "folder.ini", "s", "k", "v"));
  EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));

  auto entries = FolderEntries(dir.Path());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"binary.ini", "folder.ini", "huge.ini"}));
}

TEST(IniWriteTest, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  const fs::path file = dir / "full.ini";
  const std::string before = "[s]\nk=v\n";
  TempDir::WriteFile(file, before);

  // A file size limit stands in for a full disk and works for root too.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit limited = old;
  limited.rlim_cur = 64 * 1024;
  void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool bigWritten = WriteValue(file, "s", "k", std::string(256 * 1024, 'x'));
  const std::string afterFailure = TempDir::ReadFile(file);
  const bool smallWritten = WriteValue(file, "s", "k", "w");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(bigWritten);
  EXPECT_EQ(afterFailure, before);
  // The limit only stops what does not fit.
  EXPECT_TRUE(smallWritten);
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\nk=w\n");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"full.ini"});
}

TEST(IniWriteTest, ReadOnlyFolderFailsCleanly) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  TempDir dir;
  const fs::path folder = dir / "locked";
  fs::create_directory(folder);
  const fs::path file = folder / "x.ini";
  TempDir::WriteFile(file, "[s]\nk=v\n");
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(WriteValue(file, "s", "k", "w"));
  EXPECT_FALSE(WriteValue(folder / "new.ini", "s", "k", "w"));
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\nk=v\n");
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"x.ini"});
}

TEST(IniWriteTest, WritesThroughALink) {
  TempDir dir;
  const fs::path real = dir / "real.ini";
  const fs::path link = dir / "link.ini";
  TempDir::WriteFile(real, "[s]\nk=v\n");
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteValue(link, "s", "k", "w"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(TempDir::ReadFile(real), "[s]\nk=w\n");
}

TEST(IniWriteTest, ConcurrentWritersKeepEveryKey) {
  TempDir dir;
  const fs::path file = dir / "shared.ini";
  constexpr int kThreads = 4;
  constexpr int kKeys = 50;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
        if (!WriteValue(file, "section " + std::to_string(k % 3), key, key + "-value")) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
      EXPECT_EQ(Get(file, "section " + std::to_string(k % 3), key), key + "-value");
    }
  }
}

}  // namespace
}  // namespace kovo::ini
