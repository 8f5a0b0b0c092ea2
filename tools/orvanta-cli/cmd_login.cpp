// Account commands: login, logout, credentials.
//
//   login --user NAME (--password PW | --password-stdin) [--remember]
//                                                  signs in; the commands chained after it
//                                                  with " -- " run signed in. With
//                                                  --password-stdin the password is the first
//                                                  line of standard input, so no command line
//                                                  shows it
//   logout                                         signs out with the session's cookie key
//   credentials                                    the stored user.cfg credentials
#include <iostream>

#include "CliCommand.h"
#include "client/account/CCredentialStore.h"
#include "client/account/CLoginService.h"
#include "client/base/UserSession.h"

namespace {

constexpr const char* kLoginUsage =
    "usage: login --user NAME (--password PW | --password-stdin) [--remember]";

// The first line of standard input without its line end; false when none could be read.
bool ReadPasswordLine(std::string& password) {
  if (!std::getline(std::cin, password) && password.empty()) return false;
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

int RunLogin(std::vector<std::string> args) {
  std::string user, password;
  const bool haveUser = TakeOption(args, "--user", user);
  const bool passwordInArgs = TakeOption(args, "--password", password);
  const bool passwordOnStdin = TakeFlag(args, "--password-stdin");
  const bool remember = TakeFlag(args, "--remember");
  if (!haveUser || passwordInArgs == passwordOnStdin || !args.empty())
    return UsageError(kLoginUsage);
  if (passwordOnStdin && !ReadPasswordLine(password))
    return UsageError("login: no password line on standard input");

  CLoginService service(CurrentSession());
  const LoginResult result = service.Login(user, password, remember);
  const UserSession& session = CurrentSession();
  Json::Value v;
  v["success"] = result.success;
  v["errorInfo"] = result.errorInfo;
  v["cookieKey"] = result.success ? session.cookieKey : std::string();
  v["userName"] = result.success ? session.userName : std::string();
  v["status"] = RequestStatusText(result.result.status);
  if (!result.result.Ok()) v["error"] = result.result.reason;
  PrintJson(v);
  return result.success ? 0 : 1;
}

int RunLogout(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("usage: logout");
  CLoginService service(CurrentSession());
  service.Logout();
  const LoginAnswer& answer = service.LastAnswer();
  Json::Value v;
  v["cookieKey"] = CurrentSession().cookieKey;
  v["loggedIn"] = CurrentSession().loggedIn;
  v["transferStatus"] = answer.transferStatus;
  v["errorInfo"] = answer.errorInfo;
  PrintJson(v);
  return 0;
}

int RunCredentials(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("usage: credentials");
  const StoredCredentials stored = CCredentialStore::Read();
  Json::Value v;
  v["status"] = stored.usable ? "usable" : "not usable";
  v["userName"] = stored.userName;
  v["password"] = stored.password;
  v["rememberPassword"] = stored.rememberPassword;
  PrintJson(v);
  return 0;
}

CliRegistration loginCommand({"login",
                              "login --user NAME (--password PW | --password-stdin) [--remember]",
                              [](const std::vector<std::string>& args) { return RunLogin(args); }});
CliRegistration logoutCommand({"logout", "logout", RunLogout});
CliRegistration credentialsCommand({"credentials", "credentials", RunCredentials});

}  // namespace
