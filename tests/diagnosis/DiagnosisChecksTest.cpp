// The eight checks end to end: a temporary program directory with its own config.ini and
// registry, a loopback web stand-in, and fakes for the update check and the printers.
#include "client/diagnosis/CDiagnosisChecks.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>

#include "HttpStandIn.h"
#include "client/base/OwnVersion.h"
#include "client/diagnosis/CompletenessList.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kWowUninstall =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kBrowser = "SOFTWARE\\Microsoft\\Internet Explorer";
constexpr const char* kWowBrowser = "SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer";

using Settings = std::map<std::string, std::map<std::string, std::string>>;

class DiagnosisChecksTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Started());
    SetWow64(false);
  }
  void TearDown() override { unsetenv("ORVANTA_WOW64"); }
  // Set either way: unset, a 64-bit build on Windows stands for a 32-bit program (WOW64).
  static void SetWow64(bool on) { setenv("ORVANTA_WOW64", on ? "1" : "0", 1); }

  void WriteConfig(const Settings& settings) {
    std::string text;
    for (const auto& [section, keys] : settings) {
      text += "[" + section + "]\r\n";
      for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
    }
    orvtest::WriteFile(m_dir.Path() + "/image/config.ini", text);
  }

  static void AddUninstallEntry(const std::string& root, const std::string& key,
                                const std::string& name, const std::string& version) {
    ASSERT_TRUE(plat::reg::WriteValue(root + key, {"DisplayName", plat::reg::ValueType::Sz, name}));
    if (!version.empty()) {
      ASSERT_TRUE(
          plat::reg::WriteValue(root + key, {"DisplayVersion", plat::reg::ValueType::Sz, version}));
    }
  }

  std::vector<plat::PrinterInfo> m_printers;
  CDiagnosisChecks m_checks{[] { return 7; }, [this] { return m_printers; }};
  orvtest::TempProgramDir m_dir;
  const orvtest::ScratchRegistryKeys m_keys{{kUninstall, kWowUninstall, kBrowser, kWowBrowser,
                                             "SOFTWARE\\Classes\\FINDAPPPATH.FindAppPathCtrl.1"}};
  orvtest::TempDir m_serverRoot;
  diagtest::HttpStandIn m_server{m_serverRoot.Path()};
};

TEST_F(DiagnosisChecksTest, NetworkNeedsBothTestPoints) {
  const std::string ok = m_server.Url("/ok");
  WriteConfig({{"NetWork", {{"TestPoint1", ok}, {"TestPoint2", ok}}}});
  EXPECT_EQ(m_checks.CheckNetwork(), 0);
  WriteConfig({{"NetWork", {{"TestPoint1", ok}, {"TestPoint2", ""}}}});
  EXPECT_EQ(m_checks.CheckNetwork(), -1);
  WriteConfig({{"NetWork", {{"TestPoint1", diagtest::ClosedUrl()}, {"TestPoint2", ok}}}});
  EXPECT_EQ(m_checks.CheckNetwork(), -1);
}

TEST_F(DiagnosisChecksTest, ServersTellWhichOneAnswers) {
  const std::string ok = m_server.Url("/ok");
  WriteConfig({{"VPN", {{"Telcom", ok}, {"Union", ok}}}});
  EXPECT_EQ(m_checks.CheckServers(), 0);
  WriteConfig({{"VPN", {{"Telcom", ok}, {"Union", ""}}}});
  EXPECT_EQ(m_checks.CheckServers(), 2);
  WriteConfig({{"VPN", {{"Telcom", ""}, {"Union", ok}}}});
  EXPECT_EQ(m_checks.CheckServers(), 1);
  WriteConfig({{"VPN", {{"Telcom", diagtest::ClosedUrl()}, {"Union", ""}}}});
  EXPECT_EQ(m_checks.CheckServers(), -1);
}

TEST_F(DiagnosisChecksTest, NotFoundIsReachableButGivesNoFileList) {
  const std::string missing = m_server.Url("/completeness/");  // nothing published: 404
  WriteConfig({{"NetWork", {{"TestPoint1", missing}, {"TestPoint2", missing}}},
               {"VPN", {{"Telcom", missing}, {"Union", missing}}},
               {"Completeness", {{"ServerCompleteness", missing}}}});
  EXPECT_EQ(m_checks.CheckNetwork(), 0);
  EXPECT_TRUE(m_checks.LastResult().Ok());
  EXPECT_EQ(m_checks.CheckServers(), 0);
  EXPECT_EQ(m_checks.CheckCompleteness(), -1);
  // The same code, told apart by the status: an answer that is no file list ...
  EXPECT_EQ(m_checks.LastResult().status, RequestStatus::Unusable);
  // The local list is rebuilt even when the server has none.
  EXPECT_TRUE(fs::exists(m_dir.Path() + "/temp/localCompletenessFile.ini"));

  // ... and no answer at all.
  WriteConfig({{"Completeness", {{"ServerCompleteness", diagtest::ClosedUrl("/c/")}}}});
  EXPECT_EQ(m_checks.CheckCompleteness(), -1);
  EXPECT_EQ(m_checks.LastResult().status, RequestStatus::NoAnswer);
  EXPECT_EQ(m_checks.Run(5), -1);
  EXPECT_TRUE(m_checks.LastResult().Ok()) << "a local check has no exchange to fail";
}

