// Renders every control of the library in each of its states, over the generated skin, to PNG
// files for looking at:  controls-gallery [output dir]   (default: ./gallery)
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWidget>
#include <cstdio>

#include "controls/CMessageBoxDialog.h"
#include "controls/CSkinBtn.h"
#include "controls/CXTabCtrl.h"
#include "controls/DialogUnits.h"
#include "controls/SkinFonts.h"
#include "controls/SkinImages.h"

namespace {

QString g_out;

void Write(const QImage& image, const QString& name) {
  const QString path = g_out + QLatin1Char('/') + name;
  if (!image.save(path, "PNG")) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

void MoveMouse(QWidget* widget, const QPoint& at) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &move);
}

// A stand-in of the skinned main window frame: the frame images tiled as the window paints
// them, hosting the page strip and the frame buttons.
class FrameWidget : public QWidget {
 public:
  FrameWidget() {
    resize(850, 550);
    m_top = QImage(SkinImagePath(QStringLiteral("image\\Top\\Topmost.bmp")));
    m_status = QImage(SkinImagePath(QStringLiteral("image\\状态.bmp")));
    m_start = QImage(SkinImagePath(QStringLiteral("image\\启动界面背景.bmp")));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const int w = width(), h = height();
    p.fillRect(rect(), QColor(38, 59, 90));
    p.fillRect(QRect(0, 85, w, h - 85 - 25), QColor(221, 228, 228));
    if (!m_top.isNull()) p.drawTiledPixmap(QRect(0, 0, w, 85), QPixmap::fromImage(m_top));
    if (!m_status.isNull())
      p.drawTiledPixmap(QRect(0, h - 30, w, 30), QPixmap::fromImage(m_status));
    if (!m_start.isNull())
      p.drawTiledPixmap(QRect(0, 85, w, h - 85 - 225), QPixmap::fromImage(m_start));
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(18);
    p.setFont(font);
    p.setPen(QColor(225, 225, 225));
    p.drawText(10, h - 8, QStringLiteral("程序版本号:1.0.0.0"));
    p.drawText(200, h - 8, QStringLiteral("检测更新"));
    p.drawText(350, h - 8, QStringLiteral("已成功连接至云平台服务中心"));
    p.drawText(750, h - 8, QStringLiteral("消息提醒(0)"));
  }

 private:
  QImage m_top, m_status, m_start;
};

CSkinBtn* SkinButton(QWidget* parent, const QString& a, const QString& b, const QString& c,
                     const QString& d, QPoint at) {
  auto* button = new CSkinBtn(parent);
  button->SetImages(a, b, c, d);
  button->move(at);
  button->show();
  return button;
}

void RenderMainFrame() {
  FrameWidget frame;
  auto* tabs = new CXTabCtrl(&frame, 1127);
  tabs->setGeometry(QRect(QPoint(170, 3), QPoint(568 - 1, 85 - 1)));
  tabs->SetBackgroundColor(XRgb(19, 121, 187));
  for (int id : {162, 164, 165, 166, 172}) tabs->AddImage(ResourceImage(id));
  for (int i = 0; i < 5; ++i) tabs->AddTab(QString(), i);
  const int right = 850;
  SkinButton(&frame, QStringLiteral("image\\Top\\菜单_5_0.bmp"),
             QStringLiteral("image\\Top\\菜单_5_0.bmp"), QStringLiteral("image\\Top\\菜单_5_1.bmp"),
             QStringLiteral("image\\Top\\菜单_5_2.bmp"), QPoint(right - 120, 35));
  SkinButton(&frame, QStringLiteral("image\\最小化.bmp"), QStringLiteral("image\\最小化_2.bmp"),
             QStringLiteral("image\\最小化_1.bmp"), QStringLiteral("image\\最小化.bmp"),
             QPoint(right - 84, 5));
  auto* close = SkinButton(&frame, QStringLiteral("image\\关闭.bmp"),
                           QStringLiteral("image\\关闭_2.bmp"), QStringLiteral("image\\关闭_1.bmp"),
                           QStringLiteral("image\\关闭.bmp"), QPoint(right - 50, 5));
  Write(frame.grab().toImage(), QStringLiteral("frame_home.png"));

  // Hover the second tab and the close button; select the fourth tab.
  tabs->Select(3);
  MoveMouse(tabs, tabs->TabRect(1).center());
  MoveMouse(close, QPoint(5, 5));
  Write(frame.grab().toImage(), QStringLiteral("frame_hover.png"));
}

