#include "platform/Encoding.h"

#include <iconv.h>

#include <cerrno>

namespace plat {
namespace {

// Converts with iconv; on an invalid or unconvertible sequence writes `replacement`
// and skips one input byte (GBK -> UTF-8) or one UTF-8 character (UTF-8 -> GBK).
std::string Convert(std::string_view in, const char* to, const char* from,
                    std::string_view replacement, bool skipUtf8Char) {
  std::string out;
  if (in.empty()) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  out.reserve(in.size() * 3 / 2 + 8);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buf[4096];
  while (srcLeft > 0) {
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, dst - buf);
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (truncated sequence at the end): replace and move on.
    out.append(replacement);
    size_t skip = 1;
    if (skipUtf8Char) {
      unsigned char c = static_cast<unsigned char>(*src);
      size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      // Skip only continuation bytes that really follow.
      skip = 1;
      while (skip < len && skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80)
        ++skip;
    }
    src += skip;
    srcLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  size_t dstLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(buf, dst - buf);
  iconv_close(cd);
  return out;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  return Convert(gbk, "UTF-8", "GBK", "\xEF\xBF\xBD", false);
}

std::string Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return Convert(utf8, "GBK", "UTF-8", "?", true);
}

}  // namespace plat
