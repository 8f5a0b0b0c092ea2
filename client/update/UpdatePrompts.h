#pragma once
// What the client shows after an update check. The main window implements IUpdatePrompts
// with its message boxes; HandleUpdateCheckResult decides which prompts appear.
#include <functional>

#include "client/update/UpdateLauncher.h"

namespace update_texts {
inline constexpr const char* kUpToDate = "软件已是最新，无需更新！";
inline constexpr const char* kPromptCaption = "更新消息";
inline constexpr const char* kPromptText = "检测到新版本，确定要更新吗?";
inline constexpr const char* kUpdateFailed = "软件更新失败!";
inline constexpr const char* kDeclined = "希望您下次更新！";
inline constexpr const char* kNoInformation = "无法获取新版本信息！";
inline constexpr const char* kFileMissing = "本地文件不存在!";
}  // namespace update_texts

class IUpdatePrompts {
 public:
  virtual ~IUpdatePrompts() = default;
  // An information box with OK.
  virtual void ShowInformation(const char* text) = 0;
  // A box with OK and Cancel owned by the main window; true for OK.
  virtual bool Confirm(const char* caption, const char* text) = 0;
  // Ends the client at once with exit code 0 (the updater has taken over).
  virtual void ExitForUpdate() = 0;
};

// The reaction of the main window to a check result, on its thread: the same version is
// reported only when the user asked; a newer release is always offered; no answer is
// reported only when the user asked. launch starts the updater (LaunchUpdater by default).
void HandleUpdateCheckResult(int code, bool userRequested, IUpdatePrompts& prompts,
                             const std::function<LaunchResult()>& launch = LaunchUpdater);
