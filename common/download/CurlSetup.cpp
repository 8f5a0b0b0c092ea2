#include "common/download/CurlSetup.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

std::atomic<long long> g_stallMs{60000};

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
