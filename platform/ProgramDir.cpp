// The system-neutral part of the program directory: the product's relative names.
#include "platform/ProgramDir.h"

namespace plat {

std::string ToNativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string JoinProgramPath(std::string_view relative) {
  std::string out = ProgramDirectory();
  if (!out.empty() && out.back() == '/') out.pop_back();  // a drive's or the file system's root
  if (relative.empty() || (relative.front() != '\\' && relative.front() != '/')) out += '/';
  out += ToNativePath(relative);
  return out;
}

}  // namespace plat
