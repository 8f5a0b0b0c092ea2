// The orvreg tool run as a separate process, as installers run it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace reg = plat::reg;
namespace fs = std::filesystem;

constexpr const char* kDone = "The operation completed successfully.\n";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

class OrvregTest : public ::testing::Test {
 protected:
  int Reg(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    args.insert(args.begin(), ORV_BIN_DIR "/orvreg");
    std::string o, e;
    int rc =
        orvtest::RunCommand(args, &o, &e, {{"ORVANTA_REGISTRY_ROOT", m_program.RegistryRoot()}});
    if (out) *out = o;
    if (err) *err = e;
    return rc;
  }

  orvtest::TempProgramDir m_program;
};

TEST_F(OrvregTest, BadSyntaxExitsTwoAndWritesNothing) {
  const std::string key = "HKLM\\SOFTWARE\\Vendor\\App";
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frob", key},
      {"add"},
      {"add", "/f"},
      {"add", "HKCU\\Software\\App", "/f"},
      {"add", "HKLMX\\SOFTWARE", "/f"},
      {"add", "HKLM\\\\SOFTWARE", "/f"},
      {"add", key, "/v"},
      {"add", key, "/v", "a", "/ve", "/f"},
      {"add", key, "/v", "a", "/v", "b", "/f"},
      {"add", key, "/v", "a", "/t", "REG_BINARY", "/d", "00", "/f"},
      {"add", key, "/v", "a", "/t", "REG_DWORD", "/d", "12x", "/f"},
      {"add", key, "/v", "a", "/t", "REG_DWORD", "/d", "0x100000000", "/f"},
      {"add", key, "/v", "a", "/t", "REG_DWORD", "/d", "-1", "/f"},
      {"add", key, "/d", "data without a value name", "/f"},
      {"add", key, "/z", "/f"},
      {"add", key, "stray", "/f"},
      {"query", key, "/va"},
      {"query", key, "/f"},
      {"delete", key, "/v", "a", "/va", "/f"},
      {"delete", "HKLM", "/f"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    std::string out, err;
    EXPECT_EQ(Reg(args, &out, &err), 2) << joined;
    EXPECT_EQ(out, "") << joined;
    EXPECT_EQ(err.rfind("ERROR: Invalid syntax", 0), 0u) << joined << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << joined << err;  // one line
    EXPECT_TRUE(fs::is_empty(m_program.RegistryRoot())) << joined;
  }
  std::string usage;
  EXPECT_EQ(Reg({"/?"}, &usage), 0);
  EXPECT_NE(usage.find("orvreg add"), std::string::npos);
}

