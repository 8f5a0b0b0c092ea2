#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QImageReader>

#include "controls/DialogUnits.h"
#include "controls/SkinFonts.h"
#include "controls/SkinImages.h"

namespace {

TEST(SkinImagesTest, RelativeNamesJoinTheProgramDirectoryWithSlashes) {
  const QString dir = QCoreApplication::applicationDirPath();
  EXPECT_EQ(SkinImagePath(QStringLiteral("image\\Top\\Topmost.bmp")),
            dir + QStringLiteral("/image/Top/Topmost.bmp"));
  EXPECT_EQ(SkinImagePath(QStringLiteral("\\image\\config.ini")),
            dir + QStringLiteral("/image/config.ini"));
  EXPECT_EQ(SkinImagePath(QStringLiteral("image/PngButton/loading.png")),
            dir + QStringLiteral("/image/PngButton/loading.png"));
  EXPECT_EQ(SkinImagePath(QStringLiteral("/tmp/x.png")), QStringLiteral("/tmp/x.png"));
}

TEST(SkinImagesTest, OnlyTheExactKeyColourBecomesTransparent) {
  QImage image(3, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 255));
  image.setPixel(1, 0, qRgb(254, 0, 255));
  image.setPixel(2, 0, qRgb(1, 2, 3));
  const QImage keyed = KeyOutMagenta(image);
  EXPECT_EQ(qAlpha(keyed.pixel(0, 0)), 0);
  EXPECT_EQ(keyed.pixel(1, 0), qRgb(254, 0, 255));
  EXPECT_EQ(keyed.pixel(2, 0), qRgb(1, 2, 3));
}

TEST(DialogUnitsTest, FourXUnitsAreOneAverageCharacterAndEightYUnitsOneLine) {
  const DialogUnits du(QFont(QStringLiteral("DejaVu Sans"), 9));
  EXPECT_GT(du.BaseX(), 3);
  EXPECT_GT(du.BaseY(), du.BaseX());
  EXPECT_EQ(du.X(4), du.BaseX());
  EXPECT_EQ(du.Y(8), du.BaseY());
  EXPECT_EQ(du.X(400), du.BaseX() * 100);
  EXPECT_EQ(du.Rect(0, 0, 8, 16), QRect(0, 0, du.BaseX() * 2, du.BaseY() * 2));
  EXPECT_EQ(du.X(-4), -du.BaseX());
}

TEST(SkinFontsTest, ProductFontNamesMapOntoInstalledFamilies) {
  InstallFontSubstitutions();
  for (const char* family : {"微软雅黑", "宋体", "MS Shell Dlg", "Arial"}) {
    const QString name = QString::fromUtf8(family);
    SCOPED_TRACE(family);
    const QStringList substitutes = FontSubstitutesFor(name);
    ASSERT_FALSE(substitutes.isEmpty());
    // Qt keeps substitute names in lower case.
    QStringList lower;
    for (const QString& s : substitutes) lower << s.toLower();
    EXPECT_EQ(QFont::substitutes(name), lower);
  }
  EXPECT_TRUE(FontSubstitutesFor(QStringLiteral("No Such Face")).isEmpty());
}

