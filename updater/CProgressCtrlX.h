#pragma once
// A progress bar drawn in full by the program: a gradient bar over the button face, and
// the position or percentage text centred over it, each part of the text in the colour
// that stands out against the region beneath it.
#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>

class CProgressCtrlX : public QWidget {
  Q_OBJECT

 public:
  explicit CProgressCtrlX(QWidget* parent = nullptr);

  void SetRange(int lower, int upper);
  void SetPos(int pos);
  int GetPos() const { return m_pos; }
  int Lower() const { return m_lower; }
  int Upper() const { return m_upper; }

  // Percent mode shows (pos - lower) * 100 / (upper - lower), position mode the position.
  void SetShowPercent(bool percent);
  // The text format: "%d" stands for the value and "%%" for a percent sign. Empty means
  // "%d%%" in percent mode and "%d" in position mode.
  void SetTextFormat(const QString& format);

  // The text as it is drawn now.
  QString DisplayText() const;
  // Percentage of the range covered; 0 for an empty range.
  int Percent() const;

  // Formats one value; any other '%' sequence is kept as it is.
  static QString FormatValue(const QString& format, int value);
  // done * 100 / total without overflow, within 0..100; 0 when total is not positive.
  static int PercentOf(std::int64_t done, std::int64_t total);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintGradient(class QPainter& painter, const QRect& bar) const;

  int m_lower = 0;
  int m_upper = 100;
  int m_pos = 0;
  bool m_percent = false;
  QString m_format;
  QColor m_background;
  QColor m_barStart;
  QColor m_barEnd;
  QColor m_textOverBar;
  QColor m_textOverEmpty;
};
