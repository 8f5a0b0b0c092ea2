#include "common/download/DownloadReporter.h"

#include "common/download/DownloadMessages.h"
#include "common/download/DownloadOwnerLink.h"

DownloadReporter::~DownloadReporter() { WaitForProgress(); }

int DownloadReporter::Send(const DownloadMessageRecord& record) {
  WaitForProgress();
  if (!m_job.link || !m_job.owner) return 0;
  IDownloadHooks* owner = m_job.owner;
  return m_job.link->Send([owner, &record] { return DispatchDownloadMessage(*owner, record); });
}

void DownloadReporter::WaitForProgress() {
  for (auto& ticket : m_progress) m_job.link->Wait(ticket);
  m_progress.clear();
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
  if (m_progress.size() >= kProgressWindow) {
    m_job.link->Wait(m_progress.front());
    m_progress.pop_front();
  }
  // The record is built inside the call: it must not point into this chunk's stack frame.
  // The url lives in the job, which outlives this reporter.
  IDownloadHooks* owner = m_job.owner;
  const std::string* url = &m_job.url;
  m_progress.push_back(m_job.link->Post(
      [owner, url, done, total] {
        DownloadMessageRecord r;
        r.message = DownloadMessage::Progress;
        r.url = url;
        r.done = done;
        r.total = total;
        return DispatchDownloadMessage(*owner, r);
      },
      false));
}

void DownloadReporter::Error() {
  DownloadMessageRecord r;
  r.message = DownloadMessage::Error;
  r.url = &m_job.url;
  Send(r);
}

void DownloadReporter::StartDownload() {
  DownloadMessageRecord r;
  r.message = DownloadMessage::StartDownload;
  r.url = &m_job.url;
  Send(r);
}

bool DownloadReporter::OwnerAlive() const { return m_job.link && m_job.link->Alive(); }
