#include "common/download/DownloadReporter.h"

#include "common/download/DownloadMessages.h"
#include "common/download/DownloadOwnerLink.h"

namespace {
int Send(const DownloadJob& job, const DownloadMessageRecord& record) {
  if (!job.link || !job.owner) return 0;
  IDownloadHooks* owner = job.owner;
  return job.link->Send([owner, &record] { return DispatchDownloadMessage(*owner, record); });
}
}  // namespace

int DownloadReporter::CheckTime(const std::string& lastModified) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::CheckTime;
  r.url = &m_job.url;
  r.lastModified = &lastModified;
  return Send(m_job, r);
}

void DownloadReporter::DownFinished(int64_t size) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::DownFinished;
  r.url = &m_job.url;
  r.data = nullptr;
  r.size = size;
  Send(m_job, r);
}

void DownloadReporter::ProxyValidate(std::string& user, std::string& password) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::ProxyValidate;
  r.url = &m_job.url;
  r.user = &user;
  r.password = &password;
  Send(m_job, r);
}

void DownloadReporter::Progress(int64_t done, int64_t total) {
  DownloadMessageRecord r;
  r.message = DownloadMessage::Progress;
  r.url = &m_job.url;
  r.done = done;
  r.total = total;
  Send(m_job, r);
}

void DownloadReporter::Error() {
  DownloadMessageRecord r;
  r.message = DownloadMessage::Error;
  r.url = &m_job.url;
  Send(m_job, r);
}

void DownloadReporter::StartDownload() {
  DownloadMessageRecord r;
  r.message = DownloadMessage::StartDownload;
  r.url = &m_job.url;
  Send(m_job, r);
}

bool DownloadReporter::OwnerAlive() const { return m_job.link && m_job.link->Alive(); }
