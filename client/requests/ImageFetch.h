#pragma once
// Icons and banner pictures from the platform: named after their URL, fetched with a byte
// cap, and kept only when their bytes are a PNG, JPEG, GIF or BMP image.
//
// A fetch stops as soon as the answer passes its cap (announced or received) and leaves
// nothing behind; an answer that is not an image (an HTML error page with status 200) is
// dropped too, so the file stays missing and the next list request asks for it again,
// never sooner. A kept file is written beside its target and renamed onto it when whole.
//
// The fetches of a process run on a few threads of an ImageFetcher that the window owning
// them registers (ProcessImageFetcherScope, like the process download window); the request
// controllers queue their images through StartProcessImageFetch.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "client/base/RequestResult.h"

enum class ImageKind { Icon, Banner };

// The largest answer kept: 1 MB for an icon, 8 MB for a banner picture.
size_t ImageByteCap(ImageKind kind);

enum class ImageFormat { None, Png, Jpeg, Gif, Bmp };
// The format that the first bytes of a file announce; None for anything else.
ImageFormat SniffImageFormat(std::string_view bytes);

// The file name an image URL is cached under: 16 hex digits of a hash of the whole URL,
// then the URL's own extension in lower case when it is a short run of letters and digits
// ("3f1c...e2.png"), else nothing.
std::string ImageCacheName(const std::string& url);

// Fetches url into targetPath (a full native path). Ok when the image was written; NoAnswer
// on a transport failure, abort or a status other than 200; Unusable past the cap or when
// the body is no image. The target is left as it was unless Ok.
RequestResult FetchImageFile(const std::string& url, const std::string& targetPath, ImageKind kind,
                             const AbortFlag& abort);

// What the request controllers queue their images with.
class IImageFetchStarter {
 public:
  virtual ~IImageFetchStarter() = default;
  // Queues one fetch; false when it is refused. Any thread; never waits for a fetch.
  virtual bool Fetch(const std::string& url, const std::string& targetPath, ImageKind kind) = 0;
};

// A small pool of fetch threads with a queue. A target that is queued or being fetched is
// not queued again. The threads sleep on the queue without a time-out while it is empty.
class ImageFetcher final : public IImageFetchStarter {
 public:
  // Told of every image written (on a fetch thread), with its URL.
  using Arrived = std::function<void(const std::string& url)>;
  static constexpr size_t kThreads = 4;

  explicit ImageFetcher(Arrived arrived, size_t threads = kThreads);
  // Drops the queue, aborts the fetches in progress and joins the threads.
  ~ImageFetcher();
  ImageFetcher(const ImageFetcher&) = delete;
  ImageFetcher& operator=(const ImageFetcher&) = delete;

  // Queues one fetch; false for an empty url or path, or a target already queued/fetching.
  bool Fetch(const std::string& url, const std::string& targetPath, ImageKind kind) override;
  // Blocks until nothing is queued or fetching, or the time-out passes; true when idle.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  struct Job {
    std::string url;
    std::string path;
    ImageKind kind;
  };
  void Work();

  Arrived m_arrived;
  size_t m_threadCount;
  std::mutex m_mutex;
  std::condition_variable m_queued;
  std::condition_variable m_idle;
  std::deque<Job> m_queue;
  std::unordered_set<std::string> m_targets;  // queued or fetching
  size_t m_busy = 0;
  AbortFlag m_abort{false};
  std::vector<std::thread> m_threads;  // started by the first Fetch
};

// Registers fetcher as the process's image fetcher until the scope ends (scopes do not
// nest). The end of the scope waits for every StartProcessImageFetch call inside it.
class ProcessImageFetcherScope final {
 public:
  explicit ProcessImageFetcherScope(IImageFetchStarter& fetcher);
  ~ProcessImageFetcherScope();
  ProcessImageFetcherScope(const ProcessImageFetcherScope&) = delete;
  ProcessImageFetcherScope& operator=(const ProcessImageFetcherScope&) = delete;

 private:
  IImageFetchStarter& m_fetcher;
};

// Fetch on the registered fetcher; false when none is registered or it refused.
bool StartProcessImageFetch(const std::string& url, const std::string& targetPath, ImageKind kind);
// Whether a fetcher is registered.
bool HasProcessImageFetcher();
