// Draws the deployment skin into the given image folder:
//   orvskin-gen <image dir> [stand-in base address] [push port]

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <string>

#include "SkinArt.h"
#include "platform/Encoding.h"

using namespace skin;

namespace {

QString g_dir;
int g_failures = 0;

void Put(const QImage& image, const QString& relative) {
  if (!Save(image, g_dir, relative)) {
    std::fprintf(stderr, "orvskin-gen: cannot write %s\n", qPrintable(relative));
    ++g_failures;
  }
}

// --- Main window frame --------------------------------------------------------------------

// Top band, 85 pixels: flat frame blue where the buttons sit, the emblem and the product name
// at the left, a light rule at the bottom edge.
void DrawTopmost() {
  QImage image = NewImage(850, 85, kFrame);
  QPainter p(&image);
  Smooth(p);
  QRadialGradient glow(QPointF(80, 40), 160);
  glow.setColorAt(0, kFrameLight);
  glow.setColorAt(1, kFrame);
  p.fillRect(QRectF(0, 0, 170, 82), glow);
  DrawEmblem(p, QRectF(12, 18, 40, 40));
  p.setPen(Qt::white);
  p.setFont(UiFont(17, true));
  p.drawText(QRectF(58, 16, 112, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("澄野奥凡"));
  p.setPen(kStatusText);
  p.setFont(UiFont(12));
  p.drawText(QRectF(58, 40, 112, 20), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("云平台 · Orvanta"));
  p.fillRect(QRectF(0, 82, 850, 1), kFrameDeep);
  p.fillRect(QRectF(0, 83, 850, 2), kStrip);
  p.end();
  Put(image, QStringLiteral("Top/Topmost.bmp"));
}

// Status band, 30 pixels, tiled over the bottom of the window.
void DrawStatusBar() {
  QImage image = NewImage(850, 30, kFrame);
  QPainter p(&image);
  FillVertical(p, QRectF(0, 0, 850, 30), kFrameLight, kFrameDeep);
  p.fillRect(QRectF(0, 0, 850, 1), kStrip);
  p.end();
  Put(image, QStringLiteral("状态.bmp"));
}

// Background of the home page above the hot-apps strip: 240 pixels of light page colour
// with soft bands.
void DrawStartBackground() {
  QImage image = NewImage(850, 240, kPage);
  QPainter p(&image);
  Smooth(p);
  FillVertical(p, QRectF(0, 0, 850, 240), QColor(236, 242, 246), kPage);
  // Soft glows on the right that fade out before the lower edge, so the band meets the page
  // colour without a seam.
  for (int i = 0; i < 3; ++i) {
    QRadialGradient glow(QPointF(690 - 120 * i, 90 + 20 * i), 150 - 25 * i);
    QColor c = kAccent;
    c.setAlpha(26 - 6 * i);
    glow.setColorAt(0, c);
    c.setAlpha(0);
    glow.setColorAt(1, c);
    p.fillRect(QRectF(0, 0, 850, 240), glow);
  }
  p.end();
  Put(image, QStringLiteral("启动界面背景.bmp"));
}

// A rounded button face drawn on `ground`, whose exact pixels are then keyed out.
QImage ButtonFace(int w, int h, const QColor& ground, const QColor& top, const QColor& bottom,
                  const QColor& border, qreal radius) {
  QImage image = NewImage(w, h, ground);
  QPainter p(&image);
  Smooth(p);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.setBrush(g);
  p.setPen(border.isValid() ? QPen(border, 1) : QPen(Qt::NoPen));
  p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), radius, radius);
  return image;
}

// Login / logout buttons (70 x 26): _0 normal (also hover), _1 pressed, _2 disabled.
void DrawMenuButton(int number, const QString& caption, Glyph glyph) {
  struct Look {
    QColor top, bottom, border, text;
  };
  const Look looks[3] = {
      {kStrip.lighter(115), kStrip, kAccent.lighter(130), Qt::white},
      {kStrip.darker(130), kStrip.darker(115), kFrameDeep, QColor(210, 230, 245)},
      {QColor(110, 122, 138), QColor(92, 104, 120), QColor(80, 90, 104), QColor(170, 178, 188)},
  };
  for (int state = 0; state < 3; ++state) {
    const Look& look = looks[state];
    QImage image = ButtonFace(70, 26, kFrame, look.top, look.bottom, look.border, 5);
    QPainter p(&image);
    Smooth(p);
    DrawGlyph(p, glyph, QRectF(9, 5, 16, 16), look.text);
    p.setFont(UiFont(13, true));
    p.setPen(look.text);
    p.drawText(QRectF(28, 0, 38, 26), Qt::AlignCenter, caption);
    p.end();
    Put(KeyBackground(image, kFrame), QStringLiteral("Top/菜单_%1_%2.bmp").arg(number).arg(state));
  }
}

