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
// The text with every byte sequence that is not well-formed UTF-8 (stray continuation
// bytes, overlong forms, surrogates, code points past U+10FFFF, cut-off characters)
// replaced by U+FFFD. Text arriving as UTF-8 passes through this at the boundary.
std::string ValidUtf8(std::string_view text);

}  // namespace plat
