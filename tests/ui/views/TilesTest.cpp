// Application tiles: install state from the Uninstall registrations, the progress caption,
// the face and its icon, the choice boxes of the three kinds, accessibility.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "StandInHost.h"
#include "client/apps/InstallState.h"
#include "client/base/MachineRegistry.h"
#include "client/ui/views/CImageCache.h"
#include "client/ui/views/COrvAppButton.h"
#include "client/ui/views/TileLook.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <fstream>

namespace {

using Box = CMessageBoxDialog;

QImage SolidPng(const QColor& colour) {
  QImage image(48, 48, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

class TileTest : public ::testing::Test {
 protected:
  StandInHost host;
  BoxAnswers boxes;
};

TEST_F(TileTest, ProgressCaptionOnlyFrom2To98AndOnlyForItsDesktopDownload) {
  AppRecord desktop = MakeRecord(1001, "client", "1");
  COrvPrivateAppButton tile;
  tile.Bind(desktop, AppListKind::PrivateDesktop);
  const QString name = QString::fromStdString(desktop->name);
  const std::pair<int, QString> cases[] = {{1, name},           {2, name + ":2%"},
                                           {45, name + ":45%"}, {98, name + ":98%"},
                                           {99, name},          {100, name}};
  for (const auto& [percent, caption] : cases) {
    tile.SetProgress(desktop->downurl, percent);
    EXPECT_EQ(tile.Caption(), caption) << percent;
    EXPECT_EQ(tile.toolTip(), caption);
  }
  tile.SetProgress(desktop->downurl, 50);
  tile.SetProgress("http://127.0.0.1:9/downloads/other", 70);
  EXPECT_EQ(tile.Caption(), name + ":50%");
  // A re-applied tile keeps showing its download.
  tile.ReapplyAppInfo();
  EXPECT_EQ(tile.Caption(), name + ":50%");

  AppRecord web = MakeRecord(2001, "app", "2");
  auto webCopy = std::make_shared<OrvAppInfo>(*web);
  webCopy->downurl = "http://127.0.0.1:9/x";
  COrvPrivateAppButton webTile;
  webTile.Bind(webCopy, AppListKind::PrivateWeb);
  webTile.SetProgress(webCopy->downurl, 50);
  EXPECT_EQ(webTile.Caption(), QString::fromStdString(web->name));
  EXPECT_EQ(webTile.ShownProgress(), -1);
}

// A download that failed for good shows on the tile, in its caption and its accessible
// description, until a new download reports progress or the user clicks the tile.
TEST_F(TileTest, FailedDownloadShowsUntilTheNextAction) {
  AppRecord desktop = MakeRecord(1001, "client", "1");
  COrvPrivateAppButton tile;
  tile.Bind(desktop, AppListKind::PrivateDesktop);
  const QString name = QString::fromStdString(desktop->name);
  for (const bool byClick : {false, true}) {
    tile.SetProgress(desktop->downurl, tile_look::kProgressFailed);
    EXPECT_EQ(tile.Caption(), name + QStringLiteral(":下载失败"));
    EXPECT_TRUE(tile.accessibleDescription().endsWith(QStringLiteral("下载失败")))
        << tile.accessibleDescription().toStdString();
    if (byClick) {
      boxes.answers = {CMessageBoxDialog::kIdCancel};
      tile.click();
      EXPECT_EQ(tile.Caption(), name);
    } else {
      tile.SetProgress(desktop->downurl, 10);
      EXPECT_EQ(tile.Caption(), name + ":10%");
      tile.SetProgress(desktop->downurl, 100);
    }
    EXPECT_FALSE(tile.accessibleDescription().contains(QStringLiteral("下载失败")));
  }
}

TEST_F(TileTest, IconArrivingAfterTheFirstPaintIsDecodedOnceAndDrawn) {
  orvtest::TempDir dir;
  auto app = std::make_shared<OrvAppInfo>(*MakeRecord(1001, "client", "1"));
  app->iconPath = dir.File("icon.png");
  COrvPrivateAppButton tile;
  tile.Bind(app, AppListKind::PrivateDesktop);
  tile.resize(72, 85);
  CImageCache& images = CImageCache::Instance();
  tile.grab();
  ASSERT_TRUE(images.WaitIdle(10000));
  const int decodes = images.DecodeCount();
  tile.grab();
  EXPECT_FALSE(tile.FaceDrawn());            // the loading placeholder
  EXPECT_EQ(images.DecodeCount(), decodes);  // a missing file is not tried at every paint

  // The icon's arrival binds the tile again (RefreshIcon): it is decoded off the GUI thread
  // at the tile's size and drawn from then on without decoding again.
  ASSERT_TRUE(SolidPng(QColor(200, 30, 30)).save(QString::fromStdString(app->iconPath)));
  tile.ReapplyAppInfo();
  tile.grab();
  ASSERT_TRUE(images.WaitIdle(10000));
  const QImage shot = tile.grab().toImage();
  EXPECT_TRUE(tile.FaceDrawn());
  EXPECT_EQ(shot.pixelColor(10, 10), QColor(200, 30, 30));
  tile.grab();
  EXPECT_EQ(images.DecodeCount(), decodes + 1);
}

TEST_F(TileTest, TransparentFacePartsShowTheParentsBackground) {
  orvtest::TempDir dir;
  QImage clear(48, 48, QImage::Format_ARGB32);
  clear.fill(Qt::transparent);
  ASSERT_TRUE(clear.save(QString::fromStdString(dir.File("clear.png"))));
  auto app = std::make_shared<OrvAppInfo>(*MakeRecord(1, "app", "1"));
  app->iconPath = dir.File("clear.png");

  QWidget parent;
  parent.resize(100, 100);
  parent.setAutoFillBackground(true);
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(10, 120, 240));
  parent.setPalette(palette);
  COrvAllAppButton tile(QString(), &parent);
  tile.Bind(app, AppListKind::AllWeb);
  tile.setGeometry(10, 10, 72, 85);
  parent.grab();
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  const QImage shot = parent.grab().toImage();
  EXPECT_EQ(shot.pixelColor(40, 40), QColor(10, 120, 240));
}

// The choice box a click opens and the actions each answer sends.
struct BoxCase {
  const char* what;
  int kind;  // 0 private, 1 hot, 2 all
  std::string type;
  int state;
  bool added;
  QString title;
  std::vector<int> ids;
  std::vector<QString> labels;
  int answer;
  std::vector<AppAction> sent;
};

std::unique_ptr<COrvAppButton> MakeTile(int kind, StandInHost& host) {
  std::unique_ptr<COrvAppButton> tile;
  if (kind == 0) tile = std::make_unique<COrvPrivateAppButton>();
  if (kind == 1) tile = std::make_unique<COrvHotAppButton>();
  if (kind == 2) tile = std::make_unique<COrvAllAppButton>(QStringLiteral("应用说明"));
  host.Listen(*tile);
  return tile;
}

TEST_F(TileTest, ClickBoxesOfEveryKindAndState) {
  const QString mine = QStringLiteral("我的应用");
  const std::vector<QString> updateLabels = {"升级", "打开", "移除", "取消"};
  const std::vector<QString> startLabels = {"启动", "移除", "取消"};
  const std::vector<int> updateIds = {Box::kIdYes, Box::kIdYesToAll, Box::kIdNo, Box::kIdCancel};
  const std::vector<int> startIds = {Box::kIdYes, Box::kIdNo, Box::kIdCancel};
  using A = AppAction;
  const BoxCase cases[] = {
      {"mine, update: upgrade",
       0,
       "client",
       1,
       false,
       mine,
       updateIds,
       updateLabels,
       6,
       {A::Upgrade}},
      {"mine, update: open",
       0,
       "client",
       1,
       false,
       mine,
       updateIds,
       updateLabels,
       14,
       {A::Activate}},
      {"mine, update: remove",
       0,
       "client",
       1,
       false,
       mine,
       updateIds,
       updateLabels,
       7,
       {A::Uninstall, A::Delete}},
      {"mine, update: cancel", 0, "client", 1, false, mine, updateIds, updateLabels, 2, {}},
      {"mine desktop: start", 0, "client", 8, false, mine, startIds, startLabels, 6, {A::Activate}},
      {"mine desktop: remove",
       0,
       "client",
       4,
       false,
       mine,
       startIds,
       startLabels,
       7,
       {A::Uninstall, A::Delete}},
      {"mine web: remove", 0, "app", 8, false, mine, startIds, startLabels, 7, {A::Delete}},
      {"mine web: cancel", 0, "app", 8, false, mine, startIds, startLabels, 2, {}},
      {"hot, update: upgrade",
       1,
       "client",
       1,
       false,
       "热点应用",
       {6, 7},
       {"升级", "取消"},
       6,
       {A::Upgrade}},
      {"hot, update: cancel", 1, "client", 1, false, "热点应用", {6, 7}, {"升级", "取消"}, 7, {}},
      {"centre, added: start",
       2,
       "client",
       8,
       true,
       "应用中心",
       {1, 2},
       {"启动", "取消"},
       1,
       {A::Activate}},
      {"centre, added: cancel", 2, "app", 8, true, "应用中心", {1, 2}, {"启动", "取消"}, 2, {}},
      {"centre, not added: add",
       2,
       "client",
       0,
       false,
       "应用中心",
       {6, 7},
       {"是", "否"},
       6,
       {A::Add}},
      {"centre, not added: no", 2, "app", 0, false, "应用中心", {6, 7}, {"是", "否"}, 7, {}},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.what);
    host.sent.clear();
    boxes.shown_boxes.clear();
    boxes.answers = {c.answer};
    auto tile = MakeTile(c.kind, host);
    tile->Bind(MakeRecord(1001, c.type, "1"), AppListKind::PrivateDesktop);
    tile->ApplyState(c.state);
    tile->SetAdded(c.added);
    tile->click();
    ASSERT_EQ(boxes.shown_boxes.size(), 1u);
    const ShownBox& box = boxes.shown_boxes[0];
    EXPECT_EQ(box.title, c.title);
    EXPECT_EQ(box.ids, c.ids);
    EXPECT_EQ(box.labels, c.labels);
    std::vector<AppAction> sent;
    for (const SentAction& s : host.sent) {
      sent.push_back(s.action);
      EXPECT_EQ(s.record, tile->Record());
    }
    EXPECT_EQ(sent, c.sent);
  }
}

TEST_F(TileTest, BoxTextsAndClicksWithoutABox) {
  COrvAllAppButton centre(QStringLiteral("记账好帮手"));
  centre.Bind(MakeRecord(1001, "client", "1"), AppListKind::AllDesktop);
  boxes.answers = {CMessageBoxDialog::kIdNo};
  centre.click();
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("记账好帮手\r\n\r\n是否添加该应用？"));

