#include "common/download/DownloadStopFlag.h"

std::atomic<bool> DownloadStopFlag{false};
