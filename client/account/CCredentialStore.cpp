#include "client/account/CCredentialStore.h"

#include <cstdlib>

#include "client/account/PasswordScrambler.h"
#include "client/base/CIniFile.h"
#include "platform/Encoding.h"
#include "platform/ProgramDir.h"

bool CCredentialStore::Store(const std::string& userName, const std::string& password,
                             bool rememberPassword) {
  plat::MakeDirectories(plat::JoinProgramPath("\\user"));
  const CIniFile ini(kFileName);
  // One update: two logins at once must never leave one user's name with the other's
  // password. Owner-only: the password is only scrambled.
  return ini.WriteStrings(
      kSection,
      {{"UserName", userName},
       // Kept only when the user asked for it: otherwise the
       // scrambled form of an empty password, so the name still reads.
       {"Password", ScramblePassword(rememberPassword ? plat::Utf8ToGbk(password) : std::string())},
       {"IfRememberPwd", rememberPassword ? "1" : "0"}},
      0600);
}

StoredCredentials CCredentialStore::Read() {
  StoredCredentials result;
  // The three keys from one version of the file: a login storing at the same time never
  // gives one user's name with another's password.
  const std::vector<std::string> values =
      CIniFile(kFileName).ReadStrings(kSection, {"UserName", "Password", "IfRememberPwd"});
  std::string passwordGbk;
  if (!UnscramblePassword(values[1], passwordGbk)) return result;
  result.usable = true;
  result.userName = values[0];
  result.password = plat::GbkToUtf8(passwordGbk);
  // Decimal integer; missing or non-numeric text gives 0.
  result.rememberPassword = static_cast<int>(std::strtol(values[2].c_str(), nullptr, 10));
  return result;
}
