#pragma once
// The workers an owner started, in start order, keyed by exact URL. At most a fixed number
// of workers run at once; further downloads wait in a queue and start in the order they
// were asked for as running ones end. A URL that is running or waiting is never started
// twice; once its worker ended the URL may start again. Thread-safe.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/download/DownloadJob.h"

class DownloadThreadRegistry final {
 public:
  // Concurrent workers of one owner (a catalogue of thousands of icons must not make
  // thousands of threads).
  static constexpr size_t kMaxRunning = 8;
  // Starts a thread running body; may throw std::system_error (tests replace it).
  using Launcher = std::function<std::thread(std::function<void()> body)>;

  explicit DownloadThreadRegistry(size_t maxRunning = kMaxRunning);
  DownloadThreadRegistry(const DownloadThreadRegistry&) = delete;
  DownloadThreadRegistry& operator=(const DownloadThreadRegistry&) = delete;
  // Ends every worker as EndAll(10 s) does.
  ~DownloadThreadRegistry();

  // Starts one worker of the given kind for job.url, or queues it while kMaxRunning
  // workers run. 0 for an empty url or a url that is running or waiting; 1 otherwise. A
  // worker whose thread cannot be created gets an ERROR (posted to its owner), never an
  // exception.
  int Start(DownloadWorkerKind kind, DownloadJob job);

  // True while a worker for url runs or waits in the queue.
  bool IsRunning(const std::string& url) const;
  // Number of workers running or waiting.
  size_t RunningCount() const;

  // Drops the queue, then for every started worker in start order: wait up to perWorker for
  // it to end, then abandon it (detach the thread). Detach the owner's link first so
  // abandoned workers never reach it. Empties the registry; later Starts answer 0.
  void EndAll(std::chrono::milliseconds perWorker = std::chrono::milliseconds(10000));

  void SetLauncher(Launcher launcher);

 private:
  struct State;
  std::shared_ptr<State> m_state;  // shared with the worker threads, which outlive an EndAll
};
