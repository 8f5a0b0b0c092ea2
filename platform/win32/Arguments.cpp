#include "platform/Arguments.h"

#include "platform/win32/WinText.h"

#include <windows.h>
// after windows.h
#include <shellapi.h>

namespace plat {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!wide)
    return argc < 1 ? std::vector<std::string>() : std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> out;
  for (int i = 1; i < n; ++i) out.push_back(win::Narrow(wide[i]));
  LocalFree(wide);
  return out;
}

}  // namespace plat
