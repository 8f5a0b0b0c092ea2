// The update descriptor the update server publishes, read from its downloaded file.
#include <fstream>

#include "FuzzSupport.h"
#include "client/update/UpdateCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = orvfuzz::ScratchDir() + "/UpdateInfo.xml";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const std::string version = ReadPublishedVersion(file);
  CompareVersions("1.0.0.1", version);
  return 0;
}
