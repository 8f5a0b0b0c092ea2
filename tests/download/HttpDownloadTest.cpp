// HTTP worker and headless owner against the stand-in server on loopback.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <pthread.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "DownloadTestSupport.h"
#include "common/download/DownloadStopFlag.h"
#include "platform/Files.h"

using namespace dltest;
using namespace std::chrono_literals;

namespace {

class HttpDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    DownloadStopFlag = false;
    ASSERT_TRUE(m_server.Ready());
  }
  void TearDown() override { DownloadStopFlag = false; }

  // Runs one download to its end; false when the worker did not end in time.
  bool Fetch(RecordingWindow& window, const std::string& url, const std::string& path) {
    if (window.DownloadFile(url, path, 0) != 1) return false;
    return window.WaitIdle(30s);
  }

  HttpStandIn m_server;
  orvtest::TempDir m_dir;
};

TEST_F(HttpDownloadTest, EmptyUrlStartsNothing) {
  RecordingWindow window;
  EXPECT_EQ(window.DownloadFile("", m_dir.File("x"), 0), 0);
  EXPECT_TRUE(window.Calls().empty());
}

TEST_F(HttpDownloadTest, KnownLengthReportsEveryChunkUpToTotalAndWritesTheFile) {
  RecordingWindow window;
  const std::string target = m_dir.File("sub/dir/setup.bin");
  const std::string url = m_server.Url("/file/300000?lm=Wed,%2021%20Oct%202026%2007:28:00%20GMT");
  ASSERT_TRUE(Fetch(window, url, target));

  EXPECT_EQ(window.Sequence(),
            (std::vector<std::string>{"checktime", "start", "progress", "finished"}));
  int64_t last = 0;
  for (const auto& c : window.Calls()) {
    EXPECT_TRUE(c.onDispatchThread) << c.hook;
    EXPECT_EQ(c.url, url);
    if (c.hook == "checktime") {
      EXPECT_EQ(c.text, "Wed, 21 Oct 2026 07:28:00 GMT");
    }
    if (c.hook != "progress") continue;
    EXPECT_EQ(c.total, 300000);
    EXPECT_GT(c.done, last);
    EXPECT_LE(c.done - last, 8192);
    last = c.done;
  }
  EXPECT_EQ(last, 300000);
  auto calls = window.Calls();
  EXPECT_EQ(calls.back().done, 300000);
  EXPECT_TRUE(calls.back().dataNull);
  EXPECT_EQ(orvtest::ReadFile(target), Body(300000));
  EXPECT_FALSE(plat::FileExists(target + ".part"));
}

TEST_F(HttpDownloadTest, UnknownLengthReportsTotalZeroAndFinishes) {
  RecordingWindow window;
  const std::string target = m_dir.File("nolen.bin");
  ASSERT_TRUE(Fetch(window, m_server.Url("/nolen/50000"), target));

  EXPECT_EQ(window.Sequence(),
            (std::vector<std::string>{"checktime", "start", "progress", "finished"}));
  int64_t last = 0;
  for (const auto& c : window.Calls()) {
    if (c.hook != "progress") continue;
    EXPECT_EQ(c.total, 0);
    EXPECT_GT(c.done, last);
    last = c.done;
  }
  EXPECT_EQ(last, 50000);
  EXPECT_EQ(window.Calls().back().done, 50000);
  EXPECT_EQ(orvtest::ReadFile(target), Body(50000));
  EXPECT_EQ(Hits(m_server, "/nolen/50000"), 1);
}

TEST_F(HttpDownloadTest, EmptyBodyWithZeroLengthIsAnEmptyFile) {
  RecordingWindow window;
  const std::string target = m_dir.File("empty.bin");
  ASSERT_TRUE(Fetch(window, m_server.Url("/file/0"), target));
  EXPECT_EQ(window.Sequence(), (std::vector<std::string>{"checktime", "start", "finished"}));
  EXPECT_TRUE(plat::FileExists(target));
  EXPECT_EQ(orvtest::ReadFile(target), "");
}

