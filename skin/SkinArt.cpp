#include "SkinArt.h"

#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace skin {

QImage NewImage(int w, int h, const QColor& fill) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(fill);
  return image;
}

QImage KeyBackground(const QImage& image, const QColor& background) {
  QImage out = image.convertToFormat(QImage::Format_RGB32);
  const QRgb bg = background.rgb();
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if ((line[x] | 0xFF000000u) == (bg | 0xFF000000u)) line[x] = kKey.rgb();
    }
  }
  return out;
}

bool Save(const QImage& image, const QString& dir, const QString& relative) {
  const QString path = dir + QLatin1Char('/') + relative;
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (relative.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
    return image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG");
  return image.convertToFormat(QImage::Format_RGB32).save(path, "BMP");
}

QFont UiFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

QPainter& Smooth(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  return painter;
}

void FillVertical(QPainter& painter, const QRectF& box, const QColor& top, const QColor& bottom) {
  QLinearGradient gradient(box.topLeft(), box.bottomLeft());
  gradient.setColorAt(0, top);
  gradient.setColorAt(1, bottom);
  painter.fillRect(box, gradient);
}

void DrawCentred(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                 const QColor& color) {
  painter.save();
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(box, Qt::AlignCenter, text);
  painter.restore();
}

void DrawEmblem(QPainter& painter, const QRectF& box) {
  painter.save();
  Smooth(painter);
  QLinearGradient gradient(box.topLeft(), box.bottomRight());
  gradient.setColorAt(0, kAccent.lighter(115));
  gradient.setColorAt(1, kStrip.darker(115));
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  const qreal r = box.width() * 0.22;
  painter.drawRoundedRect(box, r, r);
  // Cloud: three circles on a flat base.
  const qreal u = box.width() / 16.0;
  const QPointF o = box.topLeft();
  QPainterPath cloud;
  cloud.addEllipse(QRectF(o + QPointF(3 * u, 7 * u), QSizeF(5 * u, 5 * u)));
  cloud.addEllipse(QRectF(o + QPointF(5.5 * u, 4 * u), QSizeF(6 * u, 6 * u)));
  cloud.addEllipse(QRectF(o + QPointF(9 * u, 6.5 * u), QSizeF(4.5 * u, 4.5 * u)));
  cloud.addRoundedRect(QRectF(o + QPointF(4 * u, 9 * u), QSizeF(8.5 * u, 3 * u)), u, u);
  painter.setBrush(Qt::white);
  painter.drawPath(cloud.simplified());
  // An upward stroke inside the cloud: the platform lifting the business.
  QPen pen(kStrip, 1.2 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({o + QPointF(5.5 * u, 10.5 * u), o + QPointF(7.5 * u, 8.5 * u),
                                  o + QPointF(9 * u, 9.8 * u), o + QPointF(11 * u, 7.2 * u)}));
  painter.restore();
}

void DrawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& color) {
  painter.save();
  Smooth(painter);
  const qreal s = std::min(box.width(), box.height());
  const QRectF b(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
  const qreal u = s / 16.0;
  auto P = [&](qreal x, qreal y) { return b.topLeft() + QPointF(x * u, y * u); };
  QPen pen(color, std::max<qreal>(1.0, 1.4 * u), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  switch (glyph) {
    case Glyph::Home:
      painter.drawPolyline(QPolygonF({P(2, 8), P(8, 2.5), P(14, 8)}));
      painter.drawPolyline(QPolygonF({P(4, 6.5), P(4, 14), P(12, 14), P(12, 6.5)}));
      painter.drawRect(QRectF(P(6.8, 9.5), P(9.2, 14)));
      break;
    case Glyph::Grid:
      for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
          painter.drawRoundedRect(QRectF(P(2 + 7 * i, 2 + 7 * j), QSizeF(5 * u, 5 * u)), u, u);
      break;
    case Glyph::Star: {
      QPolygonF star;
      for (int i = 0; i < 10; ++i) {
        const qreal a = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const qreal r = (i % 2 == 0) ? 6.5 : 2.8;
        star << P(8 + r * std::cos(a), 8.5 + r * std::sin(a));
      }
      painter.drawPolygon(star);
      break;
    }
    case Glyph::Shield: {
      QPainterPath path;
      path.moveTo(P(8, 1.5));
      path.lineTo(P(14, 4));
      path.cubicTo(P(14, 10), P(11, 13), P(8, 14.5));
      path.cubicTo(P(5, 13), P(2, 10), P(2, 4));
      path.closeSubpath();
      painter.drawPath(path);
      painter.drawPolyline(QPolygonF({P(5.2, 8), P(7.3, 10), P(11, 6)}));
      break;
    }
    case Glyph::Headset:
      painter.drawArc(QRectF(P(2.5, 2), P(13.5, 13)), 0, 180 * 16);
      painter.drawRoundedRect(QRectF(P(2, 7.5), P(4.8, 12)), u, u);
      painter.drawRoundedRect(QRectF(P(11.2, 7.5), P(14, 12)), u, u);
      painter.drawPolyline(QPolygonF({P(12.6, 12), P(12.6, 13.5), P(9, 14.5)}));
      break;
    case Glyph::ArrowUp:
      painter.drawLine(P(8, 13), P(8, 3.5));
      painter.drawPolyline(QPolygonF({P(4, 7.5), P(8, 3.5), P(12, 7.5)}));
      break;
    case Glyph::Download:
      painter.drawLine(P(8, 2.5), P(8, 10.5));
      painter.drawPolyline(QPolygonF({P(4.5, 7.5), P(8, 11), P(11.5, 7.5)}));
      painter.drawLine(P(3.5, 13.5), P(12.5, 13.5));
      break;
    case Glyph::Ban:
      painter.drawEllipse(QRectF(P(2.5, 2.5), P(13.5, 13.5)));
      painter.drawLine(P(4.3, 11.7), P(11.7, 4.3));
      break;
    case Glyph::Lock:
      painter.drawRoundedRect(QRectF(P(3.5, 7.5), P(12.5, 14)), u, u);
      painter.drawArc(QRectF(P(5.2, 2.5), P(10.8, 10)), 0, 180 * 16);
      painter.drawLine(P(5.2, 6.2), P(5.2, 7.5));
      painter.drawLine(P(10.8, 6.2), P(10.8, 7.5));
      break;
    case Glyph::Key:
      painter.drawEllipse(QRectF(P(2.5, 3), P(8, 8.5)));
      painter.drawLine(P(7.2, 7.7), P(13.5, 14));
      painter.drawLine(P(11, 11.5), P(12.8, 9.7));
      break;
    case Glyph::Trash:
      painter.drawLine(P(3, 4.5), P(13, 4.5));
      painter.drawPolyline(QPolygonF({P(6.5, 4.5), P(6.5, 2.8), P(9.5, 2.8), P(9.5, 4.5)}));
      painter.drawPolyline(QPolygonF({P(4.3, 4.5), P(5, 14), P(11, 14), P(11.7, 4.5)}));
      painter.drawLine(P(8, 7), P(8, 11.5));
      break;
    case Glyph::Play:
      painter.setBrush(color);
      painter.drawPolygon(QPolygonF({P(5.5, 3.5), P(12.5, 8), P(5.5, 12.5)}));
      break;
    case Glyph::Check:
      painter.drawPolyline(QPolygonF({P(3.5, 8.5), P(6.8, 11.8), P(12.5, 4.5)}));
      break;
    case Glyph::Cross:
      painter.drawLine(P(4.5, 4.5), P(11.5, 11.5));
      painter.drawLine(P(11.5, 4.5), P(4.5, 11.5));
      break;
    case Glyph::Exclaim:
      painter.drawLine(P(8, 3.5), P(8, 9.5));
      painter.setBrush(color);
      painter.drawEllipse(P(8, 12.5), 0.9 * u, 0.9 * u);
      break;
    case Glyph::Dot:
      painter.setBrush(color);
      painter.drawEllipse(P(8, 8), 2.5 * u, 2.5 * u);
      break;
    case Glyph::Monitor:
      painter.drawRoundedRect(QRectF(P(1.5, 2.5), P(14.5, 11)), u, u);
      painter.drawLine(P(8, 11), P(8, 13.5));
      painter.drawLine(P(5, 13.8), P(11, 13.8));
      break;
    case Glyph::Magnifier:
      painter.drawEllipse(QRectF(P(3, 3), P(10.5, 10.5)));
      painter.drawLine(P(9.6, 9.6), P(13.5, 13.5));
      break;
    case Glyph::Minimise:
      painter.drawLine(P(4, 10), P(12, 10));
      break;
    case Glyph::Close:
      painter.drawLine(P(4.5, 4.5), P(11.5, 11.5));
      painter.drawLine(P(11.5, 4.5), P(4.5, 11.5));
      break;
    case Glyph::User:
      painter.drawEllipse(QRectF(P(5, 2), P(11, 8)));
      painter.drawArc(QRectF(P(2.5, 9), P(13.5, 20)), 20 * 16, 140 * 16);
      break;
    case Glyph::Power:
      painter.drawArc(QRectF(P(3, 3.5), P(13, 13.5)), 125 * 16, -250 * 16);
      painter.drawLine(P(8, 2), P(8, 7.5));
      break;
    case Glyph::Stop:
      painter.setBrush(color);
      painter.drawRoundedRect(QRectF(P(4.5, 4.5), P(11.5, 11.5)), u, u);
      break;
    case Glyph::Trial:
      painter.drawEllipse(QRectF(P(2.5, 2.5), P(13.5, 13.5)));
      painter.drawPolyline(QPolygonF({P(8, 5), P(8, 8.3), P(10.5, 10)}));
      break;
  }
  painter.restore();
}

}  // namespace skin
