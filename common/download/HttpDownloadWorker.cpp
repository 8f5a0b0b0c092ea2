// HTTP worker: up to five attempts, each a fresh connection, 1, 2, 4 and 8 pause units apart
// (a Retry-After of the failed answer lengthens the pause, up to 60 units; a pause that would
// take all pauses of one download past 120 units ends it instead). libcurl's results are mapped
// onto the attempt outcomes: a bad status, a refused CHECKTIME, a file error or a transport error
// fail the attempt; a body shorter than its Content-Length, or one that stalls, is an incomplete
// attempt; a URL libcurl cannot use at all ends the worker with one ERROR.
//
// An incomplete attempt keeps its temporary file when the server announced
// "Accept-Ranges: bytes", a length and a validator (ETag or Last-Modified): the next attempt
// asks for the rest (Range, with If-Range) and continues the file when the answer is a 206
// for exactly that range of the same file; a 200 starts the file over, any other answer
// fails the attempt and the next one starts over. The validators are kept beside the
// temporary file, so a download whose process ended continues in the next process. PROGRESS
// never goes back: after a start-over it resumes once the file passes what was already shown.
//
// Encoded answers (Content-Encoding) are decoded by libcurl; their length is unknown (the
// header counts encoded bytes), so PROGRESS reports the decoded bytes with a total of 0, and
// they are never continued. A target whose temporary file another download holds is waited
// for while that download makes progress; then this one goes on, or ends with ERROR (Busy).
#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "common/download/CurlPerform.h"
#include "common/download/CurlSetup.h"
#include "common/download/DownloadReporter.h"
#include "common/download/DownloadStopFlag.h"
#include "common/download/DownloadWorker.h"
#include "common/download/PartialFile.h"
#include "platform/AsciiCase.h"
#include "platform/Files.h"
#include "platform/ThreadPriority.h"

