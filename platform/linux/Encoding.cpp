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

std::string ValidUtf8(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;  // overlong
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;  // overlong
      if (c == 0xF4) hi = 0x8F;  // past U+10FFFF
    }
    size_t good = len ? 1 : 0;
    while (good > 0 && good < len && i + good < n) {
      const unsigned char b = p[i + good];
      if (good == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) break;
      ++good;
    }
    if (len != 0 && good == len) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      // One replacement for the maximal invalid prefix (at least one byte).
      out += "\xEF\xBF\xBD";
      i += good > 0 ? good : 1;
    }
  }
  return out;
}

}  // namespace plat
