// The app-centre page rebuilt with a catalogue of N applications (default 1,000):
//   views_bench [N] [rounds]
// Prints the median time of a rebuild (old tiles destroyed, new tiles made, placed, their
// state worked out, the visible part painted) beside the median time to parse the same
// catalogue answer, and the memory the page takes with N tiles over the empty page
// (resident set, after every tile has been painted once with its icon).
#include <json/json.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollArea>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "client/base/UserSession.h"
#include "client/requests/AppListCtrls.h"
#include "client/ui/shell/IKivoHost.h"
#include "client/ui/views/CAppCenterDlg.h"
#include "controls/SkinFonts.h"
#include "platform/ProgramDir.h"

namespace {

class BenchHost final : public IKivoHost {
 public:
  QWidget* HostWidget() override { return &window; }
  const UserSession& Session() const override { return session; }
  bool RequestList(AppListKind, QObject*, ListAnswer) override { return false; }
  const AppList& HeldList(AppListKind kind) const override { return lists[static_cast<int>(kind)]; }
  bool SendAppAction(AppAction, const AppRecord&, AppListKind) override { return true; }
  void OpenLoginDialog(bool) override {}
  int DownloadFile(const std::string&, const std::string&, int) override { return 0; }
  void QueueAppLog(const S_OrvAppLogRequestInfo&) override {}
  void SwitchToPage(int) override {}
  void RebuildMyApps() override {}

  QWidget window;
  UserSession session;
  AppList lists[5];
};

// A catalogue answer as the app server sends it.
std::string CatalogueJson(int n) {
  Json::Value root;
  root["page"] = "1";
  root["count"] = std::to_string(n);
  root["tpage"] = "1";
  root["tcount"] = std::to_string(n);
  Json::Value& data = root["data"];
  for (int i = 0; i < n; ++i) {
    Json::Value item;
    item["appid"] = std::to_string(1000 + i);
    item["name"] = "财务应用" + std::to_string(i);
    item["xh"] = std::to_string(i + 1);
    Json::Value d;
    d["url"] = "";
    d["remark"] = "适合小微企业的记账与报税工具，第" + std::to_string(i) + "号";
    d["money"] = "免费";
    d["img"] = "http://127.0.0.1:9/icons/" + std::to_string(1000 + i) + "/icon.png";
    d["type"] = "client";
    d["code"] = "Bench" + std::to_string(i);
    d["filesize"] = "12.5MB";
    d["version"] = "1.0." + std::to_string(i % 10);
    d["downurl"] = "http://127.0.0.1:9/downloads/" + std::to_string(1000 + i) + "/setup.exe";
    item["0"] = d;
    item["1"] = Json::Value(Json::objectValue);
    data.append(item);
  }
  return Json::FastWriter().write(root);
}

double RssMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096.0 / (1024 * 1024);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void DrainDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

  QTemporaryDir dir;
  plat::SetProgramDirectory(dir.path().toStdString());
  qputenv("ORVANTA_REGISTRY_ROOT", (dir.path() + "/registry").toUtf8());
  QDir().mkpath(dir.path() + "/registry");

  // Parse: the JSON answer read into records, as a list request does after its fetch.
  const std::string json = CatalogueJson(n);
  std::vector<double> parseMs;
  CAllClientAppCtrl ctrl;
  for (int r = 0; r < rounds; ++r) {
    QElapsedTimer t;
    t.start();
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    ctrl.root = Json::Value();
    reader->parse(json.data(), json.data() + json.size(), &ctrl.root, &errors);
    ctrl.folder = "\\AllClientApp\\";
    ctrl.Parse();
    parseMs.push_back(t.nsecsElapsed() / 1e6);
  }

  BenchHost host;
  AppList& all = host.lists[static_cast<int>(AppListKind::AllDesktop)];
  for (const OrvAppInfo& info : ctrl.apps)
    all.records.push_back(std::make_shared<OrvAppInfo>(info));
  // Every tenth application is the user's, so its state is looked up in the registry.
  AppList& mine = host.lists[static_cast<int>(AppListKind::PrivateDesktop)];
  for (int i = 0; i < n; i += 10) mine.records.push_back(all.records[i]);
  // Icons exist for every application: painting loads them.
  QImage icon(64, 64, QImage::Format_ARGB32);
  icon.fill(QColor(90, 140, 200));
  for (const AppRecord& record : all.records) {
    plat::MakeParentDirectories(record->iconPath);
    icon.save(QString::fromStdString(record->iconPath));
  }

  host.window.resize(850, 550);
  CAppCenterDlg page(host, &host.window);
  page.setGeometry(2, 85, 846, 435);
  host.window.show();
  QCoreApplication::processEvents();
  // The empty page: the web tab with no catalogue.
  page.RebuildButtons();
  page.repaint();
  QCoreApplication::processEvents();
  const double emptyRss = RssMb();

  std::vector<double> rebuildMs;
  page.ChooseTab(0);
  for (int r = 0; r < rounds; ++r) {
    QElapsedTimer t;
    t.start();
    page.RebuildButtons();
    DrainDeletes();
    page.repaint();
    rebuildMs.push_back(t.nsecsElapsed() / 1e6);
  }
  // Paint every tile once (scrolling through the whole grid), then measure.
  QScrollArea& scroll = page.ScrollArea();
  scroll.widget()->grab();
  QCoreApplication::processEvents();
  const double fullRss = RssMb();

  std::printf("app-centre page, %d applications, %d rounds (offscreen)\n", n, rounds);
  std::printf("  rebuild (median)          %8.2f ms   target < 150 ms\n", Median(rebuildMs));
  std::printf("  parse catalogue (median)  %8.2f ms   (%zu bytes of JSON)\n", Median(parseMs),
              json.size());
  std::printf("  memory: empty page        %8.1f MB resident\n", emptyRss);
  std::printf("          with %d tiles    %8.1f MB resident, +%.1f MB   target < 60 MB\n", n,
              fullRss, fullRss - emptyRss);
  return 0;
}
