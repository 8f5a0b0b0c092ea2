#pragma once
// Worker side of the six messages: builds each record on the worker's stack and sends it
// synchronously through the job's link. Every send to an owner that is gone answers 0.
//
// PROGRESS alone is pipelined: the worker queues it and goes on reading while the owner's
// thread catches up, never more than kProgressWindow chunks ahead; before any other message
// (and before it ends) it waits for every queued PROGRESS. Queued PROGRESS calls travel to
// the owner's thread in batches (one task runs all that are waiting), and their hooks still
// run one at a time, in order, on the owner's thread. Without this, every 8 KB chunk would
// cost two thread switches and a busy machine's scheduling delay.
#include <cstdint>
#include <memory>
#include <string>

#include "common/download/DownloadMessages.h"

#include "common/download/DownloadJob.h"
#include "common/download/DownloadOwnerLink.h"

// How many PROGRESS calls may be queued and not yet run (8192-byte chunks: 2 MB).
inline constexpr size_t kProgressWindow = 256;

class DownloadReporter final {
 public:
  explicit DownloadReporter(const DownloadJob& job);
  ~DownloadReporter();
  DownloadReporter(const DownloadReporter&) = delete;
  DownloadReporter& operator=(const DownloadReporter&) = delete;

  int CheckTime(const std::string& lastModified);
  void DownFinished(int64_t size);
  void ProxyValidate(std::string& user, std::string& password);
  void Progress(int64_t done, int64_t total);
  void Error(DownloadFailure failure = DownloadFailure::Attempts, long status = 0);
  void StartDownload();

  bool OwnerAlive() const;

 private:
  int Send(const DownloadMessageRecord& record);
  void WaitForProgress();

  struct ProgressQueue;

  const DownloadJob& m_job;
  std::shared_ptr<ProgressQueue> m_progress;  // shared with the batch task on the owner thread
  DownloadOwnerLink::Ticket m_batch;          // the batch task queued last
};
