#include "client/requests/SubscriptionCtrls.h"

#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/RequestText.h"

namespace {

std::string SubscriptionUrl(const char* path, int appid, const std::string& cookieKey) {
  const std::string in =
      "{\"appid\":" + std::to_string(appid) + ",\"ckey\":" + orvreq::JsonQuoted(cookieKey) + "}";
  return ServerUrl(ServerKind::App, std::string(path) + "?in=" + orvreq::QueryValue(in));
}

}  // namespace

CSubscriptionCtrl::CSubscriptionCtrl(const char* confirmed, const char* already,
                                     const char* refused)
    : m_texts{confirmed, already, refused} {}

void CSubscriptionCtrl::Parse() {
  if (!root.isObject()) return;
  // Only the string codes count; a numeric status is none of them.
  const std::string status = orvreq::JsonString(root, "status");
  const Status known = status == "1"    ? Status::Confirmed
                       : status == "2"  ? Status::Already
                       : status == "-1" ? Status::Refused
                                        : Status::None;
  if (known == Status::None) return;
  this->status = known;
  statusText = m_texts[static_cast<int>(known) - 1];
}

CAddOrvAppCtrl::CAddOrvAppCtrl()
    : CSubscriptionCtrl(kSuccessText, "已安装过应用", "安装验证失败") {}

std::string CAddOrvAppCtrl::UrlFor(int appid, const std::string& cookieKey) {
  return SubscriptionUrl(server_paths::kAddApp, appid, cookieKey);
}

RequestResult CAddOrvAppCtrl::RunFor(int appid) {
  return Run(UrlFor(appid, CurrentSession().cookieKey), kFolder);
}

CDeleteOrvAppCtrl::CDeleteOrvAppCtrl()
    : CSubscriptionCtrl(kSuccessText, "用户无此应用", "验证失败") {}

std::string CDeleteOrvAppCtrl::UrlFor(int appid, const std::string& cookieKey) {
  return SubscriptionUrl(server_paths::kDeleteApp, appid, cookieKey);
}

RequestResult CDeleteOrvAppCtrl::RunFor(int appid) {
  return Run(UrlFor(appid, CurrentSession().cookieKey), kFolder);
}
