#include "platform/Encoding.h"

#include <cstddef>

namespace plat {

std::string ValidUtf8(std::string_view text) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii) return std::string(text);
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    std::size_t len = 0;
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
    std::size_t good = len ? 1 : 0;
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
