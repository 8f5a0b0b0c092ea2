#pragma once
// The program directory and the product's relative file names.
//
// Relative names keep the product's form: a leading backslash and backslash
// separators ("\image\config.ini"). JoinProgramPath is the one place that turns
// them into a native path under the program directory.
#include <string>
#include <string_view>

namespace plat {

// Folder of the running executable (/proc/self/exe), without a trailing separator.
// Tests may replace it with SetProgramDirectory.
std::string ProgramDirectory();
void SetProgramDirectory(const std::string& dir);

// Backslashes -> '/'.
std::string ToNativePath(std::string_view path);

// ProgramDirectory() + relative, with the relative name's backslashes turned into '/'.
// The relative name normally begins with a backslash; one is supplied when it does not.
std::string JoinProgramPath(std::string_view relative);

// Creates the folder and all missing parents. True when it exists afterwards.
bool MakeDirectories(const std::string& nativePath);

// Creates every missing folder of the directory part of a file path (text before the last '/').
bool MakeParentDirectories(const std::string& nativeFilePath);

bool FileExists(const std::string& nativePath);

}  // namespace plat
