// Loopback download throughput: the engine (HTTP worker + headless owner, a PROGRESS hook per
// chunk) against the curl command-line tool, fetching the same file from the same in-process
// server, side by side. Prints both throughputs, their ratio and the engine's peak RSS.
//
//   bench_download [SIZE_MB=512] [RUNS=3] [DIR=$TMPDIR]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/download/HeadlessDownloadWindow.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Minimal HTTP/1.0 server: every GET answers `size` bytes with Content-Length, sent from a
// 1 MB pattern buffer.
class LoopbackServer {
 public:
  explicit LoopbackServer(int64_t size) : m_size(size), m_chunk(1 << 20) {
    for (size_t i = 0; i < m_chunk.size(); ++i) m_chunk[i] = static_cast<char>(i % 251);
    m_listen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(m_listen, 16);
    socklen_t len = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    std::thread([this] { AcceptLoop(); }).detach();
  }
  int Port() const { return m_port; }

 private:
  void AcceptLoop() {
    for (;;) {
      int fd = accept(m_listen, nullptr, nullptr);
      if (fd < 0) continue;
      std::thread([this, fd] { Serve(fd); }).detach();
    }
  }
  void Serve(int fd) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<size_t>(n));
    }
    std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(m_size) +
                       "\r\nContent-Type: application/octet-stream\r\n\r\n";
    bool ok = send(fd, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
    for (int64_t left = m_size; ok && left > 0;) {
      size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(m_chunk.size())));
      ssize_t sent = send(fd, m_chunk.data(), n, MSG_NOSIGNAL);
      if (sent <= 0) break;
      left -= sent;
    }
    close(fd);
  }

  int64_t m_size;
  std::vector<char> m_chunk;
  int m_listen = -1;
  int m_port = 0;
};

class BenchWindow final : public HeadlessDownloadWindow {
 public:
  ~BenchWindow() override { EndDownloads(); }
  void OnDownProgress(std::string, int64_t done, int64_t) override {
    ++progressCalls;
    lastDone = done;
  }
  void OnDownFinished(std::string, const char*, int64_t size) override { finishedSize = size; }
  void OnDownError(std::string) override { failed = true; }
  std::atomic<int64_t> progressCalls{0}, lastDone{0}, finishedSize{-1};
  std::atomic<bool> failed{false};
};

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU seconds (user + system) used so far by this process, or by its waited-for children.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Seconds for one engine download, or -1 on failure.
double RunEngine(const std::string& url, const std::string& path, int64_t size) {
  BenchWindow window;
  double cpu = CpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  if (window.DownloadFile(url, path, 0) != 1) return -1;
  window.WaitIdle(std::chrono::minutes(10));
  double s = Seconds(Clock::now() - start);
  bool ok = !window.failed && window.finishedSize == size && window.lastDone == size;
  std::printf("  engine: %.3f s, cpu %.3f s (with the server), %lld progress calls%s\n", s,
              CpuSeconds(RUSAGE_SELF) - cpu, static_cast<long long>(window.progressCalls.load()),
              ok ? "" : "  FAILED");
  return ok ? s : -1;
}

// Seconds for one curl download, or -1 on failure.
double RunCurl(const std::string& url, const std::string& path) {
  std::vector<std::string> args = {"curl", "-s", "-f", "--noproxy", "*", "-o", path, url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  double cpu = CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN);
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  double s = Seconds(Clock::now() - start);
  bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::printf("  curl:   %.3f s, cpu %.3f s (with the server)%s\n", s,
              CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN) - cpu, ok ? "" : "  FAILED");
  return ok ? s : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t sizeMb = argc > 1 ? std::atoll(argv[1]) : 512;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::string dir = argc > 3 ? argv[3] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const int64_t size = sizeMb << 20;
  if (sizeMb <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: bench_download [SIZE_MB] [RUNS] [DIR]\n");
    return 2;
  }

  LoopbackServer server(size);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/big.bin";
  const std::string enginePath = dir + "/bench-engine.bin";
  const std::string curlPath = dir + "/bench-curl.bin";
  std::printf("download of %lld MB over loopback HTTP, %d runs each, taking turns\n",
              static_cast<long long>(sizeMb), runs);

  std::vector<double> engine, curl;
  for (int i = 0; i < runs; ++i) {
    // Who goes first alternates, so that neither always meets the other's leftovers (page
    // cache, socket state).
    double e = -1, c = -1;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == (i % 2 == 0)) {
        e = RunEngine(url, enginePath, size);
        std::remove(enginePath.c_str());
      } else {
        c = RunCurl(url, curlPath);
        std::remove(curlPath.c_str());
      }
    }
    if (e < 0 || c < 0) return 1;
    engine.push_back(e);
    curl.push_back(c);
  }

  const double mb = static_cast<double>(sizeMb);
  const double engineRate = mb / Median(engine), curlRate = mb / Median(curl);
  std::printf("\n%-28s %10s %10s\n", "", "engine", "curl");
  std::printf("%-28s %10.1f %10.1f\n", "median throughput (MB/s)", engineRate, curlRate);
  std::printf("%-28s %10.1f %10.1f\n", "best throughput (MB/s)",
              mb / *std::min_element(engine.begin(), engine.end()),
              mb / *std::min_element(curl.begin(), curl.end()));
  std::printf("ratio engine/curl (median): %.2f   (target >= 0.90)\n", engineRate / curlRate);
  std::printf("engine process peak RSS: %.1f MB   (target < 64 MB)\n", PeakRssKb() / 1024.0);
  return 0;
}
