#include "client/ui/views/CAdvImage.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

#include "client/base/ShellText.h"

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
  m_picture = QImage();
  if (m_swf->isVisible()) m_swf->hide();
  size_t dot = filePath.rfind('.');
  if (dot == std::string::npos) return;
  std::string extension = filePath.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (extension == ".SWF") {
    m_swf->show();
  } else {
    QImage picture(QString::fromStdString(filePath));
    if (!picture.isNull()) m_picture = std::move(picture);
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

void CAdvImage::paintEvent(QPaintEvent*) {
  if (m_picture.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(FitRect(m_picture.size(), size()), m_picture);
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
