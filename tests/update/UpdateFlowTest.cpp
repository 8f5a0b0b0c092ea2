// Hand-off to the updater, the prompts after a check, and the single check worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/update/CUpdateChecker.h"
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

// A check that blocks until released, and a sink that collects results.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int started = 0;
  std::vector<std::pair<int, bool>> results;
};

class GateSink : public IUpdateCheckSink {
 public:
  explicit GateSink(Gate& gate) : m_gate(gate) {}
  void OnUpdateCheckFinished(int code, bool userRequested) override {
    std::lock_guard<std::mutex> lock(m_gate.mutex);
    m_gate.results.emplace_back(code, userRequested);
  }

 private:
  Gate& m_gate;
};

TEST(UpdateChecker, OneWorkerAtATimeAndTheFlagAsItStandsAtTheEnd) {
  Gate gate;
  GateSink sink(gate);
  auto check = [&] {
    std::unique_lock<std::mutex> lock(gate.mutex);
    ++gate.started;
    gate.changed.wait(lock, [&] { return gate.open; });
    return 2;
  };
  auto count = [&](auto field) {
    std::lock_guard<std::mutex> lock(gate.mutex);
    return field();
  };
  {
    CUpdateChecker checker(sink, check);
    EXPECT_TRUE(checker.StartUpdateCheck(false));
    ASSERT_TRUE(orvtest::WaitUntil([&] { return count([&] { return gate.started; }) == 1; }));
    EXPECT_FALSE(checker.StartUpdateCheck(true));  // still running: only the flag changes
    EXPECT_TRUE(checker.Running());
    {
      std::lock_guard<std::mutex> lock(gate.mutex);
      gate.open = true;
    }
    gate.changed.notify_all();
    ASSERT_TRUE(
        orvtest::WaitUntil([&] { return count([&] { return gate.results.size(); }) == 1; }));
    EXPECT_EQ(gate.results[0], std::make_pair(2, true));
    ASSERT_TRUE(orvtest::WaitUntil([&] { return !checker.Running(); }));
    // The delayed check keeps the most recent flag.
    EXPECT_TRUE(checker.StartCheckThread());
  }  // the destructor waits for the second worker
  EXPECT_EQ(gate.started, 2);
  ASSERT_EQ(gate.results.size(), 2u);
  EXPECT_EQ(gate.results[1], std::make_pair(2, true));
}

TEST(UpdateChecker, ResultMayStartTheNextCheck) {
  // The main window may start a check while it still handles the previous result.
  struct Restart : IUpdateCheckSink {
    CUpdateChecker* checker = nullptr;
    std::mutex mutex;
    std::vector<std::pair<int, bool>> results;
    bool restarted = false;
    void OnUpdateCheckFinished(int code, bool) override {
      std::lock_guard<std::mutex> lock(mutex);
      if (results.empty()) restarted = checker->StartUpdateCheck(true);
      results.emplace_back(code, checker->UserRequested());
    }
  } sink;
  std::atomic<int> calls{0};
  {
    CUpdateChecker checker(sink,
                           [&] { return ++calls == 1 ? kUpdateSameVersion : kUpdateNoAnswer; });
    sink.checker = &checker;
    EXPECT_TRUE(checker.StartUpdateCheck(false));
    ASSERT_TRUE(orvtest::WaitUntil([&] {
      std::lock_guard<std::mutex> lock(sink.mutex);
      return sink.results.size() == 2;
    }));
  }
  EXPECT_TRUE(sink.restarted);
  EXPECT_EQ(sink.results[0].first, kUpdateSameVersion);
  EXPECT_EQ(sink.results[1], std::make_pair(static_cast<int>(kUpdateNoAnswer), true));
}

// A check against an FTP port that accepts the connection and never greets.
TEST(UpdateChecker, DestructionEndsACheckAgainstASilentServer) {
  int port = 0;
  const plat::net::Socket listener = plat::net::ListenLoopback(&port, 4);
  ASSERT_NE(listener, plat::net::kNoSocket);
  orvtest::TempProgramDir program;
  orvtest::ScopedEnv host("ORVANTA_HOST_UPDATE", "127.0.0.1:" + std::to_string(port));

  Gate gate;
  GateSink sink(gate);
  auto checker = std::make_unique<CUpdateChecker>(sink);
  EXPECT_TRUE(checker->StartUpdateCheck(true));
  ASSERT_EQ(plat::net::WaitReadable(listener, 5000), 1);  // the check has connected and waits
  const auto start = std::chrono::steady_clock::now();
  checker.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  plat::net::Close(listener);

  // Delivered as a check without an answer; no partial descriptor is left behind.
  ASSERT_EQ(gate.results.size(), 1u);
  EXPECT_EQ(gate.results[0], std::make_pair(static_cast<int>(kUpdateNoAnswer), true));
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
