#include "platform/ini_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
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

TEST(IniReadTest, CaseBlanksQuotesDuplicatesAndComments) {
  TempDir dir;
  const fs::path file = dir / "a.ini";
  TempDir::WriteFile(file,
                     "[General]\n"
                     "Colour=red\n"
                     "  \tLOCAL STORE \t=  \t c:\\data  \t\n"
                     "[  Other Section\t]\n"
                     "key = 1 2 3 \n");
  EXPECT_EQ(Get(file, " GENERAL ", "\tcolour "), "red");
  EXPECT_EQ(Get(file, "General", "local store"), "c:\\data");
  EXPECT_EQ(Get(file, "other section", "KEY"), "1 2 3");
  // Blanks inside names matter, and keys belong to their own section only.
  EXPECT_EQ(Get(file, "General", "localstore"), "<missing>");
  EXPECT_EQ(Get(file, "General", "key"), "<missing>");

  TempDir::WriteFile(file,
                     "[s]\n"
                     "double=\"  padded  \"\n"
                     "single= 'x=y' \n"
                     "mixed=\"abc'\n"
                     "lone=\"\n"
                     "twice=\"\"x\"\"\n");
  EXPECT_EQ(Get(file, "s", "double"), "  padded  ");
  EXPECT_EQ(Get(file, "s", "single"), "x=y");
  EXPECT_EQ(Get(file, "s", "mixed"), "\"abc'");
  EXPECT_EQ(Get(file, "s", "lone"), "\"");
  // Only one pair comes off.
  EXPECT_EQ(Get(file, "s", "twice"), "\"x\"");

  TempDir::WriteFile(file, "[S]\nk=first\nK=second\n[s]\nk=third\nonlyLater=yes\n");
  EXPECT_EQ(Get(file, "s", "k"), "first");
  // A later section of the same name is not read at all.
  EXPECT_EQ(Get(file, "s", "onlyLater"), "<missing>");

  TempDir::WriteFile(file,
                     "\xEF\xBB\xBF[s]\r\n"
                     "; a=comment\r\n"
                     "  # b=comment\r\n"
                     "c=crlf\r\n"
                     "e=x;not a comment\n"
                     "f=last line without newline");
  EXPECT_EQ(Get(file, "s", "a"), "<missing>");
  EXPECT_EQ(Get(file, "s", "b"), "<missing>");
  EXPECT_EQ(Get(file, "s", "c"), "crlf");
  EXPECT_EQ(Get(file, "s", "e"), "x;not a comment");
  EXPECT_EQ(Get(file, "s", "f"), "last line without newline");
}

TEST(IniReadTest, GetProfileStringDefaultAndTruncation) {
  TempDir dir;
  const fs::path file = dir / "t.ini";
  TempDir::WriteFile(file, "[s]\nk=abcdef\n");
  char buffer[16];
  EXPECT_EQ(GetProfileString(file, "s", "missing", "dflt", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "dflt");
  // Exactly fitting, one short, and far too small.
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 7), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 6), 5u);
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(GetProfileString(file, "s", "k", "", buffer, 1), 0u);
  EXPECT_STREQ(buffer, "");
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
  TempDir::WriteFile(file, "[[[[\n[[[[\n[[[[");
  EXPECT_EQ(Get(file, "[[[", "k"), "<missing>");
  // Too large: even a key at the very start is not read.
  std::string huge = "[s]\nk=v\n";
  huge.append(9u << 20, 'a');
  TempDir::WriteFile(file, huge);
  EXPECT_EQ(Get(file, "s", "k"), "<missing>");
}

TEST(IniWriteTest, ChangesOnlyItsLineAndAddsWhatIsMissing) {
  TempDir dir;
  const fs::path file = dir / "w.ini";
  const std::string before = "; settings\n\n[Main]\n  Alpha = 1\n\n[Other]\nalpha=x\n";
  TempDir::WriteFile(file, before);
  ASSERT_TRUE(WriteValue(file, "MAIN", "ALPHA", "new value"));
  std::string expected = before;
  expected.replace(expected.find("  Alpha = 1"), 11, "  Alpha=new value");
  EXPECT_EQ(TempDir::ReadFile(file), expected);

  // CRLF, a BOM and a last line without a newline survive a change.
  const std::string crlf = "\xEF\xBB\xBF[s]\r\nk=old\r\n; note\r\n[t]\r\nk=keep";
  TempDir::WriteFile(file, crlf);
  ASSERT_TRUE(WriteValue(file, "s", "k", "new"));
  EXPECT_EQ(TempDir::ReadFile(file), "\xEF\xBB\xBF[s]\r\nk=new\r\n; note\r\n[t]\r\nk=keep");

  const fs::path created = dir / "new.ini";
  ASSERT_TRUE(WriteValue(created, " Second ", " LOCAL STORE ", "x y"));
  EXPECT_EQ(TempDir::ReadFile(created), "[Second]\r\nLOCAL STORE=x y\r\n");
  // A new key goes before the blank lines that end its section.
  TempDir::WriteFile(created, "[a]\nx=1\n; about x\n\n\n[b]\ny=2\n");
  ASSERT_TRUE(WriteValue(created, "a", "z", "3"));
  EXPECT_EQ(TempDir::ReadFile(created), "[a]\nx=1\n; about x\nz=3\r\n\n\n[b]\ny=2\n");
  // Also when the last line is unterminated.
  TempDir::WriteFile(created, "[a]\r\nx=1");
  ASSERT_TRUE(WriteValue(created, "a", "y", "2"));
  EXPECT_EQ(TempDir::ReadFile(created), "[a]\r\nx=1\r\ny=2\r\n");
}

