// The GBK conversions of text from files and peers, both ways, and UTF-8 repair.
#include "FuzzSupport.h"
#include "platform/Encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = orvfuzz::Text(data, size);
  const std::string utf8 = plat::GbkToUtf8(text);
  plat::Utf8ToGbk(text);
  plat::Utf8ToGbk(utf8);
  plat::ValidUtf8(text);
  return 0;
}