void RenderTabStrips() {
  QWidget sheet;
  sheet.resize(460, 150);
  sheet.setAutoFillBackground(true);
  QPalette pal = sheet.palette();
  pal.setColor(QPalette::Window, QColor(196, 210, 219));
  sheet.setPalette(pal);

  // The catalogue pages' strip: two text tabs, web tab selected, desktop tab hot.
  auto* pages = new CXTabCtrl(&sheet, 1126);
  pages->setGeometry(10, 10, 440, 28);
  XTabColorScheme scheme;
  scheme.background = 0x928979;
  scheme.text = 0xFFFFFF;
  scheme.normal.fill = 0x928979;
  scheme.normal.text = 0xFFFFFF;
  scheme.hot.fill = scheme.selected.fill = 0xDBD2C4;
  scheme.hot.text = scheme.selected.text = 0;
  pages->SetColorScheme(scheme);
  pages->SetItemWidth(105);
  QFont font(QStringLiteral("微软雅黑"));
  font.setPixelSize(20);
  pages->setFont(font);
  pages->AddTab(QStringLiteral("桌面应用"));
  pages->AddTab(QStringLiteral("网页应用"));
  pages->AddTab(QStringLiteral("一个放不下的很长很长的标签"));
  pages->Select(1);
  MoveMouse(pages, pages->TabRect(0).center());

  // Gradients, shares and rounded corners.
  auto* fancy = new CXTabCtrl(&sheet, 2);
  fancy->setGeometry(10, 50, 440, 40);
  XTabColorScheme s2;
  s2.background = XRgb(38, 59, 90);
  s2.text = XRgb(225, 225, 225);
  s2.normal = {XRgb(58, 86, 126), kXColorNone, kXColorNone,
               XRgb(38, 59, 90),  0,           kXColorNone,
               kXColorNone,       1,           1};
  s2.hot = {XRgb(22, 122, 235),
            XRgb(255, 255, 255),
            kXColorNone,
            XRgb(19, 121, 187),
            50,
            XRgb(19, 121, 187),
            XRgb(38, 59, 90),
            1,
            1};
  s2.selected = {XRgb(221, 228, 228),
                 XRgb(12, 78, 124),
                 kXColorNone,
                 kXColorNone,
                 0,
                 kXColorNone,
                 kXColorNone,
                 0,
                 1};
  fancy->SetColorScheme(s2);
  fancy->SetItemWidth(100);
  for (const char* t : {"首页", "应用中心", "我的应用", "系统诊断", "服务中心"})
    fancy->AddTab(QString::fromUtf8(t));
  fancy->Select(2);
  MoveMouse(fancy, fancy->TabRect(0).center());

  // No scheme at all: system colours.
  auto* plain = new CXTabCtrl(&sheet, 3);
  plain->setGeometry(10, 100, 300, 30);
  plain->AddTab(QStringLiteral("默认"));
  plain->AddTab(QStringLiteral("配色"));
  Write(sheet.grab().toImage(), QStringLiteral("xtab_text_strips.png"));
}

// Plain faces for a button whose caption the button draws itself.
std::array<QImage, 4> CaptionFaces() {
  const QColor faces[4] = {QColor(58, 86, 126), QColor(19, 121, 187), QColor(27, 43, 66),
                           QColor(110, 122, 138)};
  std::array<QImage, 4> images;
  for (int i = 0; i < 4; ++i) {
    images[i] = QImage(100, 28, QImage::Format_ARGB32);
    images[i].fill(QColor(255, 0, 255));
    QPainter p(&images[i]);
    p.setPen(faces[i].lighter(130));
    p.setBrush(faces[i]);
    p.drawRoundedRect(QRect(0, 0, 99, 27), 4, 4);
  }
  return images;
}

