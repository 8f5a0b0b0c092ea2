#pragma once
// One INI file under the program directory, named by its relative name
// ("\image\config.ini"). Every call opens the file anew, so values written are seen at
// once by every reader. Arguments and results are UTF-8; the file holds GBK.
#include <string>
#include <utility>
#include <vector>

class CIniFile {
 public:
  explicit CIniFile(std::string relativeName);

  // Value of the key, "" when missing; at most 999 GBK bytes; every two-character
  // sequence backslash-n becomes a line feed.
  std::string ReadString(const std::string& section, const std::string& key) const;
  // Several keys of one section from one version of the file (ReadString of each).
  std::vector<std::string> ReadStrings(const std::string& section,
                                       const std::vector<std::string>& keys) const;
  // Integer value, 0 when missing.
  int ReadInt(const std::string& section, const std::string& key) const;
  // Creates the file (in an existing folder) and the section as needed; false on failure.
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) const;

  // Several keys of one section as one atomic update (all or none seen by any reader).
  // mode >= 0: the file is created with it and kept at it (0600 for secrets).
  bool WriteStrings(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& entries,
                    int mode = -1) const;
  const std::string& RelativeName() const { return m_relativeName; }
  std::string NativePath() const;

  static std::string ProgramDirectory();

 private:
  std::string m_relativeName;
};
