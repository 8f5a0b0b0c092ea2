#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "client/base/CSingleInstance.h"
#include "platform/ProgramDir.h"
#include "platform/SingleInstance.h"
#include "tests/support/TestSupport.h"

namespace {

// Every test gets its own runtime folder, so nothing meets a real client or another test (on
// Windows the names are the session's: the tests there do not run side by side).
class SingleInstanceTest : public ::testing::Test {
 protected:
  std::vector<std::string> Helper(int publishDelayMs, int exitAfter) const {
    return {ORV_SINGLEINSTANCE_HELPER, CSingleInstance::kMutexName, std::to_string(publishDelayMs),
            std::to_string(exitAfter)};
  }

  // Where the first instance publishes itself (a socket file; a named pipe on Windows).
  static std::string PublishedAt() {
    return plat::InstanceLock(CSingleInstance::kMutexName).SocketPath();
  }

  static std::string Next(orvtest::ChildProcess& child) {
    std::string line;
    return child.ReadLine(line) ? line : "<no output>";
  }

  orvtest::TempDir m_dir;
  orvtest::ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_dir.Path()};
};

TEST_F(SingleInstanceTest, OnlyTheFirstGuardInAProcessOrSessionWins) {
  CSingleInstance first;
  EXPECT_EQ(first.MappingName(), std::string(CSingleInstance::kMutexName) + "_MapFile");
  ASSERT_TRUE(first.Check());
  EXPECT_TRUE(first.Check());  // asking again changes nothing
  CSingleInstance second;
  EXPECT_FALSE(second.Check());
  EXPECT_FALSE(second.Publish([] {}));
  // A guard that never checked has nothing to look for.
  CSingleInstance unchecked;
  EXPECT_FALSE(unchecked.Find(0));

  first.Close();
  CSingleInstance third;
  EXPECT_TRUE(third.Check());
}

TEST_F(SingleInstanceTest, SecondStartWaitsForPublicationThenActivatesTheFirst) {
  orvtest::ChildProcess first(Helper(700, 1));
  ASSERT_EQ(Next(first), "FIRST=1");

  CSingleInstance second;
  ASSERT_FALSE(second.Check());
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(second.Find(15000));
  // The first instance published only after its delay; the second waited for it.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(Next(first), "PUBLISHED=1");
  EXPECT_EQ(Next(first), "ACTIVATED=1");
  EXPECT_EQ(first.Wait(), 0);
  second.Close();

  // The first has exited: the next start is the first instance.
  CSingleInstance next;
  EXPECT_TRUE(next.Check());
}

TEST_F(SingleInstanceTest, EverySecondStartActivatesTheSameFirstInstance) {
  std::atomic<int> activations{0};
  CSingleInstance first;
  ASSERT_TRUE(first.Check());
  ASSERT_TRUE(first.Publish([&] { ++activations; }));
  for (int i = 1; i <= 3; ++i) {
    orvtest::ChildProcess second(Helper(0, 0));
    EXPECT_EQ(Next(second), "FIRST=0");
    EXPECT_EQ(Next(second), "FOUND=1");
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(activations, i);
  }
  first.Close();
  EXPECT_FALSE(plat::FileExists(m_dir.File(std::string(CSingleInstance::kMutexName) + ".sock")));
}

TEST_F(SingleInstanceTest, AKilledFirstInstanceDoesNotBlockTheNextStart) {
  {
    orvtest::ChildProcess first(Helper(0, 0));
    ASSERT_EQ(Next(first), "FIRST=1");
    ASSERT_EQ(Next(first), "PUBLISHED=1");
    first.Kill(true);
  }
  // Its socket file is left behind; the lock went with the process.
  std::atomic<int> activations{0};
  CSingleInstance next;
  ASSERT_TRUE(next.Check());
  ASSERT_TRUE(next.Publish([&] { ++activations; }));
  orvtest::ChildProcess second(Helper(0, 0));
  EXPECT_EQ(Next(second), "FIRST=0");
  EXPECT_EQ(Next(second), "FOUND=1");
  EXPECT_EQ(activations, 1);
}

TEST_F(SingleInstanceTest, AWaitingStartGivesUpWhenTheFirstDiesBeforePublishing) {
  orvtest::ChildProcess first(Helper(-1, 0));
  ASSERT_EQ(Next(first), "FIRST=1");
  orvtest::ChildProcess second(Helper(0, 0));
  ASSERT_EQ(Next(second), "FIRST=0");
  first.Kill(true);
  EXPECT_EQ(Next(second), "FOUND=0");
  EXPECT_EQ(second.Wait(), 3);
}

TEST_F(SingleInstanceTest, FindTimesOutWhileTheFirstHasNotPublished) {
  CSingleInstance first;
  ASSERT_TRUE(first.Check());
  CSingleInstance second;
  ASSERT_FALSE(second.Check());
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(second.Find(200));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(200));
  EXPECT_LT(took, std::chrono::seconds(3));
}

