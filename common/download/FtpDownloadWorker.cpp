// FTP worker of the updater: one attempt in passive mode, made again in active mode when the
// server refuses the passive data connection; user and password taken from the URL by
// libcurl, the size from the server before the transfer. Any failure, a stall included,
// sends ERROR.
#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "common/download/CurlSetup.h"
#include "common/download/DownloadReporter.h"
#include "common/download/DownloadWorker.h"
#include "common/download/FtpUrl.h"
#include "common/download/PartialFile.h"
#include "platform/ThreadPriority.h"

namespace {

constexpr size_t kChunkSize = 8192;
// What one socket read may bring (as much as the curl tool takes); it is reported in chunks.
constexpr long kReceiveBufferSize = 100 * 1024;

class FtpTransfer final {
 public:
  FtpTransfer(const DownloadJob& job, DownloadReporter& reporter)
      : m_reporter(reporter), m_file(job.localPath), m_url(FtpUrlFromServerRoot(job.url)) {}

  // Whether the target's temporary file was held by another download.
  bool Busy() const { return m_file.Busy(); }

  // True when the whole file is at its target; size is its length.
  bool Run(int64_t& size) {
    const CurlHandle handle = NewCurlHandle();
    if (!handle) return false;
    CURL* h = handle.get();
    m_handle = h;
    curl_easy_setopt(h, CURLOPT_URL, m_url.c_str());
    // Any other scheme is an error; a transfer that stalls ends (ERROR).
    CurlTransferSetup setup;
    setup.schemes = CurlSchemes::Ftp;
    setup.stallLimit = false;  // watched in OnTransfer, to the millisecond
    ApplyCurlSetup(h, setup);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 1L);  // passive mode (EPSV, then PASV)
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &FtpTransfer::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &FtpTransfer::OnTransfer);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);

    CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK && !m_started && FtpPassiveRefused(h, rc)) {
      UseActiveFtp(h);
      m_stall = StallWatch();
      rc = curl_easy_perform(h);
    }
    if (rc == CURLE_OK && !m_started && !Begin()) return false;  // an empty file
    if (rc != CURLE_OK || m_failed) return false;
    if (m_total > 0 && m_file.Size() != m_total) return false;
    int64_t written = m_file.Size();
    if (!m_file.Commit()) return false;
    size = written;
    return true;
  }

 private:
  // The server found the file: take its size, announce the transfer, open the local file.
  bool Begin() {
    m_started = true;
    curl_off_t length = -1;
    curl_easy_getinfo(m_handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    m_total = length > 0 ? static_cast<int64_t>(length) : 0;
    m_reporter.StartDownload();
    if (!m_file.Open()) {
      m_failed = true;
      return false;
    }
    return true;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<FtpTransfer*>(self);
    size_t n = size * count;
    if (!t->m_started && !t->Begin()) return 0;
    if (!t->m_reporter.OwnerAlive()) return 0;
    if (!t->m_file.Write(data, n)) {
      t->m_failed = true;
      return 0;
    }
    // One PROGRESS per chunk of at most 8192 bytes, as the owner expects, whatever size
    // the socket read had.
    int64_t done = t->m_file.Size() - static_cast<int64_t>(n);
    for (size_t at = 0; at < n; at += kChunkSize) {
      if (!t->m_reporter.OwnerAlive()) return 0;
      done += static_cast<int64_t>(std::min(n - at, kChunkSize));
      t->m_reporter.Progress(done, t->m_total);
    }
    return n;
  }

  static int OnTransfer(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* t = static_cast<FtpTransfer*>(self);
    if (!t->m_reporter.OwnerAlive()) return 1;
    return t->m_stall.Stalled(received) ? 1 : 0;
  }

  DownloadReporter& m_reporter;
  PartialFile m_file;
  std::string m_url;
  CURL* m_handle = nullptr;
  StallWatch m_stall;
  bool m_started = false;
  bool m_failed = false;
  int64_t m_total = 0;
};

}  // namespace

void RunFtpDownload(const DownloadJob& job) {
  plat::SetCurrentThreadPriority(job.priority);
  DownloadReporter reporter(job);
  int64_t size = 0;
  bool done, busy;
  {
    FtpTransfer transfer(job, reporter);
    done = transfer.Run(size);
    busy = transfer.Busy();
  }
  if (done)
    reporter.DownFinished(size);
  else
    reporter.Error(busy ? DownloadFailure::Busy : DownloadFailure::Attempts);
}