void RenderButtonStates() {
  struct Set {
    const char* name;
    QString images[4];
    QString caption;
  };
  const Set sets[] = {
      {"login",
       {QStringLiteral("image\\Top\\菜单_5_0.bmp"), QStringLiteral("image\\Top\\菜单_5_0.bmp"),
        QStringLiteral("image\\Top\\菜单_5_1.bmp"), QStringLiteral("image\\Top\\菜单_5_2.bmp")},
       QString()},
      {"logout",
       {QStringLiteral("image\\Top\\菜单_6_0.bmp"), QStringLiteral("image\\Top\\菜单_6_0.bmp"),
        QStringLiteral("image\\Top\\菜单_6_1.bmp"), QStringLiteral("image\\Top\\菜单_6_2.bmp")},
       QString()},
      {"minimise",
       {QStringLiteral("image\\最小化.bmp"), QStringLiteral("image\\最小化_2.bmp"),
        QStringLiteral("image\\最小化_1.bmp"), QStringLiteral("image\\最小化.bmp")},
       QString()},
      {"close",
       {QStringLiteral("image\\关闭.bmp"), QStringLiteral("image\\关闭_2.bmp"),
        QStringLiteral("image\\关闭_1.bmp"), QStringLiteral("image\\关闭.bmp")},
       QString()},
      {"captioned", {}, QStringLiteral("开始使用")},
  };
  const int count = static_cast<int>(std::size(sets));
  QWidget sheet;
  sheet.resize(4 * 110 + 10, count * 40 + 10);
  sheet.setAutoFillBackground(true);
  QPalette pal = sheet.palette();
  pal.setColor(QPalette::Window, QColor(38, 59, 90));
  sheet.setPalette(pal);
  for (int row = 0; row < count; ++row) {
    for (int state = 0; state < 4; ++state) {
      auto* button = new CSkinBtn(&sheet);
      if (sets[row].caption.isEmpty()) {
        button->SetImages(sets[row].images[0], sets[row].images[1], sets[row].images[2],
                          sets[row].images[3]);
      } else {
        button->SetImages(CaptionFaces());
        button->setText(sets[row].caption);
        button->SetCaptionOrigin(QPoint(22, 5));
        button->SetCaptionFont(QFont(QStringLiteral("微软雅黑"), 10));
        button->SetTextColors(XRgb(225, 225, 225), XRgb(255, 255, 255));
        button->SetUnderlineOnHover(true);
      }
      button->move(10 + state * 110, 10 + row * 40);
      button->show();
      if (state == CSkinBtn::kHover) MoveMouse(button, QPoint(3, 3));
      if (state == CSkinBtn::kPressed) button->setDown(true);
      if (state == CSkinBtn::kDisabled) button->setEnabled(false);
    }
  }
  Write(sheet.grab().toImage(), QStringLiteral("skinbtn_states.png"));
}

void RenderMessageBoxes() {
  struct Box {
    const char* file;
    QString text;
    unsigned flags;
    int timeout;
    bool disable;
  };
  const Box boxes[] = {
      {"msgbox_yesno_countdown.png", QStringLiteral("检测到新版本，是否立即升级？"),
       CMessageBoxDialog::kYesNo | CMessageBoxDialog::kIconQuestion, 5, false},
      {"msgbox_okcancel_dontshow.png", QStringLiteral("确定退出澄野奥凡云平台?"),
       CMessageBoxDialog::kOkCancel | CMessageBoxDialog::kIconExclamation |
           CMessageBoxDialog::kDontDisplayAgain,
       0, false},
      {"msgbox_abort_retry_ignore.png", QStringLiteral("安装程序下载失败，请检查网络连接。"),
       CMessageBoxDialog::kAbortRetryIgnore | CMessageBoxDialog::kIconStop, 0, false},
      {"msgbox_yesnocancel_all.png", QStringLiteral("是否替换已存在的文件？"),
       CMessageBoxDialog::kYesNoCancel | CMessageBoxDialog::kIconQuestion |
           CMessageBoxDialog::kYesToAll | CMessageBoxDialog::kNoToAll |
           CMessageBoxDialog::kDontAskAgain | 0x200,
       0, false},
      {"msgbox_locked_countdown.png", QStringLiteral("请阅读以上说明，倒计时结束后方可继续。"),
       CMessageBoxDialog::kContinueAbort | CMessageBoxDialog::kIconInformation |
           CMessageBoxDialog::kHelp,
       10, true},
      {"msgbox_skip.png", QStringLiteral("文件正在使用中。"),
       CMessageBoxDialog::kSkipSkipAllCancel | CMessageBoxDialog::kIconExclamation, 0, false},
  };
  for (const Box& b : boxes) {
    CMessageBoxDialog box(nullptr, b.text, QStringLiteral("提示"),
                          b.flags | CMessageBoxDialog::kNoSound);
    box.SetTimeout(b.timeout, b.disable);
    box.Prepare();
    box.adjustSize();
    Write(box.grab().toImage(), QString::fromLatin1(b.file));
  }
  // Relabelled confirmation, as the application buttons use it.
  CMessageBoxDialog box(nullptr, QStringLiteral("财务软件 v3.2\n请选择要进行的操作"),
                        QStringLiteral("澄野奥凡云平台"),
                        CMessageBoxDialog::kYesNoCancel | CMessageBoxDialog::kNoSound);
  box.SetButtonLabel(CMessageBoxDialog::kIdYes, QStringLiteral("运行"));
  box.SetButtonLabel(CMessageBoxDialog::kIdNo, QStringLiteral("卸载"));
  box.Prepare();
  box.adjustSize();
  Write(box.grab().toImage(), QStringLiteral("msgbox_relabelled.png"));
}

