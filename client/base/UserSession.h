#pragma once
// The session record of the signed-in user; one instance per process, never persisted.
#include <string>

struct UserSession {
  std::string cookieKey;
  std::string userName;
  std::string password;
  int loggedIn = 0;
};

// The process's session (owned by the application object in the client, by main in the
// companion tools).
UserSession& CurrentSession();
