#include "client/base/MachineIdentity.h"

#include "client/base/UserSession.h"
#include "platform/SystemInfo.h"

std::string GetLocalIpAddress() { return plat::LocalIpAddress(); }

std::string GetMacAddress() { return plat::LocalMacAddress(); }

std::string GetUserDisplayName(const UserSession& session) {
  return session.loggedIn == 1 ? session.userName : "未登录用户";
}
