#pragma once
// Shared pieces of the request tests: an image fetcher that records its calls, the thread
// log's content, and a loopback port where nothing listens.
#include <mutex>
#include <string>
#include <vector>

#include "client/requests/ImageFetch.h"

namespace orvtest {

struct ImageFetchCall {
  std::string url;
  std::string localPath;
  ImageKind kind = ImageKind::Icon;
};

// Registered as the process image fetcher for its lifetime; records every request.
class RecordingImageFetcher final : public IImageFetchStarter {
 public:
  bool Fetch(const std::string& url, const std::string& localPath, ImageKind kind) override;
  std::vector<ImageFetchCall> Calls() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<ImageFetchCall> m_calls;
  ProcessImageFetcherScope m_registration{*this};  // ends first: no call outlives the rest
};

// Everything the thread log wrote under programDir, converted to UTF-8.
std::string ThreadLogText(const std::string& programDir);
// A loopback port that was free a moment ago (connections to it are refused).
int ClosedPort();

}  // namespace orvtest
