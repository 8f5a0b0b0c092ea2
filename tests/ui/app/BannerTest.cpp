// The banner: its aspect fit (with the described clearing of bit 1), the blank child for
// ".SWF" files, a path without an extension, and the link on a click.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include <string>
#include <vector>

#include "client/ui/views/CAdvImage.h"
#include "client/ui/views/CImageCache.h"
#include "support/TestSupport.h"

TEST(AdvImageFit, FitsTheHeightOrTheWidthKeepingTheAspectRatio) {
  struct Case {
    QSize picture;
    QRect expected;
  };
  const QSize client(850, 325);
  const Case cases[] = {
      {{850, 325}, QRect(1, 0, 848, 325)},    // 850 has bit 1 set: 848, centred
      {{100, 100}, QRect(262, 0, 325, 325)},  // square: as high as the banner
      {{1700, 325}, QRect(0, 82, 850, 161)},  // too wide: the width fits, 163 -> 161
      {{1, 1000}, QRect(425, 0, 0, 325)},     // a sliver rounds to nothing
  };
  for (const Case& c : cases)
    EXPECT_EQ(CAdvImage::FitRect(c.picture, client), c.expected)
        << c.picture.width() << "x" << c.picture.height();
  EXPECT_TRUE(CAdvImage::FitRect(QSize(), client).isNull());
}

TEST(AdvImage, SwfFilesGetTheBlankChildAndAPictureHidesItAgain) {
  orvtest::TempDir dir;
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(Qt::green);
  const std::string png = dir.File("1.png");
  ASSERT_TRUE(image.save(QString::fromStdString(png)));
  std::vector<std::string> opened;
  QWidget parent;
  CAdvImage banner(&parent, [&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  banner.setGeometry(0, 0, 850, 325);
  parent.show();

  banner.SetAdvertisement(dir.File("2.Swf"), "http://127.0.0.1:9/flash");
  EXPECT_TRUE(banner.SwfWindow()->isVisible());
  EXPECT_EQ(banner.SwfWindow()->geometry(), banner.rect());
  EXPECT_FALSE(banner.HasPicture());
  EXPECT_EQ(banner.Link(), "http://127.0.0.1:9/flash");

  banner.SetAdvertisement(png, "http://127.0.0.1:9/pic");
  EXPECT_FALSE(banner.SwfWindow()->isVisible());
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));  // decoded off the GUI thread
  EXPECT_TRUE(banner.HasPicture());

  // No "." in the path: nothing shown, the old link stays.
  banner.SetAdvertisement(dir.Path() + "/noextension", "http://127.0.0.1:9/other");
  EXPECT_FALSE(banner.HasPicture());
  EXPECT_EQ(banner.Link(), "http://127.0.0.1:9/pic");
  QTest::mouseClick(&banner, Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/pic"});

  // A file that cannot be read shows nothing; without a link a click opens nothing.
  banner.SetAdvertisement(dir.File("missing.png"), "");
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  EXPECT_FALSE(banner.HasPicture());
  QTest::mouseClick(&banner, Qt::LeftButton);
  EXPECT_EQ(opened.size(), 1u);
}

// Painting only part of the banner (a window uncovering it) draws the same pixels there as
// a full paint, at the same place, and nothing outside the part.
TEST(AdvImage, APartialPaintMatchesTheFullPaint) {
  orvtest::TempDir dir;
  QImage image(160, 80, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x, 3 * y, 60));
  const std::string png = dir.File("gradient.png");
  ASSERT_TRUE(image.save(QString::fromStdString(png)));
  CAdvImage banner(nullptr, [](const std::string&) { return true; });
  banner.resize(850, 325);
  banner.SetAdvertisement(png, "");
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  ASSERT_TRUE(banner.HasPicture());

  auto render = [&](const QRegion& region) {
    QImage out(banner.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    banner.render(&out, region.boundingRect().topLeft(), region, {});  // kept in place
    return out;
  };
  const QImage full = render(QRegion(banner.rect()));
  // The full paint shows the decoded picture 1:1 where it is fitted.
  const CImageCache::Picture picture =
      CImageCache::Instance().Peek(QString::fromStdString(png), banner.size(), &CAdvImage::FitSize);
  const QRect placed = CAdvImage::FitRect(picture.source, banner.size());
  ASSERT_EQ(placed.size(), picture.image.size());
  EXPECT_EQ(full.copy(placed), picture.image.convertToFormat(QImage::Format_RGB32));
  // One part across the picture's left edge, one inside it, one beside it.
  const QRegion part =
      QRegion(60, 10, 120, 50) + QRegion(400, 200, 30, 30) + QRegion(800, 0, 50, 325);
  const QImage partial = render(part);
  int drawn = 0;
  for (int y = 0; y < full.height(); ++y)
    for (int x = 0; x < full.width(); ++x) {
      const QRgb expected = part.contains(QPoint(x, y)) ? full.pixel(x, y) : qRgb(255, 255, 255);
      ASSERT_EQ(partial.pixel(x, y), expected) << x << "," << y;
      drawn += expected != qRgb(255, 255, 255);
    }
  EXPECT_GT(drawn, 0);
}
