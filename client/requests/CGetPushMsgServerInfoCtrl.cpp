#include "client/requests/CGetPushMsgServerInfoCtrl.h"

#include "client/base/ServerConfig.h"
#include "client/requests/RequestText.h"

namespace {

// Text of a member that should be a string; a number is taken as its decimal text.
std::string TextOrNumber(const Json::Value& obj, const char* key) {
  const Json::Value& v = orvreq::JsonMember(obj, key);
  if (v.isIntegral()) return std::to_string(v.asLargestInt());
  return v.isString() ? v.asString() : std::string();
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
  serverIp = TextOrNumber(root, "serverip");
  serverPort = TextOrNumber(root, "serverport");
}
