#pragma once
// The process-wide download window: whoever owns it (the client's main window, the
// companion tool's headless window) registers it here for the life of a
// ProcessDownloadWindowScope, and the request controllers ask it for their icon and image
// downloads through StartProcessDownload. Safe to call from any thread.
#include <string>

class IDownloadStarter {
 public:
  virtual ~IDownloadStarter() = default;
  // Starts one download of url into localPath (a full native path); priority is a Windows
  // thread priority value (-15 idle for installers, 0 icons, 1 banner images).
  // 0 for an empty url or a url that is already downloading. Called from any thread; it
  // must not wait for the thread that ends the window's scope.
  virtual int DownloadFile(const std::string& url, const std::string& localPath, int priority) = 0;
};

// Registers window as the process download window until the scope ends. The end of the
// scope unregisters it and waits for every StartProcessDownload call still inside the
// window, so the window may be destroyed right after. Scopes do not nest: a second one
// replaces the first registration.
class ProcessDownloadWindowScope final {
 public:
  explicit ProcessDownloadWindowScope(IDownloadStarter& window);
  ~ProcessDownloadWindowScope();
  ProcessDownloadWindowScope(const ProcessDownloadWindowScope&) = delete;
  ProcessDownloadWindowScope& operator=(const ProcessDownloadWindowScope&) = delete;

 private:
  IDownloadStarter& m_window;
};

// DownloadFile on the registered window; 0 when none is registered.
int StartProcessDownload(const std::string& url, const std::string& localPath, int priority);

// The registered window, to tell whether there is one. A caller that calls it races with
// the window's end: use StartProcessDownload instead.
IDownloadStarter* GetProcessDownloadWindow();
