// The app-centre and my-apps pages, the hot strip and the window's list rules.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFontMetrics>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "StandInHost.h"
#include "client/apps/InstallState.h"
#include "client/ui/views/CAppCenterDlg.h"
#include "client/ui/views/CHotAppStrip.h"
#include "client/ui/views/CImageCache.h"
#include "client/ui/views/CMyAppDlg.h"
#include "client/ui/views/COrvAppButton.h"
#include "client/ui/views/TileLook.h"
#include "controls/CXTabCtrl.h"
#include "support/TestSupport.h"

namespace {

std::vector<AppRecord> Records(int count, const std::string& type, int firstId) {
  std::vector<AppRecord> records;
  for (int i = 0; i < count; ++i)
    records.push_back(MakeRecord(firstId + i, type, std::to_string(i + 1), "", "1.0"));
  return records;
}

QPoint PagePos(QWidget& page, QWidget& tile) { return tile.mapTo(&page, QPoint(0, 0)); }

class PagesTest : public ::testing::Test {
 protected:
  StandInHost host;
  BoxAnswers boxes;
};

TEST_F(PagesTest, GridCellsAndScrollingToRowsBelowThePage) {
  host.SetList(AppListKind::PrivateDesktop, Records(33, "client", 1001));
  CMyAppDlg page(host, &host.window);
  page.setGeometry(2, 85, 846, 435);
  host.window.show();
  EXPECT_TRUE(page.WebShown());
  page.ChooseTab(0);
  ASSERT_EQ(page.DesktopTiles().size(), 33u);
  EXPECT_EQ(host.requests[static_cast<int>(AppListKind::PrivateDesktop)], 1);

  QWidget& first = *page.DesktopTiles()[0];
  QWidget& eighth = *page.DesktopTiles()[7];
  QWidget& ninth = *page.DesktopTiles()[8];
  EXPECT_EQ(PagePos(page, first), QPoint(35, 60));
  EXPECT_EQ(PagePos(page, eighth), QPoint(735, 60));
  EXPECT_EQ(PagePos(page, ninth), QPoint(35, 160));
  EXPECT_EQ(ninth.size(), QSize(72, 85));

  // The fifth row lies below the page's bottom: the grid scrolls to it.
  QWidget& last = *page.DesktopTiles()[32];
  EXPECT_EQ(PagePos(page, last), QPoint(35, 460));
  QScrollArea& scroll = page.ScrollArea();
  EXPECT_GT(scroll.verticalScrollBar()->maximum(), 0);
  scroll.ensureWidgetVisible(&last);
  const QRect inViewport(last.mapTo(scroll.viewport(), QPoint(0, 0)), last.size());
  EXPECT_TRUE(scroll.viewport()->rect().contains(inViewport)) << inViewport.y();

  // The page colour shows between the tiles, inside the scrolling grid too.
  const QImage shot = page.grab().toImage();
  EXPECT_EQ(shot.pixel(20, 100), tile_look::kPageBackground);
  EXPECT_EQ(shot.pixel(120, 300), tile_look::kPageBackground);

  // A rebuild scrolls back to the top and keeps the described positions.
  page.RebuildButtons();
  EXPECT_EQ(PagePos(page, *page.DesktopTiles()[8]), QPoint(35, 160));
}

TEST_F(PagesTest, ALongListHoldsTilesOnlyForTheRowsInViewAndReusesThemWhileScrolling) {
  const std::vector<AppRecord> records = Records(20000, "client", 1001);
  host.SetList(AppListKind::PrivateDesktop, records);
  CMyAppDlg page(host, &host.window);
  page.setGeometry(2, 85, 846, 435);
  host.window.show();
  page.ChooseTab(0);
  const size_t live = page.DesktopTiles().size();
  EXPECT_LE(live, 7u * 8u);  // four rows in view, one above and below at most
  page.ShowProgress(records[19990]->downurl, 40);

  // At the bottom the last records have tiles in their cells; no tile was made for the
  // rows passed on the way.
  QScrollBar& bar = *page.ScrollArea().verticalScrollBar();
  for (int value = 0; value <= bar.maximum(); value += 3000) bar.setValue(value);
  bar.setValue(bar.maximum());
  const std::vector<COrvAppButton*>& tiles = page.DesktopTiles();
  ASSERT_FALSE(tiles.empty());
  EXPECT_EQ(page.FirstLiveIndex() + tiles.size(), records.size());
  EXPECT_LE(page.findChildren<COrvAppButton*>().size(), 2 * live);
  COrvAppButton& last = *tiles.back();
  EXPECT_EQ(last.Record(), records.back());
  EXPECT_EQ(last.accessibleName(), QString::fromStdString(records.back()->name));
  EXPECT_EQ(PagePos(page, last) + QPoint(0, bar.value()),
            CAppGridPage::CellPosition(static_cast<int>(records.size() - 1)));
  for (COrvAppButton* tile : tiles)  // progress shown before the tile existed
    EXPECT_EQ(tile->ShownProgress(), tile->Record() == records[19990] ? 40 : -1);

  // Tab from the last tile of the first screen's margin row goes on to the next record,
  // scrolled into view.
  bar.setValue(0);
  host.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host.window));
  COrvAppButton* edge = page.DesktopTiles().back();
  const size_t edgeIndex = page.FirstLiveIndex() + page.DesktopTiles().size() - 1;
  edge->setFocus(Qt::TabFocusReason);
  EXPECT_GT(bar.value(), 0);
  QTest::keyClick(host.window.focusWidget(), Qt::Key_Tab);
  auto* next = qobject_cast<COrvAppButton*>(host.window.focusWidget());
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->Record(), records[edgeIndex + 1]);
}

