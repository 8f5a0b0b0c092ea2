#include "common/download/DownloadThreadRegistry.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <vector>

#include "common/download/DownloadMessages.h"
#include "common/download/DownloadOwnerLink.h"
#include "common/download/DownloadWorker.h"

namespace {

struct Worker {
  std::string url;
  std::thread thread;
  bool ended = false;  // guarded by the state's mutex
};

struct Pending {
  DownloadWorkerKind kind;
  DownloadJob job;
};

// Tells the owner a download will not run; posted, since the caller may be the owner's
// own thread.
void PostError(const DownloadJob& job) {
  if (!job.link || !job.owner) return;
  job.link->Post(
      [owner = job.owner, url = job.url] {
        DownloadMessageRecord r;
        r.message = DownloadMessage::Error;
        r.url = &url;
        DispatchDownloadMessage(*owner, r);
        return 0;
      },
      true);
}

}  // namespace

struct DownloadThreadRegistry::State : std::enable_shared_from_this<State> {
  explicit State(size_t max) : maxRunning(std::max<size_t>(1, max)) {}

  size_t maxRunning;
  Launcher launcher = [](std::function<void()> body) { return std::thread(std::move(body)); };
  std::mutex mutex;
  std::condition_variable workerEnded;
  std::vector<std::shared_ptr<Worker>> workers;  // started, in start order
  std::deque<Pending> queue;                     // waiting, in request order
  bool closed = false;

  // Lock held.
  size_t Running() const {
    return static_cast<size_t>(
        std::count_if(workers.begin(), workers.end(), [](const auto& w) { return !w->ended; }));
  }

  // Lock held: starts waiting downloads while there is room.
  void StartWaiting() {
    while (!closed && !queue.empty() && Running() < maxRunning) {
      Pending next = std::move(queue.front());
      queue.pop_front();
      Launch(next.kind, std::move(next.job));
    }
  }

  // Lock held.
  void Launch(DownloadWorkerKind kind, DownloadJob job) {
    auto worker = std::make_shared<Worker>();
    worker->url = job.url;
    // The thread keeps its own references: an abandoned worker still has somewhere to say
    // it ended.
    std::shared_ptr<State> self = shared_from_this();
    DownloadJob copy = job;
    try {
      worker->thread = launcher([self, worker, kind, job = std::move(copy)] {
        if (kind == DownloadWorkerKind::Ftp)
          RunFtpDownload(job);
        else
          RunHttpDownload(job);
        {
          std::lock_guard lock(self->mutex);
          worker->ended = true;
          self->StartWaiting();
        }
        self->workerEnded.notify_all();
      });
    } catch (const std::system_error&) {
      PostError(job);
      return;
    }
    workers.push_back(std::move(worker));
  }
};

DownloadThreadRegistry::DownloadThreadRegistry(size_t maxRunning)
    : m_state(std::make_shared<State>(maxRunning)) {}

DownloadThreadRegistry::~DownloadThreadRegistry() { EndAll(); }

void DownloadThreadRegistry::SetLauncher(Launcher launcher) {
  std::lock_guard lock(m_state->mutex);
  m_state->launcher = std::move(launcher);
}

int DownloadThreadRegistry::Start(DownloadWorkerKind kind, DownloadJob job) {
  if (job.url.empty()) return 0;
  State& s = *m_state;
  std::lock_guard lock(s.mutex);
  if (s.closed) return 0;
  // Ended workers keep no entry: their threads are joined now, since an unjoined thread
  // holds its whole stack until the owner goes, and a client fetches many icons. A thread
  // marked ended no longer needs the lock held here.
  std::erase_if(s.workers, [](const std::shared_ptr<Worker>& w) {
    if (!w->ended) return false;
    if (w->thread.joinable()) w->thread.join();
    return true;
  });
  const bool busy = std::any_of(s.workers.begin(), s.workers.end(),
                                [&](const auto& w) { return w->url == job.url; }) ||
                    std::any_of(s.queue.begin(), s.queue.end(),
                                [&](const Pending& p) { return p.job.url == job.url; });
  if (busy) return 0;
  if (s.Running() >= s.maxRunning)
    s.queue.push_back(Pending{kind, std::move(job)});
  else
    s.Launch(kind, std::move(job));
  return 1;
}

bool DownloadThreadRegistry::IsRunning(const std::string& url) const {
  std::lock_guard lock(m_state->mutex);
  for (const auto& w : m_state->workers)
    if (w->url == url && !w->ended) return true;
  for (const Pending& p : m_state->queue)
    if (p.job.url == url) return true;
  return false;
}

size_t DownloadThreadRegistry::RunningCount() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->Running() + m_state->queue.size();
}

void DownloadThreadRegistry::EndAll(std::chrono::milliseconds perWorker) {
  std::vector<std::shared_ptr<Worker>> workers;
  {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    m_state->queue.clear();
    workers.swap(m_state->workers);
  }
  for (auto& w : workers) {
    bool ended;
    {
      std::unique_lock lock(m_state->mutex);
      ended = m_state->workerEnded.wait_for(lock, perWorker, [&] { return w->ended; });
    }
    if (!w->thread.joinable()) continue;
    if (ended)
      w->thread.join();
    else
      w->thread.detach();  // abandoned: its owner link is detached, it ends on its own
  }
}
