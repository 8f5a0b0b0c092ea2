#include "client/diagnosis/ProbeAddress.h"

#include <curl/curl.h>

#include <cctype>
#include <mutex>

#include "common/download/CurlSetup.h"

namespace {

// Only web addresses are probed or fetched (CurlSchemes::Http); a configured file:// or
// other scheme is refused.

// A probe needs only the response headers; a server that accepts the connection but never
// answers must not hold the diagnosis worker forever.
constexpr long kProbeTotalTimeoutMs = 30000;

size_t DiscardBody(char*, size_t, size_t, void*) {
  // Returning less than given ends the transfer: the response has already arrived.
  return 0;
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

class CurlHandle {
 public:
  CurlHandle() : m_curl(curl_easy_init()) {}
  ~CurlHandle() {
    if (m_curl) curl_easy_cleanup(m_curl);
  }
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;
  CURL* get() const { return m_curl; }

 private:
  CURL* m_curl;
};

// An address must name its scheme: a bare "host/path" (or the bare version number that an
// empty completeness prefix leaves) is not guessed into a web address of some host.
bool IsWebAddress(const std::string& url) {
  auto startsWith = [&url](const char* prefix) {
    const std::string p(prefix);
    if (url.size() < p.size()) return false;
    for (size_t i = 0; i < p.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(url[i])) != p[i]) return false;
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

int CheckAbort(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(abort)->load() ? 1 : 0;
}

void SetCommonOptions(CURL* curl, const std::string& url, const std::atomic<bool>* abort) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  if (abort) {
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckAbort);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort));
  }
  CurlTransferSetup setup;
  setup.followRedirects = false;
  setup.stallLimit = false;
  ApplyCurlSetup(curl, setup);
}

}  // namespace

bool ProbeAddress(const std::string& url, long connectTimeoutMs, const std::atomic<bool>* abort) {
  if (!IsWebAddress(url) || (abort && *abort)) return false;
  EnsureCurlGlobalInit();
  CurlHandle handle;
  CURL* curl = handle.get();
  if (!curl) return false;
  SetCommonOptions(curl, url, abort);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kProbeTotalTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &DiscardBody);
  CURLcode rc = curl_easy_perform(curl);
  if (rc != CURLE_OK && rc != CURLE_WRITE_ERROR) return false;
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  return status > 0;
}

HttpFetchResult HttpFetch(const std::string& url, const std::atomic<bool>* abort,
                          long stallSeconds) {
  HttpFetchResult result;
  if (!IsWebAddress(url) || (abort && *abort)) return result;
  EnsureCurlGlobalInit();
  CurlHandle handle;
  CURL* curl = handle.get();
  if (!curl) return result;
  SetCommonOptions(curl, url, abort);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  CURLcode rc = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  result.ok = rc == CURLE_OK && result.status > 0;
  if (!result.ok) result.body.clear();
  return result;
}