// Failures that cost an attempt: five attempts, exactly one ERROR, no file left behind.
TEST_F(HttpDownloadTest, FailedAttemptsEndInOneErrorAndNoFile) {
  struct Case {
    std::string path;
    int expectedHits;
  };
  for (const Case& c : {Case{"/status/404", 5}, Case{"/status/500", 5}, Case{"/short/100000", 5},
                        Case{"/cut/100000", 5}}) {
    SCOPED_TRACE(c.path);
    RecordingWindow window;
    const std::string target = m_dir.File("failed.bin");
    ASSERT_TRUE(Fetch(window, m_server.Url(c.path), target));
    EXPECT_EQ(window.Count("error"), 1);
    EXPECT_EQ(window.Count("finished"), 0);
    EXPECT_EQ(window.Calls().back().hook, "error");
    EXPECT_FALSE(plat::FileExists(target));
    EXPECT_FALSE(plat::FileExists(target + ".part"));
    EXPECT_EQ(Hits(m_server, c.path), c.expectedHits);
  }
}

// A body cut short, even before its first byte, is an incomplete attempt: every attempt got
// as far as the body, and the stop flag (read only for failures) does not end the retries.
TEST_F(HttpDownloadTest, ShortBodyIsRetriedAfterItsPartialProgress) {
  for (const std::string path : {"/short/40000", "/cut/40000"}) {
    SCOPED_TRACE(path);
    DownloadStopFlag = true;
    RecordingWindow window;
    ASSERT_TRUE(Fetch(window, m_server.Url(path), m_dir.File("short.bin")));
    EXPECT_EQ(window.Count("checktime"), 5);
    EXPECT_EQ(window.Count("start"), 5);
    EXPECT_EQ(window.Count("error"), 1);
    for (const auto& c : window.Calls()) {
      if (c.hook != "progress") continue;
      EXPECT_LT(c.done, 40000);
    }
    EXPECT_FALSE(plat::FileExists(m_dir.File("short.bin")));
    EXPECT_FALSE(plat::FileExists(m_dir.File("short.bin.part")));
  }
}

TEST_F(HttpDownloadTest, UnreachableServerEndsInOneError) {
  // Port 1 on loopback: nothing listens there.
  RecordingWindow window;
  ASSERT_TRUE(Fetch(window, "http://127.0.0.1:1/file/10", m_dir.File("x")));
  EXPECT_EQ(window.Sequence(), (std::vector<std::string>{"error"}));
}

// A URL that cannot be opened at all (malformed, or a scheme other than HTTP(S)) yields no file
// object: the worker ends without a message and without further attempts.
TEST_F(HttpDownloadTest, UnusableUrlEndsWithOneError) {
  for (const std::string url : {"notascheme://127.0.0.1:1/setup.exe", "http://[127.0.0.1/x",
                                "dict://127.0.0.1:1/d:setup", "file:///etc/hostname"}) {
    SCOPED_TRACE(url);
    RecordingWindow window;
    ASSERT_TRUE(Fetch(window, url, m_dir.File("never.bin")));
    EXPECT_EQ(window.Sequence(), std::vector<std::string>{"error"});
    EXPECT_FALSE(plat::FileExists(m_dir.File("never.bin")));
  }
}

TEST_F(HttpDownloadTest, StopFlagEndsAFailingWorkerQuietly) {
  DownloadStopFlag = true;
  RecordingWindow window;
  ASSERT_TRUE(Fetch(window, m_server.Url("/status/404"), m_dir.File("x")));
  EXPECT_TRUE(window.Calls().empty());
  EXPECT_EQ(Hits(m_server, "/status/404"), 1);
}

