#include "controls/SkinFonts.h"

#include <QFont>
#include <QFontDatabase>

namespace {

struct Mapping {
  const char* family;
  QStringList candidates;
};

QList<Mapping> Mappings() {
  const QStringList sans = {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK TC"),
                            QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")};
  const QStringList serif = {QStringLiteral("Noto Serif CJK SC"),
                             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Serif")};
  // Latin text of "Arial" keeps a Latin face; CJK characters fall back to the CJK sans.
  const QStringList latin = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                             QStringLiteral("Noto Sans CJK SC")};
  return {
      {"微软雅黑", sans},       {"Microsoft YaHei", sans}, {"宋体", serif},
      {"SimSun", serif},        {"新宋体", serif},         {"MS Shell Dlg", sans},
      {"MS Shell Dlg 2", sans}, {"Arial", latin},          {"System", sans},
  };
}

}  // namespace

QStringList FontSubstitutesFor(const QString& family) {
  const QStringList installed = QFontDatabase::families();
  for (const Mapping& m : Mappings()) {
    if (family.compare(QString::fromUtf8(m.family), Qt::CaseInsensitive) != 0) continue;
    QStringList present;
    for (const QString& candidate : m.candidates) {
      if (installed.contains(candidate, Qt::CaseInsensitive)) present << candidate;
    }
    return present;
  }
  return {};
}

void InstallFontSubstitutions() {
  for (const Mapping& m : Mappings()) {
    const QString family = QString::fromUtf8(m.family);
    const QStringList present = FontSubstitutesFor(family);
    if (!present.isEmpty()) QFont::insertSubstitutions(family, present);
  }
}
