#include "client/diagnosis/ProbeAddress.h"

#include <curl/curl.h>

#include <cctype>

#include "common/download/CurlPerform.h"
#include "common/download/CurlSetup.h"

namespace {

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

// Only web addresses are probed or fetched (CurlSchemes::Http, the setup's default); a
// configured file:// or other scheme is refused.
void SetCommonOptions(CURL* curl, const std::string& url, const CurlTransferSetup& setup) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  ApplyCurlSetup(curl, setup);
}

// The transfer, ended within a fraction of a second once abort (if any) is raised.
CURLcode Perform(CURL* curl, const std::atomic<bool>* abort) {
  static const std::atomic<bool> kNever{false};
  return PerformUnlessAborted(curl, abort ? *abort : kNever);
}

}  // namespace

bool ProbeAddress(const std::string& url, long connectTimeoutMs, const std::atomic<bool>* abort) {
  if (!IsWebAddress(url) || (abort && *abort)) return false;
  const CurlHandle handle = NewCurlHandle();
  CURL* curl = handle.get();
  if (!curl) return false;
  CurlTransferSetup setup;
  setup.connectTimeoutMs = connectTimeoutMs;
  setup.totalTimeoutMs = kProbeTotalTimeoutMs;
  setup.maxRedirects = 0;
  setup.stallLimit = false;
  SetCommonOptions(curl, url, setup);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &DiscardBody);
  CURLcode rc = Perform(curl, abort);
  if (rc != CURLE_OK && rc != CURLE_WRITE_ERROR) return false;
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  return status > 0;
}

HttpFetchResult HttpFetch(const std::string& url, const std::atomic<bool>* abort,
                          long stallSeconds) {
  HttpFetchResult result;
  if (!IsWebAddress(url) || (abort && *abort)) return result;
  const CurlHandle handle = NewCurlHandle();
  CURL* curl = handle.get();
  if (!curl) return result;
  CurlTransferSetup setup;
  setup.stallLimit = false;  // this fetch's own limit, in whole seconds
  SetCommonOptions(curl, url, setup);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  CURLcode rc = Perform(curl, abort);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  result.ok = rc == CURLE_OK && result.status > 0;
  if (!result.ok) result.body.clear();
  return result;
}
