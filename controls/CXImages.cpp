#include "controls/CXImages.h"

#include "controls/SkinImages.h"

namespace {

// Brightened copy: white laid over the opaque pixels only.
QImage Brighten(const QImage& image) {
  QImage out = image.copy();
  QPainter p(&out);
  p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
  p.fillRect(out.rect(), QColor(255, 255, 255, 70));
  return out;
}

}  // namespace

int CXImages::Add(const QImage& image) {
  if (image.isNull()) return -1;
  QImage keyed = KeyOutMagenta(image);
  m_highlighted.push_back(Brighten(keyed));
  m_images.push_back(std::move(keyed));
  return Count() - 1;
}

QSize CXImages::Size(int index) const {
  if (index < 0 || index >= Count()) return QSize();
  return m_images[index].size();
}

void CXImages::Draw(QPainter& painter, int index, const QRect& rect, bool highlighted) const {
  if (index < 0 || index >= Count()) return;
  const QImage& image = highlighted ? m_highlighted[index] : m_images[index];
  const QPoint topLeft(rect.left() + (rect.width() - image.width()) / 2,
                       rect.top() + (rect.height() - image.height()) / 2);
  if (highlighted) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawRoundedRect(QRectF(rect).adjusted(2, 2, -2, -2), 6, 6);
    painter.restore();
  }
  painter.drawImage(topLeft, image);
}

void CXImages::Clear() {
  m_images.clear();
  m_highlighted.clear();
}
