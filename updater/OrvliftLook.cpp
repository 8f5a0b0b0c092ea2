#include "updater/OrvliftLook.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "controls/SkinImages.h"

namespace {

// An upward arrow in a rounded square: the updater's mark.
QPixmap Mark(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, side);
  fill.setColorAt(0, QColor(0x3a, 0x8e, 0xe6));
  fill.setColorAt(1, QColor(0x1c, 0x5a, 0xb4));
  p.setBrush(fill);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(0, 0, side, side), side / 6.0, side / 6.0);
  QPainterPath arrow;
  const double s = side;
  arrow.moveTo(s * 0.5, s * 0.18);
  arrow.lineTo(s * 0.8, s * 0.5);
  arrow.lineTo(s * 0.6, s * 0.5);
  arrow.lineTo(s * 0.6, s * 0.82);
  arrow.lineTo(s * 0.4, s * 0.82);
  arrow.lineTo(s * 0.4, s * 0.5);
  arrow.lineTo(s * 0.2, s * 0.5);
  arrow.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(arrow);
  return pixmap;
}

}  // namespace

// The deployment's program icon and banner (resources 128 and 130) when the skin is there;
// otherwise the same look drawn here.
QIcon OrvliftIcon() {
  const QIcon skin = ResourceIcon(128);
  if (!skin.isNull()) return skin;
  QIcon icon;
  for (int side : {16, 32, 48}) icon.addPixmap(Mark(side));
  return icon;
}

QPixmap OrvliftBanner(const QSize& size) {
  const QImage skin = ResourceImage(130);
  if (!skin.isNull())
    return QPixmap::fromImage(skin.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, QColor(0x24, 0x6b, 0xc8));
  fill.setColorAt(1, QColor(0x0e, 0x2f, 0x66));
  p.fillRect(pixmap.rect(), fill);
  int side = size.width() / 2;
  p.drawPixmap((size.width() - side) / 2, size.height() / 5, Mark(side));
  p.setPen(Qt::white);
  QFont font = p.font();
  font.setBold(true);
  font.setPointSize(12);
  p.setFont(font);
  p.drawText(QRect(0, size.height() / 5 + side + 8, size.width(), 30), Qt::AlignCenter,
             QStringLiteral("Orvlift"));
  return pixmap;
}
