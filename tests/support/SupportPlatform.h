#pragma once
// What the shared test helpers need from each system (ProcessPosix.cpp, ProcessWin.cpp).
#include <filesystem>
#include <string>

namespace orvtest::detail {

// Sets (value) or removes (nullptr) a variable for this process and its children.
void SetEnv(const std::string& name, const std::string* value);
// A UTF-8 path as the system's path type.
std::filesystem::path FsPath(const std::string& utf8);

}  // namespace orvtest::detail
