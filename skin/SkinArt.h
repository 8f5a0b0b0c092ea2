#pragma once
// Palette and drawing primitives of the skin: one set of colours, one emblem, one family of
// line glyphs, so that every generated image looks like the same product.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace skin {

// Colours the programs also use in code.
inline const QColor kFrame(38, 59, 90);        // window frame, dark blue
inline const QColor kFrameDeep(27, 43, 66);    // shade of the frame
inline const QColor kFrameLight(58, 86, 126);  // highlight of the frame
inline const QColor kPage(221, 228, 228);      // page area, light grey
inline const QColor kStrip(19, 121, 187);      // page tab strip
inline const QColor kAccent(22, 122, 235);     // links and active elements
inline const QColor kInk(12, 78, 124);         // text on light ground
inline const QColor kStatusText(225, 225, 225);
inline const QColor kPageTint(196, 210, 219);  // catalogue page background
inline const QColor kSlate(121, 137, 146);     // catalogue tab strip
inline const QColor kGood(46, 160, 67);
inline const QColor kWarn(236, 140, 22);
inline const QColor kBad(214, 48, 49);
inline const QColor kKey(255, 0, 255);  // transparent key colour of bitmaps

enum class Glyph {
  Home,
  Grid,
  Star,
  Shield,
  Headset,
  ArrowUp,
  Ban,
  Download,
  Lock,
  Key,
  Trash,
  Play,
  Check,
  Cross,
  Exclaim,
  Dot,
  Monitor,
  Magnifier,
  Minimise,
  Close,
  User,
  Power,
  Stop,
  Trial
};

// A new image of `w` x `h` filled with `fill` (transparent when `fill` has alpha 0).
QImage NewImage(int w, int h, const QColor& fill = Qt::transparent);
// Replaces every pixel of exactly `background` with the key colour.
QImage KeyBackground(const QImage& image, const QColor& background);
// Writes `image` to dir/relative, creating folders: BMP (24 bits) or PNG by the extension.
bool Save(const QImage& image, const QString& dir, const QString& relative);

QFont UiFont(int pixelSize, bool bold = false);
QPainter& Smooth(QPainter& painter);

// The product emblem: a rounded square in the strip blue with a white cloud.
void DrawEmblem(QPainter& painter, const QRectF& box);
// A line glyph of the skin's icon family, drawn in `color` inside `box`.
void DrawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& color);
// A vertical gradient fill.
void FillVertical(QPainter& painter, const QRectF& box, const QColor& top, const QColor& bottom);
// Text centred in `box`.
void DrawCentred(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                 const QColor& color);

}  // namespace skin
