#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>

#include "controls/CSkinBtn.h"

namespace {

const QColor kNormal(10, 20, 200);
const QColor kHover(20, 200, 20);
const QColor kPressed(200, 20, 20);
const QColor kDisabled(120, 120, 120);

class SkinBtnTest : public ::testing::Test {
 protected:
  // A 40 x 20 bitmap in `color`, with a 4 x 4 key-colour corner at the top left.
  QString Bitmap(const QString& name, const QColor& color) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(color);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) image.setPixel(x, y, qRgb(255, 0, 255));
    const QString path = m_dir.filePath(name);
    image.save(path, "BMP");
    return path;
  }

  CSkinBtn* MakeButton(bool sameHover = false) {
    auto* button = new CSkinBtn(&m_parent);
    const QString normal = Bitmap(QStringLiteral("n.bmp"), kNormal);
    EXPECT_TRUE(button->SetImages(
        normal, sameHover ? normal : Bitmap(QStringLiteral("h.bmp"), kHover),
        Bitmap(QStringLiteral("p.bmp"), kPressed), Bitmap(QStringLiteral("d.bmp"), kDisabled)));
    button->move(30, 20);
    return button;
  }

  // Colour the button shows in its middle, painted as part of its parent.
  QColor Shown(CSkinBtn* button) {
    const QImage image = m_parent.grab().toImage();
    return QColor(image.pixel(button->geometry().center()));
  }

  void MoveOver(CSkinBtn* button) {
    QCursor::setPos(button->mapToGlobal(QPoint(20, 10)));
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 10),
                     QPointF(button->mapToGlobal(QPoint(20, 10))), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(button, &move);
  }

  bool WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
  }

  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_parent.resize(200, 100);
    m_parent.setAutoFillBackground(true);
    QPalette palette = m_parent.palette();
    palette.setColor(QPalette::Window, QColor(250, 200, 0));
    m_parent.setPalette(palette);
  }

  QTemporaryDir m_dir;
  QWidget m_parent;
};

TEST_F(SkinBtnTest, TakesTheSizeOfTheFirstImage) {
  CSkinBtn* button = MakeButton();
  EXPECT_EQ(button->size(), QSize(40, 20));
  EXPECT_EQ(button->pos(), QPoint(30, 20));
}

TEST_F(SkinBtnTest, MissingImageEmptiesItsSlotAndTheFollowingOnes) {
  auto* button = new CSkinBtn(&m_parent);
  EXPECT_FALSE(button->SetImages(
      Bitmap(QStringLiteral("n.bmp"), kNormal), m_dir.filePath(QStringLiteral("missing.bmp")),
      Bitmap(QStringLiteral("p.bmp"), kPressed), Bitmap(QStringLiteral("d.bmp"), kDisabled)));
  EXPECT_FALSE(button->Image(0).isNull());
  EXPECT_TRUE(button->Image(1).isNull());
  EXPECT_TRUE(button->Image(2).isNull());
  EXPECT_TRUE(button->Image(3).isNull());
}

TEST_F(SkinBtnTest, ParentShowsThroughTheKeyColour) {
  CSkinBtn* button = MakeButton();
  const QImage image = m_parent.grab().toImage();
  EXPECT_EQ(QColor(image.pixel(button->pos() + QPoint(1, 1))), QColor(250, 200, 0));
  EXPECT_EQ(QColor(image.pixel(button->pos() + QPoint(6, 6))), kNormal);
}

TEST_F(SkinBtnTest, SameNormalAndHoverImageShowsNoChangeOnHoverAndThirdWhenPressed) {
  CSkinBtn* button = MakeButton(/*sameHover=*/true);
  EXPECT_EQ(Shown(button), kNormal);
  MoveOver(button);
  EXPECT_TRUE(button->Hovering());
  EXPECT_EQ(Shown(button), kNormal);
  EXPECT_EQ(button->State(), CSkinBtn::kHover);
  button->setDown(true);
  EXPECT_EQ(Shown(button), kPressed);
  EXPECT_EQ(button->State(), CSkinBtn::kPressed);
}

