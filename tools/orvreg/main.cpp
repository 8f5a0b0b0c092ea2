// orvreg: edits the registry store with the command syntax of the Windows registry tool,
// so that installers can register and unregister themselves.
#include <iostream>
#include <string>
#include <vector>

#include "RegCommandLine.h"
#include "RegTool.h"
#include "platform/Arguments.h"

int main(int argc, char** argv) {
  std::vector<std::string> args = plat::Utf8Arguments(argc, argv);
  orvreg::RegParseResult parsed = orvreg::ParseRegCommandLine(args);
  if (!parsed.command) {
    std::cerr << "ERROR: Invalid syntax: " << parsed.error << ". Type \"orvreg /?\" for usage."
              << std::endl;
    return 2;
  }
  return orvreg::RunRegCommand(*parsed.command, std::cin, std::cout, std::cerr);
}
