// HTTP worker: up to five attempts, each a fresh connection. libcurl's results are mapped onto
// the attempt outcomes: a bad status, a refused CHECKTIME, a file error or a transport error
// fail the attempt; a body shorter than its Content-Length, or one that stalls, is an
// incomplete attempt; a URL libcurl cannot use at all ends the worker with one ERROR.
//
// An incomplete attempt keeps its temporary file when the server announced
// "Accept-Ranges: bytes", a length and a Last-Modified: the next attempt asks for the rest
// (a Range request) and continues the file when the answer is a 206 for exactly that range
// of the same size and time; any other answer starts the file over. PROGRESS never goes
// back: after a start-over it resumes once the file passes what was already shown.
#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "common/download/CurlSetup.h"
#include "common/download/DownloadReporter.h"
#include "common/download/DownloadStopFlag.h"
#include "common/download/DownloadWorker.h"
#include "common/download/PartialFile.h"
#include "platform/ThreadPriority.h"

namespace {

constexpr int kAttempts = 5;
constexpr size_t kChunkSize = 8192;
// What one socket read may bring (as much as the curl tool takes); it is reported in chunks.
constexpr long kReceiveBufferSize = 100 * 1024;

enum class AttemptResult {
  Finished,    // the file is at its target
  Failed,      // error raised during the attempt: retry unless the stop flag is set
  Incomplete,  // the body ended before its length: retry
  NoFile,      // the URL could not be opened at all: no further attempt, one ERROR
};

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
    --e;
  return std::string(s.substr(b, e - b));
}

bool HeaderIs(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  return strncasecmp(line.data(), name.data(), name.size()) == 0;
}

// The decimal value of the header text; 0 when absent or not a number.
int64_t ParseLength(const std::string& text) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data() || value < 0) return 0;
  return value;
}

// What an incomplete attempt leaves for the next one, and what PROGRESS has shown.
struct ResumeState {
  int64_t have = 0;  // bytes in the kept temporary file; 0: start over
  int64_t total = 0;
  std::string lastModified;
  int64_t shown = 0;  // the highest PROGRESS value sent
};

// "bytes FIRST-LAST/TOTAL" of a Content-Range header.
bool ParseContentRange(const std::string& text, int64_t& first, int64_t& total) {
  if (text.rfind("bytes ", 0) != 0) return false;
  const size_t dash = text.find('-'), slash = text.find('/');
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  first = ParseLength(text.substr(6, dash - 6));
  total = ParseLength(text.substr(slash + 1));
  return total > 0 && (first > 0 || text.compare(6, dash - 6, "0") == 0);
}

class HttpAttempt final {
 public:
  HttpAttempt(const DownloadJob& job, DownloadReporter& reporter, PartialFile& file,
              ResumeState& resume)
      : m_job(job), m_reporter(reporter), m_file(file), m_resume(resume) {}

