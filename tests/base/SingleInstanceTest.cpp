#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "client/base/CSingleInstance.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestSupport.h"

namespace {

// Every test gets its own runtime folder, so nothing meets a real client or another test.
class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    m_hadOld = old != nullptr;
    if (old) m_old = old;
    setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
  }
  void TearDown() override {
    if (m_hadOld)
      setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }

  std::vector<std::string> Helper(int publishDelayMs, int exitAfter) const {
    return {ORV_SINGLEINSTANCE_HELPER, CSingleInstance::kMutexName, std::to_string(publishDelayMs),
            std::to_string(exitAfter)};
  }

  static std::string Next(orvtest::ChildProcess& child) {
    std::string line;
    return child.ReadLine(line) ? line : "<no output>";
  }

  orvtest::TempDir m_dir;
  std::string m_old;
  bool m_hadOld = false;
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
  EXPECT_FALSE(orvtest::WaitUntil(
      [&] {
        return ::access(m_dir.File(std::string(CSingleInstance::kMutexName) + ".sock").c_str(),
                        F_OK) == 0;
      },
      std::chrono::milliseconds(0)));
}

TEST_F(SingleInstanceTest, AKilledFirstInstanceDoesNotBlockTheNextStart) {
  {
    orvtest::ChildProcess first(Helper(0, 0));
    ASSERT_EQ(Next(first), "FIRST=1");
    ASSERT_EQ(Next(first), "PUBLISHED=1");
    ::kill(first.Pid(), SIGKILL);
    first.Wait();
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
  ::kill(first.Pid(), SIGKILL);
  first.Wait();
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

TEST_F(SingleInstanceTest, AHolderWhoseSocketNeverAnswersEndsTheWaitInTime) {
  CSingleInstance first;
  ASSERT_TRUE(first.Check());
  // Listening without ever accepting: a connect succeeds, no answer comes.
  const std::string socketPath = m_dir.File(std::string(CSingleInstance::kMutexName) + ".sock");
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(fd, 4), 0);

  orvtest::ChildProcess second(Helper(0, 0));
  EXPECT_EQ(Next(second), "FIRST=0");
  const auto start = std::chrono::steady_clock::now();
  std::string line;
  EXPECT_TRUE(second.ReadLine(line, std::chrono::seconds(30)));
  EXPECT_EQ(line, "FOUND=0");
  EXPECT_EQ(second.Wait(), 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  ::close(fd);
}

TEST_F(SingleInstanceTest, ASocketLeftByAnEndedInstanceIsRemoved) {
  const std::string socketPath = m_dir.File(std::string(CSingleInstance::kMutexName) + ".sock");
  // Ended by SIGTERM after publishing: its socket file goes with it.
  orvtest::ChildProcess killed(Helper(0, 0));
  ASSERT_EQ(Next(killed), "FIRST=1");
  ASSERT_EQ(Next(killed), "PUBLISHED=1");
  ASSERT_TRUE(plat::FileExists(socketPath));
  ::kill(killed.Pid(), SIGTERM);
  killed.Wait();
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
  ASSERT_EQ(::rmdir((socketPath + "/blocker").c_str()), 0);
  ASSERT_EQ(::rmdir(socketPath.c_str()), 0);
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
