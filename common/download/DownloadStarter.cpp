#include "common/download/DownloadStarter.h"

#include <atomic>

namespace {
std::atomic<IDownloadStarter*> g_processWindow{nullptr};
}

void SetProcessDownloadWindow(IDownloadStarter* window) { g_processWindow.store(window); }

IDownloadStarter* GetProcessDownloadWindow() { return g_processWindow.load(); }
