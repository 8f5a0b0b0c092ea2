#pragma once
// One entry of the platform's application catalogue, as the list controllers parse it.
// All text is UTF-8; paths are full native paths under the program directory.
#include <string>

struct OrvAppInfo {
  virtual ~OrvAppInfo() = default;

  int appid = 0;
  std::string name;
  std::string xh;  // serial number in the list: the key views and actions find records by
  std::string url;
  std::string type;  // "client" (desktop) or "app" (web)
  std::string remark;
  std::string money;
  std::string isopen;
  std::string img;   // icon URL
  std::string code;  // the program's key under the Uninstall registry (desktop apps)
  std::string downurl;
  std::string filesize;
  std::string version;
  std::string iconPath;        // local icon file
  std::string setupPath;       // local installer file under LumoDownloads
  bool forceDownload = false;  // fetch the icon even when iconPath exists
};

// Queued input of one application-use report.
struct S_OrvAppLogRequestInfo {
  virtual ~S_OrvAppLogRequestInfo() = default;
  virtual int GetKind() const { return 2; }

  OrvAppInfo app;
  int appwz = 0;
  int appclienttype = 0;
};