// Minimise (34 x 20) and close (45 x 20): plain glyph on the frame, lighter face on hover
// and pressed; close turns red.
void DrawCaptionButtons() {
  struct Variant {
    QString suffix;
    int kind;  // 0 plain, 1 hover face, 2 pressed face
  };
  const Variant variants[3] = {
      {QString(), 0}, {QStringLiteral("_1"), 2}, {QStringLiteral("_2"), 1}};
  for (const Variant& v : variants) {
    for (int which = 0; which < 2; ++which) {
      const bool close = which == 1;
      const int w = close ? 45 : 34;
      QImage image = NewImage(w, 20, kFrame);
      QPainter p(&image);
      Smooth(p);
      if (v.kind != 0) {
        const QColor face = close ? (v.kind == 1 ? kBad : kBad.darker(125))
                                  : (v.kind == 1 ? kFrameLight.lighter(120) : kFrameDeep);
        p.setPen(Qt::NoPen);
        p.setBrush(face);
        p.drawRoundedRect(QRectF(1, 1, w - 2, 18), 3, 3);
      }
      DrawGlyph(p, close ? Glyph::Close : Glyph::Minimise, QRectF((w - 16) / 2.0, 2, 16, 16),
                v.kind == 0 ? kStatusText : QColor(Qt::white));
      p.end();
      Put(KeyBackground(image, kFrame),
          (close ? QStringLiteral("关闭") : QStringLiteral("最小化")) + v.suffix +
              QStringLiteral(".bmp"));
    }
  }
}

void DrawBeginButton() {
  QImage image = ButtonFace(100, 30, kPage, kAccent.lighter(110), kStrip, kStrip.darker(120), 6);
  QPainter p(&image);
  Smooth(p);
  DrawGlyph(p, Glyph::Play, QRectF(14, 8, 14, 14), Qt::white);
  p.setFont(UiFont(14, true));
  p.setPen(Qt::white);
  p.drawText(QRectF(30, 0, 62, 30), Qt::AlignCenter, QStringLiteral("开始使用"));
  p.end();
  Put(KeyBackground(image, kPage), QStringLiteral("button_begin.BMP"));
}

