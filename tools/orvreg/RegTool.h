#pragma once
// Carries out a parsed orvreg command on the registry store.
#include <istream>
#include <ostream>

#include "RegCommandLine.h"

namespace orvreg {

// Exit codes: 0 done, 1 failed (missing key or value, store not writable, cancelled).
// Without /f, overwriting or deleting asks on `out` and reads the answer from `in`.
int RunRegCommand(const RegCommandLine& cmd, std::istream& in, std::ostream& out,
                  std::ostream& err);

}  // namespace orvreg
