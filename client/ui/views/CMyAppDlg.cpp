#include "client/ui/views/CMyAppDlg.h"

#include "client/ui/views/COrvAppButton.h"
#include "client/ui/views/InstallState.h"

CMyAppDlg::CMyAppDlg(IKivoHost& host, QWidget* parent) : CAppGridPage(host, parent) {
  setAccessibleName(QStringLiteral("我的应用"));
}

CMyAppDlg::~CMyAppDlg() = default;

void CMyAppDlg::RebuildButtons() {
  std::vector<COrvAppButton*>& tiles = BeginRebuild();
  const bool web = WebShown();
  const AppListKind kind = web ? AppListKind::PrivateWeb : AppListKind::PrivateDesktop;
  // The desktop list is fetched again first; the web list is used as held.
  const std::vector<AppRecord> records =
      web ? m_host.HeldList(kind).records : m_host.RequestList(kind).records;
  tiles.reserve(records.size());
  setUpdatesEnabled(false);
  for (const AppRecord& record : records) {
    auto* tile = new COrvPrivateAppButton(m_host, GridWidget());
    tile->Bind(record, kind);
    tile->ApplyState(web ? tile_state::kRun : tile->QueryInstallState());
    Place(*tile, static_cast<int>(tiles.size()));
    tiles.push_back(tile);
  }
  FinishGrid(static_cast<int>(tiles.size()));
  setUpdatesEnabled(true);
}

void CMyAppDlg::RefreshIcon(const std::string& key) {
  if (COrvAppButton* tile = FindTileByKey(key, nullptr)) RedrawTile(*tile);
}