TEST_F(DiagnosisChecksTest, FileListOfACopyMatchesAndAnyChangeDoesNot) {
  WriteConfig({{"Completeness", {{"ServerCompleteness", m_server.Url("/completeness/")}}}});
  orvtest::WriteFile(m_dir.Path() + "/Orvanta", "program");
  orvtest::WriteFile(m_dir.Path() + "/image/SystemDiagnose/screen.png", "png");

  // The server's list for this release was made on another copy of the installation.
  // (Copied into a new folder: MinGW's library refuses to copy into an existing one.)
  orvtest::TempDir reference;
  const std::string copy = reference.File("copy");
  fs::copy(m_dir.Path(), copy, fs::copy_options::recursive);
  const std::string published = CCompletenessList::Rebuild(copy);
  ASSERT_FALSE(published.empty());
  orvtest::WriteFile(m_serverRoot.File("completeness/" + GetOwnVersion()), published);

  EXPECT_EQ(m_checks.CheckCompleteness(), 0);
  EXPECT_EQ(m_checks.CheckCompleteness(), 0);  // a second run sees its own earlier list alike

  orvtest::WriteFile(m_dir.Path() + "/image/SystemDiagnose/screen.png", "png!");
  EXPECT_EQ(m_checks.CheckCompleteness(), -2);
  orvtest::WriteFile(m_dir.Path() + "/image/SystemDiagnose/screen.png", "png");
  orvtest::WriteFile(m_dir.Path() + "/extra.txt", "");
  EXPECT_EQ(m_checks.CheckCompleteness(), -2);
}

TEST_F(DiagnosisChecksTest, RunDispatchesByCheckNumber) {
  m_printers = {{"Microsoft XPS Document Writer", ""}};
  EXPECT_EQ(m_checks.Run(4), 7);  // the update check's result as it is
  EXPECT_EQ(m_checks.Run(8), 0);
  EXPECT_EQ(m_checks.Run(0), -1);
  EXPECT_EQ(m_checks.Run(9), -1);
}

TEST_F(DiagnosisChecksTest, FinanceControlIsARegisteredKey) {
  EXPECT_EQ(m_checks.CheckFinanceControl(), -1);
  ASSERT_TRUE(plat::reg::CreateKey("SOFTWARE\\Classes\\FINDAPPPATH.FindAppPathCtrl.1"));
  EXPECT_EQ(m_checks.CheckFinanceControl(), 0);
}

TEST_F(DiagnosisChecksTest, OtherSoftwareFillsSlotsFromUninstallEntries) {
  EXPECT_EQ(m_checks.CheckOtherSoftware(), 0);  // no Uninstall key at all
  EXPECT_EQ(m_checks.Slots(), SoftwareSlots{});
  AddUninstallEntry(kUninstall, "{A1}", "用友U8管理软件", "10.1");
  AddUninstallEntry(kUninstall, "{A2}", "用友U8 管家婆", "13.0");  // later entry of kind 0
  AddUninstallEntry(kUninstall, "{B1}", "金蝶财务迷你版", "");     // no version
  AddUninstallEntry(kUninstall, "{C1}", "Office Suite", "2.0");
  AddUninstallEntry(kUninstall, "{D1}", "管家婆个人版", "5");
  EXPECT_EQ(m_checks.Run(6), 3);
  const SoftwareSlots expected = {"用友U8 管家婆 13.0", "", "", "", "", "金蝶财务迷你版 ", "",
                                  "管家婆个人版 5"};
  EXPECT_EQ(m_checks.Slots(), expected);

  // Every run starts from empty slots.
  ASSERT_TRUE(plat::reg::DeleteKey(std::string(kUninstall) + "{A2}"));
  ASSERT_TRUE(plat::reg::DeleteKey(std::string(kUninstall) + "{D1}"));
  m_checks.CheckOtherSoftware();
  EXPECT_EQ(m_checks.Slots()[0], "用友U8管理软件 10.1");
  EXPECT_EQ(m_checks.Slots()[7], "");
}

TEST_F(DiagnosisChecksTest, OtherSoftwareOn64BitReadsTheWowBranchOnly) {
  AddUninstallEntry(kUninstall, "{N}", "用友T6", "1");
  AddUninstallEntry(kWowUninstall, "{W}", "用友T3", "2");
  SetWow64(true);
  m_checks.CheckOtherSoftware();
  EXPECT_EQ(m_checks.Slots()[1], "");
  EXPECT_EQ(m_checks.Slots()[2], "用友T3 2");
  SetWow64(false);
  m_checks.CheckOtherSoftware();
  EXPECT_EQ(m_checks.Slots()[1], "用友T6 1");
  EXPECT_EQ(m_checks.Slots()[2], "");
}

TEST_F(DiagnosisChecksTest, BrowserVersionFromTheRegistry) {
  const std::string key = kBrowser;
  EXPECT_EQ(m_checks.CheckBrowser(), -1);  // no key
  for (const char* version : {"9.11.9600.17843", "10.0"}) {
    ASSERT_TRUE(plat::reg::WriteValue(key, {"Version", plat::reg::ValueType::Sz, version}));
    EXPECT_EQ(m_checks.CheckBrowser(), 0) << version;
  }
  ASSERT_TRUE(plat::reg::WriteValue(key, {"Version", plat::reg::ValueType::Sz, "7.0.5730.11"}));
  EXPECT_EQ(m_checks.CheckBrowser(), -1);
  SetWow64(true);
  ASSERT_TRUE(plat::reg::WriteValue(kWowBrowser, {"Version", plat::reg::ValueType::Sz, "9.0"}));
  EXPECT_EQ(m_checks.CheckBrowser(), 0);
}

TEST_F(DiagnosisChecksTest, PrinterPresentOrAbsent) {
  EXPECT_EQ(m_checks.CheckPrinter(), -1);  // no printer at all
  m_printers = {{"HP_LaserJet", "HP LaserJet 1020"}};
  EXPECT_EQ(m_checks.CheckPrinter(), -1);
  m_printers.push_back({"xps_writer", "Microsoft XPS Document Writer"});
  EXPECT_EQ(m_checks.CheckPrinter(), 0);
}

}  // namespace
