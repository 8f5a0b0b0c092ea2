#pragma once
// The worker bodies; each runs on its own thread, sets its own priority, reports through
// the job's link and ends after its last message (or silently).
//
// The body is written to localPath + ".part" and renamed onto localPath only when it is
// complete: the target never holds a partial file, and memory does not grow with the file.
#include "common/download/DownloadJob.h"

// Five attempts with pauses between; 407 proxy-credential round trip; CHECKTIME whose 0 answer
// fails the attempt; STARTDOWNLOAD; chunks of at most 8192 bytes with PROGRESS after each.
void RunHttpDownload(const DownloadJob& job);

// One attempt over FTP, passive, else active mode (user and password from the URL); ERROR on
// any failure.
// No CHECKTIME, no PROXYVALIDATE, DownloadStopFlag not read.
void RunFtpDownload(const DownloadJob& job);

// Suffix of the temporary file beside the target.
inline constexpr char kPartialFileSuffix[] = ".part";
