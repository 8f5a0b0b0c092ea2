#include "RegTool.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/AsciiCase.h"

namespace orvreg {
namespace {

namespace reg = plat::reg;

constexpr const char* kHive = "HKEY_LOCAL_MACHINE";
constexpr const char* kDone = "The operation completed successfully.";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kDenied = "ERROR: Access is denied.";
constexpr const char* kCancelled = "The operation was cancelled by the user.";

bool IEquals(const std::string& a, const std::string& b) { return plat::AsciiIEquals(a, b); }

// The key path as stored (creation case of every component), without the hive.
std::string StoredPath(const std::string& keyPath) {
  std::string stored;
  std::size_t pos = 0;
  while (pos <= keyPath.size() && !keyPath.empty()) {
    std::size_t next = keyPath.find('\\', pos);
    std::string part = keyPath.substr(pos, next == std::string::npos ? next : next - pos);
    std::string name = part;
    for (const std::string& sub : reg::EnumSubKeys(stored))
      if (IEquals(sub, part)) name = sub;
    stored += (stored.empty() ? "" : "\\") + name;
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  return stored;
}

std::string Display(const std::string& storedPath) {
  return storedPath.empty() ? std::string(kHive) : std::string(kHive) + "\\" + storedPath;
}

std::string Join(const std::string& path, const std::string& name) {
  return path.empty() ? name : path + "\\" + name;
}

std::string TypeName(reg::ValueType t) {
  switch (t) {
    case reg::ValueType::ExpandSz:
      return "REG_EXPAND_SZ";
    case reg::ValueType::Dword:
      return "REG_DWORD";
    case reg::ValueType::Sz:
      break;
  }
  return "REG_SZ";
}

std::string ValueLine(const reg::Value& v) {
  std::string data;
  if (v.type == reg::ValueType::Dword) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v.dword));
    data = buf;
  } else {
    data = v.text;
  }
  return "    " + (v.name.empty() ? std::string("(Default)") : v.name) + "    " + TypeName(v.type) +
         "    " + data;
}

// Asks a Yes/No question unless /f was given; true to go ahead.
bool Confirm(const RegCommandLine& cmd, const std::string& question, std::istream& in,
             std::ostream& out) {
  if (cmd.force) return true;
  out << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(in, answer)) {
    out << "\n";
    return false;
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Add(const RegCommandLine& cmd, std::istream& in, std::ostream& out, std::ostream& err) {
  if (reg::KeyDepth(cmd.keyPath) > reg::kMaxKeyDepth) {
    err << "ERROR: The key is nested deeper than " << reg::kMaxKeyDepth << " levels.\n";
    return 2;
  }
  if (!cmd.valueName) {
    if (!reg::CreateKey(cmd.keyPath)) {
      err << kDenied << "\n";
      return 1;
    }
    out << kDone << "\n";
    return 0;
  }
  if (auto existing = reg::ReadValue(cmd.keyPath, *cmd.valueName)) {
    std::string shown = existing->name.empty() ? "(Default)" : existing->name;
    if (!Confirm(cmd, "Value " + shown + " exists, overwrite", in, out)) {
      out << kCancelled << "\n";
      return 1;
    }
  }
  reg::Value v;
  v.name = *cmd.valueName;
  v.type = cmd.type;
  v.text = cmd.data;
  v.dword = cmd.dword;
  if (!reg::WriteValue(cmd.keyPath, v)) {
    err << kDenied << "\n";
    return 1;
  }
  out << kDone << "\n";
  return 0;
}

int Delete(const RegCommandLine& cmd, std::istream& in, std::ostream& out, std::ostream& err) {
  if (!reg::KeyExists(cmd.keyPath)) {
    err << kNotFound << "\n";
    return 1;
  }
  const std::string shown = Display(StoredPath(cmd.keyPath));
  bool ok = false;
  if (cmd.valueName) {
    auto existing = reg::ReadValue(cmd.keyPath, *cmd.valueName);
    if (!existing) {
      err << kNotFound << "\n";
      return 1;
    }
    std::string name = existing->name.empty() ? "(Default)" : existing->name;
    if (!Confirm(cmd, "Delete the registry value " + name, in, out)) {
      out << kCancelled << "\n";
      return 1;
    }
    ok = reg::DeleteValue(cmd.keyPath, *cmd.valueName);
  } else if (cmd.allValues) {
    if (!Confirm(cmd, "Delete all values under the registry key " + shown, in, out)) {
      out << kCancelled << "\n";
      return 1;
    }
    ok = reg::DeleteAllValues(cmd.keyPath);
  } else {
    if (!Confirm(cmd, "Permanently delete the registry key " + shown, in, out)) {
      out << kCancelled << "\n";
      return 1;
    }
    ok = reg::DeleteKey(cmd.keyPath);
  }
  if (!ok) {
    err << kDenied << "\n";
    return 1;
  }
  out << kDone << "\n";
  return 0;
}

// A recursive query, one walk over the tree; counts the values and keys it prints.
void QueryTree(const RegCommandLine& cmd, const std::string& storedPath, std::ostream& out,
               int& matches) {
  reg::WalkKeys(storedPath, [&](const std::string& path, const std::vector<reg::Value>& values) {
    const bool isStart = path == storedPath;
    std::vector<reg::Value> shown;
    for (const reg::Value& v : values)
      if (!cmd.valueName || IEquals(v.name, *cmd.valueName)) shown.push_back(v);
    if (!cmd.valueName || !shown.empty()) {
      out << "\n" << Display(path) << "\n";
      for (const reg::Value& v : shown) out << ValueLine(v) << "\n";
      matches += static_cast<int>(shown.size()) + (isStart || cmd.valueName ? 0 : 1);
    }
  });
}

int Query(const RegCommandLine& cmd, std::ostream& out, std::ostream& err) {
  if (!reg::KeyExists(cmd.keyPath)) {
    err << kNotFound << "\n";
    return 1;
  }
  const std::string stored = StoredPath(cmd.keyPath);
  if (cmd.recurse) {
    int matches = 0;
    QueryTree(cmd, stored, out, matches);
    if (cmd.valueName && matches == 0) {
      err << kNotFound << "\n";
      return 1;
    }
    out << "\nEnd of search: " << matches << " match(es) found.\n";
    return 0;
  }
  if (cmd.valueName) {
    auto v = reg::ReadValue(stored, *cmd.valueName);
    if (!v) {
      err << kNotFound << "\n";
      return 1;
    }
    out << "\n" << Display(stored) << "\n" << ValueLine(*v) << "\n\n";
    return 0;
  }
  out << "\n" << Display(stored) << "\n";
  for (const reg::Value& v : reg::EnumValues(stored)) out << ValueLine(v) << "\n";
  out << "\n";
  for (const std::string& sub : reg::EnumSubKeys(stored)) out << Display(Join(stored, sub)) << "\n";
  return 0;
}

}  // namespace

int RunRegCommand(const RegCommandLine& cmd, std::istream& in, std::ostream& out,
                  std::ostream& err) {
  switch (cmd.operation) {
    case RegOperation::Add:
      return Add(cmd, in, out, err);
    case RegOperation::Delete:
      return Delete(cmd, in, out, err);
    case RegOperation::Query:
      return Query(cmd, out, err);
    case RegOperation::Help:
      break;
  }
  out << RegUsage();
  return 0;
}

}  // namespace orvreg