TEST_F(PagesTest, TabsRebuildTheirListAndHideTheOther) {
  host.SetList(AppListKind::PrivateWeb, Records(3, "app", 2001));
  host.SetList(AppListKind::PrivateDesktop, Records(2, "client", 1001));
  CMyAppDlg page(host, &host.window);
  page.resize(846, 435);
  EXPECT_EQ(page.TabStrip().Selected(), 1);
  EXPECT_EQ(page.TabStrip().Count(), 2);
  EXPECT_EQ(page.TabStrip().TabText(0), QStringLiteral("桌面应用"));
  page.RebuildButtons();
  ASSERT_EQ(page.WebTiles().size(), 3u);
  // The web list is used as held; only the desktop list is fetched again.
  EXPECT_EQ(host.requests[static_cast<int>(AppListKind::PrivateWeb)], 0);
  for (COrvAppButton* tile : page.WebTiles()) EXPECT_EQ(tile->State(), tile_state::kRun);

  page.ChooseTab(0);
  EXPECT_FALSE(page.WebShown());
  ASSERT_EQ(page.DesktopTiles().size(), 2u);
  // An icon arriving for a tile of the hidden tab redraws it without showing it.
  page.RefreshIcon(page.WebTiles()[0]->Key());
  for (COrvAppButton* tile : page.WebTiles()) EXPECT_TRUE(tile->isHidden());
  for (COrvAppButton* tile : page.DesktopTiles())
    EXPECT_EQ(tile->State(), tile_state::kNotInstalled);
}

TEST_F(PagesTest, AppCentreStatesOfApplicationsInTheUsersLists) {
  orvtest::TempProgramDir dir;
  std::vector<AppRecord> all = Records(3, "client", 1001);
  host.SetList(AppListKind::AllDesktop, all);
  // The user's web list holds the first (same img), the desktop list the second.
  auto mineWeb = std::make_shared<OrvAppInfo>(*all[0]);
  auto mineDesktop = std::make_shared<OrvAppInfo>(*all[1]);
  host.SetList(AppListKind::PrivateWeb, {mineWeb});
  host.SetList(AppListKind::PrivateDesktop, {mineDesktop});

  CAppCenterDlg page(host, &host.window);
  page.resize(846, 435);
  page.ChooseTab(0);
  ASSERT_EQ(page.DesktopTiles().size(), 3u);
  const auto& tiles = page.DesktopTiles();
  EXPECT_EQ(tiles[0]->State(), tile_state::kRun);
  EXPECT_TRUE(tiles[0]->Added());
  EXPECT_EQ(tiles[1]->State(), tile_state::kNotInstalled);
  EXPECT_TRUE(tiles[1]->Added());
  EXPECT_EQ(tiles[2]->State(), tile_state::kNone);
  EXPECT_FALSE(tiles[2]->Added());

  // The added web application opens with the start box; the page forwards its answer.
  host.Listen(page);
  boxes.answers = {CMessageBoxDialog::kIdOk};
  tiles[0]->click();
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  EXPECT_EQ(boxes.shown_boxes[0].ids, (std::vector<int>{1, 2}));
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(host.sent[0].action, AppAction::Activate);
  EXPECT_EQ(host.sent[0].record, tiles[0]->Record());
  EXPECT_EQ(host.sent[0].list, AppListKind::AllDesktop);

  // Progress reaches the desktop list's tile of that download only.
  page.ShowProgress(all[2]->downurl, 30);
  EXPECT_EQ(tiles[2]->ShownProgress(), 30);
  EXPECT_EQ(tiles[1]->ShownProgress(), -1);
}

