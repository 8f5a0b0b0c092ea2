// The updater program end to end: a registry root, an installed client folder and the
// stand-in update FTP server of the test's own; the program runs offscreen and closes by
// itself where it would wait for the user.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/support/TestSupport.h"
#include "tests/update/UpdateSim.h"

namespace {

const char* const kUninstallList = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kFourLineError[] = {
    "下载过程出现问题，可能是以下情况:", "1.网络异常:请检查网络连接或联系网络管理员",
    "2.本地文件缺失:conf.config文件丢失或位置错误", "3.服务器文件异常"};

class OrvliftProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    m_registry = m_dir.Path() + "/registry";
    m_installed = m_dir.Path() + "/installed";
    m_newInstall = m_dir.Path() + "/new-install";
    m_runtime = m_dir.Path() + "/run";
    for (const auto& d : {m_registry, m_installed, m_runtime}) orvtest::WriteFile(d + "/.keep", "");
    chmod(m_runtime.c_str(), 0700);
    setenv("ORVANTA_REGISTRY_ROOT", m_registry.c_str(), 1);
  }
  void TearDown() override { unsetenv("ORVANTA_REGISTRY_ROOT"); }

  std::map<std::string, std::string> Env(bool autoClose = true) const {
    return {{"ORVANTA_REGISTRY_ROOT", m_registry},
            {"XDG_RUNTIME_DIR", m_runtime},  // the instance lock is the test's own
            {"QT_QPA_PLATFORM", "offscreen"},
            {"ORVLIFT_AUTOCLOSE", autoClose ? "1" : "0"},
            {"ORVANTA_INSTALL_DIR", m_newInstall},
            {"ORVANTA_BIN", ORV_BIN_DIR},
            {"ORVANTA_WOW64", "0"}};
  }

  // The installed client: its uninstall entry (after an unrelated one) and an uninstaller
  // that records its arguments and exits with uninstallExit.
  void RegisterClient(int uninstallExit = 0) {
    WriteText("AAA-Other", "DisplayName", "Other software");
    WriteText("AAA-Other", "UninstallString", "/bin/false");
    std::string key = "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1";
    WriteText(key, "DisplayName", "奥凡云平台 1.0.0.0");
    WriteText(key, "Inno Setup: App Path", m_installed);
    WriteText(key, "UninstallString", m_installed + "/unins000");
    std::string script = m_installed + "/unins000";
    orvtest::WriteFile(script, "#!/bin/sh\necho \"$@\" > '" + m_installed +
                                   "/uninstall-args.txt'\nexit " + std::to_string(uninstallExit) +
                                   "\n");
    chmod(script.c_str(), 0755);
  }

  void WriteConfConfig(const std::string& urlBase) {
    orvtest::WriteFile(m_installed + "/conf.config",
                       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<configuration>\n"
                       "  <appSettings>\n    <add key=\"Url\" value=\"" +
                           urlBase + "\" />\n  </appSettings>\n</configuration>\n");
  }

  void WriteText(const std::string& entry, const std::string& name, const std::string& text) {
    plat::reg::Value value;
    value.name = name;
    value.text = text;
    ASSERT_TRUE(plat::reg::WriteValue(std::string(kUninstallList) + "\\" + entry, value));
  }

  // Runs the program to its end; its log lines and exit code.
  int Run(std::vector<std::string>& lines, bool autoClose = true) {
    orvtest::ChildProcess child({std::string(ORV_BIN_DIR) + "/Orvlift"}, Env(autoClose));
    EXPECT_TRUE(child.Started());
    std::string line;
    while (child.ReadLine(line, std::chrono::seconds(30))) lines.push_back(line);
    return child.Wait(std::chrono::seconds(30));
  }

  static bool Has(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines)
      if (l == text) return true;
    return false;
  }

  orvtest::TempDir m_dir;
  std::string m_registry, m_installed, m_newInstall, m_runtime;
};

