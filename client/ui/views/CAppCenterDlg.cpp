#include "client/ui/views/CAppCenterDlg.h"

#include "client/apps/InstallState.h"
#include "client/ui/views/COrvAppButton.h"

namespace {

bool HoldsImg(const AppList& list, const std::string& img) {
  for (const AppRecord& record : list.records)
    if (record->img == img) return true;
  return false;
}

}  // namespace

CAppCenterDlg::CAppCenterDlg(IKivoHost& host, QWidget* parent) : CAppGridPage(host, parent) {
  setAccessibleName(QStringLiteral("应用中心"));
}

CAppCenterDlg::~CAppCenterDlg() = default;

void CAppCenterDlg::Enter() {
  Await(AppListKind::AllWeb);
  RebuildButtons();
  show();
  update();
}

void CAppCenterDlg::RebuildButtons() {
  ShowHeld();
  // The list is fetched only while the window holds none; later rebuilds use it as held.
  Await(WebShown() ? AppListKind::AllWeb : AppListKind::AllDesktop);
}

void CAppCenterDlg::ShowHeld() {
  const AppListKind kind = WebShown() ? AppListKind::AllWeb : AppListKind::AllDesktop;
  FillGrid(
      m_host.HeldList(kind).records,
      [](QWidget* grid) { return new COrvAllAppButton(QString(), grid); },
      [this, kind](COrvAppButton& tile, const AppRecord& record) {
        static_cast<COrvAllAppButton&>(tile).SetDescription(QString::fromStdString(record->remark));
        tile.Bind(record, kind, HeldInstallState(*record, m_host.HeldList(kind)));
        WorkOutState(tile);
      });
}

void CAppCenterDlg::WorkOutState(COrvAppButton& tile) const {
  // The install state as the tile's list holds it (worked out once per answer).
  const int installed = tile.Record()
                            ? HeldInstallState(*tile.Record(), m_host.HeldList(tile.List()))
                            : tile_state::kNone;
  if (HoldsImg(m_host.HeldList(AppListKind::PrivateWeb), tile.Key())) {
    tile.ApplyState(tile_state::kRun, installed);
    tile.SetAdded(true);
  } else if (HoldsImg(m_host.HeldList(AppListKind::PrivateDesktop), tile.Key())) {
    tile.ApplyState(installed, installed);
    tile.SetAdded(true);
  } else {
    tile.ApplyState(tile_state::kNone, installed);
    tile.SetAdded(false);
  }
}

void CAppCenterDlg::RefreshIcon(const std::string& key) {
  COrvAppButton* tile = FindTileByKey(key, [this](COrvAppButton& t, bool web) {
    if (web) WorkOutState(t);
  });
  if (tile) RedrawTile(*tile);
}

void CAppCenterDlg::RefreshStates() {
  for (COrvAppButton* tile : ShownTiles()) WorkOutState(*tile);
}