namespace {

constexpr int kAttempts = 5;
constexpr size_t kChunkSize = 8192;
// What one socket read may bring (as much as the curl tool takes); it is reported in chunks.
constexpr long kReceiveBufferSize = 100 * 1024;
// Retry pauses, in pause units: the longest Retry-After honoured, and all pauses together.
constexpr int kMaxRetryAfter = 60;
constexpr int kMaxPauseTotal = 120;
// The longest wait for another download of the same target.
constexpr auto kBusyWaitLimit = std::chrono::minutes(10);

enum class AttemptResult {
  Finished,    // the file is at its target
  Failed,      // error raised during the attempt: retry unless the stop flag is set
  Incomplete,  // the body ended before its length: retry
  NoFile,      // the URL could not be opened at all: no further attempt, one ERROR
  Busy,        // another download holds the temporary file: wait for it, not an attempt
};

// What the worker learns of an attempt's answer for its retry decision.
struct AttemptInfo {
  long status = 0;      // the final answer's status; 0 when none arrived
  int retryAfter = -1;  // seconds the server asked to wait; -1 when it did not say
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
  return plat::AsciiIEquals(line.substr(0, name.size()), name);
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
  std::string etag;
  std::string lastModified;
  int64_t shown = 0;  // the highest PROGRESS value sent
};

// An ETag that If-Range may carry: a strong one (a weak one never matches there).
bool StrongEtag(const std::string& etag) { return !etag.empty() && etag.rfind("W/", 0) != 0; }

// Retry-After: seconds, or an HTTP date; -1 when neither.
int ParseRetryAfter(const std::string& text) {
  if (text.empty()) return -1;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    const int64_t seconds = ParseLength(text.substr(0, 9));
    return static_cast<int>(seconds);
  }
  const time_t when = curl_getdate(text.c_str(), nullptr);
  if (when < 0) return -1;
  const time_t now = std::time(nullptr);
  return when > now ? static_cast<int>(std::min<time_t>(when - now, 86400)) : 0;
}

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
              ResumeState& resume, AttemptInfo& info)
      : m_job(job), m_reporter(reporter), m_file(file), m_resume(resume), m_info(info) {}

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
    curl_easy_setopt(h, CURLOPT_USERAGENT, DownloadUserAgent());
    // Whatever the server encodes is decoded (all encodings libcurl supports are offered).
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    std::string range;
    struct SlistDeleter {
      void operator()(curl_slist* l) const { curl_slist_free_all(l); }
    };
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if (m_resume.have > 0 && m_file.IsOpen()) {
      range = std::to_string(m_resume.have) + "-";
      curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
      // The rest only if the file is still the one begun; otherwise the whole file (200).
      const std::string ifRange =
          "If-Range: " + (StrongEtag(m_resume.etag) ? m_resume.etag : m_resume.lastModified);
      headers.reset(curl_slist_append(nullptr, ifRange.c_str()));
      curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
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
    std::string etag;
    std::string contentLength;
    std::string contentRange;
    std::string contentEncoding;
    std::string retryAfter;
    bool acceptRanges = false;
  };

  AttemptResult Finish(CURLcode rc, int64_t& size) {
    if (rc == CURLE_UNSUPPORTED_PROTOCOL || rc == CURLE_URL_MALFORMAT) {
      m_file.Discard();
      return AttemptResult::NoFile;
    }
    if (m_busy) return AttemptResult::Busy;
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
          m_resume.etag = m_headers.etag;
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
    m_info.status = status;
    m_info.retryAfter = ParseRetryAfter(m_headers.retryAfter);
    const bool resuming = m_resume.have > 0 && m_file.IsOpen();
    int64_t first = 0, total = 0;
    const bool continues = resuming && status == 206 &&
                           ParseContentRange(m_headers.contentRange, first, total) &&
                           first == m_resume.have && total == m_resume.total && SameFile();
    if (status != 200 && !continues) {
      m_failed = true;  // a 206 of another range or version: the next attempt starts over
      return false;
    }
    if (!resuming && m_file.HeldElsewhere()) {
      m_busy = m_failed = true;  // told before CHECKTIME: the attempt is made again later
      return false;
    }
    if (m_reporter.CheckTime(m_headers.lastModified) == 0) {
      m_failed = true;
      return false;
    }
    // The length of an encoded answer counts encoded bytes: the decoded length is unknown.
    const bool encoded = !m_headers.contentEncoding.empty() &&
                         !plat::AsciiIEquals(m_headers.contentEncoding, "identity");
    m_length = continues ? total : encoded ? 0 : ParseLength(m_headers.contentLength);
    // A 206 that continues the file may itself leave out Accept-Ranges.
    m_rangeable = m_length > 0 && !encoded &&
                  (continues || (m_headers.acceptRanges &&
                                 (StrongEtag(m_headers.etag) || !m_headers.lastModified.empty())));
    m_reporter.StartDownload();
    if (continues) {
      m_resume.have = 0;  // from here on the file itself says how much there is
    } else if (resuming ? !m_file.Rewind() : !m_file.Open()) {
      m_busy = !resuming && m_file.Busy();
      m_failed = true;
      return false;
    } else if (m_rangeable) {
      // Beside the file, so that a later process can continue it.
      m_file.SaveValidators(
          {m_length, StrongEtag(m_headers.etag) ? m_headers.etag : "", m_headers.lastModified});
    }
    m_accepted = true;
    return true;
  }

  // The answer's validators are those of the file begun.
  bool SameFile() const {
    if (m_resume.etag.empty() && m_resume.lastModified.empty()) return false;
    if (StrongEtag(m_resume.etag) && m_headers.etag != m_resume.etag) return false;
    return m_resume.lastModified.empty() || m_headers.lastModified == m_resume.lastModified;
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
    else if (HeaderIs(line, "ETag"))
      a->m_headers.etag = Trim(line.substr(5));
    else if (HeaderIs(line, "Content-Encoding"))
      a->m_headers.contentEncoding = Trim(line.substr(17));
    else if (HeaderIs(line, "Retry-After"))
      a->m_headers.retryAfter = Trim(line.substr(12));
    else if (HeaderIs(line, "Content-Length"))
      a->m_headers.contentLength = Trim(line.substr(15));
    else if (HeaderIs(line, "Content-Range"))
      a->m_headers.contentRange = Trim(line.substr(14));
    else if (HeaderIs(line, "Accept-Ranges"))
      a->m_headers.acceptRanges = plat::AsciiIEquals(Trim(line.substr(14)), "bytes");
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
  AttemptInfo& m_info;
  StallWatch m_stall;
  bool m_rangeable = false;  // this answer may be continued by a later attempt
  CURL* m_handle = nullptr;
  Headers m_headers;
  bool m_headersComplete = false;  // the blank line after the current answer's headers
  bool m_decided = false;
  bool m_accepted = false;
  bool m_failed = false;
  bool m_busy = false;
  bool m_needProxyCredentials = false;
  bool m_proxyRetried = false;
  int64_t m_length = 0;
};

