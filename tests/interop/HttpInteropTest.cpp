// The download engine against nginx: resume across a killed client, a file changed between
// tries, gzip_static, 503 with Retry-After, a redirect chain, and the agent name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <csignal>
#include <cstdlib>
#include <sstream>

#include "InteropServers.h"
#include "client/base/OwnVersion.h"
#include "download/DownloadTestSupport.h"

using namespace std::chrono_literals;
using dltest::RecordingWindow;

namespace {

std::string Bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  unsigned x = seed;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

// One access-log line split into status, range, if-range, agent, uri, time.
struct Logged {
  int status = 0;
  std::string range, ifRange, agent, uri;
  double time = 0;
};

std::vector<Logged> Requests(const interop::Nginx& nginx, const std::string& prefix) {
  std::vector<Logged> out;
  for (const std::string& line : nginx.AccessLog()) {
    Logged l;
    std::vector<std::string> quoted;
    size_t at = line.find('"');
    l.status = std::atoi(line.c_str());
    while (at != std::string::npos && quoted.size() < 3) {
      const size_t end = line.find('"', at + 1);
      quoted.push_back(line.substr(at + 1, end - at - 1));
      at = line.find('"', end + 1);
    }
    std::istringstream rest(line.substr(line.rfind('"') + 1));
    rest >> l.uri >> l.time;
    if (quoted.size() == 3 && l.uri.rfind(prefix, 0) == 0) {
      l.range = quoted[0] == "-" ? "" : quoted[0];
      l.ifRange = quoted[1] == "-" ? "" : quoted[1];
      l.agent = quoted[2];
      out.push_back(l);
    }
  }
  return out;
}

off_t SizeOf(const std::string& path) {
  struct stat st = {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class HttpInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dltest::ClearProxyEnvironment();
    mkdir(m_root.File("files").c_str(), 0755);
    mkdir(m_root.File("gz").c_str(), 0755);
  }
  // Starts nginx: "?slow=1" trickles at 64 KB/s, /gz/ serves only precompressed files,
  // /busy and /busy-long answer 503 with a Retry-After, /r1 redirects three times.
  void Start() {
    m_nginx = std::make_unique<interop::Nginx>(
        m_root.Path(),
        "    location /files/ { if ($arg_slow) { set $limit_rate 64k; } }\n"
        "    location /gz/ { gzip_static always; }\n"
        "    location = /busy { add_header Retry-After 5 always; return 503; }\n"
        "    location = /busy-long { add_header Retry-After 100000 always; return 503; }\n"
        "    location = /r1 { return 302 /r2; }\n"
        "    location = /r2 { return 301 /r3; }\n"
        "    location = /r3 { return 307 /files/setup.bin; }\n");
    ASSERT_TRUE(m_nginx->Running()) << m_nginx->Error();
  }
  std::string Publish(const std::string& name, const std::string& content) {
    orvtest::WriteFile(m_root.File("files/" + name), content);
    return m_nginx ? m_nginx->Url("/files/" + name) : "";
  }
  // orvanta-cli download, ended by signal once the temporary file holds at least half.
  void KillMidway(const std::string& url, const std::string& target, int signal, off_t half) {
    orvtest::ChildProcess cli(
        {std::string(ORV_BIN_DIR) + "/orvanta-cli", "download", url + "?slow=1", target});
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(orvtest::WaitUntil([&] { return SizeOf(target + ".part") >= half; }, 60s));
    ::kill(cli.Pid(), signal);
    cli.Wait();
    ASSERT_GE(SizeOf(target + ".part"), half);
  }
  bool Fetch(RecordingWindow& window, const std::string& url, const std::string& target) {
    return window.DownloadFile(url, target, 0) == 1 && window.WaitIdle(60s);
  }

  orvtest::TempDir m_root;
  orvtest::TempDir m_dir;
  std::unique_ptr<interop::Nginx> m_nginx;
};

// A download cut by ending the process continues where it stopped in the next one; when the
// server's file changed meanwhile, the next one fetches the new file whole.
TEST_F(HttpInteropTest, KilledDownloadResumesUnlessTheFileChanged) {
  Start();
  struct Case {
    int signal;
    bool change;
  };
  const std::string old = Bytes(256 * 1024, 1), changed = Bytes(200 * 1024, 2);
  for (const Case c : {Case{SIGKILL, false}, Case{SIGTERM, false}, Case{SIGKILL, true}}) {
    SCOPED_TRACE(std::to_string(c.signal) + (c.change ? " changed" : ""));
    const std::string name = "setup-" + std::to_string(c.signal) + (c.change ? "c" : "") + ".bin";
    const std::string url = Publish(name, old);
    const std::string target = m_dir.File(name);
    KillMidway(url, target, c.signal, 64 * 1024);
    if (c.change) {
      Publish(name, changed);
      struct utimbuf later = {std::time(nullptr) + 60, std::time(nullptr) + 60};
      utime(m_root.File("files/" + name).c_str(), &later);
    }
    const off_t kept = SizeOf(target + ".part");
    RecordingWindow window;
    ASSERT_TRUE(Fetch(window, url, target));
    EXPECT_EQ(window.Count("finished"), 1);
    EXPECT_EQ(orvtest::ReadFile(target), c.change ? changed : old);
    EXPECT_EQ(SizeOf(target + ".part"), -1);
    EXPECT_EQ(SizeOf(target + ".part.info"), -1);
    const auto requests = Requests(*m_nginx, "/files/" + name);
    ASSERT_EQ(requests.size(), 2u);
    const Logged& second = requests.back();
    EXPECT_EQ(second.range, "bytes=" + std::to_string(kept) + "-");
    EXPECT_FALSE(second.ifRange.empty());
    EXPECT_EQ(second.status, c.change ? 200 : 206);
    // PROGRESS counts the whole file, from where the kept part ends.
    EXPECT_EQ(window.Calls()[window.Calls().size() - 2].done,
              static_cast<int64_t>((c.change ? changed : old).size()));
  }
}

// gzip_static always: the installer is sent gzip-encoded whatever was asked; it is saved
// decoded, and PROGRESS counts decoded bytes.
TEST_F(HttpInteropTest, PrecompressedFileIsSavedDecoded) {
  Start();
  const std::string plain = std::string(300000, 'a') + Bytes(1000, 3);
  orvtest::WriteFile(m_root.File("gz/setup.exe"), plain);
  ASSERT_EQ(orvtest::RunCommand({"gzip", "-9", m_root.File("gz/setup.exe")}), 0);
  ASSERT_EQ(SizeOf(m_root.File("gz/setup.exe")), -1) << "only the .gz is served";
  RecordingWindow window;
  const std::string target = m_dir.File("setup.exe");
  ASSERT_TRUE(Fetch(window, m_nginx->Url("/gz/setup.exe"), target));
  EXPECT_EQ(window.Count("finished"), 1);
  EXPECT_EQ(orvtest::ReadFile(target), plain);
  const auto calls = window.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back().done, static_cast<int64_t>(plain.size()));
  EXPECT_EQ(calls[calls.size() - 2].done, static_cast<int64_t>(plain.size()));
}

