// The login service's XML answer (GBK bytes).
#include "FuzzSupport.h"
#include "client/account/LoginAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvfuzz::ScratchDir();
  LoginAnswer::ParseGbk(std::string(orvfuzz::Text(data, size)));
  return 0;
}
