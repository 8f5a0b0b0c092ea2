// The push server's byte stream: framing into objects, then each object's message. The
// first byte chooses how the stream is cut into receives.
#include <algorithm>

#include "FuzzSupport.h"
#include "client/requests/PushMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvfuzz::ScratchDir();
  if (size == 0) return 0;
  const std::size_t step = 1 + data[0] % 64;
  PushMessageFramer framer;
  for (std::size_t at = 1; at < size; at += step) {
    framer.Feed(reinterpret_cast<const char*>(data) + at, std::min(step, size - at));
    while (auto text = framer.Next()) ParsePushMessage(*text);
  }
  return 0;
}
