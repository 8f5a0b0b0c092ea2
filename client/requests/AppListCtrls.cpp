#include "client/requests/AppListCtrls.h"

#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/RequestText.h"
#include "platform/ProgramDir.h"

using orvreq::JsonDecimal;
using orvreq::JsonMember;
using orvreq::JsonString;

namespace {

constexpr const char* kPrivateDesktopError = "解析我的桌面应用时出错！";
constexpr const char* kPrivateWebError = "解析我的网页应用时出错！";
constexpr const char* kCatalogueError = "解析热点应用时出错！";

std::string PrivateFolder(const char* base, const UserSession& session) {
  return std::string(base) + orvreq::FileNamePart(session.userName) + "\\";
}

}  // namespace

std::string PrivateAppListUrl(const char* path, const std::string& cookieKey) {
  const std::string in = "{\"page\":1,\"ckey\":" + orvreq::JsonQuoted(cookieKey) + "}";
  return ServerUrl(ServerKind::App, std::string(path) + "?in=" + orvreq::QueryValue(in));
}

COrvAppListCtrl::COrvAppListCtrl(DetailRule rule, bool hotList, const char* errorText)
    : m_rule(rule), m_hotList(hotList), m_errorText(errorText) {}

RequestResult COrvAppListCtrl::RunDefault() { return Run(DefaultUrl(), DefaultFolder()); }

void COrvAppListCtrl::ReadDetails(const Json::Value& detail, OrvAppInfo& app) const {
  app.url = JsonString(detail, "url");
  app.remark = JsonString(detail, "remark");
  app.money = JsonString(detail, "money");
  app.img = JsonString(detail, "img");
  app.type = JsonString(detail, "type");
  if (app.type == "client") {
    app.code = JsonString(detail, "code");
    app.filesize = JsonString(detail, "filesize");
    app.version = JsonString(detail, "version");
    app.downurl = JsonString(detail, "downurl");
  }
  if (m_hotList && app.type == "app") app.isopen = JsonString(detail, "isopen");
}

void COrvAppListCtrl::ReadCounts(const Json::Value& head) {
  if (!m_hotList) {
    page = JsonDecimal(head, "page");
    count = JsonDecimal(head, "count");
    tpage = JsonDecimal(head, "tpage");
  }
  tcount = JsonDecimal(head, "tcount");
}

OrvAppInfo COrvAppListCtrl::ReadItem(const Json::Value& item) const {
  OrvAppInfo app;
  const Json::Value& first = JsonMember(item, "0");
  const Json::Value& second = JsonMember(item, "1");
  if (m_rule == DetailRule::FirstFilled) {
    if (orvreq::HasMembers(first))
      ReadDetails(first, app);
    else if (orvreq::HasMembers(second))
      ReadDetails(second, app);
  } else {
    if (orvreq::HasMembers(first)) ReadDetails(first, app);
    if (orvreq::HasMembers(second)) ReadDetails(second, app);
  }
  app.appid = JsonDecimal(item, "appid");
  app.name = JsonString(item, "name");
  app.xh = JsonString(item, "xh");
  // Named after the icon's URL: an icon of another catalogue never stands in for it.
  app.iconPath = plat::JoinProgramPath(folder + ImageCacheName(app.img));
  app.setupPath = plat::JoinProgramPath("\\LumoDownloads\\" +
                                        orvreq::FileNamePart(app.name + app.version) + ".exe");
  app.forceDownload = false;
  return app;
}

void COrvAppListCtrl::Parse() {
  if (!root.isObject()) {
    LogError(m_errorText);
    return;
  }
  apps.clear();
  ReadCounts(root);
  const Json::Value& data = JsonMember(root, "data");
  if (!data.isArray()) return;
  apps.reserve(data.size());
  for (Json::ArrayIndex i = 0; i < data.size(); ++i) apps.push_back(ReadItem(data[i]));
}

// A catalogue of tens of thousands of records: each record's tree lives only while it is read.
bool COrvAppListCtrl::ReadStreamed(std::string_view text) {
  Json::Value head(Json::objectValue);
  std::vector<OrvAppInfo> read;
  const bool ok = orvreq::StreamJsonObject(
      text, "data",
      [&](const std::string& key, Json::Value& value) { head[key] = std::move(value); },
      [&](Json::Value& item) { read.push_back(ReadItem(item)); }, &readerFeatures);
  if (!ok) return false;
  ReadCounts(head);
  root = std::move(head);
  apps = std::move(read);
  return true;
}

CPrivateDesktopAppCtrl::CPrivateDesktopAppCtrl()
    : COrvAppListCtrl(DetailRule::FirstFilled, false, kPrivateDesktopError) {}

std::string CPrivateDesktopAppCtrl::DefaultUrl() const {
  return PrivateAppListUrl(server_paths::kMyClientApps, CurrentSession().cookieKey);
}

std::string CPrivateDesktopAppCtrl::DefaultFolder() const { return FolderOf(CurrentSession()); }

std::string CPrivateDesktopAppCtrl::FolderOf(const UserSession& session) {
  return PrivateFolder("\\PrivateDesktopApp\\", session);
}

CPrivateWebAppCtrl::CPrivateWebAppCtrl()
    : COrvAppListCtrl(DetailRule::MergeSecondOverFirst, false, kPrivateWebError) {}

std::string CPrivateWebAppCtrl::DefaultUrl() const {
  return PrivateAppListUrl(server_paths::kMyWebApps, CurrentSession().cookieKey);
}

std::string CPrivateWebAppCtrl::DefaultFolder() const { return FolderOf(CurrentSession()); }

std::string CPrivateWebAppCtrl::FolderOf(const UserSession& session) {
  return PrivateFolder("\\PrivateWebApp\\", session);
}

CHotAppCtrl::CHotAppCtrl() : COrvAppListCtrl(DetailRule::FirstFilled, true, kCatalogueError) {}

std::string CHotAppCtrl::DefaultUrl() const {
  return ServerUrl(ServerKind::App, server_paths::kHotApps);
}

CAllClientAppCtrl::CAllClientAppCtrl()
    : COrvAppListCtrl(DetailRule::FirstFilled, false, kCatalogueError) {}

std::string CAllClientAppCtrl::DefaultUrl() const {
  return ServerUrl(ServerKind::App, server_paths::kAllClientApps);
}

CAllWebAppCtrl::CAllWebAppCtrl()
    : COrvAppListCtrl(DetailRule::MergeSecondOverFirst, false, kCatalogueError) {}

std::string CAllWebAppCtrl::DefaultUrl() const {
  return ServerUrl(ServerKind::App, server_paths::kAllWebApps);
}
