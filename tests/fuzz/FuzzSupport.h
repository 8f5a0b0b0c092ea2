#pragma once
// What every harness shares: the libFuzzer entry point and a scratch program directory, so
// that logs and files the parsers write land in a private temporary folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ProgramDir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace orvfuzz {

// A folder of this process, made on first use, set as the program directory and removed at
// exit.
inline const std::string& ScratchDir() {
  // A plain array, so that it outlives every static object for the exit handler.
  static char name[] = "/tmp/orvfuzz.XXXXXX";
  static const std::string dir = [] {
    if (!mkdtemp(name)) std::abort();
    // Nothing a harness reaches may leave the machine: every server is a closed loopback port.
    for (const char* kind : {"APP", "WEB", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "UPDATE"})
      setenv((std::string("ORVANTA_HOST_") + kind).c_str(), "127.0.0.1:9", 1);
    plat::SetProgramDirectory(name);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(name, ignored);
    });
    return std::string(name);
  }();
  return dir;
}

inline std::string_view Text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace orvfuzz