// The generated skin in the program directory: every file the programs name, in the format
// its extension says.
TEST(GeneratedSkinTest, EveryNamedImageExistsInItsFormat) {
  const char* files[] = {"image\\Top\\Topmost.bmp",
                         "image\\状态.bmp",
                         "image\\button_begin.BMP",
                         "image\\启动界面背景.bmp",
                         "image\\Top\\菜单_5_0.bmp",
                         "image\\Top\\菜单_5_1.bmp",
                         "image\\Top\\菜单_5_2.bmp",
                         "image\\Top\\菜单_6_0.bmp",
                         "image\\Top\\菜单_6_1.bmp",
                         "image\\Top\\菜单_6_2.bmp",
                         "image\\最小化.bmp",
                         "image\\最小化_1.bmp",
                         "image\\最小化_2.bmp",
                         "image\\关闭.bmp",
                         "image\\关闭_1.bmp",
                         "image\\关闭_2.bmp",
                         "image\\UserLogonTittle.bmp",
                         "image\\PngButton\\更新.png",
                         "image\\PngButton\\禁用.png",
                         "image\\PngButton\\试用.png",
                         "image\\PngButton\\未安装.png",
                         "image\\PngButton\\未开通.png",
                         "image\\PngButton\\未授权.png",
                         "image\\PngButton\\卸载.png",
                         "image\\PngButton\\运行.png",
                         "image\\PngButton\\HighLightOne.png",
                         "image\\PngButton\\HighLightTwo.png",
                         "image\\PngButton\\HotRemark.png",
                         "image/PngButton/loading.png",
                         "image\\SystemDiagnose\\screen.png",
                         "image\\SystemDiagnose\\scanning.png",
                         "image\\SystemDiagnose\\detectOver.png",
                         "image\\SystemDiagnose\\开始扫描1.png",
                         "image\\SystemDiagnose\\停止1.png",
                         "image\\SystemDiagnose\\开始扫描.png",
                         "image\\SystemDiagnose\\current.png",
                         "image\\SystemDiagnose\\检测通过.png",
                         "image\\SystemDiagnose\\检测异常.png",
                         "image\\SystemDiagnose\\检测未通过.png"};
  for (const char* name : files) {
    const QString path = SkinImagePath(QString::fromUtf8(name));
    SCOPED_TRACE(name);
    QImageReader reader(path);
    const QByteArray format = path.endsWith(QStringLiteral(".png")) ? "png" : "bmp";
    EXPECT_EQ(reader.format(), format);
    EXPECT_FALSE(reader.read().isNull());
  }
  // The frame bands fit the window layout: 85 pixels on top, 30 at the bottom, and the start
  // background leaves 200 pixels for the hot-apps strip above y 525.
  EXPECT_EQ(LoadSkinImage(QStringLiteral("image\\Top\\Topmost.bmp")).height(), 85);
  EXPECT_EQ(LoadSkinImage(QStringLiteral("image\\状态.bmp")).height(), 30);
  EXPECT_EQ(LoadSkinImage(QStringLiteral("image\\启动界面背景.bmp")).height(), 240);
  // The login dialog tiles its title bitmap over its top 25 pixels only: all of the artwork
  // must fit that band, and one tile must span the dialog so the emblem does not repeat.
  InstallFontSubstitutions();
  const QImage title = LoadSkinImage(QStringLiteral("image\\UserLogonTittle.bmp"));
  EXPECT_LE(title.height(), 25);
  EXPECT_GE(title.width(), DialogUnits::ForDialogFont(QStringLiteral("MS Shell Dlg"), 8).X(233));
}

TEST(GeneratedSkinTest, ResourceImagesLoadByNumber) {
  for (int id : {162, 164, 165, 166, 172}) {
    const QImage tab = ResourceImage(id);
    ASSERT_FALSE(tab.isNull()) << id;
    EXPECT_LE(tab.width(), 80) << id;  // five tabs fit the 398-pixel strip at 80 each
  }
  const QImage popup = ResourceImage(170);
  ASSERT_FALSE(popup.isNull());
  EXPECT_EQ(popup.size(), QSize(252, 172));
  EXPECT_EQ(popup.pixel(0, 0), qRgb(255, 0, 255));  // corner keyed out
  EXPECT_EQ(popup.pixel(79, 59), qRgb(255, 0, 255));
  EXPECT_NE(popup.pixel(40, 40), qRgb(255, 0, 255));            // body of the frame
  EXPECT_NE(popup.pixel(1 + 36 + 18, 69), qRgb(255, 0, 255));   // close button, hover
  EXPECT_NE(popup.pixel(1 + 100 + 25, 90), qRgb(255, 0, 255));  // open button, pressed
  EXPECT_FALSE(ResourceImage(167).isNull());
  EXPECT_FALSE(ResourceImage(130).isNull());
  EXPECT_FALSE(ResourceIcon(128).isNull());
  EXPECT_TRUE(ResourceImage(999).isNull());
}

TEST(GeneratedSkinTest, ConfigIniCarriesTheKeysTheProgramsRead) {
  QFile file(SkinImagePath(QStringLiteral("\\image\\config.ini")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  for (const char* key :
       {"[Server]", "ListenIpAddr=", "ListenPortNum=", "[VPN]", "Telcom=", "Union=", "[NetWork]",
        "TestPoint1=", "TestPoint2=", "[Completeness]", "ServerCompleteness="}) {
    EXPECT_TRUE(text.contains(key)) << key;
  }
  // The comment line names the product in GBK ("澄野奥凡"), not in UTF-8.
  EXPECT_TRUE(text.contains("\xB3\xCE\xD2\xB0\xB0\xC2\xB7\xB2"));
  EXPECT_FALSE(text.contains("\xE6\xBE\x84"));
}

}  // namespace
