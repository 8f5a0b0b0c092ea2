#pragma once
// The five application actions as decisions: from the record (as its list holds it), the
// session and this machine's Uninstall registrations and files, what to do: which URL to
// open, which program to run with which arguments, what to download where, which request to
// send, which text to show and which usage record to queue. Deciding does nothing; the
// window carries the plan out, asking the user where it says so.
#include <string>

#include "client/apps/AppList.h"

struct UserSession;

// The five actions, numbered as the window's messages 1289 to 1293.
enum class AppAction {
  Activate = 1289,
  Add = 1290,
  Delete = 1291,
  Upgrade = 1292,
  Uninstall = 1293,
};

struct ActionPlan {
  enum class Step {
    Nothing,    // no record: nothing is done, nothing queued
    NeedLogin,  // not signed in: the login dialog first, then the action is decided again
    ShowText,   // only `text` is shown
    OpenUrl,    // `url` opens in the browser
    OpenShare,  // `url` (it carries the session key) opens through an owner-only redirect page
    Run,        // `program` runs with `parameters`
    Download,   // the installer `url` is downloaded to `path` at idle priority
    Subscribe,  // the add or delete request `url` is sent; its answer decides the rest
    LogOnly,    // only the thread-log line `text` is written
  };
  Step step = Step::Nothing;
  std::string url;
  std::string path;
  std::string program;
  std::string parameters;
  std::string text;  // shown to the user (ShowText, and beside a Download)
  // The login dialog repaints only the window's login area (add action).
  bool partialRepaint = false;
  // The usage record queued with the plan: its appclienttype, -1 for none. An add or delete
  // queues its record when the answer arrives.
  int usage = -1;
};

// Arguments every installer and uninstaller runs with.
inline constexpr const char* kSilentArgument = "/silent";
inline constexpr const char* kLoginFailedText = "登录失败！";
inline constexpr const char* kDownloadingLaterText = "正在后台下载，请稍后重试";
inline constexpr const char* kNoLocalFileText = "本地文件不存在!";
inline constexpr const char* kNoInstallerText = "无法下载安装程序!";
inline constexpr const char* kNotInstalledLog = "CKivoDlg::OnUnInstallOrvApp 程序未安装!";
// The idle priority of installer downloads.
inline constexpr int kInstallerDownloadPriority = -15;

// The decision for `action` on `app` (looked up in its list) with the session as it is. A
// desktop activation reads the record's DisplayIcon registration and its installer file.
ActionPlan PlanAction(AppAction action, const OrvAppInfo& app, const UserSession& session);
// After the login dialog, still signed out: the text the action shows.
ActionPlan PlanAfterRefusedLogin(AppAction action);

// The share page of a web application with the cookie key, on the platform web server.
std::string SharePageUrl(const std::string& cookieKey, const std::string& appid);

// Starts `program` with `parameters` through the shell; false (nothing started) when the
// file does not exist.
bool RunLocalProgram(const std::string& program, const std::string& parameters);
