#pragma once
// Process-wide: set by the owner when the user confirms exit. HTTP workers whose attempt
// fails while it is set end without a message instead of retrying.
#include <atomic>

extern std::atomic<bool> DownloadStopFlag;
