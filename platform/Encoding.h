#pragma once
// Text conversion between the program's UTF-8 and the GBK bytes (code page 936)
// that stored files and the platform's peers use. Invalid input is replaced, never fatal.
#include <string>
#include <string_view>

namespace plat {

// GBK bytes -> UTF-8. Undecodable bytes become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// UTF-8 -> GBK bytes. Characters GBK cannot hold (and invalid UTF-8) become '?'.
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace plat
