// The update check and a whole Orvlift run against vsftpd, with passive mode on and off.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "InteropServers.h"
#include "client/update/UpdateCheck.h"
#include "platform/Registry.h"

namespace {

const char* const kUninstall =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1";
const std::string kFolder = "/var/www/html/downloads/Orvanta_update";

class FtpInteropTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "vsftpd lets local users in only when started as root";
    for (const char* v : {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(v);
    m_server = std::make_unique<interop::Vsftpd>(m_root.Path(), GetParam());
    ASSERT_TRUE(m_server->Running()) << m_server->Error();
    // The release 2.0.0.0 as the stand-in publishes it: descriptor and installer script.
    const std::string host = m_server->Host();
    const std::string port = host.substr(host.find(':') + 1);
    ASSERT_EQ(orvtest::RunCommand({ORV_PYTHON, "-c",
                                   "import sys; sys.path.insert(0, sys.argv[1]); import "
                                   "sim_update; sim_update._publish(sys.argv[2], '127.0.0.1', "
                                   "int(sys.argv[3]), '2.0.0.0')",
                                   std::string(ORV_SOURCE_DIR) + "/tools/platform-sim",
                                   m_root.Path(), port}),
              0);
    // Only the server's own user may read the files: what vsftpd serves is root's.
    for (const std::string d : {"installed", "new-install", "run", "registry"})
      mkdir(m_dir.File(d).c_str(), 0700);
  }

  std::map<std::string, std::string> Env() const {
    return {{"ORVANTA_REGISTRY_ROOT", m_dir.File("registry")},
            {"XDG_RUNTIME_DIR", m_dir.File("run")},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"ORVLIFT_AUTOCLOSE", "1"},
            {"ORVANTA_INSTALL_DIR", m_dir.File("new-install")},
            {"ORVANTA_BIN", ORV_BIN_DIR},
            {"ORVANTA_WOW64", "0"}};
  }

  orvtest::TempDir m_root;
  orvtest::TempDir m_dir;
  std::unique_ptr<interop::Vsftpd> m_server;
};

TEST_P(FtpInteropTest, UpdateCheckAndOrvliftRunFetchTheRelease) {
  const bool passive = GetParam();
  {
    orvtest::ScopedEnv host("ORVANTA_HOST_UPDATE", m_server->Host());
    const UpdateCheckResult check = CheckForUpdateDetailed(m_dir.File("AutoUpdater.xml"));
    EXPECT_EQ(check.publishedVersion, "2.0.0.0");
    EXPECT_EQ(check.code, kUpdateNewMajor);
  }

  // The installed client 1.0.0.0 with its uninstaller and configuration.
  orvtest::ScopedEnv registry("ORVANTA_REGISTRY_ROOT", m_dir.File("registry"));
  const std::string installed = m_dir.File("installed");
  for (const auto& [name, text] :
       std::map<std::string, std::string>{{"DisplayName", "奥凡云平台 1.0.0.0"},
                                          {"Inno Setup: App Path", installed},
                                          {"UninstallString", installed + "/unins000"}}) {
    plat::reg::Value value;
    value.name = name;
    value.text = text;
    ASSERT_TRUE(plat::reg::WriteValue(kUninstall, value));
  }
  orvtest::WriteFile(installed + "/unins000", "#!/bin/sh\nexit 0\n");
  chmod((installed + "/unins000").c_str(), 0755);
  orvtest::WriteFile(installed + "/conf.config",
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<configuration>\n  "
                     "<appSettings>\n    <add key=\"Url\" value=\"ftp://root:413597kqa@" +
                         m_server->Host() + kFolder +
                         "\" />\n  </appSettings>\n</configuration>\n");

  orvtest::ChildProcess orvlift({std::string(ORV_BIN_DIR) + "/Orvlift"}, Env());
  ASSERT_TRUE(orvlift.Started());
  std::vector<std::string> lines;
  for (std::string line; orvlift.ReadLine(line, std::chrono::seconds(60));) lines.push_back(line);
  EXPECT_EQ(orvlift.Wait(std::chrono::seconds(30)), 0);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"正在连接服务器...", "开始下载更新包，请稍候...",
                                      "文件下载完成，正在执行系统更新...", "旧版本卸载成功!"}));
  EXPECT_EQ(orvtest::ReadFile(installed + "/UpdateCache/Orvanta_setup.exe"),
            orvtest::ReadFile(m_root.Path() + kFolder + "/Orvanta_setup.exe"));
  EXPECT_TRUE(orvtest::WaitUntil([&] {
    auto version = plat::reg::ReadValue(kUninstall, "DisplayVersion");
    return version && version->text == "2.0.0.0";
  }));

  // Both transfers went the way the server allows.
  const std::string log = m_server->Log();
  EXPECT_EQ(log.find("\"PORT ") != std::string::npos || log.find("\"EPRT ") != std::string::npos,
            !passive)
      << log;
  EXPECT_NE(log.find("OK DOWNLOAD"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpInteropTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "ActiveOnly"; });

}  // namespace
