#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "client/base/MachineRegistry.h"
#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kWowUninstall =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

plat::reg::Value Sz(const std::string& name, const std::string& text) {
  plat::reg::Value v;
  v.name = name;
  v.type = plat::reg::ValueType::Sz;
  v.text = text;
  return v;
}

class MachineRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("ORVANTA_WOW64"); }
  void TearDown() override { unsetenv("ORVANTA_WOW64"); }
  orvtest::TempProgramDir m_dir;
};

TEST(ParseRegistryPath, RootNamesMatchExactly) {
  struct Case {
    std::string text;
    RegistryRoot root;
    std::string subKey;
  };
  const Case cases[] = {
      {"HKEY_CURRENT_USER\\Software\\Orvanta", RegistryRoot::CurrentUser, "Software\\Orvanta"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\", RegistryRoot::LocalMachine,
       "SOFTWARE\\Microsoft\\"},
      {"HKEY_CLASSES_ROOT\\htmlfile", RegistryRoot::ClassesRoot, "htmlfile"},
      {"HKEY_CURRENT_CONFIG\\System", RegistryRoot::CurrentConfig, "System"},
      {"HKEY_USERS\\.DEFAULT", RegistryRoot::Users, ".DEFAULT"},
      // Leading backslashes of the sub-key are removed.
      {"HKEY_USERS\\\\\\S-1-5", RegistryRoot::Users, "S-1-5"},
      {"HKEY_LOCAL_MACHINE\\", RegistryRoot::LocalMachine, ""},
      // Abbreviated, lower-case or unknown roots, and no backslash at all.
      {"HKCU\\Software", RegistryRoot::None, ""},
      {"hkey_current_user\\Software", RegistryRoot::None, ""},
      {"HKEY_Local_Machine\\SOFTWARE", RegistryRoot::None, ""},
      {"HKEY_LOCAL_MACHINE", RegistryRoot::None, ""},
      {"HKEY_PERFORMANCE_DATA\\x", RegistryRoot::None, ""},
      {"", RegistryRoot::None, ""},
  };
  for (const auto& c : cases) {
    ParsedRegistryPath p = ParseRegistryPath(c.text);
    EXPECT_EQ(p.root, c.root) << c.text;
    EXPECT_EQ(p.subKey, c.subKey) << c.text;
  }
}

TEST_F(MachineRegistryTest, SoftwareKeyTakesTheWow64BranchOn64BitWindows) {
  EXPECT_FALSE(IsWow64());
  EXPECT_EQ(MachineSoftwareKey(kUninstallPath),
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
  setenv("ORVANTA_WOW64", "1", 1);
  EXPECT_TRUE(IsWow64());
  EXPECT_EQ(MachineSoftwareKey("Vendor\\App"), "SOFTWARE\\Wow6432Node\\Vendor\\App");
}

TEST_F(MachineRegistryTest, ReadsValuesOfAnyLength) {
  std::string longPath = "/opt/" + std::string(400, 'p') + "/uninstall.sh --silent";
  ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\APP01", Sz("UninstallString", longPath)));
  ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\APP01", Sz("DisplayName", "记账软件")));
  plat::reg::Value dword;
  dword.name = "EstimatedSize";
  dword.type = plat::reg::ValueType::Dword;
  dword.dword = 4096;
  ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\APP01", dword));

  EXPECT_EQ(ReadUninstallValue("APP01", "UninstallString"), longPath);
  EXPECT_EQ(ReadUninstallValue("APP01", "DisplayName"), "记账软件");
  EXPECT_EQ(ReadMachineValue(std::string(kUninstallPath) + "APP01", "EstimatedSize"), "4096");
  // Missing value, missing key, no code: all "not installed".
  EXPECT_EQ(ReadUninstallValue("APP01", "DisplayVersion"), "");
  EXPECT_EQ(ReadUninstallValue("APP02", "DisplayName"), "");
  EXPECT_EQ(ReadUninstallValue("", "DisplayName"), "");
}

TEST_F(MachineRegistryTest, Wow64LookupsNeverReadThe64BitBranch) {
  ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\APP01", Sz("DisplayName", "native")));
  setenv("ORVANTA_WOW64", "1", 1);
  EXPECT_EQ(ReadUninstallValue("APP01", "DisplayName"), "");
  ASSERT_TRUE(plat::reg::WriteValue(kWowUninstall + "\\APP01", Sz("DisplayName", "wow")));
  EXPECT_EQ(ReadUninstallValue("APP01", "DisplayName"), "wow");
}

TEST_F(MachineRegistryTest, WatcherOnAFreshRegistrySeesTheFirstInstallation) {
  ASSERT_FALSE(plat::reg::KeyExists(kUninstall));
  std::atomic<int> changes{0};
  UninstallKeyWatcher watcher([&] { ++changes; }, 10);
  ASSERT_TRUE(watcher.Start());
  ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\FIRSTAPP", Sz("DisplayName", "first")));
  EXPECT_TRUE(orvtest::WaitUntil([&] { return changes >= 1; }));
}

TEST_F(MachineRegistryTest, WatcherFailsWhenTheStoreCannotHoldTheKey) {
  orvtest::WriteFile(m_dir.Path() + "/not-a-folder", "");
  orvtest::ScopedEnv root("ORVANTA_REGISTRY_ROOT", m_dir.Path() + "/not-a-folder/registry");
  UninstallKeyWatcher watcher([] {}, 10);
  EXPECT_FALSE(watcher.Start());
}

TEST_F(MachineRegistryTest, WatcherReportsInstallAndRemovalAfterTheSettleTime) {
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall));
  std::atomic<int> changes{0};
  std::atomic<long long> firstChangeAt{0};
  UninstallKeyWatcher watcher(
      [&] {
        if (changes++ == 0)
          firstChangeAt = std::chrono::steady_clock::now().time_since_epoch().count();
      },
      200);
  ASSERT_TRUE(watcher.Start());

  auto created = std::chrono::steady_clock::now();
  ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\NEWAPP", Sz("DisplayName", "新应用")));
  ASSERT_TRUE(orvtest::WaitUntil([&] { return changes >= 1; }));
  auto delay =
      std::chrono::steady_clock::duration(firstChangeAt.load()) - created.time_since_epoch();
  EXPECT_GE(delay, std::chrono::milliseconds(200));

  // Let the settle time of any further event pass, then remove the application.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  int before = changes;
  ASSERT_TRUE(plat::reg::DeleteKey(kUninstall + "\\NEWAPP"));
  EXPECT_TRUE(orvtest::WaitUntil([&] { return changes > before; }));
}

