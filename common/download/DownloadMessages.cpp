#include "common/download/DownloadMessages.h"

#include "common/download/DownloadHooks.h"

const char* DownloadMessageName(DownloadMessage message) {
  switch (message) {
    case DownloadMessage::CheckTime:
      return kDownFileCheckTime;
    case DownloadMessage::DownFinished:
      return kDownFileDownFinished;
    case DownloadMessage::ProxyValidate:
      return kDownFileProxyValidate;
    case DownloadMessage::Progress:
      return kDownFileProgress;
    case DownloadMessage::Error:
      return kDownFileError;
    case DownloadMessage::StartDownload:
      return kDownFileStartDownload;
  }
  return "";
}

int DispatchDownloadMessage(IDownloadHooks& hooks, const DownloadMessageRecord& record) {
  const std::string url = record.url ? *record.url : std::string();
  switch (record.message) {
    case DownloadMessage::CheckTime:
      hooks.OnCheckTime(url, record.lastModified ? *record.lastModified : std::string());
      return 1;
    case DownloadMessage::DownFinished:
      hooks.OnDownFinished(url, record.data, record.size);
      return 0;
    case DownloadMessage::ProxyValidate: {
      // The hook fills copies; they go back to the worker's strings afterwards.
      std::string user = record.user ? *record.user : std::string();
      std::string password = record.password ? *record.password : std::string();
      hooks.OnProxyValidate(url, user, password);
      if (record.user) *record.user = user;
      if (record.password) *record.password = password;
      return 0;
    }
    case DownloadMessage::Progress:
      hooks.OnDownProgress(url, record.done, record.total);
      return 0;
    case DownloadMessage::Error:
      hooks.OnDownFailed(url, record.failure, record.status);
      return 0;
    case DownloadMessage::StartDownload:
      hooks.OnStartDownload(url);
      return 0;
  }
  return 0;
}
