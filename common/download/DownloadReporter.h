#pragma once
// Worker side of the six messages: builds each record on the worker's stack and sends it
// synchronously through the job's link. Every send to an owner that is gone answers 0.
#include <cstdint>
#include <string>

#include "common/download/DownloadJob.h"

class DownloadReporter final {
 public:
  explicit DownloadReporter(const DownloadJob& job) : m_job(job) {}

  int CheckTime(const std::string& lastModified);
  void DownFinished(int64_t size);
  void ProxyValidate(std::string& user, std::string& password);
  void Progress(int64_t done, int64_t total);
  void Error();
  void StartDownload();

  bool OwnerAlive() const;

 private:
  const DownloadJob& m_job;
};
