#pragma once
// A program's command-line arguments as UTF-8 text.
#include <string>
#include <vector>

namespace plat {

// The arguments after the program name. On Windows main's argv is in the ANSI code page,
// which cannot hold every character, so they are taken from the UTF-16 command line there.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace plat
