#include "client/ui/views/CMyAppDlg.h"

#include "client/ui/views/COrvAppButton.h"
#include "client/ui/views/InstallState.h"

CMyAppDlg::CMyAppDlg(IKivoHost& host, QWidget* parent) : CAppGridPage(host, parent) {
  setAccessibleName(QStringLiteral("我的应用"));
}

CMyAppDlg::~CMyAppDlg() = default;

void CMyAppDlg::RebuildButtons() {
  const bool web = WebShown();
  const AppListKind kind = web ? AppListKind::PrivateWeb : AppListKind::PrivateDesktop;
  FillGrid(
      // The desktop list is fetched again first; the web list is used as held.
      [&] { return web ? m_host.HeldList(kind).records : m_host.RequestList(kind).records; },
      [&](const AppRecord& record, QWidget* grid) {
        auto* tile = new COrvPrivateAppButton(m_host, grid);
        tile->Bind(record, kind);
        tile->ApplyState(web ? tile_state::kRun : tile->QueryInstallState());
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
