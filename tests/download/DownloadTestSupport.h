#pragma once
// Shared by the download tests: stand-in servers started from this folder's scripts and an
// owner that records every hook call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/download/CurlSetup.h"
#include "common/download/HeadlessDownloadWindow.h"
#include "platform/ProgramDir.h"
#include "support/TestSupport.h"

namespace dltest {

// Retries 10 ms apart instead of seconds in every test of the engine (a test of the pauses
// sets its own unit).
inline const bool kShortRetryPauses = (SetRetryPauseUnit(std::chrono::milliseconds(10)), true);

inline std::string Script(const std::string& name) {
  return std::string(ORV_SOURCE_DIR) + "/tests/download/" + name;
}

// Byte i of every stand-in body is i % 251.
inline std::string Body(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// Keeps downloads away from any proxy of the machine that runs the tests.
inline void ClearProxyEnvironment() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy",
                           "FTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
    unsetenv(name);
}

// The stand-in HTTP server (http_standin.py) on a loopback port.
class HttpStandIn {
 public:
  explicit HttpStandIn(std::vector<std::string> extraArgs = {}) {
    std::vector<std::string> argv = {ORV_PYTHON, Script("http_standin.py")};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    m_process = std::make_unique<orvtest::ChildProcess>(argv);
    auto values = m_process->ReadAssignments({"PORT"});
    m_port = values["PORT"];
  }
  bool Ready() const { return !m_port.empty(); }
  std::string Port() const { return m_port; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + m_port + path; }

 private:
  std::unique_ptr<orvtest::ChildProcess> m_process;
  std::string m_port;
};

// Requests the stand-in saw for path (read from its /stats page).
inline int Hits(const HttpStandIn& server, const std::string& path) {
  const std::string out = orvtest::HttpGet(server.Url("/stats"));
  auto key = "\"" + path + "\": ";
  auto at = out.find(key);
  return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + key.size());
}

struct HookCall {
  HookCall(std::string h, std::string u, std::string t = {})
      : hook(std::move(h)), url(std::move(u)), text(std::move(t)) {}
  std::string hook;  // "checktime", "finished", "proxy", "error", "start", "progress"
  std::string url;
  std::string text;  // Last-Modified of checktime
  int64_t done = 0;  // progress; size of finished
  int64_t total = 0;
  DownloadFailure failure = DownloadFailure::Attempts;  // error
  long status = 0;                                      // error: the last HTTP status
  bool dataNull = true;
  bool onDispatchThread = false;
};

// Records every hook call; answers PROXYVALIDATE with the given credentials.
class RecordingWindow : public HeadlessDownloadWindow {
 public:
  explicit RecordingWindow(DownloadWorkerKind kind = DownloadWorkerKind::Http)
      : HeadlessDownloadWindow(kind) {}
  ~RecordingWindow() override { EndDownloads(); }

  std::string proxyUser;
  std::string proxyPassword;

  void OnCheckTime(std::string url, std::string lastModified) override {
    Add({"checktime", url, lastModified});
  }
  void OnDownFinished(std::string url, const char* data, int64_t size) override {
    HookCall c{"finished", url};
    c.done = size;
    c.dataNull = data == nullptr;
    Add(c);
  }
  void OnProxyValidate(std::string url, std::string& user, std::string& password) override {
    user = proxyUser;
    password = proxyPassword;
    Add({"proxy", url});
  }
  void OnDownFailed(std::string url, DownloadFailure failure, long status) override {
    HookCall c{"error", url};
    c.failure = failure;
    c.status = status;
    Add(c);
  }
  void OnStartDownload(std::string url) override { Add({"start", url}); }
  void OnDownProgress(std::string url, int64_t done, int64_t total) override {
    HookCall c{"progress", url};
    c.done = done;
    c.total = total;
    Add(c);
  }

  std::vector<HookCall> Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  int Count(const std::string& hook) const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (auto& c : m_calls) n += c.hook == hook;
    return n;
  }
  // The hooks in order, progress calls collapsed into one "progress".
  std::vector<std::string> Sequence() const {
    std::vector<std::string> out;
    for (auto& c : Calls())
      if (out.empty() || c.hook != "progress" || out.back() != "progress") out.push_back(c.hook);
    return out;
  }

 private:
  void Add(HookCall call) {
    call.onDispatchThread = OnDispatchThread();
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
  }

  mutable std::mutex m_mutex;
  std::vector<HookCall> m_calls;
};

}  // namespace dltest
