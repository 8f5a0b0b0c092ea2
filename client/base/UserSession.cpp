#include "client/base/UserSession.h"

UserSession& CurrentSession() {
  static UserSession session;
  return session;
}