TEST(IniWriteTest, ValuesThatReadingWouldAlterAreStoredQuoted) {
  TempDir dir;
  const fs::path file = dir / "quoted.ini";
  for (const std::string value : {"  padded  ", "\"quoted\"", "'single'", "tab\t", "\"", "a\"b"}) {
    ASSERT_TRUE(WriteValue(file, "q", "k", value));
    EXPECT_EQ(Get(file, "q", "k"), value);
  }
}

TEST(IniWriteTest, RejectedNamesAndValuesLeaveTheFileAlone) {
  TempDir dir;
  const fs::path file = dir / "r.ini";
  const std::string before = "[s]\r\nk=v\r\n";
  TempDir::WriteFile(file, before);
  const std::string nul("a\0b", 3);
  struct Case {
    std::string section, key, value, reason;
  };
  const std::vector<Case> cases = {
      {"s\n", "k", "v", "section name has a line break"},
      {nul, "k", "v", "section name has a line break"},
      {"s", "k=j", "v", "key name contains \"=\""},
      {"s", "\rk", "v", "key name has a line break"},
      {"s", " \t ", "v", "key has no name"},
      {"s", ";k", "v", "cannot start with \";\""},
      {"s", "[k", "v", "cannot start with \"[\""},
      {"s", nul, "v", "key name has a line break"},
      {"s", "k", "a\nb", "value has a line break"},
      {"s", "k", "a\r", "value has a line break"},
      {"s", "k", nul, "value has a line break"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(WriteValue(file, c.section, c.key, c.value, &error))
        << "section '" << c.section << "' key '" << c.key << "'";
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_EQ(error.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << error;
    EXPECT_EQ(TempDir::ReadFile(file), before);
  }
  EXPECT_FALSE(WriteValue(dir / "created.ini", "s", "k=", "v"));
  EXPECT_FALSE(fs::exists(dir / "created.ini"));
  // A batch with one bad entry writes none of them.
  std::string error;
  const std::vector<sIniEntry> batch = {
      {"s", "k", "changed"}, {"t", "new", "1"}, {"s", "bad=key", "x"}};
  EXPECT_FALSE(WriteValues(file, batch, &error));
  EXPECT_NE(error.find("\"bad=key\""), std::string::npos) << error;
  EXPECT_EQ(TempDir::ReadFile(file), before);
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
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(bigWritten);
  EXPECT_EQ(afterFailure, before);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  // No temporary file is left behind.
  EXPECT_EQ(names, std::vector<std::string>{"full.ini"});
}

TEST(IniWriteTest, ReadOnlyFilesAreRefusedModesKeptAndNewFilesFollowTheUmask) {
  TempDir dir;
  const fs::path file = dir / "ro.ini";
  const std::string before = "[s]\r\nk=v\r\n";
  TempDir::WriteFile(file, before);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // The folder is writable, so only a check of the file itself refuses this.
  std::string error;
  EXPECT_FALSE(WriteValue(file, "s", "k", "changed", &error));
  EXPECT_NE(error.find("read-only"), std::string::npos) << error;
  EXPECT_FALSE(WriteValue(file, "s", "new", "1"));
  EXPECT_EQ(TempDir::ReadFile(file), before);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  const fs::path privateFile = dir / "private.ini";
  TempDir::WriteFile(privateFile, before);
  fs::permissions(privateFile, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteValue(privateFile, "s", "k", "changed"));
  EXPECT_EQ(Get(privateFile, "s", "k"), "changed");
  EXPECT_EQ(fs::status(privateFile).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  const mode_t old = ::umask(027);
  const bool strict = WriteValue(dir / "strict.ini", "s", "k", "v");
  ::umask(0);
  const bool open = WriteValue(dir / "open.ini", "s", "k", "v");
  ::umask(old);
  ASSERT_TRUE(strict);
  ASSERT_TRUE(open);
  EXPECT_EQ(fs::status(dir / "strict.ini").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(fs::status(dir / "open.ini").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
}

TEST(IniParityTest, LineEndsSectionNamesCommentsAndEmptyKeys) {
  TempDir dir;
  const fs::path file = dir / "p.ini";
  // A lone CR ends a line, a section name runs to its last "]", "#" starts
  // no comment, and "=value" is a key without a name.
  TempDir::WriteFile(file,
                     "[s]\rk=v\rj=w\r\n"
                     "[a]b] \r\nx=in a]b\r\n"
                     "[h]\n#k=hash\n=nameless\n; c=comment\n");
  EXPECT_EQ(Get(file, "s", "k"), "v");
  EXPECT_EQ(Get(file, "s", "j"), "w");
  EXPECT_EQ(Get(file, "a]b", "x"), "in a]b");
  EXPECT_EQ(Get(file, "a", "x"), "<missing>");
  EXPECT_EQ(Get(file, "h", "#k"), "hash");
  EXPECT_EQ(Get(file, "h", ""), "nameless");
  EXPECT_EQ(Get(file, "h", "; c"), "<missing>");

  // A change keeps the lone CR of its line.
  ASSERT_TRUE(WriteValue(file, "s", "k", "z"));
  const std::string changed = "[s]\rk=z\rj=w\r\n[a]b]";
  EXPECT_EQ(TempDir::ReadFile(file).substr(0, changed.size()), changed);
  // Such names can be written too, and read back.
  ASSERT_TRUE(WriteValue(file, "x]y", "#n", "1"));
  EXPECT_EQ(Get(file, "x]y", "#n"), "1");
  // A key still needs a name to be written.
  EXPECT_FALSE(WriteValue(file, "h", "", "other"));
  EXPECT_EQ(Get(file, "h", ""), "nameless");

  // The default text loses its trailing blanks, not its leading ones.
  char buffer[16];
  EXPECT_EQ(GetProfileString(file, "s", "missing", " dflt   ", buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, " dflt");
  EXPECT_EQ(GetProfileString(file, "s", "missing", "   ", buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
}

TEST(IniParityTest, NewFilesAndNewLinesUseCrlf) {
  TempDir dir;
  const fs::path file = dir / "n.ini";
  ASSERT_TRUE(WriteValue(file, "First", "a", "1"));
  ASSERT_TRUE(WriteValue(file, "first", "b", "2"));
  ASSERT_TRUE(WriteValue(file, "Second", "c", "3"));
  EXPECT_EQ(TempDir::ReadFile(file), "[First]\r\na=1\r\nb=2\r\n[Second]\r\nc=3\r\n");
  // Lines already there keep their ends; the added ones are CRLF.
  TempDir::WriteFile(file, "[a]\nx=1\ny=2");
  ASSERT_TRUE(WriteValue(file, "a", "x", "9"));
  ASSERT_TRUE(WriteValue(file, "a", "z", "3"));
  ASSERT_TRUE(WriteValue(file, "b", "w", "4"));
  EXPECT_EQ(TempDir::ReadFile(file), "[a]\nx=9\ny=2\r\nz=3\r\n[b]\r\nw=4\r\n");
}

TEST(IniParityTest, WritingTheValueAKeyHasLeavesTheFileUntouched) {
  TempDir dir;
  const fs::path file = dir / "same.ini";
  TempDir::WriteFile(file, "[s]\r\n  k = v \r\nq=\"padded \"\r\n");
  // An old time stamp, so that any rewrite shows.
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
  const auto unchanged = [&] {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && info.st_mtim.tv_sec == 1000000000;
  };
  ASSERT_TRUE(WriteValue(file, "S", "K", "v"));
  ASSERT_TRUE(WriteValue(file, "s", "q", "padded "));
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\r\n  k = v \r\nq=\"padded \"\r\n");
  // So does a batch of values it already has.
  const std::vector<sIniEntry> same = {{"s", "k", "v"}, {"S", "Q", "padded "}};
  ASSERT_TRUE(WriteValues(file, same));
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\r\n  k = v \r\nq=\"padded \"\r\n");

  ASSERT_TRUE(WriteValue(file, "s", "k", "w"));
  EXPECT_FALSE(unchanged());
  EXPECT_EQ(Get(file, "s", "k"), "w");
  // A batch sets every key in one go; of one key twice, the later value stays.
  const std::vector<sIniEntry> batch = {
      {"s", "k", "1"}, {"t", "new", "2"}, {"s", "q", "3"}, {"T", "NEW", "4"}};
  ASSERT_TRUE(WriteValues(file, batch));
  EXPECT_EQ(TempDir::ReadFile(file), "[s]\r\n  k=1\r\nq=3\r\n[t]\r\nnew=4\r\n");
  EXPECT_EQ(fs::directory_iterator(dir.Path())->path(), file) << "no temp file left";
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
