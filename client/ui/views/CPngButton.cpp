#include "client/ui/views/CPngButton.h"

#include <QHash>
#include <QKeyEvent>
#include <QPainter>

#include "client/apps/InstallState.h"
#include "client/ui/views/CImageCache.h"
#include "client/ui/views/TileLook.h"
#include "controls/CSkinBtn.h"
#include "controls/SkinImages.h"

namespace {

// Skin images (badges, overlays, the placeholder) never change while the program runs:
// every button shares one copy of each.
const QImage& SkinImage(const QString& relative) {
  static QHash<QString, QImage> cache;
  auto it = cache.find(relative);
  if (it == cache.end()) it = cache.insert(relative, QImage(SkinImagePath(relative)));
  return *it;
}

void DrawSkin(QPainter& painter, const char* relative, const QRect& target) {
  const QImage& image = SkinImage(QString::fromUtf8(relative));
  if (!image.isNull()) painter.drawImage(target, image);
}

}  // namespace

CPngButton::CPngButton(QWidget* parent) : QAbstractButton(parent) {
  setAttribute(Qt::WA_Hover, false);
  setFocusPolicy(Qt::StrongFocus);
}

CPngButton::~CPngButton() = default;

void CPngButton::SetState(int state) {
  m_state = state;
  m_badgePath = QString::fromStdString(BadgeImageOf(state));
}

void CPngButton::SetCaption(const QString& caption) {
  m_caption = caption;
  setToolTip(caption);
}

QRect CPngButton::ImageArea() const {
  QRect area = rect();
  if (m_showCaption) area.setBottom(area.bottom() - tile_look::kCaptionStrip);
  return area;
}

const QFont& CPngButton::CaptionFont() {
  static const QFont font = [] {
    QFont f(QString::fromUtf8(tile_look::kCaptionFont));
    f.setPixelSize(tile_look::kCaptionPixelSize);
    f.setWeight(QFont::Normal);
    return f;
  }();
  return font;
}

void CPngButton::SetImagePath(const QString& path) {
  m_imagePath = path;
  CImageCache::Instance().ForgetFailure(path);
}

bool CPngButton::DrawFace(QPainter& painter, const QRect& target) {
  const CImageCache::Picture face =
      CImageCache::Instance().Lookup(m_imagePath, target.size(), nullptr, this);
  if (face.state != CImageCache::State::Ready) {
    if (m_loadingPlaceholder) DrawSkin(painter, tile_look::kLoadingImage, target);
    return false;
  }
  painter.drawImage(target.topLeft(), face.image);
  return true;
}

void CPngButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect area = ImageArea();

  m_faceDrawn = DrawFace(painter, area);
  if (isDown())
    DrawSkin(painter, tile_look::kPressedOverlay, area);
  else if (m_hover)
    DrawSkin(painter, tile_look::kHoverOverlay, area);
  const int w = area.width();
  const int h = area.height();
  if (m_hotBadge) {
    DrawSkin(painter, tile_look::kHotBadge,
             QRect(QPoint(area.left() + w - w / 4, area.top()), QSize(w / 4, h / 4)));
  }
  if (!m_badgePath.isEmpty()) {
    const QImage& badge = SkinImage(m_badgePath);
    if (!badge.isNull())
      painter.drawImage(
          QRect(QPoint(area.left() + w - w / 3, area.top() + h - h / 3), QSize(w / 3, h / 3)),
          badge);
  }
  if (hasFocus()) CSkinBtn::DrawFocusMark(painter, area.adjusted(-2, -2, 2, 2));
  if (m_showCaption) {
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(CaptionFont());
    painter.setPen(QColor::fromRgba(tile_look::kCaptionColour));
    const QFontMetrics metrics(CaptionFont());
    const QString caption = FittedCaption(m_caption, metrics, width(), m_captionKeepsEnd);
    const int textWidth = metrics.horizontalAdvance(caption);
    const int top = height() - tile_look::kCaptionTopFromBottom;
    painter.drawText(QPoint((width() - textWidth) / 2, top + metrics.ascent()), caption);
  }
}

QString CPngButton::FittedCaption(const QString& caption, const QFontMetrics& metrics, int width,
                                  bool keepEnd) {
  // Otherwise a wide caption is centred and clipped on both sides.
  if (!keepEnd || metrics.horizontalAdvance(caption) <= width) return caption;
  return metrics.elidedText(caption, Qt::ElideLeft, width);
}

void CPngButton::enterEvent(QEnterEvent* event) {
  m_hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CPngButton::leaveEvent(QEvent* event) {
  m_hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void CPngButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (!event->isAutoRepeat()) click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}
