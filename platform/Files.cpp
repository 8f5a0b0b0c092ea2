// The system-neutral part of the file operations.
#include "platform/Files.h"

namespace plat {

bool ReadFileHead(const std::string& nativePath, std::size_t limit, std::string& text) {
  std::FILE* in = OpenFile(nativePath, "rb");
  if (!in) return false;
  text.resize(limit + 1);
  text.resize(std::fread(text.data(), 1, text.size(), in));
  std::fclose(in);
  return true;
}

}  // namespace plat
