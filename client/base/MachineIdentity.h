#pragma once
// Who and where the client is, as the platform's reports name it.
#include <string>

struct UserSession;

std::string GetLocalIpAddress();
std::string GetMacAddress();
// userName when signed in, else "未登录用户".
std::string GetUserDisplayName(const UserSession& session);
