// The registry: values, keys, concurrency and the sub-key watcher. On Linux it is the
// directory-tree store (its files are checked too); on Windows the real hive.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace reg = plat::reg;
namespace fs = std::filesystem;

constexpr const char* kApp = "SOFTWARE\\Vendor\\App";

reg::Value Sz(const std::string& name, const std::string& text,
              reg::ValueType type = reg::ValueType::Sz) {
  reg::Value v;
  v.name = name;
  v.type = type;
  v.text = text;
  return v;
}

reg::Value Dword(const std::string& name, std::uint32_t n) {
  reg::Value v;
  v.name = name;
  v.type = reg::ValueType::Dword;
  v.dword = n;
  return v;
}

class RegistryTest : public ::testing::Test {
 protected:
#ifdef _WIN32
  // The real hive is shared: the keys the tests use are removed before and after each.
  void SetUp() override { TearDown(); }
  void TearDown() override {
    for (const char* key : {"SOFTWARE\\Vendor", "SOFTWARE\\Keys"}) reg::DeleteKey(key);
  }
#endif
  orvtest::TempProgramDir m_program;
};

TEST_F(RegistryTest, ValuesRoundTripWithEveryTypeAndAnyText) {
  const reg::Value values[] = {
      Sz("DisplayName", "办公助手 3.0"),
      Sz("Multi", "line one\nline two\r\n\ttabbed \\n literal \\ back\\slash"),
      Sz("", "default value"),
      Sz("Path", "%ProgramFiles%\\App", reg::ValueType::ExpandSz),
      Dword("Max", 0xFFFFFFFFu),
      Dword("Zero", 0),
      Sz("Empty", ""),
  };
  for (const reg::Value& v : values) ASSERT_TRUE(reg::WriteValue(kApp, v)) << v.name;
  std::vector<reg::Value> listed = reg::EnumValues(kApp);
  ASSERT_EQ(listed.size(), std::size(values));
  for (std::size_t i = 0; i < listed.size(); ++i) {
    SCOPED_TRACE(values[i].name);
    auto read = reg::ReadValue(kApp, values[i].name);
    ASSERT_TRUE(read.has_value());
    // The enumeration order is the store's own (Wine's hive sorts by name).
    auto inList = std::find_if(listed.begin(), listed.end(),
                               [&](const reg::Value& v) { return v.name == values[i].name; });
    ASSERT_NE(inList, listed.end());
    for (const reg::Value* got : {&*read, &*inList}) {
      EXPECT_EQ(got->name, values[i].name);
      EXPECT_EQ(got->type, values[i].type);
      EXPECT_EQ(got->text, values[i].text);
      EXPECT_EQ(got->dword, values[i].dword);
    }
  }
  // Overwriting changes type and data in place.
  ASSERT_TRUE(reg::WriteValue(kApp, Dword("DisplayName", 7)));
  auto changed = reg::ReadValue(kApp, "DisplayName");
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->type, reg::ValueType::Dword);
  EXPECT_EQ(changed->dword, 7u);
  EXPECT_EQ(changed->text, "");
#ifndef _WIN32
  EXPECT_EQ(reg::EnumValues(kApp).front().name, "DisplayName");
#endif
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepCreationCase) {
  ASSERT_TRUE(reg::CreateKey("SOFTWARE\\Vendor"));
  ASSERT_TRUE(reg::WriteValue("software\\VENDOR\\App", Sz("DisplayName", "a")));
  ASSERT_TRUE(reg::WriteValue("Software\\vendor\\APP", Sz("DISPLAYNAME", "b")));
#ifdef _WIN32  // the real hive has other keys beside it
  const auto software = reg::EnumSubKeys("software");
  EXPECT_NE(std::find(software.begin(), software.end(), "Vendor"), software.end());
#else
  EXPECT_EQ(reg::EnumSubKeys("software"), std::vector<std::string>{"Vendor"});
#endif
  EXPECT_EQ(reg::EnumSubKeys("SOFTWARE\\VENDOR"), std::vector<std::string>{"App"});
  auto v = reg::ReadValue("\\SOFTWARE\\Vendor\\App\\", "displayname");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->name, "DisplayName");
  EXPECT_EQ(v->text, "b");
  EXPECT_EQ(reg::EnumValues(kApp).size(), 1u);
  EXPECT_TRUE(reg::KeyExists("SOFTWARE\\VENDOR\\app"));
  EXPECT_FALSE(reg::KeyExists("SOFTWARE\\VENDOR\\app\\none"));
  EXPECT_FALSE(reg::ReadValue(kApp, "missing").has_value());
  EXPECT_FALSE(reg::ReadValue("SOFTWARE\\None", "DisplayName").has_value());
}

