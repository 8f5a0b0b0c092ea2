// orvanta-cli commands of the request layer: the catalogue lists, subscriptions, the banner
// list, the service desk's requests, the application-use report and the push channel.
// Icon and banner pictures go through an image fetcher; the command waits for them before
// it prints.
#include <json/json.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "CliCommand.h"
#include "client/base/UserSession.h"
#include "client/requests/AppListCtrls.h"
#include "client/requests/CLoginTcpSocket.h"
#include "client/requests/CQueryAdvertisementCtrl.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/ReportCtrls.h"
#include "client/requests/ServiceDeskCtrls.h"
#include "client/requests/SubscriptionCtrls.h"

namespace {

// Registers an image fetcher for the life of the object and waits for its fetches when it
// ends.
class DownloadScope {
 public:
  DownloadScope() : m_fetcher(nullptr), m_registration(m_fetcher) {}
  ~DownloadScope() { m_fetcher.WaitIdle(std::chrono::minutes(2)); }

 private:
  ImageFetcher m_fetcher;
  ProcessImageFetcherScope m_registration;  // ends before the fetcher
};

// A request that failed: an unusable answer is printed as {"error": ...} on stdout, no
// answer is reported on stderr. Exit status 1 either way.
int RequestFailed(const COrvAppCtrl& ctrl) {
  if (ctrl.lastResult.status == RequestStatus::Unusable) {
    Json::Value v;
    v["error"] =
        std::string(RequestStatusText(ctrl.lastResult.status)) + ": " + ctrl.lastResult.reason;
    v["url"] = ctrl.url;
    PrintJson(v);
    return 1;
  }
  return Failure("no answer from " + ctrl.url);
}

Json::Value AppJson(const OrvAppInfo& app) {
  Json::Value v;
  v["appid"] = app.appid;
  v["name"] = app.name;
  v["xh"] = app.xh;
  v["url"] = app.url;
  v["type"] = app.type;
  v["remark"] = app.remark;
  v["money"] = app.money;
  v["isopen"] = app.isopen;
  v["img"] = app.img;
  v["code"] = app.code;
  v["downurl"] = app.downurl;
  v["filesize"] = app.filesize;
  v["version"] = app.version;
  v["iconPath"] = app.iconPath;
  v["setupPath"] = app.setupPath;
  v["forceDownload"] = app.forceDownload;
  return v;
}

Json::Value AppsJson(const std::vector<OrvAppInfo>& apps) {
  Json::Value list(Json::arrayValue);
  for (const OrvAppInfo& app : apps) list.append(AppJson(app));
  return list;
}

// A whole decimal int; a number out of range is refused rather than cut to another id.
bool ParseInt(const std::string& text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

int RunApps(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("usage: apps hot|all-web|all-client|my-web|my-client");
  const std::string& which = args[0];
  std::unique_ptr<COrvAppListCtrl> ctrl;
  if (which == "hot")
    ctrl = std::make_unique<CHotAppCtrl>();
  else if (which == "all-web")
    ctrl = std::make_unique<CAllWebAppCtrl>();
  else if (which == "all-client")
    ctrl = std::make_unique<CAllClientAppCtrl>();
  else if (which == "my-web")
    ctrl = std::make_unique<CPrivateWebAppCtrl>();
  else if (which == "my-client")
    ctrl = std::make_unique<CPrivateDesktopAppCtrl>();
  else
    return UsageError("usage: apps hot|all-web|all-client|my-web|my-client");
  RequestResult result;
  {
    DownloadScope downloads;
    result = ctrl->RunDefault();
  }
  if (!result) return RequestFailed(*ctrl);
  Json::Value v;
  v["list"] = which;
  if (which != "hot") {
    v["page"] = ctrl->page;
    v["count"] = ctrl->count;
    v["tpage"] = ctrl->tpage;
  }
  v["tcount"] = ctrl->tcount;
  v["folder"] = ctrl->folder;
  v["apps"] = AppsJson(ctrl->apps);
  PrintJson(v);
  return 0;
}

template <class Ctrl>
int RunSubscription(const std::vector<std::string>& args, const char* name) {
  int appid = 0;
  if (args.size() != 1 || !ParseInt(args[0], appid))
    return UsageError(std::string("usage: ") + name + " APPID");
  Ctrl ctrl;
  if (ctrl.RunFor(appid).status == RequestStatus::Unusable) return RequestFailed(ctrl);
  Json::Value v;
  v["appid"] = appid;
  v["statusText"] = ctrl.statusText;
  v["success"] = ctrl.statusText == Ctrl::kSuccessText;
  PrintJson(v);
  return ctrl.statusText.empty() ? 1 : 0;
}

int RunAdv(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("usage: adv");
  CQueryAdvertisementCtrl ctrl;
  RequestResult result;
  {
    DownloadScope downloads;
    result = ctrl.RunDefault();
  }
  if (!result) return RequestFailed(ctrl);
  Json::Value v;
  Json::Value order(Json::arrayValue);
  for (int xh : ctrl.advOrder) order.append(xh);
  v["advOrder"] = order;
  Json::Value links(Json::objectValue);
  for (const auto& [file, link] : ctrl.advLinks) links[file] = link;
  v["advLinks"] = links;
  v["apps"] = AppsJson(ctrl.apps);
  PrintJson(v);
  return 0;
}

int RunServices(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("usage: services");
  CQueryCustomerServiceCtrl ctrl;
  if (!ctrl.RunDefault()) return RequestFailed(ctrl);
  Json::Value v;
  v["infoFlag"] = ctrl.infoFlag;
  v["infoText"] = ctrl.infoText;
  Json::Value list(Json::arrayValue);
  for (const auto& s : ctrl.services) {
    Json::Value item;
    item["id"] = s.id;
    item["cpmc"] = s.cpmc;
    list.append(item);
  }
  v["services"] = list;
  PrintJson(v);
  return 0;
}

int RunEnterprise(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("usage: enterprise NSRSBH");
  CQueryEnterpriseInfoCtrl ctrl;
  if (!ctrl.RunFor(args[0])) return RequestFailed(ctrl);
  Json::Value v;
  v["lxrmc"] = ctrl.lxrmc;
  v["nsrmc"] = ctrl.nsrmc;
  v["nsrsbh"] = ctrl.nsrsbh;
  v["lxrdh"] = ctrl.lxrdh;
  v["lxrdz"] = ctrl.lxrdz;
  v["infoText"] = ctrl.infoText;
  v["infoFlag"] = ctrl.infoFlag;
  PrintJson(v);
  return 0;
}

int RunWorkOrder(const std::vector<std::string>& args) {
  if (args.size() != 6) return UsageError("usage: work-order NSRSBH NSRMC LXRMC LXRDH LXRDZ BZ");
  CQueryWorkOrderCtrl ctrl;
  if (!ctrl.RunFor({args[0], args[1], args[2], args[3], args[4], args[5]}))
    return RequestFailed(ctrl);
  Json::Value v;
  v["infoText"] = ctrl.infoText;
  v["infoFlag"] = ctrl.infoFlag;
  PrintJson(v);
  return 0;
}

int RunAppLog(const std::vector<std::string>& args) {
  OrvAppInfo app;
  int appwz = 0, appclienttype = 0;
  if (args.size() != 5 || !ParseInt(args[0], app.appid) || !ParseInt(args[3], appwz) ||
      !ParseInt(args[4], appclienttype))
    return UsageError("usage: applog APPID TYPE VERSION APPWZ APPCLIENTTYPE");
  app.type = args[1];
  app.version = args[2];
  COrvAppLogCtrl ctrl(app, appwz, appclienttype);
  if (ctrl.Send().status == RequestStatus::Unusable) return RequestFailed(ctrl);
  Json::Value v;
  v["body"] = "{" + COrvAppLogCtrl::Body(app, appwz, appclienttype) + "}";
  v["answered"] = !ctrl.responseText.empty();
  PrintJson(v);
  return ctrl.responseText.empty() ? 1 : 0;
}

int RunPush(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  std::string countText, timeoutText;
  int count = 0, timeoutSec = 0;
  if (TakeOption(args, "--count", countText) && (!ParseInt(countText, count) || count < 1))
    return UsageError("--count needs a positive number");
  if (TakeOption(args, "--timeout", timeoutText) &&
      (!ParseInt(timeoutText, timeoutSec) || timeoutSec < 1))
    return UsageError("--timeout needs a positive number of seconds");
  if (args.size() != 1 || args[0] != "listen")
    return UsageError("usage: push listen [--count N] [--timeout SECONDS]");

  std::mutex mutex;
  std::condition_variable delivered;
  int received = 0;
  CLoginTcpSocket channel([&](const PushMessage& m) {
    Json::Value v;
    v["title"] = m.title;
    v["content"] = m.content;
    v["url"] = m.url;
    std::lock_guard lock(mutex);
    PrintJson(v);
    ++received;
    delivered.notify_all();
  });
  channel.StartPushThread();
  std::unique_lock lock(mutex);
  auto done = [&] { return (count > 0 && received >= count) || !channel.started; };
  if (timeoutSec > 0)
    delivered.wait_for(lock, std::chrono::seconds(timeoutSec), done);
  else
    while (!delivered.wait_for(lock, std::chrono::milliseconds(200), done)) {
    }
  const bool channelEnded = !channel.started;
  lock.unlock();
  channel.Stop();
  if (channelEnded && (count == 0 || received < count))
    return Failure("could not connect to the push server");
  if (count > 0 && received < count)
    return Failure("fewer messages than expected before the timeout");
  return 0;
}

CliRegistration appsCommand({"apps", "apps hot|all-web|all-client|my-web|my-client", RunApps});
CliRegistration subscribeCommand({"subscribe", "subscribe APPID", [](const auto& a) {
                                    return RunSubscription<CAddOrvAppCtrl>(a, "subscribe");
                                  }});
CliRegistration unsubscribeCommand({"unsubscribe", "unsubscribe APPID", [](const auto& a) {
                                      return RunSubscription<CDeleteOrvAppCtrl>(a, "unsubscribe");
                                    }});
CliRegistration advCommand({"adv", "adv", RunAdv});
CliRegistration servicesCommand({"services", "services", RunServices});
CliRegistration enterpriseCommand({"enterprise", "enterprise NSRSBH", RunEnterprise});
CliRegistration workOrderCommand({"work-order", "work-order NSRSBH NSRMC LXRMC LXRDH LXRDZ BZ",
                                  RunWorkOrder});
CliRegistration appLogCommand({"applog", "applog APPID TYPE VERSION APPWZ APPCLIENTTYPE",
                               RunAppLog});
CliRegistration pushCommand({"push", "push listen [--count N] [--timeout SECONDS]", RunPush});

}  // namespace