TEST_F(OrvliftProgram, ReplacesTheInstallation) {
  UpdateSim sim("2.0.0.0");
  ASSERT_FALSE(sim.Host().empty());
  RegisterClient();
  WriteConfConfig("ftp://root:413597kqa@" + sim.Host() + "/var/www/html/downloads/Orvanta_update");

  std::vector<std::string> lines;
  EXPECT_EQ(Run(lines), 0);
  std::vector<std::string> expected = {"正在连接服务器...", "开始下载更新包，请稍候...",
                                       "文件下载完成，正在执行系统更新...", "旧版本卸载成功!"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(orvtest::ReadFile(m_installed + "/uninstall-args.txt"),
            "/VERYSILENT /SUPPRESSMSGBOXES\n");
  EXPECT_EQ(orvtest::ReadFile(m_installed + "/UpdateCache/Orvanta_setup.exe"),
            orvtest::ReadFile(sim.Folder() + "/Orvanta_setup.exe"));
  // The new installer ran: it wrote its own configuration.
  EXPECT_TRUE(orvtest::WaitUntil([&] {
    return orvtest::ReadFile(m_newInstall + "/conf.config").find("2.0.0.0") != std::string::npos;
  }));
  // ... and registered the new installation over the old entry.
  const std::string key =
      std::string(kUninstallList) + "\\{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1";
  EXPECT_TRUE(orvtest::WaitUntil([&] {
    auto version = plat::reg::ReadValue(key, "DisplayVersion");
    return version && version->text == "2.0.0.0";
  }));
  auto path = plat::reg::ReadValue(key, "Inno Setup: App Path");
  EXPECT_EQ(path ? path->text : "", m_newInstall);
}

TEST_F(OrvliftProgram, FailedUninstallStillStartsTheInstaller) {
  UpdateSim sim("2.0.0.0");
  ASSERT_FALSE(sim.Host().empty());
  RegisterClient(3);
  WriteConfConfig("ftp://root:413597kqa@" + sim.Host() + "/var/www/html/downloads/Orvanta_update");

  std::vector<std::string> lines;
  EXPECT_EQ(Run(lines), 0);
  EXPECT_TRUE(Has(lines, "文件下载完成，正在执行系统更新..."));
  EXPECT_FALSE(Has(lines, "旧版本卸载成功!"));
  EXPECT_TRUE(orvtest::WaitUntil(
      [&] { return orvtest::ReadFile(m_newInstall + "/conf.config").size() > 0; }));
}

TEST_F(OrvliftProgram, NoUninstallEntryIsRegistryDamage) {
  WriteText("AAA-Other", "DisplayName", "Other software");
  std::vector<std::string> lines;
  EXPECT_EQ(Run(lines), 0);
  EXPECT_EQ(lines, std::vector<std::string>{"注册表损坏！"});
}

TEST_F(OrvliftProgram, MissingConfConfigOrServerFileFailsTheDownload) {
  UpdateSim sim("2.0.0.0");
  ASSERT_FALSE(sim.Host().empty());
  RegisterClient();
  std::vector<std::string> expected = {"正在连接服务器..."};
  for (const char* l : kFourLineError) expected.push_back(l);
  expected.push_back("");  // the error text ends with its own line break

  std::vector<std::string> noConfig;
  EXPECT_EQ(Run(noConfig), 0);
  EXPECT_EQ(noConfig, expected);

  // The server lacks the installer.
  WriteConfConfig("ftp://root:413597kqa@" + sim.Host() + "/var/www/html/downloads/elsewhere");
  std::vector<std::string> noFile;
  EXPECT_EQ(Run(noFile), 0);
  EXPECT_EQ(noFile, expected);

  // An empty installer on the server: the old release is kept.
  orvtest::WriteFile(sim.Folder() + "/Orvanta_setup.exe", "");
  WriteConfConfig("ftp://root:413597kqa@" + sim.Host() + "/var/www/html/downloads/Orvanta_update");
  std::vector<std::string> empty;
  EXPECT_EQ(Run(empty), 0);
  expected.insert(expected.begin() + 1, "开始下载更新包，请稍候...");
  EXPECT_EQ(empty, expected);
  EXPECT_FALSE(orvtest::ReadFile(m_installed + "/uninstall-args.txt").size() > 0);
}

TEST_F(OrvliftProgram, OutputReaderGoneDoesNotKillTheUpdater) {
  // The client that started the updater has ended and its output pipe has no reader.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const auto& [name, value] : Env()) env.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = std::string(ORV_BIN_DIR) + "/Orvlift";
  char* argv[] = {program.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  ASSERT_EQ(rc, 0);
  int status = 0;
  bool exited = orvtest::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; });
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(exited);
  ASSERT_FALSE(WIFSIGNALED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(OrvliftProgram, SecondUpdaterEndsAtOnce) {
  // The first stays open on its registry message until killed.
  orvtest::ChildProcess first({std::string(ORV_BIN_DIR) + "/Orvlift"}, Env(false));
  std::string line;
  ASSERT_TRUE(first.ReadLine(line, std::chrono::seconds(20)));
  EXPECT_EQ(line, "注册表损坏！");

  std::vector<std::string> lines;
  EXPECT_EQ(Run(lines), 0);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
