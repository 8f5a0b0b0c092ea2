#include "client/ui/views/CHotAppStrip.h"

#include <QWidget>

#include "client/apps/InstallState.h"
#include "client/ui/shell/IKivoHost.h"
#include "client/ui/shell/MessageBoxes.h"
#include "client/ui/views/COrvAppButton.h"
#include "client/ui/views/TileLook.h"

CHotAppStrip::CHotAppStrip(IKivoHost& host, QWidget* window) : m_host(host), m_window(window) {}

CHotAppStrip::~CHotAppStrip() { Clear(); }

int CHotAppStrip::StateOf(const COrvHotAppButton& tile) const {
  return tile.Record() ? HeldInstallState(*tile.Record(), m_host.HeldList(AppListKind::Hot))
                       : tile_state::kNone;
}

QRect CHotAppStrip::TileRect(const QRect& strip, int n, int i) {
  const int c = (tile_look::kHotMaxTiles - n) * 10;
  if (n <= 0 || c < 0) return {};
  const int W = strip.width();
  const int H = strip.height();
  int w = (W - (n + 1) * c) / n;
  int h = w + 20;
  int x = strip.left() + (i + 1) * c + w * i;
  const int m = (H - h) / 2;
  int y = strip.top() + m;
  if (m < 10) {
    h = H - 20;
    w = h - 20;
    x = strip.left() + w * i + ((W - w * n) / (n + 1)) * (i + 1);
    y = strip.top() + 10;
  }
  return QRect(x, y, w, h);
}

void CHotAppStrip::Rebuild(const QRect& strip) {
  ShowHeld(strip);
  const long long request = ++m_request;
  m_host.RequestList(AppListKind::Hot, m_window,
                     [this, request, strip](const RequestResult&, const AppList&) {
                       if (request == m_request) ShowHeld(strip);
                     });
}

void CHotAppStrip::ShowHeld(const QRect& strip) {
  Clear();
  const AppList& list = m_host.HeldList(AppListKind::Hot);
  const std::vector<AppRecord> records = list.records;
  const int n = static_cast<int>(records.size());
  if (n > tile_look::kHotMaxTiles) {
    shell::ShowMessage(m_host.HostWidget(), QString::fromUtf8(tile_look::kHotTooMany),
                       QString::fromUtf8(tile_look::kHotTooManyCaption));
    return;
  }
  for (int i = 0; i < n; ++i) {
    auto* tile = new COrvHotAppButton(m_window);
    const int installed = HeldInstallState(*records[i], list);
    tile->Bind(records[i], AppListKind::Hot, installed);
    tile->ApplyState(installed);
    connect(tile, &COrvAppButton::actionRequested, this, &CHotAppStrip::actionRequested);
    tile->setGeometry(TileRect(strip, n, i));
    tile->show();
    m_tiles.push_back(tile);
  }
}

void CHotAppStrip::Clear() {
  // A tile may be the one whose click led here: it goes once control is back in the loop.
  for (const QPointer<COrvHotAppButton>& tile : m_tiles) {
    if (!tile) continue;
    tile->hide();
    tile->deleteLater();
  }
  m_tiles.clear();
}

void CHotAppStrip::RefreshStates(bool visible) {
  for (const auto& tile : m_tiles) {
    if (!tile) continue;
    const int installed = StateOf(*tile);
    tile->ApplyState(installed, installed);
    tile->setVisible(visible);
  }
}

bool CHotAppStrip::RefreshIcon(const std::string& key) {
  for (const auto& tile : m_tiles) {
    if (!tile || tile->Key() != key) continue;
    tile->ReapplyAppInfo();
    const int installed = StateOf(*tile);
    tile->ApplyState(installed, installed);
    tile->repaint();
    tile->show();
    return true;
  }
  return false;
}

void CHotAppStrip::SetProgress(const std::string& url, int percent) {
  for (const auto& tile : m_tiles)
    if (tile) tile->SetProgress(url, percent);
}
