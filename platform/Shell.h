#pragma once
// Launching files, programs and URLs.
#include <string>
#include <vector>

namespace plat {

// Splits a Windows-style parameter string into arguments (blanks separate, double quotes group).
std::vector<std::string> SplitParameters(const std::string& parameters);

// "open" verb for a program: a regular file that is an ELF program or a "#!" script (it gets
// its run bit when missing) is spawned detached with its parameters as an argument list.
// Anything else is refused, never handed to the desktop's file associations. True when
// started.
bool ShellOpen(const std::string& nativeFile, const std::string& parameters = {});

// True when nativeFile is a regular file ShellOpen would run (ELF or "#!").
bool IsDirectlyRunnable(const std::string& nativeFile);

// Opens a URL in the desktop's browser (xdg-open, else sensible-browser, else x-www-browser)
// when the link gate (LinkGate.h) allows it. False when refused or no browser started.
bool OpenUrlInBrowser(const std::string& url);

// Opens a URL that carries a secret (a session key): the URL goes into a small redirect page
// written 0600 into the private runtime folder, and the browser gets that page's file name,
// so no command line shows the URL. The page is removed after lifetimeSeconds. False when
// the link gate refuses the URL, the page cannot be written or no browser started.
bool OpenUrlThroughPrivatePage(const std::string& url, int lifetimeSeconds = 60);

// Runs a program with its parameters and waits. The exit code, or -1 when it could not
// be started or did not exit normally.
int RunAndWait(const std::string& nativeFile, const std::vector<std::string>& args);

}  // namespace plat
