#include "RegCommandLine.h"

#include <set>

#include "platform/AsciiCase.h"

namespace orvreg {
namespace {

std::string Lower(const std::string& s) { return plat::AsciiLower(s); }

bool IsSwitch(const std::string& arg) {
  return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-');
}

// "HKLM\SOFTWARE\X" -> "SOFTWARE\X"; false for another root or a remote machine.
bool SplitKey(const std::string& text, std::string& keyPath) {
  std::size_t slash = text.find('\\');
  std::string root = Lower(text.substr(0, slash));
  if (root != "hklm" && root != "hkey_local_machine") return false;
  keyPath = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  while (!keyPath.empty() && keyPath.back() == '\\') keyPath.pop_back();
  return keyPath.find("\\\\") == std::string::npos && (keyPath.empty() || keyPath[0] != '\\');
}

// Decimal or 0x-prefixed hexadecimal, 32 bits.
bool ParseDword(const std::string& text, std::uint32_t& out) {
  std::string digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits.size() > 10) return false;
  std::uint64_t value = 0;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return false;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  if (value > 0xFFFFFFFFull) return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

RegParseResult Fail(const std::string& why) { return {std::nullopt, why}; }

}  // namespace

RegParseResult ParseRegCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("missing operation");
  const std::string op = Lower(args[0]);
  RegCommandLine cmd;
  if (op == "/?" || op == "-?" || (args.size() >= 2 && (args[1] == "/?" || args[1] == "-?"))) {
    if (args.size() > 2) return Fail("too many arguments");
    return {cmd, ""};
  }
  std::set<std::string> allowed;
  if (op == "add") {
    cmd.operation = RegOperation::Add;
    allowed = {"v", "ve", "t", "d", "f"};
  } else if (op == "query") {
    cmd.operation = RegOperation::Query;
    allowed = {"v", "ve", "s"};
  } else if (op == "delete") {
    cmd.operation = RegOperation::Delete;
    allowed = {"v", "ve", "va", "f"};
  } else {
    return Fail("unknown operation \"" + args[0] + "\"");
  }
  if (args.size() < 2 || IsSwitch(args[1])) return Fail("missing key name");
  if (!SplitKey(args[1], cmd.keyPath))
    return Fail("invalid key name \"" + args[1] + "\" (only HKLM is available)");

  std::set<std::string> seen;
  std::optional<std::string> typeName, data;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (!IsSwitch(args[i])) return Fail("unexpected argument \"" + args[i] + "\"");
    const std::string name = Lower(args[i].substr(1));
    if (name == "reg:32" || name == "reg:64") continue;
    if (!allowed.count(name)) return Fail("unknown switch \"" + args[i] + "\"");
    if (!seen.insert(name).second) return Fail("switch \"" + args[i] + "\" given twice");
    if (name == "v" || name == "t" || name == "d") {
      if (i + 1 >= args.size()) return Fail("switch \"" + args[i] + "\" needs a value");
      const std::string& arg = args[++i];
      if (name == "v") cmd.valueName = arg;
      if (name == "t") typeName = arg;
      if (name == "d") data = arg;
    } else if (name == "ve") {
      cmd.valueName = "";
    } else if (name == "va") {
      cmd.allValues = true;
    } else if (name == "s") {
      cmd.recurse = true;
    } else if (name == "f") {
      cmd.force = true;
    }
  }
  if (seen.count("v") + seen.count("ve") + seen.count("va") > 1)
    return Fail("/v, /ve and /va exclude each other");

  if (cmd.operation == RegOperation::Add) {
    if ((typeName || data) && !cmd.valueName) return Fail("/t and /d need /v or /ve");
    const std::string type = Lower(typeName.value_or("reg_sz"));
    if (type == "reg_sz") {
      cmd.type = plat::reg::ValueType::Sz;
    } else if (type == "reg_expand_sz") {
      cmd.type = plat::reg::ValueType::ExpandSz;
    } else if (type == "reg_dword") {
      cmd.type = plat::reg::ValueType::Dword;
    } else {
      return Fail("unsupported type \"" + *typeName + "\"");
    }
    if (cmd.type == plat::reg::ValueType::Dword) {
      if (data && !ParseDword(*data, cmd.dword))
        return Fail("invalid REG_DWORD data \"" + *data + "\"");
    } else {
      cmd.data = data.value_or("");
    }
  }
  if (cmd.operation == RegOperation::Delete && cmd.keyPath.empty() && !cmd.valueName &&
      !cmd.allValues)
    return Fail("the whole hive cannot be deleted");
  return {cmd, ""};
}

std::string RegUsage() {
  return "ORVREG operation [parameters]\n"
         "\n"
         "  orvreg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] [/d DATA] [/f]\n"
         "  orvreg query  KEY [/v NAME | /ve] [/s]\n"
         "  orvreg delete KEY [/v NAME | /ve | /va] [/f]\n"
         "\n"
         "  KEY    HKLM\\SubKey or HKEY_LOCAL_MACHINE\\SubKey\n"
         "  /v     value name          /ve   the default value (Default)\n"
         "  /va    every value of KEY  /t    value type (REG_SZ when omitted)\n"
         "  /d     data (REG_DWORD: decimal or 0x hexadecimal)\n"
         "  /s     query KEY and all its sub-keys\n"
         "  /f     no confirmation prompt\n"
         "\n"
         "Exit code: 0 success, 1 failure, 2 invalid syntax.\n";
}

}  // namespace orvreg