TEST_F(HttpDownloadTest, RunningUrlIsNotStartedTwiceButMayStartAgainAfterItEnded) {
  RecordingWindow window;
  const std::string url = m_server.Url("/slow/40000");
  const std::string target = m_dir.File("slow.bin");
  ASSERT_EQ(window.DownloadFile(url, target, 0), 1);
  EXPECT_EQ(window.DownloadFile(url, target, 0), 0);
  EXPECT_EQ(window.DownloadFile(url, m_dir.File("other.bin"), 0), 0);
  // A different URL text is a different download.
  EXPECT_EQ(window.DownloadFile(url + "?x", m_dir.File("other.bin"), 0), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  EXPECT_EQ(window.Count("finished"), 2);
  EXPECT_EQ(Hits(m_server, "/slow/40000"), 2);

  EXPECT_EQ(window.DownloadFile(url, target, 0), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  EXPECT_EQ(window.Count("finished"), 3);
}

TEST_F(HttpDownloadTest, PriorityIsAppliedWithoutDisturbingTheDownload) {
  RecordingWindow window;
  const std::string target = m_dir.File("idle.bin");
  ASSERT_EQ(window.DownloadFile(m_server.Url("/file/20000"), target, -15), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  EXPECT_EQ(window.Count("finished"), 1);
  EXPECT_EQ(orvtest::ReadFile(target), Body(20000));
}

// Two URLs with different bodies for one target at once: whatever each reports, a finished
// download has its own whole body at the target when its hook runs.
TEST_F(HttpDownloadTest, TwoDownloadsOfOneTargetNeverMixTheirBytes) {
  class CheckingWindow final : public RecordingWindow {
   public:
    CheckingWindow(std::string target, std::string filledUrl)
        : m_target(std::move(target)), m_filledUrl(std::move(filledUrl)) {}
    ~CheckingWindow() override { EndDownloads(); }
    void OnDownFinished(std::string url, const char* data, int64_t size) override {
      const std::string expected = url == m_filledUrl ? std::string(40000, '\7') : Body(40000);
      if (orvtest::ReadFile(m_target) != expected) ++damaged;
      RecordingWindow::OnDownFinished(url, data, size);
    }
    std::atomic<int> damaged{0};

   private:
    std::string m_target;
    std::string m_filledUrl;
  };
  const std::string target = m_dir.File("shared/setup.bin");
  const std::string filledUrl = m_server.Url("/slow/40000?fill=7");
  CheckingWindow window(target, filledUrl);
  ASSERT_EQ(window.DownloadFile(m_server.Url("/slow/40000"), target, 0), 1);
  ASSERT_EQ(window.DownloadFile(filledUrl, target, 0), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  EXPECT_GE(window.Count("finished"), 1);
  EXPECT_EQ(window.Count("finished") + window.Count("error"), 2);
  EXPECT_EQ(window.damaged, 0);
  EXPECT_FALSE(plat::FileExists(target + ".part"));
}

// Another process writing the same target (its temporary file locked): the download waits
// while that file grows, then fetches; when it stops growing for the stall limit, the download
// ends with one ERROR saying the file is being downloaded.
TEST_F(HttpDownloadTest, DownloadWaitsForAnotherWritingItsTarget) {
  const auto previous = StallLimit();
  SetStallLimit(500ms);
  for (const bool finishes : {true, false}) {
    SCOPED_TRACE(finishes ? "other finishes" : "other stalls");
    const std::string target = m_dir.File(finishes ? "held1.bin" : "held2.bin");
    plat::ExclusiveFile other;
    ASSERT_TRUE(other.Open(target + ".part"));
    RecordingWindow window;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(window.DownloadFile(m_server.Url("/file/30000"), target, 0), 1);
    if (finishes) {
      for (int i = 0; i < 10; ++i) {  // grows for about 2 s, then is gone
        ASSERT_TRUE(other.Write("x", 1));
        std::this_thread::sleep_for(200ms);
      }
      other.Remove();
    }
    ASSERT_TRUE(window.WaitIdle(30s));
    other.Close();
    if (finishes) {
      EXPECT_GE(std::chrono::steady_clock::now() - started, 2s);
      EXPECT_EQ(window.Sequence(),
                (std::vector<std::string>{"checktime", "start", "progress", "finished"}));
      EXPECT_EQ(orvtest::ReadFile(target), Body(30000));
    } else {
      ASSERT_EQ(window.Sequence(), std::vector<std::string>{"error"});
      EXPECT_EQ(window.Calls().back().failure, DownloadFailure::Busy);
      EXPECT_FALSE(plat::FileExists(target));
    }
  }
  SetStallLimit(previous);
}

// A client fetches many icons in one session; a worker that ended must not keep its thread
// (and the thread's stack) until the owner is destroyed.
TEST_F(HttpDownloadTest, EndedWorkersDoNotHoldTheirStacks) {
#ifdef _WIN32
  GTEST_SKIP() << "reads the address space from /proc";
#else
  auto addressSpace = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmSize:", 0) == 0) return std::atoll(line.c_str() + 7) * 1024LL;
    return 0LL;
  };
  pthread_attr_t attr;
  size_t stack = 0;
  ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
  pthread_attr_getstacksize(&attr, &stack);
  pthread_attr_destroy(&attr);

  RecordingWindow window;
  ASSERT_TRUE(Fetch(window, m_server.Url("/file/100?warm"), m_dir.File("warm.png")));
  const long long before = addressSpace();
  constexpr int kIcons = 40;
  for (int i = 0; i < kIcons; ++i)
    ASSERT_TRUE(Fetch(window, m_server.Url("/file/100?icon=" + std::to_string(i)),
                      m_dir.File("icons/" + std::to_string(i) + ".png")));
  EXPECT_LT(addressSpace() - before, 8 * static_cast<long long>(stack));
  EXPECT_EQ(window.Count("finished"), kIcons + 1);
#endif
}

// The stand-in as the system's proxy: every request through it needs credentials. Loopback
// never goes through a proxy, so the downloads name a host only the proxy knows.
class HttpProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    ASSERT_TRUE(m_proxy.Ready());
    setenv("http_proxy", ("http://127.0.0.1:" + m_proxy.Port()).c_str(), 1);
  }
  void TearDown() override { unsetenv("http_proxy"); }

  static std::string Remote(const std::string& path) {
    return "http://files.orvanta.example" + path;
  }

  HttpStandIn m_proxy{{"--proxy-auth", "agent:s3cret"}};
  orvtest::TempDir m_dir;
};

TEST_F(HttpProxyTest, CredentialsFromTheHookReachTheProxy) {
  RecordingWindow window;
  window.proxyUser = "agent";
  window.proxyPassword = "s3cret";
  const std::string target = m_dir.File("via-proxy.bin");
  ASSERT_EQ(window.DownloadFile(Remote("/file/10000"), target, 0), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  EXPECT_EQ(window.Sequence(),
            (std::vector<std::string>{"proxy", "checktime", "start", "progress", "finished"}));
  EXPECT_EQ(orvtest::ReadFile(target), Body(10000));

  std::string stats;
  ClearProxyEnvironment();
  stats = orvtest::HttpGet(m_proxy.Url("/stats"));
  // "agent:s3cret" in Basic form.
  EXPECT_NE(stats.find("Basic YWdlbnQ6czNjcmV0"), std::string::npos) << stats;
}

TEST_F(HttpProxyTest, RefusedCredentialsAskOncePerAttemptThenError) {
  RecordingWindow window;
  window.proxyUser = "agent";
  window.proxyPassword = "wrong";
  const std::string target = m_dir.File("refused.bin");
  ASSERT_EQ(window.DownloadFile(Remote("/file/10000"), target, 0), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  EXPECT_EQ(window.Count("proxy"), 5);
  EXPECT_EQ(window.Count("checktime"), 0);
  EXPECT_EQ(window.Count("error"), 1);
  EXPECT_FALSE(plat::FileExists(target));
}

TEST(HeadlessOwnerTest, DestroyingTheOwnerOfAHungWorkerReturnsInTime) {
  ClearProxyEnvironment();
  HttpStandIn server;
  ASSERT_TRUE(server.Ready());
  orvtest::TempDir dir;
  auto started = std::chrono::steady_clock::now();
  {
    RecordingWindow window;
    ASSERT_EQ(window.DownloadFile(server.Url("/hang"), dir.File("hang.bin"), 0), 1);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return Hits(server, "/hang") == 1; }));
    started = std::chrono::steady_clock::now();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, 11s);
  EXPECT_FALSE(plat::FileExists(dir.File("hang.bin")));
}

