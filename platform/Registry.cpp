// The system-neutral part of the registry: key paths.
#include "platform/Registry.h"

namespace plat::reg {

std::vector<std::string> SplitKeyPath(const std::string& keyPath) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : keyPath) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

std::size_t KeyDepth(const std::string& keyPath) { return SplitKeyPath(keyPath).size(); }

}  // namespace plat::reg