TEST_F(PagesTest, MyAppsShowsTheProgressOfItsDesktopTiles) {
  orvtest::TempProgramDir dir;
  std::vector<AppRecord> mine = Records(2, "client", 1001);
  host.SetList(AppListKind::PrivateDesktop, mine);
  CMyAppDlg page(host, &host.window);
  page.resize(846, 435);
  page.ChooseTab(0);
  ASSERT_EQ(page.DesktopTiles().size(), 2u);
  page.ShowProgress(mine[1]->downurl, 45);
  EXPECT_EQ(page.DesktopTiles()[1]->ShownProgress(), 45);
  EXPECT_EQ(page.DesktopTiles()[0]->ShownProgress(), -1);
}

TEST(TileCaption, AProgressCaptionTooWideKeepsItsPercentage) {
  const QFontMetrics metrics(CPngButton::CaptionFont());
  const QString caption = QStringLiteral("增值税发票开票软件:45%");
  ASSERT_GT(metrics.horizontalAdvance(caption), 72);
  const QString fitted = CPngButton::FittedCaption(caption, metrics, 72, true);
  EXPECT_TRUE(fitted.endsWith(QStringLiteral(":45%"))) << fitted.toStdString();
  EXPECT_LE(metrics.horizontalAdvance(fitted), 72);
  // A plain name stays whole (centred and clipped on both sides when painted).
  EXPECT_EQ(CPngButton::FittedCaption(caption, metrics, 72, false), caption);
  EXPECT_EQ(CPngButton::FittedCaption(QStringLiteral("记账"), metrics, 72, true),
            QStringLiteral("记账"));
}

TEST_F(PagesTest, RefreshIconFindsTheTileAndDrawsItsIcon) {
  orvtest::TempDir dir;
  std::vector<AppRecord> web;
  for (int i = 0; i < 3; ++i) {
    auto app = std::make_shared<OrvAppInfo>(*MakeRecord(2001 + i, "app", std::to_string(i + 1)));
    app->iconPath = dir.File(std::to_string(i) + ".png");
    web.push_back(app);
  }
  host.SetList(AppListKind::AllWeb, web);
  CAppCenterDlg page(host, &host.window);
  page.resize(846, 435);
  host.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host.window));
  page.RebuildButtons();
  page.grab();
  COrvAppButton& tile = *page.WebTiles()[1];
  EXPECT_FALSE(tile.FaceDrawn());
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(Qt::green);
  ASSERT_TRUE(icon.save(QString::fromStdString(web[1]->iconPath)));
  page.RefreshIcon(web[1]->img);
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  page.grab();
  EXPECT_TRUE(tile.FaceDrawn());
  EXPECT_FALSE(page.WebTiles()[0]->FaceDrawn());
}

