#pragma once
// The application lists of the client as the window holds them: the five list kinds, the
// shared record a tile keeps, and one list with the install states worked out for it.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/requests/OrvAppInfo.h"

// The five lists of *request list*.
enum class AppListKind { Hot, AllWeb, AllDesktop, PrivateWeb, PrivateDesktop };
inline constexpr int kAppListKinds = 5;

// A record shared by the list it came from and every tile made from it: a tile's record
// stays valid when its list is requested again and rebuilt.
using AppRecord = std::shared_ptr<const OrvAppInfo>;

// One list as held after its last answer. `states` maps a record's xh to its install state
// (tile_state codes), worked out once when the list was answered or the Uninstall
// registrations changed.
struct AppList {
  AppListKind kind = AppListKind::Hot;
  std::vector<AppRecord> records;
  std::map<std::string, int> states;
};
