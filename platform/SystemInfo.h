#pragma once
// Small facts about the running system.
#include <string>

namespace plat {

// True when this process would run under WOW64 on Windows: false for a native build,
// true when the environment variable ORVANTA_WOW64 is "1".
bool IsWow64Process();

// First interface that is up, not loopback and has an IPv4 address: its dotted address,
// and its MAC as twelve upper-case hex digits. Empty on failure.
std::string LocalIpAddress();
std::string LocalMacAddress();

// Text of a system error code (strerror); empty when the system has none.
std::string SystemErrorText(int code);

}  // namespace plat
