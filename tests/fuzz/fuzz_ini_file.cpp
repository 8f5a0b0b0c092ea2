// A profile (INI) file as found on disk: sections and keys read the way the client reads
// config.ini and user.cfg, then one write that must keep every other line.
#include <fstream>

#include "FuzzSupport.h"
#include "platform/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = orvfuzz::ScratchDir() + "/fuzz.ini";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (const char* section : {"Server", "UserCfg", "", "a"}) {
    plat::GetPrivateProfileString(section, "UserName", "def", file, 1000);
    plat::GetPrivateProfileStrings(section, {"Password", "IfRememberPwd", ""}, file, 64);
    plat::GetPrivateProfileInt(section, "port", 7, file);
  }
  plat::WritePrivateProfileString("UserCfg", "UserName", "demo", file);
  plat::GetPrivateProfileString("UserCfg", "UserName", "", file, 1000);
  return 0;
}