// A stand-in of the login dialog's frame: the title band tiled across the top 25 pixels and
// the close button 35 pixels left of the right edge, as the dialog lays them out.
class LogonFrame : public QWidget {
 public:
  LogonFrame() {
    resize(DialogUnits::ForDialogFont(QStringLiteral("MS Shell Dlg"), 8).Size(233, 121));
    m_title = QImage(SkinImagePath(QStringLiteral("image\\UserLogonTittle.bmp")));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(QColor(38, 59, 90));
    p.setBrush(QColor(246, 249, 252));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!m_title.isNull()) p.drawTiledPixmap(QRect(0, 0, width(), 25), QPixmap::fromImage(m_title));
  }

 private:
  QImage m_title;
};

void RenderLogonFrame() {
  LogonFrame frame;
  auto* close = SkinButton(&frame, QStringLiteral("image\\关闭.bmp"),
                           QStringLiteral("image\\关闭_1.bmp"), QStringLiteral("image\\关闭_2.bmp"),
                           QStringLiteral("image\\关闭.bmp"), QPoint(frame.width() - 35, 5));
  Write(frame.grab().toImage(), QStringLiteral("logon_frame.png"));
  MoveMouse(close, QPoint(5, 5));
  Write(frame.grab().toImage(), QStringLiteral("logon_frame_hover.png"));
}

// Composites that show the resource images as their users draw them.
void RenderResourceComposites() {
  const QImage skin = ResourceImage(170);
  if (!skin.isNull()) {
    // Nine-part frame from the top-left 80 x 60 with the inner rectangle (35,25)-(45,30).
    QImage popup(250, 180, QImage::Format_ARGB32);
    popup.fill(QColor(255, 255, 255));
    const QImage frame = KeyOutMagenta(skin.copy(0, 0, 80, 60));
    QPainter p(&popup);
    const int w = 250, h = 180, l = 35, t = 25, r = 35, bt = 30;
    auto part = [&](QRect dst, QRect src) { p.drawImage(dst, frame, src); };
    part(QRect(0, 0, l, t), QRect(0, 0, l, t));
    part(QRect(l, 0, w - l - r, t), QRect(l, 0, 10, t));
    part(QRect(w - r, 0, r, t), QRect(45, 0, r, t));
    part(QRect(0, t, l, h - t - bt), QRect(0, t, l, 5));
    part(QRect(l, t, w - l - r, h - t - bt), QRect(l, t, 10, 5));
    part(QRect(w - r, t, r, h - t - bt), QRect(45, t, r, 5));
    part(QRect(0, h - bt, l, bt), QRect(0, 30, l, bt));
    part(QRect(l, h - bt, w - l - r, bt), QRect(l, 30, 10, bt));
    part(QRect(w - r, h - bt, r, bt), QRect(45, 30, r, bt));
    p.drawImage(QPoint(214, 1), skin, QRect(1 + 36 * 1, 60, 36, 18));
    p.drawImage(QPoint(195, 155), skin, QRect(1, 80, 50, 20));
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawPixmap(QRect(8, 5, 16, 16), ResourceIcon().pixmap(16, 16));
    p.drawText(QRect(33, 5, 150, 16), Qt::AlignVCenter, QStringLiteral("澄野奥凡云消息"));
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(12, 78, 124));
    p.drawText(QRect(8, 26, 234, 20), Qt::AlignCenter, QStringLiteral("系统维护通知"));
    font.setBold(false);
    p.setFont(font);
    p.drawText(
        QRect(8, 51, 234, 94), Qt::TextWordWrap,
        QStringLiteral("平台将于今晚 22:00 至 23:00 进行例行维护，期间部分应用可能无法访问。"));
    p.end();
    Write(popup, QStringLiteral("popup_composite.png"));
  }

  const QImage back = ResourceImage(167);
  if (!back.isNull()) {
    QImage page = back.convertToFormat(QImage::Format_ARGB32);
    QPainter p(&page);
    const char* icons[] = {"检测通过", "检测通过", "检测异常", "检测未通过",
                           "current",  "current",  "current",  "current"};
    const char* labels[] = {"网络连通检测", "服务器检测",           "软件完整性检测",
                            "版本更新检测", "财务控件安装情况检测", "其他财务软件检测",
                            "IE浏览器检测", "打印机驱动检测"};
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(13);
    p.setFont(font);
    p.drawImage(QPoint(40, 12),
                QImage(SkinImagePath(QStringLiteral("image\\SystemDiagnose\\scanning.png"))));
    p.drawImage(QPoint(540, 22),
                QImage(SkinImagePath(QStringLiteral("image\\SystemDiagnose\\停止1.png"))));
    p.setPen(QColor(12, 78, 124));
    p.drawText(QPoint(100, 24), QStringLiteral("正在进行检测，请稍候..."));
    p.fillRect(QRect(100, 34, 420, 18), QColor(255, 255, 255));
    p.fillRect(QRect(100, 34, 190, 18), QColor(19, 121, 187));
    p.setPen(QColor(150, 170, 185));
    p.drawRect(QRect(42, 64, 476, 300));
    for (int i = 0; i < 8; ++i) {
      const int y = 80 + 34 * i;
      p.drawImage(QPoint(58, y),
                  QImage(SkinImagePath(QStringLiteral("image\\SystemDiagnose\\") +
                                       QString::fromUtf8(icons[i]) + QStringLiteral(".png"))));
      p.setPen(Qt::black);
      p.drawText(QPoint(96, y + 15), QString::fromUtf8(labels[i]));
      p.drawText(QPoint(450, y + 15), i < 2   ? QStringLiteral("正常")
                                      : i < 4 ? QStringLiteral("异常")
                                              : QString());
    }
    p.end();
    Write(page, QStringLiteral("diagnosis_composite.png"));
  }

  const QImage banner = ResourceImage(130);
  if (!banner.isNull()) {
    QImage updater(520, 300, QImage::Format_ARGB32);
    updater.fill(QColor(240, 240, 240));
    QPainter p(&updater);
    p.drawImage(QPoint(0, 0), banner);
    p.end();
    Write(updater, QStringLiteral("updater_composite.png"));
  }
}

