#pragma once
// UTF-8 <-> UTF-16 for the wide Windows calls, and the path form those calls take.
#include <string>
#include <string_view>

namespace plat::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// A native path ('/' or '\' separators, drive letters, UNC "//server/share") in the form the
// wide file calls take: backslashes throughout.
std::wstring WidePath(std::string_view nativePath);

// Text of a Windows error code (FormatMessageW), without the trailing line end.
std::string ErrorText(unsigned long code);

}  // namespace plat::win
