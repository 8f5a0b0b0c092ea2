// Hand-off to the updater, the prompts after a check, and the check's abort.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "client/update/UpdateCheck.h"
#include "client/update/UpdateLauncher.h"
#include "client/update/UpdatePrompts.h"
#include "platform/Socket.h"
#include "tests/support/TestSupport.h"

namespace {

class UpdateHandOff : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ORVANTA_HOST_UPDATE", "127.0.0.1:2121", 1); }
  void TearDown() override { unsetenv("ORVANTA_HOST_UPDATE"); }
  orvtest::TempProgramDir m_program;
};

TEST_F(UpdateHandOff, UpdateInfoHoldsFiveKeysInOrder) {
  orvtest::WriteFile(m_program.Path() + "/UpdateCache/keep.txt", "");
  ASSERT_TRUE(WriteUpdateInfo());
  std::string text = orvtest::ReadFile(m_program.Path() + "/UpdateCache/UpdateInfo.ini");
  std::vector<std::string> expected = {"[UpdateSettings]", "ip=127.0.0.1", "user=root",
                                       "pass=413597kqa",   "version=",     "file=Orvanta.exe"};
  size_t at = 0;
  for (const auto& piece : expected) {
    size_t found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece << " in order in:\n" << text;
    at = found + piece.size();
  }
  EXPECT_EQ(text.find("ip=127.0.0.1:"), std::string::npos) << "ip is the host name only";
}

TEST_F(UpdateHandOff, MissingCacheFolderOrUpdaterIsReported) {
  EXPECT_FALSE(WriteUpdateInfo());
  EXPECT_EQ(LaunchUpdater(), LaunchResult::Missing);
}

TEST_F(UpdateHandOff, UpdaterIsStartedWithoutArguments) {
  // The Windows release names the updater with the program suffix.
  for (const char* name : {"/Orvlift", "/Orvlift.exe"}) {
    SCOPED_TRACE(name);
    std::string marker = m_program.Path() + "/started.txt";
    std::remove(marker.c_str());
    std::string updater = m_program.Path() + name;
    orvtest::WriteFile(updater, "#!/bin/sh\necho \"args=$#\" > '" + marker + "'\n");
    std::filesystem::permissions(updater, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    orvtest::WriteFile(m_program.Path() + "/UpdateCache/keep.txt", "");
    EXPECT_EQ(LaunchUpdater(), LaunchResult::Started);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return orvtest::ReadFile(marker) == "args=0\n"; }));
    EXPECT_TRUE(orvtest::ReadFile(m_program.Path() + "/UpdateCache/UpdateInfo.ini").size() > 0);
    std::remove(updater.c_str());
  }
}

// Records every prompt; Confirm answers as told.
class FakePrompts : public IUpdatePrompts {
 public:
  explicit FakePrompts(bool confirm = true) : m_confirm(confirm) {}
  void ShowInformation(const char* text) override { shown.push_back(text); }
  bool Confirm(const char* caption, const char* text) override {
    shown.push_back(std::string(caption) + "|" + text);
    return m_confirm;
  }
  void ExitForUpdate() override { shown.push_back("exit"); }
  std::vector<std::string> shown;

 private:
  bool m_confirm;
};

TEST(UpdatePrompts, ResultCodesAndTheUsersAnswer) {
  using V = std::vector<std::string>;
  const std::string ask =
      std::string(update_texts::kPromptCaption) + "|" + update_texts::kPromptText;
  int launches = 0;
  auto started = [&] {
    ++launches;
    return LaunchResult::Started;
  };
  auto missing = [&] {
    ++launches;
    return LaunchResult::Missing;
  };
  auto failed = [&] {
    ++launches;
    return LaunchResult::Failed;
  };
  struct Case {
    int code;
    bool user;
    bool confirm;
    std::function<LaunchResult()> launch;
    V shown;
  } cases[] = {
      {0, false, true, started, {}},
      {0, true, true, started, {update_texts::kUpToDate}},
      {1, false, true, started, {ask, "exit"}},  // offered even to the quiet check
      {2, true, true, started, {ask, "exit"}},
      {2, false, false, started, {ask, update_texts::kDeclined}},
      {1, true, true, missing, {ask, update_texts::kFileMissing, update_texts::kUpdateFailed}},
      {2, true, true, failed, {ask, update_texts::kUpdateFailed}},
      {-1, false, true, started, {}},
      {-1, true, true, started, {update_texts::kNoInformation}},
  };
  for (const auto& c : cases) {
    FakePrompts prompts(c.confirm);
    HandleUpdateCheckResult(c.code, c.user, prompts, c.launch);
    EXPECT_EQ(prompts.shown, c.shown) << "code " << c.code << " user " << c.user;
  }
  EXPECT_EQ(launches, 4);
}

// A check against an FTP port that accepts the connection and never greets.
TEST(UpdateCheckAbort, RaisedFlagEndsACheckAgainstASilentServer) {
  int port = 0;
  const plat::net::Socket listener = plat::net::ListenLoopback(&port, 4);
  ASSERT_NE(listener, plat::net::kNoSocket);
  orvtest::TempProgramDir program;
  orvtest::ScopedEnv host("ORVANTA_HOST_UPDATE", "127.0.0.1:" + std::to_string(port));

  std::atomic<bool> abort{false};
  UpdateCheckResult result;
  std::thread check([&] { result = CheckForUpdateDetailed({}, &abort); });
  ASSERT_EQ(plat::net::WaitReadable(listener, 5000), 1);  // the check has connected and waits
  const auto start = std::chrono::steady_clock::now();
  abort = true;
  check.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  plat::net::Close(listener);

  // Ends as a check without an answer; no partial descriptor is left behind.
  EXPECT_EQ(result.code, kUpdateNoAnswer);
  for (const auto& entry : std::filesystem::directory_iterator(program.Path()))
    EXPECT_EQ(entry.path().filename().string().rfind("AutoUpdater.xml", 0), std::string::npos)
        << entry.path();
}

TEST(UpdateCheckAbort, RaisedFlagFailsTheFetchWithoutTouchingTheFile) {
  orvtest::TempDir dir;
  const std::string file = dir.File("AutoUpdater.xml");
  orvtest::WriteFile(file, "<Main_Version Version=\"1.0.0.0\"/>");
  const std::atomic<bool> raised{true};
  const std::string endpoint =
      "ftp://root:pw@127.0.0.1:" + std::to_string(orvtest::ClosedLoopbackPort()) + "/d/";
  EXPECT_FALSE(FetchUpdateDescriptor(endpoint, file, &raised));
  EXPECT_EQ(orvtest::ReadFile(file), "<Main_Version Version=\"1.0.0.0\"/>");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