TEST_F(RegistryTest, SubKeysEnumerateSortedAndOddNamesStayInside) {
  for (const char* name : {"beta", "Alpha", "gamma", "a/b", ".hidden", "..", "100%"})
    ASSERT_TRUE(reg::CreateKey(std::string("SOFTWARE\\Keys\\") + name)) << name;
  EXPECT_EQ(reg::EnumSubKeys("SOFTWARE\\Keys"),
            (std::vector<std::string>{"..", ".hidden", "100%", "a/b", "Alpha", "beta", "gamma"}));
  ASSERT_TRUE(reg::WriteValue("SOFTWARE\\Keys\\..\\..", Sz("v", "x")));
  EXPECT_EQ(reg::ReadValue("SOFTWARE\\Keys\\..\\..", "v")->text, "x");
#ifndef _WIN32
  // Nothing was written outside the root, nor beside SOFTWARE.
  EXPECT_EQ(reg::EnumSubKeys(""), std::vector<std::string>{"SOFTWARE"});
  fs::path parent = fs::path(reg::RootDirectory()).parent_path();
  for (auto& e : fs::directory_iterator(parent)) EXPECT_EQ(e.path().filename(), "registry");
#endif
}

TEST_F(RegistryTest, DeletionRemovesKeysAndValues) {
  ASSERT_TRUE(reg::WriteValue(kApp, Sz("a", "1")));
  ASSERT_TRUE(reg::WriteValue(kApp, Sz("b", "2")));
  ASSERT_TRUE(reg::WriteValue(std::string(kApp) + "\\Sub\\Deeper", Sz("c", "3")));
  EXPECT_TRUE(reg::DeleteValue(kApp, "A"));
  EXPECT_FALSE(reg::DeleteValue(kApp, "a"));
  EXPECT_FALSE(reg::DeleteValue("SOFTWARE\\None", "a"));
  ASSERT_EQ(reg::EnumValues(kApp).size(), 1u);
  EXPECT_TRUE(reg::DeleteAllValues(kApp));
  EXPECT_TRUE(reg::EnumValues(kApp).empty());
  EXPECT_TRUE(reg::KeyExists(std::string(kApp) + "\\Sub\\Deeper"));

  EXPECT_FALSE(reg::DeleteKey(""));  // never the whole hive
  EXPECT_FALSE(reg::DeleteKey("SOFTWARE\\None"));
  EXPECT_TRUE(reg::DeleteKey("software\\vendor\\app"));
  EXPECT_FALSE(reg::KeyExists(kApp));
  EXPECT_TRUE(reg::KeyExists("SOFTWARE\\Vendor"));
  EXPECT_TRUE(reg::EnumSubKeys("SOFTWARE\\Vendor").empty());
#ifndef _WIN32
  // The store keeps no leftovers of deleted keys.
  for (auto& e : fs::directory_iterator(reg::RootDirectory()))
    EXPECT_TRUE(e.path().filename() == "SOFTWARE" || e.path().filename() == ".lock") << e.path();
#endif
}

#ifndef _WIN32
TEST_F(RegistryTest, ConcurrentWritersFromTwoProcessesLoseNothing) {
  constexpr int kValues = 40;
  auto writeAll = [](const std::string& prefix) {
    for (int i = 0; i < kValues; ++i)
      if (!reg::WriteValue(kApp, Sz(prefix + std::to_string(i), "data " + std::to_string(i))))
        return false;
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writeAll("child") ? 0 : 1);
  EXPECT_TRUE(writeAll("parent"));
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(reg::EnumValues(kApp).size(), 2u * kValues);
  for (const char* prefix : {"child", "parent"})
    for (int i = 0; i < kValues; ++i) {
      auto v = reg::ReadValue(kApp, prefix + std::to_string(i));
      ASSERT_TRUE(v) << prefix << i;
      EXPECT_EQ(v->text, "data " + std::to_string(i));
    }
}

