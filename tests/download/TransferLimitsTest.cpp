// Transfers against servers that stall, cut answers off or flood the client: a stall fails
// the attempt, an incomplete attempt resumes where the file ended when the server allows it,
// concurrent workers are capped and queued in order, and no failure ends silently.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "DownloadTestSupport.h"
#include "common/download/CurlSetup.h"
#include "common/download/PartialFile.h"

using namespace dltest;
using namespace std::chrono_literals;

namespace {

// A short stall limit for the test, restored afterwards.
class ShortStallLimit {
 public:
  ShortStallLimit() : m_previous(StallLimit()) { SetStallLimit(500ms); }
  ~ShortStallLimit() { SetStallLimit(m_previous); }

 private:
  std::chrono::milliseconds m_previous;
};

std::string Stats(const HttpStandIn& server) {
  const std::string out = orvtest::HttpGet(server.Url("/stats"));
  return out;
}

// The "ranges" list of the stand-in's statistics, as its JSON text.
std::string Ranges(const HttpStandIn& server) {
  const std::string stats = Stats(server);
  const auto at = stats.find("\"ranges\": ");
  if (at == std::string::npos) return {};
  return stats.substr(at + 10, stats.find(']', at) - at - 9);
}

void ExpectProgressMonotonicToTotal(const RecordingWindow& window, int64_t total) {
  int64_t last = 0;
  int progress = 0;
  for (const HookCall& c : window.Calls()) {
    if (c.hook != "progress") continue;
    ++progress;
    EXPECT_GT(c.done, last) << "PROGRESS went back or repeated";
    EXPECT_EQ(c.total, total);
    last = c.done;
  }
  EXPECT_GT(progress, 0);
  EXPECT_EQ(last, total);
}

class TransferLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    ASSERT_TRUE(m_server.Ready());
  }
  bool Fetch(RecordingWindow& window, const std::string& url, const std::string& target) {
    if (window.DownloadFile(url, target, 0) != 1) return false;
    return window.WaitIdle(60s);
  }

  HttpStandIn m_server;
  orvtest::TempDir m_dir;
  ShortStallLimit m_stall;
};

