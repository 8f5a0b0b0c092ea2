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
  FillGrid(
      m_host.HeldList(kind).records,
      [this](QWidget* grid) { return new COrvPrivateAppButton(m_host, grid); },
      // The list is looked up at every bind: the tile may be bound after a newer answer.
      [this, web, kind](COrvAppButton& tile, const AppRecord& record) {
        tile.Bind(record, kind);
        tile.ApplyState(web ? tile_state::kRun : HeldInstallState(*record, m_host.HeldList(kind)));
      });
}

void CMyAppDlg::RefreshStates() {
  if (WebShown()) return;  // web tiles are always "运行"
  // The registry is read again for the tiles in view: the states the list holds were
  // worked out at its answer, before this change.
  const AppList& list = m_host.HeldList(AppListKind::PrivateDesktop);
  for (COrvAppButton* tile : ShownTiles())
    if (tile->Record()) tile->ApplyState(QueryInstallStateOf(*tile->Record(), list));
}

void CMyAppDlg::RefreshIcon(const std::string& key) {
  if (COrvAppButton* tile = FindTileByKey(key, nullptr)) RedrawTile(*tile);
}