TEST_F(RegistryTest, RootFollowsEnvironment) {
  std::string saved = reg::RootDirectory();
  const char* xdg = std::getenv("XDG_DATA_HOME");
  std::string savedXdg = xdg ? xdg : "";
  setenv("ORVANTA_REGISTRY_ROOT", "/some/root/", 1);
  EXPECT_EQ(reg::RootDirectory(), "/some/root");
  setenv("ORVANTA_REGISTRY_ROOT", "", 1);
  setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(reg::RootDirectory(), "/data/orvanta/registry");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(reg::RootDirectory(),
            std::string(std::getenv("HOME")) + "/.local/share/orvanta/registry");
  if (xdg) setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  setenv("ORVANTA_REGISTRY_ROOT", saved.c_str(), 1);
}
#endif

TEST_F(RegistryTest, WatchReportsSubKeyAndValueChangesAnywhereBelow) {
  const std::string key = std::string(kApp) + "\\Uninstall";
  reg::KeyWatch missing;
  EXPECT_FALSE(missing.Open(key));
  ASSERT_TRUE(reg::CreateKey(key + "\\Existing\\Inner"));
  ASSERT_TRUE(reg::WriteValue(key + "\\Existing", Sz("Publisher", "p")));
  reg::KeyWatch watch;
  ASSERT_TRUE(watch.Open(key));
  EXPECT_EQ(watch.Wait(50), 0);

  struct Step {
    const char* what;
    std::function<bool()> change;
    // Wine's registry drops a write of the data a value already holds without touching the
    // key, so nobody is woken (Windows wakes).
    bool silentUnderWine = false;
  } steps[] = {
      {"new sub-key", [&] { return reg::CreateKey(key + "\\App1"); }},
      {"value in a new sub-key", [&] { return reg::WriteValue(key + "\\App1", Sz("A", "1")); }},
      {"same value again", [&] { return reg::WriteValue(key + "\\App1", Sz("A", "1")); }, true},
      {"sub-key below a new one", [&] { return reg::CreateKey(key + "\\App1\\Sub"); }},
      {"value two levels below a new key",
       [&] { return reg::WriteValue(key + "\\App1\\Sub", Sz("B", "2")); }},
      {"value in an old sub-key",
       [&] { return reg::WriteValue(key + "\\Existing", Sz("DisplayIcon", "i")); }},
      {"value of the key itself", [&] { return reg::WriteValue(key, Sz("", "default")); }},
      {"value deleted", [&] { return reg::DeleteValue(key + "\\Existing", "Publisher"); }},
      {"all values deleted", [&] { return reg::DeleteAllValues(key + "\\Existing"); }},
      {"sub-key below an old one", [&] { return reg::CreateKey(key + "\\Existing\\Inner\\X"); }},
      {"deep delete", [&] { return reg::DeleteKey(key + "\\Existing\\Inner"); }},
      {"delete", [&] { return reg::DeleteKey(key + "\\App1"); }},
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(s.change()) << s.what;
    if (s.silentUnderWine && orvtest::RunningUnderWine()) continue;
    EXPECT_EQ(watch.Wait(2000), 1) << s.what;
    while (watch.Wait(50) == 1) {
    }
  }

  // Reading wakes nobody (a reader woken by its own reads would never rest).
  EXPECT_EQ(reg::EnumSubKeys(key).size(), 1u);
  EXPECT_TRUE(reg::ReadValue(key, ""));
  EXPECT_TRUE(reg::WalkKeys(key, [](const std::string&, const std::vector<reg::Value>&) {}));
  EXPECT_EQ(watch.Wait(200), 0);
}

TEST_F(RegistryTest, CancelWakesBlockedWaitAndLaterWaitsFail) {
  ASSERT_TRUE(reg::CreateKey(kApp));
  reg::KeyWatch watch;
  ASSERT_TRUE(watch.Open(kApp));
  auto waiting = std::async(std::launch::async, [&] { return watch.Wait(); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  watch.Cancel();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), -1);
  EXPECT_EQ(watch.Wait(0), -1);
}

TEST_F(RegistryTest, WatchEndsWhenTheKeyItselfIsDeleted) {
  ASSERT_TRUE(reg::CreateKey(kApp));
  reg::KeyWatch watch;
  ASSERT_TRUE(watch.Open(kApp));
  ASSERT_TRUE(reg::DeleteKey(kApp));
  EXPECT_EQ(watch.Wait(2000), 1);
  EXPECT_EQ(watch.Wait(0), -1);
}

}  // namespace
