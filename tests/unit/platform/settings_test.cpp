#include "platform/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"

namespace kovo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr SettingsLocation kHost = SettingsLocation::kHostFolder;
constexpr SettingsLocation kPlugin = SettingsLocation::kPluginFolder;
constexpr SettingsLocation kUser = SettingsLocation::kUserFolder;

class SettingsFilesTest : public ::testing::Test {
 protected:
  SettingsFilesTest() {
    fs::create_directory(m_root / "host");
    fs::create_directory(m_root / "host" / "kovo plugins");
  }
  SettingsPaths Paths(std::string userId) const {
    return SettingsPaths{m_root / "host", m_root / "data", std::move(userId)};
  }

  TempDir m_root;
};

TEST_F(SettingsFilesTest, LocationsResolveToTheirFolders) {
  const CSettingsFiles files(Paths("user 1"));
  const fs::path userFolder = m_root / "data" / "Tolvane" / "KovoZint" / "user 1";
  EXPECT_EQ(files.PathOf("a.ini", kHost), m_root / "host" / "a.ini");
  EXPECT_EQ(files.PathOf("a.ini", kPlugin), m_root / "host" / "kovo plugins" / "a.ini");
  EXPECT_EQ(files.PathOf("a.ini", kUser), userFolder / "a.ini");

  // Each location reads and writes its own file; the user folder is made on demand.
  ASSERT_EQ(files.Write("s", "where", "host", "a.ini", kHost), 1);
  ASSERT_EQ(files.Write("s", "where", "plugin", "a.ini", kPlugin), 1);
  ASSERT_EQ(files.Write("s", "where", "user", "a.ini", kUser), 1);
  EXPECT_EQ(TempDir::ReadFile(m_root / "host" / "a.ini"), "[s]\r\nwhere=host\r\n");
  std::string value;
  EXPECT_EQ(files.Read("S", "WHERE", value, "a.ini", kPlugin), 1);
  EXPECT_EQ(value, "plugin");
  EXPECT_EQ(files.Read("s", "where", value, "a.ini", kUser), 1);
  EXPECT_EQ(value, "user");
}

TEST_F(SettingsFilesTest, BadUserFolderIdsAndFileNamesAreRefused) {
  for (const std::string& id : {std::string(""), std::string(".."), std::string("a/b"),
                                std::string("/abs"), std::string("a\0b", 3)}) {
    const CSettingsFiles files(Paths(id));
    EXPECT_TRUE(files.UserFolder().empty()) << id;
    EXPECT_EQ(files.Write("s", "k", "v", "a.ini", kUser), 0) << id;
  }
  EXPECT_FALSE(fs::exists(m_root / "data"));

  const CSettingsFiles files(Paths("u"));
  for (const char* name : {"", ".", "..", "sub/a.ini", "../a.ini", "/tmp/a.ini"}) {
    for (SettingsLocation location : {kHost, kPlugin, kUser}) {
      EXPECT_EQ(files.Write("s", "k", "v", name, location), 0) << name;
    }
  }
  EXPECT_EQ(fs::directory_iterator(m_root / "host" / "kovo plugins"), fs::directory_iterator());
}

TEST_F(SettingsFilesTest, ReadsMissingAndPresentKeys) {
  const CSettingsFiles files(Paths("u"));
  std::string value = "stale";
  EXPECT_EQ(files.Read("s", "k", value, "missing.ini", kHost), 0);
  EXPECT_EQ(value, "");

  TempDir::WriteFile(m_root / "host" / "p.ini", "[Connection]\nEmpty=\nMarker=Key not found\n");
  // An empty value is still a present key.
  value = "stale";
  EXPECT_EQ(files.Read("Connection", "Empty", value, "p.ini", kHost), 1);
  EXPECT_EQ(value, "");
  // The missing-key marker cannot be told apart from a stored value.
  value = "stale";
  EXPECT_EQ(files.Read("Connection", "Marker", value, "p.ini", kHost), 0);
  EXPECT_EQ(value, "");
}

TEST_F(SettingsFilesTest, LongValuesComeBackWhole) {
  const CSettingsFiles files(Paths("u"));
  // Around the first buffer's size, where a cut value would first show.
  for (std::size_t length : {4093u, 4094u, 4095u, 4096u, 5120u, 25000u}) {
    std::string written;
    for (std::size_t i = 0; written.size() < length; ++i) {
      written += static_cast<char>('a' + i % 26);
    }
    ASSERT_EQ(files.Write("s", "long", written, "long.ini", kUser), 1) << length;
    std::string read;
    EXPECT_EQ(files.Read("s", "long", read, "long.ini", kUser), 1) << length;
    EXPECT_EQ(read, written) << length;
  }
}

TEST_F(SettingsFilesTest, FailedWritesReachTheErrorSinkAndBatchesAreWhole) {
  CSettingsFiles files(Paths("u"));
  std::vector<std::string> errors;
  files.SetErrorSink([&](const std::string& text) { errors.push_back(text); });

  EXPECT_EQ(files.Write("s", "a=b", "v", "a.ini", kPlugin), 0);
  EXPECT_EQ(files.Write("s", "k", "two\nlines", "a.ini", kPlugin), 0);
  EXPECT_EQ(files.Write("s", "k", "v", "../a.ini", kPlugin), 0);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_NE(errors[0].find("\"a=b\""), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("a.ini"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("line break"), std::string::npos) << errors[1];
  EXPECT_NE(errors[2].find("\"../a.ini\""), std::string::npos) << errors[2];
  EXPECT_FALSE(fs::exists(m_root / "host" / "kovo plugins" / "a.ini"));

  const std::vector<ini::sIniEntry> batch = {{"one", "k", "1"}, {"two", "k", "2"}};
  ASSERT_EQ(files.WriteBatch(batch, "b.ini", kUser), 1);
  std::string value;
  EXPECT_EQ(files.Read("two", "k", value, "b.ini", kUser), 1);
  EXPECT_EQ(value, "2");
  EXPECT_EQ(errors.size(), 3u) << "a write that worked reports nothing";

  // A read-only file takes nothing, and says so.
  const fs::path readOnly = files.PerUserPath("b.ini");
  fs::permissions(readOnly, fs::perms::owner_read);
  const std::vector<ini::sIniEntry> changes = {{"one", "k", "x"}, {"three", "k", "3"}};
  EXPECT_EQ(files.WriteBatch(changes, "b.ini", kUser), 0);
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_NE(errors[3].find("read-only"), std::string::npos) << errors[3];
  EXPECT_EQ(files.Read("one", "k", value, "b.ini", kUser), 1);
  EXPECT_EQ(value, "1");
  EXPECT_EQ(files.Read("three", "k", value, "b.ini", kUser), 0);
}

}  // namespace
}  // namespace kovo
