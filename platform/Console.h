#pragma once
// The process's standard output, for programs that echo their log to whoever started them.
#include <string_view>

namespace plat {

// Writes all of text to standard output. Whoever reads it may be gone: a closed pipe ends
// the write (false) and never the process. False also when there is no standard output.
bool WriteStandardOutput(std::string_view text);

}  // namespace plat
