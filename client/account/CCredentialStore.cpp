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
  bool ok = ini.WriteString(kSection, "UserName", userName);
  ok = ini.WriteString(kSection, "Password", ScramblePassword(plat::Utf8ToGbk(password))) && ok;
  ok = ini.WriteString(kSection, "IfRememberPwd", rememberPassword ? "1" : "0") && ok;
  return ok;
}

StoredCredentials CCredentialStore::Read() {
  StoredCredentials result;
  const CIniFile ini(kFileName);
  const std::string userName = ini.ReadString(kSection, "UserName");
  std::string passwordGbk;
  if (!UnscramblePassword(ini.ReadString(kSection, "Password"), passwordGbk)) return result;
  result.usable = true;
  result.userName = userName;
  result.password = plat::GbkToUtf8(passwordGbk);
  // Decimal integer; missing or non-numeric text gives 0.
  result.rememberPassword =
      static_cast<int>(std::strtol(ini.ReadString(kSection, "IfRememberPwd").c_str(), nullptr, 10));
  return result;
}
