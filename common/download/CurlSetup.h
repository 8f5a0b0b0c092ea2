#pragma once
// The one libcurl setup of every transfer (requests, probes, the update check, both
// download workers): global initialisation, the proxy rule, time-outs and the stall limit.
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>

// Which URL schemes a transfer may use (also after a redirect).
enum class CurlSchemes { Http, Ftp };

struct CurlTransferSetup {
  CurlSchemes schemes = CurlSchemes::Http;
  long connectTimeoutMs = 30000;
  long totalTimeoutMs = 0;  // 0: no overall limit (downloads of any size)
  long maxRedirects = 10;   // HTTP only; 0: a redirect is the answer
  bool stallLimit = true;   // end a transfer that receives nothing for StallLimit()
};

struct CurlHandleDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;
// A new easy handle (libcurl is initialised once per process first, from whichever thread
// comes first); null when libcurl cannot make one.
CurlHandle NewCurlHandle();

// Applies the setup to h: schemes, NOSIGNAL, time-outs, stall limit and the proxy rule:
// the system's proxy (http_proxy, no_proxy) applies, but loopback never goes through one.
void ApplyCurlSetup(CURL* h, const CurlTransferSetup& setup);

// A transfer that receives no byte for this long ends (60 s; tests shorten it). The
// download workers check it in their transfer callback (StallWatch); the other transfers
// through libcurl's low-speed limit, in whole seconds (at least 1 s).
std::chrono::milliseconds StallLimit();
void SetStallLimit(std::chrono::milliseconds limit);

// The pause unit of the download workers' retries: HTTP attempts are 1, 2, 4 and 8 units
// apart, a Retry-After of N seconds waits N units (1 s; ORVANTA_RETRY_PAUSE_MS or tests
// shorten it).
std::chrono::milliseconds RetryPauseUnit();
void SetRetryPauseUnit(std::chrono::milliseconds unit);

// "Orvanta/<version>": the agent name of every file download (installers, icons, images).
const char* DownloadUserAgent();

// FTP: whether a failed transfer failed because the server refused or could not make the
// passive data connection (the control connection worked); such a transfer is tried once
// more in active mode.
bool FtpPassiveRefused(CURL* h, CURLcode rc);
// Switches h to active mode: the server connects back to the address of the control
// connection.
void UseActiveFtp(CURL* h);

// Tells from a transfer callback's received-bytes count whether the transfer has stalled.
class StallWatch {
 public:
  StallWatch();
  // True when received has not grown for StallLimit().
  bool Stalled(curl_off_t received);

 private:
  std::chrono::milliseconds m_limit;
  curl_off_t m_received = -1;
  std::chrono::steady_clock::time_point m_since;
};

// The URL with blanks percent-encoded (as the platform's HTTP layer sends them); libcurl
// refuses a URL with blanks.
std::string EncodeUrlBlanks(const std::string& url);