  AttemptResult Run(int64_t& size) {
    const CurlHandle handle = NewCurlHandle();
    if (!handle) return AttemptResult::Failed;
    CURL* h = handle.get();
    // Blanks in a URL are sent percent-encoded; URLs come from the servers, so nothing but
    // HTTP(S) is fetched or followed. A URL libcurl still cannot use yields no file.
    const std::string url = EncodeUrlBlanks(m_job.url);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    CurlTransferSetup setup;
    setup.stallLimit = false;  // watched in OnTransfer, to the millisecond
    ApplyCurlSetup(h, setup);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    std::string range;
    if (m_resume.have > 0 && m_file.IsOpen()) {
      range = std::to_string(m_resume.have) + "-";
      curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
    }
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpAttempt::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpAttempt::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    // The transfer callback ends a transfer whose owner is gone, even while nothing arrives.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &HttpAttempt::OnTransfer);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    m_handle = h;

    CURLcode rc = curl_easy_perform(h);
    DecideAfter(rc);
    if (m_needProxyCredentials) {
      // 407: ask the owner for credentials and send the request again with them.
      std::string user, password;
      m_reporter.ProxyValidate(user, password);
      curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, user.c_str());
      curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, password.c_str());
      m_proxyRetried = true;
      m_needProxyCredentials = false;
      m_decided = false;
      m_headers = {};
      m_stall = StallWatch();  // the time the owner took to answer is no stall
      rc = curl_easy_perform(h);
      DecideAfter(rc);
    }
    return Finish(rc, size);
  }

 private:
  struct Headers {
    std::string lastModified;
    std::string contentLength;
    std::string contentRange;
    bool acceptRanges = false;
  };

  AttemptResult Finish(CURLcode rc, int64_t& size) {
    if (rc == CURLE_UNSUPPORTED_PROTOCOL || rc == CURLE_URL_MALFORMAT) {
      m_file.Discard();
      return AttemptResult::NoFile;
    }
    if (m_failed || m_needProxyCredentials || !m_accepted) {
      // No answer at all: the kept file stays for the next attempt.
      if (!m_accepted && m_resume.have > 0 && rc != CURLE_OK && !m_decided)
        return AttemptResult::Failed;
      ForgetResume();
      return AttemptResult::Failed;
    }
    if (m_length > 0) {
      if (rc != CURLE_OK || m_file.Size() != m_length) {
        // A body that stopped early or stalled (or whose owner went away) is incomplete;
        // anything else the transport raised is a failure.
        const bool incomplete = rc == CURLE_OK || rc == CURLE_PARTIAL_FILE ||
                                rc == CURLE_ABORTED_BY_CALLBACK || rc == CURLE_WRITE_ERROR ||
                                rc == CURLE_OPERATION_TIMEDOUT || rc == CURLE_RECV_ERROR;
        if (incomplete && m_rangeable && m_file.Size() > 0 && m_file.Size() < m_length) {
          m_resume.have = m_file.Size();
          m_resume.total = m_length;
          m_resume.lastModified = m_headers.lastModified;
        } else {
          ForgetResume();
        }
        return incomplete ? AttemptResult::Incomplete : AttemptResult::Failed;
      }
    } else if (rc != CURLE_OK) {
      ForgetResume();
      return AttemptResult::Failed;
    }
    int64_t written = m_file.Size();
    m_resume.have = 0;
    if (!m_file.Commit()) return AttemptResult::Failed;
    size = written;
    return AttemptResult::Finished;
  }

  void ForgetResume() {
    m_file.Discard();
    m_resume.have = 0;
  }

  // After a transfer whose body never reached OnBody: an answer whose headers arrived is
  // judged all the same (an empty body, or one cut off before its first byte).
  void DecideAfter(CURLcode rc) {
    if (m_decided) return;
    if (rc != CURLE_OK) {
      // A proxy that refuses a tunnel (https) without credentials fails the transfer itself.
      long connectCode = 0;
      curl_easy_getinfo(m_handle, CURLINFO_HTTP_CONNECTCODE, &connectCode);
      if (connectCode == 407 && !m_proxyRetried) {
        m_needProxyCredentials = true;
        return;
      }
      if (!m_headersComplete) return;
    }
    Decide();
  }

  // Called once the final answer's headers are in: status check, CHECKTIME, STARTDOWNLOAD.
  // False when the body must not be read.
  bool Decide() {
    m_decided = true;
    long status = 0;
    curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &status);
    if (status == 407 && !m_proxyRetried) {
      m_needProxyCredentials = true;
      return false;
    }
    const bool resuming = m_resume.have > 0 && m_file.IsOpen();
    int64_t first = 0, total = 0;
    const bool continues =
        resuming && status == 206 && ParseContentRange(m_headers.contentRange, first, total) &&
        first == m_resume.have && total == m_resume.total &&
        m_headers.lastModified == m_resume.lastModified && !m_resume.lastModified.empty();
    if (status != 200 && !continues) {
      m_failed = true;  // a 206 of another range or version: the next attempt starts over
      return false;
    }
    if (m_reporter.CheckTime(m_headers.lastModified) == 0) {
      m_failed = true;
      return false;
    }
    m_length = continues ? total : ParseLength(m_headers.contentLength);
    m_rangeable = m_headers.acceptRanges && m_length > 0 && !m_headers.lastModified.empty();
    m_reporter.StartDownload();
    if (continues) {
      m_resume.have = 0;  // from here on the file itself says how much there is
    } else if (resuming ? !m_file.Rewind() : !m_file.Open()) {
      m_failed = true;
      return false;
    }
    m_accepted = true;
    return true;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* a = static_cast<HttpAttempt*>(self);
    std::string_view line(data, size * count);
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
      a->m_headers = {};  // a new answer (redirect, proxy): only the last one counts
      a->m_headersComplete = false;
    } else if (line == "\r\n" || line == "\n")
      a->m_headersComplete = true;
    else if (HeaderIs(line, "Last-Modified"))
      a->m_headers.lastModified = Trim(line.substr(14));
    else if (HeaderIs(line, "Content-Length"))
      a->m_headers.contentLength = Trim(line.substr(15));
    else if (HeaderIs(line, "Content-Range"))
      a->m_headers.contentRange = Trim(line.substr(14));
    else if (HeaderIs(line, "Accept-Ranges"))
      a->m_headers.acceptRanges = strcasecmp(Trim(line.substr(14)).c_str(), "bytes") == 0;
    return size * count;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* a = static_cast<HttpAttempt*>(self);
    size_t n = size * count;
    if (!a->m_decided && !a->Decide() && !a->m_needProxyCredentials) return 0;
    if (a->m_needProxyCredentials) return n;  // the 407 page is not kept
    if (!a->m_reporter.OwnerAlive()) return 0;
    if (!a->m_file.Write(data, n)) {
      a->m_failed = true;
      return 0;
    }
    // One PROGRESS per chunk of at most 8192 bytes, as the owner expects, whatever size
    // the socket read had.
    int64_t done = a->m_file.Size() - static_cast<int64_t>(n);
    for (size_t at = 0; at < n; at += kChunkSize) {
      if (!a->m_reporter.OwnerAlive()) return 0;
      done += static_cast<int64_t>(std::min(n - at, kChunkSize));
      if (done <= a->m_resume.shown) continue;  // shown before a start-over
      a->m_resume.shown = done;
      a->m_reporter.Progress(done, a->m_length);
    }
    return n;
  }

  // Ends a transfer whose owner is gone, or that received nothing for the stall limit
  // (libcurl calls this about once a second even while nothing arrives).
  static int OnTransfer(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* a = static_cast<HttpAttempt*>(self);
    if (!a->m_reporter.OwnerAlive()) return 1;
    return a->m_stall.Stalled(received) ? 1 : 0;
  }

  const DownloadJob& m_job;
  DownloadReporter& m_reporter;
  PartialFile& m_file;
  ResumeState& m_resume;
  StallWatch m_stall;
  bool m_rangeable = false;  // this answer may be continued by a later attempt
  CURL* m_handle = nullptr;
  Headers m_headers;
  bool m_headersComplete = false;  // the blank line after the current answer's headers
  bool m_decided = false;
  bool m_accepted = false;
  bool m_failed = false;
  bool m_needProxyCredentials = false;
  bool m_proxyRetried = false;
  int64_t m_length = 0;
};

}  // namespace

void RunHttpDownload(const DownloadJob& job) {
  plat::SetCurrentThreadPriority(job.priority);
  DownloadReporter reporter(job);
  PartialFile file(job.localPath);
  ResumeState resume;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Every message to an owner that is gone would be skipped: no use connecting again.
    if (!reporter.OwnerAlive()) return;
    int64_t size = 0;
    HttpAttempt transfer(job, reporter, file, resume);
    switch (transfer.Run(size)) {
      case AttemptResult::Finished:
        reporter.DownFinished(size);
        return;
      case AttemptResult::NoFile:
        reporter.Error();  // never silently: the owner would wait for ever
        return;
      case AttemptResult::Incomplete:
        break;
      case AttemptResult::Failed:
        if (DownloadStopFlag.load()) return;
        break;
    }
  }
  reporter.Error();
}
