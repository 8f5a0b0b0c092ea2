#pragma once
// The client's own version and executable name.
#include <string>

// The CMake project version, "%d.%d.%d.%d".
std::string GetOwnVersion();
// Executable name of the client + ".exe" ("Orvanta.exe").
std::string GetExecutableName();
