#pragma once
// Launching files, programs and URLs.
#include <string>
#include <vector>

namespace plat {

// Splits a Windows-style parameter string into arguments (blanks separate, double quotes group).
std::vector<std::string> SplitParameters(const std::string& parameters);

// "open" verb: an executable file (run bit set, or an ELF / "#!" script, which then gets
// its run bit) is spawned detached with its parameters; anything else goes to xdg-open.
// True when started.
bool ShellOpen(const std::string& nativeFile, const std::string& parameters = {});

// Opens a URL in the desktop's browser: xdg-open, else sensible-browser, else x-www-browser.
bool OpenUrlInBrowser(const std::string& url);

// Runs a program with its parameters and waits. The exit code, or -1 when it could not
// be started or did not exit normally.
int RunAndWait(const std::string& nativeFile, const std::vector<std::string>& args);

}  // namespace plat