TEST_F(SkinBtnTest, HoverReturnsToNormalSoonAfterTheCursorLeaves) {
  m_parent.show();
  CSkinBtn* button = MakeButton();
  button->show();
  MoveOver(button);
  EXPECT_EQ(Shown(button), kHover);
  // Staying over the button keeps the hover through several timer ticks.
  WaitFor([] { return false; }, 250);
  EXPECT_TRUE(button->Hovering());

  QCursor::setPos(button->mapToGlobal(QPoint(100, 60)));
  ASSERT_EQ(QCursor::pos(), button->mapToGlobal(QPoint(100, 60)));
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_TRUE(WaitFor([&] { return !button->Hovering(); }, 1000));
  EXPECT_LT(elapsed.elapsed(), 400);
  EXPECT_EQ(button->State(), CSkinBtn::kNormal);
  EXPECT_EQ(Shown(button), kNormal);
}

TEST_F(SkinBtnTest, DisabledShowsTheFourthImageAndIgnoresHoverUntilEnabled) {
  CSkinBtn* button = MakeButton();
  button->setEnabled(false);
  EXPECT_EQ(Shown(button), kDisabled);
  EXPECT_EQ(button->State(), CSkinBtn::kDisabled);
  MoveOver(button);
  EXPECT_FALSE(button->Hovering());
  EXPECT_EQ(Shown(button), kDisabled);

  button->setEnabled(true);
  EXPECT_EQ(Shown(button), kNormal);
  MoveOver(button);
  EXPECT_EQ(Shown(button), kHover);
}

TEST_F(SkinBtnTest, LatchedShowsThePressedImageInEveryState) {
  CSkinBtn* button = MakeButton();
  button->SetLatched(true);
  EXPECT_EQ(Shown(button), kPressed);
  button->setEnabled(false);
  EXPECT_EQ(Shown(button), kPressed);
  button->setEnabled(true);
  button->SetLatched(false);
  EXPECT_EQ(Shown(button), kNormal);
}

TEST_F(SkinBtnTest, CaptionUsesTheHotColourOnlyWhileHovered) {
  CSkinBtn* button = MakeButton();
  button->setText(QStringLiteral("登录登录"));
  button->SetCaptionOrigin(QPoint(2, 2));
  button->SetCaptionFont(QFont(QStringLiteral("DejaVu Sans"), 12, QFont::Black));
  button->SetTextColors(XRgb(255, 255, 0), XRgb(0, 255, 255));
  auto count = [&](const QColor& color) {
    const QImage image = button->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += QColor(image.pixel(x, y)) == color;
    return n;
  };
  EXPECT_GT(count(QColor(255, 255, 0)), 0);
  EXPECT_EQ(count(QColor(0, 255, 255)), 0);
  MoveOver(button);
  EXPECT_EQ(count(QColor(255, 255, 0)), 0);
  EXPECT_GT(count(QColor(0, 255, 255)), 0);
}

TEST_F(SkinBtnTest, TabReachesItAndSpaceReturnEnterPressIt) {
  CSkinBtn* button = MakeButton();
  EXPECT_EQ(button->focusPolicy(), Qt::TabFocus);  // a click leaves the focus where it was
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Space, Qt::NoModifier},
                                                            {Qt::Key_Return, Qt::NoModifier},
                                                            {Qt::Key_Enter, Qt::KeypadModifier}};
  for (const auto& [key, modifiers] : keys) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(button, &press);
    QCoreApplication::sendEvent(button, &release);
  }
  EXPECT_EQ(clicks, 3);
}

TEST_F(SkinBtnTest, FocusShowsAsDotsThatInvertTheImage) {
  CSkinBtn* button = MakeButton();
  const QColor inverted(255 - kNormal.red(), 255 - kNormal.green(), 255 - kNormal.blue());
  auto count = [&] {
    const QImage image = m_parent.grab().toImage();
    int n = 0;
    for (int y = 0; y < button->height(); ++y)
      for (int x = 0; x < button->width(); ++x)
        n += QColor(image.pixel(button->pos() + QPoint(x, y))) == inverted;
    return n;
  };
  m_parent.show();
  QApplication::setActiveWindow(&m_parent);
  button->clearFocus();  // activation gave it the focus
  EXPECT_EQ(count(), 0);
  button->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(button->hasFocus());
  EXPECT_GT(count(), 24);  // dots along the four edges
  button->clearFocus();
  EXPECT_EQ(count(), 0);
}

}  // namespace