// Every generated image file on one sheet, with its name.
void RenderSkinSheet() {
  const QString root = SkinProgramDir() + QStringLiteral("/image");
  QDirIterator it(root, {QStringLiteral("*.bmp"), QStringLiteral("*.BMP"), QStringLiteral("*.png")},
                  QDir::Files, QDirIterator::Subdirectories);
  QStringList files;
  while (it.hasNext()) files << it.next();
  files.sort();
  const int columns = 4, cellW = 230, cellH = 130;
  const int rows = (static_cast<int>(files.size()) + columns - 1) / columns;
  QImage sheet(columns * cellW, rows * cellH, QImage::Format_ARGB32);
  sheet.fill(QColor(250, 250, 250));
  QPainter p(&sheet);
  QFont font(QStringLiteral("微软雅黑"));
  font.setPixelSize(11);
  p.setFont(font);
  for (int i = 0; i < files.size(); ++i) {
    const QRect cell((i % columns) * cellW, (i / columns) * cellH, cellW, cellH);
    QImage image(files[i]);
    const QRect area = cell.adjusted(6, 6, -6, -22);
    p.fillRect(area, QColor(200, 200, 200));
    if (!image.isNull()) {
      QSize s = image.size();
      if (s.width() > area.width() || s.height() > area.height())
        s.scale(area.size(), Qt::KeepAspectRatio);
      p.drawImage(QRect(area.center() - QPoint(s.width() / 2, s.height() / 2), s), image);
    }
    p.setPen(Qt::black);
    p.drawText(cell.adjusted(6, cellH - 20, -6, 0), Qt::AlignLeft | Qt::AlignTop,
               files[i].mid(root.size() + 1) +
                   QStringLiteral("  %1x%2").arg(image.width()).arg(image.height()));
  }
  p.end();
  Write(sheet, QStringLiteral("skin_sheet.png"));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orvanta"));
  InstallFontSubstitutions();
  g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
  QDir().mkpath(g_out);
  RenderMainFrame();
  RenderTabStrips();
  RenderButtonStates();
  RenderMessageBoxes();
  RenderLogonFrame();
  RenderResourceComposites();
  RenderSkinSheet();
  std::printf("gallery written to %s\n", qPrintable(QDir(g_out).absolutePath()));
  return 0;
}
