#include "client/requests/ImageFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "client/requests/RequestText.h"
#include "common/download/CurlPerform.h"
#include "common/download/CurlSetup.h"
#include "platform/AsciiCase.h"
#include "platform/ProgramDir.h"

namespace {

constexpr size_t kMaxIconBytes = 1024 * 1024;
constexpr size_t kMaxBannerBytes = 8 * 1024 * 1024;
constexpr long kConnectTimeoutMs = 10000;
constexpr long kTransferTimeoutMs = 60000;
constexpr size_t kMaxExtension = 8;

struct Transfer {
  CURL* handle = nullptr;
  size_t cap = 0;
  std::string bytes;
  bool tooLarge = false;
  bool badStatus = false;
};

long StatusOf(CURL* h) {
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

// A Content-Length over the cap ends the transfer before any body byte.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  constexpr std::string_view kLength = "content-length:";
  if (n > kLength.size() && plat::AsciiIEquals(std::string_view(data, kLength.size()), kLength)) {
    const std::string value(data + kLength.size(), n - kLength.size());
    const unsigned long long announced = std::strtoull(value.c_str(), nullptr, 10);
    if (announced > t->cap && StatusOf(t->handle) == 200) {
      t->tooLarge = true;
      return 0;
    }
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (StatusOf(t->handle) != 200) {
    t->badStatus = true;  // an error page is never read
    return 0;
  }
  if (t->bytes.size() + n > t->cap) {
    t->tooLarge = true;
    return 0;
  }
  t->bytes.append(data, n);
  return n;
}

bool WriteWhole(const std::string& target, const std::string& bytes) {
  if (!plat::MakeParentDirectories(target)) return false;
  const std::string temp = target + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

}  // namespace

size_t ImageByteCap(ImageKind kind) {
  return kind == ImageKind::Banner ? kMaxBannerBytes : kMaxIconBytes;
}

ImageFormat SniffImageFormat(std::string_view b) {
  auto starts = [&](std::string_view magic) { return b.substr(0, magic.size()) == magic; };
  if (starts(std::string_view("\x89PNG\r\n\x1a\n", 8))) return ImageFormat::Png;
  if (starts("\xFF\xD8\xFF")) return ImageFormat::Jpeg;
  if (starts("GIF87a") || starts("GIF89a")) return ImageFormat::Gif;
  // "BM" alone begins plenty of texts: the size of the header that follows must be one of
  // the known ones too.
  if (starts("BM") && b.size() >= 18) {
    const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<uint8_t>(b[i])); };
    const unsigned header = byte(14) | byte(15) << 8 | byte(16) << 16 | byte(17) << 24;
    for (unsigned known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
      if (header == known) return ImageFormat::Bmp;
  }
  return ImageFormat::None;
}

std::string ImageCacheName(const std::string& url) {
  std::string name = orvreq::HashHex(url);
  const std::string last = orvreq::AfterLast(orvreq::AfterLast("/" + url, '/'), '.');
  if (!last.empty() && last.size() <= kMaxExtension &&
      std::all_of(last.begin(), last.end(), [](unsigned char c) { return std::isalnum(c); })) {
    name += '.';
    for (unsigned char c : last) name += static_cast<char>(std::tolower(c));
  }
  return name;
}

RequestResult FetchImageFile(const std::string& url, const std::string& targetPath, ImageKind kind,
                             const AbortFlag& abort) {
  const CurlHandle handle = NewCurlHandle();
  if (!handle) return RequestResult::NoAnswer(url, "no transfer handle");
  CURL* h = handle.get();
  Transfer transfer;
  transfer.handle = h;
  transfer.cap = ImageByteCap(kind);
  const std::string encoded = EncodeUrlBlanks(url);
  curl_easy_setopt(h, CURLOPT_URL, encoded.c_str());
  CurlTransferSetup setup;
  setup.connectTimeoutMs = kConnectTimeoutMs;
  setup.totalTimeoutMs = kTransferTimeoutMs;
  setup.maxRedirects = 5;
  ApplyCurlSetup(h, setup);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  const CURLcode rc = PerformUnlessAborted(h, abort);
  if (transfer.tooLarge)
    return RequestResult::Unusable(url, "larger than " + std::to_string(transfer.cap) + " bytes");
  const long status = StatusOf(h);
  if (transfer.badStatus || (rc == CURLE_OK && status != 200))
    return RequestResult::NoAnswer(url, "status " + std::to_string(status));
  if (rc != CURLE_OK) return RequestResult::NoAnswer(url, curl_easy_strerror(rc));
  if (SniffImageFormat(transfer.bytes) == ImageFormat::None)
    return RequestResult::Unusable(url, "not a PNG, JPEG, GIF or BMP image");
  if (!WriteWhole(targetPath, transfer.bytes))
    return RequestResult::Unusable(url, "cannot write " + targetPath);
  return RequestResult::Success();
}

// ---- ImageFetcher ----

ImageFetcher::ImageFetcher(Arrived arrived, size_t threads)
    : m_arrived(std::move(arrived)), m_threadCount(threads == 0 ? 1 : threads) {}

ImageFetcher::~ImageFetcher() {
  {
    std::lock_guard lock(m_mutex);
    m_queue.clear();
    m_abort = true;
  }
  m_queued.notify_all();
  for (std::thread& t : m_threads) t.join();
}

bool ImageFetcher::Fetch(const std::string& url, const std::string& targetPath, ImageKind kind) {
  if (url.empty() || targetPath.empty()) return false;
  {
    std::lock_guard lock(m_mutex);
    if (m_abort || !m_targets.insert(targetPath).second) return false;
    m_queue.push_back({url, targetPath, kind});
    if (m_threads.empty()) {
      for (size_t i = 0; i < m_threadCount; ++i) m_threads.emplace_back([this] { Work(); });
    }
  }
  m_queued.notify_one();
  return true;
}

bool ImageFetcher::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, timeout, [this] { return m_queue.empty() && m_busy == 0; });
}

