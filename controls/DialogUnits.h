#pragma once
// Converts dialog-template units to pixels the way the dialog manager does: x units are a
// quarter of the font's average character width, y units an eighth of its height.
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  // Units of a dialog whose template names `family` at `pointSize` (after font substitution).
  static DialogUnits ForDialogFont(const QString& family = QStringLiteral("MS Shell Dlg"),
                                   int pointSize = 8);

  int BaseX() const { return m_baseX; }
  int BaseY() const { return m_baseY; }
  int X(int units) const;
  int Y(int units) const;
  QPoint Point(int x, int y) const { return QPoint(X(x), Y(y)); }
  QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(Point(x, y), Size(width, height));
  }

 private:
  int m_baseX = 6;
  int m_baseY = 13;
};
