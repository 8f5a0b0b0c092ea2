#include "controls/DialogUnits.h"

#include <QFontMetrics>
#include <algorithm>

namespace {

// a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int extent = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseX = std::max(1, (extent / 26 + 1) / 2);
  m_baseY = std::max(1, metrics.height());
}

DialogUnits DialogUnits::ForDialogFont(const QString& family, int pointSize) {
  return DialogUnits(QFont(family, pointSize));
}

int DialogUnits::X(int units) const { return MulDiv(units, m_baseX, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, m_baseY, 8); }
