#pragma once
// Shared pieces of the request tests: a download window that records its calls, the thread
// log's content, and a loopback port where nothing listens.
#include <mutex>
#include <string>
#include <vector>

#include "common/download/DownloadStarter.h"

namespace orvtest {

struct DownloadCall {
  std::string url;
  std::string localPath;
  int priority = 0;
};

// Registered as the process download window for its lifetime; records every request.
class RecordingDownloadWindow final : public IDownloadStarter {
 public:
  int DownloadFile(const std::string& url, const std::string& localPath, int priority) override;
  std::vector<DownloadCall> Calls() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<DownloadCall> m_calls;
  ProcessDownloadWindowScope m_registration{*this};  // ends first: no call outlives the rest
};

// Everything the thread log wrote under programDir, converted to UTF-8.
std::string ThreadLogText(const std::string& programDir);
// A loopback port that was free a moment ago (connections to it are refused).
int ClosedPort();

}  // namespace orvtest
