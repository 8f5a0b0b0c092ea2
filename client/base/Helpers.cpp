#include "client/base/Helpers.h"

#include <cstdio>
#include <cstdlib>

#include "client/base/CIniFile.h"
#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "platform/Encoding.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"

namespace {

constexpr const char* kConfigIni = "\\image\\config.ini";
constexpr int kDefaultPushPort = 81;

}  // namespace

std::string GetOwnVersion() {
  // The project version has up to four dot-separated parts; missing ones are 0.
  int parts[4] = {0, 0, 0, 0};
  const char* p = ORV_VERSION;
  for (int i = 0; i < 4 && *p; ++i) {
    parts[i] = std::atoi(p);
    while (*p && *p != '.') ++p;
    if (*p == '.') ++p;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
  return text;
}

std::string GetExecutableName() { return "Orvanta.exe"; }

std::string GetLocalIpAddress() { return plat::LocalIpAddress(); }

std::string GetMacAddress() { return plat::LocalMacAddress(); }

std::string GetUserDisplayName(const UserSession& session) {
  return session.loggedIn == 1 ? session.userName : "未登录用户";
}

std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

std::string JsonText(const std::string& text) { return text.empty() ? "null" : JsonQuoted(text); }

std::string DecimalText(int value) { return std::to_string(value); }

std::string GetLastErrorText(int code) { return plat::SystemErrorText(code); }

std::string Utf8ToGbk(const std::string& utf8) { return plat::Utf8ToGbk(utf8); }

std::string GbkToUtf8(const std::string& gbk) { return plat::GbkToUtf8(gbk); }

bool OpenUrl(const std::string& url) { return plat::OpenUrlInBrowser(url); }

int GetPushListenPort() {
  CIniFile ini(kConfigIni);
  int port = ini.ReadInt("Server", "ListenPortNum");
  if (port != 0) return port;
  ini.WriteString("Server", "ListenPortNum", DecimalText(kDefaultPushPort));
  return kDefaultPushPort;
}

std::string GetPushListenAddress() {
  std::string address = CIniFile(kConfigIni).ReadString("Server", "ListenIpAddr");
  return address.empty() ? DefaultPushServerHost() : address;
}
