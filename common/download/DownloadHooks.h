#pragma once
// The six hooks an owner of downloads implements. They run on the owner's thread, one at a
// time and in the order the worker sent them, while the worker waits. The one exception is
// OnDownProgress: the worker queues it and reads on, at most a couple of megabytes ahead,
// and waits for all of them before it sends anything else. String arguments are copies
// owned by the call: keep a copy if needed later.
#include <cstdint>
#include <string>
#include <utility>

#include "common/download/DownloadMessages.h"

class IDownloadHooks {
 public:
  virtual ~IDownloadHooks() = default;

  // Last-Modified of the answer ("" when absent), before the body is read (HTTP only).
  virtual void OnCheckTime(std::string url, std::string lastModified) = 0;
  // The file is complete at its target path. The body is not held in memory: data is always
  // nullptr and size is the file's length in bytes.
  virtual void OnDownFinished(std::string url, const char* data, int64_t size) {
    (void)url, (void)data, (void)size;
  }
  // The proxy asked for credentials (HTTP 407): fill user and password; they are set as proxy
  // credentials on the repeated request.
  virtual void OnProxyValidate(std::string url, std::string& user, std::string& password) {
    (void)url, (void)user, (void)password;
  }
  // The download failed for good; no file was written.
  virtual void OnDownError(std::string url) { (void)url; }
  // The ERROR message with its reason and the last HTTP status (0 when none). An owner that
  // shows why a download failed overrides this one; by default it calls OnDownError.
  virtual void OnDownFailed(std::string url, DownloadFailure failure, long status) {
    (void)failure, (void)status;
    OnDownError(std::move(url));
  }
  // The answer is accepted and the body is about to be read.
  virtual void OnStartDownload(std::string url) { (void)url; }
  // After every chunk (at most 8192 bytes): bytes so far and the announced length, or 0 for
  // total when the length is unknown.
  virtual void OnDownProgress(std::string url, int64_t done, int64_t total) {
    (void)url, (void)done, (void)total;
  }
};
