#pragma once
// An owner of downloads without a GUI: hooks run on its own dispatch thread, one at a time.
// Used by orvanta-cli and by tests. Override the hooks you need (OnCheckTime does nothing
// here). A deriving class must call EndDownloads() first in its destructor, so that no hook
// reaches a half-destroyed object. EndDownloads and the destructor must not be called from a
// hook.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "common/download/DownloadHooks.h"
#include "common/download/DownloadJob.h"
#include "common/download/DownloadStarter.h"
#include "common/download/DownloadThreadRegistry.h"

class DownloadOwnerLink;

class HeadlessDownloadWindow : public IDownloadHooks, public IDownloadStarter {
 public:
  explicit HeadlessDownloadWindow(DownloadWorkerKind kind = DownloadWorkerKind::Http);
  ~HeadlessDownloadWindow() override;
  HeadlessDownloadWindow(const HeadlessDownloadWindow&) = delete;
  HeadlessDownloadWindow& operator=(const HeadlessDownloadWindow&) = delete;

  // Any thread. 0 for an empty url or one that is downloading; 1 when a worker started.
  int DownloadFile(const std::string& url, const std::string& localPath, int priority) override;

  bool IsDownloading(const std::string& url) const;
  // Blocks until no worker runs or the timeout passes; true when idle.
  bool WaitIdle(std::chrono::milliseconds timeout);

  // Detaches from the workers (their hooks are skipped from now on), waits up to perWorker
  // for each, abandons the rest, and stops the dispatch thread. Idempotent.
  void EndDownloads(std::chrono::milliseconds perWorker = std::chrono::milliseconds(10000));

  void OnCheckTime(std::string url, std::string lastModified) override;

  // Any thread: true when called on the dispatch thread (where hooks run).
  bool OnDispatchThread() const;

 protected:
  // The workers (tests replace how their threads start).
  DownloadThreadRegistry& Workers() { return m_workers; }

 private:
  void DispatchLoop();

  static constexpr std::chrono::milliseconds kLinger{1};

  DownloadWorkerKind m_kind;
  std::mutex m_queueMutex;
  std::condition_variable m_queueChanged;
  std::deque<std::function<void()>> m_queue;
  bool m_stopping = false;
  bool m_sleeping = false;  // the dispatch thread waits for a wake-up (not lingering)
  bool m_ended = false;
  std::shared_ptr<DownloadOwnerLink> m_link;
  DownloadThreadRegistry m_workers;
  std::thread m_dispatch;
};
