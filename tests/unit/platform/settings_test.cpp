#include "platform/settings.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/ini_file.h"

namespace kovo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr SettingsLocation kHost = SettingsLocation::kHostFolder;
constexpr SettingsLocation kPlugin = SettingsLocation::kPluginFolder;
constexpr SettingsLocation kUser = SettingsLocation::kUserFolder;

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      ::setenv(m_name, m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

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

TEST(SettingsPathsTest, DefaultFolders) {
  // The test binary is the host program here.
  const fs::path hostFolder = SettingsPaths::HostProgramFolder();
  EXPECT_TRUE(hostFolder.is_absolute());
  EXPECT_TRUE(fs::is_regular_file(hostFolder / program_invocation_short_name)) << hostFolder;

  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(SettingsPaths::DefaultAppDataFolder(), fs::path("/srv/data"));
  }
  {
    ScopedEnv data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(SettingsPaths::DefaultAppDataFolder(), fs::path("/home/someone/.local/share"));
  }
  {
    ScopedEnv data("XDG_DATA_HOME", "");
    EXPECT_EQ(SettingsPaths::DefaultAppDataFolder(), fs::path("/home/someone/.local/share"));
  }
  {
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(SettingsPaths::DefaultAppDataFolder(), fs::path("/home/someone/.local/share"));
    // Without $HOME the password database still knows the home folder.
    ScopedEnv noHome("HOME", nullptr);
    const fs::path fallback = SettingsPaths::DefaultAppDataFolder();
    EXPECT_TRUE(fallback.is_absolute()) << fallback;
    EXPECT_EQ(fallback.filename(), "share");
  }
}

TEST_F(SettingsFilesTest, LocationsResolveToTheirFolders) {
  const CSettingsFiles files(Paths("user 1"));
  const fs::path userFolder = m_root / "data" / "Tolvane" / "KovoZint" / "user 1";
  EXPECT_EQ(files.PluginFolder(), m_root / "host" / "kovo plugins");
  EXPECT_EQ(files.UserFolder(), userFolder);
  EXPECT_EQ(files.PathOf("a.ini", kHost), m_root / "host" / "a.ini");
  EXPECT_EQ(files.PathOf("a.ini", kPlugin), m_root / "host" / "kovo plugins" / "a.ini");
  EXPECT_EQ(files.PathOf("a.ini", kUser), userFolder / "a.ini");
  EXPECT_EQ(files.PerUserPath("a.ini"), userFolder / "a.ini");

  // Each location reads and writes its own file.
  ASSERT_EQ(files.Write("s", "where", "host", "a.ini", kHost), 1);
  ASSERT_EQ(files.Write("s", "where", "plugin", "a.ini", kPlugin), 1);
  EXPECT_FALSE(fs::exists(userFolder));
  ASSERT_EQ(files.Write("s", "where", "user", "a.ini", kUser), 1);
  EXPECT_TRUE(fs::is_directory(userFolder));
  EXPECT_EQ(TempDir::ReadFile(m_root / "host" / "a.ini"), "[s]\nwhere=host\n");
  EXPECT_EQ(TempDir::ReadFile(m_root / "host" / "kovo plugins" / "a.ini"), "[s]\nwhere=plugin\n");
  EXPECT_EQ(TempDir::ReadFile(userFolder / "a.ini"), "[s]\nwhere=user\n");
  std::string value;
  EXPECT_EQ(files.Read("S", "WHERE", value, "a.ini", kPlugin), 1);
  EXPECT_EQ(value, "plugin");
  EXPECT_EQ(files.Read("s", "where", value, "a.ini", kUser), 1);
  EXPECT_EQ(value, "user");

  // Only the user folder is created on demand.
  const CSettingsFiles nowhere(SettingsPaths{m_root / "missing", m_root / "data", "u"});
  EXPECT_EQ(nowhere.Write("s", "k", "v", "a.ini", kHost), 0);
  EXPECT_EQ(nowhere.Write("s", "k", "v", "a.ini", kPlugin), 0);
  EXPECT_FALSE(fs::exists(m_root / "missing"));
}

