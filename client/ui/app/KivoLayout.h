#pragma once
// The main window's looks as data: positions, sizes, colours, images and texts of the
// caption-less window, and the small rules that place and rotate things. The window paints
// from this table and its tests read the same table.
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

#include <array>
#include <string>

struct UserSession;

namespace kivo_layout {

inline constexpr int kWidth = 850;
inline constexpr int kHeight = 550;
// Rounded region: corner ellipse of 6 × 6.
inline constexpr int kCornerEllipse = 6;
// A press in the top band drags the window.
inline constexpr int kDragBandHeight = 125;

// Painting bands.
inline const QColor kFrameColor(38, 59, 90);        // whole client
inline const QColor kPageAreaColor(221, 228, 228);  // 85 below the top to 25 above the bottom
inline constexpr int kTopBandHeight = 85;
inline constexpr int kPageAreaBottomMargin = 25;
inline constexpr int kStatusBandHeight = 30;
inline constexpr int kBackgroundBottomMargin = 225;

// The four skin bitmaps; a missing one ends the program.
inline constexpr std::array<const char*, 4> kSkinBitmaps = {
    "image\\Top\\Topmost.bmp", "image\\状态.bmp", "image\\button_begin.BMP",
    "image\\启动界面背景.bmp"};
enum SkinBitmap { kTopmost = 0, kStatusBar = 1, kButtonBegin = 2, kStartBackground = 3 };

// Status texts.
inline const QColor kTextColor(225, 225, 225);
inline constexpr const char* kTextFont = "微软雅黑";
inline constexpr int kTextPixelHeight = 18;
inline constexpr int kStatusTextBottomOffset = 24;  // y = bottom − 24
inline constexpr int kVersionTextX = 10;
inline constexpr int kUpdateLinkX = 200;
inline constexpr int kConnectionTextX = 350;
inline constexpr int kReminderTextX = 750;
inline constexpr QPoint kLoginTextPos{600, 42};
// Area repainted while a login dialog opened by a page switch or an add action is open.
inline constexpr int kLoginAreaLeft = 580;
inline constexpr int kLoginAreaTop = 42;
inline constexpr int kLoginAreaBottom = 72;

inline constexpr const char* kWindowTitle = "澄野奥凡云平台";
inline constexpr const char* kVersionPrefix = "程序版本号:";
inline constexpr const char* kUpdateLinkText = "检测更新";
inline constexpr const char* kConnecting = "正在连接至云平台服务中心...";
inline constexpr const char* kConnected = "已成功连接至云平台服务中心";
inline constexpr const char* kConnectFailed = "尝试连接云平台服务中心失败";
inline constexpr const char* kReminderFormat = "消息提醒(%1)";
inline constexpr const char* kWelcomePrefix = "欢迎您,";
inline constexpr const char* kNotLoggedIn = "您尚未登录!";
inline constexpr const char* kLoginFirst = "请先登录！";
inline constexpr const char* kExitQuestion = "确定退出澄野奥凡云平台?";
inline constexpr const char* kExitCaption = "提示";
inline constexpr const char* kTrayTip = "Orvanta";
inline constexpr const char* kAboutItem = "关于 Orvanta(&A)...";
inline constexpr const char* kAboutCaption = "关于 Orvanta";
inline constexpr const char* kAboutText = "澄野奥凡云平台 Orvanta\n版本 %1";

// The update link's hit area (client coordinates, H the client height).
inline QRect UpdateLinkRect(int clientHeight) {
  return QRect(QPoint(200, clientHeight - 20), QPoint(250 - 1, clientHeight - 2 - 1));
}

// The four skinned buttons: images for normal, hover, pressed, disabled; position relative
// to the client's right edge (x = right − fromRight) and top.
struct SkinButtonSpec {
  const char* accessibleName;
  std::array<const char*, 4> images;
  int fromRight;
  int top;
};
inline constexpr SkinButtonSpec kLoginButton{
    "登录",
    {"image\\Top\\菜单_5_0.bmp", "image\\Top\\菜单_5_0.bmp", "image\\Top\\菜单_5_1.bmp",
     "image\\Top\\菜单_5_2.bmp"},
    120,
    35};
inline constexpr SkinButtonSpec kLogoutButton{
    "注销",
    {"image\\Top\\菜单_6_0.bmp", "image\\Top\\菜单_6_0.bmp", "image\\Top\\菜单_6_1.bmp",
     "image\\Top\\菜单_6_2.bmp"},
    120,
    35};
inline constexpr SkinButtonSpec kMinimizeButton{
    "最小化",
    {"image\\最小化.bmp", "image\\最小化_2.bmp", "image\\最小化_1.bmp", "image\\最小化.bmp"},
    84,
    5};
inline constexpr SkinButtonSpec kCloseButton{
    "关闭",
    {"image\\关闭.bmp", "image\\关闭_2.bmp", "image\\关闭_1.bmp", "image\\关闭.bmp"},
    50,
    5};

// Tab strip: five image tabs, one per page.
inline const QColor kTabBackground(19, 121, 187);
inline constexpr std::array<int, 5> kTabImages = {162, 164, 165, 166, 172};
inline constexpr std::array<const char*, 5> kPageNames = {"首页", "应用中心", "我的应用",
                                                          "系统诊断", "服务台"};
inline constexpr QRect kTabStripRect{QPoint(170, 3), QPoint(568 - 1, 85 - 1)};

// Pages: at (2, 85), client width − 4 wide, 435 high.
inline QRect PageRect(int clientWidth) { return QRect(2, 85, clientWidth - 4, 435); }
// The banner under the tab strip.
inline constexpr QRect kBannerRect{QPoint(0, 80), QPoint(850 - 1, 405 - 1)};
inline constexpr int kBannerPeriodMs = 10000;

// The hot-apps strip: the client's width, from under the top and start-up bitmaps to 525.
inline QRect HotStripRect(int clientWidth, int topmostHeight, int startBackgroundHeight) {
  int top = topmostHeight + startBackgroundHeight;
  return QRect(0, top, clientWidth, 525 - top);
}

// Timers.
inline constexpr int kDelayedCheckTimer = 233;
inline constexpr int kDelayedCheckMs = 1800000;
inline constexpr int kFinishedDownloadsTimer = 445;
inline constexpr int kFinishedDownloadsMs = 250;
inline constexpr int kHotStripTimer = 447;
inline constexpr int kHotStripMs = 250;
inline constexpr int kBannerTimer = 448;

// The login display for a session: the login text and whether the login button shows
// (else the logout button).
struct LoginDisplay {
  QString text;
  bool loginButtonVisible = true;
};
LoginDisplay LoginDisplayFor(const UserSession& session);

// Timer 448: the next banner index (wrapping to 0); -1 when there is no banner.
int NextBannerIndex(int current, int count);

// Download progress reaches the tiles on every second notification the window receives
// (one counter for all downloads).
class ProgressGate {
 public:
  // Counts one notification; true when this one is passed on.
  bool Pass() { return (++m_count % 2) == 0; }

 private:
  long long m_count = 0;
};

// percent = done × 100 / total, 0 when total is 0.
int ProgressPercent(long long done, long long total);

}  // namespace kivo_layout
