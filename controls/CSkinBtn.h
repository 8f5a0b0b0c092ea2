#pragma once
// Push button drawn from four state bitmaps (normal, hover, pressed, disabled) with an optional
// caption. Skin parts in the key colour are transparent, so the parent's background shows. Tab
// reaches it, Space, Return and Enter press it, and the focus shows as a dotted rectangle.
#include <QBasicTimer>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QPushButton>
#include <array>

class QPainter;

#include "controls/XColor.h"

class CSkinBtn : public QPushButton {
  Q_OBJECT

 public:
  enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };
  // Period of the timer that notices the cursor leaving a hovered button.
  static constexpr int kHoverPollMs = 100;

  explicit CSkinBtn(QWidget* parent = nullptr);
  ~CSkinBtn() override;

  // Loads the four state images (product-style relative names or absolute paths) in order; the
  // first that cannot be loaded leaves its slot and the following ones empty. The button takes
  // the first image's size. True when all four loaded.
  bool SetImages(const QString& normal, const QString& hover, const QString& pressed,
                 const QString& disabled);
  // Same with images already in memory (no keying beyond the key colour).
  void SetImages(const std::array<QImage, 4>& images);
  const QImage& Image(int state) const { return m_images.at(state); }

  // Caption colours: `text` in the normal and disabled states, `hotText` in hover and pressed.
  void SetTextColors(XColor text, XColor hotText);
  void SetLatched(bool latched);
  bool Latched() const { return m_latched != 0; }
  void SetUnderlineOnHover(bool underline);
  void SetCaptionOrigin(const QPoint& origin);
  void SetCaptionFont(const QFont& font);
  // When on, the button keeps the style's own look and draws nothing itself.
  void SetOwnerDrawOff(bool off);

  // State of the last paint (or of the hover tracking since): 0 normal ... 3 disabled.
  int State() const { return m_state; }
  bool Hovering() const { return m_hovering != 0; }
  // The image the button shows now, after state and latch.
  const QImage& CurrentImage() const;

  // The skin's focus mark: a dotted rectangle just inside `area`, inverting what is under it.
  static void DrawFocusMark(QPainter& painter, const QRect& area);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateStateForPaint();
  void DrawCaption(QPainter& painter, const QString& caption);

  std::array<QImage, 4> m_images;
  int m_state = kNormal;
  unsigned char m_hovering = 0;
  unsigned char m_enabled = 1;
  int m_latched = 0;
  QFont m_font;
  XColor m_textColor = XRgb(0, 0, 0);
  XColor m_hotTextColor = XRgb(255, 255, 255);
  int m_underlineOnHover = 0;
  QPoint m_captionOrigin{21, 0};
  int m_ownerDrawOff = 0;
  QBasicTimer m_hoverTimer;
};
