#include "platform/Encoding.h"

#include <windows.h>

#include <cstddef>

// GBK is code page 936. The replacement rules are those of the other platform's converter:
// an undecodable GBK byte becomes U+FFFD and decoding goes on at the next byte; a character
// GBK cannot hold, or an invalid UTF-8 sequence, becomes '?'. The system's converters
// substitute on their own terms, so the text is walked here one character at a time.

namespace plat {
namespace {

constexpr UINT kGbk = 936;

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One GBK character (1 or 2 bytes) to UTF-16; 0 when the bytes are no valid character.
wchar_t DecodeGbk(const char* p, int len) {
  wchar_t w = 0;
  int n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, p, len, &w, 1);
  return n == 1 ? w : 0;
}

// Length of the well-formed UTF-8 character at p[0..n), 0 when there is none.
std::size_t Utf8Length(const unsigned char* p, std::size_t n, char32_t& cp) {
  const unsigned char c = p[0];
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    unsigned char b = p[i];
    if (i == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  return len;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  std::string out;
  out.reserve(gbk.size() * 3 / 2 + 8);
  std::size_t i = 0;
  while (i < gbk.size()) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    wchar_t w = 0;
    if (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) w = DecodeGbk(gbk.data() + i, 2);
    if (w != 0) {
      AppendUtf8(out, w);
      i += 2;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    std::size_t len = Utf8Length(p + i, utf8.size() - i, cp);
    if (len == 0) {
      // Invalid: one '?' and skip the lead byte with the continuation bytes that follow it.
      out += '?';
      unsigned char c = p[i];
      std::size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      std::size_t skip = 1;
      while (skip < want && i + skip < utf8.size() && (p[i + skip] & 0xC0) == 0x80) ++skip;
      i += skip;
      continue;
    }
    i += len;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    char bytes[4];
    BOOL lossy = FALSE;
    int n = 0;
    if (cp < 0x10000) {
      wchar_t w = static_cast<wchar_t>(cp);
      n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, &w, 1, bytes, sizeof bytes, nullptr,
                              &lossy);
    }
    if (n > 0 && !lossy)
      out.append(bytes, static_cast<std::size_t>(n));
    else
      out += '?';
  }
  return out;
}

}  // namespace plat
