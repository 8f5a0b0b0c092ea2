#pragma once
// The XML library keeps its whitespace setting in one process-wide variable. Every XML parse
// of the client holds this lock, so a parse that changes the setting for itself (the login
// answer keeps blanks) cannot leak it into another thread's parse (the update check).
#include <mutex>

std::unique_lock<std::mutex> LockXmlParsing();
