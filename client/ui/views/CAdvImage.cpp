#include "client/ui/views/CAdvImage.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

#include "client/base/ShellText.h"
#include "client/ui/views/CImageCache.h"

CSwfWnd::CSwfWnd(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  setCursor(Qt::ArrowCursor);
  setAccessibleName(QStringLiteral("Flash"));
  hide();
}

CAdvImage::CAdvImage(QWidget* parent, LinkOpener opener)
    : QWidget(parent),
      m_opener(opener ? std::move(opener)
                      : LinkOpener([](const std::string& url) { return OpenUrl(url); })),
      m_swf(new CSwfWnd(this)) {
  setCursor(Qt::PointingHandCursor);
  // Read by the client's accessibility factory: the banner is a link.
  setProperty("orvAccessibleRole", static_cast<int>(QAccessible::Link));
  setAccessibleName(QStringLiteral("广告"));
  m_swf->setGeometry(rect());
}

void CAdvImage::SetAdvertisement(const std::string& filePath, const std::string& link) {
  m_picturePath.clear();
  if (m_swf->isVisible()) m_swf->hide();
  size_t dot = filePath.rfind('.');
  if (dot == std::string::npos) return;
  std::string extension = filePath.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (extension == ".SWF") {
    m_swf->show();
  } else {
    m_picturePath = QString::fromStdString(filePath);
    CImageCache::Instance().ForgetFailure(m_picturePath);
    // Queued now rather than at the first paint.
    CImageCache::Instance().Lookup(m_picturePath, size(), &FitSize, this);
  }
  m_link = link;
  setAccessibleDescription(QString::fromStdString(m_link));
  repaint();
}

QRect CAdvImage::FitRect(const QSize& picture, const QSize& client) {
  if (picture.isEmpty() || client.isEmpty()) return {};
  float ratio = static_cast<float>(picture.width()) / static_cast<float>(picture.height());
  int width = static_cast<int>(std::lround(client.height() * ratio)) & ~2;
  int height = client.height();
  if (client.width() < width) {
    width = client.width();
    height = static_cast<int>(std::lround(client.width() / ratio)) & ~2;
  }
  return QRect((client.width() - width) / 2, (client.height() - height) / 2, width, height);
}

QSize CAdvImage::FitSize(const QSize& picture, const QSize& client) {
  return FitRect(picture, client).size();
}

bool CAdvImage::HasPicture() const {
  return CImageCache::Instance().Peek(m_picturePath, size(), &FitSize).state ==
         CImageCache::State::Ready;
}

void CAdvImage::paintEvent(QPaintEvent* event) {
  if (m_picturePath.isEmpty()) return;
  const CImageCache::Picture picture =
      CImageCache::Instance().Lookup(m_picturePath, size(), &FitSize, this);
  if (picture.state != CImageCache::State::Ready) return;
  const QRect placed(FitRect(picture.source, size()).topLeft(), picture.image.size());
  QPainter painter(this);
  // An opaque picture is copied as it is, never blended.
  if (!picture.image.hasAlphaChannel())
    painter.setCompositionMode(QPainter::CompositionMode_Source);
  // Rectangle by rectangle of what is exposed: each draw then has a plain rectangular clip,
  // which the painter copies on this thread instead of spreading spans over Qt's pool.
  for (const QRect& exposed : event->region()) {
    const QRect part = exposed & placed;
    if (part.isEmpty()) continue;
    painter.setClipRect(part);
    painter.drawImage(part.topLeft(), picture.image, part.translated(-placed.topLeft()));
  }
}

void CAdvImage::mousePressEvent(QMouseEvent* event) {
  // The banner is client area: a press here never drags the window.
  event->accept();
  if (event->button() == Qt::LeftButton && !m_link.empty()) m_opener(m_link);
}

void CAdvImage::resizeEvent(QResizeEvent* event) {
  m_swf->setGeometry(rect());
  QWidget::resizeEvent(event);
}
