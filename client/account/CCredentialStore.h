#pragma once
// The last user's credentials in "\user\user.cfg", section "UserCfg": the user name in
// clear, the password scrambled (ScramblePassword of its GBK bytes), and the
// remember-password flag. Texts are UTF-8 here; the file holds GBK.
#include <string>

struct StoredCredentials {
  bool usable = false;  // false: the file or a readable "Password" is missing
  std::string userName;
  std::string password;
  int rememberPassword = 0;
};

class CCredentialStore {
 public:
  static constexpr const char* kFileName = "\\user\\user.cfg";
  static constexpr const char* kSection = "UserCfg";

  // Creates the "user" folder when missing and writes the three keys; the password only when
  // rememberPassword is set (else an empty one). Failures are not
  // reported to the user; false tells the caller something was not written.
  static bool Store(const std::string& userName, const std::string& password,
                    bool rememberPassword);

  // Reads the three keys back; not usable when the password does not unscramble.
  static StoredCredentials Read();
};
