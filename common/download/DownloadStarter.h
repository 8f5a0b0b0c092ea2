#pragma once
// The process-wide download window: whoever owns it (the client's main window, the
// companion tool's headless window) registers it here, and the request controllers ask it
// for their icon and image downloads. Safe to call from any thread.
#include <string>

class IDownloadStarter {
 public:
  virtual ~IDownloadStarter() = default;
  // Starts one download of url into localPath (a full native path); priority is a Windows
  // thread priority value (-15 idle for installers, 0 icons, 1 banner images).
  // 0 for an empty url or a url that is already downloading.
  virtual int DownloadFile(const std::string& url, const std::string& localPath, int priority) = 0;
};

// nullptr clears the registration.
void SetProcessDownloadWindow(IDownloadStarter* window);
IDownloadStarter* GetProcessDownloadWindow();
