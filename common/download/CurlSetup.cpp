#include "common/download/CurlSetup.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "client/base/OwnVersion.h"

namespace {

std::atomic<long long> g_stallMs{60000};

long long DefaultRetryPauseMs() {
  const char* env = std::getenv("ORVANTA_RETRY_PAUSE_MS");
  if (env && *env) {
    char* end = nullptr;
    const long long ms = std::strtoll(env, &end, 10);
    if (end && *end == '\0' && ms >= 0 && ms <= 60000) return ms;
  }
  return 1000;
}

// -1 until first read or set: the environment is read then, whatever the order in which
// static objects of the program are made.
std::atomic<long long> g_pauseMs{-1};

// The environment's no_proxy list plus the loopback names.
std::string CurlNoProxyList() {
  const char* env = std::getenv("no_proxy");
  if (!env || !*env) env = std::getenv("NO_PROXY");
  std::string list = env ? env : "";
  if (list == "*") return list;
  if (!list.empty()) list += ',';
  return list + "localhost,127.0.0.1,::1";
}

}  // namespace

CurlHandle NewCurlHandle() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlHandle(curl_easy_init());
}

void ApplyCurlSetup(CURL* h, const CurlTransferSetup& setup) {
  const char* schemes = setup.schemes == CurlSchemes::Ftp ? "ftp" : "http,https";
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, schemes);
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, schemes);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, setup.connectTimeoutMs);
  if (setup.totalTimeoutMs > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, setup.totalTimeoutMs);
  if (setup.schemes == CurlSchemes::Http && setup.maxRedirects > 0) {
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, setup.maxRedirects);
  }
  if (setup.stallLimit) {
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max<long long>(1, (g_stallMs.load() + 999) / 1000)));
  }
  const std::string noProxy = CurlNoProxyList();
  curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());  // libcurl copies the text
}

std::chrono::milliseconds StallLimit() { return std::chrono::milliseconds(g_stallMs.load()); }

void SetStallLimit(std::chrono::milliseconds limit) {
  g_stallMs = std::max<long long>(1, static_cast<long long>(limit.count()));
}

std::chrono::milliseconds RetryPauseUnit() {
  long long ms = g_pauseMs.load();
  if (ms < 0) {
    long long unset = -1;
    g_pauseMs.compare_exchange_strong(unset, DefaultRetryPauseMs());
    ms = g_pauseMs.load();
  }
  return std::chrono::milliseconds(ms);
}

void SetRetryPauseUnit(std::chrono::milliseconds unit) {
  g_pauseMs = std::max<long long>(0, static_cast<long long>(unit.count()));
}

const char* DownloadUserAgent() {
  // The program's version as the client reports it (its release stamp, else the build's).
  static const std::string agent = "Orvanta/" + GetOwnVersion();
  return agent.c_str();
}

bool FtpPassiveRefused(CURL* h, CURLcode rc) {
  switch (rc) {
    case CURLE_FTP_WEIRD_PASV_REPLY:  // PASV (and EPSV) refused
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:  // the data connection to the announced port failed
      return true;
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT: {
      // Only when the server answered on the control connection: the data port failed.
      long reply = 0;
      curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply);
      return reply >= 200 && reply < 400;
    }
    default:
      return false;
  }
}

void UseActiveFtp(CURL* h) {
  curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
  curl_easy_setopt(h, CURLOPT_FTP_USE_EPRT, 1L);
}

StallWatch::StallWatch() : m_limit(StallLimit()), m_since(std::chrono::steady_clock::now()) {}

bool StallWatch::Stalled(curl_off_t received) {
  const auto now = std::chrono::steady_clock::now();
  if (received != m_received) {
    m_received = received;
    m_since = now;
    return false;
  }
  return now - m_since >= m_limit;
}

std::string EncodeUrlBlanks(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}
