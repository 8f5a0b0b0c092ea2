#include "client/requests/COrvAppCtrl.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "client/base/CThreadLog.h"
#include "common/download/CurlPerform.h"
#include "common/download/DownloadStarter.h"
#include "platform/ProgramDir.h"

namespace {

constexpr long kConnectTimeoutMs = 3000;
constexpr int kConnectAttempts = 3;
constexpr int kConnectBackOffMs = 1000;
// WinInet-like overall limit, so a server that accepts and never answers cannot block forever.
constexpr long kTransferTimeoutMs = 60000;

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void EnsureCurlGlobal() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

// The environment's no_proxy list plus the loopback names, which never go through a proxy
// (as with the platform's preconfigured access).
std::string NoProxyList() {
  const char* env = std::getenv("no_proxy");
  if (!env || !*env) env = std::getenv("NO_PROXY");
  std::string list = env ? env : "";
  if (list == "*") return list;
  if (!list.empty()) list += ',';
  return list + "localhost,127.0.0.1,::1";
}

struct CurlDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};

// How often a blocked transfer looks at its abort flag.

// Sleeps ms unless abort is raised meanwhile; false when it was.
bool PauseUnlessAborted(int ms, const std::atomic<bool>& abort) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!abort) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        end - now, std::chrono::milliseconds(kAbortPollMs)));
  }
  return false;
}

}  // namespace

COrvAppCtrl::COrvAppCtrl() { Json::CharReaderBuilder::setDefaults(&readerFeatures); }

COrvAppCtrl::~COrvAppCtrl() = default;

void COrvAppCtrl::Run(const std::string& requestUrl, const std::string& requestFolder) {
  url = requestUrl;
  folder = requestFolder;
  responseText = HttpGetText(url, m_aborted);
  OnBeforeParse();

  Json::CharReaderBuilder builder;
  builder.settings_ = readerFeatures;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value parsed;
  std::string errors;
  const char* begin = responseText.data();
  if (responseText.empty() ||
      !reader->parse(begin, begin + responseText.size(), &parsed, &errors)) {
    return;  // nothing to read: the previous results stay
  }
  root = std::move(parsed);
  Parse();
  RequestIconDownloads();
}

std::string COrvAppCtrl::HttpGetText(const std::string& requestUrl) {
  static const std::atomic<bool> never{false};
  return HttpGetText(requestUrl, never);
}

std::string COrvAppCtrl::HttpGetText(const std::string& requestUrl,
                                     const std::atomic<bool>& abort) {
  EnsureCurlGlobal();
  std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
  if (!handle) return {};
  CURL* h = handle.get();
  std::string body;
  curl_easy_setopt(h, CURLOPT_URL, requestUrl.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "HttpClient");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kTransferTimeoutMs);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  // The system's proxy configuration (http_proxy, no_proxy) applies, except to loopback.
  curl_easy_setopt(h, CURLOPT_NOPROXY, NoProxyList().c_str());
  // A reload: never answer from a cache.
  struct curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);

  CURLcode rc = CURLE_OK;
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    body.clear();
    rc = PerformUnlessAborted(h, abort);
    const bool connectFailed =
        rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && [&] {
          curl_off_t connectTime = 0;
          curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
          return connectTime == 0;
        }());
    if (!connectFailed) break;
    if (attempt + 1 < kConnectAttempts && !PauseUnlessAborted(kConnectBackOffMs, abort)) {
      rc = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
  }
  curl_slist_free_all(headers);
  if (rc != CURLE_OK) return {};

  // The body arrives as lines joined without their line ends.
  std::string text;
  text.reserve(body.size());
  for (char c : body) {
    if (c != '\r' && c != '\n') text += c;
  }
  return text;
}

void COrvAppCtrl::RequestIconDownloads() const {
  IDownloadStarter* window = GetProcessDownloadWindow();
  if (!window) return;
  for (const OrvAppInfo& app : apps) {
    if (app.forceDownload || !plat::FileExists(app.iconPath)) {
      window->DownloadFile(app.img, app.iconPath, app.forceDownload ? 1 : 0);
    }
  }
}

void COrvAppCtrl::LogError(const std::string& text) { CThreadLog::Instance()->Write(text); }

std::string COrvAppCtrl::FindXhByName(const std::string& name) const {
  for (const OrvAppInfo& app : apps) {
    if (app.name == name) return app.xh;
  }
  return {};
}

std::string COrvAppCtrl::FindAppIdByName(const std::string& name) const {
  for (const OrvAppInfo& app : apps) {
    if (app.name == name) return std::to_string(app.appid);
  }
  return {};
}

std::string COrvAppCtrl::FindSetupPathByXh(const std::string& xh) const {
  for (const OrvAppInfo& app : apps) {
    if (app.xh == xh) return app.setupPath;
  }
  return {};
}

std::string COrvAppCtrl::FindDownUrlByXh(const std::string& xh) const {
  for (const OrvAppInfo& app : apps) {
    if (app.xh == xh) return app.downurl;
  }
  return {};
}

std::string COrvAppCtrl::FindCodeByXh(const std::string& xh) const {
  for (const OrvAppInfo& app : apps) {
    if (app.xh == xh) return app.code;
  }
  return {};
}