TEST_F(PagesTest, HotStripLayoutFor1And11AndRefusal12) {
  const QRect strip(0, 405, 850, 120);
  {
    host.SetList(AppListKind::Hot, Records(1, "client", 1001));
    CHotAppStrip hot(host, &host.window);
    hot.Rebuild(strip);
    ASSERT_EQ(hot.Tiles().size(), 1u);
    // Gap 100 makes the tile taller than the strip: the second rule places it.
    EXPECT_EQ(hot.Tiles()[0]->geometry(), QRect(385, 415, 80, 100));
    EXPECT_TRUE(hot.Tiles()[0]->HotBadge());
  }
  {
    host.SetList(AppListKind::Hot, Records(11, "client", 1001));
    CHotAppStrip hot(host, &host.window);
    hot.Rebuild(strip);
    ASSERT_EQ(hot.Tiles().size(), 11u);
    for (int i = 0; i < 11; ++i)
      EXPECT_EQ(hot.Tiles()[i]->geometry(), QRect(77 * i, 416, 77, 97)) << i;  // gap 0: touching
    EXPECT_TRUE(boxes.shown_boxes.empty());
  }
  {
    host.SetList(AppListKind::Hot, Records(12, "client", 1001));
    CHotAppStrip hot(host, &host.window);
    hot.Rebuild(strip);
    EXPECT_TRUE(hot.Tiles().empty());
    ASSERT_EQ(boxes.shown_boxes.size(), 1u);
    EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("Too many Hot App, load fail!"));
    EXPECT_EQ(boxes.shown_boxes[0].title, QStringLiteral("Orvanta"));
  }
  {
    // An empty hot list gives an empty strip (no division by zero).
    host.SetList(AppListKind::Hot, {});
    CHotAppStrip hot(host, &host.window);
    hot.Rebuild(strip);
    EXPECT_TRUE(hot.Tiles().empty());
  }
  // Gap formula with room to spare: 5 tiles in a tall strip use the first rule.
  EXPECT_EQ(CHotAppStrip::TileRect(QRect(0, 0, 850, 300), 5, 2), QRect(376, 91, 98, 118));
}

TEST_F(PagesTest, HotStripStatesVisibilityAndIcons) {
  orvtest::TempProgramDir dir;
  host.SetList(AppListKind::Hot, Records(3, "client", 1001));
  CHotAppStrip hot(host, &host.window);
  hot.Rebuild(QRect(0, 405, 850, 120));
  ASSERT_EQ(hot.Tiles().size(), 3u);
  for (const auto& tile : hot.Tiles()) EXPECT_EQ(tile->State(), tile_state::kNotInstalled);
  hot.RefreshStates(false);
  for (const auto& tile : hot.Tiles()) EXPECT_TRUE(tile->isHidden());
  EXPECT_TRUE(hot.RefreshIcon(host.fixed[0].records[1]->img));
  EXPECT_FALSE(hot.RefreshIcon("http://127.0.0.1:9/none.png"));
  hot.SetProgress(host.fixed[0].records[2]->downurl, 12);
  EXPECT_EQ(hot.Tiles()[2]->ShownProgress(), 12);
  // The strip forwards its tiles' actions (a hot tile without an update starts at once).
  host.Listen(hot);
  hot.Tiles()[1]->ApplyState(tile_state::kRun);
  hot.Tiles()[1]->click();
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(host.sent[0].action, AppAction::Activate);
  EXPECT_EQ(host.sent[0].record, host.fixed[0].records[1]);
}

// Renders the app-centre and my-apps pages (badges, a progress caption) and the hot strip
// to PNG when ORV_VIEWS_SHOTS names a folder, for a person to look at.
TEST_F(PagesTest, RenderPagesToPng) {
  const QString out = qEnvironmentVariable("ORV_VIEWS_SHOTS");
  if (out.isEmpty()) GTEST_SKIP() << "ORV_VIEWS_SHOTS not set";
  orvtest::TempProgramDir registry;  // the my-apps tiles read their state from it
  orvtest::TempDir dir;
  std::vector<AppRecord> records;
  for (int i = 0; i < 20; ++i) {
    auto app = std::make_shared<OrvAppInfo>(*MakeRecord(1001 + i, "client", std::to_string(i + 1)));
    app->iconPath = dir.File(std::to_string(i) + ".png");
    if (i % 5 != 4) {
      QImage icon(64, 64, QImage::Format_ARGB32);
      icon.fill(Qt::transparent);
      QPainter p(&icon);
      p.setRenderHint(QPainter::Antialiasing);
      p.setBrush(QColor::fromHsv((i * 37) % 360, 160, 220));
      p.setPen(Qt::NoPen);
      p.drawRoundedRect(QRect(4, 4, 56, 56), 12, 12);
      p.end();
      icon.save(QString::fromStdString(app->iconPath));
    }
    records.push_back(app);
  }
  host.SetList(AppListKind::AllDesktop, records);
  host.SetList(AppListKind::Hot, std::vector<AppRecord>(records.begin(), records.begin() + 8));
  CAppCenterDlg page(host, &host.window);
  page.setGeometry(2, 85, 846, 435);
  page.ChooseTab(0);
  const int states[] = {0, 1, 4, 8, 7};
  for (size_t i = 0; i < page.DesktopTiles().size(); ++i)
    page.DesktopTiles()[i]->ApplyState(states[i % 5]);
  page.ShowProgress(records[2]->downurl, 45);
  page.grab();  // the icons are decoded off the GUI thread
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  page.grab().save(out + "/app-centre.png");

  host.SetList(AppListKind::PrivateDesktop,
               std::vector<AppRecord>(records.begin() + 3, records.begin() + 14));
  CMyAppDlg mine(host, &host.window);
  mine.setGeometry(2, 85, 846, 435);
  mine.ChooseTab(0);
  mine.DesktopTiles()[0]->ApplyState(tile_state::kRun);
  mine.DesktopTiles()[2]->ApplyState(tile_state::kUpdate);
  mine.ShowProgress(records[6]->downurl, 72);
  mine.grab();
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  mine.grab().save(out + "/my-apps.png");

  QWidget window;
  window.resize(850, 550);
  window.setAutoFillBackground(true);
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(221, 228, 228));
  window.setPalette(palette);
  CHotAppStrip hot(host, &window);
  hot.Rebuild(QRect(0, 405, 850, 120));
  hot.Tiles()[1]->ApplyState(tile_state::kUpdate);
  hot.SetProgress(records[2]->downurl, 60);
  window.grab();
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  window.grab(QRect(0, 380, 850, 170)).save(out + "/hot-strip.png");
}

