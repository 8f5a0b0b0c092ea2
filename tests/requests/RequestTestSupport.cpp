#include "RequestTestSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/base/CThreadLog.h"
#include "platform/Encoding.h"
#include "tests/support/TestSupport.h"

namespace orvtest {

bool RecordingImageFetcher::Fetch(const std::string& url, const std::string& localPath,
                                  ImageKind kind) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_calls.push_back({url, localPath, kind});
  return true;
}

std::vector<ImageFetchCall> RecordingImageFetcher::Calls() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_calls;
}

std::string ThreadLogText(const std::string& programDir) {
  CThreadLog::Instance()->Flush();
  std::string all;
  std::error_code ec;
  const std::filesystem::path logDir = programDir + "/Log";
  if (!std::filesystem::exists(logDir, ec)) return all;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(logDir, ec)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    all += plat::GbkToUtf8(ss.str());
  }
  return all;
}

int ClosedPort() { return ClosedLoopbackPort(); }

}  // namespace orvtest
