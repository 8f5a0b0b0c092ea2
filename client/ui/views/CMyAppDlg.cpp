#include "client/ui/views/CMyAppDlg.h"

#include "client/apps/InstallState.h"
#include "client/ui/views/COrvAppButton.h"

CMyAppDlg::CMyAppDlg(IKivoHost& host, QWidget* parent) : CAppGridPage(host, parent) {
  setAccessibleName(QStringLiteral("我的应用"));
}

CMyAppDlg::~CMyAppDlg() = default;

void CMyAppDlg::RebuildButtons() {
  ShowHeld();
  // The desktop list is fetched again; the web list is used as held.
  if (!WebShown()) Await(AppListKind::PrivateDesktop);
}

void CMyAppDlg::ShowHeld() {
  const bool web = WebShown();
  const AppListKind kind = web ? AppListKind::PrivateWeb : AppListKind::PrivateDesktop;
  const AppList& list = m_host.HeldList(kind);
  FillGrid(list.records, [&](const AppRecord& record, QWidget* grid) {
    auto* tile = new COrvPrivateAppButton(m_host, grid);
    tile->Bind(record, kind);
    tile->ApplyState(web ? tile_state::kRun : HeldInstallState(*record, list));
    return tile;
  });
}

void CMyAppDlg::RefreshStates() {
  if (WebShown()) return;  // web tiles are always "运行"
  for (COrvAppButton* tile : ShownTiles()) tile->ApplyState(tile->QueryInstallState());
}

void CMyAppDlg::RefreshIcon(const std::string& key) {
  if (COrvAppButton* tile = FindTileByKey(key, nullptr)) RedrawTile(*tile);
}
