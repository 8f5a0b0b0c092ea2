#pragma once
// The client's names for the platform's shell and text services (UTF-8 inside, GBK at
// files and peers; the conversion itself is the platform's one pair).
#include <string>

#include "platform/Encoding.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"

// The system's text for an error code (errno); "" when it has none.
inline std::string GetLastErrorText(int code) { return plat::SystemErrorText(code); }
inline std::string Utf8ToGbk(const std::string& utf8) { return plat::Utf8ToGbk(utf8); }
inline std::string GbkToUtf8(const std::string& gbk) { return plat::GbkToUtf8(gbk); }
// Opens a URL in the browser. True when a browser was started.
inline bool OpenUrl(const std::string& url) { return plat::OpenUrlInBrowser(url); }
