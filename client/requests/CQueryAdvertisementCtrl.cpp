#include "client/requests/CQueryAdvertisementCtrl.h"

#include "client/base/ServerConfig.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/RequestText.h"
#include "platform/ProgramDir.h"

std::string CQueryAdvertisementCtrl::DefaultUrl() {
  return ServerUrl(ServerKind::Portal, server_paths::kAdvertisement);
}

void CQueryAdvertisementCtrl::Parse() {
  apps.clear();
  advLinks.clear();
  advOrder.clear();
  if (!root.isObject()) {
    LogError("解析广告信息时出错！");
    return;
  }
  const Json::Value& data = orvreq::JsonMember(root, "data");
  if (!data.isArray()) return;
  for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
    const Json::Value& item = data[i];
    const int xh = orvreq::JsonDecimal(item, "xh");
    const std::string file = orvreq::JsonString(item, "advfilepath");
    const std::string link = orvreq::JsonString(item, "advlink");
    advOrder.push_back(xh);

    // "<xh>-<hash of the URL>.<extension>", a lone "." when the image path has no usable
    // extension: a banner whose picture changes its URL is fetched anew.
    std::string fileName = std::to_string(xh) + "-" + ImageCacheName(file);
    if (fileName.find('.') == std::string::npos) fileName += '.';
    OrvAppInfo app;
    app.isopen = "1";
    app.img = file;
    app.iconPath = plat::JoinProgramPath(std::string(kFolder) + fileName);
    app.forceDownload = true;
    apps.push_back(std::move(app));
    advLinks.emplace(fileName, link);  // a repeated file name keeps its first link
  }
}
