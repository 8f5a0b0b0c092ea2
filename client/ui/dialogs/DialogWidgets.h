#pragma once
// Small widgets the three dialogs share: a picture drawn from a skin PNG, a transparent text
// that can report clicks (the link statics and the clickable result of a diagnosis row), and
// the product's own message box with a fixed caption.
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QWidget>

// Draws one skin image at its own size, centred in the control (from its top-left corner
// when larger); nothing when the image is missing. Swapping the image repaints at once.
class CPngPicture : public QWidget {
  Q_OBJECT
 public:
  explicit CPngPicture(QWidget* parent = nullptr);
  // A product-style relative name ("image\SystemDiagnose\screen.png").
  void SetImage(const QString& relative);
  const QString& ImageName() const { return m_name; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_name;
  QImage m_image;
};

// A text on a transparent background. With notify on it reports a left click, and it can be
// reached with Tab and pressed with Enter or Space like a link.
class CClickText : public QLabel {
  Q_OBJECT
 public:
  explicit CClickText(const QString& text = QString(), QWidget* parent = nullptr);
  // Clicks are reported only when on (the template's notify style); a screen reader is then
  // told it is a link.
  void SetNotify(bool notify);
  // Blue underlined text with a pointing hand, as a link static shows it.
  void SetLinkStyle(bool link);
  void SetTextColor(const QColor& color);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool m_notify = false;
};

// Shows `message` in the product's message box with an OK button, captioned with the
// application's name, or with a blank title when `blankCaption`.
void ShowDialogMessage(QWidget* parent, const QString& message, bool blankCaption = false);
