// orvanta-cli download URL PATH: one download through the engine with a headless owner; every
// hook call is printed as one JSON line, a failure with its reason and the last HTTP status.
// Exit 0 when the file arrived, 1 otherwise. http(s)
// addresses use the HTTP worker, ftp addresses the FTP worker (as the updater does); any
// other scheme is refused (exit 2).
#include <json/json.h>

#include <condition_variable>
#include <mutex>
#include <string_view>

#include "CliCommand.h"
#include "common/download/HeadlessDownloadWindow.h"
#include "platform/AsciiCase.h"

namespace {

class CliDownloadWindow final : public HeadlessDownloadWindow {
 public:
  explicit CliDownloadWindow(DownloadWorkerKind kind) : HeadlessDownloadWindow(kind) {}
  ~CliDownloadWindow() override { EndDownloads(); }

  void OnCheckTime(std::string url, std::string lastModified) override {
    Json::Value v = Event("checktime", url, 0, 0);
    v["lastModified"] = lastModified;
    PrintJson(v);
  }
  void OnDownFinished(std::string url, const char*, int64_t size) override {
    PrintJson(Event("finished", url, size, size));
    End(true);
  }
  void OnDownFailed(std::string url, DownloadFailure failure, long status) override {
    Json::Value v = Event("error", url, 0, 0);
    v["reason"] = FailureText(failure);
    v["status"] = Json::Int64(status);
    PrintJson(v);
    End(false);
  }
  void OnStartDownload(std::string url) override { PrintJson(Event("start", url, 0, 0)); }
  void OnDownProgress(std::string url, int64_t done, int64_t total) override {
    PrintJson(Event("progress", url, done, total));
  }

  // True when the download finished; false on ERROR or when the worker ended silently.
  bool Wait() {
    WaitIdle(std::chrono::hours(24));
    std::lock_guard lock(m_mutex);
    return m_finished;
  }

 private:
  static Json::Value Event(const char* name, const std::string& url, int64_t done, int64_t total) {
    Json::Value v;
    v["event"] = name;
    v["url"] = url;
    v["done"] = Json::Int64(done);
    v["total"] = Json::Int64(total);
    return v;
  }
  static const char* FailureText(DownloadFailure failure) {
    switch (failure) {
      case DownloadFailure::Attempts:
        break;
      case DownloadFailure::NoFile:
        return "the address cannot be fetched";
      case DownloadFailure::Busy:
        return "another download keeps writing the file";
    }
    return "every attempt failed";
  }
  void End(bool finished) {
    std::lock_guard lock(m_mutex);
    m_finished = finished;
  }

  std::mutex m_mutex;
  bool m_finished = false;
};

bool HasScheme(const std::string& url, std::string_view scheme) {
  return url.size() > scheme.size() &&
         plat::AsciiIEquals(std::string_view(url).substr(0, scheme.size()), scheme);
}

int RunDownload(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0].empty() || args[1].empty())
    return UsageError("usage: download URL PATH");
  DownloadWorkerKind kind;
  if (HasScheme(args[0], "http://") || HasScheme(args[0], "https://"))
    kind = DownloadWorkerKind::Http;
  else if (HasScheme(args[0], "ftp://"))
    kind = DownloadWorkerKind::Ftp;
  else
    return UsageError("download: only http://, https:// and ftp:// addresses can be fetched");
  CliDownloadWindow window(kind);
  if (window.DownloadFile(args[0], args[1], 0) == 0) return Failure("download not started");
  bool finished = window.Wait();
  window.EndDownloads();  // every hook has run once the dispatch thread is stopped
  return finished ? 0 : 1;
}

CliRegistration downloadCommand({"download", "download URL PATH", RunDownload});

}  // namespace
