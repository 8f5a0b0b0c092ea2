#pragma once
// What a worker thread gets: where to report, what to fetch, where to put it.
#include <memory>
#include <string>

class DownloadOwnerLink;
class IDownloadHooks;

// The client fetches over HTTP; the updater fetches its installer over FTP.
enum class DownloadWorkerKind { Http, Ftp };

struct DownloadJob {
  std::shared_ptr<DownloadOwnerLink> link;  // keeps the line alive after the owner is gone
  IDownloadHooks* owner = nullptr;          // touched only through link, on the owner thread
  std::string url;                          // exactly as given to DownloadFile
  std::string localPath;                    // full native path of the target file
  int priority = 0;                         // Windows thread priority value
};
