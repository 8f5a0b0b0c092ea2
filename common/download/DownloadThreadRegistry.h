#pragma once
// The workers an owner started, in start order, keyed by exact URL. A URL whose worker still
// runs is never started twice; once it ended the URL may start again. Thread-safe.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/download/DownloadJob.h"

class DownloadThreadRegistry final {
 public:
  DownloadThreadRegistry() = default;
  DownloadThreadRegistry(const DownloadThreadRegistry&) = delete;
  DownloadThreadRegistry& operator=(const DownloadThreadRegistry&) = delete;
  // Ends every worker as EndAll(10 s) does.
  ~DownloadThreadRegistry();

  // Starts one worker of the given kind for job.url. 0 for an empty url or a url whose worker
  // still runs; 1 when a worker was started.
  int Start(DownloadWorkerKind kind, DownloadJob job);

  // True while a worker for url runs.
  bool IsRunning(const std::string& url) const;
  // Number of workers still running.
  size_t RunningCount() const;

  // For every worker in start order: wait up to perWorker for it to end, then abandon it
  // (detach the thread). Detach the owner's link first so abandoned workers never reach it.
  // Empties the registry.
  void EndAll(std::chrono::milliseconds perWorker = std::chrono::milliseconds(10000));

 private:
  struct Worker;

  mutable std::mutex m_mutex;
  std::vector<std::shared_ptr<Worker>> m_workers;
};
