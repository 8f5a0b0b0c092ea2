// The gate of links handed to the desktop, the redirect page of an allowed one, and the log's
// masking of secrets. An allowed link must satisfy what the gate promises.
#include <cstdlib>

#include "FuzzSupport.h"
#include "client/base/CThreadLog.h"
#include "platform/LinkGate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = orvfuzz::Text(data, size);
  if (plat::IsAllowedLink(text)) {
    for (char c : text)
      if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
        std::abort();
    const std::string page = plat::RedirectPageHtml(std::string(text));
    if (page.find("<script") != std::string::npos) std::abort();
  }
  CThreadLog::MaskSecrets(text);
  return 0;
}