// Title band of the login dialog. The dialog tiles it at its own size across its top 25
// pixels only, so the artwork must fit that height, and it is wider than the dialog so the
// emblem never repeats. The right-hand part stays plain frame blue: the close button sits
// there and its keyed-out parts show the band.
void DrawLogonTitle() {
  QImage image = NewImage(640, 25, kFrame);
  QPainter p(&image);
  Smooth(p);
  QRadialGradient glow(QPointF(70, 12), 150);
  glow.setColorAt(0, kFrameLight);
  glow.setColorAt(1, kFrame);
  p.fillRect(QRectF(0, 0, 240, 24), glow);
  DrawEmblem(p, QRectF(5, 3, 18, 18));
  p.setPen(Qt::white);
  p.setFont(UiFont(13, true));
  p.drawText(QRectF(29, 0, 70, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("用户登录"));
  p.setPen(kStatusText);
  p.setFont(UiFont(11));
  p.drawText(QRectF(92, 0, 150, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("澄野奥凡云平台"));
  p.fillRect(QRectF(0, 24, 640, 1), kStrip);
  p.end();
  Put(image, QStringLiteral("UserLogonTittle.bmp"));
}

// --- Application buttons -------------------------------------------------------------------

void Badge(const QString& name, const QColor& color, Glyph glyph) {
  QImage image = NewImage(48, 48);
  QPainter p(&image);
  Smooth(p);
  p.setPen(QPen(Qt::white, 3));
  p.setBrush(color);
  p.drawEllipse(QRectF(2.5, 2.5, 43, 43));
  DrawGlyph(p, glyph, QRectF(10, 10, 28, 28), Qt::white);
  p.end();
  Put(image, QStringLiteral("PngButton/") + name + QStringLiteral(".png"));
}

void DrawAppButtonImages() {
  Badge(QStringLiteral("更新"), kWarn, Glyph::ArrowUp);
  Badge(QStringLiteral("禁用"), QColor(140, 148, 156), Glyph::Ban);
  Badge(QStringLiteral("试用"), QColor(20, 160, 150), Glyph::Trial);
  Badge(QStringLiteral("未安装"), kAccent, Glyph::Download);
  Badge(QStringLiteral("未开通"), kSlate, Glyph::Lock);
  Badge(QStringLiteral("未授权"), kBad, Glyph::Key);
  Badge(QStringLiteral("卸载"), kBad.darker(120), Glyph::Trash);
  Badge(QStringLiteral("运行"), kGood, Glyph::Play);

  {
    QImage image = NewImage(96, 96);
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(QColor(255, 255, 255, 200), 2));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRoundedRect(QRectF(1, 1, 94, 94), 12, 12);
    p.end();
    Put(image, QStringLiteral("PngButton/HighLightOne.png"));
  }
  {
    QImage image = NewImage(96, 96);
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(QColor(12, 78, 124, 200), 2));
    p.setBrush(QColor(12, 78, 124, 70));
    p.drawRoundedRect(QRectF(1, 1, 94, 94), 12, 12);
    p.end();
    Put(image, QStringLiteral("PngButton/HighLightTwo.png"));
  }
  {
    QImage image = NewImage(48, 48);
    QPainter p(&image);
    Smooth(p);
    QPainterPath ribbon;  // a corner tab in the upper right
    ribbon.moveTo(12, 0);
    ribbon.lineTo(48, 0);
    ribbon.lineTo(48, 36);
    ribbon.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kBad);
    p.drawPath(ribbon);
    p.translate(36, 13);
    p.rotate(45);
    p.setPen(Qt::white);
    p.setFont(UiFont(11, true));
    p.drawText(QRectF(-16, -7, 32, 14), Qt::AlignCenter, QStringLiteral("HOT"));
    p.end();
    Put(image, QStringLiteral("PngButton/HotRemark.png"));
  }
  {
    QImage image = NewImage(96, 96);
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(QColor(180, 192, 200), 2));
    p.setBrush(QColor(236, 242, 246));
    p.drawRoundedRect(QRectF(4, 4, 88, 88), 14, 14);
    for (int i = 0; i < 8; ++i) {
      QColor c = kAccent;
      c.setAlpha(40 + i * 26);
      p.setPen(Qt::NoPen);
      p.setBrush(c);
      const qreal a = i * std::numbers::pi / 4;
      p.drawEllipse(QPointF(48 + 18 * std::cos(a), 48 + 18 * std::sin(a)), 4.5, 4.5);
    }
    p.end();
    Put(image, QStringLiteral("PngButton/loading.png"));
  }
}

// --- Diagnosis page ------------------------------------------------------------------------

void StatePicture(const QString& name, Glyph overlay, const QColor& color) {
  QImage image = NewImage(40, 40);
  QPainter p(&image);
  Smooth(p);
  DrawGlyph(p, Glyph::Monitor, QRectF(2, 2, 36, 36), kInk);
  if (overlay != Glyph::Monitor) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(20, 18, 19, 19));
    DrawGlyph(p, overlay, QRectF(22, 20, 15, 15), Qt::white);
  }
  p.end();
  Put(image, QStringLiteral("SystemDiagnose/") + name);
}

void ScanButton(const QString& name, const QString& caption, const QColor& base, Glyph glyph) {
  QImage image = NewImage(112, 30);
  QPainter p(&image);
  Smooth(p);
  QLinearGradient g(0, 0, 0, 30);
  g.setColorAt(0, base.lighter(118));
  g.setColorAt(1, base);
  p.setPen(QPen(base.darker(125), 1));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(0.5, 0.5, 111, 29), 6, 6);
  DrawGlyph(p, glyph, QRectF(14, 7, 16, 16), Qt::white);
  p.setFont(UiFont(14, true));
  p.setPen(Qt::white);
  p.drawText(QRectF(32, 0, 74, 30), Qt::AlignCenter, caption);
  p.end();
  Put(image, QStringLiteral("SystemDiagnose/") + name);
}

void RowIcon(const QString& name, const QColor& color, Glyph glyph) {
  QImage image = NewImage(20, 20);
  QPainter p(&image);
  Smooth(p);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(QRectF(1, 1, 18, 18));
  DrawGlyph(p, glyph, QRectF(3, 3, 14, 14), Qt::white);
  p.end();
  Put(image, QStringLiteral("SystemDiagnose/") + name);
}