// 503 with Retry-After: the attempts wait what the server asks, up to 60 pause units, and
// pauses beyond 120 units in all end the download; one ERROR carries the status.
TEST_F(HttpInteropTest, UnavailableServerIsAskedAgainAfterItsRetryAfter) {
  Start();
  struct Case {
    std::string path;
    std::chrono::milliseconds unit;
    size_t requests;
    double minGap;  // seconds between requests, at least
  };
  for (const Case& c : {Case{"/busy", 100ms, 5, 0.5}, Case{"/busy-long", 20ms, 3, 1.2}}) {
    SCOPED_TRACE(c.path);
    SetRetryPauseUnit(c.unit);
    RecordingWindow window;
    ASSERT_TRUE(Fetch(window, m_nginx->Url(c.path), m_dir.File("busy.bin")));
    ASSERT_EQ(window.Sequence(), std::vector<std::string>{"error"});
    EXPECT_EQ(window.Calls().back().status, 503);
    const auto requests = Requests(*m_nginx, c.path);
    ASSERT_EQ(requests.size(), c.requests);
    for (size_t i = 1; i < requests.size(); ++i)
      EXPECT_GE(requests[i].time - requests[i - 1].time, c.minGap * 0.95) << i;
  }
  SetRetryPauseUnit(10ms);
}

// A chain of redirects is followed, and every request of a download carries the agent name.
TEST_F(HttpInteropTest, RedirectChainIsFollowedWithTheAgentName) {
  Start();
  const std::string body = Bytes(50000, 4);
  Publish("setup.bin", body);
  RecordingWindow window;
  ASSERT_TRUE(Fetch(window, m_nginx->Url("/r1"), m_dir.File("r.bin")));
  EXPECT_EQ(window.Count("finished"), 1);
  EXPECT_EQ(orvtest::ReadFile(m_dir.File("r.bin")), body);
  const auto requests = Requests(*m_nginx, "/");
  ASSERT_EQ(requests.size(), 4u);
  for (const Logged& l : requests) EXPECT_EQ(l.agent, "Orvanta/" + GetOwnVersion()) << l.uri;
}

}  // namespace
