#include "client/ui/views/CMyAppDlg.h"

#include "client/apps/InstallState.h"
#include "client/ui/views/COrvAppButton.h"

CMyAppDlg::CMyAppDlg(IKivoHost& host, QWidget* parent) : CAppGridPage(host, parent) {
  setAccessibleName(QStringLiteral("我的应用"));
}

CMyAppDlg::~CMyAppDlg() = default;

void CMyAppDlg::Enter() {
  Await(AppListKind::PrivateWeb);
  Await(AppListKind::PrivateDesktop);
  RebuildButtons();
  show();
  update();
}

void CMyAppDlg::RebuildButtons() {
  ShowHeld();
  // The desktop list is fetched again; the web list is used as held.
  if (!WebShown()) Await(AppListKind::PrivateDesktop);
}

void CMyAppDlg::ShowHeld() {
  const bool web = WebShown();
  const AppListKind kind = web ? AppListKind::PrivateWeb : AppListKind::PrivateDesktop;
  FillGrid(
      m_host.HeldList(kind).records, [](QWidget* grid) { return new COrvPrivateAppButton(grid); },
      // The list is looked up at every bind: the tile may be bound after a newer answer.
      [this, web, kind](COrvAppButton& tile, const AppRecord& record) {
        const int installed = HeldInstallState(*record, m_host.HeldList(kind));
        tile.Bind(record, kind, installed);
        tile.ApplyState(web ? tile_state::kRun : installed);
      });
}

void CMyAppDlg::RefreshStates() {
  if (WebShown()) return;  // web tiles are always "运行"
  // The window has worked the held lists' states out again before this call.
  const AppList& list = m_host.HeldList(AppListKind::PrivateDesktop);
  for (COrvAppButton* tile : ShownTiles()) {
    if (!tile->Record()) continue;
    const int installed = HeldInstallState(*tile->Record(), list);
    tile->ApplyState(installed, installed);
  }
}

void CMyAppDlg::RefreshIcon(const std::string& key) {
  if (COrvAppButton* tile = FindTileByKey(key, nullptr)) RedrawTile(*tile);
}