TEST_F(SettingsFilesTest, BadUserFolderIdsAndFileNamesAreRefused) {
  const std::vector<std::string> badIds = {"", ".", "..", "a/b", "/abs", std::string("a\0b", 3)};
  for (const std::string& id : badIds) {
    const CSettingsFiles files(Paths(id));
    EXPECT_TRUE(files.UserFolder().empty()) << id;
    EXPECT_FALSE(files.EnsureUserFolder()) << id;
    EXPECT_TRUE(files.PerUserPath("a.ini").empty()) << id;
    EXPECT_EQ(files.Write("s", "k", "v", "a.ini", kUser), 0) << id;
    std::string value = "stale";
    EXPECT_EQ(files.Read("s", "k", value, "a.ini", kUser), 0) << id;
    EXPECT_EQ(value, "");
  }
  EXPECT_FALSE(fs::exists(m_root / "data"));

  const CSettingsFiles files(Paths("u"));
  for (const char* name : {"", ".", "..", "sub/a.ini", "../a.ini", "/tmp/a.ini"}) {
    for (SettingsLocation location : {kHost, kPlugin, kUser}) {
      EXPECT_TRUE(files.PathOf(name, location).empty()) << name;
      EXPECT_EQ(files.Write("s", "k", "v", name, location), 0) << name;
    }
  }
  EXPECT_EQ(files.Write("s", "k", "v", "a.ini", static_cast<SettingsLocation>(7)), 0);
  std::string value = "x";
  EXPECT_EQ(files.Access(static_cast<SettingsMode>(3), "s", "k", value, "a.ini", kHost), 0);
  EXPECT_EQ(fs::directory_iterator(m_root / "host" / "kovo plugins"), fs::directory_iterator());
  EXPECT_FALSE(fs::exists(m_root / "host" / "a.ini"));
}

TEST_F(SettingsFilesTest, ReadsMissingAndPresentKeys) {
  const CSettingsFiles files(Paths("u"));
  std::string value = "stale";
  EXPECT_EQ(files.Read("s", "k", value, "missing.ini", kHost), 0);
  EXPECT_EQ(value, "");

  TempDir::WriteFile(m_root / "host" / "p.ini",
                     "[Connection]\n"
                     "LOCAL STORE = d:\\store\n"
                     "Empty=\n"
                     "Marker=Key not found\n");
  value = "stale";
  EXPECT_EQ(files.Read("connection", "local store", value, "p.ini", kHost), 1);
  EXPECT_EQ(value, "d:\\store");
  value = "stale";
  EXPECT_EQ(files.Read("Connection", "absent", value, "p.ini", kHost), 0);
  EXPECT_EQ(value, "");
  // An empty value is still a present key.
  value = "stale";
  EXPECT_EQ(files.Read("Connection", "Empty", value, "p.ini", kHost), 1);
  EXPECT_EQ(value, "");
  // The missing-key marker cannot be told apart from a stored value.
  value = "stale";
  EXPECT_EQ(files.Read("Connection", "Marker", value, "p.ini", kHost), 0);
  EXPECT_EQ(value, "");

  ASSERT_EQ(files.Write("Local Settings", "LOCAL STORE", "e:\\x y", "p.ini", kHost), 1);
  EXPECT_EQ(files.Read("local settings", "local store", value, "p.ini", kHost), 1);
  EXPECT_EQ(value, "e:\\x y");
  EXPECT_EQ(files.Read("connection", "local store", value, "p.ini", kHost), 1);
  EXPECT_EQ(value, "d:\\store");

  // Rejected names come back as 0, not as an exception.
  EXPECT_EQ(files.Write("Connection", "a=b", "v", "p.ini", kHost), 0);
}

TEST_F(SettingsFilesTest, LongValuesComeBackWhole) {
  const CSettingsFiles files(Paths("u"));
  // Around the first buffer's size, where a cut value would first show.
  for (std::size_t length : {4093u, 4094u, 4095u, 4096u, 5119u, 5120u, 10001u, 25000u}) {
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

}  // namespace
}  // namespace kovo
