#include "client/base/PushSettings.h"

#include "client/base/CIniFile.h"
#include "client/base/JsonText.h"
#include "client/base/ServerConfig.h"

namespace {

constexpr const char* kConfigIni = "\\image\\config.ini";
constexpr int kDefaultPushPort = 81;

}  // namespace

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
