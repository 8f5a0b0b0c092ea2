#include "controls/MessageBoxProfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace {

QString DefaultProfilePath() {
  QString name = QCoreApplication::applicationName();
  if (name.isEmpty()) name = QStringLiteral("profile");
  return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name + QStringLiteral(".ini");
}

}  // namespace

IniMessageBoxProfile::IniMessageBoxProfile(QString path)
    : m_path(path.isEmpty() ? DefaultProfilePath() : std::move(path)) {}

int IniMessageBoxProfile::GetProfileInt(const QString& section, const QString& key,
                                        int defaultValue) {
  if (!QFileInfo::exists(m_path)) return defaultValue;
  QSettings settings(m_path, QSettings::IniFormat);
  bool ok = false;
  const int value = settings.value(section + QLatin1Char('/') + key).toInt(&ok);
  return ok ? value : defaultValue;
}

bool IniMessageBoxProfile::WriteProfileInt(const QString& section, const QString& key, int value) {
  QSettings settings(m_path, QSettings::IniFormat);
  settings.setValue(section + QLatin1Char('/') + key, value);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

void IniMessageBoxProfile::RemoveSection(const QString& section) {
  if (!QFileInfo::exists(m_path)) return;
  QSettings settings(m_path, QSettings::IniFormat);
  settings.remove(section);
  settings.sync();
}
