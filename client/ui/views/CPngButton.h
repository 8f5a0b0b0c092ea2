#pragma once
// Owner-drawn push button that paints PNG images: the face stretched over the image area,
// an optional caption under it, a state badge, a hot badge and hover/press overlays.
// Transparent parts of the images show the parent's background. The face is decoded once
// at the size it is drawn and shared through CImageCache. Knows nothing of applications.
// GUI thread only.
#include <QAbstractButton>
#include <QFontMetrics>
#include <QImage>
#include <QString>

class CPngButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit CPngButton(QWidget* parent = nullptr);
  ~CPngButton() override;

  // Stores the state (0 to 8) and its badge; does not repaint (callers update()).
  void SetState(int state);
  int State() const { return m_state; }

  // The face image's file. Binding a path again lets a file that could not be drawn
  // before (not there yet) be tried again.
  void SetImagePath(const QString& path);
  const QString& ImagePath() const { return m_imagePath; }
  // The caption drawn under the image; also the tooltip.
  void SetCaption(const QString& caption);
  const QString& Caption() const { return m_caption; }
  void SetShowCaption(bool show) { m_showCaption = show; }
  // A caption wider than the button loses its start rather than both ends, so its end
  // (a download's percentage) stays readable.
  void SetCaptionKeepsEnd(bool keepEnd) { m_captionKeepsEnd = keepEnd; }
  // The caption as painted in `width` pixels.
  static QString FittedCaption(const QString& caption, const QFontMetrics& metrics, int width,
                               bool keepEnd);
  void SetLoadingPlaceholder(bool on) { m_loadingPlaceholder = on; }
  void SetHotBadge(bool on) { m_hotBadge = on; }
  bool HotBadge() const { return m_hotBadge; }

  // The area the face image is stretched to: the client rectangle less the caption strip.
  QRect ImageArea() const;
  // Whether the last paint drew the face image (false while the placeholder or nothing
  // was drawn).
  bool FaceDrawn() const { return m_faceDrawn; }

  // The caption font, shared by every button.
  static const QFont& CaptionFont();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  // Return and Enter press the button as Space does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Draws the face image into `target` once it is decoded at that size (off the GUI thread,
  // see CImageCache); false when not drawn.
  bool DrawFace(QPainter& painter, const QRect& target);

  QString m_imagePath;
  QString m_caption;
  bool m_showCaption = false;
  bool m_captionKeepsEnd = false;
  int m_state = 0;
  bool m_loadingPlaceholder = false;
  bool m_hotBadge = false;
  bool m_hover = false;
  bool m_faceDrawn = false;
  QString m_badgePath;
};
