#include "common/download/DownloadStarter.h"

#include <condition_variable>
#include <mutex>

namespace {

struct Registration {
  std::mutex mutex;
  std::condition_variable idle;
  IDownloadStarter* window = nullptr;
  int inFlight = 0;  // StartProcessDownload calls inside window
};

Registration& TheRegistration() {
  static Registration r;
  return r;
}

}  // namespace

IDownloadStarter* GetProcessDownloadWindow() {
  Registration& r = TheRegistration();
  std::lock_guard lock(r.mutex);
  return r.window;
}

int StartProcessDownload(const std::string& url, const std::string& localPath, int priority) {
  Registration& r = TheRegistration();
  IDownloadStarter* window;
  {
    std::lock_guard lock(r.mutex);
    window = r.window;
    if (!window) return 0;
    ++r.inFlight;
  }
  int result = 0;
  try {
    result = window->DownloadFile(url, localPath, priority);
  } catch (...) {
    result = 0;
  }
  {
    std::lock_guard lock(r.mutex);
    --r.inFlight;
  }
  r.idle.notify_all();
  return result;
}

ProcessDownloadWindowScope::ProcessDownloadWindowScope(IDownloadStarter& window)
    : m_window(window) {
  Registration& r = TheRegistration();
  std::unique_lock lock(r.mutex);
  r.window = &m_window;
  // A window this one replaces may go once its calls have returned.
  r.idle.wait(lock, [&] { return r.inFlight == 0; });
}

ProcessDownloadWindowScope::~ProcessDownloadWindowScope() {
  Registration& r = TheRegistration();
  std::unique_lock lock(r.mutex);
  if (r.window == &m_window) r.window = nullptr;
  r.idle.wait(lock, [&] { return r.inFlight == 0; });
}