void ImageFetcher::Work() {
  std::unique_lock lock(m_mutex);
  while (true) {
    m_queued.wait(lock, [this] { return m_abort || !m_queue.empty(); });
    if (m_abort) return;
    Job job = std::move(m_queue.front());
    m_queue.pop_front();
    ++m_busy;
    lock.unlock();
    const bool ok = static_cast<bool>(FetchImageFile(job.url, job.path, job.kind, m_abort));
    if (ok && m_arrived && !m_abort) m_arrived(job.url);
    lock.lock();
    m_targets.erase(job.path);
    --m_busy;
    if (m_queue.empty() && m_busy == 0) m_idle.notify_all();
  }
}

// ---- The process's fetcher ----

namespace {

struct Registration {
  std::mutex mutex;
  IImageFetchStarter* fetcher = nullptr;
};

Registration& TheRegistration() {
  static Registration r;
  return r;
}

}  // namespace

ProcessImageFetcherScope::ProcessImageFetcherScope(IImageFetchStarter& fetcher)
    : m_fetcher(fetcher) {
  Registration& r = TheRegistration();
  std::lock_guard lock(r.mutex);
  r.fetcher = &m_fetcher;
}

ProcessImageFetcherScope::~ProcessImageFetcherScope() {
  Registration& r = TheRegistration();
  std::lock_guard lock(r.mutex);
  if (r.fetcher == &m_fetcher) r.fetcher = nullptr;
}

bool StartProcessImageFetch(const std::string& url, const std::string& targetPath, ImageKind kind) {
  Registration& r = TheRegistration();
  // Fetch only queues: holding the lock through it keeps the fetcher alive for the call.
  std::lock_guard lock(r.mutex);
  return r.fetcher && r.fetcher->Fetch(url, targetPath, kind);
}

bool HasProcessImageFetcher() {
  Registration& r = TheRegistration();
  std::lock_guard lock(r.mutex);
  return r.fetcher != nullptr;
}