  // A hot tile without an update starts at once.
  boxes.shown_boxes.clear();
  COrvHotAppButton hot;
  host.Listen(hot);
  hot.Bind(MakeRecord(1002, "client", "2"), AppListKind::Hot);
  hot.ApplyState(tile_state::kRun);
  hot.click();
  EXPECT_TRUE(boxes.shown_boxes.empty());
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(host.sent[0].action, AppAction::Activate);
  EXPECT_EQ(host.sent[0].list, AppListKind::Hot);
}

// The Uninstall watcher may give a tile a new state while its box is open: the answer is
// still read as the box that was shown.
TEST_F(TileTest, AStateChangeWhileTheBoxIsOpenLeavesTheAnswerAsShown) {
  COrvHotAppButton hot;
  host.Listen(hot);
  hot.Bind(MakeRecord(1001, "client", "1"), AppListKind::Hot);
  hot.ApplyState(tile_state::kUpdate);
  boxes.onBox = [&](CMessageBoxDialog&) {
    hot.ApplyState(tile_state::kRun);
    return static_cast<int>(Box::kIdNo);  // "取消"
  };
  hot.click();
  EXPECT_TRUE(host.sent.empty());

  COrvPrivateAppButton mine;
  host.Listen(mine);
  mine.Bind(MakeRecord(1002, "client", "2"), AppListKind::PrivateDesktop);
  mine.ApplyState(tile_state::kUpdate);
  boxes.onBox = [&](CMessageBoxDialog&) {
    mine.ApplyState(tile_state::kRun);
    return static_cast<int>(Box::kIdYes);  // "升级"
  };
  mine.click();
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(host.sent[0].action, AppAction::Upgrade);
}

