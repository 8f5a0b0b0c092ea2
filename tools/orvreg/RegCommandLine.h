#pragma once
// Command line of orvreg in the syntax of the Windows registry tool:
//
//   orvreg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] [/d DATA] [/f]
//   orvreg query  KEY [/v NAME | /ve] [/s]
//   orvreg delete KEY [/v NAME | /ve | /va] [/f]
//
// KEY is "HKLM\..." or "HKEY_LOCAL_MACHINE\..."; operation, root and switch names are
// case-insensitive, and switches may also start with '-'. "/reg:32" and "/reg:64" are
// accepted and ignored (there is one view of the hive).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace orvreg {

enum class RegOperation { Help, Add, Query, Delete };

struct RegCommandLine {
  RegOperation operation = RegOperation::Help;
  std::string keyPath;                   // below the hive ("SOFTWARE\Vendor"); "" is the hive
  std::optional<std::string> valueName;  // /v NAME; /ve gives ""
  bool allValues = false;                // /va
  bool recurse = false;                  // /s
  bool force = false;                    // /f
  plat::reg::ValueType type = plat::reg::ValueType::Sz;
  std::string data;         // REG_SZ / REG_EXPAND_SZ data
  std::uint32_t dword = 0;  // REG_DWORD data
};

struct RegParseResult {
  std::optional<RegCommandLine> command;
  std::string error;  // set when command is empty
};

// Parses the arguments after the program name. Checks everything that can be checked
// without the registry, so that a bad command line writes nothing.
RegParseResult ParseRegCommandLine(const std::vector<std::string>& args);

// Usage text printed for "/?".
std::string RegUsage();

}  // namespace orvreg
