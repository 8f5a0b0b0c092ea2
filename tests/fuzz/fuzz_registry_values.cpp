// A registry key's values file as found on disk (an installer may have written it).
#include <sys/stat.h>

#include <fstream>

#include "FuzzSupport.h"
#include "platform/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string key = [] {
    const std::string root = orvfuzz::ScratchDir() + "/registry";
    setenv("ORVANTA_REGISTRY_ROOT", root.c_str(), 1);
    mkdir(root.c_str(), 0700);
    mkdir((root + "/SOFTWARE").c_str(), 0700);
    mkdir((root + "/SOFTWARE/Fuzz").c_str(), 0700);
    return root + "/SOFTWARE/Fuzz/.values";
  }();
  std::ofstream(key, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (const auto& value : plat::reg::EnumValues("SOFTWARE\\Fuzz"))
    plat::reg::ReadValue("SOFTWARE\\Fuzz", value.name);
  plat::reg::ReadValue("software\\fuzz", "DisplayIcon");
  return 0;
}