enum class BusyWait { Free, StillHeld, OwnerGone };

// Waits while another download holds the target's temporary file: as long as that file
// grows (it stops growing for the stall limit: that download is stuck) and until the
// deadline.
BusyWait WaitWhileHeld(const PartialFile& file, const std::string& temp,
                       const DownloadReporter& reporter,
                       std::chrono::steady_clock::time_point deadline) {
  const auto poll = std::chrono::milliseconds(20);
  const auto stall = StallLimit();
  int64_t lastSize = -1;
  auto grewAt = std::chrono::steady_clock::now();
  while (file.HeldElsewhere()) {
    if (!reporter.OwnerAlive()) return BusyWait::OwnerGone;
    const auto now = std::chrono::steady_clock::now();
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(plat::FsPath(temp), ec);
    const int64_t size = ec ? 0 : static_cast<int64_t>(bytes);
    if (size != lastSize) {
      lastSize = size;
      grewAt = now;
    }
    if (now - grewAt >= stall || now >= deadline) return BusyWait::StillHeld;
    std::this_thread::sleep_for(poll);
  }
  return BusyWait::Free;
}

// The pause before attempt number next (1-based count of attempts made so far), in units.
int PauseUnits(int made, const AttemptInfo& info) {
  int units = 1 << std::min(made - 1, 3);  // 1, 2, 4, 8
  if (info.retryAfter > 0) units = std::max(units, std::min(info.retryAfter, kMaxRetryAfter));
  return units;
}

// Sleeps for the pause, cut short by the stop flag; false when the owner went away.
bool Pause(std::chrono::milliseconds pause, const DownloadReporter& reporter) {
  const auto until = std::chrono::steady_clock::now() + pause;
  while (std::chrono::steady_clock::now() < until) {
    if (!reporter.OwnerAlive()) return false;
    if (DownloadStopFlag.load()) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(kAbortPollMs), until - std::chrono::steady_clock::now()));
  }
  return reporter.OwnerAlive();
}

}  // namespace

void RunHttpDownload(const DownloadJob& job) {
  plat::SetCurrentThreadPriority(job.priority);
  DownloadReporter reporter(job);
  PartialFile file(job.localPath);
  ResumeState resume;
  // A file another download of this target left (a process that ended mid-transfer).
  PartialValidators left;
  if (file.Continue(left)) {
    resume.have = file.Size();
    resume.total = left.total;
    resume.etag = left.etag;
    resume.lastModified = left.lastModified;
  }
  // Ends the worker: a file that a later download can continue stays.
  auto leave = [&] {
    if (resume.have > 0 && file.IsOpen())
      file.Keep();
    else
      file.Discard();
  };
  const std::string temp = job.localPath + kPartialFileSuffix;
  const auto busyDeadline = std::chrono::steady_clock::now() + kBusyWaitLimit;
  int pausedUnits = 0;
  long lastStatus = 0;
  for (int attempt = 0; attempt < kAttempts;) {
    // Every message to an owner that is gone would be skipped: no use connecting again.
    if (!reporter.OwnerAlive()) return leave();
    int64_t size = 0;
    AttemptInfo info;
    HttpAttempt transfer(job, reporter, file, resume, info);
    const AttemptResult result = transfer.Run(size);
    if (info.status != 0) lastStatus = info.status;
    switch (result) {
      case AttemptResult::Finished:
        reporter.DownFinished(size);
        return;
      case AttemptResult::NoFile:
        reporter.Error(DownloadFailure::NoFile);  // never silently: the owner would wait for ever
        return;
      case AttemptResult::Busy:
        switch (WaitWhileHeld(file, temp, reporter, busyDeadline)) {
          case BusyWait::Free:
            continue;  // the other download ended: this attempt is made again
          case BusyWait::OwnerGone:
            return leave();
          case BusyWait::StillHeld:
            reporter.Error(DownloadFailure::Busy, lastStatus);
            return;
        }
        break;
      case AttemptResult::Incomplete:
        break;
      case AttemptResult::Failed:
        if (DownloadStopFlag.load()) return leave();
        break;
    }
    if (++attempt >= kAttempts) break;
    // A server that keeps asking for long waits ends the download rather than prolong it.
    const int units = PauseUnits(attempt, info);
    if (pausedUnits + units > kMaxPauseTotal) break;
    pausedUnits += units;
    if (!Pause(RetryPauseUnit() * units, reporter)) return leave();
  }
  leave();
  reporter.Error(DownloadFailure::Attempts, lastStatus);
}
