#pragma once
// Private-profile INI files with the semantics of the Windows profile functions.
//
// Section and key names compare case-insensitively (ASCII), blanks around names and
// values are trimmed, the first matching section and key win, a write keeps every
// other line (comments included) and appends a new section at the end, and a write
// into a missing folder fails. Every call opens the file anew. Writes are atomic
// (temporary file + rename) and serialised between processes with an advisory lock.
// All text is passed through as bytes (the files hold GBK).
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace plat {

// GetPrivateProfileStringA: the value, or `def` when the section or key is missing.
// At most bufferSize - 1 bytes are returned (longer values are cut). A value enclosed
// in matching quotes is returned without them.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& nativeFile,
                                    std::size_t bufferSize);

// Several keys of one section from one read of the file, so they come from one version of
// it (GetPrivateProfileString of each, "" for a missing one).
std::vector<std::string> GetPrivateProfileStrings(const std::string& section,
                                                  const std::vector<std::string>& keys,
                                                  const std::string& nativeFile,
                                                  std::size_t bufferSize);

// GetPrivateProfileIntA: leading decimal digits of the value (optional sign), `def`
// when the key is missing, 0 when the value is not a number.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& nativeFile);

// WritePrivateProfileStringA: sets the key (creating file and section as needed).
// False when the file cannot be written (missing folder, no permission).
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& nativeFile);

// Several keys of one section in one atomic update: a reader (or another writer) sees all
// of them or none. mode >= 0 creates the file with that mode and keeps it at that mode
// (0600 for a file holding a password). False, and nothing written, when any name or value
// is not valid.
bool WritePrivateProfileStrings(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::string& nativeFile, int mode = -1);

// Deletes one key (WritePrivateProfileStringA with a null value).
bool DeletePrivateProfileKey(const std::string& section, const std::string& key,
                             const std::string& nativeFile);

}  // namespace plat
