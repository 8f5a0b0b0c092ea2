#pragma once
// The client's names for the platform's shell and text services (UTF-8 inside, GBK at
// files and peers; the conversion itself is the platform's one pair).
#include <string>

#include "client/base/CThreadLog.h"
#include "platform/Encoding.h"
#include "platform/LinkGate.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"

// The system's text for an error code (errno); "" when it has none.
inline std::string GetLastErrorText(int code) { return plat::SystemErrorText(code); }
inline std::string Utf8ToGbk(const std::string& utf8) { return plat::Utf8ToGbk(utf8); }
inline std::string GbkToUtf8(const std::string& gbk) { return plat::GbkToUtf8(gbk); }
// Logs a link the gate refused, its control and non-ASCII bytes shown as \xNN so that it
// cannot forge log lines. True when the link is allowed.
inline bool LinkAllowedOrLogged(const std::string& url) {
  const plat::LinkVerdict verdict = plat::CheckLink(url);
  if (verdict == plat::LinkVerdict::Allowed) return true;
  std::string shown;
  for (char c : url.substr(0, 512)) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7f) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
    } else {
      shown += c;
    }
  }
  CThreadLog::Instance()->Write(std::string("link refused (") + plat::LinkVerdictText(verdict) +
                                "): " + shown);
  return false;
}
// Opens a URL in the browser. True when the link gate allowed it and a browser was started.
inline bool OpenUrl(const std::string& url) {
  return LinkAllowedOrLogged(url) && plat::OpenUrlInBrowser(url);
}
// Opens a URL carrying a session key through a private redirect page, so that no command
// line shows it.
inline bool OpenUrlPrivately(const std::string& url) {
  return LinkAllowedOrLogged(url) && plat::OpenUrlThroughPrivatePage(url);
}