TEST(HeadlessOwnerTest, AWorkerStuckOutsideTheTransferIsAbandonedInTime) {
#ifdef _WIN32
  GTEST_SKIP() << "blocks the worker on a FIFO, which Windows files have no counterpart of";
#else
  ClearProxyEnvironment();
  HttpStandIn server;
  ASSERT_TRUE(server.Ready());
  orvtest::TempDir dir;
  // A FIFO without a reader in place of the temporary file: opening it blocks the worker
  // where it cannot see its owner go.
  const std::string target = dir.File("stuck.bin");
  ASSERT_EQ(mkfifo((target + ".part").c_str(), 0600), 0);
  auto window = std::make_unique<RecordingWindow>();
  ASSERT_EQ(window->DownloadFile(server.Url("/file/100000"), target, 0), 1);
  ASSERT_TRUE(orvtest::WaitUntil([&] { return window->Count("start") == 1; }));

  auto started = std::chrono::steady_clock::now();
  window->EndDownloads(300ms);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 2s);
  EXPECT_EQ(window->DownloadFile(server.Url("/file/10"), dir.File("late.bin"), 0), 0);
  EXPECT_EQ(window->Calls().size(), 2u);  // checktime and start only
  window.reset();
  // The worker stays blocked until the process ends; it can never reach the dead owner.
#endif
}

}  // namespace