#ifndef _WIN32  // runtime folders, lock files and links: the guard's POSIX form
TEST_F(SingleInstanceTest, AnUnusableRuntimeFolderFallsBackToAPrivateOneOfOurOwn) {
  // Missing, or writable by others: neither may hold the lock.
  ASSERT_TRUE(plat::MakeDirectories(m_dir.File("shared")));
  ASSERT_EQ(::chmod(m_dir.File("shared").c_str(), 01777), 0);
  for (const char* runtime : {"gone", "shared"}) {
    setenv("XDG_RUNTIME_DIR", m_dir.File(runtime).c_str(), 1);
    const std::string name = "orvanta-guard-test-" + std::to_string(::getpid());
    const std::string folder = "/tmp/orvanta-" + std::to_string(::geteuid());
    {
      CSingleInstance first(name);
      EXPECT_TRUE(first.Check());
      EXPECT_TRUE(first.Publish([] {}));
      CSingleInstance second(name);
      EXPECT_FALSE(second.Check());
      EXPECT_TRUE(second.Find(5000));
    }
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << runtime;
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(::unlink((folder + "/" + name + ".lock").c_str()), 0) << runtime;
  }
}

TEST_F(SingleInstanceTest, APlantedLinkAtTheLockPathIsNeitherFollowedNorTruncated) {
  const std::string victim = m_dir.File("victim");
  orvtest::WriteFile(victim, "precious");
  const std::string lockPath = m_dir.File(std::string(CSingleInstance::kMutexName) + ".lock");
  ASSERT_EQ(::symlink(victim.c_str(), lockPath.c_str()), 0);
  CSingleInstance guard;
  EXPECT_FALSE(guard.Check());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(guard.Find(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(orvtest::ReadFile(victim), "precious");
}
#endif

TEST_F(SingleInstanceTest, AHolderWhoseSocketNeverAnswersEndsTheWaitInTime) {
  CSingleInstance first;
  ASSERT_TRUE(first.Check());
  // Listening without ever answering: a connect succeeds, no answer comes.
  const orvtest::SilentLocalListener silent(PublishedAt());
  ASSERT_TRUE(silent.Listening());

  orvtest::ChildProcess second(Helper(0, 0));
  EXPECT_EQ(Next(second), "FIRST=0");
  const auto start = std::chrono::steady_clock::now();
  std::string line;
  EXPECT_TRUE(second.ReadLine(line, std::chrono::seconds(30)));
  EXPECT_EQ(line, "FOUND=0");
  EXPECT_EQ(second.Wait(), 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST_F(SingleInstanceTest, ASocketLeftByAnEndedInstanceIsRemoved) {
  const std::string socketPath = m_dir.File(std::string(CSingleInstance::kMutexName) + ".sock");
  // Ended by SIGTERM after publishing: its socket file goes with it.
  orvtest::ChildProcess killed(Helper(0, 0));
  ASSERT_EQ(Next(killed), "FIRST=1");
  ASSERT_EQ(Next(killed), "PUBLISHED=1");
  ASSERT_TRUE(plat::FileExists(socketPath));
  killed.Kill();
  EXPECT_FALSE(plat::FileExists(socketPath));
  // One left by a process killed outright is removed by the next first instance.
  orvtest::WriteFile(socketPath, "");
  CSingleInstance next;
  ASSERT_TRUE(next.Check());
  EXPECT_FALSE(plat::FileExists(socketPath));
}

TEST_F(SingleInstanceTest, AFailedPublicationSendsLaterStartsAwayInsteadOfWaiting) {
  // Something that is no socket and cannot be removed stands where the socket goes.
  const std::string socketPath = m_dir.File(std::string(CSingleInstance::kMutexName) + ".sock");
  ASSERT_TRUE(plat::MakeDirectories(socketPath + "/blocker"));
  CSingleInstance first;
  ASSERT_TRUE(first.Check());
  ASSERT_FALSE(first.Publish([] {}));

  // Later starts still see a running client, and give up at once, in-process or not.
  CSingleInstance second;
  ASSERT_FALSE(second.Check());
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(second.Find(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  orvtest::ChildProcess other(Helper(0, 0));
  EXPECT_EQ(Next(other), "FIRST=0");
  EXPECT_EQ(Next(other), "FOUND=0");
  EXPECT_EQ(other.Wait(), 3);
  second.Close();
  first.Close();

  // The mark of the failed publication does not outlive its instance: a start during the
  // next first instance's initialisation waits again, and finds it once it publishes.
  ASSERT_EQ(std::filesystem::remove_all(socketPath), 2u);
  CSingleInstance next;
  ASSERT_TRUE(next.Check());
  CSingleInstance later;
  ASSERT_FALSE(later.Check());
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(later.Find(300));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  ASSERT_TRUE(next.Publish([] {}));
  EXPECT_TRUE(later.Find(5000));
}

}  // namespace
