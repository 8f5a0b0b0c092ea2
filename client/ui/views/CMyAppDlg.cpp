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
      web ? m_host.HeldList(kind).records : m_host.RequestList(kind).records,
      [this](QWidget* grid) { return new COrvPrivateAppButton(m_host, grid); },
      [web, kind](COrvAppButton& tile, const AppRecord& record) {
        tile.Bind(record, kind);
        tile.ApplyState(web ? tile_state::kRun : tile.QueryInstallState());
      });
}

void CMyAppDlg::RefreshIcon(const std::string& key) {
  if (COrvAppButton* tile = FindTileByKey(key, nullptr)) RedrawTile(*tile);
}
