#pragma once
// Push server settings in "\image\config.ini" [Server].
#include <string>

// ListenPortNum; a missing key or 0 writes "81" and returns 81.
int GetPushListenPort();
// ListenIpAddr; empty gives the built-in push server host (nothing written back).
std::string GetPushListenAddress();