TEST_F(OrvregTest, AddQueryDeleteLikeTheWindowsTool) {
  const std::string app = "HKLM\\SOFTWARE\\Vendor\\App";
  std::string out, err;
  ASSERT_EQ(Reg({"add", app, "/v", "DisplayName", "/d", "办公助手", "/f"}, &out), 0);
  EXPECT_EQ(out, kDone);
  // Root, switch and type names in any case; the key keeps its first spelling.
  ASSERT_EQ(Reg({"ADD", "hkey_local_machine\\software\\VENDOR\\app", "/VE", "/D", "x", "/F"}), 0);
  ASSERT_EQ(Reg({"add", app, "/v", "Count", "/T", "reg_dword", "/d", "0x1F", "/f"}), 0);
  ASSERT_EQ(
      Reg({"add", app, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%ProgramFiles%\\App", "-f"}), 0);
  ASSERT_EQ(Reg({"add", app, "/v", "Notes", "/d", "a\tb\nc", "/f"}), 0);
  ASSERT_EQ(Reg({"add", app + "\\Sub"}, &out), 0);
  EXPECT_EQ(out, kDone);

  auto count = reg::ReadValue("SOFTWARE\\Vendor\\App", "count");
  ASSERT_TRUE(count);
  EXPECT_EQ(count->type, reg::ValueType::Dword);
  EXPECT_EQ(count->dword, 31u);
  EXPECT_EQ(reg::ReadValue("SOFTWARE\\Vendor\\App", "Notes")->text, "a\tb\nc");

  ASSERT_EQ(Reg({"query", "HKLM\\software\\VENDOR\\app"}, &out, &err), 0);
  EXPECT_EQ(out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\n"
            "    DisplayName    REG_SZ    办公助手\n"
            "    (Default)    REG_SZ    x\n"
            "    Count    REG_DWORD    0x1f\n"
            "    Path    REG_EXPAND_SZ    %ProgramFiles%\\App\n"
            "    Notes    REG_SZ    a\tb\nc\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Sub\n");
  EXPECT_EQ(err, "");
  ASSERT_EQ(Reg({"query", app, "/v", "COUNT"}, &out), 0);
  EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\n    Count    REG_DWORD    0x1f\n\n");
  ASSERT_EQ(Reg({"query", app, "/ve"}, &out), 0);
  EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\n    (Default)    REG_SZ    x\n\n");
  ASSERT_EQ(Reg({"query", "HKLM\\SOFTWARE\\Vendor", "/s"}, &out), 0);
  EXPECT_EQ(out.substr(0, out.find("\n    ")),
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App");
  EXPECT_NE(out.find("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Sub\n"), std::string::npos);
  EXPECT_NE(out.find("\nEnd of search: 7 match(es) found.\n"), std::string::npos) << out;

  // Missing keys and values: exit 1, one line on stderr, nothing on stdout.
  const std::vector<std::vector<std::string>> missing = {
      {"query", "HKLM\\SOFTWARE\\None"},   {"query", app, "/v", "None"},
      {"query", app + "\\Sub", "/ve"},     {"query", "HKLM\\SOFTWARE", "/v", "None", "/s"},
      {"delete", app, "/v", "None", "/f"}, {"delete", "HKLM\\SOFTWARE\\None", "/f"},
  };
  for (const auto& args : missing) {
    EXPECT_EQ(Reg(args, &out, &err), 1) << args[1];
    EXPECT_EQ(out, "") << args[1];
    EXPECT_EQ(err, kNotFound) << args[1];
  }

  ASSERT_EQ(Reg({"delete", app, "/v", "path", "/f"}, &out), 0);
  EXPECT_EQ(out, kDone);
  EXPECT_FALSE(reg::ReadValue("SOFTWARE\\Vendor\\App", "Path"));
  ASSERT_EQ(Reg({"delete", app, "/va", "/f"}), 0);
  EXPECT_TRUE(reg::EnumValues("SOFTWARE\\Vendor\\App").empty());
  ASSERT_EQ(Reg({"delete", app, "/f"}, &out), 0);
  EXPECT_EQ(out, kDone);
  EXPECT_FALSE(reg::KeyExists("SOFTWARE\\Vendor\\App"));
  EXPECT_TRUE(reg::KeyExists("SOFTWARE\\Vendor"));
}

TEST_F(OrvregTest, WithoutForceNothingIsOverwrittenOrDeletedUnasked) {
  const std::string app = "HKLM\\SOFTWARE\\Vendor\\App";
  ASSERT_EQ(Reg({"add", app, "/v", "DisplayName", "/d", "old", "/f"}), 0);
  // RunCommand gives the tool an empty stdin: the question goes unanswered.
  std::string out;
  EXPECT_EQ(Reg({"add", app, "/v", "displayname", "/d", "new"}, &out), 1);
  EXPECT_NE(out.find("The operation was cancelled by the user."), std::string::npos);
  EXPECT_EQ(Reg({"delete", app}), 1);
  EXPECT_EQ(Reg({"delete", app, "/va"}), 1);
  EXPECT_EQ(reg::ReadValue("SOFTWARE\\Vendor\\App", "DisplayName")->text, "old");
  // A new value needs no confirmation.
  EXPECT_EQ(Reg({"add", app, "/v", "Other", "/d", "1"}), 0);
}

TEST_F(OrvregTest, WatcherSeesInstallAndUninstallWithinASecond) {
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string app = "HKLM\\" + uninstall + "\\{6A1D-Orv}";
  ASSERT_TRUE(reg::CreateKey(uninstall));
  reg::KeyWatch watch;
  ASSERT_TRUE(watch.Open(uninstall));
  using Clock = std::chrono::steady_clock;

  struct Step {
    const char* what;
    std::vector<std::string> args;
  } steps[] = {
      {"install", {"add", app, "/v", "DisplayName", "/d", "办公助手", "/f"}},
      {"uninstall", {"delete", app, "/f"}},
  };
  for (const Step& s : steps) {
    auto waiting = std::async(std::launch::async, [&] {
      int r = watch.Wait(5000);
      return std::make_pair(r, Clock::now());
    });
    ASSERT_EQ(Reg(s.args), 0) << s.what;
    auto done = Clock::now();
    auto [result, seen] = waiting.get();
    EXPECT_EQ(result, 1) << s.what;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(seen - done).count(), 1000)
        << s.what;
    while (watch.Wait(100) == 1) {
    }
  }
  EXPECT_FALSE(reg::KeyExists(uninstall + "\\{6a1d-orv}"));
}

TEST_F(OrvregTest, KeysDeeperThanTheRegistryAllowsAreRefusedWhole) {
  const auto Deep = [](size_t levels) {
    std::string key = "HKLM";
    for (size_t i = 0; i < levels; ++i) key += "\\k";
    return key;
  };
  std::string err;
  EXPECT_EQ(Reg({"add", Deep(reg::kMaxKeyDepth + 1), "/f"}, nullptr, &err), 2);
  EXPECT_NE(err.find("512"), std::string::npos) << err;
  EXPECT_EQ(Reg({"add", Deep(3000), "/v", "x", "/d", "1", "/f"}), 2);
  // Nothing half-made is left behind.
  std::error_code ec;
  EXPECT_FALSE(fs::exists(m_program.RegistryRoot() + "/k", ec));
  {
    orvtest::ScopedEnv root("ORVANTA_REGISTRY_ROOT", m_program.RegistryRoot());
    EXPECT_FALSE(reg::CreateKey(Deep(reg::kMaxKeyDepth + 1).substr(5)));
    EXPECT_FALSE(reg::KeyExists("k"));
  }
}

TEST_F(OrvregTest, RecursiveQueryOfADeepTreeIsLinear) {
  // 500 levels: resolving every level from the root again costs 250,000 path lookups.
  std::string key = "HKLM\\SOFTWARE";
  for (int i = 0; i < 500; ++i) key += "\\L" + std::to_string(i % 10);
  ASSERT_EQ(Reg({"add", key, "/v", "leaf", "/d", "yes", "/f"}), 0);
  std::string out;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Reg({"query", "HKLM\\SOFTWARE", "/s"}, &out), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(out.find("    leaf    REG_SZ    yes"), std::string::npos);
  EXPECT_NE(out.find("End of search: 501 match(es) found."), std::string::npos)
      << out.substr(out.size() > 200 ? out.size() - 200 : 0);
}

}  // namespace
