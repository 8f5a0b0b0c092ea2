#pragma once
// What the app-centre and my-apps pages share: the two-tab strip ("桌面应用", "网页应用"),
// the page colour, the two tile lists and the 8-column grid. The grid scrolls vertically
// when its rows pass the page's bottom; cell positions inside it are those of the page.
//
// Tiles exist only for the rows in view and one row above and below: scrolling binds the
// tiles of rows that leave the view to the records of rows that enter it, so a list of
// any length costs what one screen of tiles costs. The tiles in the lists below are those
// live tiles, in grid order, and the Tab key walks them row by row (a tile that takes the
// focus is scrolled into view). The page forwards its tiles' actions (actionRequested).
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/ui/shell/IKivoHost.h"
#include "client/ui/shell/IKivoPage.h"

class CXTabCtrl;
class COrvAppButton;
class QProgressBar;
class QScrollArea;

class CAppGridPage : public QWidget, public IKivoPage {
  Q_OBJECT
 public:
  ~CAppGridPage() override;

  // IKivoPage: the page hides; the shown page's tiles take the new states.
  void Leave() override { hide(); }
  void RefreshStates(bool shown) override {
    if (shown) RefreshStates();
  }
  void ShowProgress(const std::string& url, int percent) override;
  // Works the live tiles' states out again from the lists as held.
  virtual void RefreshStates() = 0;

  // Shows the shown tab's list as held at once and requests it; the grid fills in again
  // when the answer arrives (a quiet busy cue shows meanwhile).
  virtual void RebuildButtons() = 0;
  // Shows the shown tab's list as held, without a request.
  virtual void ShowHeld() = 0;
  // Requests `kind` through the host; while it is unanswered the page shows a quiet busy
  // cue, and its answer shows the held lists again, unless a newer request of the same
  // list was made by then (the latest request wins).
  void Await(AppListKind kind);
  // True while a list request of the page is unanswered (the busy cue shows).
  bool Busy() const;

  // Which tab is shown: both pages start on the web tab.
  bool WebShown() const { return m_web; }
  // Selects a tab as the user would (the page rebuilds the list of that tab).
  void ChooseTab(int index);
  CXTabCtrl& TabStrip() { return *m_tabs; }
  QScrollArea& ScrollArea() { return *m_scroll; }
  // The live tiles of the desktop and web lists, in grid order.
  const std::vector<COrvAppButton*>& DesktopTiles() const { return m_desktop; }
  const std::vector<COrvAppButton*>& WebTiles() const { return m_web_tiles; }
  const std::vector<COrvAppButton*>& ShownTiles() const { return m_web ? m_web_tiles : m_desktop; }

  // The record index of the shown list's first live tile.
  size_t FirstLiveIndex() const { return m_first[m_web ? 1 : 0]; }
  // Number of records of the shown list.
  size_t RecordCount() const { return m_records[m_web ? 1 : 0].size(); }

  // ShowProgress: download progress for every tile of the desktop list (SetProgress);
  // remembered for the tiles that come into view later.

 signals:
  // A tile of the page chose an action for its record.
  void actionRequested(AppAction action, const AppRecord& record, AppListKind list);

 public:
  // Top-left corner of grid cell `index` in page coordinates.
  static QPoint CellPosition(int index);

 protected:
  CAppGridPage(IKivoHost& host, QWidget* parent);

  // Makes an unbound tile as a child of `grid`.
  using TileMaker = std::function<COrvAppButton*(QWidget* grid)>;
  // Binds a tile of this page to a record and gives it its state (a new tile, or one whose
  // row left the view). Kept and called while the grid scrolls: capture nothing that dies.
  using TileBinder = std::function<void(COrvAppButton& tile, const AppRecord& record)>;
  // Rebuilds the shown tab's list: hides the other list's tiles and destroys this list's,
  // then shows `records` in grid order from the top, making tiles for the rows in view.
  void FillGrid(const std::vector<AppRecord>& records, const TileMaker& make,
                const TileBinder& bind);
  // The first tile whose key is `key`, the web list searched before the desktop list;
  // `visit` sees every tile passed on the way (before the comparison) and whether it is a
  // web tile.
  COrvAppButton* FindTileByKey(const std::string& key,
                               const std::function<void(COrvAppButton&, bool web)>& visit);
  static void RedrawTile(COrvAppButton& tile);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // A tile taking the focus (Tab) is scrolled into view.
  bool eventFilter(QObject* watched, QEvent* event) override;

  IKivoHost& m_host;
  std::vector<COrvAppButton*> m_desktop;
  std::vector<COrvAppButton*> m_web_tiles;

 private:
  // Places the tab strip, the scroll area and the live tiles for the page's size.
  void Layout();
  // Makes, binds, reuses and places the shown list's tiles for the rows in view.
  void UpdateLiveTiles();
  void Bind(int list, COrvAppButton& tile, size_t index);
  // Hides the other list's tiles, destroys this list's tiles; returns this list, now empty.
  std::vector<COrvAppButton*>& BeginRebuild();
  // Moves a tile to cell `index` and shows it.
  void Place(COrvAppButton& tile, int index);
  // Sizes the grid for `count` tiles, so the scroll area scrolls when they pass the bottom.
  void FinishGrid(int count);
  static void Destroy(std::vector<COrvAppButton*>& tiles);

  // Per list (0 desktop, 1 web): its records, how its tiles are made and bound, the record
  // index of its first live tile, and hidden tiles waiting to be bound again.
  std::array<std::vector<AppRecord>, 2> m_records;
  std::array<TileMaker, 2> m_make;
  std::array<TileBinder, 2> m_bind;
  std::array<size_t, 2> m_first{};
  std::array<std::vector<COrvAppButton*>, 2> m_spare;
  std::map<std::string, int> m_progress;  // download URL -> percent shown
  bool m_filling = false;

  CXTabCtrl* m_tabs = nullptr;
  QScrollArea* m_scroll = nullptr;
  QWidget* m_grid = nullptr;
  QProgressBar* m_busy = nullptr;
  bool m_web = true;
  // Per list: number of the page's latest unanswered request, 0 when none.
  std::array<long long, kAppListKinds> m_pending{};
  long long m_lastRequest = 0;
};
