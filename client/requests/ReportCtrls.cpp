#include "client/requests/ReportCtrls.h"

#include "client/base/JsonText.h"
#include "client/base/MachineIdentity.h"
#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/RequestText.h"

namespace {

// "key":value, the value escaped between quotes or null when empty.
std::string Member(const char* key, const std::string& value) {
  return std::string("\"") + key + "\":" + JsonText(value);
}

std::string ReportUrl(ServerKind kind, const char* path, const std::string& body) {
  return ServerUrl(kind, std::string(path) + "?jsonPost=" + orvreq::QueryValue("{" + body + "}"));
}

}  // namespace

COrvAppLogCtrl::COrvAppLogCtrl(const OrvAppInfo& app, int appwz, int appclienttype)
    : m_body(Body(app, appwz, appclienttype)) {}

std::string COrvAppLogCtrl::Body(const OrvAppInfo& app, int appwz, int appclienttype) {
  return Member("userName", GetUserDisplayName(CurrentSession())) + "," +
         Member("ip", GetLocalIpAddress()) + "," + Member("mac", GetMacAddress()) + "," +
         Member("ipwz", "") + "," + Member("appid", DecimalText(app.appid)) + "," +
         Member("apptype", app.type) + "," + Member("appwz", DecimalText(appwz)) + "," +
         Member("appclienttype", DecimalText(appclienttype)) + "," + Member("version", app.version);
}

std::string COrvAppLogCtrl::UrlFor(const std::string& body) {
  return ReportUrl(ServerKind::Log, server_paths::kAppLog, body);
}

COtherSoftwareInfoCtrl::COtherSoftwareInfoCtrl(const std::array<std::string, 8>& products)
    : userName(GetUserDisplayName(CurrentSession())),
      ip(GetLocalIpAddress()),
      mac(GetMacAddress()),
      ufidaU8(products[0]),
      ufidaT6(products[1]),
      ufidaT3(products[2]),
      kingdeePro(products[3]),
      kingdeeStd(products[4]),
      kingdeeMini(products[5]),
      graspFinance(products[6]),
      graspPersonal(products[7]) {}

std::string COtherSoftwareInfoCtrl::Body() const {
  const std::array<const std::string*, 8> values = {&ufidaU8,      &ufidaT6,      &ufidaT3,
                                                    &kingdeePro,   &kingdeeStd,   &kingdeeMini,
                                                    &graspFinance, &graspPersonal};
  std::string body =
      Member("userName", userName) + "," + Member("ip", ip) + "," + Member("mac", mac) + ",";
  for (size_t i = 0; i < values.size(); ++i) body += Member(kProductNames[i], *values[i]) + ",";
  body.pop_back();  // no comma after the last member
  return body;
}

std::string COtherSoftwareInfoCtrl::UrlFor(const std::string& body) {
  return ReportUrl(ServerKind::Diagnosis, server_paths::kSoftwareReport, body);
}

void COtherSoftwareInfoCtrl::Parse() {
  if (!root.isObject()) return;
  success = orvreq::JsonString(root, "hintInfo") == "操作成功";
}
