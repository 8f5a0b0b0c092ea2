#pragma once
// The product names Windows fonts ("微软雅黑", "宋体", "MS Shell Dlg", "Arial"); this maps them
// onto installed families. Both programs call it once after creating the application object.
#include <QString>
#include <QStringList>

void InstallFontSubstitutions();

// The installed families that stand in for `family`, best first (empty if none is known).
QStringList FontSubstitutesFor(const QString& family);
