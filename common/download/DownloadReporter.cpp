#include "common/download/DownloadReporter.h"

#include <mutex>
#include <utility>
#include <vector>

#include "common/download/DownloadMessages.h"
#include "common/download/DownloadOwnerLink.h"

// PROGRESS values waiting for the owner's thread, and whether a batch task is on its way.
struct DownloadReporter::ProgressQueue {
  std::mutex mutex;
  std::vector<std::pair<int64_t, int64_t>> items;  // (done, total)
  bool batchQueued = false;
};

DownloadReporter::DownloadReporter(const DownloadJob& job)
    : m_job(job), m_progress(std::make_shared<ProgressQueue>()) {}

DownloadReporter::~DownloadReporter() { WaitForProgress(); }

int DownloadReporter::Send(const DownloadMessageRecord& record) {
  WaitForProgress();
  if (!m_job.link || !m_job.owner) return 0;
  IDownloadHooks* owner = m_job.owner;
  return m_job.link->Send([owner, &record] { return DispatchDownloadMessage(*owner, record); });
}

void DownloadReporter::WaitForProgress() {
  // Only this worker queues batches, so once the last one ran every value has been shown
  // (or the owner went away and they are dropped).
  if (!m_batch) return;
  m_job.link->Wait(m_batch);
  m_batch = nullptr;
  std::lock_guard lock(m_progress->mutex);
  m_progress->items.clear();
  m_progress->batchQueued = false;
}

int DownloadReporter::CheckTime(const std::string& lastModified) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::CheckTime;
  r.url = &m_job.url;
  r.lastModified = &lastModified;
  return Send(r);
}

void DownloadReporter::DownFinished(int64_t size) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::DownFinished;
  r.url = &m_job.url;
  r.data = nullptr;
  r.size = size;
  Send(r);
}

void DownloadReporter::ProxyValidate(std::string& user, std::string& password) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::ProxyValidate;
  r.url = &m_job.url;
  r.user = &user;
  r.password = &password;
  Send(r);
}

void DownloadReporter::Progress(int64_t done, int64_t total) {
  if (!m_job.link || !m_job.owner) return;
  bool queueBatch = false;
  size_t waiting = 0;
  {
    std::lock_guard lock(m_progress->mutex);
    m_progress->items.emplace_back(done, total);
    waiting = m_progress->items.size();
    queueBatch = !m_progress->batchQueued;
    m_progress->batchQueued = true;
  }
  if (queueBatch) {
    // The batch task takes every value waiting when it runs. It keeps its own copy of the
    // url: a batch that has begun may still be running when the worker has ended.
    IDownloadHooks* owner = m_job.owner;
    std::shared_ptr<ProgressQueue> queue = m_progress;
    std::shared_ptr<DownloadOwnerLink> link = m_job.link;
    DownloadOwnerLink::Ticket batch = m_job.link->Post(
        [owner, url = m_job.url, queue, link] {
          std::vector<std::pair<int64_t, int64_t>> items;
          {
            std::lock_guard lock(queue->mutex);
            items.swap(queue->items);
            queue->batchQueued = false;
          }
          for (const auto& [itemDone, itemTotal] : items) {
            if (!link->Alive()) break;
            DownloadMessageRecord r;
            r.message = DownloadMessage::Progress;
            r.url = &url;
            r.done = itemDone;
            r.total = itemTotal;
            DispatchDownloadMessage(*owner, r);
          }
          return 0;
        },
        false);
    // Once the owner is gone nothing more is queued, but the batch queued before may have
    // begun: keep waiting for that one rather than forget it.
    if (batch) m_batch = std::move(batch);
  }
  if (waiting >= kProgressWindow) WaitForProgress();
}

void DownloadReporter::Error(DownloadFailure failure, long status) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::Error;
  r.url = &m_job.url;
  r.failure = failure;
  r.status = status;
  Send(r);
}

void DownloadReporter::StartDownload() {
  DownloadMessageRecord r;
  r.message = DownloadMessage::StartDownload;
  r.url = &m_job.url;
  Send(r);
}

bool DownloadReporter::OwnerAlive() const { return m_job.link && m_job.link->Alive(); }
