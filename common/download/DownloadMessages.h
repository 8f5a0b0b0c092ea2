#pragma once
// The six download messages a worker sends to its owner, and the one dispatch point that
// turns a message into a hook call on the owner's thread.
//
// A message record lives on the worker's stack and points into it; it is valid only while
// the (synchronous) send lasts. Hooks receive copies of the strings.
#include <cstdint>
#include <string>

class IDownloadHooks;

// Registered names of the messages; both programs and every owner agree on them.
inline constexpr char kDownFileCheckTime[] = "ZADOZIR_WM_DOWNFILE_CHECKTIME";
inline constexpr char kDownFileDownFinished[] = "ZADOZIR_WM_DOWNFILE_DOWNFINISHED";
inline constexpr char kDownFileProxyValidate[] = "ZADOZIR_WM_DOWNFILE_PROXYVALIDATE";
inline constexpr char kDownFileProgress[] = "ZADOZIR_WM_DOWNFILE_PROGRESS";
inline constexpr char kDownFileError[] = "ZADOZIR_WM_DOWNFILE_ERROR";
inline constexpr char kDownFileStartDownload[] = "ZADOZIR_WM_DOWNFILE_STARTDOWNLOAD";

// In the order the dispatch point compares them.
enum class DownloadMessage {
  CheckTime,
  DownFinished,
  ProxyValidate,
  Progress,
  Error,
  StartDownload,
};

const char* DownloadMessageName(DownloadMessage message);

// Why a download failed for good (the ERROR message's reason).
enum class DownloadFailure {
  Attempts,  // every attempt failed: a bad status, a transport error or a body cut short
  NoFile,    // the URL cannot be fetched at all (malformed, or a scheme not allowed)
  Busy,      // another download kept writing the same file for longer than the wait allows
};

// One record for all six messages; only the fields of its message are set.
struct DownloadMessageRecord {
  DownloadMessage message = DownloadMessage::Error;
  const std::string* url = nullptr;
  const std::string* lastModified = nullptr;  // CheckTime
  const char* data = nullptr;                 // DownFinished: always nullptr (see hooks)
  int64_t size = 0;                           // DownFinished
  std::string* user = nullptr;                // ProxyValidate: filled by the hook
  std::string* password = nullptr;            // ProxyValidate: filled by the hook
  int64_t done = 0;                           // Progress
  int64_t total = 0;                          // Progress
  // Error: the reason, and the last HTTP status received (0 when none).
  DownloadFailure failure = DownloadFailure::Attempts;
  long status = 0;
};

// Runs on the owner's thread: calls the matching hook and answers 1 for CheckTime (whatever
// the hook did) and 0 for the other five.
int DispatchDownloadMessage(IDownloadHooks& hooks, const DownloadMessageRecord& record);