void DrawDiagnosisImages() {
  StatePicture(QStringLiteral("screen.png"), Glyph::Monitor, kInk);
  StatePicture(QStringLiteral("scanning.png"), Glyph::Magnifier, kAccent);
  StatePicture(QStringLiteral("detectOver.png"), Glyph::Check, kGood);
  ScanButton(QStringLiteral("开始扫描1.png"), QStringLiteral("开始扫描"), kStrip, Glyph::Magnifier);
  ScanButton(QStringLiteral("停止1.png"), QStringLiteral("停止"), kWarn, Glyph::Stop);
  ScanButton(QStringLiteral("开始扫描.png"), QStringLiteral("开始扫描"), kGood, Glyph::Magnifier);
  RowIcon(QStringLiteral("current.png"), QColor(160, 170, 178), Glyph::Dot);
  RowIcon(QStringLiteral("检测通过.png"), kGood, Glyph::Check);
  RowIcon(QStringLiteral("检测异常.png"), kWarn, Glyph::Exclaim);
  RowIcon(QStringLiteral("检测未通过.png"), kBad, Glyph::Cross);
}

// --- Resource images -----------------------------------------------------------------------

// Page tabs of the main window (78 x 80) on the strip colour, keyed out around the artwork.
void PageTab(int id, Glyph glyph, const QString& caption) {
  QImage image = NewImage(78, 80, kStrip);
  QPainter p(&image);
  Smooth(p);
  DrawGlyph(p, glyph, QRectF(21, 10, 36, 36), Qt::white);
  p.setFont(UiFont(13, true));
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 50, 78, 22), Qt::AlignCenter, caption);
  p.end();
  Put(KeyBackground(image, kStrip), QStringLiteral("res/%1.bmp").arg(id));
}

// Popup skin (252 x 172): the frame in the top-left 80 x 60 (title bar above y 25, body
// below, key-colour corners), the close button states at y 60 (36 x 18 each) and the open
// button states at y 80 (50 x 20 each), each state one width further right from x 1.
void DrawPopupSkin() {
  QImage image = NewImage(252, 172, kKey);
  QPainter p(&image);
  {
    QImage frame = NewImage(80, 60, kKey);
    QPainter f(&frame);
    Smooth(f);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0.5, 0.5, 79, 59), 5, 5);
    f.setClipPath(outline);
    f.fillRect(QRectF(0, 0, 80, 60), QColor(246, 249, 252));
    FillVertical(f, QRectF(0, 0, 80, 25), kFrameLight, kFrame);
    f.fillRect(QRectF(0, 25, 80, 1), kStrip);
    f.setClipping(false);
    f.setPen(QPen(kFrameDeep, 1));
    f.setBrush(Qt::NoBrush);
    f.drawPath(outline);
    f.end();
    // Corners stay crisp against the key colour: anything not fully inside is key.
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x)
        if (qAlpha(frame.pixel(x, y)) == 255 && frame.pixel(x, y) != kKey.rgb()) {
        } else {
          frame.setPixel(x, y, kKey.rgb());
        }
    p.drawImage(0, 0, frame);
  }
  Smooth(p);
  for (int state = 0; state < 3; ++state) {
    const QRectF close(1 + 36 * state, 60, 36, 18);
    FillVertical(p, close, kFrameLight, kFrame);
    if (state > 0) {
      p.setPen(Qt::NoPen);
      p.setBrush(state == 1 ? kBad : kBad.darker(125));
      p.drawRoundedRect(close.adjusted(2, 1, -2, -1), 3, 3);
    }
    DrawGlyph(p, Glyph::Close, QRectF(close.center().x() - 8, 61, 16, 16), Qt::white);

    const QRectF open(1 + 50 * state, 80, 50, 20);
    p.fillRect(open, QColor(246, 249, 252));
    const QColor base = state == 0 ? kStrip : state == 1 ? kAccent : kStrip.darker(125);
    p.setPen(QPen(base.darker(115), 1));
    p.setBrush(base);
    p.drawRoundedRect(open.adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
    p.setFont(UiFont(12, true));
    p.setPen(Qt::white);
    p.drawText(open, Qt::AlignCenter, QStringLiteral("查看"));
  }
  p.end();
  Put(image, QStringLiteral("res/170.bmp"));
}