TEST_F(MachineRegistryTest, WatcherReadsTheEntryAsItEndsUpHoweverSlowlyItIsWritten) {
  // An installer creates its key, then writes its values one process at a time.
  struct Case {
    const char* what;
    int settleMs;
    int pauseMs;
    int values;
    bool partialReadsAllowed;
  } cases[] = {
      // Each pause outlasts the settle time: reads in between, the last one whole.
      {"pauses longer than the settle time", 100, 400, 4, true},
      // Each write restarts the settle time: one read, after the last write.
      {"writes closer than the settle time", 1000, 100, 12, false},
  };
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall));
  for (const Case& c : cases) {
    const std::string entry = kUninstall + "\\SLOWAPP";
    std::mutex mutex;
    std::vector<std::size_t> seen;  // values of the entry at each callback
    UninstallKeyWatcher watcher(
        [&] {
          const std::size_t n = plat::reg::EnumValues(entry).size();
          std::lock_guard lock(mutex);
          seen.push_back(n);
        },
        c.settleMs);
    ASSERT_TRUE(watcher.Start()) << c.what;
    ASSERT_TRUE(plat::reg::CreateKey(entry)) << c.what;
    for (int i = 0; i < c.values; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
      ASSERT_TRUE(plat::reg::WriteValue(entry, Sz("V" + std::to_string(i), "x"))) << c.what;
    }
    const auto whole = static_cast<std::size_t>(c.values);
    EXPECT_TRUE(orvtest::WaitUntil([&] {
      std::lock_guard lock(mutex);
      return !seen.empty() && seen.back() == whole;
    })) << c.what;
    watcher.Stop();
    if (!c.partialReadsAllowed) {
      for (std::size_t n : seen) EXPECT_EQ(n, whole) << c.what;
    }
    ASSERT_TRUE(plat::reg::DeleteKey(entry));
  }
}

TEST_F(MachineRegistryTest, WatcherCallsBackUnderWritesThatNeverPause) {
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall));
  std::atomic<int> changes{0};
  UninstallKeyWatcher watcher([&] { ++changes; }, 100);
  ASSERT_TRUE(watcher.Start());
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  for (int i = 0; changes == 0 && std::chrono::steady_clock::now() < until; ++i) {
    ASSERT_TRUE(plat::reg::WriteValue(kUninstall + "\\BUSY", Sz("N", std::to_string(i))));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(changes, 0);
}

TEST_F(MachineRegistryTest, WatcherWatchesTheWow64BranchOn64BitWindows) {
  setenv("ORVANTA_WOW64", "1", 1);
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall));
  ASSERT_TRUE(plat::reg::CreateKey(kWowUninstall));
  std::atomic<int> changes{0};
  UninstallKeyWatcher watcher([&] { ++changes; }, 10);
  ASSERT_TRUE(watcher.Start());
  ASSERT_TRUE(plat::reg::CreateKey(kWowUninstall + "\\WOWAPP"));
  EXPECT_TRUE(orvtest::WaitUntil([&] { return changes >= 1; }));
}

TEST_F(MachineRegistryTest, StopEndsABlockedOrSettlingWatcherPromptly) {
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall));
  std::atomic<int> changes{0};
  {
    UninstallKeyWatcher idle([&] { ++changes; }, 10);
    ASSERT_TRUE(idle.Start());
    auto start = std::chrono::steady_clock::now();
    idle.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  {
    // Stopped during the settle time: no callback after Stop.
    UninstallKeyWatcher settling([&] { ++changes; }, 60000);
    ASSERT_TRUE(settling.Start());
    ASSERT_TRUE(plat::reg::CreateKey(kUninstall + "\\LATE"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = std::chrono::steady_clock::now();
    settling.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  EXPECT_EQ(changes, 0);
}

TEST_F(MachineRegistryTest, TheCallbackMayStopItsOwnWatcher) {
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall));
  std::atomic<int> changes{0};
  UninstallKeyWatcher* self = nullptr;
  UninstallKeyWatcher watcher(
      [&] {
        ++changes;
        self->Stop();
      },
      10);
  self = &watcher;
  ASSERT_TRUE(watcher.Start());
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall + "\\ONE"));
  ASSERT_TRUE(orvtest::WaitUntil([&] { return changes == 1; }));
  ASSERT_TRUE(plat::reg::CreateKey(kUninstall + "\\TWO"));
  EXPECT_FALSE(orvtest::WaitUntil([&] { return changes > 1; }, std::chrono::milliseconds(300)));
}

}  // namespace