TEST_F(TileTest, KeyboardReachesTilesAndBoxButtons) {
  COrvPrivateAppButton tile(&host.window);
  host.Listen(tile);
  tile.Bind(MakeRecord(1001, "app", "1"), AppListKind::PrivateWeb);
  tile.ApplyState(tile_state::kRun);
  EXPECT_TRUE(tile.focusPolicy() & Qt::TabFocus);
  boxes.answers = {Box::kIdYes};
  QTest::keyClick(&tile, Qt::Key_Space);
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  ASSERT_EQ(host.sent.size(), 1u);
  boxes.answers = {Box::kIdYes, Box::kIdYes};
  QTest::keyClick(&tile, Qt::Key_Return);
  QTest::keyClick(&tile, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(host.sent.size(), 3u);

  auto box = tile.MakeChoiceBox();
  box->Prepare();
  for (int id : box->ButtonIds()) EXPECT_TRUE(box->Button(id)->focusPolicy() & Qt::TabFocus);
}

TEST_F(TileTest, AccessibleNameStateAndProgress) {
  COrvHotAppButton tile(&host.window);
  AppRecord app = MakeRecord(1001, "client", "1");
  tile.Bind(app, AppListKind::Hot);
  tile.ApplyState(tile_state::kNotInstalled);
  QAccessibleInterface* access = QAccessible::queryAccessibleInterface(&tile);
  ASSERT_NE(access, nullptr);
  EXPECT_EQ(access->role(), QAccessible::Button);
  EXPECT_EQ(access->text(QAccessible::Name), QString::fromStdString(app->name));
  EXPECT_EQ(access->text(QAccessible::Description), QStringLiteral("未安装"));
  // Without a badge a desktop tile says the install state its page handed it.
  tile.Bind(app, AppListKind::Hot, tile_state::kUpdate);
  tile.ApplyState(tile_state::kNone);
  EXPECT_EQ(access->text(QAccessible::Description),
            QString::fromStdString(StateWordsOf(tile_state::kUpdate)));
  tile.ApplyState(tile_state::kNotInstalled);
  tile.SetProgress(app->downurl, 40);
  EXPECT_EQ(access->text(QAccessible::Description), QStringLiteral("下载 40%"));
  // A burst of progress is told once per period, its last value after the period.
  for (int percent = 41; percent <= 60; ++percent) tile.SetProgress(app->downurl, percent);
  EXPECT_EQ(access->text(QAccessible::Description), QStringLiteral("下载 40%"));
  EXPECT_TRUE(orvtest::WaitUntil([&] {
    QApplication::processEvents();
    return access->text(QAccessible::Description) == QStringLiteral("下载 60%");
  }));
  // Downloaded but not installed: the next press installs.
  QTemporaryDir dir;
  const std::string setup = dir.filePath(QStringLiteral("setup.exe")).toStdString();
  { std::ofstream(setup) << "#!/bin/sh\n"; }
  auto downloaded = std::make_shared<OrvAppInfo>(*app);
  downloaded->setupPath = setup;
  tile.SetProgress(app->downurl, 100);
  tile.Bind(downloaded, AppListKind::Hot);
  tile.ApplyState(tile_state::kNotInstalled);
  EXPECT_EQ(access->text(QAccessible::Description), QStringLiteral("已下载，再次按下即可安装"));
  tile.ApplyState(tile_state::kRun);
  EXPECT_EQ(access->text(QAccessible::Description), QStringLiteral("运行"));
}

}  // namespace
