#include "client/requests/ServiceDeskCtrls.h"

#include "client/base/ServerConfig.h"
#include "client/requests/RequestText.h"

using orvreq::JsonMember;
using orvreq::JsonString;
using orvreq::JsonTruth;
using orvreq::QueryValue;

namespace {

constexpr const char* kEnterpriseError = "解析查询企业信息时出错！";

// The "info" member every OA answer carries: its text and its truth value.
void ReadInfo(const Json::Value& root, std::string& text, bool& flag) {
  text = JsonString(root, "info");
  flag = JsonTruth(root, "info");
}

}  // namespace

std::string CQueryCustomerServiceCtrl::DefaultUrl() {
  return ServerUrl(ServerKind::Oa, server_paths::kCustomerService);
}

void CQueryCustomerServiceCtrl::Parse() {
  infoFlag = false;
  infoText.clear();
  services.clear();
  if (!root.isObject()) {
    LogError("解析客户服务信息时出错！");
    return;
  }
  ReadInfo(root, infoText, infoFlag);
  const Json::Value& data = JsonMember(root, "data");
  if (!data.isArray()) return;
  for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
    services.push_back({orvreq::JsonDecimal(data[i], "id"), JsonString(data[i], "cpmc")});
  }
}

std::string CQueryEnterpriseInfoCtrl::UrlFor(const std::string& taxpayerId) {
  return ServerUrl(ServerKind::Oa, std::string(server_paths::kEnterpriseInfo) +
                                       "?nsrsbh=" + QueryValue(taxpayerId) + "&callback=");
}

void CQueryEnterpriseInfoCtrl::Parse() {
  lxrmc.clear();
  nsrmc.clear();
  nsrsbh.clear();
  lxrdh.clear();
  lxrdz.clear();
  infoText.clear();
  infoFlag = false;
  if (!root.isObject()) {
    LogError(kEnterpriseError);
    return;
  }
  ReadInfo(root, infoText, infoFlag);
  const Json::Value& data = JsonMember(root, "data");
  if (!orvreq::HasMembers(data)) return;
  lxrmc = JsonString(data, "lxrmc");
  nsrmc = JsonString(data, "nsrmc");
  nsrsbh = JsonString(data, "nsrsbh");
  lxrdh = JsonString(data, "lxrdh");
  lxrdz = JsonString(data, "lxrdz");
}

std::string CQueryWorkOrderCtrl::UrlFor(const WorkOrderForm& form) {
  return ServerUrl(ServerKind::Oa,
                   std::string(server_paths::kWorkOrder) + "?nsrsbh=" + QueryValue(form.nsrsbh) +
                       "&nsrmc=" + QueryValue(form.nsrmc) + "&lxrmc=" + QueryValue(form.lxrmc) +
                       "&lxrdh=" + QueryValue(form.lxrdh) + "&lxrdz=" + QueryValue(form.lxrdz) +
                       "&bz=" + QueryValue(form.bz));
}

void CQueryWorkOrderCtrl::Parse() {
  infoText.clear();
  infoFlag = false;
  if (!root.isObject()) {
    LogError(kEnterpriseError);
    return;
  }
  ReadInfo(root, infoText, infoFlag);
}
