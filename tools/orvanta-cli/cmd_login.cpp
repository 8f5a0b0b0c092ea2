// Account commands: login, logout, credentials.
//
//   login --user NAME --password PW [--remember]   signs in; the commands chained after it
//                                                  with " -- " run signed in
//   logout                                         signs out with the session's cookie key
//   credentials                                    the stored user.cfg credentials
#include "CliCommand.h"
#include "client/account/CCredentialStore.h"
#include "client/account/CLoginService.h"
#include "client/base/UserSession.h"

namespace {

int RunLogin(std::vector<std::string> args) {
  std::string user, password;
  const bool haveUser = TakeOption(args, "--user", user);
  const bool havePassword = TakeOption(args, "--password", password);
  const bool remember = TakeFlag(args, "--remember");
  if (!haveUser || !havePassword || !args.empty())
    return UsageError("usage: login --user NAME --password PW [--remember]");

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

CliRegistration loginCommand({"login", "login --user NAME --password PW [--remember]",
                              [](const std::vector<std::string>& args) { return RunLogin(args); }});
CliRegistration logoutCommand({"logout", "logout", RunLogout});
CliRegistration credentialsCommand({"credentials", "credentials", RunCredentials});

}  // namespace
