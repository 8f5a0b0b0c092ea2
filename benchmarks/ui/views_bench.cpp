// The app-centre page rebuilt with a large catalogue:
//   views_bench              1,000, 5,000, 20,000 and 50,000 applications, each in a process
//                            of its own, with the growth exponent between the sizes
//   views_bench N [rounds]   one size (default 9 rounds)
// For each size: the median time of a rebuild until the page is painted (old tiles
// destroyed, the tiles in view made, placed, their state worked out, the visible part
// painted) beside the median time to parse the same catalogue answer (the reference), the
// memory the page takes over the empty page once the first hundred screens have been
// scrolled through and painted with their icons, and the peak resident set.
#include <json/json.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "client/base/UserSession.h"
#include "client/requests/AppListCtrls.h"
#include "client/ui/shell/IKivoHost.h"
#include "client/ui/views/CAppCenterDlg.h"
#include "client/ui/views/CImageCache.h"
#include "controls/SkinFonts.h"
#include "platform/ProgramDir.h"

namespace {

class BenchHost final : public IKivoHost {
 public:
  QWidget* HostWidget() override { return &window; }
  const UserSession& Session() const override { return session; }
  bool RequestList(AppListKind, QObject*, ListAnswer) override { return false; }
  const AppList& HeldList(AppListKind kind) const override { return lists[static_cast<int>(kind)]; }
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

double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
  return 0;
}

// Runs this program once per size and prints the figures side by side with the growth
// exponent of each figure between neighbouring sizes (1: linear, 2: quadratic).
int RunSizes(const char* self) {
  struct Row {
    int n = 0;
    double rebuild = 0, parse = 0, extra = 0, peak = 0;
  };
  std::vector<Row> rows;
  for (int n : {1000, 5000, 20000, 50000}) {
    const std::string command = std::string(self) + " " + std::to_string(n) + " 5";
    FILE* out = popen(command.c_str(), "r");
    if (!out) return 1;
    char line[512];
    Row row;
    while (std::fgets(line, sizeof line, out)) {
      if (std::sscanf(line, "RESULT %d %lf %lf %lf %lf", &row.n, &row.rebuild, &row.parse,
                      &row.extra, &row.peak) == 5)
        rows.push_back(row);
      else
        std::fputs(line, stdout);
    }
    pclose(out);
    std::fflush(stdout);
  }
  std::printf("\n%8s %14s %9s %14s %9s %12s %10s\n", "apps", "rebuild ms", "exponent",
              "parse ms (ref)", "exponent", "+MB memory", "peak MB");
  for (size_t i = 0; i < rows.size(); ++i) {
    auto exponent = [&](double Row::*field) {
      if (i == 0 || rows[i - 1].*field <= 0) return std::string("");
      char text[32];
      std::snprintf(text, sizeof text, "%.2f",
                    std::log(rows[i].*field / rows[i - 1].*field) /
                        std::log(static_cast<double>(rows[i].n) / rows[i - 1].n));
      return std::string(text);
    };
    std::printf("%8d %14.2f %9s %14.2f %9s %12.1f %10.1f\n", rows[i].n, rows[i].rebuild,
                exponent(&Row::rebuild).c_str(), rows[i].parse, exponent(&Row::parse).c_str(),
                rows[i].extra, rows[i].peak);
  }
  std::printf(
      "targets: 20,000 under 150 ms and +60 MB (peak < 200 MB); 50,000 under 300 ms; "
      "rebuild exponent at most 1.1\n");
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void DrainDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc < 2) return RunSizes(std::filesystem::read_symlink("/proc/self/exe").c_str());
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  const int n = std::max(1, std::atoi(argv[1]));
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
  // Icons exist for every application that the scrolling below brings into view.
  QImage icon(64, 64, QImage::Format_ARGB32);
  icon.fill(QColor(90, 140, 200));
  for (size_t i = 0; i < all.records.size() && i < 4000; ++i) {
    plat::MakeParentDirectories(all.records[i]->iconPath);
    icon.save(QString::fromStdString(all.records[i]->iconPath));
  }
  plat::MakeParentDirectories(all.records.back()->iconPath);
  icon.save(QString::fromStdString(all.records.back()->iconPath));

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
  const double rebuiltRss = RssMb();
  // Scroll through the first hundred screens and the last one, painting each with its
  // icons, then measure.
  QScrollArea& scroll = page.ScrollArea();
  QScrollBar& bar = *scroll.verticalScrollBar();
  const int step = std::max(1, scroll.viewport()->height());
  for (int screen = 0; screen <= 100; ++screen) {
    bar.setValue(screen == 100 ? bar.maximum() : std::min(bar.maximum(), screen * step));
    page.repaint();
    CImageCache::Instance().WaitIdle(60000);
    page.repaint();
  }
  QCoreApplication::processEvents();
  const double fullRss = RssMb();

  std::printf("app-centre page, %d applications, %d rounds (offscreen)\n", n, rounds);
  std::printf("  rebuild until painted (median) %8.2f ms   target < 150 ms at 20,000\n",
              Median(rebuildMs));
  std::printf("  parse catalogue (median)       %8.2f ms   (%zu bytes of JSON; reference)\n",
              Median(parseMs), json.size());
  std::printf("  memory: empty page             %8.1f MB resident\n", emptyRss);
  std::printf("          page built             %8.1f MB resident, +%.1f MB\n", rebuiltRss,
              rebuiltRss - emptyRss);
  std::printf("          after 101 screens      %8.1f MB resident, +%.1f MB   target < 60 MB\n",
              fullRss, fullRss - emptyRss);
  std::printf("          peak                   %8.1f MB resident   target < 200 MB\n",
              PeakRssMb());
  std::printf("RESULT %d %.3f %.3f %.1f %.1f\n", n, Median(rebuildMs), Median(parseMs),
              fullRss - emptyRss, PeakRssMb());
  return 0;
}
