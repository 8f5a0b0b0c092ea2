#include "client/requests/CGetPushMsgServerInfoCtrl.h"

#include "client/base/ServerConfig.h"
#include "client/requests/RequestText.h"

namespace {

// Text of a member that should be a string; a whole number is taken as its decimal text,
// whatever its size. false for any other value (a fraction, an object).
bool TextOrNumber(const Json::Value& obj, const char* key, std::string& text) {
  const Json::Value& v = orvreq::JsonMember(obj, key);
  text.clear();
  if (v.isNull() || v.isString()) {
    if (v.isString()) text = v.asString();
    return true;
  }
  if (v.isInt64()) {
    text = std::to_string(v.asInt64());
    return true;
  }
  if (v.isUInt64()) {
    text = std::to_string(v.asUInt64());
    return true;
  }
  return false;
}

}  // namespace

std::string CGetPushMsgServerInfoCtrl::DefaultUrl() {
  return ServerUrl(ServerKind::Message, server_paths::kPushServerInfo);
}

void CGetPushMsgServerInfoCtrl::Parse() {
  if (!root.isObject()) return;
  success = orvreq::JsonTruth(root, "success");
  if (!success) {
    serverIp.clear();
    serverPort.clear();
    return;
  }
  if (!TextOrNumber(root, "serverip", serverIp) || !TextOrNumber(root, "serverport", serverPort)) {
    serverIp.clear();
    serverPort.clear();
    MarkUnusable("server address is not text or a whole number");
    return;
  }
  if (!serverPort.empty() && PortNumber(serverPort) == 0) {
    MarkUnusable("port out of range: " + serverPort.substr(0, 32));
    serverIp.clear();
    serverPort.clear();
  }
}

int CGetPushMsgServerInfoCtrl::PortNumber(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return 0;
  const std::string digits = text.substr(begin, end - begin + 1);
  if (digits.size() > 5) return 0;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port >= 1 && port <= 65535 ? port : 0;
}
