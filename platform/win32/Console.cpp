#include "platform/Console.h"

#include <windows.h>

#include <algorithm>

namespace plat {

// A pipe whose reader is gone fails the write (ERROR_NO_DATA); Windows raises no signal.
bool WriteStandardOutput(std::string_view text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  for (std::size_t at = 0; at < text.size();) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 1u << 20));
    if (!WriteFile(out, text.data() + at, want, &n, nullptr) || n == 0) return false;
    at += n;
  }
  return true;
}

}  // namespace plat