// A keyboard or screen-reader user meets no unnamed stop on either page: every control
// that takes focus is named, and the tiles are buttons that tell their state.
TEST_F(PagesTest, EveryControlThatTakesFocusIsNamed) {
  orvtest::TempProgramDir registry;
  // Every application of the catalogue is the user's: each tile has a state.
  host.SetList(AppListKind::AllDesktop, Records(2, "client", 1001));
  host.SetList(AppListKind::PrivateDesktop, Records(2, "client", 1001));
  CAppCenterDlg centre(host, &host.window);
  CMyAppDlg mine(host, &host.window);
  for (CAppGridPage* page :
       {static_cast<CAppGridPage*>(&centre), static_cast<CAppGridPage*>(&mine)}) {
    page->resize(846, 435);
    page->ChooseTab(0);
    EXPECT_FALSE(page->accessibleName().isEmpty());
    for (QWidget* w : page->findChildren<QWidget*>()) {
      if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(page)) continue;
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
    for (COrvAppButton* tile : page->DesktopTiles()) {
      QAccessibleInterface* access = QAccessible::queryAccessibleInterface(tile);
      ASSERT_NE(access, nullptr);
      EXPECT_EQ(access->role(), QAccessible::Button);
      EXPECT_EQ(access->text(QAccessible::Description), QStringLiteral("未安装"));
    }
  }
}

// List answers that arrive late: after a second request joined the first, after the page was
// left, after a newer request, after the page is gone. Each shows once; the latest wins.
TEST_F(PagesTest, LateListAnswersShowOnceAndTheLatestWins) {
  host.useLists = true;
  auto answer = [&](int count) {
    ASSERT_EQ(host.pendingFetches.size(), 1u);
    StandInHost::PendingFetch fetch = std::move(host.pendingFetches.front());
    host.pendingFetches.clear();
    FetchedList fetched;
    fetched.value.kind = fetch.fetch.kind;
    fetched.value.records = Records(count, "client", 1001);
    fetch.done(std::move(fetched));
  };
  auto page = std::make_unique<CMyAppDlg>(host, &host.window);
  auto tilesOf = [&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // replaced tiles go
    return page->findChildren<COrvAppButton*>().size();
  };

  page->ChooseTab(0);  // the desktop tab requests the private desktop list
  EXPECT_TRUE(page->Busy());
  EXPECT_EQ(tilesOf(), 0u);  // the page shows at once, empty
  page->RebuildButtons();    // joins the request in flight
  page->hide();              // the user left the page
  answer(3);
  EXPECT_EQ(tilesOf(), 3u);
  EXPECT_FALSE(page->Busy());

  page->RebuildButtons();
  EXPECT_EQ(tilesOf(), 3u);  // the held list shows while the newer request runs
  answer(5);
  EXPECT_EQ(tilesOf(), 5u);
  EXPECT_EQ(page->DesktopTiles().size(), 5u);

  page->RebuildButtons();
  page.reset();  // the window closed
  answer(2);
  EXPECT_EQ(host.lists.Held(AppListKind::PrivateDesktop).records.size(), 2u);
}

}  // namespace
