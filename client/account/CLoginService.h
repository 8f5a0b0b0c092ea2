#pragma once
// Login and logout against the platform's SOAP login services, keeping the result in the
// session record. Both exchanges block until the server answers or their abort flag is
// raised; the window runs them on a worker, and writes the session only on its own thread.
#include <functional>
#include <string>

#include "client/account/LoginAnswer.h"
#include "client/base/UserSession.h"

struct LoginResult {
  bool success = false;
  std::string errorInfo;  // the platform's text on failure; "" when it gave none
  // Whether a usable answer came (a refused login is still an ok answer), and the session
  // the login set (its user name and cookie key; empty unless success).
  RequestResult result;
  UserSession session;
};

class CLoginService {
 public:
  explicit CLoginService(UserSession& session = CurrentSession());
  virtual ~CLoginService() = default;

  // Stores the typed credentials in user.cfg (every attempt, before anything is sent),
  // sends the login document, then signs out and signs in again only when the answer's
  // transferStatus is exactly "1". Texts are UTF-8.
  virtual LoginResult Login(const std::string& userName, const std::string& password,
                            bool rememberPassword);

  // Login in two steps, for a caller that runs the exchange on a worker while its own
  // thread keeps reading the session: Exchange stores the credentials and asks the server
  // without touching the session; Apply then writes its outcome into the session, on the
  // session's one writer thread. Login is Exchange followed by Apply.
  // A raised `abort` ends the exchange at once as a failed login with no answer.
  virtual LoginResult Exchange(const std::string& userName, const std::string& password,
                               bool rememberPassword, const AbortFlag& abort);
  void Apply(const LoginResult& result);

  // Signs out, sends the logout document with the last cookie key (whatever the state),
  // ignores the answer and asks for the login display to be refreshed.
  virtual void Logout();
  // Logout in two steps, as for the login: SignOut marks the session signed out and returns
  // the cookie key to send (session's thread); SendLogout sends it, ends early when `abort`
  // is raised, and touches no session (any thread).
  std::string SignOut();
  void SendLogout(const std::string& cookieKey, const AbortFlag& abort);

  // Called at the end of every logout; the main window sets it to refresh its login display.
  void SetLoginDisplayRefresh(std::function<void()> refresh) { m_refresh = std::move(refresh); }

  // The answer of the last login or logout.
  const LoginAnswer& LastAnswer() const { return m_lastAnswer; }

  // The documents as sent: GBK bytes, user texts XML-escaped.
  static std::string BuildLoginDocument(const std::string& userName, const std::string& password);
  static std::string BuildLogoutDocument(const std::string& cookieKey);
  // & < > " ' as entities; other bytes unchanged.
  static std::string XmlEscape(const std::string& text);

 private:
  // Converts the SOAP answer (UTF-8) to GBK and parses it.
  static LoginAnswer ReadAnswer(const std::string& out);

  UserSession& m_session;
  std::function<void()> m_refresh;
  LoginAnswer m_lastAnswer;
};
