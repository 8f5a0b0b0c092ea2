#include "updater/CProgressCtrlX.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyleOption>
#include <algorithm>
#include <cstdlib>

namespace {

// A screen reader sees a progress bar: its value within the range, and the drawn text.
class ProgressAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ProgressAccessible(CProgressCtrlX* bar)
      : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Bar()->DisplayText();
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return Bar()->GetPos(); }
  void setCurrentValue(const QVariant&) override {}  // progress is read, never set
  QVariant maximumValue() const override { return Bar()->Upper(); }
  QVariant minimumValue() const override { return Bar()->Lower(); }
  QVariant minimumStepSize() const override { return 1; }

 private:
  CProgressCtrlX* Bar() const { return static_cast<CProgressCtrlX*>(widget()); }
};

QAccessibleInterface* ProgressFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("CProgressCtrlX") && object && object->isWidgetType())
    return new ProgressAccessible(static_cast<CProgressCtrlX*>(object));
  return nullptr;
}

}  // namespace

CProgressCtrlX::CProgressCtrlX(QWidget* parent) : QWidget(parent) {
  static const bool accessible = [] {
    QAccessible::installFactory(ProgressFactory);
    return true;
  }();
  (void)accessible;
  // Colours are taken from the system once, when the control is created.
  const QPalette& pal = palette();
  m_background = pal.color(QPalette::Button);
  m_barStart = pal.color(QPalette::Active, QPalette::Highlight);
  m_barEnd = m_barStart.lighter(160);  // the gradient end of the active caption
  m_textOverBar = pal.color(QPalette::Active, QPalette::HighlightedText);
  m_textOverEmpty = pal.color(QPalette::ButtonText);
}

void CProgressCtrlX::SetRange(int lower, int upper) {
  m_lower = lower;
  m_upper = upper;
  update();
}

void CProgressCtrlX::SetPos(int pos) {
  if (pos == m_pos) return;
  m_pos = pos;
  update();
  if (QAccessible::isActive()) {
    QAccessibleValueChangeEvent event(this, pos);
    QAccessible::updateAccessibility(&event);
  }
}

void CProgressCtrlX::SetShowPercent(bool percent) {
  m_percent = percent;
  update();
}

void CProgressCtrlX::SetTextFormat(const QString& format) {
  m_format = format;
  update();
}

int CProgressCtrlX::Percent() const {
  return PercentOf(static_cast<std::int64_t>(m_pos) - m_lower,
                   static_cast<std::int64_t>(m_upper) - m_lower);
}

QString CProgressCtrlX::DisplayText() const {
  QString format = m_format;
  if (format.isEmpty()) format = m_percent ? QStringLiteral("%d%%") : QStringLiteral("%d");
  return FormatValue(format, m_percent ? Percent() : m_pos);
}

QString CProgressCtrlX::FormatValue(const QString& format, int value) {
  QString out;
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      if (format[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (format[i + 1] == u'd') {
        out += QString::number(value);
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

int CProgressCtrlX::PercentOf(std::int64_t done, std::int64_t total) {
  if (total <= 0 || done <= 0) return 0;
  if (done >= total) return 100;
  // done < total here, so done * 100 fits unless total is huge: divide first then.
  if (done <= INT64_MAX / 100) return static_cast<int>(done * 100 / total);
  return static_cast<int>(done / (total / 100 + 1));
}

void CProgressCtrlX::PaintGradient(QPainter& painter, const QRect& bar) const {
  // As many bands as the largest difference of one colour component between the ends.
  int bands = std::max({std::abs(m_barEnd.red() - m_barStart.red()),
                        std::abs(m_barEnd.green() - m_barStart.green()),
                        std::abs(m_barEnd.blue() - m_barStart.blue()), 1});
  const QRect full = rect().adjusted(1, 1, -1, -1);
  bands = std::min(bands, std::max(full.width(), 1));
  for (int i = 0; i < bands; ++i) {
    int left = full.left() + full.width() * i / bands;
    int right = full.left() + full.width() * (i + 1) / bands;
    QRect band(left, full.top(), right - left, full.height());
    band = band.intersected(bar);
    if (band.isEmpty()) continue;
    auto mix = [&](int a, int b) { return a + (b - a) * i / std::max(bands - 1, 1); };
    painter.fillRect(band, QColor(mix(m_barStart.red(), m_barEnd.red()),
                                  mix(m_barStart.green(), m_barEnd.green()),
                                  mix(m_barStart.blue(), m_barEnd.blue())));
  }
}

void CProgressCtrlX::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect frame = rect();
  painter.fillRect(frame, m_background);
  const QRect inner = frame.adjusted(1, 1, -1, -1);
  int filled = inner.width() * Percent() / 100;
  QRect bar(inner.left(), inner.top(), filled, inner.height());
  PaintGradient(painter, bar);
  QRect empty(inner.left() + filled, inner.top(), inner.width() - filled, inner.height());

  painter.setFont(font());
  const QString text = DisplayText();
  painter.save();
  painter.setClipRect(bar);
  painter.setPen(m_textOverBar);
  painter.drawText(inner, Qt::AlignCenter, text);
  painter.restore();
  painter.save();
  painter.setClipRect(empty);
  painter.setPen(m_textOverEmpty);
  painter.drawText(inner, Qt::AlignCenter, text);
  painter.restore();

  // A one-pixel border all round.
  painter.setPen(palette().color(QPalette::Dark));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
}
