#pragma once
// The hot-apps strip of the home page: one tile per hot application, children of the main
// window, laid out across the strip with the gap formula (at most 11 tiles). The strip
// forwards its tiles' actions (actionRequested).
#include <QObject>
#include <QPointer>
#include <QRect>

#include <string>
#include <vector>

#include "client/ui/views/COrvAppButton.h"

class IKivoHost;
class QWidget;

class CHotAppStrip : public QObject {
  Q_OBJECT
 public:
  CHotAppStrip(IKivoHost& host, QWidget* window);
  ~CHotAppStrip() override;
  CHotAppStrip(const CHotAppStrip&) = delete;
  CHotAppStrip& operator=(const CHotAppStrip&) = delete;

  // Timer 447 and page 0: lays the held hot list out in `strip` (client coordinates) and
  // requests it; when a fetch was needed, its answer lays the list out again.
  void Rebuild(const QRect& strip);
  // Destroys the tiles and lays the held hot list out in `strip`, each tile with its held
  // install state. More than 11: the message box, no tiles.
  void ShowHeld(const QRect& strip);
  // Destroys every tile.
  void Clear();
  // Re-evaluates every tile's state; shows the tiles when `visible`, else hides them.
  void RefreshStates(bool visible);
  // Timer 445 on the home page: the tile whose key is `key` takes its icon; false if none.
  bool RefreshIcon(const std::string& key);
  // Download progress for every tile (SetProgress).
  void SetProgress(const std::string& url, int percent);

  const std::vector<QPointer<COrvHotAppButton>>& Tiles() const { return m_tiles; }
  // Geometry of tile i of n in `strip` by the gap formula; empty when n is 0 or above 11.
  static QRect TileRect(const QRect& strip, int n, int i);

 signals:
  // A tile of the strip chose an action for its record.
  void actionRequested(AppAction action, const AppRecord& record, AppListKind list);

 private:
  int StateOf(const COrvHotAppButton& tile) const;

  IKivoHost& m_host;
  QWidget* m_window;
  // Guarded: the window may destroy its children before the strip.
  std::vector<QPointer<COrvHotAppButton>> m_tiles;
  long long m_request = 0;  // number of the latest hot-list request
};
