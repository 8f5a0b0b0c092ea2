#pragma once
// Where message boxes keep remembered answers: the application's profile. The application may
// plug in its own store; by default an INI file under the program directory is used.
#include <QString>
#include <memory>

class IMessageBoxProfile {
 public:
  virtual ~IMessageBoxProfile() = default;
  virtual int GetProfileInt(const QString& section, const QString& key, int defaultValue) = 0;
  virtual bool WriteProfileInt(const QString& section, const QString& key, int value) = 0;
  virtual void RemoveSection(const QString& section) = 0;
};

// Profile kept in an INI file ("<program directory>/<application name>.ini" by default).
class IniMessageBoxProfile final : public IMessageBoxProfile {
 public:
  explicit IniMessageBoxProfile(QString path = QString());
  const QString& Path() const { return m_path; }

  int GetProfileInt(const QString& section, const QString& key, int defaultValue) override;
  bool WriteProfileInt(const QString& section, const QString& key, int value) override;
  void RemoveSection(const QString& section) override;

 private:
  QString m_path;
};
