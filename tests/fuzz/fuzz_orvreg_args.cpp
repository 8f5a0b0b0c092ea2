// orvreg's command line: the input's NUL bytes separate the arguments.
#include <vector>

#include "FuzzSupport.h"
#include "tools/orvreg/RegCommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (char c : orvfuzz::Text(data, size)) {
    if (c == '\0') {
      args.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  args.push_back(current);
  orvreg::ParseRegCommandLine(args);
  return 0;
}
