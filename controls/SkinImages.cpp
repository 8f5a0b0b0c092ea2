#include "controls/SkinImages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString SkinProgramDir() { return QCoreApplication::applicationDirPath(); }

QString SkinImagePath(const QString& relative) {
  QString name = relative;
  name.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (QFileInfo(name).isAbsolute() && !relative.startsWith(QLatin1Char('\\'))) return name;
  while (name.startsWith(QLatin1Char('/'))) name.remove(0, 1);
  return SkinProgramDir() + QLatin1Char('/') + name;
}

QImage KeyOutMagenta(const QImage& image) {
  if (image.isNull()) return image;
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if ((line[x] | 0xFF000000u) == kSkinKeyColor && qAlpha(line[x]) == 255) line[x] = 0;
    }
  }
  return out;
}

QImage LoadSkinImage(const QString& relative) {
  QImage image(SkinImagePath(relative));
  return KeyOutMagenta(image);
}

QString ResourceImagePath(int id) {
  const QString base = SkinProgramDir() + QStringLiteral("/image/res/") + QString::number(id);
  if (QFileInfo::exists(base + QStringLiteral(".bmp"))) return base + QStringLiteral(".bmp");
  return base + QStringLiteral(".png");
}

QImage ResourceImage(int id) { return QImage(ResourceImagePath(id)); }

QIcon ResourceIcon(int id) {
  QIcon icon;
  const QString base = SkinProgramDir() + QStringLiteral("/image/res/") + QString::number(id);
  for (int size : {16, 32, 48, 256}) {
    const QString file =
        base + QStringLiteral("_") + QString::number(size) + QStringLiteral(".png");
    if (QFileInfo::exists(file)) icon.addFile(file, QSize(size, size));
  }
  if (icon.isNull() && QFileInfo::exists(base + QStringLiteral(".png")))
    icon.addFile(base + QStringLiteral(".png"));
  return icon;
}
