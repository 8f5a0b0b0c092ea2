#pragma once
// The client's own version and executable name.
#include <string>

// The release's stamp in the program directory: one line with the version. The release
// packaging writes it so that two releases can be made from one build.
inline constexpr const char* kVersionStampFile = "\\version.txt";

// "%d.%d.%d.%d": the stamp when it holds a version of one to four numeric parts, else the
// CMake project version. Missing parts are 0.
std::string GetOwnVersion();
// Executable name of the client + ".exe" ("Orvanta.exe").
std::string GetExecutableName();
