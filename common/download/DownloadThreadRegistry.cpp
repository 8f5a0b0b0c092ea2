#include "common/download/DownloadThreadRegistry.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <thread>

#include "common/download/DownloadWorker.h"

struct DownloadThreadRegistry::Worker {
  std::string url;
  std::thread thread;
  std::mutex mutex;
  std::condition_variable endedChanged;
  bool ended = false;

  bool Ended() {
    std::lock_guard lock(mutex);
    return ended;
  }
};

namespace {
void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
}  // namespace

DownloadThreadRegistry::~DownloadThreadRegistry() { EndAll(); }

int DownloadThreadRegistry::Start(DownloadWorkerKind kind, DownloadJob job) {
  if (job.url.empty()) return 0;
  InitCurlOnce();
  std::lock_guard lock(m_mutex);
  // Ended workers keep their entries, but their threads are joined now: an unjoined thread
  // holds its whole stack until the owner goes, and a client fetches many icons.
  for (auto& w : m_workers)
    if (w->thread.joinable() && w->Ended()) w->thread.join();
  auto it = std::find_if(m_workers.begin(), m_workers.end(),
                         [&](const auto& w) { return w->url == job.url; });
  if (it != m_workers.end()) {
    if (!(*it)->Ended()) return 0;
    if ((*it)->thread.joinable()) (*it)->thread.join();
    m_workers.erase(it);
  }
  auto worker = std::make_shared<Worker>();
  worker->url = job.url;
  // The thread keeps its own reference: an abandoned worker still has somewhere to say it
  // ended.
  worker->thread = std::thread([worker, kind, job = std::move(job)] {
    if (kind == DownloadWorkerKind::Ftp)
      RunFtpDownload(job);
    else
      RunHttpDownload(job);
    std::lock_guard endLock(worker->mutex);
    worker->ended = true;
    worker->endedChanged.notify_all();
  });
  m_workers.push_back(std::move(worker));
  return 1;
}

bool DownloadThreadRegistry::IsRunning(const std::string& url) const {
  std::lock_guard lock(m_mutex);
  for (const auto& w : m_workers)
    if (w->url == url && !w->Ended()) return true;
  return false;
}

size_t DownloadThreadRegistry::RunningCount() const {
  std::lock_guard lock(m_mutex);
  return static_cast<size_t>(
      std::count_if(m_workers.begin(), m_workers.end(), [](const auto& w) { return !w->Ended(); }));
}

void DownloadThreadRegistry::EndAll(std::chrono::milliseconds perWorker) {
  std::vector<std::shared_ptr<Worker>> workers;
  {
    std::lock_guard lock(m_mutex);
    workers.swap(m_workers);
  }
  for (auto& w : workers) {
    bool ended;
    {
      std::unique_lock lock(w->mutex);
      ended = w->endedChanged.wait_for(lock, perWorker, [&] { return w->ended; });
    }
    if (!w->thread.joinable()) continue;
    if (ended)
      w->thread.join();
    else
      w->thread.detach();  // abandoned: its owner link is detached, it ends on its own
  }
}
