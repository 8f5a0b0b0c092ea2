#include "client/account/CLoginService.h"

#include "client/account/CCredentialStore.h"
#include "client/account/CPlatformSoapClient.h"
#include "client/base/ServerConfig.h"
#include "platform/Encoding.h"

namespace {
constexpr const char* kDocumentHead =
    "<?xml version=\"1.0\" encoding=\"GBK\"?><InterfaceService><Authentication>";
constexpr const char* kDocumentTail = "</Authentication></InterfaceService>";
}  // namespace

CLoginService::CLoginService(UserSession& session) : m_session(session) {}

LoginResult CLoginService::Login(const std::string& userName, const std::string& password,
                                 bool rememberPassword) {
  const AbortFlag never{false};
  LoginResult result = Exchange(userName, password, rememberPassword, never);
  Apply(result);
  return result;
}

LoginResult CLoginService::Exchange(const std::string& userName, const std::string& password,
                                    bool rememberPassword, const AbortFlag& abort) {
  CCredentialStore::Store(userName, password, rememberPassword);

  const std::string out =
      CPlatformSoapClient::Login(ServerUrl(ServerKind::Web, server_paths::kLoginService),
                                 BuildLoginDocument(userName, password), abort);
  m_lastAnswer = ReadAnswer(out);

  LoginResult result;
  result.result = m_lastAnswer.result;
  if (m_lastAnswer.transferStatus == "1") {
    result.session.userName = userName;
    result.session.password = password;
    result.session.cookieKey = m_lastAnswer.transferID;
    result.session.loggedIn = 1;
    result.success = true;
  } else {
    result.errorInfo = m_lastAnswer.errorInfo;
  }
  return result;
}

void CLoginService::Apply(const LoginResult& result) {
  // Every answer signs out first; only a successful one signs in again with its user.
  m_session.loggedIn = 0;
  if (result.success) m_session = result.session;
}

void CLoginService::Logout() {
  const AbortFlag never{false};
  SendLogout(SignOut(), never);
  if (m_refresh) m_refresh();
}

std::string CLoginService::SignOut() {
  m_session.loggedIn = 0;
  return m_session.cookieKey;
}

void CLoginService::SendLogout(const std::string& cookieKey, const AbortFlag& abort) {
  const std::string out =
      CPlatformSoapClient::LoginOut(ServerUrl(ServerKind::Web, server_paths::kLoginOutService),
                                    BuildLogoutDocument(cookieKey), abort);
  m_lastAnswer = ReadAnswer(out);
}

std::string CLoginService::BuildLoginDocument(const std::string& userName,
                                              const std::string& password) {
  return std::string(kDocumentHead) + "<username>" + XmlEscape(plat::Utf8ToGbk(userName)) +
         "</username><password>" + XmlEscape(plat::Utf8ToGbk(password)) +
         "</password><logintype>2</logintype>" + kDocumentTail;
}

std::string CLoginService::BuildLogoutDocument(const std::string& cookieKey) {
  return std::string(kDocumentHead) + "<cookiekey>" + XmlEscape(plat::Utf8ToGbk(cookieKey)) +
         "</cookiekey>" + kDocumentTail;
}

std::string CLoginService::XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

LoginAnswer CLoginService::ReadAnswer(const std::string& out) {
  return LoginAnswer::ParseGbk(plat::Utf8ToGbk(out));
}
