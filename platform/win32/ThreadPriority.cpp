#include "platform/ThreadPriority.h"

#include <windows.h>

namespace plat {

// The values are Windows' own THREAD_PRIORITY_* numbers.
bool SetCurrentThreadPriority(int windowsPriority) {
  return SetThreadPriority(GetCurrentThread(), windowsPriority) != 0;
}

}  // namespace plat
