#pragma once
// Windows build of the tests: the POSIX environment calls the tests use, over the C runtime's
// _putenv_s (which updates the process environment too, so child processes see it). An
// empty value removes the variable there: the programs treat empty and unset alike.
#ifdef _WIN32
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
#endif