TEST_F(TransferLimitsTest, StalledHttpAttemptsEndAndTheDownloadFails) {
  RecordingWindow window;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Fetch(window, m_server.Url("/stall/40000"), m_dir.File("stall.bin")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_EQ(window.Count("start"), 5) << "each stalled attempt is followed by the next";
  EXPECT_EQ(window.Count("error"), 1);
  EXPECT_FALSE(plat::FileExists(m_dir.File("stall.bin")));
  EXPECT_FALSE(window.IsDownloading(m_server.Url("/stall/40000")));
}

struct ResumeCase {
  const char* name;
  const char* query;   // of /flaky/10000
  bool finishes;       // within the five attempts
  const char* ranges;  // the Range headers the server saw, in order
};

class ResumeTest : public TransferLimitsTest, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(ResumeTest, IncompleteAttemptResumesOnlyWhenTheServerAllows) {
  RecordingWindow window;
  const std::string url = m_server.Url(std::string("/flaky/10000?cut=4000") + GetParam().query);
  const std::string target = m_dir.File("flaky.bin");
  ASSERT_TRUE(Fetch(window, url, target));
  EXPECT_EQ(Ranges(m_server), GetParam().ranges);
  if (GetParam().finishes) {
    EXPECT_EQ(window.Count("finished"), 1);
    EXPECT_EQ(orvtest::ReadFile(target), Body(10000)) << "the pieces join without a seam";
    ExpectProgressMonotonicToTotal(window, 10000);
  } else {
    EXPECT_EQ(window.Count("error"), 1);
    EXPECT_FALSE(plat::FileExists(target));
    int64_t last = 0;
    for (const HookCall& c : window.Calls()) {
      if (c.hook == "progress") {
        EXPECT_GT(c.done, last);
        last = c.done;
      }
    }
  }
}

// The kept part and its validators sit beside the target under the target's own name, so
// that a later process finds them, whatever characters the name holds.
TEST_F(TransferLimitsTest, KeptPartIsContinuedUnderTheTargetsOwnName) {
  for (const char* name : {"setup.bin", "安装包 下载.bin"}) {
    SCOPED_TRACE(name);
    const std::string target = m_dir.File(name);
    const std::string body = Body(4000);
    {
      PartialFile part(target);
      ASSERT_TRUE(part.Open());
      ASSERT_TRUE(part.SaveValidators({10000, "\"e1\"", "Mon, 01 Dec 2026 10:00:00 GMT"}));
      ASSERT_TRUE(part.Write(body.data(), body.size()));
      part.Keep();
    }
    EXPECT_TRUE(std::filesystem::exists(plat::FsPath(target + ".part")));
    EXPECT_TRUE(std::filesystem::exists(plat::FsPath(target + ".part.info")));
    PartialFile later(target);
    PartialValidators found;
    ASSERT_TRUE(later.Continue(found));
    EXPECT_EQ(found.total, 10000);
    EXPECT_EQ(found.lastModified, "Mon, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(later.Size(), 4000);
    ASSERT_TRUE(later.Commit());
    EXPECT_EQ(orvtest::ReadFile(target), body);
    EXPECT_FALSE(std::filesystem::exists(plat::FsPath(target + ".part.info")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ResumeTest,
    ::testing::Values(
        ResumeCase{"RangesAndLastModified", "&lm=Mon,%2001%20Dec%202026%2010:00:00%20GMT", true,
                   R"(["", "bytes=4000-", "bytes=8000-"])"},
        ResumeCase{"StallThenResume", "&lm=Mon,%2001%20Dec%202026%2010:00:00%20GMT&stall=1", true,
                   R"(["", "bytes=4000-", "bytes=8000-"])"},
        ResumeCase{"NoRanges", "&lm=Mon,%2001%20Dec%202026%2010:00:00%20GMT&norange=1", false,
                   R"(["", "", "", "", ""])"},
        ResumeCase{"NoLastModified", "", false, R"(["", "", "", "", ""])"},
        // The file changed between attempts: the 206 is refused and the next starts over.
        ResumeCase{"LastModifiedChanged", "&lmhit=1", false,
                   R"(["", "bytes=4000-", "", "bytes=4000-", ""])"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferLimitsTest, StalledFtpTransferSendsError) {
  orvtest::TempDir root;
  orvtest::WriteFile(root.File("big.bin"), Body(300000));
  orvtest::ChildProcess ftp({ORV_PYTHON, Script("ftp_standin.py"), root.Path(), "u", "p", "stall"});
  const std::string port = ftp.ReadAssignments({"PORT"})["PORT"];
  ASSERT_FALSE(port.empty());
  RecordingWindow window(DownloadWorkerKind::Ftp);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Fetch(window, "ftp://u:p@127.0.0.1:" + port + "/big.bin", m_dir.File("big.bin")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  EXPECT_EQ(window.Count("error"), 1);
  EXPECT_FALSE(plat::FileExists(m_dir.File("big.bin")));
}

TEST_F(TransferLimitsTest, BlanksInUrlsArePercentEncoded) {
  RecordingWindow window;
  // The stand-in ignores the query; the request line must be valid to be answered at all.
  ASSERT_TRUE(Fetch(window, m_server.Url("/file/3000?name=a b c"), m_dir.File("blank.bin")));
  EXPECT_EQ(window.Count("finished"), 1);
  EXPECT_EQ(orvtest::ReadFile(m_dir.File("blank.bin")), Body(3000));
}

// A window whose worker threads start through a launcher of the test.
class LaunchingWindow : public RecordingWindow {
 public:
  void SetLauncher(DownloadThreadRegistry::Launcher launcher) {
    Workers().SetLauncher(std::move(launcher));
  }
};

// Counts downloads between STARTDOWNLOAD and their last message; a worker sends its last
// message before it ends, so the next one cannot start before the count went down.
class CountingWindow : public RecordingWindow {
 public:
  void OnStartDownload(std::string url) override {
    RecordingWindow::OnStartDownload(url);
    peak = std::max(peak, ++active);
  }
  void OnDownFinished(std::string url, const char* data, int64_t size) override {
    RecordingWindow::OnDownFinished(url, data, size);
    --active;
  }
  int active = 0;  // dispatch thread
  int peak = 0;
};

TEST_F(TransferLimitsTest, WorkersAreCappedAndQueuedInOrder) {
  CountingWindow window;
  const int kDownloads = 3 * static_cast<int>(DownloadThreadRegistry::kMaxRunning);
  for (int i = 0; i < kDownloads; ++i) {
    ASSERT_EQ(window.DownloadFile(m_server.Url("/count/65536?k=" + std::to_string(i)),
                                  m_dir.File("c" + std::to_string(i)), 0),
              1);
  }
  // A queued URL counts as downloading: it is not queued twice.
  EXPECT_EQ(window.DownloadFile(m_server.Url("/count/65536?k=" + std::to_string(kDownloads - 1)),
                                m_dir.File("again"), 0),
            0);
  EXPECT_TRUE(
      window.IsDownloading(m_server.Url("/count/65536?k=" + std::to_string(kDownloads - 1))));
  ASSERT_TRUE(window.WaitIdle(60s));
  EXPECT_EQ(window.Count("finished"), kDownloads);
  EXPECT_LE(window.peak, static_cast<int>(DownloadThreadRegistry::kMaxRunning));
  EXPECT_GT(window.peak, 1);

  // Queued downloads start in the order they were asked for: download k + cap is started
  // only after k + 1 others ended, so at least k + 1 starts come before its own.
  std::vector<std::string> starts;
  for (const HookCall& c : window.Calls())
    if (c.hook == "start") starts.push_back(c.url);
  ASSERT_EQ(static_cast<int>(starts.size()), kDownloads);
  const size_t cap = DownloadThreadRegistry::kMaxRunning;
  for (size_t i = cap; i + cap < starts.size(); ++i) {
    const std::string later = m_server.Url("/count/65536?k=" + std::to_string(i + cap));
    const auto pos = std::find(starts.begin(), starts.end(), later) - starts.begin();
    EXPECT_GT(static_cast<size_t>(pos), i - 1) << later << " started before the queue reached it";
  }
}

size_t ThreadsOfThisProcess() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++n;
  return n;
}

TEST_F(TransferLimitsTest, ThousandsOfIconsAgainstASilentServerTakeAFewThreads) {
  const size_t before = ThreadsOfThisProcess();
  {
    RecordingWindow window;
    for (int i = 0; i < 3000; ++i) {
      ASSERT_EQ(window.DownloadFile(m_server.Url("/hang?icon=" + std::to_string(i)),
                                    m_dir.File("icon" + std::to_string(i) + ".png"), 0),
                1);
    }
    // The workers plus the window's dispatch thread.
    EXPECT_LE(ThreadsOfThisProcess(), before + DownloadThreadRegistry::kMaxRunning + 1);
    const auto start = std::chrono::steady_clock::now();
    window.EndDownloads();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "the queue is dropped, not run";
  }
}

TEST_F(TransferLimitsTest, WorkerThatCannotStartIsAnErrorNotAnAbort) {
  LaunchingWindow window;
  int calls = 0;
  window.SetLauncher([&](std::function<void()> body) -> std::thread {
    if (calls++ == 1)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  });
  const std::string a = m_server.Url("/file/100"), b = m_server.Url("/file/200"),
                    c = m_server.Url("/file/300");
  EXPECT_EQ(window.DownloadFile(a, m_dir.File("a"), 0), 1);
  EXPECT_EQ(window.DownloadFile(b, m_dir.File("b"), 0), 1);
  EXPECT_EQ(window.DownloadFile(c, m_dir.File("c"), 0), 1);
  ASSERT_TRUE(window.WaitIdle(30s));
  ASSERT_TRUE(orvtest::WaitUntil([&] { return window.Count("error") == 1; }));
  EXPECT_EQ(window.Count("finished"), 2);
  for (const HookCall& call : window.Calls()) {
    if (call.hook == "error") {
      EXPECT_EQ(call.url, b);
    }
  }
  EXPECT_FALSE(window.IsDownloading(b));
}

}  // namespace
