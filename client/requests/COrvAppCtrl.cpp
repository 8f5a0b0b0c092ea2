#include "client/requests/COrvAppCtrl.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <thread>

#include "client/base/CThreadLog.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/RequestText.h"
#include "common/download/CurlPerform.h"
#include "common/download/CurlSetup.h"
#include "platform/ProgramDir.h"

namespace {

constexpr long kConnectTimeoutMs = 3000;
constexpr int kConnectAttempts = 3;
constexpr int kConnectBackOffMs = 1000;
// WinInet-like overall limit, so a server that accepts and never answers cannot block forever.
constexpr long kTransferTimeoutMs = 60000;

struct Body {
  std::string bytes;
  size_t maxBytes = 0;
  bool tooLarge = false;
};

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  const size_t n = size * count;
  if (body->bytes.size() + n > body->maxBytes) {
    body->tooLarge = true;
    return 0;  // ends the transfer
  }
  body->bytes.append(data, n);
  return n;
}

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

RequestResult COrvAppCtrl::Run(const std::string& requestUrl, const std::string& requestFolder) {
  url = requestUrl;
  folder = requestFolder;
  TextAnswer answer = FetchText(url, *m_abort);
  responseText = std::move(answer.text);
  OnBeforeParse();
  if (!answer.result) return lastResult = answer.result;

  lastResult = ReadAnswer(responseText);
  if (lastResult) RequestIconDownloads();
  return lastResult;
}

RequestResult COrvAppCtrl::ReadAnswer(std::string_view text) {
  m_unusable.clear();
  bool streamed = false;
  try {
    streamed = ReadStreamed(text);
  } catch (const std::exception&) {
    // The whole parse below meets the same value and reports it.
    streamed = false;
  }
  if (!streamed) {
    m_unusable.clear();
    Json::Value parsed;
    RequestResult parsedResult = orvreq::ParseJsonAnswer(url, text, parsed, &readerFeatures);
    if (!parsedResult) return parsedResult;  // nothing to read: the previous results stay
    root = std::move(parsed);
    try {
      Parse();
    } catch (const std::exception& e) {
      // A value the JSON library refuses to convert: the answer is unusable, not fatal.
      MarkUnusable(std::string("bad value: ") + e.what());
    }
  }
  if (!m_unusable.empty()) return RequestResult::Unusable(url, m_unusable);
  // Every answer is a JSON object; Parse above has given an array, a string or a number its
  // described (empty) reading, and the caller learns that the answer was unusable.
  if (!root.isObject())
    return RequestResult::Unusable(
        url, std::string("not a JSON object but ") + orvreq::JsonTypeName(root));
  return RequestResult::Success();
}

std::string COrvAppCtrl::HttpGetText(const std::string& requestUrl) {
  static const std::atomic<bool> never{false};
  return HttpGetText(requestUrl, never);
}

std::string COrvAppCtrl::HttpGetText(const std::string& requestUrl,
                                     const std::atomic<bool>& abort) {
  return FetchText(requestUrl, abort).text;
}

COrvAppCtrl::TextAnswer COrvAppCtrl::FetchText(const std::string& requestUrl,
                                               const std::atomic<bool>& abort, size_t maxBytes) {
  const CurlHandle handle = NewCurlHandle();
  if (!handle) return {RequestResult::NoAnswer(requestUrl, "no transfer handle"), {}};
  CURL* h = handle.get();
  Body body;
  body.maxBytes = maxBytes;
  const std::string encoded = EncodeUrlBlanks(requestUrl);
  curl_easy_setopt(h, CURLOPT_URL, encoded.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "HttpClient");
  CurlTransferSetup setup;
  setup.connectTimeoutMs = kConnectTimeoutMs;
  setup.totalTimeoutMs = kTransferTimeoutMs;
  setup.maxRedirects = 5;
  ApplyCurlSetup(h, setup);
  // A reload: never answer from a cache.
  struct curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);

  CURLcode rc = CURLE_OK;
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    body.bytes.clear();
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
  if (body.tooLarge)
    return {
        RequestResult::Unusable(requestUrl, "larger than " + std::to_string(maxBytes) + " bytes"),
        {}};
  if (rc != CURLE_OK) return {RequestResult::NoAnswer(requestUrl, curl_easy_strerror(rc)), {}};

  // The body arrives as lines joined without their line ends (dropped in place: a large
  // answer is not held twice).
  std::string& text = body.bytes;
  text.erase(
      std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
      text.end());
  return {RequestResult::Success(), std::move(text)};
}

void COrvAppCtrl::RequestIconDownloads() const {
  if (!HasProcessImageFetcher()) return;
  for (const OrvAppInfo& app : apps) {
    // Banner pictures (forced) are fetched anew on every run; icons while they are missing.
    if (app.forceDownload || !plat::FileExists(app.iconPath)) {
      StartProcessImageFetch(app.img, app.iconPath,
                             app.forceDownload ? ImageKind::Banner : ImageKind::Icon);
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
