// Icons and banners decoded once, at the size drawn, and refused when too large or no image.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QWidget>
#include <QtEndian>

#include "client/ui/views/CAdvImage.h"
#include "client/ui/views/CImageCache.h"
#include "support/TestSupport.h"

namespace {

// A BMP header announcing width x height, with no pixels behind it: only its header can be
// read, so a refusal from the header is the only way not to fail on the missing pixels.
std::string BmpHeader(int width, int height) {
  std::string b(54, '\0');
  b[0] = 'B';
  b[1] = 'M';
  auto put = [&](size_t at, quint32 v) { qToLittleEndian(v, b.data() + at); };
  put(2, 54 + 3u * width * height);
  put(10, 54);
  put(14, 40);
  put(18, static_cast<quint32>(width));
  put(22, static_cast<quint32>(height));
  qToLittleEndian<quint16>(1, b.data() + 26);
  qToLittleEndian<quint16>(24, b.data() + 28);
  return b;
}

std::string Encoded(const char* format, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(QColor(20, 160, 90));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

// The smallest GIF (Qt writes none).
const std::string kGif(
    "GIF89a\x01\0\x01\0\x80\0\0\xff\xff\xff\0\0\0!\xf9\x04\x01\0\0\0\0,"
    "\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;",
    43);

TEST(ImageCacheTest, DecodesTheFourFormatsAtTheDrawnSizeAndRefusesTheRest) {
  orvtest::TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
    QSize source;  // empty: refused
  } cases[] = {
      {"icon.png", Encoded("PNG", 300, 200), QSize(300, 200)},
      {"icon.jpg", Encoded("JPEG", 300, 200), QSize(300, 200)},
      {"icon.bmp", Encoded("BMP", 300, 200), QSize(300, 200)},
      {"icon.gif", kGif, QSize(1, 1)},
      // A JPEG under a PNG's name: the bytes decide.
      {"named.png", Encoded("JPEG", 300, 200), QSize(300, 200)},
      {"page.png", "<html><body>not found</body></html>", QSize()},
      {"huge.bmp", BmpHeader(5000, 5000), QSize()},  // above the pixel limit
      {"missing.png", "", QSize()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    if (!c.bytes.empty()) orvtest::WriteFile(path, c.bytes);
    const CImageCache::Picture stretched =
        CImageCache::Decode(QString::fromStdString(path), QSize(72, 72), nullptr);
    EXPECT_EQ(stretched.state == CImageCache::State::Ready, !c.source.isEmpty());
    if (c.source.isEmpty()) continue;
    EXPECT_EQ(stretched.image.size(), QSize(72, 72));
    EXPECT_EQ(stretched.source, c.source);
    // Fitted as the banner fits its picture: the aspect ratio is kept.
    const CImageCache::Picture fitted =
        CImageCache::Decode(QString::fromStdString(path), QSize(850, 325), &CAdvImage::FitSize);
    EXPECT_EQ(fitted.image.size(), CAdvImage::FitRect(c.source, QSize(850, 325)).size());
  }
}

// Opaque pictures come back without alpha, so the banner copies them instead of blending;
// a picture with any translucent pixel keeps its alpha.
TEST(ImageCacheTest, OnlyTranslucentPicturesKeepTheirAlpha) {
  orvtest::TempDir dir;
  const struct {
    const char* name;
    QColor corner;  // one pixel; the rest opaque
    bool alpha;
  } cases[] = {
      {"opaque.png", QColor(20, 160, 90), false},
      {"translucent.png", QColor(20, 160, 90, 128), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(QColor(200, 30, 40));
    image.setPixelColor(0, 0, c.corner);
    const std::string path = dir.File(c.name);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
    const CImageCache::Picture picture =
        CImageCache::Decode(QString::fromStdString(path), QSize(40, 20), nullptr);
    ASSERT_EQ(picture.state, CImageCache::State::Ready);
    EXPECT_EQ(picture.image.hasAlphaChannel(), c.alpha);
    EXPECT_EQ(picture.image.pixelColor(39, 19), QColor(200, 30, 40));
    EXPECT_EQ(picture.image.pixelColor(0, 0).alpha(), c.corner.alpha());
  }
}

TEST(ImageCacheTest, APictureIsDecodedOnceForEveryWidgetThatDrawsItAtThatSize) {
  orvtest::TempDir dir;
  const QString path = QString::fromStdString(dir.File("banner.png"));
  orvtest::WriteFile(path.toStdString(), Encoded("PNG", 600, 150));
  CImageCache& cache = CImageCache::Instance();
  QWidget a, b;
  const int before = cache.DecodeCount();
  EXPECT_EQ(cache.Lookup(path, QSize(80, 80), nullptr, &a).state, CImageCache::State::Pending);
  EXPECT_EQ(cache.Lookup(path, QSize(80, 80), nullptr, &b).state, CImageCache::State::Pending);
  ASSERT_TRUE(cache.WaitIdle(10000));
  for (int i = 0; i < 3; ++i)  // a banner shown again and again
    EXPECT_EQ(cache.Lookup(path, QSize(80, 80), nullptr, &a).state, CImageCache::State::Ready);
  EXPECT_EQ(cache.DecodeCount(), before + 1);
  // Another size is another decode.
  cache.Lookup(path, QSize(40, 40), nullptr, &a);
  ASSERT_TRUE(cache.WaitIdle(10000));
  EXPECT_EQ(cache.DecodeCount(), before + 2);
}

}  // namespace