// Diagnosis page background (846 x 435).
void DrawDiagnosisBackground() {
  QImage image = NewImage(846, 435, kPage);
  QPainter p(&image);
  Smooth(p);
  FillVertical(p, QRectF(0, 0, 846, 435), QColor(244, 247, 250), kPage);
  QColor faint = kAccent;
  faint.setAlpha(22);
  DrawGlyph(p, Glyph::Shield, QRectF(560, 90, 240, 240), faint);
  QColor ring = kStrip;
  ring.setAlpha(14);
  p.setPen(QPen(ring, 18));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(680, 210), 170, 170);
  p.setPen(QPen(QColor(255, 255, 255, 180), 1));
  p.drawLine(0, 0, 846, 0);
  p.end();
  Put(image, QStringLiteral("res/167.bmp"));
}

// Left-hand banner of the updater (164 x 300).
void DrawUpdaterBanner() {
  QImage image = NewImage(164, 300, kFrame);
  QPainter p(&image);
  Smooth(p);
  FillVertical(p, QRectF(0, 0, 164, 300), kFrameLight, kFrameDeep);
  p.setPen(QPen(QColor(19, 121, 187, 90), 2));
  for (int i = 0; i < 5; ++i) {
    QPainterPath wave;
    wave.moveTo(0, 215 + i * 12);
    wave.cubicTo(50, 195 + i * 12, 110, 245 + i * 12, 164, 210 + i * 12);
    p.drawPath(wave);
  }
  DrawEmblem(p, QRectF(42, 36, 80, 80));
  p.setPen(Qt::white);
  p.setFont(UiFont(20, true));
  p.drawText(QRectF(0, 126, 164, 30), Qt::AlignCenter, QStringLiteral("Orvlift"));
  p.setPen(kStatusText);
  p.setFont(UiFont(13));
  p.drawText(QRectF(0, 156, 164, 22), Qt::AlignCenter, QStringLiteral("澄野奥凡 · 在线升级"));
  p.end();
  Put(image, QStringLiteral("res/130.bmp"));
}

void DrawProgramIcon() {
  for (int size : {16, 32, 48, 256}) {
    QImage image = NewImage(size, size);
    QPainter p(&image);
    DrawEmblem(p, QRectF(0, 0, size, size));
    p.end();
    Put(image, QStringLiteral("res/128_%1.png").arg(size));
    if (size == 256) Put(image, QStringLiteral("res/128.png"));
  }
}

void DrawResourceImages() {
  PageTab(162, Glyph::Home, QStringLiteral("首页"));
  PageTab(164, Glyph::Grid, QStringLiteral("应用中心"));
  PageTab(165, Glyph::Star, QStringLiteral("我的应用"));
  PageTab(166, Glyph::Shield, QStringLiteral("系统诊断"));
  PageTab(172, Glyph::Headset, QStringLiteral("服务中心"));
  DrawPopupSkin();
  DrawDiagnosisBackground();
  DrawUpdaterBanner();
  DrawProgramIcon();
}

// --- Settings file -------------------------------------------------------------------------

void WriteConfig(const QString& base, const QString& pushPort) {
  const QString text = QStringLiteral(
                           "; 澄野奥凡云平台客户端配置 (GBK)\r\n"
                           "[Server]\r\n"
                           "ListenIpAddr=127.0.0.1\r\n"
                           "ListenPortNum=%2\r\n"
                           "[VPN]\r\n"
                           "Telcom=%1/\r\n"
                           "Union=%1/\r\n"
                           "[NetWork]\r\n"
                           "TestPoint1=%1/\r\n"
                           "TestPoint2=%1/\r\n"
                           "[Completeness]\r\n"
                           "ServerCompleteness=%1/completeness/\r\n")
                           .arg(base, pushPort);
  const std::string bytes = plat::Utf8ToGbk(text.toStdString());
  QFile file(g_dir + QStringLiteral("/config.ini"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size())) {
    std::fprintf(stderr, "orvskin-gen: cannot write config.ini\n");
    ++g_failures;
  }
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: orvskin-gen <image dir> [base address] [push port]\n");
    return 2;
  }
  g_dir = QString::fromLocal8Bit(argv[1]);
  const QString base =
      argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("http://127.0.0.1:8080");
  const QString pushPort = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("8081");
  QDir().mkpath(g_dir);

  DrawTopmost();
  DrawStatusBar();
  DrawStartBackground();
  DrawMenuButton(5, QStringLiteral("登录"), Glyph::User);
  DrawMenuButton(6, QStringLiteral("注销"), Glyph::Power);
  DrawCaptionButtons();
  DrawBeginButton();
  DrawLogonTitle();
  DrawAppButtonImages();
  DrawDiagnosisImages();
  DrawResourceImages();
  WriteConfig(base, pushPort);
  return g_failures == 0 ? 0 : 1;
}
