#pragma once
// Looks of the application tiles and the two grid pages, in one table: image names,
// colours, fonts and the grid geometry. Tests read the same values.
#include <QColor>
#include <QString>

namespace tile_look {

// Skin images, relative to the program directory.
inline constexpr const char* kHoverOverlay = "image\\PngButton\\HighLightOne.png";
inline constexpr const char* kPressedOverlay = "image\\PngButton\\HighLightTwo.png";
inline constexpr const char* kHotBadge = "image\\PngButton\\HotRemark.png";
inline constexpr const char* kLoadingImage = "image/PngButton/loading.png";

// Tile face: the caption strip under the image and the caption's top above the bottom edge.
inline constexpr int kCaptionStrip = 20;
inline constexpr int kCaptionTopFromBottom = 14;
inline constexpr int kProgressStrip = 14;
inline constexpr const char* kCaptionFont = "宋体";
inline constexpr int kCaptionPixelSize = 12;
inline constexpr QRgb kCaptionColour = 0xFF000000u;

// Shown while an installer download runs: name:percent% for these percentages.
inline constexpr int kProgressFirst = 2;
inline constexpr int kProgressLast = 98;
// Passed instead of a percentage when the installer download failed: name:下载失败 until the
// tile's next action.
inline constexpr int kProgressFailed = -2;
inline constexpr const char* kDownloadFailedText = "下载失败";

// Every application tile carries this control id.
inline constexpr int kTileControlId = 55555;

// Grid of the two pages, in page coordinates.
inline constexpr int kGridLeft = 35;
inline constexpr int kGridTop = 60;
inline constexpr int kGridPitch = 100;
inline constexpr int kGridColumns = 8;
inline constexpr int kTileWidth = 72;
inline constexpr int kTileHeight = 85;
inline constexpr int kGridBottomMargin = 15;

// The pages' background and their two-tab strip.
inline constexpr QRgb kPageBackground = 0xFFC4D2DBu;  // RGB(196, 210, 219)
inline constexpr int kTabControlId = 1126;
inline constexpr int kTabHeightDlu = 19;
inline constexpr int kTabItemWidth = 105;
inline constexpr const char* kTabFont = "微软雅黑";
inline constexpr int kTabFontHeight = 20;
inline constexpr const char* kDesktopTab = "桌面应用";
inline constexpr const char* kWebTab = "网页应用";

// The hot strip: at most this many tiles.
inline constexpr int kHotMaxTiles = 11;
inline constexpr const char* kHotTooMany = "Too many Hot App, load fail!";
inline constexpr const char* kHotTooManyCaption = "Orvanta";

}  // namespace tile_look
