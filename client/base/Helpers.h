#pragma once
// Small helpers several parts of the client call. All text is UTF-8 unless named GBK.
#include <string>

struct UserSession;

// The CMake project version, "%d.%d.%d.%d".
std::string GetOwnVersion();
// Executable name of the client + ".exe" ("Orvanta.exe").
std::string GetExecutableName();
std::string GetLocalIpAddress();
std::string GetMacAddress();
// userName when signed in, else "未登录用户".
std::string GetUserDisplayName(const UserSession& session);
// The text between double quotes with the JSON specials escaped ("" gives "\"\"").
std::string JsonQuoted(const std::string& text);
// "null" for "", else JsonQuoted(text).
std::string JsonText(const std::string& text);
// "%d"
std::string DecimalText(int value);
// The system's text for an error code (errno); "" when it has none.
std::string GetLastErrorText(int code);
std::string Utf8ToGbk(const std::string& utf8);
std::string GbkToUtf8(const std::string& gbk);
// Opens a URL in the browser. True when a browser was started.
bool OpenUrl(const std::string& url);

// Push server settings in "\image\config.ini" [Server].
// ListenPortNum; a missing key or 0 writes "81" and returns 81.
int GetPushListenPort();
// ListenIpAddr; empty gives the built-in push server host (nothing written back).
std::string GetPushListenAddress();
