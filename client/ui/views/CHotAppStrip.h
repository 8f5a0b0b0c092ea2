#pragma once
// The hot-apps strip of the home page: its tiles are children of the main window.
// (Contract stub: the tiles work fills it in.)
#include <QRect>

#include <string>

class IKivoHost;
class QWidget;

class CHotAppStrip {
 public:
  CHotAppStrip(IKivoHost& host, QWidget* window);
  ~CHotAppStrip();

  // Timer 447 and page 0: destroys the tiles, requests the hot list and lays the new
  // tiles out in `strip` (client coordinates). More than 11: the message box, no tiles.
  void Rebuild(const QRect& strip);
  // Destroys every tile.
  void Clear();
  // Re-evaluates every tile's state; shows the tiles when `visible`, else hides them.
  void RefreshStates(bool visible);
  // Timer 445 on the home page: the tile whose key is `key` takes its icon; false if none.
  bool RefreshIcon(const std::string& key);
  // Download progress for every tile (SetProgress).
  void SetProgress(const std::string& url, int percent);

 private:
  IKivoHost& m_host;
  QWidget* m_window;
};
